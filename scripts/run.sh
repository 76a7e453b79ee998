#!/usr/bin/env bash
# Installs what is missing, builds the production and plays it. On a machine
# without a display (neither DISPLAY nor WAYLAND_DISPLAY set) it records the
# production into a video instead and says where the video is.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset native >/dev/null
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cmake --build --preset native --target vorna-record
  mkdir -p out
  video="$PWD/out/vorna.mp4"
  rm -f "$video"
  echo "No display: recording the production into $video"
  ./build/native/tools/vorna-record/vorna-record -o "$video"
  if [ -f "$video" ]; then
    echo "The production is recorded in $video"
  else
    echo "ffmpeg is missing: the frames and the music are in $PWD/out/vorna-frames (see the command above)"
  fi
  exit 0
fi
cmake --build --preset native --target vorna
exec ./build/native/vorna
