#!/usr/bin/env bash
# The dependency script's sets: a viewer gets no multi-architecture toolchain
# and no test tool, recording adds only ffmpeg, and testing gets everything.
#   deps_sets_test.sh SOURCE_DIR
set -u
deps="$1/scripts/install-deps.sh"
fail=0
list() { "$deps" "$1" --list | sort -u; }
run=$(list run) && record=$(list record) && test=$(list test) || { echo "--list failed"; exit 1; }
bad() { echo "FAIL: $*"; fail=1; }
# has SET_NAME SET PACKAGES...: every package is in the set; lacks: none is.
has() { local n="$1" s="$2" p; shift 2; for p; do grep -qx -- "$p" <<<"$s" || bad "the $n set lacks $p"; done; }
lacks() { local n="$1" s="$2" p; shift 2; for p; do grep -qx -- "$p" <<<"$s" && bad "the $n set names $p"; done; }

has run "$run" build-essential cmake ninja-build pkg-config libsdl1.2-compat-dev libjpeg62-turbo-dev libpng-dev
grep ':i386' <<<"$run" && bad "the run set names i386 packages"
lacks run "$run" g++-multilib clang valgrind xvfb x11-utils xdotool googletest libgtest-dev pulseaudio \
  pulseaudio-utils libebur128-dev ffmpeg
extra=$(comm -13 <(echo "$run") <(echo "$record") | tr '\n' ' ')
[ "$extra" = "ffmpeg " ] || bad "recording adds '$extra' to the run set, not just ffmpeg"
lacking=$(comm -23 <(echo "$record") <(echo "$test") | tr '\n' ' ')
[ -z "$lacking" ] || bad "the test set lacks $lacking"
has test "$test" g++-multilib clang valgrind xvfb xdotool libgtest-dev pulseaudio pulseaudio-utils \
  libebur128-dev libsdl1.2-compat-dev:i386 libjpeg62-turbo-dev:i386 libpng-dev:i386 libstdc++6:i386
"$deps" bogus --list >/dev/null 2>&1 && bad "an unknown set is accepted"

# The README's list of what watching needs names the whole run set.
watch=$(sed -n '/^### What you need to watch it/,/^### What you need to test it/p' "$1/README.md")
for p in $run; do grep -q -- "$p" <<<"$watch" || bad "the README's watch list lacks $p"; done

# With the run set there, installing it is silent and succeeds.
installed=$(dpkg-query -W -f='${Status}\n' $run 2>/dev/null | grep -c 'install ok installed')
if [ "$installed" -eq "$(wc -l <<<"$run")" ]; then
  said=$("$deps" run 2>&1 </dev/null) || bad "install-deps.sh run fails with the run set installed"
  [ -z "$said" ] || bad "install-deps.sh run is not quiet with the run set installed: $said"
fi
[ $fail -eq 0 ] && echo "dependency sets test passed"
exit $fail
