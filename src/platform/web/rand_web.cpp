// The web build's rand and srand: glibc's generator in place of the page's C
// library's own, so that one seed draws the same numbers as a native run.
#include <cstdlib>

#include "platform/web/glibc_random.h"

namespace {
GlibcRandom generator;
}

extern "C" {
int rand(void) { return generator.next(); }
void srand(unsigned seed) { generator.reseed(seed); }
}
