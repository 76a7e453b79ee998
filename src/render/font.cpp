#include "render/font.h"

#include "render/raster.h"

extern const unsigned char vorna_font8x8[];
extern const unsigned char vorna_font8x16[];

const FontInfo builtinFonts[kFontCount] = {
    {0, "VGA8x8", 8, 8, vorna_font8x8, 0},
    {1, "VGA8x16", 8, 16, vorna_font8x16, 0},
};

namespace {

constexpr int kGlyphColumns = 8;

enum class StripStyle { Dotted, Block };

// SDL 1.2 keeps the pitch in 16 bits; a wider strip would wrap it.
constexpr int32_t kMaxPitch = 65535;

SDL_Surface* makeStrip(uint32_t pixel, int32_t scale, StripStyle style) {
    const FontInfo& font = builtinFonts[0];
    const SDL_Surface* video = SDL_GetVideoSurface();
    const int depth = video ? video->format->BitsPerPixel : 32;
    const int bytesPerPixel = (depth + 7) / 8;
    if (scale < 1 || kStripGlyphs * kGlyphColumns * scale > kMaxPitch / bytesPerPixel) return nullptr;

    const int width = kStripGlyphs * kGlyphColumns * scale, height = font.height * scale;
    SDL_Surface* strip = SDL_CreateRGBSurface(0, width, height, depth, 0, 0, 0, 0);
    if (!strip) return nullptr;
    SDL_FillRect(strip, nullptr, SDL_MapRGB(strip->format, 25, 0, 25));
    SDL_SetColorKey(strip, SDL_SRCCOLORKEY | SDL_RLEACCEL,
                    SDL_MapRGB(video ? video->format : strip->format, 25, 0, 25));

    // Cost: 255 glyphs x 64 bits, each set bit 1 (dotted) or scale^2 (block) pixels.
    for (int g = 0; g < kStripGlyphs; ++g) {
        const unsigned char* rows = font.data + g * font.height;
        for (int r = 0; r < font.height; ++r) {
            for (int c = 0; c < kGlyphColumns; ++c) {
                if (!(rows[r] & (0x80 >> c))) continue;
                const int x0 = (g * kGlyphColumns + c) * scale, y0 = r * scale;
                if (style == StripStyle::Dotted) {
                    putPixel(strip, x0, y0, pixel);
                    continue;
                }
                for (int py = y0; py < y0 + scale; ++py)
                    for (int px = x0; px < x0 + scale; ++px) {
                        if (py & 1)
                            putPixel(strip, px, py, 0xFFFFFF);
                        else if (!(px & 1))
                            putPixel(strip, px, py, pixel);
                    }
            }
        }
    }
    return strip;
}

}  // namespace

void drawGlyph(SDL_Surface* surface, int32_t code, int32_t x, int32_t y, uint32_t pixel) {
    const FontInfo& font = builtinFonts[0];
    if (code < 0 || code > 255) return;
    const unsigned char* rows = font.data + code * font.height;
    for (int r = 0; r < font.height; ++r)
        for (int b = 7; b >= 0; --b)
            if (rows[r] & (1 << b)) putPixel(surface, x + 7 - b, y + r, pixel);
}

SDL_Surface* makeGlyphStripDotted(uint32_t pixel, int32_t scale) {
    return makeStrip(pixel, scale, StripStyle::Dotted);
}

SDL_Surface* makeGlyphStripBlock(uint32_t pixel, int32_t scale) {
    return makeStrip(pixel, scale, StripStyle::Block);
}
