// Costs of the 2D effects on an 800x600 frame, as the scenes call them.
#include <SDL/SDL.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench.h"
#include "render/effects.h"
#include "render/font.h"

namespace {

SDL_Surface* effectsFrame() {
    static SDL_Surface* s = [] {
        SDL_Init(SDL_INIT_VIDEO);
        SDL_Surface* video = SDL_SetVideoMode(800, 600, 32, 0);
        SDL_Surface* f = SDL_CreateRGBSurface(SDL_SWSURFACE, 800, 600, 32, video->format->Rmask,
                                              video->format->Gmask, video->format->Bmask, 0);
        for (int y = 0; y < 600; ++y)
            for (int x = 0; x < 800; ++x)
                reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(f->pixels) + y * f->pitch)[x] =
                    uint32_t((x * 7) ^ (y * 13)) & 0xFFFFFF;
        return f;
    }();
    return s;
}

void report(const char* label, double seconds) { std::printf("%-40s %9.3f ms\n", label, seconds * 1e3); }

}  // namespace

VORNA_BENCH("effects/vignette 800x600") {
    SDL_Surface* s = effectsFrame();
    const Color opaque = {0, 255}, translucent = {0, 180};
    report("vignette, alpha 255", bench::timeIt([&] { vignette(s, &opaque); }));
    report("vignette, alpha 180 (backgrounds)", bench::timeIt([&] { vignette(s, &translucent); }));
}

VORNA_BENCH("effects/glitchBand 800x600") {
    SDL_Surface* s = effectsFrame();
    std::srand(1);
    report("glitchBand (129 rows rotated)", bench::timeIt([&] { glitchBand(s); }));
}

VORNA_BENCH("effects/rings 128 drawn twice") {
    SDL_Surface* s = effectsFrame();
    static RingSampler rings[128];
    for (int k = 0; k < 128; ++k) captureRing(s, &rings[k], 400, 300, k);
    int rotation = 0;
    report("128 rings x 2 (title swirls)", bench::timeIt([&] {
               rotation = (rotation + 3) % 360;
               for (int k = 0; k < 128; ++k) {
                   rings[k].offset = rotation;
                   drawRing(s, 300 + k, 300 - (k >> 2), &rings[k]);
                   drawRing(s, 500 - k, 300 - (k >> 2), &rings[k]);
               }
           }));
    report("captureRing x 128", bench::timeIt([&] {
               for (int k = 0; k < 128; ++k) captureRing(s, &rings[k], 400, 300, k);
           }));
}

VORNA_BENCH("effects/sparks 1024") {
    SDL_Surface* s = effectsFrame();
    SparkSystem system;
    makeSparks(&system, 1024);
    report("emitSparks 1024 into an idle system", bench::timeIt([&] {
               for (int i = 0; i < 1024; ++i) system.sparks[i].active = 0;
               emitSparks(&system, 400, 10, 1024);
           }));
    std::vector<Spark> flying(1024);
    for (int i = 0; i < 1024; ++i) flying[i] = Spark{1, 255, 0, 0, std::rand() % 800, std::rand() % 500};
    report("updateSparks, 1024 active (incl. reset)", bench::timeIt([&] {
               std::memcpy(system.sparks, flying.data(), sizeof(Spark) * 1024);
               updateSparks(&system, s);
           }));
    freeSparks(&system);
}

VORNA_BENCH("effects/flare sprite 256x256") {
    SDL_Surface* s = effectsFrame();
    AlphaLayer* glow = nullptr;
    report("makeGlowSprite(256, 256)", bench::timeIt([&] {
               freeLayer(glow);
               glow = makeGlowSprite(256, 256);
           }));
    report("blendLayer 256x256, 4 flares", bench::timeIt([&] {
               for (int i = 0; i < 4; ++i) blendLayer(s, glow, 100 + 150 * i - 128, 300 - 128);
           }));
    freeLayer(glow);
}

VORNA_BENCH("effects/stretchRowsBand and keyed blit") {
    SDL_Surface* s = effectsFrame();
    SDL_Surface* page = SDL_CreateRGBSurface(SDL_SWSURFACE, 800, 600, 32, s->format->Rmask, s->format->Gmask,
                                             s->format->Bmask, 0);
    int row = 0;
    report("stretchRowsBand 800x600, band 16", bench::timeIt([&] {
               row = (row + 1) % 584;
               stretchRowsBand(s, page, row, 16);
           }));
    SDL_Surface* sprite = SDL_CreateRGBSurface(SDL_SWSURFACE, 64, 51, 32, s->format->Rmask, s->format->Gmask,
                                               s->format->Bmask, 0);
    SDL_FillRect(sprite, nullptr, 0x80C0FF);
    SDL_SetColorKey(sprite, SDL_SRCCOLORKEY, 0xFF00FF);
    report("blitScaledKeyed 64x51 x 4 sprites", bench::timeIt([&] {
               for (int i = 0; i < 4; ++i) blitScaledKeyed(sprite, s, 100 + 150 * i, 200, 48 + 8 * i);
           }));
    SDL_FreeSurface(sprite);
    SDL_FreeSurface(page);
}

VORNA_BENCH("effects/glyph strips") {
    effectsFrame();
    report("makeGlyphStripDotted, scale 2", bench::timeIt([&] { SDL_FreeSurface(makeGlyphStripDotted(0xFFFF00, 2)); }));
    report("makeGlyphStripBlock, scale 4", bench::timeIt([&] { SDL_FreeSurface(makeGlyphStripBlock(0xFFFF00, 4)); }));
}
