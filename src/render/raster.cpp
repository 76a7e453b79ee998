#include "render/raster.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>

#include <emmintrin.h>

#include "framework/compat.h"
#include "render/camera.h"

namespace {

inline uint8_t* pixelAddress(const SDL_Surface* s, int32_t x, int32_t y) {
    return static_cast<uint8_t*>(s->pixels) + y * s->pitch + x * s->format->BytesPerPixel;
}

// Copies the low BytesPerPixel bytes of the value (little-endian host); at
// four bytes a single store rather than a copy of run-time length.
inline void storePixel(const SDL_Surface* s, int32_t x, int32_t y, uint32_t pixel) {
    if (s->format->BytesPerPixel == 4)
        std::memcpy(pixelAddress(s, x, y), &pixel, 4);
    else
        std::memcpy(pixelAddress(s, x, y), &pixel, s->format->BytesPerPixel);
}

inline int32_t clampInt(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }
inline int32_t minInt(int32_t a, int32_t b) { return a < b ? a : b; }
inline int32_t maxInt(int32_t a, int32_t b) { return a > b ? a : b; }

// Blending at four bytes a pixel and eight bits a channel, the format the
// production runs in: splitting and mapping are plain shifts, with the same
// results as SDL_GetRGB and SDL_MapRGB. The masks are read once per call
// site, not once per pixel.
struct FastBlend {
    uint32_t rmask, gmask, bmask, amask;
    int rshift, gshift, bshift;
    bool xrgb;  // red, green, blue in bits 16, 8 and 0, as on every display we meet

    static bool applies(const SDL_PixelFormat* f) {
        return f->BytesPerPixel == 4 && f->Rloss == 0 && f->Gloss == 0 && f->Bloss == 0;
    }
    explicit FastBlend(const SDL_PixelFormat* f)
        : rmask(f->Rmask), gmask(f->Gmask), bmask(f->Bmask), amask(f->Amask), rshift(f->Rshift),
          gshift(f->Gshift), bshift(f->Bshift),
          xrgb(rmask == 0xFF0000 && gmask == 0x00FF00 && bmask == 0x0000FF) {}

    void apply(uint32_t* p, uint32_t pixel, int32_t alpha) const {
        if (alpha <= 0) {
            *p = (*p & (rmask | gmask | bmask)) | amask;
            return;
        }
        const uint32_t old = *p;
        const uint32_t a = alpha >= 255 ? 255u : uint32_t(alpha), rest = 255u - a;
        if (xrgb) {
            // The same rounding for red and blue at once, each in its own
            // 16-bit lane: no lane's sum reaches 65536, so none carries.
            uint32_t rb = (pixel & 0xFF00FF) * a + (old & 0xFF00FF) * rest + 0x00800080;
            rb = ((rb + ((rb >> 8) & 0x00FF00FF)) >> 8) & 0x00FF00FF;
            const uint32_t t = ((pixel >> 8) & 0xFF) * a + ((old >> 8) & 0xFF) * rest + 128;
            *p = rb | ((t + (t >> 8)) >> 8) << 8 | amask;
            return;
        }
        // t / 255 rounded exactly, in 16-bit unsigned arithmetic.
        auto mix = [&](uint32_t mask, int shift) -> uint32_t {
            const uint32_t fresh = (pixel & mask) >> shift, under = (old & mask) >> shift;
            const uint16_t t = static_cast<uint16_t>(a * fresh + rest * under + 128);
            return uint32_t(static_cast<uint16_t>(t + (t >> 8)) >> 8) << shift;
        };
        *p = mix(rmask, rshift) | mix(gmask, gshift) | mix(bmask, bshift) | amask;
    }
};

// FastBlend::apply of one value and opacity over four neighbouring pixels of
// the usual 32-bit layout, in SSE2: every channel in a 16-bit lane, with
// the same products and the same rounding (no lane's sum reaches 65536).
struct Blend4 {
    __m128i fresh;  // pixel x alpha + 128 per channel, for two pixels
    __m128i rest;   // 255 - alpha in every lane
    __m128i keep, amask;

    Blend4(const FastBlend& b, uint32_t pixel, int32_t alpha) {
        const int32_t a = alpha >= 255 ? 255 : alpha;  // callers blend at 1 .. 255
        const __m128i wide = _mm_unpacklo_epi8(_mm_set1_epi32(int32_t(pixel)), _mm_setzero_si128());
        fresh = _mm_add_epi16(_mm_mullo_epi16(wide, _mm_set1_epi16(int16_t(a))), _mm_set1_epi16(128));
        rest = _mm_set1_epi16(int16_t(255 - a));
        keep = _mm_set1_epi32(int32_t(b.rmask | b.gmask | b.bmask));
        amask = _mm_set1_epi32(int32_t(b.amask));
    }
    __m128i half(__m128i under) const {
        const __m128i t = _mm_add_epi16(_mm_mullo_epi16(under, rest), fresh);
        return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
    }
    __m128i apply(__m128i four) const {
        const __m128i zero = _mm_setzero_si128();
        const __m128i mixed =
            _mm_packus_epi16(half(_mm_unpacklo_epi8(four, zero)), half(_mm_unpackhi_epi8(four, zero)));
        return _mm_or_si128(_mm_and_si128(mixed, keep), amask);
    }
};

// One ghosted span on a row of the usual layout: the loop over x in from ..
// end blends x - d with the first tint, x + d with the second and x with the
// face. Each pixel only ever meets its own blends, so it takes them here in
// the order that loop gives them: by the x that makes them, the tints first
// where d is 0. Cost: three blends a pixel of the span, four pixels at a time
// from eight pixels on, each lane keeping the blends that reach its pixel.
void ghostSpan(uint32_t* row, int32_t w, int32_t from, int32_t end, int64_t d, uint32_t pixel,
               const FastBlend& blend) {
    if (from > end) return;
    constexpr uint32_t kTintA = 0xFFCCAA, kTintB = 0xCCFFAA;
    if (!blend.xrgb || end - from < 8) {
        // The loop itself, three blends for each x: below eight pixels the
        // set-up of the pass below costs more than it saves.
        for (int64_t x = from; x <= end; ++x) {
            if (x - d >= 0 && x - d < w) blend.apply(row + (x - d), kTintA, 64);
            if (x + d >= 0 && x + d < w) blend.apply(row + (x + d), kTintB, 64);
            blend.apply(row + x, pixel, 155);
        }
        return;
    }
    const int64_t ad = d < 0 ? -d : d;
    const int64_t first = std::max<int64_t>(from - ad, 0), last = std::min<int64_t>(end + ad, w - 1);
    auto one = [&](int64_t p) {
        uint32_t* q = row + p;
        const bool a = p + d >= from && p + d <= end;  // made at x = p + d
        const bool b = p - d >= from && p - d <= end;  // made at x = p - d
        const bool m = p >= from && p <= end;
        if (d > 0) {
            if (b) blend.apply(q, kTintB, 64);
            if (m) blend.apply(q, pixel, 155);
            if (a) blend.apply(q, kTintA, 64);
        } else if (d < 0) {
            if (a) blend.apply(q, kTintA, 64);
            if (m) blend.apply(q, pixel, 155);
            if (b) blend.apply(q, kTintB, 64);
        } else {
            if (a) blend.apply(q, kTintA, 64);
            if (b) blend.apply(q, kTintB, 64);
            if (m) blend.apply(q, pixel, 155);
        }
    };
    // The pixels each blend reaches, held to -1 .. w so that they fit 32-bit
    // lanes without changing which of the pixels 0 .. w - 1 they hold.
    auto lane = [w](int64_t v) { return int32_t(std::clamp<int64_t>(v, -1, w)); };
    struct Reach {
        __m128i below, above;  // lo - 1 and hi + 1: a pixel q is reached where below < q < above
    };
    auto reach = [&](int64_t lo, int64_t hi) { return Reach{_mm_set1_epi32(lane(lo) - 1), _mm_set1_epi32(lane(hi) + 1)}; };
    const Reach byA = reach(from - d, end - d), byB = reach(from + d, end + d), byFace = reach(from, end);
    const Blend4 tintA(blend, kTintA, 64), tintB(blend, kTintB, 64), face(blend, pixel, 155);
    const Blend4& early = d > 0 ? tintB : tintA;
    const Reach& earlyReach = d > 0 ? byB : byA;
    const Blend4& middle = d != 0 ? face : tintB;
    const Reach& middleReach = d != 0 ? byFace : byB;
    const Blend4& late = d > 0 ? tintA : (d < 0 ? tintB : face);
    const Reach& lateReach = d > 0 ? byA : (d < 0 ? byB : byFace);
    auto step = [](const Blend4& b, const Reach& r, __m128i q, __m128i four) {
        const __m128i in = _mm_and_si128(_mm_cmpgt_epi32(q, r.below), _mm_cmplt_epi32(q, r.above));
        return _mm_or_si128(_mm_and_si128(in, b.apply(four)), _mm_andnot_si128(in, four));
    };
    // Only the pixels some blend reaches: the three stretches on the row,
    // overlapping ones joined, each walked four pixels at a time.
    struct Stretch {
        int64_t lo, hi;
    } stretches[3] = {{std::max<int64_t>(from - ad, first), std::min<int64_t>(end - ad, last)},
                      {std::max<int64_t>(from, first), std::min<int64_t>(end, last)},
                      {std::max<int64_t>(from + ad, first), std::min<int64_t>(end + ad, last)}};
    const __m128i four = _mm_set1_epi32(4);
    int64_t done = first - 1;  // the last pixel walked
    for (int s = 0; s < 3; ++s) {
        int64_t lo = std::max(stretches[s].lo, done + 1), hi = stretches[s].hi;
        if (lo > hi) continue;
        // Join the stretches that overlap or touch this one.
        for (int t = s + 1; t < 3 && stretches[t].lo <= hi + 1; ++t) hi = std::max(hi, stretches[t].hi);
        int64_t p = lo;
        __m128i q = _mm_add_epi32(_mm_set1_epi32(int32_t(lo)), _mm_setr_epi32(0, 1, 2, 3));
        for (; p + 3 <= hi; p += 4) {
            __m128i* at = reinterpret_cast<__m128i*>(row + p);
            __m128i v = _mm_loadu_si128(at);
            v = step(early, earlyReach, q, v);
            v = step(middle, middleReach, q, v);
            v = step(late, lateReach, q, v);
            _mm_storeu_si128(at, v);
            q = _mm_add_epi32(q, four);
        }
        for (; p <= hi; ++p) one(p);
        done = hi;
    }
}

inline uint32_t* rowPixels(const SDL_Surface* s, int32_t y) {
    return reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(s->pixels) + y * s->pitch);
}

// n > 0 copies of pixel from p on. Four at a time, the last four ending
// exactly at p + n (they may cover pixels already written with the same
// value); below four, one store each. Cost: n / 4 + 1 stores.
inline void fillPixels(uint32_t* p, int32_t n, uint32_t pixel) {
    if (n < 4) {
        p[0] = pixel;
        if (n > 1) p[1] = pixel;
        if (n > 2) p[2] = pixel;
        return;
    }
    const __m128i four = _mm_set1_epi32(int32_t(pixel));
    uint32_t* const lastFour = p + n - 4;
    for (; p < lastFour; p += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(p), four);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lastFour), four);
}

// Four copies of the last opaque pixel value, packed at the surface's bytes
// per pixel, so an opaque span on a surface of fewer than 4 bytes a pixel
// writes four pixels per copy.
struct SpanPattern {
    uint32_t cached = 0;
    int cachedBytes = 0;
    bool valid = false;
    uint8_t bytes[16] = {};

    const uint8_t* forPixel(uint32_t pixel, int bytesPerPixel) {
        if (!valid || pixel != cached || bytesPerPixel != cachedBytes) {
            for (int slot = 0; slot < 4; ++slot) std::memcpy(bytes + slot * bytesPerPixel, &pixel, bytesPerPixel);
            cachedBytes = bytesPerPixel;
            cached = pixel;
            valid = true;
        }
        return bytes;
    }
};

SpanPattern drawSpanPattern;  // drawSpan's own cache
SpanPattern fillSpanPattern;  // the cache of the span writer inside fillEdgePair
int32_t glitchLine = 0;       // 0 .. 2, kept across rows, triangles and frames

// The opaque run of n pixels from lo: cost n stores, or n / 4 block copies
// plus up to three single pixels from the pattern below 4 bytes a pixel.
void writeOpaqueRun(SDL_Surface* s, SpanPattern& pattern, int32_t y, int32_t lo, int32_t n, uint32_t pixel) {
    const int bpp = s->format->BytesPerPixel;
    if (bpp == 4) {  // the format the system runs in: four pixels a store
        if (n > 0) fillPixels(rowPixels(s, y) + lo, n, pixel);
        return;
    }
    const uint8_t* bytes = pattern.forPixel(pixel, bpp);
    uint8_t* p = pixelAddress(s, lo, y);
    for (int32_t i = n >> 2; i > 0; --i) {
        std::memcpy(p, bytes, 4 * bpp);
        p += 4 * bpp;
    }
    for (int32_t i = n & 3; i > 0; --i) {
        std::memcpy(p, bytes, bpp);
        p += bpp;
    }
}

// Rows of the triangle filler's edge lists: the drawable rows, never more
// than an edge list holds.
struct RowWindow {
    int32_t lo;
    int32_t hi;
};

// The DDA shared by walkEdge and the triangle filler; stores only the points
// whose row lies in the window, at most `capacity` of them. Wide is the
// integer type of the 16.16 arithmetic: 32 bits are exact while every
// coordinate stays within kNarrowLimit, 64 bits always. Cost: one step per
// pixel of the edge's major axis, one division.
template <typename Wide>
void walkEdgeWith(int32_t x0, int32_t y0, int32_t x1, int32_t y1, EdgePoint* points, int32_t* count,
                  int32_t capacity, RowWindow window) {
    int32_t n = 0;
    const Wide dx = Wide(x1) - x0, dy = Wide(y1) - y0;
    auto emit = [&](Wide x, Wide row) {
        if (row < window.lo || row > window.hi || n >= capacity) return;
        points[n].x = static_cast<float>(x);
        points[n].y = static_cast<float>(row);
        ++n;
    };
    if ((dy < 0 ? -dy : dy) <= (dx < 0 ? -dx : dx)) {
        // x-major: one point per row change, the first x reached on that row.
        const Wide step = dx > 0 ? 1 : -1;
        const Wide slope = dx != 0 ? (dy * 65536) / dx : 0;
        Wide fy = Wide(y0) * 65536 + 0x8000;
        Wide previousRow = 0;  // a walk that starts on row 0 emits nothing for it
        for (Wide x = x0;; x += step) {
            const Wide row = fy >> 16;
            if (row != previousRow) {
                emit(x, row);
                previousRow = row;
            }
            if (x == x1) break;
            fy += step > 0 ? slope : -slope;
        }
    } else {
        const Wide step = dy > 0 ? 1 : -1;
        const Wide slope = (dx * 65536) / dy;
        Wide fx = Wide(x0) * 65536 + 0x8000;
        for (Wide y = y0;; y += step) {
            if (!(y == y0 && y == 0)) emit(fx >> 16, y);  // a first row of 0 is skipped, as above
            if (y == y1) break;
            fx += step > 0 ? slope : -slope;
        }
    }
    *count = n;
}

// Below this magnitude a coordinate difference times 65536 fits 31 bits.
constexpr int32_t kNarrowLimit = 8192;

bool narrow(int32_t v) { return v > -kNarrowLimit && v < kNarrowLimit; }

void walkEdgeWindow(int32_t x0, int32_t y0, int32_t x1, int32_t y1, EdgePoint* points, int32_t* count,
                    int32_t capacity, RowWindow window) {
    // Projected faces almost always take the narrow path, whose division is
    // a single instruction on i386 too.
    if (narrow(x0) && narrow(y0) && narrow(x1) && narrow(y1))
        walkEdgeWith<int32_t>(x0, y0, x1, y1, points, count, capacity, window);
    else
        walkEdgeWith<int64_t>(x0, y0, x1, y1, points, count, capacity, window);
}

EdgePoint edgeTopMiddle[kEdgeCapacity];
EdgePoint edgeTopBottom[kEdgeCapacity];
EdgePoint edgeMiddleBottom[kEdgeCapacity];

// Screen coordinates far beyond anything drawable are pulled in before the
// conversion to integers; the visible part of a triangle is unchanged.
constexpr float kCoordinateLimit = 65536.0f;

}  // namespace

bool isInside(const SDL_Surface* surface, int32_t x, int32_t y) {
    return x >= 0 && x < surface->w && y >= 0 && y < surface->h;
}

void putPixel(SDL_Surface* surface, int32_t x, int32_t y, uint32_t pixel) {
    if (isInside(surface, x, y)) storePixel(surface, x, y, pixel);
}

void readPixel(const SDL_Surface* surface, int32_t x, int32_t y, uint32_t* out) {
    if (!isInside(surface, x, y)) return;
    std::memcpy(out, pixelAddress(surface, x, y), surface->format->BytesPerPixel);
}

void blendPixel(SDL_Surface* surface, int32_t x, int32_t y, uint32_t pixel, int32_t alpha) {
    if (!isInside(surface, x, y)) return;
    const SDL_PixelFormat* f = surface->format;
    if (FastBlend::applies(f)) {
        FastBlend(f).apply(rowPixels(surface, y) + x, pixel, alpha);
        return;
    }
    uint32_t old = 0;
    std::memcpy(&old, pixelAddress(surface, x, y), surface->format->BytesPerPixel);
    Uint8 nr, ng, nb, orr, og, ob;
    SDL_GetRGB(pixel, surface->format, &nr, &ng, &nb);
    SDL_GetRGB(old, surface->format, &orr, &og, &ob);
    Uint8 r, g, b;
    if (alpha <= 0) {
        r = orr, g = og, b = ob;
    } else if (alpha >= 255) {
        r = nr, g = ng, b = nb;
    } else {
        // t / 255 rounded exactly, in 16-bit unsigned arithmetic.
        auto mix = [alpha](unsigned fresh, unsigned under) -> Uint8 {
            uint16_t t = static_cast<uint16_t>(alpha * fresh + (255 - alpha) * under + 128);
            return static_cast<Uint8>(static_cast<uint16_t>(t + (t >> 8)) >> 8);
        };
        r = mix(nr, orr), g = mix(ng, og), b = mix(nb, ob);
    }
    storePixel(surface, x, y, SDL_MapRGB(surface->format, r, g, b));
}

bool drawPixel(SDL_Surface* surface, int32_t x, int32_t y, uint32_t pixel, int32_t alpha) {
    if (!isInside(surface, x, y)) return false;
    if (alpha == 255)
        storePixel(surface, x, y, pixel);
    else
        blendPixel(surface, x, y, pixel, alpha);
    return true;
}

void putPixelAlpha(SDL_Surface* surface, int32_t x, int32_t y, uint32_t pixel, int32_t alpha) {
    if (alpha == 255) {
        // Callers keep the point on the surface; the test only stops a stray write.
        if (isInside(surface, x, y)) storePixel(surface, x, y, pixel);
    } else {
        blendPixel(surface, x, y, pixel, alpha);
    }
}

void splitPixel(const SDL_Surface* surface, uint32_t pixel, int32_t* r, int32_t* g, int32_t* b) {
    const SDL_PixelFormat* f = surface->format;
    *r = static_cast<int32_t>(((pixel & f->Rmask) >> f->Rshift) << f->Rloss);
    *g = static_cast<int32_t>(((pixel & f->Gmask) >> f->Gshift) << f->Gloss);
    *b = static_cast<int32_t>(((pixel & f->Bmask) >> f->Bshift) << f->Bloss);
}

void clampRect(const SDL_Surface* surface, SDL_Rect* rect) {
    if (rect->x < 0) rect->x = 0;
    if (rect->y < 0) rect->y = 0;
    // A rectangle starting beyond the edge becomes empty rather than wrapping
    // its unsigned size around.
    if (rect->x + rect->w >= surface->w) rect->w = static_cast<Uint16>(maxInt(surface->w - rect->x - 1, 0));
    if (rect->y + rect->h >= surface->h) rect->h = static_cast<Uint16>(maxInt(surface->h - rect->y - 1, 0));
}

void drawSpan(SDL_Surface* surface, int32_t y, int32_t x0, int32_t x1, const Color* color) {
    if (y < 0 || y >= surface->h) return;
    const int32_t lo = maxInt(x0, 0);
    const int32_t hi = clampInt(x1, 0, surface->w - 1);
    const int32_t n = hi - lo;
    if (n <= 0) return;
    if (color->alpha == 255) {
        // the pixel at hi is deliberately not written
        writeOpaqueRun(surface, drawSpanPattern, y, lo, n, static_cast<uint32_t>(color->pixel));
    } else if (FastBlend::applies(surface->format)) {
        const FastBlend blend(surface->format);
        uint32_t* row = rowPixels(surface, y);
        for (int32_t x = lo; x <= hi && x < surface->w; ++x)
            blend.apply(row + x, static_cast<uint32_t>(color->pixel), color->alpha);
    } else {
        for (int32_t x = lo; x <= hi && x < surface->w; ++x)
            blendPixel(surface, x, y, static_cast<uint32_t>(color->pixel), color->alpha);
    }
}

namespace {

// lineWith's walk for an opaque line with both ends on a surface of 4 bytes a
// pixel and at most kNarrowLimit on a side: the same points, without the
// set-up the other cases need (the scanline glitch draws one such line per
// row). Cost: one division per line crossed x-major, one step per point
// y-major. Kept out of line, as lineWith is, so that drawLine stays small.
[[gnu::noinline]] void opaqueLineOnSurface(SDL_Surface* surface, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t pixel) {
    const int32_t dx = x1 - x0, dy = y1 - y0;
    const int32_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    const int32_t pitch = surface->pitch / 4;
    uint32_t* p = static_cast<uint32_t*>(surface->pixels);
    if (ady <= adx) {
        // Runs of points on one row, as in lineWith.
        const int32_t step = dx > 0 ? 1 : -1;
        const int32_t slope = dx != 0 ? (dy * 65536) / dx : 0;
        const int32_t increment = step > 0 ? slope : -slope;
        int32_t minor = y0 * 65536 + 0x8000;
        int32_t line = minor >> 16;
        p += x0 + line * pitch;
        for (int32_t remaining = adx + 1;;) {
            const int32_t fraction = minor & 0xFFFF;
            int32_t run = remaining;
            if (increment > 0)
                run = (65536 - fraction + increment - 1) / increment;
            else if (increment < 0)
                run = fraction / -increment + 1;
            if (run > remaining) run = remaining;
            fillPixels(step > 0 ? p : p - (run - 1), run, pixel);
            remaining -= run;
            if (remaining == 0) return;
            minor += increment * run;
            const int32_t next = minor >> 16;
            p += step * run + (next - line) * pitch;
            line = next;
        }
    }
    const int32_t step = dy > 0 ? 1 : -1;
    const int32_t slope = (dx * 65536) / dy;  // |dy| > |dx|, so dy is not 0
    const int32_t increment = step > 0 ? slope : -slope;
    int32_t minor = x0 * 65536 + 0x8000;
    int32_t column = minor >> 16;
    p += y0 * pitch + column;
    const int32_t majorStep = step > 0 ? pitch : -pitch;
    for (int32_t i = 0;; ++i) {
        *p = pixel;
        if (i == ady) return;
        minor += increment;
        const int32_t next = minor >> 16;
        p += majorStep + (next - column);
        column = next;
    }
}

// The 16.16 fixed-point DDA of drawLine, endpoints included, in the integer
// width Wide (32 bits while every coordinate is within kNarrowLimit, as for
// walkEdgeWith). Cost: one step per pixel of the major axis, on the surface
// or not.
template <typename Wide>
[[gnu::noinline]] void lineWith(SDL_Surface* surface, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t pixel,
              int32_t alpha) {
    const Wide dx = Wide(x1) - x0, dy = Wide(y1) - y0;
    const bool xMajor = (dy < 0 ? -dy : dy) <= (dx < 0 ? -dx : dx);
    const Wide majorStart = xMajor ? x0 : y0, majorEnd = xMajor ? x1 : y1;
    const Wide majorDelta = xMajor ? dx : dy, minorDelta = xMajor ? dy : dx;
    const Wide slope = majorDelta != 0 ? (minorDelta * 65536) / majorDelta : 0;
    const Wide step = majorDelta > 0 ? 1 : -1;
    const bool opaque = alpha == 255;
    const bool fast = FastBlend::applies(surface->format);
    const FastBlend blend(surface->format);
    const Wide w = surface->w, h = surface->h;
    Wide minor = Wide(xMajor ? y0 : x0) * 65536 + 0x8000;
    if (surface->format->BytesPerPixel == 4 && (opaque || fast) && isInside(surface, x0, y0) &&
        isInside(surface, x1, y1)) {
        // Every point of the walk lies in the box of its two ends, so with
        // both ends on the surface no point needs a test of its own.
        // The point's address moves one step along the major axis, plus one
        // line of the minor axis where the walk's minor part changes.
        uint32_t* const pixels = static_cast<uint32_t*>(surface->pixels);
        const int32_t pitch = surface->pitch / 4;
        const int32_t majorStride = xMajor ? 1 : pitch, minorStride = xMajor ? pitch : 1;
        const int32_t majorStep = step > 0 ? majorStride : -majorStride;
        const Wide increment = step > 0 ? slope : -slope;
        const int32_t last = int32_t(majorEnd > majorStart ? majorEnd - majorStart : majorStart - majorEnd);
        int32_t line = int32_t(minor >> 16);
        uint32_t* p = pixels + int32_t(majorStart) * majorStride + line * minorStride;
        auto walk = [&](auto put) {
            for (int32_t i = 0;; ++i) {
                put(p);
                if (i == last) return;
                minor += increment;
                const int32_t next = int32_t(minor >> 16);
                p += majorStep + (next - line) * minorStride;
                line = next;
            }
        };
        if (opaque && xMajor) {
            // Runs of points on one line, each filled with plain stores: a
            // run ends where the minor part's fraction carries (or borrows).
            // Cost: one division per line crossed, one store per point.
            for (int32_t remaining = last + 1;;) {
                const int32_t fraction = int32_t(minor & 0xFFFF);
                int32_t run = remaining;
                if (increment > 0)
                    run = int32_t((65536 - fraction + increment - 1) / increment);
                else if (increment < 0)
                    run = int32_t(fraction / -increment) + 1;
                if (run > remaining) run = remaining;
                // the run's pixels lie to the right of p or, walking left, to its left
                fillPixels(majorStep > 0 ? p : p - (run - 1), run, pixel);
                remaining -= run;
                if (remaining == 0) return;
                minor += increment * run;
                const int32_t next = int32_t(minor >> 16);
                p += majorStep * run + (next - line) * minorStride;
                line = next;
            }
        }
        if (opaque) {
            walk([pixel](uint32_t* q) { *q = pixel; });
        } else if (blend.xrgb && alpha > 0) {
            // Four points at a time: the points of a walk are distinct pixels
            // (the major part moves every step), and each blend reads only
            // its own pixel, so the four blend side by side as they would
            // one after another. Cost: one blend per point, four at a time.
            const Blend4 four(blend, pixel, alpha);
            int32_t remaining = last + 1;
            uint32_t* at[4];
            auto advance = [&] {
                minor += increment;
                const int32_t next = int32_t(minor >> 16);
                p += majorStep + (next - line) * minorStride;
                line = next;
            };
            for (; remaining >= 4; remaining -= 4) {
                for (uint32_t*& q : at) {
                    q = p;
                    if (remaining > 4 || &q != &at[3]) advance();
                }
                const __m128i mixed = four.apply(_mm_setr_epi32(int32_t(*at[0]), int32_t(*at[1]), int32_t(*at[2]),
                                                                int32_t(*at[3])));
                *at[0] = uint32_t(_mm_cvtsi128_si32(mixed));
                *at[1] = uint32_t(_mm_cvtsi128_si32(_mm_shuffle_epi32(mixed, 0x55)));
                *at[2] = uint32_t(_mm_cvtsi128_si32(_mm_shuffle_epi32(mixed, 0xAA)));
                *at[3] = uint32_t(_mm_cvtsi128_si32(_mm_shuffle_epi32(mixed, 0xFF)));
            }
            for (; remaining > 0; --remaining) {
                blend.apply(p, pixel, alpha);
                if (remaining > 1) advance();
            }
        } else {
            walk([&blend, pixel, alpha](uint32_t* q) { blend.apply(q, pixel, alpha); });
        }
        return;
    }
    for (Wide major = majorStart;; major += step) {
        const Wide m = minor >> 16;
        const Wide px = xMajor ? major : m, py = xMajor ? m : major;
        if (px >= 0 && py >= 0 && px < w && py < h) {
            if (opaque)
                storePixel(surface, int32_t(px), int32_t(py), pixel);
            else if (fast)
                blend.apply(rowPixels(surface, int32_t(py)) + px, pixel, alpha);
            else
                blendPixel(surface, int32_t(px), int32_t(py), pixel, alpha);
        }
        if (major == majorEnd) break;
        minor += step > 0 ? slope : -slope;
    }
}

}  // namespace

void drawLine(SDL_Surface* surface, int32_t x0, int32_t y0, int32_t x1, int32_t y1, const Color* color) {
    const uint32_t pixel = static_cast<uint32_t>(color->pixel);
    const bool opaque = color->alpha == 255;
    if (opaque && surface->format->BytesPerPixel == 4 && surface->w <= kNarrowLimit && surface->h <= kNarrowLimit &&
        isInside(surface, x0, y0) && isInside(surface, x1, y1)) {
        opaqueLineOnSurface(surface, x0, y0, x1, y1, pixel);
        return;
    }

    // Horizontal and vertical lines are drawn by a fast pass and again by the
    // DDA below, so translucent ones blend twice. An opaque pass paints only
    // points of the line with the line's value, which the DDA paints again,
    // so it is left out; except for a vertical line wholly above the surface,
    // whose pass (quirk) still paints the column's pixel on row 0.
    if (y0 == y1 && !opaque) drawSpan(surface, y0, minInt(x0, x1), maxInt(x0, x1), color);
    if (x0 == x1 && x0 >= 0 && (!opaque || maxInt(y0, y1) < 0)) {
        const int32_t top = maxInt(minInt(y0, y1), 0), bottom = maxInt(maxInt(y0, y1), 0);
        const bool fast = FastBlend::applies(surface->format);
        const FastBlend blend(surface->format);
        for (int32_t y = top; y <= bottom; ++y) {
            if (x0 >= surface->w || y >= surface->h) break;
            if (opaque)
                storePixel(surface, x0, y, pixel);
            else if (fast)
                blend.apply(rowPixels(surface, y) + x0, pixel, color->alpha);
            else
                blendPixel(surface, x0, y, pixel, color->alpha);
        }
    }

    if (narrow(x0) && narrow(y0) && narrow(x1) && narrow(y1))
        lineWith<int32_t>(surface, x0, y0, x1, y1, pixel, color->alpha);
    else
        lineWith<int64_t>(surface, x0, y0, x1, y1, pixel, color->alpha);
}

void drawLineClamped(SDL_Surface* surface, int32_t x0, int32_t y0, int32_t x1, int32_t y1, const Color* color) {
    const int32_t w = surface->w - 1, h = surface->h - 1;
    // Clamping moves the endpoints onto the surface; it does not cut the line.
    drawLine(surface, clampInt(x0, 0, w), clampInt(y0, 0, h), clampInt(x1, 0, w), clampInt(y1, 0, h), color);
}

void fillRect(SDL_Surface* surface, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t pixel) {
    if (x0 < 0) x0 = 0;
    if (y0 < 0) y0 = 0;
    if (y1 >= surface->h) y1 = surface->h - 1;
    if (x1 >= surface->w) x1 = surface->w - 1;
    const Color color{static_cast<int32_t>(pixel), 255};
    for (int32_t y = y0; y <= y1; ++y) drawLine(surface, x0, y, x1, y, &color);
}

void fillRectColor(SDL_Surface* surface, int32_t x0, int32_t y0, int32_t x1, int32_t y1, const Color* color) {
    for (int32_t y = y0; y <= y1; ++y) drawLine(surface, x0, y, x1, y, color);
}

void walkEdge(int32_t x0, int32_t y0, int32_t x1, int32_t y1, EdgePoint* points, int32_t* count,
              int32_t capacity) {
    *count = 0;
    if (!points) {
        std::fprintf(stderr, "cannot fill buffer\n");
        return;
    }
    walkEdgeWindow(x0, y0, x1, y1, points, count, capacity, RowWindow{INT32_MIN, INT32_MAX});
}

void colorSplitSpan(SDL_Surface* surface, int32_t y, int32_t x0, int32_t x1, const Color* color) {
    if (y < 0 || y >= surface->h) return;
    x1 = clampInt(x1, 0, surface->w - 1);
    if (rand() % 100 >= 71) return;  // the row flickers: empty this time
    int32_t r, g, b;
    splitPixel(surface, static_cast<uint32_t>(color->pixel), &r, &g, &b);
    SDL_Surface* video = SDL_GetVideoSurface();
    const SDL_PixelFormat* format = video ? video->format : surface->format;
    const uint32_t red = SDL_MapRGB(format, Uint8(r), 0, 0);
    const uint32_t green = SDL_MapRGB(format, 0, Uint8(g), 0);
    const uint32_t blue = SDL_MapRGB(format, 0, 0, Uint8(b));
    if (FastBlend::applies(surface->format)) {
        const FastBlend blend(surface->format);
        uint32_t* row = rowPixels(surface, y);
        const int32_t w = surface->w;
        for (int32_t x = maxInt(x0, 0); x <= x1; ++x) {
            if (x >= 16) blend.apply(row + (x - 16), red, 64);
            if (x + 16 < w) blend.apply(row + (x + 16), blue, 64);
            blend.apply(row + x, green, 155);
        }
        return;
    }
    for (int32_t x = maxInt(x0, 0); x <= x1; ++x) {
        drawPixel(surface, x - 16, y, red, 64);
        drawPixel(surface, x + 16, y, blue, 64);
        drawPixel(surface, x, y, green, 155);
    }
}

namespace {

// The offset from startB of edge B's point on the given row, or -1. Walked
// edges hold one point per row, rows rising by one, so the match usually
// sits exactly (row - first row) places on; the scan from startB stays as
// the fallback and gives the same first match.
inline int32_t matchRow(const EdgePoint* edgeB, int32_t countB, int32_t startB, float row) {
    if (startB < countB) {
        const float guess = row - edgeB[startB].y;
        if (guess >= 0 && guess < float(countB - startB) && edgeB[startB + int32_t(guess)].y == row)
            return int32_t(guess);
    }
    for (int32_t k = 0; startB + k < countB; ++k)
        if (edgeB[startB + k].y == row) return k;
    return -1;
}

// A row of an edge pair: its number and the two walked x positions, each
// held to the surface's last column.
struct PairedRow {
    int32_t y;
    int32_t xa;
    int32_t xb;
};

// Pairs point p of edge A with edge B's point on the same row. False when B
// has no point there (*j is kept) or the row cannot be filled (*j moves on).
inline bool pairRow(const EdgePoint& p, const EdgePoint* edgeB, int32_t countB, int32_t startB, int32_t w,
                    int32_t h, int32_t* j, PairedRow* row) {
    const int32_t found = matchRow(edgeB, countB, startB, p.y);
    if (found < 0) return false;  // nothing to pair with
    *j = found;
    const EdgePoint& q = edgeB[startB + found];
    row->y = static_cast<int32_t>(p.y);
    if (!(row->y > 0 && row->y < h) || static_cast<int32_t>(q.y) >= h) return false;  // row 0 is never filled
    row->xa = minInt(static_cast<int32_t>(p.x), w - 1);
    row->xb = minInt(static_cast<int32_t>(q.x), w - 1);
    return true;
}

// fillEdgePair without span effects, opaque, at 4 bytes per pixel: the
// path of nearly every face. Same rows and spans as the general loop.
int32_t fillEdgePairPlain(SDL_Surface* surface, const EdgePoint* edgeA, const EdgePoint* edgeB, int32_t countA,
                          int32_t countB, int32_t startA, int32_t startB, uint32_t pixel) {
    const int32_t w = surface->w, h = surface->h, pitch = surface->pitch;
    uint8_t* const pixels = static_cast<uint8_t*>(surface->pixels);
    int32_t j = 0;
    // Cost: countA rows, each one lookup in B plus one span.
    for (int32_t i = 0; i < countA; ++i) {
        PairedRow r;
        if (!pairRow(edgeA[startA + i], edgeB, countB, startB, w, h, &j, &r)) continue;
        const int32_t from = maxInt(minInt(r.xa, r.xb), 0), to = clampInt(maxInt(r.xa, r.xb), 0, w - 1);
        // the pixel at `to` is deliberately not written
        uint32_t* row = reinterpret_cast<uint32_t*>(pixels + r.y * pitch);
        if (to > from) fillPixels(row + from, to - from, pixel);
    }
    return j;
}

}  // namespace

namespace {

// One paired row of the general loop, with the camera's span effects: row y
// from xa (edge A) to xb (edge B), both already held to the last column.
// Glitch lines run from A's end to B's, so the order of the two matters.
void effectRow(const Camera* camera, SDL_Surface* surface, const FastBlend& blend, bool fast, int32_t y, int32_t xa,
               int32_t xb, Color* color) {
    const int32_t w = surface->w;
    if (camera->scanlineGlitch) {
        Color line{color->pixel, 255};
        if (y & 1)
            line.pixel = rand() % 90 < 71 ? 0x0000FF : 0xFF00FF;
        else  // the face darkens row by row: the shift stays for the rest of the triangle
            color->pixel = static_cast<int32_t>(static_cast<uint32_t>(color->pixel) >> (y & 31));
        glitchLine = (glitchLine + 1) % 3;
        drawLineClamped(surface, xa, y + glitchLine, xb, y - glitchLine, &line);
    }
    if (camera->interlace && (y & 1)) return;

    const int32_t lo = minInt(xa, xb), hi = maxInt(xa, xb);
    if (camera->ghost) {
        // An animator may be moving the offset on the timer thread.
        const float offset =
            AtomicRef<float>(const_cast<float&>(camera->ghostOffset)).load(std::memory_order_relaxed);
        const int64_t d = truncToInt(offset);
        const int32_t end = clampInt(hi, 0, w - 1);
        const uint32_t pixel = static_cast<uint32_t>(color->pixel);
        if (fast) {
            // Three blends a pixel; the tinted copies may fall off either side.
            ghostSpan(rowPixels(surface, y), w, maxInt(lo, 0), end, d, pixel, blend);
        } else {
            for (int32_t x = maxInt(lo, 0); x <= end; ++x) {
                if (x - d >= INT32_MIN) drawPixel(surface, int32_t(x - d), y, 0xFFCCAA, 64);
                if (x + d <= INT32_MAX) drawPixel(surface, int32_t(x + d), y, 0xCCFFAA, 64);
                drawPixel(surface, x, y, pixel, 155);
            }
        }
    } else if (camera->colorSplit) {
        colorSplitSpan(surface, y, lo, hi, color);
    } else {
        const int32_t from = maxInt(lo, 0), to = clampInt(hi, 0, w - 1);
        const int32_t n = to - from;
        if (n > 0) {
            if (color->alpha == 255) {
                // the pixel at `to` is deliberately not written
                writeOpaqueRun(surface, fillSpanPattern, y, from, n, static_cast<uint32_t>(color->pixel));
            } else if (fast) {
                uint32_t* row = rowPixels(surface, y);
                for (int32_t x = from; x <= to; ++x) blend.apply(row + x, uint32_t(color->pixel), color->alpha);
            } else {
                for (int32_t x = from; x <= to; ++x)
                    if (!drawPixel(surface, x, y, static_cast<uint32_t>(color->pixel), color->alpha)) break;
            }
        }
        if (camera->scanlineGlitch) putPixel(surface, xa, y, 0x0000FF);
    }
}

bool plainFill(const Camera* camera, const SDL_Surface* surface, const Color* color) {
    return !camera->scanlineGlitch && !camera->interlace && !camera->ghost && !camera->colorSplit &&
           color->alpha == 255 && surface->format->BytesPerPixel == 4;
}

// Opaque spans at 4 bytes a pixel, every row or (interlace alone) the even ones.
bool plainOrInterlaced(const Camera* camera, const SDL_Surface* surface, const Color* color) {
    return !camera->scanlineGlitch && !camera->ghost && !camera->colorSplit && color->alpha == 255 &&
           surface->format->BytesPerPixel == 4;
}

}  // namespace

int32_t fillEdgePair(const Camera* camera, SDL_Surface* surface, const EdgePoint* edgeA, const EdgePoint* edgeB,
                     int32_t countA, int32_t countB, int32_t startA, int32_t startB, Color* color) {
    if (!edgeA || !edgeB || countA <= 0) return 0;
    if (plainFill(camera, surface, color))
        return fillEdgePairPlain(surface, edgeA, edgeB, countA, countB, startA, startB,
                                 static_cast<uint32_t>(color->pixel));
    const int32_t w = surface->w, h = surface->h;
    const bool fast = FastBlend::applies(surface->format);
    const FastBlend blend(surface->format);
    int32_t j = 0;
    // Cost: countA rows, each a lookup in B plus one span.
    for (int32_t i = 0; i < countA; ++i) {
        PairedRow r;
        if (!pairRow(edgeA[startA + i], edgeB, countB, startB, w, h, &j, &r)) continue;
        effectRow(camera, surface, blend, fast, r.y, r.xa, r.xb, color);
    }
    return j;
}

namespace {

// One edge of a triangle, top to bottom (y0 <= y1), giving for each row the
// x that walkEdgeWith stores for it, without a list: for every coordinate
// within kNarrowLimit, row after row in rising order. The same 16.16
// arithmetic: a y-major edge's x is its start plus the row count times the
// slope (the sum the walk builds one row at a time); an x-major edge steps
// along x until its row is reached, the first x on that row.
struct EdgeRows {
    bool xMajor;
    int32_t x, x1, step;  // x-major: the current x, the end and the direction
    int32_t fy, rise;     // x-major: 16.16 y at x and its growth per step
    int32_t y0, fx0, slope;  // y-major: the first row, 16.16 x there and per row

    EdgeRows(int32_t ax, int32_t ay, int32_t bx, int32_t by) {
        const int32_t dx = bx - ax, dy = by - ay;
        xMajor = dy <= (dx < 0 ? -dx : dx);
        x = ax;
        x1 = bx;
        step = dx > 0 ? 1 : -1;
        fy = ay * 65536 + 0x8000;
        y0 = ay;
        fx0 = ax * 65536 + 0x8000;
        // One division, for the axis the edge walks along.
        if (xMajor) {
            const int32_t s = dx != 0 ? (dy * 65536) / dx : 0;
            rise = step > 0 ? s : -s;
            slope = 0;
        } else {
            rise = 0;
            slope = (dx * 65536) / dy;  // dy > |dx|, so dy > 0
        }
    }
    // Rows must not fall; r lies within the edge's rows. Cost: x-major, one
    // step per pixel walked since the last call.
    int32_t at(int32_t r) {
        if (!xMajor) return (fx0 + (r - y0) * slope) >> 16;
        while ((fy >> 16) < r && x != x1) {
            x += step;
            fy += rise;
        }
        return x;
    }
};

// The rows an edge from row y0 down to row y1 keeps: within the window
// 0 .. last, and row 0 only when the edge starts above it (a walk never
// stores the row it starts on when that is row 0).
struct RowRange {
    int32_t first, last;
    int32_t count() const { return last >= first ? last - first + 1 : 0; }
};
RowRange keptRows(int32_t y0, int32_t y1, int32_t last) {
    return RowRange{y0 > 0 ? y0 : (y0 == 0 ? 1 : 0), minInt(y1, last)};
}

// How fillNarrow draws its rows: opaque spans on every row, on the even rows
// only (interlace alone), or through effectRow with every span effect.
enum class RowMode { kPlain, kInterlaced, kEffects };

// fillTriangle for narrow coordinates: the rows and spans the edge lists and
// fillEdgePair would give, in the same order, straight from the edges.
// Cost: the rows of the triangle in the window plus the x-major edges' steps.
template <RowMode Mode>
void fillNarrow(const Camera* camera, SDL_Surface* surface, int32_t tx, int32_t ty, int32_t mx, int32_t my,
                int32_t bx, int32_t by, Color* color) {
    const int32_t w = surface->w, h = surface->h, last = minInt(h, kEdgeCapacity) - 1;
    const RowRange r1 = keptRows(ty, my, last), r2 = keptRows(ty, by, last), r3 = keptRows(my, by, last);
    const int32_t n1 = r1.count(), n2 = r2.count(), n3 = r3.count();
    EdgeRows topMiddle(tx, ty, mx, my), topBottom(tx, ty, bx, by), middleBottom(mx, my, bx, by);
    const bool fast = FastBlend::applies(surface->format);
    const FastBlend blend(surface->format);
    uint8_t* const pixels = static_cast<uint8_t*>(surface->pixels);
    const int32_t pitch = surface->pitch;
    const uint32_t plainPixel = static_cast<uint32_t>(color->pixel);
    // Row y (from 1 on) between edge A's x and edge B's, as fillEdgePair pairs them.
    auto row = [&](int32_t y, int32_t pa, int32_t pb) {
        const int32_t xa = minInt(pa, w - 1), xb = minInt(pb, w - 1);
        if constexpr (Mode == RowMode::kEffects) {
            effectRow(camera, surface, blend, fast, y, xa, xb, color);
        } else {
            if (Mode == RowMode::kInterlaced && (y & 1)) return;
            // Both ends are within the last column already.
            const int32_t from = maxInt(minInt(xa, xb), 0), to = maxInt(maxInt(xa, xb), 0);
            // the pixel at `to` is deliberately not written
            if (to > from) fillPixels(reinterpret_cast<uint32_t*>(pixels + y * pitch) + from, to - from, plainPixel);
        }
    };
    // Row 0 is never filled (every row kept is below the surface's end), so
    // the loops start at row 1; an x-major edge walks on to a later row just
    // as it would through row 0.
    // The upper part: every row of the first edge lies on the long edge too.
    int32_t k = 0;
    if (n1 > 0) {
        for (int32_t y = maxInt(r1.first, 1); y <= r1.last; ++y) row(y, topMiddle.at(y), topBottom.at(y));
        k = r1.last - r1.first;
    }
    // The lower part, from the middle row again: the rows both lists hold,
    // with the shorter list as edge A.
    const int32_t from = maxInt(maxInt(r2.first + k, r3.first), 1), to = minInt(r2.last, r3.last);
    if (n3 < n2 - k) {
        for (int32_t y = from; y <= to; ++y) row(y, topBottom.at(y), middleBottom.at(y));
    } else {
        for (int32_t y = from; y <= to; ++y) row(y, middleBottom.at(y), topBottom.at(y));
    }
}

}  // namespace

void fillTriangle(const Camera* camera, SDL_Surface* surface, ScreenPoint a, ScreenPoint b, ScreenPoint c,
                  Color* color) {
    if (std::isnan(a.x) || std::isnan(a.y) || std::isnan(b.x) || std::isnan(b.y) || std::isnan(c.x) ||
        std::isnan(c.y)) {
        std::fprintf(stderr, "ERROR!\n");  // no vertex can be named the top one
        return;
    }
    // On equal y the later vertex wins, for the top and for the middle.
    const ScreenPoint* m = (b.y > a.y) ? &a : &b;
    const ScreenPoint* top = (c.y > m->y) ? m : &c;
    const ScreenPoint *middle, *bottom;
    if (top == &a) {
        middle = (c.y > b.y) ? &b : &c;
        bottom = middle == &b ? &c : &b;
    } else if (top == &b) {
        middle = (c.y > a.y) ? &a : &c;
        bottom = middle == &a ? &c : &a;
    } else {
        middle = (b.y > a.y) ? &a : &b;
        bottom = middle == &a ? &b : &a;
    }

    // No corner is NaN here and the clamped value lies within +-65536, where
    // truncToInt is the plain truncation.
    auto whole = [](float v) {
        return static_cast<int32_t>(v < -kCoordinateLimit ? -kCoordinateLimit
                                                          : (v > kCoordinateLimit ? kCoordinateLimit : v));
    };
    const int32_t tx = whole(top->x), ty = whole(top->y);
    const int32_t mx = whole(middle->x), my = whole(middle->y);
    const int32_t bx = whole(bottom->x), by = whole(bottom->y);

    // The first edge is empty only when top and middle both sit on row 0.
    if (ty == 0 && my == 0) return;

    if (narrow(tx) && narrow(ty) && narrow(mx) && narrow(my) && narrow(bx) && narrow(by)) {
        if (!plainOrInterlaced(camera, surface, color))
            fillNarrow<RowMode::kEffects>(camera, surface, tx, ty, mx, my, bx, by, color);
        else if (camera->interlace)
            fillNarrow<RowMode::kInterlaced>(camera, surface, tx, ty, mx, my, bx, by, color);
        else
            fillNarrow<RowMode::kPlain>(camera, surface, tx, ty, mx, my, bx, by, color);
        return;
    }

    // The edges are walked whole but keep only the rows that can be filled
    // (row 0 never is), so no list ever holds more than its 1024 points.
    const RowWindow window{0, minInt(surface->h, kEdgeCapacity) - 1};
    int32_t n1, n2, n3;
    walkEdgeWindow(tx, ty, mx, my, edgeTopMiddle, &n1, kEdgeCapacity, window);
    walkEdgeWindow(tx, ty, bx, by, edgeTopBottom, &n2, kEdgeCapacity, window);
    walkEdgeWindow(mx, my, bx, by, edgeMiddleBottom, &n3, kEdgeCapacity, window);

    // The first pass leaves k at the middle row of the long edge; rows of the
    // upper part above the window leave it at the window's first row.
    int32_t k = 0;
    if (n1 > 0) k = fillEdgePair(camera, surface, edgeTopMiddle, edgeTopBottom, n1, n2, 0, 0, color);
    // The row of the middle vertex is filled by both passes.
    if (n3 < n2 - k)
        fillEdgePair(camera, surface, edgeTopBottom, edgeMiddleBottom, n2 - k, n3, k, 0, color);
    else
        fillEdgePair(camera, surface, edgeMiddleBottom, edgeTopBottom, n3, n2, 0, k, color);
}
