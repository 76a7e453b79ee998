#!/usr/bin/env bash
# Plays vorna headless (dummy video, SDL's paced dummy audio behind the
# stand-in device) with the WAV capture on, stops it after two seconds with
# SIGINT (a released Escape) and checks status 0 and about two seconds of sound.
set -u
vorna="$1"
wav=$(mktemp --suffix=.wav)
trap 'rm -f "$wav"' EXIT
SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy VORNA_AUDIO=standin VORNA_CAPTURE="$wav" "$vorna" &
app=$!
sleep 2
kill -INT "$app"
wait "$app"
status=$?
[ "$status" -eq 0 ] || { echo "status $status"; exit 1; }
bytes=$(stat -c %s "$wav")
seconds=$(awk -v b="$bytes" 'BEGIN { printf "%.2f", (b - 44) / 176400 }')
echo "captured $bytes bytes: $seconds s"
awk -v s="$seconds" 'BEGIN { exit !(s >= 1.4 && s <= 4.0) }' || { echo "capture length off"; exit 1; }
head -c 4 "$wav" | grep -q RIFF || { echo "not a WAV file"; exit 1; }
