#include "render/effects.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Greys and colour keys are made in the display's format; before a video mode
// exists the surface's own format stands in.
const SDL_PixelFormat* videoFormat(const SDL_Surface* fallback) {
    const SDL_Surface* video = SDL_GetVideoSurface();
    return video ? video->format : fallback->format;
}

int videoDepth() {
    const SDL_Surface* video = SDL_GetVideoSurface();
    return video ? video->format->BitsPerPixel : 32;
}

inline uint8_t* rowAddress(const SDL_Surface* s, int32_t y) {
    return static_cast<uint8_t*>(s->pixels) + static_cast<std::ptrdiff_t>(y) * s->pitch;
}

inline uint32_t loadPixel(const uint8_t* p, int bytesPerPixel) {
    uint32_t v = 0;
    std::memcpy(&v, p, static_cast<size_t>(bytesPerPixel));
    return v;
}

inline void storePixel(uint8_t* p, uint32_t v, int bytesPerPixel) {
    std::memcpy(p, &v, static_cast<size_t>(bytesPerPixel));
}

// t / 255 rounded exactly, in 16-bit unsigned arithmetic, as blendPixel does.
inline uint32_t mixChannel(uint32_t a, uint32_t fresh, uint32_t under) {
    const uint16_t t = static_cast<uint16_t>(a * fresh + (255u - a) * under + 128u);
    return static_cast<uint16_t>(t + (t >> 8)) >> 8;
}

// Both formats 32-bit with whole 8-bit channels in the same places: splitting
// and mapping are plain shifts with SDL_GetRGB's and SDL_MapRGB's results.
bool sameEightBitFormat(const SDL_PixelFormat* a, const SDL_PixelFormat* b) {
    return a->BytesPerPixel == 4 && b->BytesPerPixel == 4 && a->Rloss == 0 && a->Gloss == 0 &&
           a->Bloss == 0 && a->Rmask == b->Rmask && a->Gmask == b->Gmask && a->Bmask == b->Bmask &&
           a->Amask == 0 && b->Amask == 0;
}

bool fourBytes(const SDL_Surface* s) { return s->format->BytesPerPixel == 4; }

bool isRgb888(const SDL_PixelFormat* f) {
    return f->Rshift == 16 && f->Gshift == 8 && f->Bshift == 0;
}

// mixChannel for all three channels of 0xRRGGBB at once: red and blue share
// one multiply in 16-bit lanes (every lane sum stays below 65536, so no lane
// carries into the next).
inline uint32_t mixRgb888(uint32_t a, uint32_t fresh, uint32_t under) {
    const uint32_t rest = 255u - a;
    uint32_t rb = (fresh & 0xFF00FFu) * a + (under & 0xFF00FFu) * rest + 0x800080u;
    uint32_t g = (fresh & 0xFF00u) * a + (under & 0xFF00u) * rest + 0x8000u;
    rb = ((rb + ((rb >> 8) & 0xFF00FFu)) >> 8) & 0xFF00FFu;
    g = ((g + ((g >> 8) & 0xFF00u)) >> 8) & 0xFF00u;
    return rb | g;
}

int32_t glitchBandRow = 0;  // persists across calls and scenes

}  // namespace

AlphaLayer* makeLayer(int32_t width, int32_t height, int32_t withAlpha) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    AlphaLayer* layer = new AlphaLayer;
    layer->surface = SDL_CreateRGBSurface(0, width, height, videoDepth(), 0, 0, 0, 0);
    layer->alphaMap = nullptr;
    if (withAlpha) layer->alphaMap = new uint8_t[static_cast<size_t>(width) * static_cast<size_t>(height)]();
    return layer;
}

void freeLayer(AlphaLayer* layer) {
    if (!layer) return;
    if (layer->surface) SDL_FreeSurface(layer->surface);
    delete[] layer->alphaMap;
    delete layer;
}

void blendLayer(SDL_Surface* target, const AlphaLayer* layer, int32_t x, int32_t y) {
    if (!target || !layer || !layer->surface) return;
    const SDL_Surface* src = layer->surface;
    // 64-bit so that positions far off the target cannot overflow the clipping.
    int64_t sx = 0, sy = 0, dx = x, dy = y, w = src->w, h = src->h;
    if (dx < 0) {
        sx = -dx;
        w -= sx;
        dx = 0;
    }
    if (dy < 0) {
        sy = -dy;
        h -= sy;
        dy = 0;
    }
    w = std::min<int64_t>(w, target->w - dx);
    h = std::min<int64_t>(h, target->h - dy);
    if (h <= 0 || w <= 0) return;

    const SDL_PixelFormat* lf = src->format;
    const SDL_PixelFormat* tf = target->format;
    const int lbpp = lf->BytesPerPixel, tbpp = tf->BytesPerPixel;
    const bool fast = sameEightBitFormat(lf, tf);
    const bool packed = fast && isRgb888(lf);
    // Cost: one blend per covered pixel, w x h (65536 for a whole flare sprite).
    for (int64_t r = 0; r < h; ++r) {
        const uint8_t* alphaRow = layer->alphaMap ? layer->alphaMap + (sy + r) * src->w + sx : nullptr;
        const uint8_t* from = rowAddress(src, static_cast<int32_t>(sy + r)) + sx * lbpp;
        uint8_t* to = rowAddress(target, static_cast<int32_t>(dy + r)) + dx * tbpp;
        for (int64_t c = 0; c < w; ++c, from += lbpp, to += tbpp) {
            const uint32_t a = alphaRow ? alphaRow[c] : 255u;
            if (a == 0) continue;
            if (fast) {
                const uint32_t fresh = loadPixel(from, 4);
                if (a == 255) {
                    storePixel(to, fresh & (lf->Rmask | lf->Gmask | lf->Bmask), 4);
                    continue;
                }
                const uint32_t under = loadPixel(to, 4);
                if (packed) {
                    storePixel(to, mixRgb888(a, fresh, under), 4);
                    continue;
                }
                uint32_t out = 0;
                for (int shift : {int(lf->Rshift), int(lf->Gshift), int(lf->Bshift)})
                    out |= mixChannel(a, (fresh >> shift) & 0xFF, (under >> shift) & 0xFF) << shift;
                storePixel(to, out, 4);
                continue;
            }
            const uint32_t fresh = loadPixel(from, lbpp);
            Uint8 lr, lg, lb, tr, tg, tb;
            SDL_GetRGB(fresh, const_cast<SDL_PixelFormat*>(lf), &lr, &lg, &lb);
            SDL_GetRGB(loadPixel(to, tbpp), tf, &tr, &tg, &tb);
            if (a != 255) {
                lr = static_cast<Uint8>(mixChannel(a, lr, tr));
                lg = static_cast<Uint8>(mixChannel(a, lg, tg));
                lb = static_cast<Uint8>(mixChannel(a, lb, tb));
            }
            storePixel(to, SDL_MapRGB(tf, lr, lg, lb), tbpp);
        }
    }
}

void radialGlow(SDL_Surface* surface, const Color* color) {
    if (!surface || !color) return;
    const int32_t c = std::min(surface->w, surface->h) / 2;
    if (c == 0) return;  // a disc of radius 0 has no pixels (and d would divide by zero)
    const SDL_PixelFormat* video = videoFormat(surface);
    // Cost: one square root per pixel; only made once per glow sprite.
    for (int32_t y = 0; y < surface->h; ++y) {
        for (int32_t x = 0; x < surface->w; ++x) {
            const double ddx = c - x, ddy = c - y;
            const double d = std::sqrt(ddy * ddy + ddx * ddx) / c;
            const int v = d > 1.0 ? 0 : static_cast<int>((1.0 - d) * (1.0 - d) * 255.0);
            const uint32_t grey = SDL_MapRGB(const_cast<SDL_PixelFormat*>(video), Uint8(v), Uint8(v), Uint8(v));
            if (color->alpha == 255)
                putPixel(surface, x, y, grey);
            else
                blendPixel(surface, x, y, grey, color->alpha);
        }
    }
}

AlphaLayer* makeGlowSprite(int32_t width, int32_t height) {
    AlphaLayer* layer = makeLayer(width, height, 1);
    SDL_Surface* s = layer->surface;
    if (!s) return layer;
    const Color black = {0, 255};
    for (int32_t y = 0; y < s->h; ++y) drawLine(s, 0, y, s->w - 1, y, &black);
    const Color opaque = {0, 255};
    radialGlow(s, &opaque);
    // The glow is grey, so its red channel is its brightness and becomes its alpha.
    const SDL_PixelFormat* f = s->format;
    for (int32_t y = 0; y < s->h; ++y) {
        const uint8_t* row = rowAddress(s, y);
        for (int32_t x = 0; x < s->w; ++x) {
            const uint32_t p = loadPixel(row + x * f->BytesPerPixel, f->BytesPerPixel);
            layer->alphaMap[y * s->w + x] = static_cast<uint8_t>(((p & f->Rmask) >> f->Rshift) << f->Rloss);
        }
    }
    return layer;
}

void vignette(SDL_Surface* surface, const Color* color) {
    if (!surface || !color || surface->w <= 0 || surface->h <= 0) return;
    const int32_t w = surface->w, h = surface->h, halfW = w / 2, halfH = h / 2;
    const SDL_PixelFormat* video = videoFormat(surface);
    // The ramp depends on |dx| and |dy| only: one table row per dy serves the
    // two rows at that distance, and each entry both columns.
    std::vector<int32_t> ramp(static_cast<size_t>(halfW) + 1);
    std::vector<uint32_t> greys(255);
    for (int v = 0; v < 255; ++v) greys[v] = SDL_MapRGB(const_cast<SDL_PixelFormat*>(video), Uint8(v), Uint8(v), Uint8(v));
    const int32_t maxDy = std::max(halfH, h - 1 - halfH);
    // Cost: (w / 2 + 1) x (h / 2 + 1) square roots and one write or blend per pixel.
    for (int32_t dy = 0; dy <= maxDy; ++dy) {
        for (int32_t dx = 0; dx <= halfW; ++dx) {
            const long double dist = std::sqrt(static_cast<long double>(dx) * dx + static_cast<long double>(dy) * dy);
            ramp[dx] = 2 * static_cast<int32_t>(dist * 255.0L / w * 0.5L);
        }
        const int32_t rows[2] = {halfH - dy, halfH + dy};
        for (int i = 0; i < (dy == 0 ? 1 : 2); ++i) {
            const int32_t y = rows[i];
            if (y < 0 || y >= h) continue;
            for (int32_t x = 0; x < w; ++x) {
                const int32_t v = ramp[std::abs(halfW - x)];
                if (v > 254) continue;
                if (color->alpha == 255)
                    putPixel(surface, x, y, greys[v]);
                else
                    blendPixel(surface, x, y, greys[v], color->alpha);
            }
        }
    }
}

void makeSparks(SparkSystem* system, int32_t count) {
    if (!system) return;
    count = std::max(count, 0);
    system->count = count;
    system->fade = 1;
    system->sparks = count ? new Spark[count] : nullptr;
    for (int32_t i = 0; i < count; ++i) system->sparks[i] = Spark{0, 255, 0, 0, 0, 0};
}

void emitSparks(SparkSystem* system, int32_t x, int32_t y, int32_t n) {
    if (!system || !system->sparks) return;
    // Cost: n searches of at most `count` records.
    for (int32_t k = 0; k < n; ++k) {
        Spark* idle = nullptr;
        for (int32_t i = 0; i < system->count && !idle; ++i)
            if (!system->sparks[i].active) idle = &system->sparks[i];
        if (!idle) continue;  // every spark is in flight: this one is dropped
        idle->active = 1;
        idle->life = 255;
        const int r1 = std::rand();
        const int r2 = std::rand();
        idle->y = y + r1 % 6;
        idle->x = x + r2 % 6;
    }
}

void updateSparks(SparkSystem* system, SDL_Surface* surface) {
    if (!system || !system->sparks || !surface) return;
    const uint32_t white = SDL_MapRGB(surface->format, 255, 255, 255);
    // Cost: one pass over `count` records, one pixel per active spark.
    for (int32_t i = 0; i < system->count; ++i) {
        Spark& s = system->sparks[i];
        if (!s.active) continue;
        if (system->fade) {
            if (isInside(surface, s.x, s.y)) putPixelAlpha(surface, s.x, s.y, white, s.life);
            s.life -= 4;
            if (s.life < 0) {
                s.life = 0;
                s.active = 0;
            } else if (s.life < 10) {
                s.active = 0;
            }
        } else {
            putPixel(surface, s.x, s.y, white);
        }
        s.y += 2;
        // A spark exactly at the height survives one more move, undrawn.
        if (s.y < 0 || s.y > surface->h) s.active = 0;
    }
}

void freeSparks(SparkSystem* system) {
    if (!system) return;
    delete[] system->sparks;
    system->sparks = nullptr;
    system->count = 0;
}

void captureRing(SDL_Surface* picture, RingSampler* ring, int32_t cx, int32_t cy, int32_t radius) {
    if (!ring) return;
    std::memset(ring, 0, sizeof *ring);
    ring->radius = radius;
    ring->offset = 0;
    ring->surface = picture;
    if (!picture) return;
    ring->width = picture->w;
    ring->height = picture->h;
    for (int i = 0; i < kRingEntries; ++i) {
        // 3.14 / 180 as a float: the 360 steps fall slightly short of a full turn.
        const float a = static_cast<float>(i) * 0.017444445f;
        RingEntry& e = ring->entries[i];
        e.dx = static_cast<int32_t>(std::sin(static_cast<double>(a)) * radius);
        e.dy = static_cast<int32_t>(std::cos(static_cast<double>(a)) * radius);
        readPixel(picture, cx + e.dx, cy + e.dy, &e.pixel);  // off the picture stays black
    }
}

void drawRing(SDL_Surface* surface, int32_t cx, int32_t cy, const RingSampler* ring) {
    if (!surface || !ring) return;
    // Any offset is taken modulo a turn, so the sample index stays in range.
    int32_t offset = ring->offset % kRingEntries;
    if (offset < 0) offset += kRingEntries;
    // Cost: 360 pixels.
    for (int i = 0; i < kRingEntries; ++i) {
        int j = i + offset;
        if (j > kRingEntries - 1) j -= kRingEntries;
        const RingEntry& e = ring->entries[i];
        putPixel(surface, cx + e.dx, cy + e.dy, ring->entries[j].pixel);
    }
}

void setRingCenter(RingSampler* ring, int32_t x, int32_t y) {
    ring->centerX = x;
    ring->centerY = y;
}

void setRingFlag(RingSampler* ring, int32_t value) { ring->flag = value; }

void stretchRowsBand(SDL_Surface* source, SDL_Surface* target, int32_t startRow, int32_t maxRepeat) {
    if (!source || !target || startRow < 0 || startRow > target->h) return;
    // The surfaces are meant to be the same size; the smaller one bounds every copy.
    const int32_t limit = std::min(source->h, target->h);
    const size_t bytes = std::min(source->pitch, target->pitch);
    auto copyRow = [&](int32_t from, int32_t to) { std::memcpy(rowAddress(target, to), rowAddress(source, from), bytes); };

    int32_t row = 0;
    // Straight copies stop at limit - 1: the last row is deliberately left as it was.
    for (; row < startRow; ++row) {
        if (row >= limit - 1) return;
        copyRow(row, row);
    }
    // The band: blocks of 1, 2, .. maxRepeat, .. 2, 1 rows, each showing its
    // first row. Only a block running into the bottom writes the last row.
    for (int32_t step = 1; step < 2 * maxRepeat; ++step) {
        const int32_t repeat = step <= maxRepeat ? step : 2 * maxRepeat - step;
        const int32_t blockStart = row;
        for (int32_t k = 0; k < repeat; ++k, ++row) {
            if (row >= limit) return;
            copyRow(blockStart, row);
        }
    }
    for (; row < limit - 1; ++row) copyRow(row, row);
}

void blitScaledKeyed(SDL_Surface* sprite, SDL_Surface* target, int32_t x, int32_t y, int32_t width) {
    if (!sprite || !target || !fourBytes(sprite) || !fourBytes(target)) return;
    int64_t left = x, top = y, w = width;
    if (left + target->w < 0 || left >= target->w || top + target->h < 0 || top >= target->h) return;
    if (left < 0) {  // squeezed into what remains, not clipped
        w += left;
        left = 0;
    }
    int32_t firstRow = 0;
    if (top < 0) {
        firstRow = static_cast<int32_t>(-top);
        top = 0;
    }
    const int64_t n = std::clamp<int64_t>(w, 0, target->w);
    if (n == 0) return;
    const int64_t start = left + (sprite->w - n) / 2;
    const uint32_t key = sprite->format->colorkey;
    // A stretched sprite starts left of `left` and may hang over any edge: the
    // target's bounds are tested here rather than trusted to the caller.
    const int64_t kFirst = std::max<int64_t>(0, -start);
    const int64_t kEnd = std::min<int64_t>(n, target->w - start);
    // Cost: n columns x sprite rows.
    for (int32_t r = firstRow; r < sprite->h; ++r) {
        const int64_t ty = top + (r - firstRow);
        if (ty >= target->h) break;
        const uint32_t* from = reinterpret_cast<const uint32_t*>(rowAddress(sprite, r));
        uint32_t* to = reinterpret_cast<uint32_t*>(rowAddress(target, static_cast<int32_t>(ty)));
        for (int64_t k = kFirst; k < kEnd; ++k) {
            const uint32_t p = from[sprite->w * k / n];
            if (p != key) to[start + k] = p;
        }
    }
}

void glitchBand(SDL_Surface* surface) {
    if (!surface || surface->h <= 0 || surface->pitch <= 0 || !fourBytes(surface)) return;
    const int32_t h = surface->h;
    if (std::rand() % 100 >= 61) glitchBandRow = std::rand() % h;
    if (++glitchBandRow >= h) glitchBandRow = 0;
    const size_t pitch = surface->pitch;
    uint8_t carry[64 * 4];
    // k is the row's place in the band, so the shift peaks (32 pixels) on the
    // band's own row. Cost: 129 rows of one rotation each.
    for (int32_t k = 0; k <= 128; ++k) {
        const int32_t y = glitchBandRow - 64 + k;
        if (y < 0 || y >= h) continue;
        const int32_t s = k < 64 ? (k * 64) >> 7 : 64 - ((k * 64) >> 7);
        const size_t shift = (static_cast<size_t>(s) * 4) % pitch;  // a row narrower than the shift wraps
        if (shift == 0) continue;
        uint8_t* row = rowAddress(surface, y);
        std::memcpy(carry, row + pitch - shift, shift);
        std::memmove(row + shift, row, pitch - shift);
        std::memcpy(row, carry, shift);
    }
}
