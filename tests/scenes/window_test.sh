#!/usr/bin/env bash
# Starts vorna in a real window on a fresh Xvfb display, reads its title back,
# releases Escape and expects status 0 and the start-up line.
set -u
vorna="$1"
for tool in Xvfb xprop xdotool; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done
. "$(dirname "$0")/../../tools/support/xvfb.sh"
app=""
trap 'kill $xvfb_pid 2>/dev/null; [ -n "$app" ] && kill $app 2>/dev/null' EXIT
start_xvfb

out=$(mktemp)
SDL_AUDIODRIVER=dummy "$vorna" >"$out" 2>&1 &
app=$!
wait_for_window "$app" "$out" 300
title=$(xprop -id "$win" WM_NAME)
echo "$title"
case "$title" in *'"^vorna"'*) ;; *) echo "wrong title"; exit 1 ;; esac

sleep 0.5
escape_until_exit "$app" "$win"
cat "$out"
grep -q '^engine initializing 800x600x32$' "$out" || { echo "no start-up line"; exit 1; }
[ "$status" -eq 0 ] || { echo "status $status"; exit 1; }
echo "window test passed"
