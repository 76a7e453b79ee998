#!/usr/bin/env bash
# Starts vorna in a real window on a fresh Xvfb display, reads its title back,
# releases Escape and expects status 0 and the start-up line.
set -u
vorna="$1"
for tool in Xvfb xprop xdotool; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done
. "$(dirname "$0")/../support/xvfb.sh"
app=""
trap 'kill $xvfb_pid 2>/dev/null; [ -n "$app" ] && kill $app 2>/dev/null' EXIT
start_xvfb

out=$(mktemp)
SDL_AUDIODRIVER=dummy "$vorna" >"$out" 2>&1 &
app=$!
win=""
for _ in $(seq 300); do
  win=$(xdotool search --name '\^vorna' 2>/dev/null | head -n1)
  [ -n "$win" ] && break
  if ! kill -0 "$app" 2>/dev/null; then
    wait "$app"; echo "vorna ended with status $? before its window appeared"; cat "$out"; exit 1
  fi
  sleep 0.1
done
[ -n "$win" ] || { echo "no window titled ^vorna"; cat "$out"; exit 1; }
title=$(xprop -id "$win" WM_NAME)
echo "$title"
case "$title" in *'"^vorna"'*) ;; *) echo "wrong title"; exit 1 ;; esac

# A loaded machine may take a while to map the window and read its keys:
# the release is sent again until the production has ended.
status=124
for attempt in 1 2 3 4 5; do
  sleep 0.5
  xdotool windowfocus --sync "$win" 2>/dev/null || true
  xdotool key --clearmodifiers Escape
  for _ in $(seq 100); do
    if ! kill -0 "$app" 2>/dev/null; then wait "$app"; status=$?; break 2; fi
    sleep 0.1
  done
done
cat "$out"
grep -q '^engine initializing 800x600x32$' "$out" || { echo "no start-up line"; exit 1; }
[ "$status" -eq 0 ] || { echo "status $status"; exit 1; }
echo "window test passed"
