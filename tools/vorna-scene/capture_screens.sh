#!/usr/bin/env bash
# Records a real run of vorna on a fresh Xvfb screen (800x600x24, sound on
# SDL's dummy driver), two screenshots a second through ffmpeg's x11grab, into
# a folder; the pictures in docs/screens were picked from such a recording.
# usage: capture_screens.sh path/to/vorna OUTDIR
set -u
vorna="$1"
out="$2"
mkdir -p "$out"
. "$(dirname "$0")/../support/xvfb.sh"
grab=""
trap '[ -n "$grab" ] && kill $grab 2>/dev/null; kill $xvfb_pid 2>/dev/null' EXIT
start_xvfb
display="$DISPLAY"

SDL_AUDIODRIVER=dummy "$vorna" >"$out/vorna.log" 2>&1 &
app=$!
ffmpeg -loglevel error -f x11grab -framerate 2 -video_size 800x600 -i "$display" -f image2 "$out/shot_%04d.png" &
grab=$!
start=$(date +%s)
wait "$app"
status=$?
echo "vorna ended with status $status after $(( $(date +%s) - start )) s; $(ls "$out" | grep -c '^shot_') screenshots in $out"
