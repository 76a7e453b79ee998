#!/usr/bin/env bash
# The x86-64 release archive on a bare system: a minimal Debian 12 root made
# by Debian's debootstrap (--variant=minbase) with only libx11-6 and libxext6
# added, so no SDL, no libjpeg, no sound library and no sound output. The
# archive's vorna.sh starts under Xvfb (the root reaches the server through
# its abstract socket), finds no sound output, plays in silence, and ends on
# Escape with status 0.
#   bare_root_test.sh ARCHIVE ROOT_CACHE
# ROOT_CACHE holds the root between runs (made anew when its stamp is missing
# or names other packages). Needs root, debootstrap, chroot, Xvfb, xdotool.
set -u
archive=$(realpath "$1") cache="$2"
here=$(dirname "$(realpath "$0")")
root="$cache/bookworm-minbase"
want="bookworm minbase libx11-6,libxext6"
if [ "$(cat "$root.stamp" 2>/dev/null)" != "$want" ]; then
  echo "making the bare root in $root (once; Debian's archive is needed)"
  rm -rf "$root" "$root.stamp"
  mkdir -p "$cache"
  debootstrap --variant=minbase --include=libx11-6,libxext6 bookworm "$root" http://deb.debian.org/debian \
    >"$root.log" 2>&1 || { echo "debootstrap failed:"; tail -n 20 "$root.log"; exit 1; }
  echo "$want" >"$root.stamp"
fi
for lib in libSDL-1.2.so.0 libjpeg.so.62 libasound.so.2; do
  [ -z "$(find "$root/usr/lib" "$root/lib" -name "$lib" 2>/dev/null)" ] || { echo "the bare root has $lib"; exit 1; }
done

. "$here/../../tools/support/xvfb.sh"
app="" place=""
trap 'kill $xvfb_pid 2>/dev/null; [ -n "$app" ] && kill $app 2>/dev/null; [ -n "$place" ] && rm -rf "$root$place"' EXIT
place=$(mktemp -d -p "$root/tmp" vorna-bare.XXXXXX) || exit 1
place=${place#"$root"}
tar -C "$root$place" -xzf "$archive" || { echo "the archive does not unpack"; exit 1; }
top=$(ls "$root$place")
start_xvfb
log="$root$place.log"
chroot "$root" env -i PATH=/usr/bin:/bin HOME=/root DISPLAY="$DISPLAY" "$place/$top/vorna.sh" </dev/null >"$log" 2>&1 &
app=$!
wait_for_window "$app" "$log" 600
sleep 2
kill -0 "$app" 2>/dev/null || { wait "$app"; echo "it ended by itself with status $? within 2 s"; cat "$log"; exit 1; }
escape_until_exit "$app" "$win"
app=""
said=$(cat "$log")
rm -f "$log"
echo "$said"
grep -qx "No sound output was found: playing without sound." <<<"$said" || { echo "no word of the missing sound output"; exit 1; }
[ "$(grep -c '^engine initializing 800x600x32$' <<<"$said")" -eq 2 ] || { echo "not two start-ups"; exit 1; }
[ "$status" -eq 0 ] || { echo "status $status"; exit 1; }
echo "bare root test passed"
