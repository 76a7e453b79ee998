#!/usr/bin/env bash
# Installs what is missing, builds the production and plays it. On a machine
# without a display (neither DISPLAY nor WAYLAND_DISPLAY set) it records the
# production into a video instead and says where the video is.
# Only what building and watching need is installed (scripts/install-deps.sh
# run, with ffmpeg when it records), and the build leaves the tests out.
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
exec ./build/run/vorna
