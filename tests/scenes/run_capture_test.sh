#!/usr/bin/env bash
# Plays vorna headless (dummy video, SDL's paced dummy audio behind the
# stand-in device) with the WAV capture on. Once a second of music has been
# captured it sends SIGINT (a released Escape) and expects status 0, a
# prompt end and a well-formed WAV file. Waiting for the capture rather than
# for the clock keeps a slow start-up (a sanitizer build) from failing it.
set -u
vorna="$1"
wav=$(mktemp --suffix=.wav)
trap 'rm -f "$wav"' EXIT
SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy VORNA_AUDIO=standin VORNA_CAPTURE="$wav" "$vorna" &
app=$!
second=$(( 44 + 176400 ))
for _ in $(seq 300); do
  [ "$(stat -c %s "$wav")" -ge "$second" ] && break
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
at_signal=$(stat -c %s "$wav")
[ "$at_signal" -ge "$second" ] || { echo "no second of music within 30 s ($at_signal bytes)"; kill "$app" 2>/dev/null; exit 1; }
signalled=$(date +%s%N)
kill -INT "$app"
wait "$app"
status=$?
ended=$(date +%s%N)
[ "$status" -eq 0 ] || { echo "status $status"; exit 1; }
bytes=$(stat -c %s "$wav")
elapsed_ms=$(( (ended - signalled) / 1000000 ))
echo "captured $at_signal bytes when signalled, $bytes at the end, $elapsed_ms ms later"
# The music starts before the pictures and models are loaded, so under a
# sanitizer the signal may arrive during the start-up, and the shutdown then
# begins at the first frame: how long that takes is the build's speed, which
# the test's own time-out bounds, not a property of the production.
# The device is paced to real time, so until the playback thread is stopped
# the music grows by what the elapsed time allows; past that, at most the
# stand-in's 16 KB ring and two blocks of 2048 frames may still have been
# written. More means the music went on after the shutdown, or ran ahead of
# the clock. A slow build takes longer to shut down, and is allowed its time.
allowed=$(( elapsed_ms * 176400 / 1000 + 16384 + 2 * 8192 ))
[ $(( bytes - at_signal )) -le "$allowed" ] || { echo "went on playing after the signal ($(( bytes - at_signal )) bytes, $allowed allowed)"; exit 1; }
head -c 4 "$wav" | grep -q RIFF || { echo "not a WAV file"; exit 1; }
# The header's data size is the data that follows it.
data=$(od -An -tu4 -j40 -N4 "$wav" | tr -d ' ')
[ "$data" -eq $(( bytes - 44 )) ] || { echo "header says $data data bytes, file holds $(( bytes - 44 ))"; exit 1; }
