// TextLabel: formatted text blitted from a glyph strip onto a target surface,
// and the exponential frame blur that nearly every scene runs on the screen.
//
// Owns: its glyph strip (freed with SDL_FreeSurface); not the target.
// Threads: main thread only. All labels format into one program-wide
// 1024-byte buffer, so print must never run on another thread.
// Not for: text wider than the target (nothing wraps or clips beyond what the
// blit clips), or blurring surfaces that are not 4 bytes per pixel (left
// untouched).
#pragma once

#include <SDL/SDL.h>

#include <cstdint>

struct TextLabel {
    SDL_Surface* target;  // not owned
    SDL_Surface* glyphs;  // owned, may be null
    int32_t scale;
    int32_t centered;
    int32_t x;
    int32_t y;

    // Yellow glyphs at scale 2; needs the video surface for the colour.
    explicit TextLabel(SDL_Surface* target);
    ~TextLabel();
    TextLabel(const TextLabel&) = delete;
    TextLabel& operator=(const TextLabel&) = delete;

    void setFont(uint32_t color, int32_t scale);
    void print(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Blurs the whole surface in place; radius <= 0 does nothing. Uses no
    // label state.
    static void blur(SDL_Surface* surface, int32_t radius, int32_t horizontal, int32_t vertical);
};

// The blur's filter coefficient, a 16-bit fraction: 24164 at radius 4, 4412 at 32.
int32_t blurAlpha(int32_t radius);
