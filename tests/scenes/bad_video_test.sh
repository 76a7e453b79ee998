#!/usr/bin/env bash
# With a video driver that does not exist vorna reports it and ends with 1.
set -u
out=$(SDL_VIDEODRIVER=no-such-driver SDL_AUDIODRIVER=dummy timeout 20 "$1" 2>&1)
status=$?
echo "$out"
echo "$out" | grep -q 'could not init videomode' || { echo "no message"; exit 1; }
[ "$status" -eq 1 ] || { echo "status $status"; exit 1; }
