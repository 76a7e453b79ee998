#!/usr/bin/env bash
# VORNA_AV_OFFSET_MS that is not a whole number from -1000 to 1000 is refused
# with a message and status 1 before anything starts (no window, no sound).
#   av_offset_test.sh VORNA
set -u
vorna="$1"
fail=0
for bad in 1.5 12ms 1001 -1001 abc " 5" 99999999999; do
  out=$(SDL_VIDEODRIVER=nosuchdriver VORNA_AV_OFFSET_MS="$bad" "$vorna" 2>&1)
  status=$?
  if [ "$status" -ne 1 ] || ! grep -q "VORNA_AV_OFFSET_MS must be a whole number" <<<"$out" ||
    grep -q "engine initializing" <<<"$out"; then
    echo "VORNA_AV_OFFSET_MS='$bad': status $status, said: $out"
    fail=1
  fi
done
exit $fail
