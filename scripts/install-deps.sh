#!/usr/bin/env bash
# Installs, from Debian's archive, what ^vorna needs. Idempotent: quiet when
# everything is already there.
#   install-deps.sh run      to build and watch the production (the run command)
#   install-deps.sh record   the same, and ffmpeg to record it into a video
#   install-deps.sh test     everything above, then what testing needs on top:
#                            the i386 architecture and its libraries, the
#                            sanitizers' compiler, valgrind, an X server, the
#                            sound server, the tools that only tests and
#                            generators use, what the release and its
#                            checks need: scdoc for the manual pages, Debian's
#                            checkers, debootstrap, and the sound libraries
#                            the archives carry, and the web set (the default)
#   install-deps.sh web      the page: emscripten, Debian's source of
#                            libjpeg-turbo (in build/deps), chromium, and
#                            puppeteer-core from npm for the browser tests
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
# that configure without them (the music report); ImageMagick and its fonts
# make the docs' contact sheet (tools/contact-sheet).
test_pkgs=(
  g++-multilib clang libclang-rt-14-dev
  googletest libgtest-dev
  xvfb x11-utils xdotool valgrind
  pulseaudio pulseaudio-utils
  libebur128-dev
  git ccache
  imagemagick gsfonts
  scdoc lintian debootstrap desktop-file-utils appstream
  libcaca0 libpulse0 libasound2
)
# libstdc++6:i386 beside g++-multilib's own copy: dpkg-shlibdeps then names
# the package an i386 system has (not lib32stdc++6) for the i386 .deb.
test_i386_pkgs=(
  libsdl1.2-compat-dev:i386 libjpeg62-turbo-dev:i386 libpng-dev:i386 libstdc++6:i386
  libcaca0:i386 libpulse0:i386 libasound2:i386
)

# The page (scripts/run.sh --web and the browser tests): emscripten, a
# browser and node with npm. libjpeg-turbo comes as Debian's source package,
# built for the web by the web preset.
web_pkgs=(emscripten chromium nodejs python3 dpkg-dev)
# Debian's npm, unless node came with its own (NodeSource's package does).
command -v npm >/dev/null || web_pkgs+=(npm)

set_name="${1:-test}"
case "$set_name" in
  run) wanted=("${run_pkgs[@]}") ;;
  record) wanted=("${run_pkgs[@]}" "${record_pkgs[@]}") ;;
  test) wanted=("${run_pkgs[@]}" "${record_pkgs[@]}" "${test_pkgs[@]}" "${test_i386_pkgs[@]}" "${web_pkgs[@]}") ;;
  web) wanted=("${run_pkgs[@]}" "${web_pkgs[@]}") ;;
  *) echo "usage: install-deps.sh [run|record|test|web] [--list]" >&2; exit 2 ;;
esac
if [ "${2:-}" = "--list" ]; then
  printf '%s\n' "${wanted[@]}"
  exit 0
fi

# The web set's two fetches beside the packages: libjpeg-turbo's source
# (apt-get source, after a deb-src entry for Debian's archive) and the browser
# tests' node modules (npm, from the committed lockfile). No browser is
# downloaded: puppeteer-core drives Debian's chromium.
web_sources() {
  local root; root="$(cd "$(dirname "$0")/.." && pwd)"
  if [ ! -f "$root/build/deps/libjpeg-turbo/jpeglib.h" ]; then
    if ! apt-get source --print-uris libjpeg-turbo >/dev/null 2>&1; then
      $SUDO tee /etc/apt/sources.list.d/vorna-deb-src.sources >/dev/null <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
      $SUDO apt-get update -qq
    fi
    local work; work="$(mktemp -d)"
    (cd "$work" && apt-get source -qq libjpeg-turbo >/dev/null 2>&1)
    mkdir -p "$root/build/deps"
    rm -rf "$root/build/deps/libjpeg-turbo"
    mv "$work"/libjpeg-turbo-*/ "$root/build/deps/libjpeg-turbo"
    rm -rf "$work"
  fi
  if [ ! -d "$root/node_modules/puppeteer-core" ]; then
    (cd "$root" && npm ci --no-audit --no-fund --silent)
  fi
}

missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# The i386 build runs its own programs (the asset embedder, the tests). Some
# x86-64 kernels are built without 32-bit support and answer "Exec format
# error"; there they run under qemu's user-mode emulator, registered with
# binfmt_misc for i386 ELF files (Debian registers none for i386 on amd64).
i386_runs() {
  local probe
  probe=$(mktemp)
  echo 'int main(void) { return 0; }' | gcc -m32 -x c - -o "$probe" 2>/dev/null && "$probe" 2>/dev/null
  local status=$?
  rm -f "$probe"
  return $status
}
ensure_i386_runs() {
  i386_runs && return 0
  echo "this kernel cannot run i386 programs: registering qemu-i386 for them"
  if ! dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q 'install ok installed'; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null
  fi
  local misc=/proc/sys/fs/binfmt_misc
  [ -e "$misc/register" ] || $SUDO mount -t binfmt_misc binfmt_misc "$misc"
  [ -e "$misc/qemu-i386" ] ||
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      $SUDO tee "$misc/register" >/dev/null
  i386_runs || { echo "i386 programs still do not run" >&2; exit 1; }
}

if [ ${#missing[@]} -eq 0 ]; then
  [ "$set_name" = test ] && ensure_i386_runs
  if [ "$set_name" = web ] || [ "$set_name" = test ]; then web_sources; fi
  exit 0
fi

echo "installing: ${missing[*]}"
if [ "$set_name" = test ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
[ "$set_name" = test ] && ensure_i386_runs
if [ "$set_name" = web ] || [ "$set_name" = test ]; then web_sources; fi
exit 0
