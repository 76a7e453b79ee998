#!/usr/bin/env bash
# The web build against the native build on the virtual world: vorna-frames
# (seed 1, 10 frames a second, 90 seconds of the production) natively once and
# under node twice, then tests/web/compare.py, then the web build's golden
# hashes (tests/golden/golden_web.txt; VORNA_GOLDEN_UPDATE=1 rewrites them).
# Needs build/native (vorna-frames) and build/web (cmake --build --preset web).
set -euo pipefail
cd "$(dirname "$0")/../.."
native=build/native/tools/web-compare/vorna-frames
web=build/web/tools/web-compare/vorna-frames.js
[ -x "$native" ] || cmake --build --preset native --target vorna-frames
[ -f "$web" ] || { echo "FAIL: $web is missing (cmake --build --preset web)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
args=(--seed 1 --fps 10 --frames 900 --every 25)
mkdir -p "$work/native" "$work/web" "$work/again"
"$native" "${args[@]}" --dir "$work/native" >/dev/null
node "$web" "${args[@]}" --dir "$work/web" >/dev/null
node "$web" "${args[@]}" --dir "$work/again" >/dev/null
python3 tests/web/compare.py "$work/native" "$work/web" "$work/again"

golden=tests/golden/golden_web.txt
made=$(awk '$1 % 30 == 0 { print "wasm32", $1, $2 }' "$work/web/hashes.txt")
if [ "${VORNA_GOLDEN_UPDATE:-}" = 1 ]; then
  { echo "# Golden frames of the web build (tests/web/run-compare.sh): ARCH FRAME HASH of vorna-frames"
    echo "# --seed 1 --fps 10 under node. Rewrite with VORNA_GOLDEN_UPDATE=1 tests/web/run-compare.sh"
    echo "$made"; } > "$golden"
  echo "rewrote $golden"
elif [ "$(grep -v '^#' "$golden")" = "$made" ]; then
  echo "web golden hashes: $(echo "$made" | wc -l) frames as recorded"
else
  echo "FAIL: the web build's frames differ from $golden:" >&2
  diff <(grep -v '^#' "$golden") <(echo "$made") | head -10 >&2
  exit 1
fi
