#!/usr/bin/env bash
# Plays the whole production unattended in a real window on a fresh Xvfb
# display, with SDL's paced dummy audio behind the stand-in and the WAV
# capture on: it must end by itself with status 0, and its music must last as
# long as the run.
set -u
vorna="$1"
. "$(dirname "$0")/../../tools/support/xvfb.sh"
wav=$(mktemp --suffix=.wav)
trap 'kill $xvfb_pid 2>/dev/null; rm -f "$wav"' EXIT
start_xvfb

start=$(date +%s.%N)
SDL_AUDIODRIVER=dummy VORNA_AUDIO=standin VORNA_CAPTURE="$wav" timeout 900 "$vorna"
status=$?
end=$(date +%s.%N)
[ "$status" -eq 0 ] || { echo "status $status"; exit 1; }
bytes=$(stat -c %s "$wav")
awk -v b="$bytes" -v s="$start" -v e="$end" 'BEGIN {
  run = e - s; music = (b - 44) / 176400
  printf "run %.1f s, captured music %.1f s\n", run, music
  # Start-up and shutdown take a little of the run; everything else is music.
  exit !(run > 120 && music > run - 3 && music < run + 1)
}' || { echo "the capture does not match the run"; exit 1; }
