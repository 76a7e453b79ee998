#!/usr/bin/env bash
# vorna-scene end to end on SDL's dummy drivers: frame limits, shots after a
# given frame, the profile's split, repeatable virtual runs that the profile
# does not change, a title step, and refused arguments.
set -u
tool="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# A 3D step stopped after 5 frames, photographed after frames 4 and 5 and at its end.
out=$("$tool" --frames 5 --shot 4 "$work/a.png" --shot 5 "$work/b.bmp" --shot 5 "$work/a5.png" \
  --shot end "$work/end.png" 17) || fail "step 17 status $?"
echo "$out"
grep -q '^step 17 (3D): result 1 after 5 frames$' <<<"$out" || fail "step 17 did not stop after 5 frames"
[ "$(head -c 8 "$work/a.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "a.png is not a PNG"
[ "$(head -c 2 "$work/b.bmp")" = BM ] || fail "b.bmp is not a BMP"
[ "$(stat -c %s "$work/b.bmp")" -ge 1440000 ] || fail "b.bmp is smaller than 800x600x3"
cmp -s "$work/a5.png" "$work/end.png" || fail "the end shot is not the screen after the last frame"
! cmp -s "$work/a.png" "$work/a5.png" || fail "frames 4 and 5 left the same screen"

# The split has every phase and adds up to the frame time it reports.
out=$("$tool" --frames 20 --profile 3) || fail "profiled step 3 status $?"
echo "$out"
grep -q '^profile step 3: 20 frames, ' <<<"$out" || fail "no profile of 20 frames"
[ "$(grep -cE '^  [a-z+]+ +[0-9.]+ ms +[0-9.]+ ms cpu +[0-9.]+%$' <<<"$out")" -eq 9 ] || fail "not nine phases"
awk '/^profile step/ { split($0, a, "[(]"); split(a[2], b, " "); total = b[1] }
     / ms cpu / { sum += $2 }
     END { d = sum - total; if (d < 0) d = -d; exit !(total > 0 && d < 0.01 + total * 0.01) }' <<<"$out" ||
  fail "the phases do not add up to the frame time"

# Virtual time and a fixed seed give the same pictures, profiled or not.
"$tool" --virtual 4 --frames 60 --shot 60 "$work/v1.png" 16 >/dev/null || fail "virtual run 1"
"$tool" --virtual 4 --frames 60 --shot 60 "$work/v2.png" --profile 16 >/dev/null || fail "virtual run 2"
cmp -s "$work/v1.png" "$work/v2.png" || fail "two virtual runs differ"
"$tool" --virtual 4 --seed 7 --frames 60 --shot 60 "$work/v3.png" 16 >/dev/null || fail "virtual run 3"
! cmp -s "$work/v1.png" "$work/v3.png" || fail "another seed drew the same frame"

# Left alone in virtual time, the 2-second cow scene ends by itself at the
# first half-pattern row after 2 virtual seconds (400 frames of 5 ms), not before.
out=$("$tool" --virtual 5 --quiet-audio --shot end "$work/e14.png" 14) || fail "step 14 status $?"
echo "$out"
frames=$(sed -n 's/^step 14 (3D): result 0 after \([0-9]*\) frames$/\1/p' <<<"$out")
[ -n "$frames" ] || fail "step 14 did not end by itself"
[ "$frames" -gt 400 ] || fail "step 14 ended after $frames frames, before its 2 seconds"
[ -s "$work/e14.png" ] || fail "no shot of step 14's last frame"

# A picture interlude counts its frames the same way.
out=$("$tool" --frames 3 --shot 3 "$work/p.png" 2) || fail "step 2 status $?"
grep -q '^step 2: result 1 after 3 frames$' <<<"$out" || fail "step 2 did not stop after 3 frames: $out"
[ -s "$work/p.png" ] || fail "no shot of step 2"

# Refused: a step out of range, a shot after the last frame, a missing value.
"$tool" 23 >/dev/null 2>&1; [ $? -eq 2 ] || fail "step 23 accepted"
"$tool" --frames 5 --shot 9 "$work/x.png" 14 >/dev/null 2>&1; [ $? -eq 2 ] || fail "shot after the end accepted"
"$tool" --frames 14 >/dev/null 2>&1; [ $? -eq 2 ] || fail "--frames without a step accepted"
echo "vorna-scene test passed"
