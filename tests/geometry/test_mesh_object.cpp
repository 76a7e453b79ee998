#include <gtest/gtest.h>

#include "geometry/mesh_object.h"

namespace {

TEST(MeshObject, StartsEmptyWithOpaqueLitDefaults) {
    MeshObject m;
    EXPECT_EQ(m.name, nullptr);
    EXPECT_EQ(m.loadScale, 1.0f);
    EXPECT_EQ(m.shading, 1.0f);
    EXPECT_EQ(m.alpha, 255);
    EXPECT_EQ(m.faces, nullptr);
    EXPECT_EQ(m.faceLight, nullptr);
    EXPECT_EQ(m.faceCount, 0);
    EXPECT_EQ(m.drawCount, 0);
}

TEST(MeshObject, SetPositionOnlyNonZeroKeepsZeroComponents) {
    MeshObject m;
    m.setPosition(1, 2, 3);
    m.setPosition(0, 5, 0, 1);
    EXPECT_EQ(m.position.x, 1.0f);
    EXPECT_EQ(m.position.y, 5.0f);
    EXPECT_EQ(m.position.z, 3.0f);
    m.setPosition(0, 5, 0, 0);
    EXPECT_EQ(m.position.x, 0.0f);
    EXPECT_EQ(m.position.y, 5.0f);
    EXPECT_EQ(m.position.z, 0.0f);
}

TEST(MeshObject, RotationIsSetAndAccumulated) {
    MeshObject m;
    m.setRotation(0.5f, 1.0f, -1.0f);
    m.rotateBy(0.25f, -1.0f, 2.0f);
    EXPECT_EQ(m.rotation.x, 0.75f);
    EXPECT_EQ(m.rotation.y, 0.0f);
    EXPECT_EQ(m.rotation.z, 1.0f);
}

TEST(MeshObject, FaceArraysAreAllocatedColouredAndReleasedTogether) {
    MeshObject m;
    m.faceCount = 3;
    m.drawCount = 3;
    m.allocateFaces();
    ASSERT_NE(m.faces, nullptr);
    ASSERT_NE(m.faceLight, nullptr);
    m.faces[1].b.position = Vector3(1, 0, 0);
    m.faces[1].c.position = Vector3(0, 1, 0);
    m.faces[1].index = 9;
    m.computeNormals();
    EXPECT_EQ(m.faces[1].normal.z, -1.0f);  // A at the origin: (B - C) x (A - C)
    EXPECT_EQ(m.faces[1].index, 0);
    m.setAllFaceColors(0x123456);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(m.faces[i].color, 0x123456u);
    m.releaseFaces();
    EXPECT_EQ(m.faces, nullptr);
    EXPECT_EQ(m.faceLight, nullptr);
    EXPECT_EQ(m.faceCount, 0);
    EXPECT_EQ(m.drawCount, 0);
    m.releaseFaces();  // twice is harmless
}

TEST(MeshObject, NameIsAnOwnedCopy) {
    char text[] = "teddy";
    MeshObject m;
    m.setName(text);
    text[0] = 'b';
    EXPECT_STREQ(m.name, "teddy");
    m.setName(nullptr);
    EXPECT_EQ(m.name, nullptr);
}

}  // namespace
