#!/usr/bin/env bash
# Installs what is missing, builds the production and plays it. On a machine
# without a display (neither DISPLAY nor WAYLAND_DISPLAY set) it records the
# production into a video instead and says where the video is.
# Only what building and watching need is installed (scripts/install-deps.sh
# run, with ffmpeg when it records), and the build leaves the tests out.
# With a display and no sound output it plays without sound (see below).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  ./scripts/install-deps.sh record
  cmake --preset run >/dev/null
  cmake --build --preset run --target vorna-record
  mkdir -p out
  video="$PWD/out/vorna.mp4"
  rm -f "$video"
  echo "No display: recording the production into $video"
  ./build/run/tools/vorna-record/vorna-record -o "$video"
  if [ -f "$video" ]; then
    echo "The production is recorded in $video"
  else
    echo "ffmpeg is missing: the frames and the music are in $PWD/out/vorna-frames (see the command above)"
  fi
  exit 0
fi
./scripts/install-deps.sh run
cmake --preset run >/dev/null
cmake --build --preset run --target vorna
# A display without any sound output (no /dev/dsp, and SDL's audio finds no
# server or card) makes the production stop before its first scene with
# "Error upon initialization."; a viewer would rather watch it in silence, so
# it is started once more on SDL's silent output, and told why.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
./build/run/vorna | tee "$log" || status=${PIPESTATUS[0]}
if [ "$status" -eq 1 ] && grep -qx "Error upon initialization." "$log"; then
  echo "No sound output was found: playing without sound."
  status=0
  SDL_AUDIODRIVER=dummy ./build/run/vorna || status=$?
fi
exit "$status"
