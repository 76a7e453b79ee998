// The render pipeline end to end on an 800x600 frame: projection, culling,
// the range guard, lighting, drawCount, depth order, glyph mode, the normals
// overlay and the flares. Faces are built on the projection plane z = 10
// where one unit is one pixel, so screen positions can be stated directly.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "geometry/mesh_object.h"
#include "render/camera.h"
#include "render/effects.h"
#include "render/font.h"
#include "support/sdl_test.h"

using testsupport::makeSurface;
using testsupport::pixelAt;
using testsupport::setPixelAt;
using testsupport::SurfaceGuard;

namespace {

constexpr float kPlane = 10.0f;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

using Triangle = std::array<Vector3, 3>;

// The object-space point that lands on screen pixel (sx, sy) of an 800x600
// target when it lies on the projection plane.
Vector3 onPlane(float sx, float sy) { return Vector3(sx - 400, 300 - sy, kPlane); }

// A triangle facing the eye (its corners run counter-clockwise as seen from
// +z, y up), given by three screen positions on the plane.
Triangle facingEye(float ax, float ay, float bx, float by, float cx, float cy) {
    Triangle t{onPlane(ax, ay), onPlane(bx, by), onPlane(cx, cy)};
    const float cross = (t[1].x - t[2].x) * (t[0].y - t[2].y) - (t[0].x - t[2].x) * (t[1].y - t[2].y);
    if (cross > 0) std::swap(t[1], t[2]);
    return t;
}

// A MeshObject holding the given triangles, normals computed as the loader does.
struct Model {
    MeshObject object;
    explicit Model(const std::vector<Triangle>& triangles, uint32_t color = 0x808080) {
        object.faceCount = int32_t(triangles.size());
        object.allocateFaces();
        for (size_t i = 0; i < triangles.size(); ++i) {
            object.faces[i].a.position = triangles[i][0];
            object.faces[i].b.position = triangles[i][1];
            object.faces[i].c.position = triangles[i][2];
            object.faces[i].color = color;
        }
        object.computeNormals();
        object.drawCount = object.faceCount;
        object.color = color;
        object.shading = 0;  // exact colours unless a test turns the light on
    }
};

struct Frame {
    SurfaceGuard surface{makeSurface(800, 600)};
    Camera camera;
    Frame() { camera.init(45, kPlane, surface); }
    uint32_t at(int x, int y) const { return pixelAt(surface, x, y); }
};

int channel(uint32_t pixel, int shift) { return int((pixel >> shift) & 0xFF); }

}  // namespace

// ---------------------------------------------------------------- projection

TEST(CameraProjection, EyeDistanceForFortyFiveDegreesOnEightHundredPixels) {
    Frame f;
    EXPECT_NEAR(f.camera.eyeDistance, 976.23, 0.01);
    SurfaceGuard narrow(makeSurface(400, 300));
    Camera c;
    c.init(90, 10.0f, narrow);
    EXPECT_NEAR(c.eyeDistance, 210.16, 0.01);  // 10 + 200 / tan(0.785)
}

// Glyph mode puts the marker's top-left corner exactly at vertex A's screen
// point, which makes projected positions readable pixel by pixel.
TEST(CameraProjection, PlanePointsMapToThemselvesAndDeeperOnesShrinkTowardTheCentre) {
    Frame f;
    f.camera.renderMode = 1;
    Model plane({facingEye(250, 120, 270, 120, 250, 140)}, 0xFFFFFF);
    f.camera.render(&plane.object);
    EXPECT_EQ(f.at(250, 120), 0xFFFFFFu);  // glyph 55 row 0 starts at its left column
    EXPECT_EQ(f.at(249, 120), 0u);
    EXPECT_EQ(f.at(250, 119), 0u);

    // z = 0 scales by (eye - plane) / eye about the centre.
    Frame g;
    g.camera.renderMode = 1;
    Model deep({{Vector3(-300, 200, 0), Vector3(-300, 180, 0), Vector3(-280, 200, 0)}}, 0xFFFFFF);
    g.camera.render(&deep.object);
    const double m = (g.camera.eyeDistance - kPlane) / g.camera.eyeDistance;
    const int sx = int(-300 * m + 400), sy = int(300 - 200 * m);
    EXPECT_EQ(g.at(sx, sy), 0xFFFFFFu);
    EXPECT_EQ(g.at(sx - 1, sy), 0u);
    EXPECT_EQ(g.at(sx, sy - 1), 0u);
}

TEST(CameraProjection, RotationTurnsAboutZThenMovesByPosition) {
    Frame f;
    f.camera.renderMode = 1;
    // A = (100, 0, 10) turned by pi/2 about z is (0, 100, 10); moved by
    // (50.5, -20.5, 0) it lands at screen (450.5, 220.5).
    Model m({{Vector3(100, 0, kPlane), Vector3(100, 10, kPlane), Vector3(90, 0, kPlane)}}, 0xFFFFFF);
    m.object.rotation = Vector3(0, 0, float(M_PI / 2));
    m.object.position = Vector3(50.5f, -20.5f, 0);
    f.camera.render(&m.object);
    EXPECT_EQ(f.at(450, 220), 0xFFFFFFu);
    EXPECT_EQ(f.at(449, 220), 0u);
    EXPECT_EQ(f.at(450, 219), 0u);
    EXPECT_EQ(m.object.faces[0].a.position.x, 100.0f) << "the model itself must not move";
}

// ------------------------------------------------------- culling and guards

TEST(CameraCulling, FacesTowardTheEyeAreFilledFacesAwayAreNot) {
    Frame f;
    Triangle front = facingEye(300, 300, 400, 300, 300, 200);
    Model toward({front}, 0xFFFFFF);
    f.camera.render(&toward.object);
    EXPECT_EQ(f.at(320, 280), 0xFFFFFFu);

    Frame g;
    Model away({{front[0], front[2], front[1]}}, 0xFFFFFF);
    g.camera.render(&away.object);
    EXPECT_EQ(g.at(320, 280), 0u);
}

TEST(CameraCulling, RangeGuardDropsFacesOffScreenOrTooLargeButKeepsPartlyVisibleOnes) {
    // Covers the whole screen with all three corners off it.
    Frame f;
    Model covering({facingEye(-500, -500, 1500, -500, 400, 1500)}, 0xFFFFFF);
    f.camera.render(&covering.object);
    EXPECT_EQ(f.at(400, 300), 0u);

    // Two corners on screen, one beyond 2048.
    Frame g;
    Model huge({facingEye(100, 100, 200, 100, 3000, 400)}, 0xFFFFFF);
    g.camera.render(&huge.object);
    EXPECT_EQ(g.at(190, 104), 0u);

    // One corner on screen, the others off it but within range: drawn.
    Frame h;
    Model partial({facingEye(100, 100, -1000, 100, 100, 2000)}, 0xFFFFFF);
    h.camera.render(&partial.object);
    EXPECT_EQ(h.at(90, 110), 0xFFFFFFu);
}

TEST(CameraCulling, TheTargetAndRangeTestsAtTheirEdges) {
    // A face is kept when a corner truncates onto the target and every corner
    // lies within 2048 of the origin of the screen.
    struct Row {
        float ax, ay, bx;
        int32_t kept;
    } const rows[] = {{-0.5f, 10, -1500, 1},  {-1.0f, 10, -1500, 0},  {799.9f, 10, -1500, 1},
                      {800.0f, 10, -1500, 0}, {10, -0.9f, -1500, 1},  {10, 599.5f, -1500, 1},
                      {10, 600.0f, -1500, 0}, {100, 100, -2048, 1},   {100, 100, -2048.5f, 0}};
    for (const Row& r : rows) {
        Frame f;
        Model m({facingEye(r.ax, r.ay, r.bx, 20, -1000, 590)});
        EXPECT_EQ(f.camera.transformAndSort(&m.object), r.kept) << r.ax << "," << r.ay << " with " << r.bx;
    }
}

TEST(CameraCulling, FacesAtOrBehindTheEyeAndNotANumberCornersDrawNothing) {
    Frame f;
    const float eye = f.camera.eyeDistance;
    Model atEye({{Vector3(0, 0, eye), Vector3(10, 0, eye), Vector3(0, 10, eye)},
                 {Vector3(0, 0, eye + 5), Vector3(500, 0, eye + 5), Vector3(0, 500, eye + 5)},
                 {Vector3(kNaN, 0, 10), Vector3(10, 0, 10), Vector3(0, 10, 10)}},
                0xFFFFFF);
    f.camera.render(&atEye.object);
    for (int y = 0; y < 600; y += 7)
        for (int x = 0; x < 800; x += 7) ASSERT_EQ(f.at(x, y), 0u) << x << "," << y;
}

// ------------------------------------------------------------------ lighting

namespace {

// A face whose normal, (-s^2, -s^2, -s^2), points along the default light.
// With s = 100 its screen centroid is about (433, 267).
Triangle squarelyLit(float s = 100) { return {Vector3(s, 0, 0), Vector3(0, s, 0), Vector3(0, 0, s)}; }

uint32_t litColour(uint32_t color, float shading, Vector3 light = Vector3(-1, -1, -1)) {
    Frame f;
    f.camera.lightDirection = light;
    Model m({squarelyLit()}, color);
    m.object.shading = shading;
    f.camera.render(&m.object);
    return f.at(433, 267);
}

void expectRgb(uint32_t pixel, double r, double g, double b) {
    EXPECT_NEAR(channel(pixel, 16), r, 1.0);
    EXPECT_NEAR(channel(pixel, 8), g, 1.0);
    EXPECT_NEAR(channel(pixel, 0), b, 1.0);
}

}  // namespace

TEST(CameraLighting, SquarelyLitAddsTheLightTurnedAwayKeepsAmbientOnly) {
    expectRgb(litColour(0x643200, 1.0f), 0.3 * 100 + 178.5, 0.3 * 50 + 178.5, 178.5);
    expectRgb(litColour(0x643200, 1.0f, Vector3(1, 1, 1)), 30, 15, 0);
    // Half the shading halves the light's share; bright faces clamp at 255.
    expectRgb(litColour(0x643200, 0.5f), 30 + 89.25, 15 + 89.25, 89.25);
    expectRgb(litColour(0xFFFFFF, 2.0f), 255, 255, 255);
}

TEST(CameraLighting, ShadingZeroKeepsTheExactColourAndNaNLightCountsAsFacingAway) {
    EXPECT_EQ(litColour(0x643219, 0.0f), 0x643219u);
    EXPECT_EQ(litColour(0x643219, -1.0f), 0x643219u);
    expectRgb(litColour(0x643200, 1.0f, Vector3(kNaN, -1, -1)), 30, 15, 0);
}

TEST(CameraLighting, DegenerateFaceIsLitByAmbientOnly) {
    // A zero-area face fills nothing, but glyph mode still marks it in its colour.
    Frame f;
    f.camera.renderMode = 1;
    Model flat({{Vector3(0, 0, 0), Vector3(50, 0, 0), Vector3(100, 0, 0)}}, 0x643200);
    flat.object.shading = 1.0f;
    f.camera.render(&flat.object);
    EXPECT_TRUE(std::isnan(flat.object.faceLight[0]));
    expectRgb(f.at(400, 300), 30, 15, 0);
}

TEST(CameraLighting, PerFaceColourAndObjectAlpha) {
    Frame f;
    Model m({facingEye(100, 100, 200, 100, 100, 200)}, 0x0000FF);
    m.object.faces[0].color = 0x00FF00;
    m.object.perFaceColor = 1;
    f.camera.render(&m.object);
    EXPECT_EQ(f.at(120, 120), 0x00FF00u);

    m.object.perFaceColor = 0;
    m.object.alpha = 128;
    f.camera.render(&m.object);  // blue at 128 over green
    EXPECT_EQ(f.at(120, 120), 0x007F80u);
}

// ------------------------------------------------------- drawCount and order

TEST(CameraDrawCount, OnlyTheFirstDrawCountFacesAreDrawn) {
    Frame f;
    Model m({facingEye(100, 100, 200, 100, 100, 200), facingEye(500, 100, 600, 100, 500, 200)}, 0xFFFFFF);
    m.object.drawCount = 0;
    f.camera.render(&m.object);
    EXPECT_EQ(f.at(120, 120), 0u);
    m.object.drawCount = 1;
    f.camera.render(&m.object);
    EXPECT_EQ(f.at(120, 120), 0xFFFFFFu);
    EXPECT_EQ(f.at(520, 120), 0u);
    // A count beyond the arrays draws what there is and reads nothing past them.
    m.object.drawCount = 5;
    f.camera.render(&m.object);
    EXPECT_EQ(f.at(520, 120), 0xFFFFFFu);
}

TEST(CameraDepthOrder, NearerFacesCoverFartherOnesOnlyWhenSorting) {
    // Same screen footprint: the far face is larger in space, listed last.
    const float eye = 976.2321f;
    auto at = [&](float z, float sx, float sy) {
        const float s = (eye - z) / (eye - kPlane);
        return Vector3((sx - 400) * s, (300 - sy) * s, z);
    };
    Triangle nearT{at(100, 300, 300), at(100, 400, 300), at(100, 300, 200)};
    Triangle farT{at(-300, 300, 300), at(-300, 400, 300), at(-300, 300, 200)};
    Model m({nearT, farT});
    m.object.faces[0].color = 0xFF0000;
    m.object.faces[1].color = 0x0000FF;
    m.object.perFaceColor = 1;

    Frame f;
    f.camera.render(&m.object);
    EXPECT_EQ(f.at(320, 280), 0xFF0000u);

    Frame g;
    g.camera.depthSort = 0;
    g.camera.render(&m.object);
    EXPECT_EQ(g.at(320, 280), 0x0000FFu);
}

// Many faces stacked over one pixel: what shows is the face with the largest
// whole z (farthest first), the last of them in model order on a tie. Both
// a compact range of depths and a huge one (far faces scaled up to keep the
// same footprint) are ordered by the same rule.
TEST(CameraDepthOrder, StackedFacesShowTheNearestWholeDepthLastInModelOrderOnTies) {
    const float eye = 976.2321f;
    for (float spread : {300.0f, 4.0e6f}) {
        std::vector<Triangle> stack;
        std::vector<float> depth;
        uint32_t seed = 12345;
        for (int i = 0; i < 400; ++i) {
            seed = seed * 1103515245u + 12345u;
            // Whole parts collide often: keys repeat and fractions differ.
            float z = 900.0f - float((seed >> 8) % 64) * (spread / 64.0f) + float(i % 3) * 0.3f;
            const float s = (eye - z) / (eye - kPlane);
            auto at = [&](float sx, float sy) { return Vector3((sx - 400) * s, (300 - sy) * s, z); };
            stack.push_back({at(300, 300), at(420, 300), at(300, 180)});
            depth.push_back(z);
        }
        Model m(stack);
        int best = 0;
        for (int i = 0; i < 400; ++i) {
            m.object.faces[i].color = uint32_t(i + 1);
            if (int(depth[i]) >= int(depth[best])) best = i;
        }
        m.object.perFaceColor = 1;
        Frame f;
        f.camera.render(&m.object);
        EXPECT_EQ(f.at(320, 280), uint32_t(best + 1)) << "spread " << spread;
    }
}

// ---------------------------------------------------------------- overlays

TEST(CameraGlyphMode, MarksEachVisibleFaceWithGlyph55InsteadOfFilling) {
    Frame f;
    f.camera.renderMode = 1;
    f.camera.showNormals = 1;
    Triangle t = facingEye(200, 200, 300, 200, 200, 300);
    Model m({t}, 0x00FF00);
    f.camera.render(&m.object);
    const int ax = int(t[0].x + 400), ay = int(300 - t[0].y);
    const unsigned char* seven = builtinFonts[0].data + 55 * 8;
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c)
            EXPECT_EQ(f.at(ax + c, ay + r), (seven[r] & (0x80 >> c)) ? 0x00FF00u : 0u) << r << "," << c;
    EXPECT_EQ(f.at(230, 230), 0u) << "glyph mode fills nothing";
    int lit = 0;
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x) lit += f.at(x, y) != 0;
    int bits = 0;
    for (int r = 0; r < 8; ++r) bits += __builtin_popcount(seven[r]);
    EXPECT_EQ(lit, bits) << "and draws no normal line";
}

TEST(CameraNormals, EachDrawnFaceGetsATranslucentLineTowardItsNormalTip) {
    // A small squarely lit face at screen (400 .. 410, 290 .. 300): A lands at
    // (409, 300) and the tip of its normal (-100, -100, -100) near (319, 389),
    // so the line crosses column 380 once, below the face.
    auto lineColumn = [](uint32_t normalColor) {
        Frame f;
        f.camera.showNormals = 1;
        f.camera.normalColor = normalColor;
        Model m({squarelyLit(10)}, 0x000000);
        f.camera.render(&m.object);
        std::vector<uint32_t> found;
        for (int y = 310; y < 370; ++y)
            if (f.at(380, y)) found.push_back(f.at(380, y));
        return found;
    };
    std::vector<uint32_t> red = lineColumn(0xFF0000);
    ASSERT_EQ(red.size(), 1u);
    EXPECT_EQ(red[0], 0x400000u);  // alpha 64 over black
    for (int i = 0; i < 5; ++i) {
        std::vector<uint32_t> any = lineColumn(0);
        ASSERT_EQ(any.size(), 1u);
        EXPECT_TRUE(any[0] == 0x400000u || any[0] == 0x000040u || any[0] == 0x404000u) << std::hex << any[0];
    }
}

TEST(CameraFlares, GlowOnlyWhereNoFaceChangedThePixel) {
    Frame f;
    f.camera.flares = 1;
    FlarePoint* covered = f.camera.addFlarePoint(120, 120);
    FlarePoint* open = f.camera.addFlarePoint(600, 400);
    Model m({facingEye(100, 100, 200, 100, 100, 200)}, 0xFFFFFF);
    f.camera.render(&m.object);
    EXPECT_EQ(covered->saved, 0u);
    EXPECT_EQ(f.at(120, 160), 0xFFFFFFu);
    EXPECT_EQ(f.at(90, 120), 0u) << "no glow around the covered point";
    EXPECT_EQ(f.at(600, 400), 0xFFFFFFu) << "full glow at the open point";
    EXPECT_GT(channel(f.at(620, 400), 0), 100);
    EXPECT_EQ(f.at(600 + 127, 400), 0u) << "the glow fades out at its rim";
    (void)open;
}

TEST(CameraFlares, APixelAlreadyInTheFacesColourCountsAsUncovered) {
    Frame f;
    f.camera.flares = 1;
    f.camera.addFlarePoint(120, 120);
    setPixelAt(f.surface, 120, 120, 0x0000FF);
    Model m({facingEye(100, 100, 200, 100, 100, 200)}, 0x0000FF);
    f.camera.render(&m.object);
    EXPECT_GT(channel(f.at(90, 120), 16), 60) << "the glow shows beside the face";

    // Without the switch nothing is snapshotted or drawn.
    Frame g;
    FlarePoint* p = g.camera.addFlarePoint(600, 400);
    p->saved = 0x123456;
    g.camera.render(&m.object);
    EXPECT_EQ(p->saved, 0x123456u);
    EXPECT_EQ(g.at(600, 400), 0u);
}

TEST(CameraFlares, FlaresRunWithoutAnObjectAndASecondInitKeepsOneSprite) {
    Frame f;
    f.camera.init(45, kPlane, f.surface);  // the first glow must be freed (leak check)
    f.camera.flares = 1;
    f.camera.addFlarePoint(400, 300);
    f.camera.render(nullptr);
    EXPECT_EQ(f.at(400, 300), 0xFFFFFFu);
    MeshObject empty;
    Frame g;
    g.camera.flares = 1;
    g.camera.addFlarePoint(400, 300);
    g.camera.render(&empty);
    EXPECT_EQ(g.at(400, 300), 0xFFFFFFu);
}
