#!/usr/bin/env python3
"""Compares two runs of vorna-frames (tests/web/run-compare.sh makes them):
frame hashes, the frames kept as pixels, and the music's samples.

usage: compare.py NATIVE_DIR WEB_DIR [WEB_DIR_AGAIN]

Prints how many frames are identical, and for each kept frame that differs
the share of differing pixels and the largest channel difference; for the
music the correlation and the largest sample difference. With a second web
run, the web build must have made the very same frames and samples.
Fails when the two builds drift apart beyond what last-bit differences of a
maths library explain (see the limits below)."""
import array
import math
import os
import sys

# Limits: a kept frame may differ in at most this share of its pixels, and the
# music must stay this close to the native build's.
MAX_PIXEL_SHARE = 0.25
MIN_CORRELATION = 0.999


def hashes(folder):
    with open(os.path.join(folder, "hashes.txt")) as f:
        return [line.split()[1] for line in f if line.strip()]


def samples(folder):
    data = array.array("h")
    with open(os.path.join(folder, "music.s16"), "rb") as f:
        data.frombytes(f.read())
    if sys.byteorder != "little":
        data.byteswap()
    return data


def frame_difference(a_path, b_path):
    with open(a_path, "rb") as f:
        a = f.read()
    with open(b_path, "rb") as f:
        b = f.read()
    pixels = len(a) // 3
    differing = 0
    largest = 0
    for i in range(0, len(a), 3):
        d = max(abs(a[i] - b[i]), abs(a[i + 1] - b[i + 1]), abs(a[i + 2] - b[i + 2]))
        if d:
            differing += 1
            largest = max(largest, d)
    return differing / pixels, largest


def main(argv):
    if len(argv) not in (3, 4):
        print(__doc__, file=sys.stderr)
        return 2
    native, web = argv[1], argv[2]
    failures = []
    h_native, h_web = hashes(native), hashes(web)
    if len(h_native) != len(h_web):
        failures.append(f"the runs made {len(h_native)} and {len(h_web)} frames")
    count = min(len(h_native), len(h_web))
    differing = [i for i in range(count) if h_native[i] != h_web[i]]
    print(f"frames: {count - len(differing)} of {count} identical to the native build's")
    if differing:
        print(f"differing frames: {differing[0]} .. {differing[-1]} ({len(differing)})")
    for i in differing:
        name = f"frame_{i:05d}.rgb"
        a, b = os.path.join(native, name), os.path.join(web, name)
        if os.path.exists(a) and os.path.exists(b):
            share, largest = frame_difference(a, b)
            print(f"  frame {i}: {100 * share:.3f}% of the pixels differ, by at most {largest}")
            if share > MAX_PIXEL_SHARE:
                failures.append(f"frame {i} differs in {100 * share:.1f}% of its pixels")

    m_native, m_web = samples(native), samples(web)
    n = min(len(m_native), len(m_web))
    if len(m_native) != len(m_web):
        failures.append(f"the music has {len(m_native)} and {len(m_web)} samples")
    largest = max((abs(m_native[i] - m_web[i]) for i in range(n)), default=0)
    if largest == 0:
        print(f"music: {n // 2} frames, identical")
    else:
        sa = sum(m_native[i] * m_native[i] for i in range(n))
        sb = sum(m_web[i] * m_web[i] for i in range(n))
        sab = sum(m_native[i] * m_web[i] for i in range(n))
        correlation = sab / math.sqrt(sa * sb) if sa and sb else 0.0
        print(f"music: correlation {correlation:.6f}, largest sample difference {largest}")
        if correlation < MIN_CORRELATION:
            failures.append(f"the music's correlation is {correlation:.6f}")

    if len(argv) == 4:
        again = argv[3]
        same = hashes(again) == h_web and samples(again) == m_web
        print("web build: " + ("the same frames and music on a second run" if same else "a second run differs"))
        if not same:
            failures.append("the web build is not deterministic")

    for f in failures:
        print(f"FAIL: {f}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
