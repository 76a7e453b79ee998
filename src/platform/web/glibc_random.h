// The C library's rand as glibc makes it (its default additive feedback
// generator, x[i] = x[i-3] + x[i-31], seeded by a Park-Miller sequence), so
// that a build on another C library draws the same numbers from one seed:
// every tile, noise dot and scatter of the production depends on them.
//
// Owns: its 34 words of state. Threads: one at a time, like rand. Not for
// anything but reproducing rand; it is no better a generator than rand.
#pragma once

#include <cstdint>

struct GlibcRandom {
    int32_t r[34];
    int front = 0;  // the next output is r[front] = r[front - 31] + r[front - 3], indices mod 34

    explicit GlibcRandom(unsigned seed = 1) { reseed(seed); }

    void reseed(unsigned seed) {
        if (seed == 0) seed = 1;  // glibc's rule: a zero seed would give only zeros
        int32_t word = int32_t(seed);
        r[0] = word;
        for (int i = 1; i < 31; ++i) {
            // Schrage's method for 16807 x word mod (2^31 - 1), as glibc computes it.
            const int32_t hi = word / 127773;
            const int32_t lo = word % 127773;
            word = 16807 * lo - 2836 * hi;
            if (word < 0) word += 2147483647;
            r[i] = word;
        }
        for (int i = 31; i < 34; ++i) r[i] = r[i - 31];
        front = 34 % 34;
        // glibc throws away the first 310 outputs.
        for (int i = 34; i < 344; ++i) step();
    }

    // The next value of rand: 0 to 2^31 - 1.
    int next() { return int(uint32_t(step()) >> 1); }

private:
    int32_t step() {
        const int at = front;
        const uint32_t sum = uint32_t(r[(at + 34 - 31) % 34]) + uint32_t(r[(at + 34 - 3) % 34]);
        r[at] = int32_t(sum);
        front = (at + 1) % 34;
        return r[at];
    }
};
