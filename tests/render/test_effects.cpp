#include <gtest/gtest.h>

#include <vector>

#include "render/effects.h"
#include "support/sdl_test.h"

using testsupport::makeSurface;
using testsupport::pixelAt;
using testsupport::setPixelAt;
using testsupport::SurfaceGuard;

namespace {

struct LayerGuard {
    AlphaLayer* layer;
    ~LayerGuard() { freeLayer(layer); }
};

uint32_t channel(uint32_t pixel, int shift) { return (pixel >> shift) & 0xFF; }

// A w x h layer whose pixel (x, y) is 0x0000xy-ish and whose alpha is given.
AlphaLayer* patternLayer(int w, int h, uint8_t alpha) {
    AlphaLayer* layer = makeLayer(w, h, 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            setPixelAt(layer->surface, x, y, 0x100000u + uint32_t(y * 16 + x));
            layer->alphaMap[y * w + x] = alpha;
        }
    return layer;
}

void fill(SDL_Surface* s, uint32_t v) { SDL_FillRect(s, nullptr, v); }

}  // namespace

TEST(BlendLayer, ClipsOnEverySideAndNeverWritesOutsideTheTarget) {
    testsupport::videoSurface();
    LayerGuard g{patternLayer(4, 4, 255)};
    SurfaceGuard t(makeSurface(6, 5));
    const uint32_t ground = 0xABCDEF;

    for (auto pos : {std::pair{-4, 0}, std::pair{0, -4}, std::pair{6, 0}, std::pair{0, 5}, std::pair{-2000000000, 7}}) {
        fill(t, ground);
        blendLayer(t, g.layer, pos.first, pos.second);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) ASSERT_EQ(pixelAt(t, x, y), ground) << pos.first << "," << pos.second;
    }
    // Hanging over the top-left: layer (1, 2) lands on (0, 0).
    fill(t, ground);
    blendLayer(t, g.layer, -1, -2);
    EXPECT_EQ(pixelAt(t, 0, 0), 0x100000u + 2 * 16 + 1);
    EXPECT_EQ(pixelAt(t, 2, 1), 0x100000u + 3 * 16 + 3);
    EXPECT_EQ(pixelAt(t, 3, 0), ground);
    EXPECT_EQ(pixelAt(t, 0, 2), ground);
    // Hanging over the bottom-right: cut at the edges, the next row's start untouched.
    fill(t, ground);
    blendLayer(t, g.layer, 4, 3);
    EXPECT_EQ(pixelAt(t, 4, 3), 0x100000u);
    EXPECT_EQ(pixelAt(t, 5, 4), 0x100000u + 16 + 1);
    EXPECT_EQ(pixelAt(t, 0, 4), ground);
    EXPECT_EQ(pixelAt(t, 3, 3), ground);
}

TEST(BlendLayer, MixesChannelsWithTheRoundedBlendInAnyTargetFormat) {
    const SDL_PixelFormat* video = testsupport::videoSurface()->format;
    LayerGuard g{makeLayer(1, 1, 1)};
    setPixelAt(g.layer->surface, 0, 0, 0xFFFFFF);
    g.layer->alphaMap[0] = 128;

    SurfaceGuard same(makeSurface(1, 1));
    blendLayer(same, g.layer, 0, 0);
    EXPECT_EQ(pixelAt(same, 0, 0), 0x808080u);  // (128 x 255 + 128 + 128) >> 8 = 128

    // Red and blue swapped: the slow path must split and map each side in its own format.
    SurfaceGuard swapped(SDL_CreateRGBSurface(0, 1, 1, 32, video->Bmask, video->Gmask, video->Rmask, 0));
    setPixelAt(swapped, 0, 0, 0x0000FF);  // pure red in the swapped layout
    setPixelAt(g.layer->surface, 0, 0, 0x0000FF);  // pure blue in the layer's
    g.layer->alphaMap[0] = 64;
    blendLayer(swapped, g.layer, 0, 0);
    const uint32_t out = pixelAt(swapped, 0, 0);
    const SDL_PixelFormat* f = swapped->format;
    EXPECT_EQ(channel(out, f->Rshift), 191u);  // red kept at 191 / 255
    EXPECT_EQ(channel(out, f->Bshift), 64u);   // blue taken at 64 / 255
    EXPECT_EQ(channel(out, f->Gshift), 0u);
}

TEST(BlendLayer, EveryAlphaRoundsLikeTheOneBlendRule) {
    testsupport::videoSurface();
    LayerGuard g{makeLayer(256, 4, 1)};
    SurfaceGuard t(makeSurface(256, 4));
    const uint32_t fresh[4] = {0xFFFFFF, 0x00FF80, 0x7F01FE, 0x123456};
    const uint32_t under[4] = {0x000000, 0xFF00FF, 0x80FE01, 0xFEDCBA};
    for (int y = 0; y < 4; ++y)
        for (int a = 0; a < 256; ++a) {
            setPixelAt(g.layer->surface, a, y, fresh[y]);
            setPixelAt(t, a, y, under[y]);
            g.layer->alphaMap[y * 256 + a] = uint8_t(a);
        }
    blendLayer(t, g.layer, 0, 0);
    for (int y = 0; y < 4; ++y)
        for (int a = 0; a < 256; ++a)
            for (int shift : {0, 8, 16}) {
                const uint32_t f = channel(fresh[y], shift), u = channel(under[y], shift);
                const uint32_t tt = a * f + (255 - a) * u + 128, want = (tt + (tt >> 8)) >> 8;
                ASSERT_EQ(channel(pixelAt(t, a, y), shift), want) << "alpha " << a << " row " << y << " shift " << shift;
            }
}

TEST(GlowSprite, IsAWhiteDiscWhoseAlphaIsItsBrightness) {
    testsupport::videoSurface();
    LayerGuard g{makeGlowSprite(256, 256)};
    ASSERT_NE(g.layer->surface, nullptr);
    const uint8_t* alpha = g.layer->alphaMap;
    EXPECT_EQ(alpha[0], 0);
    EXPECT_EQ(alpha[255], 0);
    EXPECT_EQ(alpha[255 * 256], 0);
    EXPECT_EQ(alpha[128 * 256 + 128], 255);
    EXPECT_EQ(pixelAt(g.layer->surface, 128, 128), 0xFFFFFFu);
    for (int x = 129; x < 256; ++x) ASSERT_LE(alpha[128 * 256 + x], alpha[128 * 256 + x - 1]) << x;
    for (int y = 0; y < 256; y += 7)
        for (int x = 0; x < 256; x += 5) {
            const uint32_t p = pixelAt(g.layer->surface, x, y);
            ASSERT_EQ(channel(p, 16), alpha[y * 256 + x]);
            ASSERT_EQ(p, channel(p, 16) * 0x010101u) << "not grey at " << x << "," << y;
        }

    SurfaceGuard t(makeSurface(256, 256));
    fill(t, 0x204060);
    blendLayer(t, g.layer, 0, 0);
    EXPECT_EQ(pixelAt(t, 0, 0), 0x204060u);
    EXPECT_EQ(pixelAt(t, 255, 255), 0x204060u);
    EXPECT_EQ(pixelAt(t, 128, 128), 0xFFFFFFu);
}

TEST(Vignette, BlackCentreGreyCornersAndLeavesTheFarRampAlone) {
    testsupport::videoSurface();
    const Color opaque = {0, 255};
    SurfaceGuard wide(makeSurface(800, 600));
    fill(wide, 0x336699);
    vignette(wide, &opaque);
    EXPECT_EQ(pixelAt(wide, 400, 300), 0u);
    EXPECT_EQ(pixelAt(wide, 0, 0), 158u * 0x010101u);
    EXPECT_EQ(pixelAt(wide, 799, 599), pixelAt(wide, 1, 1));  // mirrored about (400, 300)

    // Narrow and tall: far from the centre the ramp passes 254 and the pixel stays.
    SurfaceGuard tall(makeSurface(20, 100));
    fill(tall, 0x336699);
    vignette(tall, &opaque);
    EXPECT_EQ(pixelAt(tall, 10, 50), 0u);
    EXPECT_EQ(pixelAt(tall, 10, 0), 0x336699u);
    EXPECT_EQ(pixelAt(tall, 0, 99), 0x336699u);
    EXPECT_EQ(pixelAt(tall, 10, 51), 2u * 6 * 0x010101u);  // 2 x trunc(1 x 255 / 20 x 0.5)

    const Color half = {0, 128};
    SurfaceGuard blended(makeSurface(20, 100));
    fill(blended, 0xFFFFFF);
    vignette(blended, &half);
    EXPECT_EQ(pixelAt(blended, 10, 50), 0x7F7F7Fu);  // black over white at 128 / 255
}

TEST(Sparks, EmissionsFillIdleSlotsAndAreDroppedWhenAllFly) {
    SparkSystem system;
    makeSparks(&system, 3);
    EXPECT_EQ(system.fade, 1);
    emitSparks(&system, 100, 200, 2);
    for (int i = 0; i < 2; ++i) {
        const Spark& s = system.sparks[i];
        EXPECT_EQ(s.active, 1);
        EXPECT_EQ(s.life, 255);
        EXPECT_TRUE(s.x >= 100 && s.x < 106 && s.y >= 200 && s.y < 206) << s.x << "," << s.y;
    }
    EXPECT_EQ(system.sparks[2].active, 0);
    emitSparks(&system, 0, 0, 5);
    const Spark before[3] = {system.sparks[0], system.sparks[1], system.sparks[2]};
    EXPECT_TRUE(before[2].active && before[2].x < 6);
    emitSparks(&system, 50, 50, 4);  // all three fly: nothing changes
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(system.sparks[i].x, before[i].x);
        EXPECT_EQ(system.sparks[i].y, before[i].y);
    }
    freeSparks(&system);
    EXPECT_EQ(system.sparks, nullptr);
}

TEST(Sparks, FallFadeAndLeaveAtTheBottom) {
    testsupport::videoSurface();
    SurfaceGuard s(makeSurface(8, 600));
    SparkSystem system;
    makeSparks(&system, 2);
    system.sparks[0] = Spark{1, 255, 0, 0, 3, 10};
    system.sparks[1] = Spark{1, 255, 0, 0, 5, 596};  // two moves from the bottom
    updateSparks(&system, s);
    EXPECT_EQ(pixelAt(s, 3, 10), 0xFFFFFFu);  // life 255 is opaque
    EXPECT_EQ(pixelAt(s, 5, 596), 0xFFFFFFu);
    EXPECT_EQ(system.sparks[0].y, 12);
    EXPECT_EQ(system.sparks[0].life, 251);

    // At y = height: still active, not drawn, then gone after its next move.
    updateSparks(&system, s);
    EXPECT_EQ(system.sparks[1].y, 600);
    EXPECT_EQ(system.sparks[1].active, 1);
    fill(s, 0);
    updateSparks(&system, s);
    EXPECT_EQ(system.sparks[1].active, 0);
    for (int y = 590; y < 600; ++y) EXPECT_EQ(pixelAt(s, 5, y), 0u);
    EXPECT_EQ(pixelAt(s, 3, 14), 0xF7F7F7u);  // third frame: life 247 over black

    int frames = 3;
    while (system.sparks[0].active && frames < 1000) {
        updateSparks(&system, s);
        ++frames;
    }
    EXPECT_EQ(frames, 62);  // 255 - 4 x 62 = 7, below 10
    freeSparks(&system);
}

TEST(Rings, SampleTheCircleAndDrawRotatedWithBlackOffThePicture) {
    testsupport::videoSurface();
    SurfaceGuard picture(makeSurface(16, 16));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) setPixelAt(picture, x, y, 0x010000u * uint32_t(x + 1) + uint32_t(y + 1));
    static RingSampler ring;  // large record
    captureRing(picture, &ring, 8, 8, 5);
    EXPECT_EQ(ring.entries[0].dx, 0);
    EXPECT_EQ(ring.entries[0].dy, 5);  // entry 0 points straight down
    EXPECT_EQ(ring.entries[0].pixel, pixelAt(picture, 8, 13));
    EXPECT_EQ(ring.width, 16);

    SurfaceGuard canvas(makeSurface(16, 16));
    drawRing(canvas, 8, 8, &ring);
    for (const RingEntry& e : ring.entries) ASSERT_EQ(pixelAt(canvas, 8 + e.dx, 8 + e.dy), pixelAt(picture, 8 + e.dx, 8 + e.dy));

    // Offsets outside a turn wrap instead of reading past the entries.
    SurfaceGuard turned(makeSurface(16, 16)), wrapped(makeSurface(16, 16));
    ring.offset = 90;
    drawRing(turned, 8, 8, &ring);
    EXPECT_EQ(pixelAt(turned, 8, 13), ring.entries[90].pixel);
    ring.offset = 90 - 3 * 360;
    drawRing(wrapped, 8, 8, &ring);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(pixelAt(wrapped, x, y), pixelAt(turned, x, y));

    captureRing(picture, &ring, 1, 1, 6);  // mostly off the picture
    fill(canvas, 0xFFFFFF);
    drawRing(canvas, 8, 8, &ring);
    EXPECT_EQ(ring.entries[180].pixel, 0u);
    EXPECT_EQ(pixelAt(canvas, 8 + ring.entries[180].dx, 8 + ring.entries[180].dy), 0u);
    EXPECT_EQ(pixelAt(canvas, 8, 14), pixelAt(picture, 1, 7));
}

TEST(StretchRowsBand, RepeatsBlocksAndLeavesTheLastRowOfStraightCopies) {
    testsupport::videoSurface();
    auto run = [](int h, int startRow, int maxRepeat) {
        SurfaceGuard src(makeSurface(4, h)), dst(makeSurface(4, h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < 4; ++x) setPixelAt(src, x, y, uint32_t(y + 1));
        fill(dst, 0xEEEEEE);
        stretchRowsBand(src, dst, startRow, maxRepeat);
        std::vector<uint32_t> rows;
        for (int y = 0; y < h; ++y) {
            for (int x = 1; x < 4; ++x) EXPECT_EQ(pixelAt(dst, x, y), pixelAt(dst, 0, y));
            rows.push_back(pixelAt(dst, 0, y));
        }
        return rows;
    };
    const uint32_t keep = 0xEEEEEE;
    // Blocks 1, 2, 3, 2, 1 from row 2; each block shows its own first row.
    EXPECT_EQ(run(14, 2, 3), (std::vector<uint32_t>{1, 2, 3, 4, 4, 6, 6, 6, 9, 9, 11, 12, 13, keep}));
    // A band running into the bottom writes the last row too.
    EXPECT_EQ(run(6, 2, 3), (std::vector<uint32_t>{1, 2, 3, 4, 4, 6}));
    EXPECT_EQ(run(5, 5, 3), (std::vector<uint32_t>{1, 2, 3, 4, keep}));
    EXPECT_EQ(run(5, -1, 3), (std::vector<uint32_t>(5, keep)));
    EXPECT_EQ(run(5, 6, 3), (std::vector<uint32_t>(5, keep)));
}

TEST(BlitScaledKeyed, SqueezesCentredSkipsKeyAndStaysOnTheTarget) {
    testsupport::videoSurface();
    SurfaceGuard sprite(makeSurface(4, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) setPixelAt(sprite, x, y, uint32_t(0x100 * (y + 1) + x + 1));
    setPixelAt(sprite, 2, 1, 0xFF00FF);
    SDL_SetColorKey(sprite, SDL_SRCCOLORKEY, 0xFF00FF);
    const uint32_t ground = 0x777777;
    SurfaceGuard t(makeSurface(10, 6));

    fill(t, ground);
    blitScaledKeyed(sprite, t, 3, 2, 4);
    EXPECT_EQ(pixelAt(t, 3, 2), 0x101u);
    EXPECT_EQ(pixelAt(t, 6, 3), 0x204u);
    EXPECT_EQ(pixelAt(t, 5, 3), ground);  // the key pixel

    fill(t, ground);
    blitScaledKeyed(sprite, t, 3, 2, 2);  // columns 0 and 2, centred one column in
    EXPECT_EQ(pixelAt(t, 3, 2), ground);
    EXPECT_EQ(pixelAt(t, 4, 2), 0x101u);
    EXPECT_EQ(pixelAt(t, 5, 2), 0x103u);
    EXPECT_EQ(pixelAt(t, 6, 2), ground);

    fill(t, ground);
    blitScaledKeyed(sprite, t, -2, -1, 4);  // squeezed to 2 columns, first row skipped
    EXPECT_EQ(pixelAt(t, 1, 0), 0x201u);
    EXPECT_EQ(pixelAt(t, 2, 0), ground);  // sprite (2, 1) is the key
    EXPECT_EQ(pixelAt(t, 1, 1), ground);

    // Stretched over the right and bottom edges: cut there, no wrap into the next row.
    fill(t, ground);
    blitScaledKeyed(sprite, t, 8, 5, 8);
    EXPECT_EQ(pixelAt(t, 9, 5), 0x102u);  // start 8 - 2, column k = 3 -> sprite 4 x 3 / 8 = 1
    EXPECT_EQ(pixelAt(t, 0, 5), ground);
    EXPECT_EQ(pixelAt(t, 6, 4), ground);
    fill(t, ground);
    blitScaledKeyed(sprite, t, 0, 0, 14);  // 10 columns from 0 + (4 - 10) / 2 = -3
    EXPECT_EQ(pixelAt(t, 0, 0), 0x102u);    // k = 3 -> sprite 4 x 3 / 10 = 1
    EXPECT_EQ(pixelAt(t, 6, 1), 0x204u);    // k = 9 -> sprite 3
    EXPECT_EQ(pixelAt(t, 7, 0), ground);
    EXPECT_EQ(pixelAt(t, 0, 2), ground);
}

TEST(GlitchBand, RotatesEveryRowOfAShortSurfaceRight) {
    testsupport::videoSurface();
    const int w = 80, h = 10;
    SurfaceGuard s(makeSurface(w, h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) setPixelAt(s, x, y, uint32_t(x));
    glitchBand(s);
    for (int y = 0; y < h; ++y) {
        const int shift = (w - int(pixelAt(s, 0, y))) % w;
        EXPECT_TRUE(shift >= 27 && shift <= 32) << "row " << y << " shifted " << shift;
        for (int x = 0; x < w; ++x) ASSERT_EQ(pixelAt(s, x, y), uint32_t((x - shift + w) % w)) << y;
    }
    // Rows far from the band are left alone: on a tall surface at most 127 change.
    SurfaceGuard tall(makeSurface(w, 600));
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < w; ++x) setPixelAt(tall, x, y, uint32_t(x));
    glitchBand(tall);
    int changed = 0;
    for (int y = 0; y < 600; ++y) changed += pixelAt(tall, 0, y) != 0;
    EXPECT_GT(changed, 0);
    EXPECT_LE(changed, 127);
}
