#include <gtest/gtest.h>

#include <cmath>

#include "geometry/mesh_object.h"
#include "geometry/vector3.h"

namespace {

constexpr float kHalfPi = 1.5707963f;

void expectNear(const Vector3& v, float x, float y, float z, float eps = 1e-5f) {
    EXPECT_NEAR(v.x, x, eps);
    EXPECT_NEAR(v.y, y, eps);
    EXPECT_NEAR(v.z, z, eps);
}

Face faceOf(Vector3 a, Vector3 b, Vector3 c) {
    Face f{};
    f.a.position = a;
    f.b.position = b;
    f.c.position = c;
    return f;
}

TEST(Vector3, RotationByZeroAnglesKeepsTheVector) {
    Vector3 v(1.5f, -2.25f, 3.0f);
    v.rotate(0.0f, 0.0f, 0.0f);
    expectNear(v, 1.5f, -2.25f, 3.0f, 0.0f);
    v.rotate(0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 1.0f);
    expectNear(v, 1.5f, -2.25f, 3.0f, 0.0f);
}

TEST(Vector3, QuarterTurnsAboutSingleAxes) {
    expectNear(Vector3(1, 0, 0).rotate(0, 0, kHalfPi), 0, 1, 0);  // about z
    expectNear(Vector3(0, 1, 0).rotate(kHalfPi, 0, 0), 0, 0, 1);  // about x
    expectNear(Vector3(0, 0, 1).rotate(0, kHalfPi, 0), 1, 0, 0);  // about y
}

TEST(Vector3, CombinedAnglesApplyZThenYThenX) {
    // z maps x to y; y leaves y alone; x then maps y to z. Any other order
    // sends (1, 0, 0) somewhere else.
    expectNear(Vector3(1, 0, 0).rotate(kHalfPi, kHalfPi, kHalfPi), 0, 0, 1);
    // z: (0,1,0) -> (-1,0,0); y: (-1,0,0) -> (0,0,1); x: (0,0,1) -> (0,-1,0).
    expectNear(Vector3(0, 1, 0).rotate(kHalfPi, kHalfPi, kHalfPi), 0, -1, 0);
}

TEST(Vector3, PrecomputedFormMatchesAngleForm) {
    float ax = 0.3f, ay = -1.1f, az = 2.5f;
    Vector3 a(3, -4, 5), b(3, -4, 5);
    a.rotate(ax, ay, az);
    b.rotate(std::sin(ax), std::cos(ax), std::sin(ay), std::cos(ay), std::sin(az), std::cos(az));
    expectNear(a, b.x, b.y, b.z, 0.0f);
}

TEST(Vector3, TruncatedRotationCutsTowardZero) {
    Vector3 v(2.7f, -2.7f, 0.9f);
    v.rotateTruncated(0, 1, 0, 1, 0, 1);
    expectNear(v, 2, -2, 0, 0.0f);
}

TEST(Vector3, TruncatedRotationCutsEachIntermediateStep) {
    // 30 degrees about z, then 30 about x. From (11.8, 0, 0) the z step gives
    // y1 = 5.9, cut to 5 before the x step uses it: y ends at trunc(5 cos 30)
    // = 4, where truncating only the exact result would give trunc(5.11) = 5.
    float s30 = 0.5f, c30 = std::sqrt(3.0f) / 2.0f;
    Vector3 v(11.8f, 0, 0);
    v.rotateTruncated(s30, c30, 0, 1, s30, c30);
    expectNear(v, 10, 4, 2, 0.0f);
    Vector3 exact(11.8f, 0, 0);
    exact.rotate(s30, c30, 0, 1, s30, c30);
    EXPECT_EQ(std::trunc(exact.y), 5.0f);
}

TEST(Vector3, ScaleIsComponentWise) {
    expectNear(Vector3(1, 1, 1).scale(2, 3, 4), 2, 3, 4, 0.0f);
    expectNear(Vector3(1, 2, 3).add(1, -2, 0.5f), 2, 0, 3.5f, 0.0f);
}

TEST(FaceOperations, NormalPointsToTheClockwiseSide) {
    Face f = faceOf({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    computeNormal(f);
    expectNear(f.normal, 0, 0, -1, 0.0f);
    Face g = faceOf({0, 0, 0}, {0, 1, 0}, {1, 0, 0});
    computeNormal(g);
    expectNear(g.normal, 0, 0, 1, 0.0f);
    // Unnormalised: twice the area.
    Face big = faceOf({0, 0, 0}, {4, 0, 0}, {0, 3, 0});
    computeNormal(big);
    expectNear(big.normal, 0, 0, -12, 0.0f);
}

TEST(FaceOperations, TranslateScaleRotateMoveAllCornersButNotTheNormal) {
    Face f = faceOf({1, 0, 0}, {0, 1, 0}, {0, 0, 1});
    f.normal = Vector3(7, 8, 9);
    translateFace(scaleFace(f, 2, 3, 4), 1, 1, 1);
    expectNear(f.a.position, 3, 1, 1, 0.0f);
    expectNear(f.b.position, 1, 4, 1, 0.0f);
    expectNear(f.c.position, 1, 1, 5, 0.0f);
    rotateFace(f, 0, 1, 0, 1, 1, 0);  // a quarter turn about z
    expectNear(f.a.position, -1, 3, 1);
    expectNear(f.b.position, -4, 1, 1);
    expectNear(f.c.position, -1, 1, 5);
    expectNear(f.normal, 7, 8, 9, 0.0f);
}

}  // namespace
