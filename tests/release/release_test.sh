#!/usr/bin/env bash
# The release command on an existing build, without the whole-production
# video: the archive holds the executable (of the build's architecture), its
# start script and the libraries it loads, the .nfo, the licence, the
# screenshots and the README; the Debian package has its architecture set,
# its libraries found, and installs the production, the manual pages, the
# menu entry and what it names; the versions agree; cmake --install puts it
# all under a prefix. (tests/release/release_check.sh runs Debian's checkers.)
#   release_test.sh SOURCE_DIR BUILD_DIR ARCH(x86_64|i386) WORK_DIR
set -u
source_dir="$1" build="$2" arch="$3" work="$4"
fail=0
bad() { echo "FAIL: $*"; fail=1; }
rm -rf "$work"
mkdir -p "$work"
usage=$("$source_dir/scripts/release.sh" --no-such-option 2>&1)
[ $? -eq 2 ] && grep -q 'release.sh \[--out DIR\]' <<<"$usage" || bad "an unknown option does not give the usage and status 2"
"$source_dir/scripts/release.sh" --no-video --out "$work/out" --build "$arch=$build" || { echo "release.sh failed"; exit 1; }

archives=("$work"/out/vorna-*-linux-"$arch".tar.gz)
[ -f "${archives[0]}" ] || { echo "no archive for $arch in: $(ls "$work/out")"; exit 1; }
mkdir "$work/x"
tar -C "$work/x" -xzf "${archives[0]}"
top="$work/x/$(basename "${archives[0]}" .tar.gz)"
[ -x "$top/vorna" ] || bad "no executable vorna"
[ -x "$top/vorna.sh" ] || bad "no start script vorna.sh"
grep -q '^MIT License' "$top/LICENSE" || bad "no licence"
# Every library the executable loads, beyond the C and C++ runtimes and X11,
# is carried, of the executable's own class, with its copyright file.
for lib in libSDL-1.2.so.0 libjpeg.so.62; do
  [ -f "$top/lib/$lib" ] || bad "the archive does not carry $lib"
  [ "$(od -An -tx1 -j4 -N1 "$top/lib/$lib" 2>/dev/null | tr -d ' ')" = "$(od -An -tx1 -j4 -N1 "$top/vorna" | tr -d ' ')" ] \
    || bad "lib/$lib is not of the executable's class"
done
[ -f "$top/lib/copyright/libsdl1.2debian" ] || bad "no copyright file for SDL"
missing=$(LD_LIBRARY_PATH="$top/lib" ldd "$top/vorna" 2>/dev/null | grep 'not found')
[ -z "$missing" ] || bad "the archive's executable misses: $missing"
# The ELF header: class (1 = 32-bit, 2 = 64-bit) at byte 4, machine at bytes 18-19.
elf=$(od -An -tx1 -j4 -N1 "$top/vorna" | tr -d ' ')$(od -An -tx1 -j18 -N2 "$top/vorna" | tr -d ' ')
case "$arch" in x86_64) want=023e00 ;; i386) want=010300 ;; esac
[ "$elf" = "$want" ] || bad "vorna is not an $arch executable (ELF bytes $elf)"
for section in about credits requirements keys greetings; do
  grep -q "\[ $section \]" "$top/vorna.nfo" || bad "the .nfo has no $section"
done
grep -q '^Running it' "$top/README.txt" && grep -q 'vorna\.sh' "$top/README.txt" || bad "no README that names vorna.sh"
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
  dpkg-deb -f "$deb" Suggests | grep -q ffmpeg || bad "the package does not suggest ffmpeg for the recorder"
  [ "$(dpkg-deb -f "$deb" Section)" = games ] || bad "the package is not in the games section"
  version=$(dpkg-deb -f "$deb" Version)
  [ "$(dpkg-parsechangelog -l "$source_dir/packaging/changelog" -S Version)" = "$version" ] || bad "the changelog's version is not $version"
  grep -q "<release version=\"$version\"" "$source_dir"/packaging/*.metainfo.xml || bad "the metainfo has no release $version"
  [ "$(dpkg-parsechangelog -l "$source_dir/packaging/changelog" -S Maintainer)" = "$(dpkg-deb -f "$deb" Maintainer)" ] \
    || bad "the changelog and the package name different maintainers"
  listing=$(dpkg-deb -c "$deb")
  for f in games/vorna games/vorna-record games/vorna-scene games/vorna-view games/xm-render \
           share/man/man6/vorna.6.gz share/man/man6/xm-render.6.gz share/doc/vorna/copyright share/doc/vorna/changelog.gz \
           share/applications/party.vorna.vorna.desktop share/metainfo/party.vorna.vorna.metainfo.xml \
           share/icons/hicolor/16x16/apps/party.vorna.vorna.png share/icons/hicolor/256x256/apps/party.vorna.vorna.png \
           libexec/vorna/vorna-start; do
    grep -q " ./usr/$f\$" <<<"$listing" || bad "the package does not install /usr/$f"
  done
  dpkg-deb -x "$deb" "$work/deb"
  grep -qx 'Exec=/usr/libexec/vorna/vorna-start' "$work/deb/usr/share/applications/party.vorna.vorna.desktop" \
    || bad "the menu entry does not start /usr/libexec/vorna/vorna-start"
  zcat "$work/deb/usr/share/man/man6/vorna.6.gz" | grep -q 'VORNA_AUDIO' || bad "vorna(6) does not name VORNA_AUDIO"
fi

cmake --install "$build" --prefix "$work/prefix" >/dev/null || bad "cmake --install failed"
for f in games/vorna games/vorna-record games/vorna-view games/vorna-scene share/doc/vorna/vorna.nfo \
         libexec/vorna/vorna-start share/applications/party.vorna.vorna.desktop; do
  [ -e "$work/prefix/$f" ] || bad "cmake --install left out $f"
done
grep -qx "Exec=$work/prefix/libexec/vorna/vorna-start" "$work/prefix/share/applications/party.vorna.vorna.desktop" \
  || bad "the installed menu entry does not start the installed script"
[ $fail -eq 0 ] && { rm -rf "$work"; echo "release test passed"; }
exit $fail
