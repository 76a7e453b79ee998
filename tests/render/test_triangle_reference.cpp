// The triangle filler against the list-pairing reference: random triangles,
// on and off the surface, within and beyond the 32-bit arithmetic, under
// every span effect and at both pixel depths, must leave the same pixels,
// the same face colour and the same rand() sequence.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "geometry/mesh_object.h"
#include "render/camera.h"
#include "render/raster.h"
#include "support/reference_raster.h"
#include "support/sdl_test.h"

namespace {

SDL_Surface* surfaceOf(int w, int h, int depth) {
    return depth == 32 ? testsupport::makeSurface(w, h)
                       : SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 24, 0xFF0000, 0x00FF00, 0x0000FF, 0);
}

bool samePixels(const SDL_Surface* a, const SDL_Surface* b) {
    const int rowBytes = a->w * a->format->BytesPerPixel;
    for (int y = 0; y < a->h; ++y)
        if (std::memcmp(static_cast<const uint8_t*>(a->pixels) + y * a->pitch,
                        static_cast<const uint8_t*>(b->pixels) + y * b->pitch, size_t(rowBytes)) != 0)
            return false;
    return true;
}

void fillRandom(SDL_Surface* s, std::mt19937& rng) {
    for (int y = 0; y < s->h; ++y) {
        uint8_t* row = static_cast<uint8_t*>(s->pixels) + y * s->pitch;
        for (int x = 0; x < s->w * s->format->BytesPerPixel; ++x) row[x] = uint8_t(rng());
    }
}

// Brings the reference's glitch line counter in step with the filler's: a
// glitched face drawn by both matches once the two counters agree.
void alignGlitchLines() {
    Camera camera;
    camera.scanlineGlitch = 1;
    for (int attempt = 0; attempt < 3; ++attempt) {
        SDL_Surface* a = testsupport::makeSurface(32, 32);
        SDL_Surface* b = testsupport::makeSurface(32, 32);
        SDL_FillRect(a, nullptr, 0);
        SDL_FillRect(b, nullptr, 0);
        Color ca{0xFFFFFF, 255}, cb{0xFFFFFF, 255};
        srand(1);
        fillTriangle(&camera, a, {4, 6}, {20, 6}, {12, 7}, &ca);
        srand(1);
        reference::fillTriangle(&camera, b, {4, 6}, {20, 6}, {12, 7}, &cb);
        const bool same = samePixels(a, b);
        SDL_FreeSurface(a);
        SDL_FreeSurface(b);
        if (same) return;
        reference::glitchLine = (reference::glitchLine + 1) % 3;
    }
}

}  // namespace

TEST(TriangleReference, RandomTrianglesAndEffectsPaintWhatTheEdgeListsPaint) {
    ASSERT_NE(testsupport::videoSurface(), nullptr);
    alignGlitchLines();
    std::mt19937 rng(3);
    struct Shape {
        int w, h, depth;
    } const shapes[] = {{64, 48, 32}, {48, 40, 24}, {20, 1100, 32}};
    // Coordinate ranges: around a small surface, far within the 32-bit
    // arithmetic, and across its limit to the clamp.
    const float spans[] = {80.0f, 9000.0f, 80000.0f};
    for (int trial = 0; trial < 2500; ++trial) {
        const Shape& shape = shapes[trial % 3];
        const float span = trial % 7 == 0 ? spans[rng() % 3] : spans[0];
        SDL_Surface* fresh = surfaceOf(shape.w, shape.h, shape.depth);
        SDL_Surface* old = surfaceOf(shape.w, shape.h, shape.depth);
        fillRandom(fresh, rng);
        std::memcpy(old->pixels, fresh->pixels, size_t(fresh->pitch) * size_t(fresh->h));

        auto coordinate = [&](int size) {
            if (rng() % 8 == 0) return float(int32_t(rng() % 5) - 2);  // on and around row and column 0
            return (float(rng()) / 4294967296.0f * 2.0f - 0.5f) * (span == spans[0] ? float(size) : span);
        };
        ScreenPoint p[3];
        for (ScreenPoint& v : p) v = {coordinate(shape.w), coordinate(shape.h)};
        if (rng() % 10 == 0) p[1].y = p[0].y;  // flat edges
        if (rng() % 20 == 0) p[2] = p[0];       // degenerate faces

        Camera camera;
        const uint32_t effects = rng() % 3 == 0 ? rng() : 0;
        camera.scanlineGlitch = effects & 1;
        camera.interlace = (effects >> 1) & 1;
        camera.ghost = (effects >> 2) & 1;
        camera.colorSplit = (effects >> 3) & 1;
        camera.ghostOffset = rng() % 8 == 0 ? float(int32_t(rng() % 201) - 100) : float(int32_t(rng() % 41) - 20);
        const Color color{int32_t(rng() & 0xFFFFFF), rng() % 4 == 0 ? int32_t(rng() % 256) : 255};

        const unsigned seed = rng();
        Color cFresh = color, cOld = color;
        srand(seed);
        fillTriangle(&camera, fresh, p[0], p[1], p[2], &cFresh);
        const int nextFresh = rand();
        srand(seed);
        reference::fillTriangle(&camera, old, p[0], p[1], p[2], &cOld);
        const int nextOld = rand();

        ASSERT_TRUE(samePixels(fresh, old)) << "trial " << trial << " effects " << (effects & 15) << " alpha "
                                            << color.alpha << " (" << p[0].x << "," << p[0].y << ") (" << p[1].x
                                            << "," << p[1].y << ") (" << p[2].x << "," << p[2].y << ")";
        EXPECT_EQ(cFresh.pixel, cOld.pixel) << trial;
        EXPECT_EQ(nextFresh, nextOld) << trial << ": another number of rand() calls";
        SDL_FreeSurface(fresh);
        SDL_FreeSurface(old);
    }
}

TEST(TriangleReference, FaceLightIsTheOneFaceAtATimeFormulaToTheBit) {
    // Normals of every size, with zero, negative zero, NaN and values past
    // 2^23 among them, turned four at a time, against rotateTruncated.
    SDL_Surface* target = testsupport::makeSurface(80, 60);
    MeshObject m;
    m.faceCount = 203;  // not a multiple of four: the last faces go one at a time
    m.allocateFaces();
    std::mt19937 rng(11);
    const float specials[] = {0.0f, -0.0f, NAN, 1e30f, -9e6f, 8388607.5f, -0.49f, 3.5f};
    auto value = [&]() {
        if (rng() % 6 == 0) return specials[rng() % 8];
        return (float(rng()) / 4294967296.0f * 2.0f - 1.0f) * float(1 << (rng() % 26));
    };
    for (int32_t i = 0; i < m.faceCount; ++i) m.faces[i].normal = Vector3(value(), value(), value());
    m.drawCount = m.faceCount;
    m.rotation = Vector3(0.7f, -2.1f, 5.3f);
    Camera camera;
    camera.init(45, 10.0f, target);
    camera.lightDirection.set(-1, 0.5f, -2);
    camera.transformAndSort(&m);
    const float sx = std::sin(0.7f), cx = std::cos(0.7f), sy = std::sin(-2.1f), cy = std::cos(-2.1f),
                sz = std::sin(5.3f), cz = std::cos(5.3f);
    for (int32_t i = 0; i < m.faceCount; ++i) {
        Vector3 n = m.faces[i].normal;
        n.rotateTruncated(sx, cx, sy, cy, sz, cz);
        const Vector3& l = camera.lightDirection;
        const float expected = (n.x * l.x + n.y * l.y + n.z * l.z) /
                               (std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z) * camera.lightLength);
        EXPECT_EQ(std::memcmp(&expected, &m.faceLight[i], sizeof(float)), 0)
            << i << ": " << expected << " against " << m.faceLight[i];
    }
    SDL_FreeSurface(target);
}

TEST(TriangleReference, RandomLinesDrawWhatThePointByPointWalkDraws) {
    ASSERT_NE(testsupport::videoSurface(), nullptr);
    std::mt19937 rng(23);
    for (int trial = 0; trial < 3000; ++trial) {
        const int depth = trial % 4 == 3 ? 24 : 32;
        SDL_Surface* fresh = surfaceOf(64, 48, depth);
        SDL_Surface* old = surfaceOf(64, 48, depth);
        fillRandom(fresh, rng);
        std::memcpy(old->pixels, fresh->pixels, size_t(fresh->pitch) * size_t(fresh->h));
        // Mostly on the surface (the walk without tests), some across its
        // edges and some beyond the 32-bit arithmetic.
        const int32_t reach = trial % 9 == 0 ? 20000 : (trial % 3 == 0 ? 90 : 0);
        auto along = [&](int32_t size) { return int32_t(rng() % uint32_t(size + 2 * reach)) - reach; };
        int32_t p[4] = {along(64), along(48), along(64), along(48)};
        if (rng() % 8 == 0) p[3] = p[1];  // horizontal
        if (rng() % 8 == 0) p[2] = p[0];  // vertical
        const Color color{int32_t(rng() & 0xFFFFFF), rng() % 2 ? 255 : int32_t(rng() % 256)};
        drawLine(fresh, p[0], p[1], p[2], p[3], &color);
        reference::drawLine(old, p[0], p[1], p[2], p[3], &color);
        ASSERT_TRUE(samePixels(fresh, old)) << "trial " << trial << " (" << p[0] << "," << p[1] << ") (" << p[2]
                                            << "," << p[3] << ") alpha " << color.alpha;
        SDL_FreeSurface(fresh);
        SDL_FreeSurface(old);
    }
}
