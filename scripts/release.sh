#!/usr/bin/env bash
# Builds the release: for x86-64 and i386 an archive with the executable, its
# start script vorna.sh and the libraries it needs beyond X11 and the C and
# C++ runtimes, the .nfo, the screenshots and a README, and a Debian package;
# then the page as a zip, the capture video of the whole production beside
# them, and SHA256SUMS.
#   release.sh [--out DIR] [--no-video] [--no-web] [--build ARCH=BUILD_DIR]...
# --out        where the files go (default out/release)
# --no-video   leaves the whole-production capture out (it takes minutes)
# --no-web     leaves the page's zip out (the web preset, scripts/install-deps.sh web)
# --build      packs ARCH (x86_64 or i386) from a build folder that is already
#              configured, instead of configuring and building the presets
#              run (x86_64) and release-i386; only the named ones are packed
# Needs the test set of scripts/install-deps.sh (the i386 libraries, dpkg-dev,
# scdoc) and Debian's archive (SDL 1.2.15 for the archives is fetched there).
# Reproducible: two runs on one commit give the same bytes (SOURCE_DATE_EPOCH
# is the commit's time unless set; docs/release/RELEASE.md).
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

out="$source_dir/out/release"
video=1
web=1
declare -A builds=()
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out=$(realpath -m "$2"); shift 2 ;;
    --no-video) video=0; shift ;;
    --no-web) web=0; shift ;;
    --build) builds[${2%%=*}]=$(realpath "${2#*=}"); shift 2 ;;
    *) sed -n '2,17p' "$0" >&2; exit 2 ;;
  esac
done
command -v scdoc >/dev/null || { echo "scdoc is missing, and the packages need their manual pages (scripts/install-deps.sh test)" >&2; exit 1; }
export SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}"
export TZ=UTC LC_ALL=C.UTF-8
umask 022
if [ ${#builds[@]} -eq 0 ]; then
  for pair in x86_64=run i386=release-i386; do
    cmake --preset "${pair#*=}" >/dev/null
    builds[${pair%%=*}]="$source_dir/build/${pair#*=}"
  done
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "${builds[x86_64]:-${builds[i386]:-}}/CMakeCache.txt")
[ -n "$version" ] || { echo "no project version in the build's cache" >&2; exit 1; }

# The release's files, one a line: what SHA256SUMS lists and what the
# reproducibility check compares. Add a new release file here.
release_files() {
  local arch
  for arch in $(printf '%s\n' "${!builds[@]}" | sort); do
    echo "vorna-$version-linux-$arch.tar.gz"
    echo "vorna_${version}_$(debian_arch "$arch").deb"
  done
  [ $web -eq 0 ] || echo "vorna-$version-web.zip"
  [ $video -eq 0 ] || echo "vorna-$version.mp4"
}
debian_arch() { [ "$1" = i386 ] && echo i386 || echo amd64; }

# What the archive carries beside the executable: every library it loads,
# directly or through another, except the C and C++ runtimes and the X11
# client libraries, which every desktop Linux has. SDL is Debian 12's classic
# SDL 1.2.15 (libsdl1.2debian), not the build's SDL 1.2 compatibility layer,
# which would need SDL 2 and its own long list; it is fetched from Debian's
# archive once into the build folder. The others come from this system's
# packages, each library with its package's copyright file.
system_libs=" libc.so.6 libm.so.6 libdl.so.2 libpthread.so.0 librt.so.1 libresolv.so.2 ld-linux.so.2
  ld-linux-x86-64.so.2 libstdc++.so.6 libgcc_s.so.1 libX11.so.6 libXext.so.6 libxcb.so.1 libXau.so.6 libXdmcp.so.6 "
bundle_libs() {  # bundle_libs EXE LIBDIR ARCH BUILD
  local exe="$1" libdir="$2" arch="$3" build="$4"
  local debarch triplet cache sdl_deb
  debarch=$(debian_arch "$arch")
  triplet=$([ "$arch" = i386 ] && echo i386-linux-gnu || echo x86_64-linux-gnu)
  cache="$build/release-libs"
  mkdir -p "$cache"
  sdl_deb=$(ls "$cache"/libsdl1.2debian_*_"$debarch".deb 2>/dev/null | head -n 1 || true)
  if [ -z "$sdl_deb" ]; then
    # apt's lists may be old or missing on a fresh machine: refreshed once.
    fetch() { (cd "$cache" && apt-get download -q "libsdl1.2debian:$debarch" >/dev/null 2>&1); }
    fetch || { $([ "$(id -u)" -eq 0 ] || echo sudo) apt-get update -qq && fetch; } \
      || { echo "could not fetch libsdl1.2debian:$debarch from Debian's archive" >&2; return 1; }
    sdl_deb=$(ls "$cache"/libsdl1.2debian_*_"$debarch".deb | head -n 1)
    rm -rf "$cache/sdl-$debarch"
  fi
  [ -d "$cache/sdl-$debarch" ] || dpkg-deb -x "$sdl_deb" "$cache/sdl-$debarch"
  local dirs=("$cache/sdl-$debarch/usr/lib/$triplet" "/usr/lib/$triplet" "/lib/$triplet" "/usr/lib/$triplet/pulseaudio")
  mkdir -p "$libdir/copyright"
  local -a todo
  mapfile -t todo < <(objdump -p "$exe" | awk '$1 == "NEEDED" { print $2 }')
  local name dir found package
  while [ ${#todo[@]} -gt 0 ]; do
    name=${todo[0]}
    todo=("${todo[@]:1}")
    [[ "$system_libs" == *" $name "* ]] && continue
    [ -e "$libdir/$name" ] && continue
    found=""
    for dir in "${dirs[@]}"; do
      [ -e "$dir/$name" ] && { found="$dir/$name"; break; }
    done
    [ -n "$found" ] || { echo "$name, which the $arch executable loads, is not installed" >&2; return 1; }
    install -m 644 "$(readlink -f "$found")" "$libdir/$name"
    if [[ "$found" == "$cache/"* ]]; then
      install -m 644 "$cache/sdl-$debarch/usr/share/doc/libsdl1.2debian/copyright" "$libdir/copyright/libsdl1.2debian"
    else
      package=$(dpkg -S "$(readlink -f "$found")" 2>/dev/null || dpkg -S "/usr$(readlink -f "$found")" 2>/dev/null \
        || dpkg -S "${found#/usr}" 2>/dev/null) || { echo "no package owns $found" >&2; return 1; }
      package=${package%%:*}
      install -m 644 "/usr/share/doc/$package/copyright" "$libdir/copyright/$package"
    fi
    mapfile -t -O ${#todo[@]} todo < <(objdump -p "$libdir/$name" | awk '$1 == "NEEDED" { print $2 }')
  done
}

mkdir -p "$out"
for arch in $(printf '%s\n' "${!builds[@]}" | sort); do
  build=${builds[$arch]}
  # Everything the archive and the package hold; the manual pages are dated
  # by SOURCE_DATE_EPOCH, so they are made anew.
  rm -f "$build"/packaging/*.6.gz
  cmake --build "$build" --target vorna-release >/dev/null
  name="vorna-$version-linux-$arch"
  stage=$(mktemp -d)
  top="$stage/$name"
  mkdir -p "$top/screenshots"
  install -m 755 -s "$build/vorna" "$top/vorna"
  install -m 755 "$build/packaging/vorna.sh" "$top/vorna.sh"
  bundle_libs "$top/vorna" "$top/lib" "$arch" "$build"
  install -m 644 docs/release/vorna.nfo docs/release/README.txt LICENSE "$top/"
  install -m 644 docs/screens/*.png "$top/screenshots/"
  # Stable archives: sorted names, one owner, the commit's time, no name or
  # time in the gzip header.
  tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" -cf - "$name" \
    | gzip -9n >"$out/$name.tar.gz"
  rm -rf "$stage"
  (cd "$build" && cpack -G DEB -B "$out/cpack-$arch" >"$out/cpack-$arch.log" 2>&1) \
    || { cat "$out/cpack-$arch.log" >&2; exit 1; }
  rm -f "$out/cpack-$arch.log"
  mv "$out/cpack-$arch"/*.deb "$out/"
  rm -rf "$out/cpack-$arch"
  echo "$arch: $out/$name.tar.gz and $out/vorna_${version}_$(debian_arch "$arch").deb"
done

# The page: build/web's static folder as a zip, stable like the archives
# (sorted names, SOURCE_DATE_EPOCH's time, fixed permissions).
if [ $web -eq 1 ]; then
  NODE_PATH=/usr/share/nodejs cmake --preset web >/dev/null
  NODE_PATH=/usr/share/nodejs cmake --build --preset web --target vorna >/dev/null
  python3 - "$out/vorna-$version-web.zip" "vorna-$version-web" "$SOURCE_DATE_EPOCH" build/web \
    index.html page.js page.css vorna.js vorna.wasm <<'PY'
import os, sys, time, zipfile
target, folder, stamp, build = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
when = time.gmtime(max(stamp, 315532800))[:6]  # zip times start in 1980
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for name in sorted(sys.argv[5:]):
        info = zipfile.ZipInfo(f"{folder}/{name}", when)
        info.external_attr = 0o644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        with open(os.path.join(build, name), "rb") as f:
            z.writestr(info, f.read())
PY
  echo "web: $out/vorna-$version-web.zip"
fi

if [ $video -eq 1 ]; then
  record_build=${builds[x86_64]:-}
  [ -n "$record_build" ] || { echo "the capture is recorded by the x86_64 build: none was given" >&2; exit 1; }
  cmake --build "$record_build" --target vorna-record >/dev/null
  "$record_build/tools/vorna-record/vorna-record" -o "$out/vorna-$version.mp4" >/dev/null
  echo "capture: $out/vorna-$version.mp4"
fi

(cd "$out" && release_files | xargs sha256sum >SHA256SUMS)
echo "checksums: $out/SHA256SUMS"
