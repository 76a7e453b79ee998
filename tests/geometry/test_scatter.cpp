#include "geometry/scatter_effect.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "support/reference_scatter.h"
#include "support/sdl_test.h"

namespace {

// An object of n faces with distinct corners; the spare words hold a NaN
// pattern that nothing may change.
MeshObject* makeObject(int n) {
    MeshObject* m = new MeshObject;
    m->faceCount = m->drawCount = n;
    m->allocateFaces();
    const float nan = std::bit_cast<float>(0x7FC0BEEFu);
    for (int i = 0; i < n; ++i) {
        Face& f = m->faces[i];
        f.a.position.set(float(i), float(i % 7) - 3.0f, 0.5f * float(i));
        f.b.position.set(float(i) + 1.0f, -float(i % 5), 2.0f);
        f.c.position.set(-float(i), 4.0f, float(i % 3) * 0.25f);
        f.a.spare = f.b.spare = f.c.spare = nan;
        f.normal.set(1.0f, 2.0f, 3.0f);
        f.color = 0x123456u + uint32_t(i);
    }
    return m;
}

std::vector<unsigned char> bytesOf(const Face* faces, int n) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(faces);
    return std::vector<unsigned char>(p, p + sizeof(Face) * size_t(n));
}

class Scatter : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(testsupport::videoSurface(), nullptr);
        object = makeObject(50);
        object->color = 0x00FF00u;
    }
    void TearDown() override { delete object; }
    MeshObject* object = nullptr;
};

}  // namespace

TEST_F(Scatter, UpdateRightAfterConstructionOnlySettles) {
    ScatterEffect e(object);
    EXPECT_EQ(e.settled, 0);
    EXPECT_EQ(e.faces, object->faces);
    const std::vector<unsigned char> before = bytesOf(object->faces, 50);
    e.update();
    EXPECT_EQ(e.settled, 1);
    EXPECT_EQ(bytesOf(object->faces, 50), before);
    EXPECT_EQ(object->color, 0x00FF00u);
}

TEST_F(Scatter, CoordinatesStepHomeAndClampOnTheLastStep) {
    ScatterEffect e(object);
    const float home = object->faces[3].b.position.y;
    object->faces[3].b.position.y = home - 5.0f;
    e.setStep(2.0f);
    const float seen[] = {home - 3.0f, home - 1.0f, home};
    const int settledAfter[] = {0, 0, 1};
    for (int i = 0; i < 3; ++i) {
        e.update();
        EXPECT_EQ(object->faces[3].b.position.y, seen[i]);
        EXPECT_EQ(e.settled, settledAfter[i]);
    }

    e.setStep(0.0f);  // a step of 0 holds a displaced face where it is
    object->faces[0].a.position.z += 3.0f;
    e.update();
    e.update();
    EXPECT_EQ(object->faces[0].a.position.z, e.saved[0].a.position.z + 3.0f);
    EXPECT_EQ(e.settled, 0);
}

TEST_F(Scatter, InitialStepBringsCornerCBackTenTimesFaster) {
    ScatterEffect e(object);
    for (int i = 0; i < 50; ++i) translateFace(object->faces[i], 1.0f, -1.0f, 1.0f);
    e.update();
    const Face& f = object->faces[7];
    const Face& home = e.saved[7];
    EXPECT_EQ(f.c.position.x, home.c.position.x);
    EXPECT_EQ(f.c.position.y, home.c.position.y);
    EXPECT_NEAR(f.a.position.x - home.a.position.x, 0.9f, 1e-4f);
    EXPECT_NEAR(f.b.position.y - home.b.position.y, -0.9f, 1e-4f);
    int updates = 1;
    while (!e.settled && updates < 100) {
        e.update();
        ++updates;
    }
    EXPECT_GE(updates, 10);
    EXPECT_LE(updates, 11);  // 0.1 is not exact in binary: the last step may be a sliver
}

TEST_F(Scatter, MatchesThePlainRuleOnEveryByte) {
    std::srand(7);
    ScatterEffect e(object);
    e.explode();
    std::vector<Face> expected(object->faces, object->faces + 50);
    const float steps[] = {1.6f, 0.1f, 333.3f, 7.0f};
    for (float s : steps) {
        e.step.set(s, s * 0.5f, s * 2.0f);
        for (int round = 0; round < 40; ++round) {
            const int32_t home = reference::scatterReturn(expected.data(), e.saved, 50, e.step);
            e.update();
            ASSERT_EQ(bytesOf(object->faces, 50), bytesOf(expected.data(), 50)) << "step " << s << " round " << round;
            ASSERT_EQ(e.settled, home) << "step " << s << " round " << round;
        }
    }
    EXPECT_EQ(e.settled, 1);
}

TEST_F(Scatter, DisplacementsAreWholeBoundedAndSharedByTheCorners) {
    std::srand(11);
    ScatterEffect e(object);
    e.jitter(1.6f, 1.0f);
    EXPECT_EQ(e.step.x, 1.6f);
    EXPECT_EQ(e.step.z, 1.6f);
    bool moved = false;
    for (int i = 0; i < 50; ++i) {
        const Face& f = object->faces[i];
        const Face& q = e.saved[i];
        const float dx = f.a.position.x - q.a.position.x;
        EXPECT_EQ(dx, float(int(dx)));
        EXPECT_GE(dx, -20.0f);
        EXPECT_LE(dx, 19.0f);
        EXPECT_EQ(f.b.position.x - q.b.position.x, dx);
        EXPECT_EQ(f.c.position.x - q.c.position.x, dx);
        moved = moved || dx != 0.0f;
    }
    EXPECT_TRUE(moved);

    Face face = object->faces[0];
    const Face original = face;
    ScatterEffect::displaceFace(face, 5, 1);  // span 1: always exactly low
    EXPECT_EQ(face.a.position.y, original.a.position.y + 5.0f);
    EXPECT_EQ(face.c.position.z, original.c.position.z + 5.0f);

    // Below 0.025 both spans are below 1 (below 0.1 the near one is): no
    // displacement and no division by zero.
    ScatterEffect calm(object);
    const std::vector<unsigned char> before = bytesOf(object->faces, 50);
    calm.jitter(1.0f, 0.02f);
    calm.jitter(1.0f, -3.0f);
    EXPECT_EQ(bytesOf(object->faces, 50), before);
    calm.jitter(1.0f, 0.05f);  // near span 0, far span 2: only the far faces may move, by -1 or 0
    for (int i = 0; i < 50; ++i) {
        const float d = object->faces[i].a.position.x - calm.saved[i].a.position.x;
        EXPECT_TRUE(d == 0.0f || d == -1.0f) << d;
    }
}

TEST_F(Scatter, StairsRiseFaceByFaceInSinglePrecision) {
    object->rotation.set(1.0f, 2.0f, 3.0f);
    ScatterEffect e(object);
    e.stairs();
    EXPECT_EQ(object->rotation.x, 0.0f);
    EXPECT_EQ(object->rotation.z, 0.0f);
    EXPECT_EQ(e.step.y, 12.0f);
    float rise = 0.0f;
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(object->faces[i].b.position.y, e.saved[i].b.position.y + rise) << i;
        rise += 0.2f;
    }
    e.update();  // one step of 12 brings every face home
    EXPECT_EQ(e.settled, 1);

    ScatterEffect gentle(object);
    gentle.gentleStairs();
    EXPECT_EQ(gentle.step.x, 2.0f);
    EXPECT_EQ(object->faces[2].a.position.y, gentle.saved[2].a.position.y + (0.4f + 0.4f));
}

TEST_F(Scatter, ColourFadesWhiteToBlackIn32Updates) {
    const SDL_PixelFormat* f = testsupport::videoSurface()->format;
    ScatterEffect e(object);
    e.setColor(0xFFFFFFu);
    e.setTargetColor(0x000000u);
    EXPECT_EQ(object->color, 0x00FF00u);  // setColor alone does not touch the object
    e.update();
    EXPECT_EQ(object->color, SDL_MapRGB(const_cast<SDL_PixelFormat*>(f), 247, 247, 247));
    e.update();
    EXPECT_EQ(object->color, SDL_MapRGB(const_cast<SDL_PixelFormat*>(f), 239, 239, 239));
    for (int i = 3; i <= 31; ++i) e.update();
    EXPECT_EQ(object->color, SDL_MapRGB(const_cast<SDL_PixelFormat*>(f), 7, 7, 7));
    e.update();
    EXPECT_EQ(object->color, 0u);
    EXPECT_EQ(e.color, 0u);
    object->color = 0xABCDEFu;
    e.update();  // at the target: the object's colour is left alone
    EXPECT_EQ(object->color, 0xABCDEFu);

    // Channels fade independently and the last step lands exactly.
    e.setColor(SDL_MapRGB(const_cast<SDL_PixelFormat*>(f), 10, 200, 100));
    e.setTargetColor(SDL_MapRGB(const_cast<SDL_PixelFormat*>(f), 14, 190, 100));
    e.update();
    EXPECT_EQ(e.color, SDL_MapRGB(const_cast<SDL_PixelFormat*>(f), 14, 192, 100));
    e.update();
    EXPECT_EQ(e.color, e.targetColor);
}

TEST(ScatterWithoutFaces, OnlyTheColourFades) {
    ASSERT_NE(testsupport::videoSurface(), nullptr);
    MeshObject empty;
    empty.color = 0xFFFFFFu;
    ScatterEffect e(&empty);
    EXPECT_EQ(e.faceCount, 0);
    EXPECT_EQ(e.saved, nullptr);
    e.explode();
    e.jitter(1.0f, 1.0f);
    e.stairs();
    e.setTargetColor(0);
    e.update();
    EXPECT_EQ(e.settled, 1);
    EXPECT_EQ(empty.color, SDL_MapRGB(testsupport::videoSurface()->format, 247, 247, 247));

    ScatterEffect none(nullptr);  // no object at all: nothing to move or colour
    none.explode();
    none.setColor(0xFFFFFFu);
    none.update();
    EXPECT_EQ(none.settled, 1);
}
