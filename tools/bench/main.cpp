// vorna-bench [FILTER]: runs every registered case whose name contains FILTER.
#include <cstdlib>
#include <cstring>
#include <vector>
#include <algorithm>
#include <string>

#include <SDL/SDL.h>

#include "bench.h"

namespace bench {
namespace {
Case* head = nullptr;
}
SDL_Surface* videoFrame() {
    static SDL_Surface* s = [] {
        SDL_Init(SDL_INIT_VIDEO);
        SDL_Surface* video = SDL_SetVideoMode(800, 600, 32, 0);
        return SDL_CreateRGBSurface(SDL_SWSURFACE, 800, 600, 32, video->format->Rmask, video->format->Gmask,
                                    video->format->Bmask, 0);
    }();
    return s;
}

Case* registerCase(Case* c) {
    c->next = head;
    head = c;
    return c;
}
}  // namespace bench

int main(int argc, char** argv) {
    // Benchmarks run headless on SDL's dummy driver unless told otherwise.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const char* filter = argc > 1 ? argv[1] : "";
    std::vector<bench::Case*> cases;
    for (bench::Case* c = bench::head; c; c = c->next) cases.push_back(c);
    std::sort(cases.begin(), cases.end(),
              [](bench::Case* a, bench::Case* b) { return std::strcmp(a->name, b->name) < 0; });
    for (bench::Case* c : cases) {
        if (!std::strstr(c->name, filter)) continue;
        std::printf("== %s\n", c->name);
        std::fflush(stdout);
        c->fn();
        std::fflush(stdout);
    }
    return 0;
}
