// Pixel-exact checks of the drawing primitives and the triangle filler on
// small 32-bit surfaces.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "render/camera.h"
#include "render/raster.h"
#include "support/sdl_test.h"

using testsupport::makeSurface;
using testsupport::pixelAt;
using testsupport::setPixelAt;
using testsupport::SurfaceGuard;

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

int countPixels(SDL_Surface* s, uint32_t value) {
    int n = 0;
    for (int y = 0; y < s->h; ++y)
        for (int x = 0; x < s->w; ++x) n += pixelAt(s, x, y) == value;
    return n;
}

int countNonBlack(SDL_Surface* s) { return s->w * s->h - countPixels(s, 0); }

bool rowIsBlack(SDL_Surface* s, int y) {
    for (int x = 0; x < s->w; ++x)
        if (pixelAt(s, x, y) != 0) return false;
    return true;
}

// A surface with a guard band of sentinel pixels around a w x h drawing area
// shows any write outside the area it was given.
struct Guarded {
    SDL_Surface* whole;
    SDL_Surface view;  // a sub-surface sharing the pixels of `whole`; not for SDL calls
    static constexpr int kBand = 8;
    static constexpr uint32_t kSentinel = 0x123456;

    Guarded(int w, int h) : whole(makeSurface(w + 2 * kBand, h + 2 * kBand)) {
        SDL_FillRect(whole, nullptr, kSentinel);
        view = *whole;
        view.w = w;
        view.h = h;
        view.pixels = static_cast<uint8_t*>(whole->pixels) + kBand * whole->pitch + kBand * 4;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) setPixelAt(&view, x, y, 0);
    }
    ~Guarded() { SDL_FreeSurface(whole); }
    bool bandIntact() const {
        for (int y = 0; y < whole->h; ++y)
            for (int x = 0; x < whole->w; ++x) {
                bool inside = x >= kBand && x < kBand + view.w && y >= kBand && y < kBand + view.h;
                if (!inside && pixelAt(whole, x, y) != kSentinel) return false;
            }
        return true;
    }
};

struct RasterTest : ::testing::Test {
    Camera camera;
    void SetUp() override {
        ASSERT_NE(testsupport::videoSurface(), nullptr);
        camera.ghostOffset = 8.0f;
    }
};

}  // namespace

TEST_F(RasterTest, PixelsRespectBoundsAndCopyTheValue) {
    SurfaceGuard s(makeSurface(4, 3));
    EXPECT_TRUE(isInside(s, 0, 0));
    EXPECT_TRUE(isInside(s, 3, 2));
    EXPECT_FALSE(isInside(s, 4, 0));
    EXPECT_FALSE(isInside(s, 0, 3));
    EXPECT_FALSE(isInside(s, -1, 1));

    putPixel(s, 2, 1, 0xABCDEF);
    putPixel(s, 4, 1, 0xABCDEF);
    putPixel(s, -1, 1, 0xABCDEF);
    EXPECT_EQ(pixelAt(s, 2, 1), 0xABCDEFu);
    EXPECT_EQ(countNonBlack(s), 1);

    uint32_t out = 77;
    readPixel(s, 9, 9, &out);
    EXPECT_EQ(out, 77u) << "outside leaves the field alone";
    readPixel(s, 2, 1, &out);
    EXPECT_EQ(out, 0xABCDEFu);

    EXPECT_FALSE(drawPixel(s, 4, 0, kWhite, 255));
    EXPECT_TRUE(drawPixel(s, 0, 0, kWhite, 255));
    EXPECT_EQ(pixelAt(s, 0, 0), kWhite);

    int32_t r, g, b;
    splitPixel(s, 0x12A5FE, &r, &g, &b);
    EXPECT_EQ(r, 0x12);
    EXPECT_EQ(g, 0xA5);
    EXPECT_EQ(b, 0xFE);
}

TEST_F(RasterTest, BlendingRoundsExactly) {
    SurfaceGuard s(makeSurface(4, 1));
    blendPixel(s, 0, 0, kWhite, 128);
    EXPECT_EQ(pixelAt(s, 0, 0), 0x808080u) << "t = 128 x 255 + 128 gives 128";
    setPixelAt(s, 1, 0, 0x336699);
    blendPixel(s, 1, 0, kWhite, 0);
    EXPECT_EQ(pixelAt(s, 1, 0), 0x336699u) << "alpha 0 keeps the old colour";
    blendPixel(s, 1, 0, 0x102030, 255);
    EXPECT_EQ(pixelAt(s, 1, 0), 0x102030u);
    // Every alpha against every channel pair agrees with round(t / 255).
    for (int a = 1; a < 255; a += 7)
        for (int fresh = 0; fresh < 256; fresh += 51)
            for (int under = 0; under < 256; under += 17) {
                setPixelAt(s, 2, 0, uint32_t(under) << 8);
                blendPixel(s, 2, 0, uint32_t(fresh) << 8, a);
                int expect = int(std::floor((a * fresh + (255 - a) * under) / 255.0 + 0.5));
                ASSERT_EQ(int(pixelAt(s, 2, 0) >> 8), expect) << a << " " << fresh << " " << under;
            }
}

TEST_F(RasterTest, BlendingRoundsEveryChannelApart) {
    // Red and blue are blended side by side in one word: each channel, with
    // its neighbours at other values, must round as if it were alone.
    SurfaceGuard s(makeSurface(1, 1));
    auto rounded = [](int a, int fresh, int under) {
        return int(std::floor((a * fresh + (255 - a) * under) / 255.0 + 0.5));
    };
    for (int a = 1; a < 256; ++a)
        for (int fresh = 0; fresh < 256; fresh += 5)
            for (int under = 0; under < 256; under += 3) {
                const int f[3] = {fresh, 255 - fresh, (fresh * 7) & 255};
                const int u[3] = {under, (under * 5 + 11) & 255, 255 - under};
                setPixelAt(s, 0, 0, uint32_t(u[0]) << 16 | uint32_t(u[1]) << 8 | uint32_t(u[2]));
                blendPixel(s, 0, 0, uint32_t(f[0]) << 16 | uint32_t(f[1]) << 8 | uint32_t(f[2]), a);
                const uint32_t got = pixelAt(s, 0, 0);
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(int(got >> (16 - 8 * c)) & 0xFF, rounded(a, f[c], u[c]))
                        << "channel " << c << ", alpha " << a << ", " << f[c] << " over " << u[c];
                ASSERT_EQ(got >> 24, 0u);
            }
}

TEST_F(RasterTest, SpanEnds) {
    SurfaceGuard s(makeSurface(16, 2));
    Color opaque{int32_t(kWhite), 255};
    drawSpan(s, 0, 2, 9, &opaque);
    for (int x = 0; x < 16; ++x) EXPECT_EQ(pixelAt(s, x, 0) == kWhite, x >= 2 && x < 9) << x;

    SDL_FillRect(s, nullptr, 0);
    drawSpan(s, 0, 5, 5, &opaque);
    EXPECT_EQ(countNonBlack(s), 0) << "x0 = x1 writes nothing";

    drawSpan(s, 0, -10, 100, &opaque);
    EXPECT_EQ(countNonBlack(s), 15) << "clamped to w - 1, which is excluded";
    EXPECT_EQ(pixelAt(s, 15, 0), 0u);

    SDL_FillRect(s, nullptr, 0);
    Color glass{int32_t(kWhite), 128};
    drawSpan(s, 1, 3, 7, &glass);
    EXPECT_EQ(countPixels(s, 0x808080), 5) << "translucent spans include x1";
    drawSpan(s, 2, 0, 15, &opaque);
    drawSpan(s, -1, 0, 15, &opaque);
    EXPECT_EQ(countNonBlack(s), 5) << "rows off the surface are ignored";

    // Opaque spans of every length and start hit the right pixels (the
    // four-pixel groups and the tail).
    SurfaceGuard wide(makeSurface(40, 1));
    for (int lo = 0; lo < 6; ++lo)
        for (int hi = lo; hi < 40; ++hi) {
            SDL_FillRect(wide, nullptr, 0);
            Color c{int32_t(0x010000 * (hi + 1)), 255};
            drawSpan(wide, 0, lo, hi, &c);
            int expected = std::min(hi, 39) - lo;
            ASSERT_EQ(countNonBlack(wide), std::max(expected, 0)) << lo << ".." << hi;
            if (expected > 0) {
                ASSERT_EQ(pixelAt(wide, lo, 0), uint32_t(c.pixel));
            }
        }
}

TEST_F(RasterTest, LinesIncludeBothEndpoints) {
    SurfaceGuard s(makeSurface(20, 20));
    Color c{int32_t(kWhite), 255};
    drawLine(s, 2, 3, 12, 8, &c);
    EXPECT_EQ(pixelAt(s, 2, 3), kWhite);
    EXPECT_EQ(pixelAt(s, 12, 8), kWhite);
    EXPECT_EQ(countNonBlack(s), 11) << "one pixel per step of the major axis";

    SDL_FillRect(s, nullptr, 0);
    drawLine(s, 5, 15, 7, 2, &c);  // y-major, stepping up
    EXPECT_EQ(pixelAt(s, 5, 15), kWhite);
    EXPECT_EQ(pixelAt(s, 7, 2), kWhite);
    EXPECT_EQ(countNonBlack(s), 14);
    for (int y = 2; y <= 15; ++y) {
        int inRow = 0;
        for (int x = 0; x < 20; ++x) inRow += pixelAt(s, x, y) != 0;
        EXPECT_EQ(inRow, 1) << y;
    }

    SDL_FillRect(s, nullptr, 0);
    drawLine(s, 4, 4, 4, 4, &c);
    EXPECT_EQ(countNonBlack(s), 1);
}

TEST_F(RasterTest, LinesWithBothEndsOnTheSurfaceMatchTheCheckedWalk) {
    // A line whose ends are both on the surface is walked without a test per
    // point; drawn again onto a smaller view of the same layout, where most
    // ends fall off and every point is tested, it must paint the same pixels.
    uint32_t seed = 99;
    auto next = [&seed](int n) {
        seed = seed * 1103515245u + 12345u;
        return int32_t((seed >> 8) % uint32_t(n));
    };
    for (int32_t alpha : {255, 100}) {
        for (int t = 0; t < 300; ++t) {
            SurfaceGuard whole(makeSurface(40, 30));
            Guarded part(24, 18);
            const int32_t x0 = next(40), y0 = next(30), x1 = next(40), y1 = next(30);
            const Color c{int32_t(0x40C020 + t), alpha};
            drawLine(whole, x0, y0, x1, y1, &c);
            drawLine(&part.view, x0, y0, x1, y1, &c);
            for (int y = 0; y < 18; ++y)
                for (int x = 0; x < 24; ++x)
                    ASSERT_EQ(pixelAt(whole, x, y), pixelAt(&part.view, x, y))
                        << "(" << x0 << "," << y0 << ")-(" << x1 << "," << y1 << ") at " << x << "," << y;
            ASSERT_TRUE(part.bandIntact());
        }
    }
}

TEST_F(RasterTest, TranslucentStraightLinesBlendTwice) {
    SurfaceGuard s(makeSurface(10, 10));
    Color c{int32_t(kWhite), 128};
    drawLine(s, 1, 2, 6, 2, &c);
    // 128 once gives 128, twice gives 128 + (127 x 128 + 128) / 255 = 192.
    for (int x = 1; x <= 6; ++x) EXPECT_EQ(pixelAt(s, x, 2), 0xC0C0C0u) << x;
    drawLine(s, 8, 1, 8, 5, &c);
    for (int y = 1; y <= 5; ++y) EXPECT_EQ(pixelAt(s, 8, y), 0xC0C0C0u) << y;
}

TEST_F(RasterTest, ClampedLinesAndRectanglesStayOnTheSurface) {
    Guarded g(12, 9);
    Color c{int32_t(kWhite), 255};
    drawLineClamped(&g.view, -50, -50, 100, 100, &c);
    drawLineClamped(&g.view, 30, -4, -30, 40, &c);
    fillRect(&g.view, -5, -5, 400, 400, 0x00FF00);
    fillRect(&g.view, -5, 2, -3, 4, 0x00FF00);  // x1 left of the surface
    drawLine(&g.view, -3, 4, 20, 7, &c);        // stray endpoints: guarded
    EXPECT_TRUE(g.bandIntact());
}

TEST_F(RasterTest, FillRectClampsAndFillsInclusive) {
    SurfaceGuard s(makeSurface(10, 8));
    fillRect(s, 2, 1, 5, 3, kWhite);
    EXPECT_EQ(countNonBlack(s), 4 * 3);
    SDL_FillRect(s, nullptr, 0);
    fillRect(s, -4, -4, 100, 100, kWhite);
    EXPECT_EQ(countNonBlack(s), 10 * 8);
    SDL_FillRect(s, nullptr, 0);
    fillRect(s, 1, 5, 4, 2, kWhite);
    EXPECT_EQ(countNonBlack(s), 0) << "y1 < y0 draws nothing";
}

TEST_F(RasterTest, FillRectColorDarkensBySquaredFactor) {
    SurfaceGuard s(makeSurface(8, 6));
    SDL_FillRect(s, nullptr, 0xC8C8C8);
    Color dark{0, 128};
    fillRectColor(s, 0, 0, 7, 5, &dark);
    // 200 -> 100 -> 50 (rounded): (1 - 128/255)^2 x 200, not (1 - 128/255) x 200.
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(pixelAt(s, x, y), 0x323232u) << x << "," << y;
}

TEST_F(RasterTest, ClampRect) {
    SurfaceGuard s(makeSurface(100, 50));
    SDL_Rect r{-5, -7, 200, 20};
    clampRect(s, &r);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.y, 0);
    EXPECT_EQ(r.w, 99);
    EXPECT_EQ(r.h, 20);
    SDL_Rect beyond{150, 10, 10, 10};
    clampRect(s, &beyond);
    EXPECT_EQ(beyond.w, 0) << "a rectangle past the edge becomes empty";
}

TEST_F(RasterTest, WalkEdgeGivesOnePointPerRow) {
    EdgePoint pts[kEdgeCapacity];
    int32_t n = -1;
    walkEdge(3, 2, 40, 9, pts, &n);  // x-major
    ASSERT_EQ(n, 8);
    for (int i = 0; i < n; ++i) EXPECT_EQ(pts[i].y, 2.0f + i);
    EXPECT_EQ(pts[0].x, 3.0f) << "first x reached on the row";

    walkEdge(10, 4, 6, 30, pts, &n);  // y-major
    ASSERT_EQ(n, 27);
    for (int i = 0; i < n; ++i) EXPECT_EQ(pts[i].y, 4.0f + i);
    EXPECT_EQ(pts[0].x, 10.0f);
    EXPECT_EQ(pts[26].x, 6.0f);

    walkEdge(0, 0, 30, 0, pts, &n);
    EXPECT_EQ(n, 0) << "a walk that starts on row 0 emits nothing for it";
    walkEdge(5, 0, 6, 10, pts, &n);
    ASSERT_EQ(n, 10);
    EXPECT_EQ(pts[0].y, 1.0f);
    walkEdge(5, -2, 6, 2, pts, &n);
    EXPECT_EQ(n, 5) << "row 0 is skipped only when it is the first";
    walkEdge(7, 7, 7, 7, pts, &n);
    EXPECT_EQ(n, 1);

    walkEdge(0, 0, 10, 5000, pts, &n);
    EXPECT_EQ(n, kEdgeCapacity) << "never more than the list holds";

    testing::internal::CaptureStderr();
    walkEdge(0, 0, 5, 5, nullptr, &n);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "cannot fill buffer\n");
    EXPECT_EQ(n, 0);
}

TEST_F(RasterTest, WalkEdgeIsTheSameOnBothSidesOfTheNarrowArithmetic) {
    // Short edges use 32-bit fixed point, edges with a far end 64-bit: moved
    // by a whole number of pixels, the same edge must give the same points.
    const int32_t edges[][4] = {{3, 2, 40, 9}, {10, 4, 6, 30}, {0, 1, -37, 12}, {5, 3, 6, 700}, {9, 9, 1, 2}};
    const int32_t shifts[] = {8000, 8191, 8192, 20000, 40000, -8192, -40000};
    for (const auto& e : edges)
        for (int32_t d : shifts)
            for (bool alongX : {true, false}) {
                EdgePoint near[kEdgeCapacity], far[kEdgeCapacity];
                int32_t nNear = -1, nFar = -1;
                // No walk starts on row 0, the one row a walk treats apart.
                const int32_t dx = alongX ? d : 0, dy = alongX ? 0 : d;
                walkEdge(e[0], e[1], e[2], e[3], near, &nNear);
                walkEdge(e[0] + dx, e[1] + dy, e[2] + dx, e[3] + dy, far, &nFar);
                ASSERT_EQ(nNear, nFar) << d;
                for (int32_t i = 0; i < nNear; ++i) {
                    EXPECT_EQ(far[i].x, near[i].x + float(dx)) << i;
                    EXPECT_EQ(far[i].y, near[i].y + float(dy)) << i;
                }
            }
}

TEST_F(RasterTest, OpaqueFacesPaintTheSamePixelsAtThreeAndFourBytesPerPixel) {
    // Four-byte surfaces take the filler's direct span path, three-byte ones
    // its general loop and packed span pattern: random triangles, some
    // hanging over the edges, must paint exactly the same pixels alike.
    SurfaceGuard four(makeSurface(48, 40));
    SurfaceGuard three(SDL_CreateRGBSurface(SDL_SWSURFACE, 48, 40, 24, 0xFF0000, 0x00FF00, 0x0000FF, 0));
    uint32_t seed = 12345;
    auto next = [&seed](float lo, float hi) {
        seed = seed * 1103515245u + 12345u;
        return lo + (hi - lo) * float((seed >> 8) & 0xFFFF) / 65535.0f;
    };
    for (int t = 0; t < 200; ++t) {
        SDL_FillRect(four, nullptr, 0);
        SDL_FillRect(three, nullptr, 0);
        ScreenPoint p[3];
        for (ScreenPoint& v : p) v = {next(-12, 60), next(-10, 50)};
        const int32_t colour = int32_t(0x102030 + 0x030507 * uint32_t(t));
        Color c4{colour, 255}, c3{colour, 255};
        fillTriangle(&camera, four, p[0], p[1], p[2], &c4);
        fillTriangle(&camera, three, p[0], p[1], p[2], &c3);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 48; ++x) {
                const uint8_t* q = static_cast<const uint8_t*>(three->pixels) + y * three->pitch + x * 3;
                const uint32_t packed = uint32_t(q[0]) | uint32_t(q[1]) << 8 | uint32_t(q[2]) << 16;
                ASSERT_EQ(pixelAt(four, x, y) & 0xFFFFFF, packed) << t << ": " << x << "," << y;
            }
    }
}

TEST_F(RasterTest, TrianglesNeverPaintRowZero) {
    SurfaceGuard s(makeSurface(32, 32));
    Color c{int32_t(kWhite), 255};
    fillTriangle(&camera, s, {2, -10}, {30, -5}, {16, 20}, &c);
    EXPECT_TRUE(rowIsBlack(s, 0));
    EXPECT_FALSE(rowIsBlack(s, 1));
    EXPECT_FALSE(rowIsBlack(s, 19));

    SDL_FillRect(s, nullptr, 0);
    fillTriangle(&camera, s, {2, 0.5f}, {30, 0.2f}, {16, 20}, &c);
    EXPECT_EQ(countNonBlack(s), 0) << "top and middle on row 0: the first edge is empty";
}

TEST_F(RasterTest, FlatTopTriangleIsFilledFromItsTopRow) {
    SurfaceGuard s(makeSurface(32, 32));
    Color c{int32_t(kWhite), 255};
    fillTriangle(&camera, s, {4, 5}, {24, 5}, {14, 25}, &c);
    int top = 0;
    for (int x = 0; x < 32; ++x) top += pixelAt(s, x, 5) != 0;
    EXPECT_EQ(top, 20) << "the second pass fills the top row from 4 to 24, right end excluded";
    EXPECT_TRUE(rowIsBlack(s, 4));
    EXPECT_FALSE(rowIsBlack(s, 24));
}

TEST_F(RasterTest, MiddleRowIsVisitedTwice) {
    SurfaceGuard s(makeSurface(40, 40));
    Color c{int32_t(kWhite), 128};
    fillTriangle(&camera, s, {5, 5}, {35, 15}, {10, 30}, &c);
    int twice = 0, once = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            uint32_t p = pixelAt(s, x, y);
            if (p == 0xC0C0C0) {
                ++twice;
                EXPECT_EQ(y, 15);
            }
            once += p == 0x808080;
        }
    EXPECT_GT(twice, 10);
    EXPECT_GT(once, 200);
}

TEST_F(RasterTest, OpaqueTriangleAreaMatchesItsRows) {
    SurfaceGuard s(makeSurface(64, 64));
    Color c{int32_t(kWhite), 255};
    // A right triangle with legs of 40: rows 10..50, row y spans 10 .. 10 + (y - 10).
    fillTriangle(&camera, s, {10, 10}, {10, 50}, {50, 50}, &c);
    for (int y = 11; y < 50; ++y) {
        int n = 0;
        for (int x = 0; x < 64; ++x) n += pixelAt(s, x, y) != 0;
        EXPECT_NEAR(n, y - 10, 1) << y;
    }
}

TEST_F(RasterTest, InterlaceSkipsOddRows) {
    SurfaceGuard s(makeSurface(32, 32));
    camera.interlace = 1;
    Color c{int32_t(kWhite), 255};
    fillTriangle(&camera, s, {2, 2}, {30, 4}, {10, 28}, &c);
    for (int y = 1; y < 32; y += 2) EXPECT_TRUE(rowIsBlack(s, y)) << y;
    EXPECT_FALSE(rowIsBlack(s, 10));
}

TEST_F(RasterTest, ScanlineGlitchDarkensTheFaceRowByRow) {
    SurfaceGuard s(makeSurface(64, 40));
    camera.scanlineGlitch = 1;
    Color c{int32_t(0xFFFFFF), 255};
    // Every even row shifts the face colour right by its row number, and the
    // shifted value stays with the triangle: by row 4 it is shifted by 2 + 4.
    fillTriangle(&camera, s, {30, 2}, {60, 10}, {5, 12}, &c);
    EXPECT_EQ(uint32_t(c.pixel), 0u);
    bool sawRow4 = false, sawGlitch = false;
    for (int x = 0; x < 64; ++x) {
        sawRow4 |= pixelAt(s, x, 4) == 0xFFFFFFu >> 6;
        uint32_t p = pixelAt(s, x, 3);
        sawGlitch |= p == 0x0000FF || p == 0xFF00FF;
    }
    EXPECT_TRUE(sawRow4);
    EXPECT_TRUE(sawGlitch) << "odd rows carry a blue or magenta glitch line";
}

TEST_F(RasterTest, GhostDrawsTintedCopiesAtTheOffset) {
    SurfaceGuard s(makeSurface(64, 32));
    camera.ghost = 1;
    camera.ghostOffset = 8.0f;
    Color c{int32_t(0x0000FF), 255};
    // A thin flat band: one column wide on row 10 .. 20 at x = 30.
    fillTriangle(&camera, s, {30, 10}, {30.5f, 20}, {30.9f, 10}, &c);
    // The face pixel itself is the colour at alpha 155 over black, the copies
    // at +-8 are blended at alpha 64.
    EXPECT_EQ(pixelAt(s, 30, 15), 0x00009Bu);
    EXPECT_EQ(pixelAt(s, 22, 15), uint32_t(0x40332B)) << "0xFFCCAA at 64";
    EXPECT_EQ(pixelAt(s, 38, 15), uint32_t(0x33402B)) << "0xCCFFAA at 64";
    EXPECT_EQ(pixelAt(s, 26, 15), 0u);
}

TEST_F(RasterTest, ColorSplitSeparatesChannels) {
    SurfaceGuard s(makeSurface(80, 1));
    Color c{int32_t(0xFFFFFF), 255};
    srand(7);
    bool drew = false;
    for (int attempt = 0; attempt < 20 && !drew; ++attempt) {
        colorSplitSpan(s, 0, 40, 40, &c);
        drew = pixelAt(s, 40, 0) != 0;
    }
    ASSERT_TRUE(drew);
    EXPECT_EQ(pixelAt(s, 24, 0) & 0x00FFFF, 0u) << "red copy 16 to the left";
    EXPECT_NE(pixelAt(s, 24, 0), 0u);
    EXPECT_EQ(pixelAt(s, 56, 0) & 0xFFFF00, 0u) << "blue copy 16 to the right";
    EXPECT_NE(pixelAt(s, 56, 0), 0u);
    EXPECT_EQ(pixelAt(s, 40, 0) & 0xFF00FF, 0u) << "green in place";
}

TEST_F(RasterTest, HugeAndInvalidTrianglesStayInsideTheSurface) {
    Guarded g(40, 30);
    Color opaque{int32_t(kWhite), 255}, glass{int32_t(kWhite), 100};
    const float big = 2048.0f;
    const ScreenPoint corners[] = {{-big, -big}, {big, -big}, {big, big}, {-big, big}, {20, 15}, {0, big}, {-big, 0}};
    Camera variants[5];
    Camera* cams[5];
    for (int e = 0; e < 5; ++e) {
        variants[e].ghostOffset = 8.0f;
        cams[e] = &variants[e];
    }
    variants[1].scanlineGlitch = 1;
    variants[2].interlace = 1;
    variants[3].colorSplit = 1;
    variants[4].ghost = 1;
    for (Camera* cam : cams)
        for (const ScreenPoint& a : corners)
            for (const ScreenPoint& b : corners)
                for (const ScreenPoint& c : corners) {
                    Color o = opaque, t = glass;
                    fillTriangle(cam, &g.view, a, b, c, &o);
                    fillTriangle(cam, &g.view, a, b, c, &t);
                    ASSERT_TRUE(g.bandIntact()) << (cam - variants) << " " << a.x << "," << a.y << " " << b.x << "," << b.y << " " << c.x << "," << c.y;
                }
    EXPECT_TRUE(g.bandIntact());
    // A triangle covering the whole view fills every row but row 0.
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) setPixelAt(&g.view, x, y, 0);
    Color o = opaque;
    fillTriangle(&variants[0], &g.view, {-big, -big}, {big, -big}, {0, big}, &o);
    EXPECT_TRUE(rowIsBlack(&g.view, 0));
    for (int y = 1; y < 30; ++y) EXPECT_FALSE(rowIsBlack(&g.view, y)) << y;

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    testing::internal::CaptureStderr();
    fillTriangle(&variants[0], &g.view, {nan, 3}, {4, 5}, {6, 7}, &o);
    fillTriangle(&variants[0], &g.view, {1, 3}, {4, nan}, {6, 7}, &o);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR!\nERROR!\n");
    fillTriangle(&variants[4], &g.view, {-inf, 3}, {inf, 5}, {6, 1e30f}, &o);
    EXPECT_TRUE(g.bandIntact());
}
