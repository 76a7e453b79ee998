// Bitmap fonts: the two built-in code page 437 fonts (8x8, and 8x16 which no
// drawing uses), glyphs drawn straight into a surface, and glyph strips: one
// off-screen surface holding glyphs 0 .. 254 side by side at a chosen scale on
// a colour-keyed (25, 0, 25) background, from which text labels blit.
//
// Main thread only (drawing goes through the pixel primitives of raster.h).
// The glyph tables are constant data; a strip returned here belongs to the
// caller, who frees it with SDL_FreeSurface. Not for proportional text: every
// glyph is eight columns wide.
#pragma once

#include <SDL/SDL.h>
#include <cstdint>

struct FontInfo {
    int32_t index;
    const char* name;
    int32_t width;
    int32_t height;
    const unsigned char* data;  // 256 glyphs of `height` row bytes, bit 7 leftmost
    int32_t reserved;           // always 0
};

constexpr int kFontCount = 2;
constexpr int kStripGlyphs = 255;  // glyph 255 is not in a strip

// Font 0 is "VGA8x8" (used by all drawing), font 1 "VGA8x16".
extern const FontInfo builtinFonts[kFontCount];

// Sets the pixels of glyph `code` of font 0 at (x, y); clear bits and
// off-surface pixels are left alone. Codes outside 0 .. 255 draw nothing.
void drawGlyph(SDL_Surface* surface, int32_t code, int32_t x, int32_t y, uint32_t pixel);

// A strip of 2040 x scale by 8 x scale pixels in the video depth. Dotted: each
// set font bit is one pixel of `pixel` at the top-left of its scale x scale
// cell. Block: each set bit fills its cell, odd rows white (0xFFFFFF), even
// rows `pixel` on even columns and background on odd ones. Both return null
// when the surface cannot be made, including scales below 1 or so large that
// a row would not fit SDL's 16-bit pitch.
SDL_Surface* makeGlyphStripDotted(uint32_t pixel, int32_t scale);
SDL_Surface* makeGlyphStripBlock(uint32_t pixel, int32_t scale);
