#!/usr/bin/env bash
# Installs, from Debian's archive, what ^vorna needs. Idempotent: quiet when
# everything is already there.
#   install-deps.sh run      to build and watch the production (the run command)
#   install-deps.sh record   the same, and ffmpeg to record it into a video
#   install-deps.sh test     everything above, then what testing needs on top:
#                            the i386 architecture and its libraries, the
#                            sanitizers' compiler, valgrind, an X server, the
#                            sound server, the tools that only tests and
#                            generators use, and what the release and its
#                            checks need: scdoc for the manual pages, Debian's
#                            checkers, debootstrap, and the sound libraries
#                            the archives carry (the default)
#   install-deps.sh SET --list   prints the set's packages, one a line, and installs nothing
set -euo pipefail

# Building and running: the compiler, CMake, Ninja, pkg-config and every
# library that configuring and building the production and its viewers needs.
run_pkgs=(
  build-essential cmake ninja-build pkg-config
  libsdl1.2-compat-dev libjpeg62-turbo-dev libpng-dev
)
record_pkgs=(ffmpeg)
# Testing, on top of the two sets above. The libraries here belong to tools
# that configure without them (the music report).
test_pkgs=(
  g++-multilib clang libclang-rt-14-dev
  googletest libgtest-dev
  xvfb x11-utils xdotool valgrind
  pulseaudio pulseaudio-utils
  libebur128-dev
  git ccache
  scdoc lintian debootstrap desktop-file-utils appstream
  libcaca0 libpulse0 libasound2
)
# libstdc++6:i386 beside g++-multilib's own copy: dpkg-shlibdeps then names
# the package an i386 system has (not lib32stdc++6) for the i386 .deb.
test_i386_pkgs=(
  libsdl1.2-compat-dev:i386 libjpeg62-turbo-dev:i386 libpng-dev:i386 libstdc++6:i386
  libcaca0:i386 libpulse0:i386 libasound2:i386
)

set_name="${1:-test}"
case "$set_name" in
  run) wanted=("${run_pkgs[@]}") ;;
  record) wanted=("${run_pkgs[@]}" "${record_pkgs[@]}") ;;
  test) wanted=("${run_pkgs[@]}" "${record_pkgs[@]}" "${test_pkgs[@]}" "${test_i386_pkgs[@]}") ;;
  *) echo "usage: install-deps.sh [run|record|test] [--list]" >&2; exit 2 ;;
esac
if [ "${2:-}" = "--list" ]; then
  printf '%s\n' "${wanted[@]}"
  exit 0
fi

missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "installing: ${missing[*]}"
if [ "$set_name" = test ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
