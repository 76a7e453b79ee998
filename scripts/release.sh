#!/usr/bin/env bash
# Builds the release: for x86-64 and i386 an archive with the executable, the
# .nfo, the screenshots and a README, and a Debian package; the page as a
# zip; then the capture video of the whole production beside them.
#   release.sh [--out DIR] [--no-video] [--build ARCH=BUILD_DIR]...
# --out        where the files go (default out/release)
# --no-video   leaves the whole-production capture out (it takes minutes)
# --build      packs ARCH (x86_64 or i386) from a build folder that is already
#              configured, instead of configuring and building the presets
#              run (x86_64) and release-i386; only the named ones are packed
# Needs the test set of scripts/install-deps.sh (the i386 libraries, dpkg-dev).
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

out="$source_dir/out/release"
video=1
declare -A builds=()
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out=$(realpath -m "$2"); shift 2 ;;
    --no-video) video=0; shift ;;
    --build) builds[${2%%=*}]=$(realpath "${2#*=}"); shift 2 ;;
    *) sed -n '2,11p' "$0" >&2; exit 2 ;;
  esac
done
if [ ${#builds[@]} -eq 0 ]; then
  for pair in x86_64=run i386=release-i386; do
    preset=${pair#*=}
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    builds[${pair%%=*}]="$source_dir/build/$preset"
  done
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "${builds[x86_64]:-${builds[i386]:-}}/CMakeCache.txt")
[ -n "$version" ] || { echo "no project version in the build's cache" >&2; exit 1; }
mkdir -p "$out"
for arch in "${!builds[@]}"; do
  build=${builds[$arch]}
  # What the package installs.
  cmake --build "$build" --target vorna vorna-record vorna-scene vorna-view xm-render >/dev/null
  name="vorna-$version-linux-$arch"
  stage=$(mktemp -d)
  mkdir -p "$stage/$name/screenshots"
  install -m 755 -s "$build/vorna" "$stage/$name/vorna"
  cp docs/release/vorna.nfo docs/release/README.txt "$stage/$name/"
  cp docs/screens/*.png "$stage/$name/screenshots/"
  # Stable archives: sorted names, one owner, the commit's time.
  stamp=$(git log -1 --format=%ct 2>/dev/null || date +%s)
  tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$stamp" -czf "$out/$name.tar.gz" "$name"
  rm -rf "$stage"
  (cd "$build" && cpack -G DEB -B "$out/cpack-$arch" >/dev/null)
  mv "$out/cpack-$arch"/*.deb "$out/"
  rm -rf "$out/cpack-$arch"
  echo "$arch: $out/$name.tar.gz and $(ls "$out"/vorna_*"$( [ "$arch" = i386 ] && echo i386 || echo amd64)".deb)"
done

# The page: build/web's static folder as vorna-VERSION-web.zip, stable like
# the archives (sorted names, the commit's time, fixed permissions).
NODE_PATH=/usr/share/nodejs cmake --preset web >/dev/null
NODE_PATH=/usr/share/nodejs cmake --build --preset web --target vorna >/dev/null
stamp=$(git log -1 --format=%ct 2>/dev/null || date +%s)
python3 - "$out/vorna-$version-web.zip" "vorna-$version-web" "$stamp" build/web \
  index.html page.js page.css vorna.js vorna.wasm <<'PY'
import os, sys, time, zipfile
target, folder, stamp, build = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
when = time.gmtime(max(stamp, 315532800))[:6]  # zip times start in 1980
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for name in sorted(sys.argv[5:]):
        path = name if os.path.sep in name else os.path.join(build, name)
        info = zipfile.ZipInfo(f"{folder}/{os.path.basename(name)}", when)
        info.external_attr = 0o644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        with open(path, "rb") as f:
            z.writestr(info, f.read())
PY
echo "web: $out/vorna-$version-web.zip"

if [ $video -eq 1 ]; then
  record_build=${builds[x86_64]:-}
  [ -n "$record_build" ] || { echo "the capture is recorded by the x86_64 build: none was given" >&2; exit 1; }
  cmake --build "$record_build" --target vorna-record >/dev/null
  "$record_build/tools/vorna-record/vorna-record" -o "$out/vorna-$version.mp4" >/dev/null
  echo "capture: $out/vorna-$version.mp4"
fi
