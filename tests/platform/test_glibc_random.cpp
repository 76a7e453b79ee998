// The web build's rand (platform/web/glibc_random.h) against the C library's
// own here, glibc's: the same numbers from the same seed, or every tile,
// noise dot and scatter of the page would differ from the native build's.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/web/glibc_random.h"

TEST(GlibcRandom, DrawsWhatGlibcRandDraws) {
    // 0 (glibc makes it 1), small seeds, a time-like seed and seeds that are
    // negative as the signed word glibc's seeding works on.
    for (unsigned seed : {0u, 1u, 2u, 12345u, 1765200000u, 0x80000000u, 0xFFFFFFFFu}) {
        std::srand(seed);
        GlibcRandom generator(seed);
        for (int i = 0; i < 20000; ++i) ASSERT_EQ(generator.next(), std::rand()) << "seed " << seed << ", draw " << i;
    }
}

TEST(GlibcRandom, ReseedingStartsTheSequenceAgain) {
    GlibcRandom generator(7);
    const int first = generator.next();
    for (int i = 0; i < 100; ++i) generator.next();
    generator.reseed(7);
    EXPECT_EQ(generator.next(), first);
}
