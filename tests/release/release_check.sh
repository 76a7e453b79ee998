#!/usr/bin/env bash
# The slow release checks (the release stage of scripts/test-all.sh):
#  1. two release builds of this tree's last commit, from two fresh clones in
#     folders of different names, one after the other, give byte-identical
#     files (every file that SHA256SUMS lists), and none holds a build path;
#  2. lintian passes both packages with no error and no warning;
#  3. desktop-file-validate and appstreamcli validate --no-net pass the menu
#     entry and the metainfo as the package installs them;
#  4. the x86-64 archive plays in a bare Debian 12 root (bare_root_test.sh).
# The i386 release is built only where this machine runs 32-bit programs.
# A missing checker (lintian, debootstrap, desktop-file-validate, appstreamcli)
# skips its check with a word outside CI and fails it in CI (CI=true).
# Both builds use ccache when there is one: its objects are what the compiler
# makes, and the comparison and the path search hold for what it serves.
#   release_check.sh SOURCE_DIR WORK_DIR [ROOT_CACHE]
set -u
source_dir=$(realpath "$1") work=$(realpath -m "$2")
root_cache="${3:-${XDG_CACHE_HOME:-$HOME/.cache}/vorna/release-root}"
here=$(dirname "$(realpath "$0")")
fail=0
bad() { echo "FAIL: $*"; fail=1; }
missing() {  # missing TOOL WHAT: the check WHAT cannot run
  if [ "${CI:-}" = true ]; then bad "$1 is missing: $2 cannot run (scripts/install-deps.sh test installs it)"
  else echo "SKIP: $1 is missing, so $2 is not checked (scripts/install-deps.sh test installs it)"; fi
}
head=$(git -C "$source_dir" rev-parse HEAD 2>/dev/null) || { echo "not a git checkout: nothing to clone"; exit 1; }

builds=(--build x86_64=build/run)
probe="$work/probe32"
mkdir -p "$work"
if printf 'int main(void) { return 0; }\n' | gcc -m32 -x c - -o "$probe" 2>/dev/null && "$probe" 2>/dev/null; then
  builds+=(--build i386=build/release-i386)
else
  echo "SKIP: this machine does not run 32-bit programs, so the i386 release is not built"
fi
rm -f "$probe"

if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_NOHASHDIR=1
fi
# release_in NAME: a fresh clone of HEAD in WORK_DIR/NAME, configured and
# released there (without the video) into WORK_DIR/NAME/out.
release_in() {
  local clone="$work/$1" started
  started=$(date +%s)
  rm -rf "$clone"
  git clone -q --no-checkout "$source_dir" "$clone" && git -C "$clone" checkout -q "$head" || return 1
  (
    cd "$clone" || exit 1
    export CCACHE_BASEDIR="$clone"
    cmake --preset run >/dev/null || exit 1
    [ ${#builds[@]} -eq 2 ] || cmake --preset release-i386 >/dev/null || exit 1
    ./scripts/release.sh --no-video --no-web --out "$clone/out" "${builds[@]}" >/dev/null
  ) || { echo "release in $clone failed"; return 1; }
  echo "release build $1: $(( $(date +%s) - started )) s"
}
release_in a || exit 1
sleep 1  # the second build is made at another time, to the second
release_in second-build || exit 1
a="$work/a/out" b="$work/second-build/out"

# 1. Byte for byte, and no build path.
[ -s "$a/SHA256SUMS" ] || bad "no SHA256SUMS"
cmp -s "$a/SHA256SUMS" "$b/SHA256SUMS" || { bad "the two builds differ:"; diff "$a/SHA256SUMS" "$b/SHA256SUMS"; }
while read -r _ file; do
  cmp -s "$a/$file" "$b/$file" || bad "$file differs between the builds"
done <"$a/SHA256SUMS"
unpacked="$work/unpacked"
rm -rf "$unpacked"
mkdir -p "$unpacked"
for f in "$a"/*.tar.gz; do tar -C "$unpacked" -xzf "$f"; done
for f in "$a"/*.deb; do dpkg-deb -x "$f" "$unpacked/$(basename "$f" .deb)"; done
for path in "$work" "$source_dir"; do
  leaks=$(grep -rl --binary-files=binary -F "$path" "$unpacked" 2>/dev/null)
  [ -z "$leaks" ] || bad "the build path $path is in: $leaks"
done

# 2. lintian: no error, no warning (information and overrides aside).
if command -v lintian >/dev/null; then
  for deb in "$a"/*.deb; do
    said=$(lintian "$deb" 2>&1 | grep -v '^running with root privileges')
    echo "lintian $(basename "$deb"): ${said:-clean}"
    grep -q '^[EW]:' <<<"$said" && bad "lintian finds errors or warnings in $(basename "$deb")"
  done
else
  missing lintian "the packages' lintian check"
fi

# 3. The menu entry and the metainfo as installed.
installed="$unpacked/vorna_$(sed -n 's/^vorna_\([^_]*\)_amd64\.deb$/\1/p' <(ls "$a"))_amd64"
desktop=("$installed"/usr/share/applications/*.desktop)
metainfo=("$installed"/usr/share/metainfo/*.metainfo.xml)
[ -f "${desktop[0]}" ] || bad "the package has no menu entry"
[ -f "${metainfo[0]}" ] || bad "the package has no metainfo"
if command -v desktop-file-validate >/dev/null; then
  said=$(desktop-file-validate "${desktop[0]}" 2>&1) || bad "desktop-file-validate: $said"
  [ -z "$said" ] || echo "desktop-file-validate: $said"
else
  missing desktop-file-validate "the menu entry"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "${metainfo[0]}" || bad "appstreamcli finds fault with the metainfo"
else
  missing appstreamcli "the AppStream metainfo"
fi
exec_line=$(sed -n 's/^Exec=//p' "${desktop[0]}")
[ -x "$installed$exec_line" ] || bad "the menu entry starts $exec_line, which the package does not install"

# 4. The archive on a bare system.
if command -v debootstrap >/dev/null && command -v chroot >/dev/null; then
  "$here/bare_root_test.sh" "$a"/vorna-*-linux-x86_64.tar.gz "$root_cache" || bad "the archive does not play in a bare Debian 12 root"
else
  missing debootstrap "the archive in a bare Debian 12 root"
fi

if [ $fail -eq 0 ]; then
  rm -rf "$work"
  echo "release check passed"
fi
exit $fail
