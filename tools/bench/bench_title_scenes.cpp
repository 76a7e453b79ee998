// Whole frames of the opening, the text page and the closing on an 800x600
// 32-bit screen: each scene runs a fixed number of frames (the row never
// reaches a cue), then a released Escape ends it, so the closing's fade is
// not part of the figure.
#include <SDL/SDL.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "bench.h"
#include "framework/engine.h"
#include "framework/outside_world.h"
#include "scenes/music_position.h"
#include "scenes/title_scenes.h"

namespace {

constexpr int kFrames = 120;
int framesLeft = 0;

// Row 8 is on the text page's period of 8 but on no half-pattern boundary.
int32_t countdownRow(Song*) {
    if (--framesLeft == 0) {
        pushKeyRelease(SDLK_ESCAPE);
    }
    return 8;
}

Engine* benchEngine() {
    static Engine* engine = new Engine;  // never destroyed: SDL stays up for the other cases
    if (!SDL_GetVideoSurface()) {
        SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER);
        SDL_SetVideoMode(800, 600, 32, 0);
    }
    engine->screen = SDL_GetVideoSurface();
    return engine;
}

template <typename F>
void timeScene(const char* name, F&& run) {
    Engine* engine = benchEngine();
    if (!engine->screen) {
        std::printf("  %s: no video surface\n", name);
        return;
    }
    OutsideWorld world = realWorld();
    world.musicRow = countdownRow;
    installOutsideWorld(world);
    framesLeft = kFrames + 1;  // the frame that sees the release still presents
    const double start = bench::nowSeconds();
    const int32_t result = run(engine);
    const double seconds = bench::nowSeconds() - start;
    installOutsideWorld(realWorld());
    bench::keep(result);
    std::printf("  %s: %.2f ms per frame (%d frames, setup included)\n", name, seconds * 1000.0 / (kFrames + 1),
                kFrames + 1);
}

}  // namespace

VORNA_BENCH("scenes/title frames") {
    TitleState titles;
    timeScene("opening", [&](Engine* e) { return runOpening(e, nullptr, titles); });
    static const char* const lines[] = {"HELLO", "BENCH", "PARTY", nullptr};
    timeScene("text page", [&](Engine* e) { return runTextPage(e, nullptr, titles, lines, 6, 8, 4); });
    timeScene("closing", [&](Engine* e) { return runClosing(e, nullptr, titles); });
}
