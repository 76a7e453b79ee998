#!/usr/bin/env bash
# The release command on an existing build, without the whole-production
# video: the archive holds the executable (of the build's architecture), the
# .nfo, the screenshots and the README; the Debian package has its
# architecture set, its libraries found, and installs the production;
# cmake --install puts the programs under a prefix.
#   release_test.sh SOURCE_DIR BUILD_DIR ARCH(x86_64|i386) WORK_DIR
set -u
source_dir="$1" build="$2" arch="$3" work="$4"
fail=0
bad() { echo "FAIL: $*"; fail=1; }
rm -rf "$work"
mkdir -p "$work"
"$source_dir/scripts/release.sh" --no-video --out "$work/out" --build "$arch=$build" || { echo "release.sh failed"; exit 1; }

archives=("$work"/out/vorna-*-linux-"$arch".tar.gz)
[ -f "${archives[0]}" ] || { echo "no archive for $arch in: $(ls "$work/out")"; exit 1; }
mkdir "$work/x"
tar -C "$work/x" -xzf "${archives[0]}"
top="$work/x/$(basename "${archives[0]}" .tar.gz)"
[ -x "$top/vorna" ] || bad "no executable vorna"
# The ELF header: class (1 = 32-bit, 2 = 64-bit) at byte 4, machine at bytes 18-19.
elf=$(od -An -tx1 -j4 -N1 "$top/vorna" | tr -d ' ')$(od -An -tx1 -j18 -N2 "$top/vorna" | tr -d ' ')
case "$arch" in x86_64) want=023e00 ;; i386) want=010300 ;; esac
[ "$elf" = "$want" ] || bad "vorna is not an $arch executable (ELF bytes $elf)"
for section in about credits requirements keys greetings; do
  grep -q "\[ $section \]" "$top/vorna.nfo" || bad "the .nfo has no $section"
done
grep -q '^Running it' "$top/README.txt" || bad "no README"
shots=0
for f in "$top"/screenshots/*.png; do
  [ "$(head -c 8 "$f" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] && shots=$((shots + 1))
done
[ $shots -ge 4 ] || bad "$shots screenshots"
[ -z "$(ls "$work"/out/*.mp4 2>/dev/null)" ] || bad "a video was made despite --no-video"

debarch=$([ "$arch" = i386 ] && echo i386 || echo amd64)
deb=$(ls "$work"/out/vorna_*_"$debarch".deb 2>/dev/null)
if [ -z "$deb" ]; then
  bad "no $debarch package"
else
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$debarch" ] || bad "the package's architecture is $(dpkg-deb -f "$deb" Architecture)"
  depends=$(dpkg-deb -f "$deb" Depends)
  for lib in libsdl1.2debian libjpeg62-turbo libpng16-16; do
    grep -q "$lib" <<<"$depends" || bad "the package does not depend on $lib: $depends"
  done
  # g++-multilib's 32-bit libraries come from amd64 packages (lib32...), which an i386 system lacks.
  grep -q 'lib32\|libx32' <<<"$depends" && bad "the package depends on a biarch package: $depends"
  listing=$(dpkg-deb -c "$deb")
  grep -q ' ./usr/bin/vorna$' <<<"$listing" || bad "the package does not install /usr/bin/vorna"
fi

cmake --install "$build" --prefix "$work/prefix" >/dev/null || bad "cmake --install failed"
for f in bin/vorna bin/vorna-record bin/vorna-view bin/vorna-scene share/doc/vorna/vorna.nfo; do
  [ -e "$work/prefix/$f" ] || bad "cmake --install left out $f"
done
[ $fail -eq 0 ] && { rm -rf "$work"; echo "release test passed"; }
exit $fail
