#include <gtest/gtest.h>

#include <set>
#include <string>

#include "render/font.h"
#include "support/sdl_test.h"

using testsupport::makeSurface;
using testsupport::pixelAt;
using testsupport::SurfaceGuard;

namespace {

const FontInfo& font8() { return builtinFonts[0]; }
bool bitSet(const FontInfo& f, int glyph, int row, int col) { return f.data[glyph * f.height + row] & (0x80 >> col); }

}  // namespace

TEST(FontTables, DescriptorsAndTheGlyphsOthersDependOn) {
    EXPECT_EQ(builtinFonts[0].index, 0);
    EXPECT_STREQ(builtinFonts[0].name, "VGA8x8");
    EXPECT_EQ(builtinFonts[0].height, 8);
    EXPECT_EQ(builtinFonts[1].index, 1);
    EXPECT_STREQ(builtinFonts[1].name, "VGA8x16");
    EXPECT_EQ(builtinFonts[1].height, 16);
    const unsigned char capitalA[8] = {0x38, 0x6C, 0xC6, 0xFE, 0xC6, 0xC6, 0xC6, 0x00};
    const unsigned char seven[8] = {0xFE, 0xC6, 0x0C, 0x18, 0x30, 0x30, 0x30, 0x00};
    for (int r = 0; r < 8; ++r) {
        EXPECT_EQ(font8().data[65 * 8 + r], capitalA[r]) << "row " << r;
        EXPECT_EQ(font8().data[55 * 8 + r], seven[r]) << "row " << r;
    }
}

TEST(FontTables, EveryVisibleGlyphIsDrawnAndPrintableAsciiIsDistinct) {
    for (const FontInfo& f : builtinFonts) {
        for (int g = 1; g < 255; ++g) {
            if (g == 32) continue;
            bool any = false;
            for (int r = 0; r < f.height; ++r) any = any || f.data[g * f.height + r];
            EXPECT_TRUE(any) << f.name << " glyph " << g << " is blank";
        }
    }
    std::set<std::string> seen;
    for (int g = 33; g < 127; ++g) {
        std::string rows(reinterpret_cast<const char*>(font8().data + g * 8), 8);
        EXPECT_TRUE(seen.insert(rows).second) << "glyph " << g << " repeats an earlier one";
    }
}

// Box-drawing glyphs must join their neighbours: an arm reaches its cell edge
// with one line (single) or two (double), and no edge is touched without an arm.
TEST(FontTables, BoxDrawingArmsMeetTheCellEdgesInBothHeights) {
    // up, down, left, right for 179 .. 218: 0 none, 1 single, 2 double.
    const char* arms[40] = {"1100", "1110", "1120", "2210", "0210", "0120", "2220", "2200", "0220", "2020",
                            "2010", "1020", "0110", "1001", "1011", "0111", "1101", "0011", "1111", "1102",
                            "2201", "2002", "0202", "2022", "0222", "2202", "0022", "2222", "1022", "2011",
                            "0122", "0211", "2001", "1002", "0102", "0201", "2211", "1122", "1010", "0101"};
    for (const FontInfo& f : builtinFonts) {
        for (int i = 0; i < 40; ++i) {
            const int g = 179 + i, h = f.height;
            int top = 0, bottom = 0, left = 0, right = 0;
            for (int c = 0; c < 8; ++c) {
                top += bitSet(f, g, 0, c);
                bottom += bitSet(f, g, h - 1, c);
            }
            for (int r = 0; r < h; ++r) {
                left += bitSet(f, g, r, 0);
                right += bitSet(f, g, r, 7);
            }
            EXPECT_EQ(top, arms[i][0] - '0') << f.name << " glyph " << g << " top";
            EXPECT_EQ(bottom, arms[i][1] - '0') << f.name << " glyph " << g << " bottom";
            EXPECT_EQ(left, arms[i][2] - '0') << f.name << " glyph " << g << " left";
            EXPECT_EQ(right, arms[i][3] - '0') << f.name << " glyph " << g << " right";
        }
    }
}

TEST(DrawGlyph, SetsOnlyTheGlyphBitsAndClipsAtEveryEdge) {
    testsupport::videoSurface();
    const uint32_t ground = 0x123456, ink = 0xFFFF00;
    // Positions hanging over the top-left, the bottom-right, and fully inside.
    const int positions[3][2] = {{-3, -2}, {7, 5}, {1, 1}};
    for (const auto& pos : positions) {
        SurfaceGuard s(makeSurface(12, 10));
        SDL_FillRect(s, nullptr, ground);
        drawGlyph(s, 65, pos[0], pos[1], ink);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 12; ++x) {
                const int c = x - pos[0], r = y - pos[1];
                const bool on = c >= 0 && c < 8 && r >= 0 && r < 8 && bitSet(font8(), 65, r, c);
                ASSERT_EQ(pixelAt(s, x, y), on ? ink : ground) << "at " << x << "," << y;
            }
    }
    SurfaceGuard s(makeSurface(8, 8));
    drawGlyph(s, 256, 0, 0, ink);
    drawGlyph(s, -1, 0, 0, ink);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(pixelAt(s, x, y), 0u);
}

TEST(GlyphStrip, DottedCellsHoldOneDotPerFontBitOnEvenColumnsAndRows) {
    testsupport::videoSurface();
    const uint32_t ink = 0x00FF00;
    SurfaceGuard strip(makeGlyphStripDotted(ink, 2));
    ASSERT_NE(strip.surface, nullptr);
    ASSERT_EQ(strip->w, 255 * 16);  // codes 0 .. 254; 255 has no cell
    ASSERT_EQ(strip->h, 16);
    const uint32_t key = SDL_MapRGB(strip->format, 25, 0, 25);
    EXPECT_TRUE(strip->flags & SDL_SRCCOLORKEY);
    EXPECT_EQ(strip->format->colorkey, key);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < strip->w; ++x) {
            const int g = x / 16, c = (x % 16) / 2, r = y / 2;
            const bool dot = x % 2 == 0 && y % 2 == 0 && bitSet(font8(), g, r, c);
            ASSERT_EQ(pixelAt(strip, x, y), dot ? ink : key) << "at " << x << "," << y;
        }
}

TEST(GlyphStrip, BlockCellsAreScanlinedWithWhiteOddRows) {
    testsupport::videoSurface();
    const uint32_t ink = 0xFF0000;
    const int scale = 4;
    SurfaceGuard strip(makeGlyphStripBlock(ink, scale));
    ASSERT_NE(strip.surface, nullptr);
    ASSERT_EQ(strip->w, 2040 * scale);
    const uint32_t key = SDL_MapRGB(strip->format, 25, 0, 25);
    for (int y = 0; y < strip->h; ++y)
        for (int x = 0; x < strip->w; ++x) {
            const int g = x / (8 * scale), c = (x / scale) % 8, r = y / scale;
            uint32_t want = key;
            if (bitSet(font8(), g, r, c)) want = (y & 1) ? 0xFFFFFFu : ((x & 1) ? key : ink);
            ASSERT_EQ(pixelAt(strip, x, y), want) << "at " << x << "," << y;
        }
}

TEST(GlyphStrip, RefusesScalesThatCannotMakeASurface) {
    testsupport::videoSurface();
    EXPECT_EQ(makeGlyphStripDotted(0xFFFFFF, 0), nullptr);
    EXPECT_EQ(makeGlyphStripBlock(0xFFFFFF, -2), nullptr);
    // 2040 x 9 pixels of 4 bytes do not fit a 16-bit pitch.
    EXPECT_EQ(makeGlyphStripBlock(0xFFFFFF, 9), nullptr);
    SurfaceGuard widest(makeGlyphStripDotted(0xFFFFFF, 8));
    ASSERT_NE(widest.surface, nullptr);
    EXPECT_EQ(widest->w, 2040 * 8);
}
