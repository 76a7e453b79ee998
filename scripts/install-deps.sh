#!/usr/bin/env bash
# Installs, from Debian's archive, everything ^vorna needs to build, run and test
# on both x86-64 and i386. Idempotent: quiet when everything is already there.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

native_pkgs=(
  build-essential cmake ninja-build pkg-config g++-multilib
  libsdl1.2-compat-dev libjpeg62-turbo-dev
  googletest libgtest-dev
  clang libclang-rt-14-dev
  xvfb x11-utils xdotool
  ffmpeg valgrind
)
i386_pkgs=(
  libsdl1.2-compat-dev:i386 libjpeg62-turbo-dev:i386
)

missing=()
for p in "${native_pkgs[@]}" "${i386_pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
