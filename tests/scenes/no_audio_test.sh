#!/usr/bin/env bash
# With no sound device to be had vorna says so and ends with 1 before any scene.
set -u
out=$(SDL_VIDEODRIVER=dummy VORNA_AUDIO=oss VORNA_DSP=/nonexistent/dsp timeout 20 "$1" 2>&1)
status=$?
echo "$out"
echo "$out" | grep -qx 'Error upon initialization.' || { echo "no message"; exit 1; }
[ "$status" -eq 1 ] || { echo "status $status"; exit 1; }
