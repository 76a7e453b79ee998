#include "framework/text_label.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "render/font.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Shared by every label; print formats here and draws from here.
char textBuffer[1024];

SDL_Surface* makeStrip(uint32_t color, int32_t scale) {
    return scale < 4 ? makeGlyphStripDotted(color, scale) : makeGlyphStripBlock(color, scale);
}

}  // namespace

TextLabel::TextLabel(SDL_Surface* targetSurface)
    : target(targetSurface), glyphs(nullptr), scale(2), centered(0), x(0), y(0) {
    const SDL_Surface* video = SDL_GetVideoSurface();
    const uint32_t yellow = video ? SDL_MapRGB(video->format, 255, 255, 0) : 0xFFFF00u;
    glyphs = makeStrip(yellow, scale);
}

TextLabel::~TextLabel() {
    if (glyphs) SDL_FreeSurface(glyphs);
}

void TextLabel::setFont(uint32_t color, int32_t newScale) {
    if (glyphs) SDL_FreeSurface(glyphs);
    glyphs = makeStrip(color, newScale);
    scale = newScale;
}

void TextLabel::print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = vsnprintf(textBuffer, sizeof textBuffer, format, args);
    va_end(args);
    if (written < 0) textBuffer[0] = '\0';
    if (!target || !glyphs) return;

    const int32_t cell = 8 * scale;
    const int32_t length = static_cast<int32_t>(std::strlen(textBuffer));
    int64_t px = centered ? (target->w >> 1) - int64_t{length} * scale * 4 : x;
    int64_t py = y;
    // Cost: one clipped blit per visible glyph, at most 1023.
    for (int32_t i = 0; i < length; ++i) {
        const signed char c = static_cast<signed char>(textBuffer[i]);
        if (c == '\n') {
            y += cell;
            px = x;
            py = y;
            continue;
        }
        // Bytes 128 and above have no glyph (their source x would be
        // negative) and, like spaces, only move on. SDL positions are 16-bit:
        // a cell that does not fit one is off every surface and is skipped
        // rather than wrapped back onto the target.
        const bool fits = px >= -32768 && px <= 32767 && py >= -32768 && py <= 32767;
        if (c != ' ' && c >= 0 && fits) {
            SDL_Rect source{static_cast<Sint16>(c * cell), 0, static_cast<Uint16>(cell), static_cast<Uint16>(cell)};
            SDL_Rect destination{static_cast<Sint16>(px), static_cast<Sint16>(py), 0, 0};
            SDL_BlitSurface(glyphs, &source, target, &destination);
        }
        px += cell;
    }
}

int32_t blurAlpha(int32_t radius) {
    // -2.3 is deliberately the single-precision constant; the rest is extended.
    const long double a = (1.0L - expl(-2.3f / (static_cast<long double>(radius) + 1.0L))) * 65536.0L;
    return static_cast<int32_t>(a);
}

// The filter step on one byte: z moves toward b << 7 by alpha / 65536 of the
// way (arithmetic shift, so it never passes b << 7) and the byte becomes z >> 7.
// z stays in 0 .. 32640 and every intermediate fits 16 bits (the product
// itself fits 32), which is what lets the vector paths below work on 16-bit
// lanes and still give exactly these bytes.
namespace {

inline void filterByte(uint8_t& b, int32_t& z, int32_t alpha) {
    z += (((static_cast<int32_t>(b) << 7) - z) * alpha) >> 16;
    b = static_cast<uint8_t>(z >> 7);
}

[[maybe_unused]] void horizontalRowPlain(uint8_t* row, int32_t width, int32_t alpha) {
    int32_t z[4];
    for (int c = 0; c < 4; ++c) z[c] = row[c] << 7;
    const int32_t bytes = width * 4;
    for (int32_t i = 4; i < bytes; i += 4)
        for (int c = 0; c < 4; ++c) filterByte(row[i + c], z[c], alpha);
    for (int32_t i = bytes - 8; i >= 0; i -= 4)
        for (int c = 0; c < 4; ++c) filterByte(row[i + c], z[c], alpha);
}

// Vertical filter over the byte columns [from, to) of every row, upward from
// the second-to-last row.
void verticalColumnsPlain(uint8_t* pixels, int32_t pitch, int32_t height, int32_t from, int32_t to,
                          int32_t alpha) {
    for (int32_t i = from; i < to; ++i) {
        int32_t z = pixels[i] << 7;
        for (int32_t r = height - 2; r >= 0; --r) filterByte(pixels[r * pitch + i], z, alpha);
    }
}

#if defined(__SSE2__)

// (d * alpha) >> 16 per signed 16-bit lane. Below 32768 alpha is a positive
// int16 and pmulhw gives it directly; above (radius 1 and 2) the unsigned high
// product is corrected by alpha wherever d is negative.
template <bool kBigAlpha>
inline __m128i mulHigh(__m128i d, __m128i alpha) {
    if constexpr (kBigAlpha) {
        return _mm_sub_epi16(_mm_mulhi_epu16(d, alpha), _mm_and_si128(_mm_srai_epi16(d, 15), alpha));
    } else {
        return _mm_mulhi_epi16(d, alpha);
    }
}

inline __m128i loadPair(const uint8_t* a, const uint8_t* b) {
    int32_t va, vb;
    std::memcpy(&va, a, 4);
    std::memcpy(&vb, b, 4);
    // bytes of a in lanes 0-3, of b in lanes 4-7, each << 7
    const __m128i p = _mm_unpacklo_epi32(_mm_cvtsi32_si128(va), _mm_cvtsi32_si128(vb));
    return _mm_slli_epi16(_mm_unpacklo_epi8(p, _mm_setzero_si128()), 7);
}

inline void storePair(uint8_t* a, uint8_t* b, __m128i z) {
    const __m128i out = _mm_packus_epi16(_mm_srai_epi16(z, 7), _mm_setzero_si128());
    // b first: when a and b are the same row both halves hold the same bytes.
    const int32_t vb = _mm_cvtsi128_si32(_mm_srli_si128(out, 4));
    const int32_t va = _mm_cvtsi128_si32(out);
    std::memcpy(b, &vb, 4);
    std::memcpy(a, &va, 4);
}

// kPairs pairs of rows side by side: each step is one dependent
// subtract-multiply-add per register, so several independent rows keep the
// multiplier busy. rows[2k] and rows[2k + 1] may be the same row.
template <int kPairs, bool kBigAlpha>
void horizontalRows(uint8_t* const* rows, int32_t width, __m128i alpha) {
    __m128i z[kPairs];
    for (int k = 0; k < kPairs; ++k) z[k] = loadPair(rows[2 * k], rows[2 * k + 1]);
    const int32_t bytes = width * 4;
    for (int32_t i = 4; i < bytes; i += 4) {
        for (int k = 0; k < kPairs; ++k) {
            uint8_t* a = rows[2 * k] + i;
            uint8_t* b = rows[2 * k + 1] + i;
            z[k] = _mm_add_epi16(z[k], mulHigh<kBigAlpha>(_mm_sub_epi16(loadPair(a, b), z[k]), alpha));
            storePair(a, b, z[k]);
        }
    }
    for (int32_t i = bytes - 8; i >= 0; i -= 4) {
        for (int k = 0; k < kPairs; ++k) {
            uint8_t* a = rows[2 * k] + i;
            uint8_t* b = rows[2 * k + 1] + i;
            z[k] = _mm_add_epi16(z[k], mulHigh<kBigAlpha>(_mm_sub_epi16(loadPair(a, b), z[k]), alpha));
            storePair(a, b, z[k]);
        }
    }
}

template <bool kBigAlpha>
void horizontalPass(uint8_t* pixels, int32_t pitch, int32_t width, int32_t height, int32_t alpha) {
    const __m128i a = _mm_set1_epi16(static_cast<int16_t>(alpha));
    constexpr int kPairs = 4;
    uint8_t* rows[2 * kPairs];
    int32_t r = 0;
    // Cost: one multiply per byte per sweep, 8 rows at a time.
    for (; r + 2 * kPairs <= height; r += 2 * kPairs) {
        for (int k = 0; k < 2 * kPairs; ++k) rows[k] = pixels + (r + k) * pitch;
        horizontalRows<kPairs, kBigAlpha>(rows, width, a);
    }
    for (; r < height; r += 2) {
        rows[0] = pixels + r * pitch;
        rows[1] = r + 1 < height ? rows[0] + pitch : rows[0];
        horizontalRows<1, kBigAlpha>(rows, width, a);
    }
}

// Byte columns in strips of 16 x kRegs, each strip walked up the surface with
// its accumulators held in registers.
template <int kRegs, bool kBigAlpha>
void verticalStrip(uint8_t* column, int32_t pitch, int32_t height, __m128i alpha) {
    const __m128i zero = _mm_setzero_si128();
    __m128i z[2 * kRegs];
    for (int k = 0; k < kRegs; ++k) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(column + 16 * k));
        z[2 * k] = _mm_slli_epi16(_mm_unpacklo_epi8(p, zero), 7);
        z[2 * k + 1] = _mm_slli_epi16(_mm_unpackhi_epi8(p, zero), 7);
    }
    for (int32_t r = height - 2; r >= 0; --r) {
        uint8_t* row = column + r * pitch;
        for (int k = 0; k < kRegs; ++k) {
            __m128i* at = reinterpret_cast<__m128i*>(row + 16 * k);
            const __m128i p = _mm_loadu_si128(at);
            const __m128i lo = _mm_slli_epi16(_mm_unpacklo_epi8(p, zero), 7);
            const __m128i hi = _mm_slli_epi16(_mm_unpackhi_epi8(p, zero), 7);
            z[2 * k] = _mm_add_epi16(z[2 * k], mulHigh<kBigAlpha>(_mm_sub_epi16(lo, z[2 * k]), alpha));
            z[2 * k + 1] = _mm_add_epi16(z[2 * k + 1], mulHigh<kBigAlpha>(_mm_sub_epi16(hi, z[2 * k + 1]), alpha));
            _mm_storeu_si128(at, _mm_packus_epi16(_mm_srai_epi16(z[2 * k], 7), _mm_srai_epi16(z[2 * k + 1], 7)));
        }
    }
}

template <bool kBigAlpha>
void verticalPass(uint8_t* pixels, int32_t pitch, int32_t width, int32_t height, int32_t alpha) {
    const __m128i a = _mm_set1_epi16(static_cast<int16_t>(alpha));
    const int32_t bytes = width * 4;
    int32_t i = 0;
    // Cost: one multiply per byte, 64 byte columns at a time.
    for (; i + 64 <= bytes; i += 64) verticalStrip<4, kBigAlpha>(pixels + i, pitch, height, a);
    for (; i + 16 <= bytes; i += 16) verticalStrip<1, kBigAlpha>(pixels + i, pitch, height, a);
    verticalColumnsPlain(pixels, pitch, height, i, bytes, alpha);
}

#endif

void blurPixels(uint8_t* pixels, int32_t pitch, int32_t width, int32_t height, int32_t alpha, bool horizontal,
                bool vertical) {
#if defined(__SSE2__)
    if (alpha >= 32768) {
        if (horizontal) horizontalPass<true>(pixels, pitch, width, height, alpha);
        if (vertical) verticalPass<true>(pixels, pitch, width, height, alpha);
    } else {
        if (horizontal) horizontalPass<false>(pixels, pitch, width, height, alpha);
        if (vertical) verticalPass<false>(pixels, pitch, width, height, alpha);
    }
#else
    if (horizontal)
        for (int32_t r = 0; r < height; ++r) horizontalRowPlain(pixels + r * pitch, width, alpha);
    if (vertical) verticalColumnsPlain(pixels, pitch, height, 0, width * 4, alpha);
#endif
}

}  // namespace

void TextLabel::blur(SDL_Surface* surface, int32_t radius, int32_t horizontal, int32_t vertical) {
    if (radius <= 0 || !surface || !surface->format || surface->format->BytesPerPixel != 4) return;
    if (surface->w <= 0 || surface->h <= 0 || (!horizontal && !vertical)) return;
    const int32_t alpha = blurAlpha(radius);
    const bool locked = SDL_MUSTLOCK(surface);
    if (locked && SDL_LockSurface(surface) != 0) return;
    if (surface->pixels)
        blurPixels(static_cast<uint8_t*>(surface->pixels), surface->pitch, surface->w, surface->h, alpha,
                   horizontal != 0, vertical != 0);
    if (locked) SDL_UnlockSurface(surface);
}
