#!/usr/bin/env bash
# The run command as a new viewer with a display meets it: a fresh clone of
# this tree's last commit, `./scripts/run.sh` in it on an Xvfb display, and
# Escape released a few seconds after the window is up. The command must
# build the production, open its window and end with status 0. Like this
# machine, the display has no sound output (SDL is asked for an audio driver
# that does not exist), so the production must go on in silence and say so.
#   run_command_test.sh SOURCE_DIR WORK_DIR
# The clone lives in WORK_DIR (inside the build tree, where it is made anew
# each time), so its compiles have the same relative paths as the build's
# own and the compiler cache, when there is one, serves them.
set -u
source_dir="$1"
work="$2"
for tool in git Xvfb xprop xdotool; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done
head=$(git -C "$source_dir" rev-parse HEAD 2>/dev/null) || { echo "not a git checkout: nothing to clone"; exit 77; }

if [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$source_dir}" CCACHE_NOHASHDIR=1
fi

. "$source_dir/tools/support/xvfb.sh"
app=""
trap 'kill $xvfb_pid 2>/dev/null; [ -n "$app" ] && kill $app 2>/dev/null' EXIT

clone="$work/clone"
rm -rf "$clone"
mkdir -p "$work"
git clone -q --no-checkout "$source_dir" "$clone" && git -C "$clone" checkout -q "$head" || { echo "git clone failed"; exit 1; }
start_xvfb

out="$work/run.log"
(cd "$clone" && SDL_AUDIODRIVER=no-such-output exec ./scripts/run.sh </dev/null >"$out" 2>&1) &
app=$!
# The build comes first: on a loaded machine with a cold cache it takes minutes.
for _ in $(seq 9000); do
  grep -q '^No sound output was found: playing without sound\.$' "$out" && break
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
grep -q '^No sound output was found' "$out" || { echo "no word of the missing sound output"; tail -n 40 "$out"; exit 1; }
wait_for_window "$app" "$out" 600
sleep 3
kill -0 "$app" 2>/dev/null || { wait "$app"; echo "the production ended by itself with status $? within 3 s"; tail -n 40 "$out"; exit 1; }

escape_until_exit "$app" "$win"
app=""
tail -n 5 "$out"
[ "$(grep -c '^engine initializing 800x600x32$' "$out")" -eq 2 ] || { echo "not two start-ups"; exit 1; }
[ "$status" -eq 0 ] || { echo "status $status"; exit 1; }
rm -rf "$clone"
echo "run command test passed"
