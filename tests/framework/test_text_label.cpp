#include "framework/text_label.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "render/font.h"
#include "support/reference_blur.h"
#include "support/sdl_test.h"

namespace {

using testsupport::makeSurface;
using testsupport::SurfaceGuard;

// The blur exactly as the formula reads, one byte at a time, on a copy of the
// pixels; the real one must match it byte for byte.
void referenceBlur(std::vector<uint8_t>& px, int pitch, int w, int h, int radius, bool horizontal, bool vertical) {
    if (radius <= 0) return;
    // The coefficient is worked out here again, apart from the code under test.
    const int32_t alpha = static_cast<int32_t>((1.0L - expl(-2.3f / (radius + 1.0L))) * 65536.0L);
    reference::blur(px.data(), pitch, w, h, alpha, horizontal, vertical);
}

std::vector<uint8_t> bytesOf(SDL_Surface* s) {
    const uint8_t* p = static_cast<const uint8_t*>(s->pixels);
    return std::vector<uint8_t>(p, p + s->pitch * s->h);
}

// A small deterministic generator, so a failure can be reproduced.
uint32_t nextRandom(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

void fillRandom(SDL_Surface* s, uint32_t seed, bool smooth) {
    uint8_t* p = static_cast<uint8_t*>(s->pixels);
    uint32_t state = seed;
    for (int i = 0; i < s->pitch * s->h; ++i) {
        // Smooth content keeps the accumulators close to the bytes, where an
        // off-by-one in the rounding shows; noise drives them over the whole range.
        p[i] = smooth ? static_cast<uint8_t>((i / 4 % 97) + (nextRandom(state) & 3)) : static_cast<uint8_t>(nextRandom(state));
    }
}

}  // namespace

TEST(TextLabelBlur, AlphaFollowsTheRadius) {
    EXPECT_EQ(blurAlpha(4), 24164);
    EXPECT_EQ(blurAlpha(32), 4412);
    EXPECT_GT(blurAlpha(1), 32768);  // the wide-coefficient path is reached
    EXPECT_LT(blurAlpha(3), 32768);
    EXPECT_GE(blurAlpha(2147483647), 0);  // radius + 1 must not overflow
}

TEST(TextLabelBlur, MatchesThePlainFormulaByteForByte) {
    const int sizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {2, 2}, {3, 5}, {13, 7}, {17, 33}, {37, 11}, {61, 9}, {801, 3}};
    const int radii[] = {1, 2, 3, 4, 7, 32, 255};
    const int flags[][2] = {{1, 0}, {0, 1}, {1, 1}};
    uint32_t seed = 1;
    for (const auto& size : sizes) {
        for (int radius : radii) {
            for (const auto& f : flags) {
                for (bool smooth : {false, true}) {
                    SurfaceGuard s(makeSurface(size[0], size[1]));
                    fillRandom(s, ++seed, smooth);
                    std::vector<uint8_t> expected = bytesOf(s);
                    referenceBlur(expected, s->pitch, s->w, s->h, radius, f[0], f[1]);
                    TextLabel::blur(s, radius, f[0], f[1]);
                    ASSERT_EQ(bytesOf(s), expected) << size[0] << "x" << size[1] << " radius " << radius << " h"
                                                    << f[0] << " v" << f[1] << (smooth ? " smooth" : " noise");
                }
            }
        }
    }
}

TEST(TextLabelBlur, LeavesWhatItMustNotTouch) {
    SurfaceGuard s(makeSurface(23, 15));
    fillRandom(s, 77, false);
    const std::vector<uint8_t> original = bytesOf(s);
    TextLabel::blur(s, 0, 1, 1);
    TextLabel::blur(s, -5, 1, 1);
    TextLabel::blur(s, 4, 0, 0);
    TextLabel::blur(nullptr, 4, 1, 1);
    EXPECT_EQ(bytesOf(s), original);

    TextLabel::blur(s, 4, 0, 1);
    const std::vector<uint8_t> after = bytesOf(s);
    const size_t last = static_cast<size_t>(s->pitch) * (s->h - 1);
    EXPECT_TRUE(std::equal(after.begin() + last, after.end(), original.begin() + last));
    EXPECT_NE(after, original);

    SDL_Surface* sixteen = SDL_CreateRGBSurface(SDL_SWSURFACE, 8, 8, 16, 0xF800, 0x07E0, 0x001F, 0);
    SurfaceGuard g(sixteen);
    std::memset(sixteen->pixels, 0x5A, sixteen->pitch * 8);
    static_cast<uint8_t*>(sixteen->pixels)[0] = 0;
    const std::vector<uint8_t> before16 = bytesOf(sixteen);
    TextLabel::blur(sixteen, 4, 1, 1);
    EXPECT_EQ(bytesOf(sixteen), before16);
}

namespace {

// Where a dotted scale-s glyph puts its dots: the set bit (row r, column c) of
// the font becomes the one pixel (c * s, r * s) of its cell.
bool dotSet(int code, int dx, int dy, int scale) {
    if (dx % scale || dy % scale) return false;
    const FontInfo& font = builtinFonts[0];
    return (font.data[code * font.height + dy / scale] >> (7 - dx / scale)) & 1;
}

// Checks that the cell at (cx, cy) shows exactly glyph `code` (or nothing for
// code < 0) on a black background.
void expectCell(SDL_Surface* s, int cx, int cy, int code, int scale, uint32_t pixel) {
    const int cell = 8 * scale;
    for (int dy = 0; dy < cell; ++dy)
        for (int dx = 0; dx < cell; ++dx) {
            const bool set = code >= 0 && dotSet(code, dx, dy, scale);
            ASSERT_EQ(testsupport::pixelAt(s, cx + dx, cy + dy), set ? pixel : 0u)
                << "code " << code << " at +" << dx << ",+" << dy;
        }
}

int litPixels(SDL_Surface* s) {
    int n = 0;
    for (int y = 0; y < s->h; ++y)
        for (int x = 0; x < s->w; ++x) n += testsupport::pixelAt(s, x, y) != 0;
    return n;
}

int setBits(int code) {
    int n = 0;
    for (int r = 0; r < 8; ++r) n += __builtin_popcount(builtinFonts[0].data[code * 8 + r]);
    return n;
}

class TextLabelPrint : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(testsupport::videoSurface(), nullptr);
        yellow = SDL_MapRGB(testsupport::videoSurface()->format, 255, 255, 0);
    }
    uint32_t yellow = 0;
};

}  // namespace

TEST_F(TextLabelPrint, GlyphsSpacesAndHighBytesAdvanceOneCellEach) {
    SurfaceGuard s(makeSurface(160, 40));
    TextLabel label(s);
    label.x = 4;
    label.y = 4;
    label.print("%c%c", 'A', 'B');
    expectCell(s, 4, 4, 'A', 2, yellow);
    expectCell(s, 20, 4, 'B', 2, yellow);
    EXPECT_EQ(litPixels(s), setBits('A') + setBits('B'));
    EXPECT_EQ(label.y, 4);  // no newline: y stays

    SDL_FillRect(s, nullptr, 0);
    label.print("A B\x80\xff" "C");
    expectCell(s, 4, 4, 'A', 2, yellow);
    expectCell(s, 20, 4, -1, 2, yellow);
    expectCell(s, 36, 4, 'B', 2, yellow);
    expectCell(s, 52, 4, -1, 2, yellow);
    expectCell(s, 68, 4, -1, 2, yellow);
    expectCell(s, 84, 4, 'C', 2, yellow);
    EXPECT_EQ(litPixels(s), setBits('A') + setBits('B') + setBits('C'));
}

TEST_F(TextLabelPrint, NewlinesMoveTheLabelsOwnY) {
    SurfaceGuard s(makeSurface(100, 80));
    TextLabel label(s);
    label.x = 10;
    label.y = 2;
    label.print("AB\nC");
    EXPECT_EQ(label.y, 18);
    expectCell(s, 10, 18, 'C', 2, yellow);
    SDL_FillRect(s, nullptr, 0);
    label.print("D");  // continues on the line the newline opened
    expectCell(s, 10, 18, 'D', 2, yellow);
    EXPECT_EQ(label.y, 18);
}

TEST_F(TextLabelPrint, CenteringCountsTheWholeTextAndLaterLinesStartAtX) {
    SurfaceGuard s(makeSurface(800, 100));
    TextLabel label(s);
    const uint32_t red = SDL_MapRGB(s->format, 255, 0, 0);
    label.setFont(red, 4);
    label.centered = 1;
    label.y = 10;
    // Ten characters at scale 4 on 800 pixels: 400 - 10 * 16 = 240. The glyph
    // 'M' has its leftmost column set, so the first lit column shows the start.
    ASSERT_TRUE(setBits('M') > 0 && (builtinFonts[0].data['M' * 8] & 0x80));
    label.print("MMMMMMMMMM");
    int firstLit = -1;
    for (int x = 0; x < 800 && firstLit < 0; ++x)
        for (int y = 0; y < 100; ++y)
            if (testsupport::pixelAt(s, x, y) != 0) {
                firstLit = x;
                break;
            }
    EXPECT_EQ(firstLit, 240);
    // Block style: even rows carry the colour on even columns, odd rows are white.
    EXPECT_EQ(testsupport::pixelAt(s, 240, 10), red);
    EXPECT_EQ(testsupport::pixelAt(s, 240, 11), 0xFFFFFFu);
    EXPECT_EQ(testsupport::pixelAt(s, 241, 10), 0u);

    SDL_FillRect(s, nullptr, 0);
    label.x = 8;
    label.print("M\nM");  // 3 bytes centre the first line; the second starts at x
    EXPECT_EQ(testsupport::pixelAt(s, 400 - 3 * 16, 10), red);
    EXPECT_EQ(testsupport::pixelAt(s, 8, 42), red);
}

TEST_F(TextLabelPrint, TextIsCutAt1023BytesAndALabelWithoutGlyphsDrawsNothing) {
    SurfaceGuard s(makeSurface(8 * 1030, 8));
    TextLabel label(s);
    label.setFont(yellow, 1);
    const std::string text(1500, 'H');
    label.print("%s", text.c_str());
    expectCell(s, 8 * 1022, 0, 'H', 1, yellow);
    expectCell(s, 8 * 1023, 0, -1, 1, yellow);

    SDL_FillRect(s, nullptr, 0);
    label.setFont(yellow, 0);  // no strip can be made
    EXPECT_EQ(label.glyphs, nullptr);
    label.print("HELLO");
    EXPECT_EQ(litPixels(s), 0);

    // A label without a target formats and draws nowhere: a newline does
    // not move it either, since nothing was laid out.
    TextLabel detached(nullptr);
    detached.x = 3;
    detached.y = 5;
    detached.print("%d\n%d", 42, 43);
    EXPECT_EQ(detached.x, 3);
    EXPECT_EQ(detached.y, 5);
}
