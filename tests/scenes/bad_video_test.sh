#!/usr/bin/env bash
# With a video driver that does not exist, or a display that cannot be
# reached, vorna reports it and ends with 1 instead of playing unseen.
set -u
expect_failure() {  # expect_failure WHAT ENV...: runs vorna under the settings
  local what="$1" out status
  shift
  out=$(env "$@" SDL_AUDIODRIVER=dummy timeout 20 "$vorna" 2>&1)
  status=$?
  echo "$what: $out"
  echo "$out" | grep -q 'could not init videomode' || { echo "$what: no message"; exit 1; }
  [ "$status" -eq 1 ] || { echo "$what: status $status"; exit 1; }
}
vorna="$1"
expect_failure "unknown driver" SDL_VIDEODRIVER=no-such-driver
# A display number no server listens on, in a socket folder of our own.
expect_failure "unreachable display" -u SDL_VIDEODRIVER -u WAYLAND_DISPLAY DISPLAY=:4095 XDG_RUNTIME_DIR=/nonexistent
