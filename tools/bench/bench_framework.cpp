// The frame blur on an 800x600 32-bit frame (run once or twice every frame)
// and the scatter effect's per-frame update on the 20,480-face sphere, each
// beside a plain one-byte-at-a-time version of the same arithmetic.
#include <SDL/SDL.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench.h"
#include "framework/text_label.h"

namespace {

SDL_Surface* frame() {
    static SDL_Surface* s = [] {
        SDL_Init(SDL_INIT_VIDEO);
        SDL_Surface* video = SDL_SetVideoMode(800, 600, 32, 0);
        SDL_Surface* f = SDL_CreateRGBSurface(SDL_SWSURFACE, 800, 600, 32, video->format->Rmask,
                                              video->format->Gmask, video->format->Bmask, 0);
        uint32_t state = 12345;
        uint8_t* p = static_cast<uint8_t*>(f->pixels);
        for (int i = 0; i < f->pitch * f->h; ++i) {
            state = state * 1664525u + 1013904223u;
            p[i] = static_cast<uint8_t>(state >> 24);
        }
        return f;
    }();
    return s;
}

// The blur written straight from its formula.
void plainBlur(SDL_Surface* s, int radius, bool horizontal, bool vertical) {
    const int32_t alpha = blurAlpha(radius);
    uint8_t* px = static_cast<uint8_t*>(s->pixels);
    const int pitch = s->pitch, w = s->w, h = s->h;
    auto step = [alpha](uint8_t& b, int32_t& z) {
        z += (((int32_t)b << 7) - z) * alpha >> 16;
        b = (uint8_t)(z >> 7);
    };
    if (horizontal) {
        for (int y = 0; y < h; ++y) {
            uint8_t* row = px + y * pitch;
            int32_t z[4] = {row[0] << 7, row[1] << 7, row[2] << 7, row[3] << 7};
            for (int o = 4; o < w * 4; o += 4)
                for (int c = 0; c < 4; ++c) step(row[o + c], z[c]);
            for (int o = w * 4 - 8; o >= 0; o -= 4)
                for (int c = 0; c < 4; ++c) step(row[o + c], z[c]);
        }
    }
    if (vertical) {
        for (int x = 0; x < w; ++x) {
            int32_t z[4];
            for (int c = 0; c < 4; ++c) z[c] = px[x * 4 + c] << 7;
            for (int y = h - 2; y >= 0; --y)
                for (int c = 0; c < 4; ++c) step(px[y * pitch + x * 4 + c], z[c]);
        }
    }
}

void blurCase(const char* label, int radius, bool horizontal, bool vertical) {
    SDL_Surface* s = frame();
    const double fast = bench::timeIt([&] { TextLabel::blur(s, radius, horizontal, vertical); });
    const double plain = bench::timeIt([&] { plainBlur(s, radius, horizontal, vertical); });
    std::printf("%-34s %7.3f ms   plain %7.3f ms   (x%.1f)\n", label, fast * 1e3, plain * 1e3, plain / fast);
}

}  // namespace

VORNA_BENCH("framework/blur") {
    blurCase("blur 800x600 horizontal r4", 4, true, false);
    blurCase("blur 800x600 both r32", 32, true, true);
    blurCase("blur 800x600 vertical r16", 16, false, true);
}
