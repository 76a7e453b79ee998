#!/usr/bin/env bash
# The sound path most desktops use: PulseAudio (headless, with a null sink)
# behind SDL behind the stand-in. The production plays its first seconds into
# the sink while parec records the sink's monitor; what arrives must be the
# music (its level, and each second's correlation with the same span rendered
# offline by xm-render), and the test reports how far the production's
# writes run ahead of what is heard, and how far each row the scenes were
# shown (VORNA_ROW_LOG) came before its first sample was heard: the test
# fails when the median of that lead is beyond 35 ms either way.
#   pulse_test.sh VORNA XM_RENDER SOUND_COMPARE [LIBPULSEDSP]
# With LIBPULSEDSP (padsp's library) the production plays through the OSS
# path on PulseAudio's /dev/dsp emulation instead of the stand-in. (Debian's
# padsp script writes a broken LD_PRELOAD, so the library is preloaded here.)
set -u
vorna="$1" xm_render="$2" compare="$3" pulsedsp="${4:-}"
for tool in pulseaudio parec pactl; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done
work=$(mktemp -d)
pa="" rec="" app=""
trap 'for p in $app $rec $pa; do kill $p 2>/dev/null; done; wait 2>/dev/null; [ -n "${KEEP_SOUND_TEST:-}" ] || rm -rf "$work"' EXIT

# A server of our own: its own runtime folder and socket, no session bus.
export HOME="$work" XDG_RUNTIME_DIR="$work" PULSE_SERVER="unix:$work/native"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --log-target=stderr \
  -L "module-null-sink sink_name=vorna_null rate=44100" \
  -L "module-native-protocol-unix socket=$work/native auth-anonymous=1" >"$work/pulse.log" 2>&1 &
pa=$!
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || { echo "PulseAudio did not start"; cat "$work/pulse.log"; exit 1; }
pactl set-default-sink vorna_null

parec -d vorna_null.monitor --format=s16le --rate=44100 --channels=2 --raw --latency-msec=10 >"$work/heard.raw" &
rec=$!
sleep 0.5
if [ -n "$pulsedsp" ]; then
  # The OSS path: PulseAudio's own /dev/dsp emulation (what padsp preloads).
  output=(env VORNA_AUDIO=oss LD_PRELOAD="$pulsedsp")
else
  output=(env VORNA_AUDIO=standin)
fi
SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=pulseaudio VORNA_CAPTURE="$work/sent.wav" VORNA_ROW_LOG="$work/rows.txt" \
  "${output[@]}" "$vorna" >"$work/vorna.log" 2>&1 &
app=$!
# Every 0.05 s for 8 s: what the production has written and what was heard,
# read together, and when (the clock the row log uses).
for _ in $(seq 160); do
  echo "$(stat -c %s "$work/sent.wav" 2>/dev/null || echo 0) $(stat -c %s "$work/heard.raw") ${EPOCHREALTIME/./}" >>"$work/sizes.txt"
  sleep 0.05
done
pactl list sink-inputs | grep -iE 'latency|application.name' | sed 's/^[[:space:]]*/server: /'
kill -TERM "$app"
wait "$app"
status=$?
app=""
sleep 0.3
kill "$rec"; wait "$rec" 2>/dev/null; rec=""
cat "$work/vorna.log"
[ "$status" -eq 0 ] || { echo "vorna ended with status $status"; exit 1; }

"$xm_render" --embedded --seconds 10 -o "$work/offline.wav" >/dev/null || { echo "xm-render failed"; exit 1; }
"$compare" "$work/heard.raw" "$work/offline.wav" "$work/sizes.txt" "$work/rows.txt"
