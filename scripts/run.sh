#!/usr/bin/env bash
# Installs what is missing, builds the production and plays it. On a machine
# without a display (neither DISPLAY nor WAYLAND_DISPLAY set) it records the
# production into a video instead and says where the video is.
# Only what building and watching need is installed (scripts/install-deps.sh
# run, with ffmpeg when it records), and the build leaves the tests out.
# With a display and no sound output it plays without sound (see below).
#   run.sh --web   builds the page (build/web) and serves it on 127.0.0.1
#   run.sh --help  prints these options
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat <<'USAGE'
usage: scripts/run.sh [--web | --help]
  (no option)  build the production and play it (without a display: record it into out/vorna.mp4)
  --web        build the page (build/web) and serve it on http://127.0.0.1:PORT/ (PORT from
               VORNA_WEB_PORT, default 8000); open that address in a browser, Ctrl-C stops
  --help       print this text
USAGE
}
case "${1:-}" in
  "") ;;
  --help | -h) usage; exit 0 ;;
  --web)
    [ $# -eq 1 ] || { usage >&2; exit 2; }
    ./scripts/install-deps.sh web
    export NODE_PATH=/usr/share/nodejs
    cmake --preset web >/dev/null
    cmake --build --preset web --target vorna
    port="${VORNA_WEB_PORT:-8000}"
    echo "The page is served on http://127.0.0.1:$port/ (Ctrl-C stops the server)"
    exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build/web
    ;;
  *) echo "run.sh: unknown option '$1'" >&2; usage >&2; exit 2 ;;
esac
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
