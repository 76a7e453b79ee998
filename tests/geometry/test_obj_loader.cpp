#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <climits>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "geometry/mesh_object.h"
#include "geometry/obj_loader.h"
#include "support/sdl_test.h"

namespace {

// A line table: the name, the lines, then null.
struct Table {
    std::vector<std::string> lines;
    std::vector<const char*> entries;
    Table(const char* name, std::initializer_list<const char*> body) {
        lines.push_back(name);
        for (const char* l : body) lines.push_back(l);
        for (const std::string& l : lines) entries.push_back(l.c_str());
        entries.push_back(nullptr);
    }
    const char* const* get() const { return entries.data(); }
};

// The four corners of a unit square and a far fifth point.
const std::initializer_list<const char*> kSquare = {"v 0 0 0", "v 1 0 0", "v 1 1 0", "v 0 1 0"};

// Corner positions of face i as vertex numbers of the square (x + 2y style
// lookup: 0 (0,0), 1 (1,0), 2 (1,1), 3 (0,1)).
int cornerId(const Vector3& p) {
    if (p.x == 0 && p.y == 0) return 0;
    if (p.x == 1 && p.y == 0) return 1;
    if (p.x == 1 && p.y == 1) return 2;
    return 3;
}

std::vector<std::array<int, 3>> corners(const MeshObject& m) {
    std::vector<std::array<int, 3>> out;
    for (int i = 0; i < m.faceCount; ++i) {
        out.push_back({cornerId(m.faces[i].a.position), cornerId(m.faces[i].b.position),
                       cornerId(m.faces[i].c.position)});
    }
    return out;
}

std::vector<std::array<int, 3>> loadFaces(const char* faceLine, int flipQuads) {
    std::vector<const char*> body(kSquare);
    body.push_back(faceLine);
    std::vector<std::string> lines = {"t"};
    for (const char* l : body) lines.push_back(l);
    std::vector<const char*> entries;
    for (auto& l : lines) entries.push_back(l.c_str());
    entries.push_back(nullptr);
    MeshObject m;
    m.loadTable(entries.data(), nullptr, 0, 1.0f, flipQuads);
    EXPECT_EQ(m.faceCount, m.drawCount);
    EXPECT_EQ(static_cast<size_t>(m.faceCount), m.faceIndices.size());
    return corners(m);
}

using Tris = std::vector<std::array<int, 3>>;

TEST(ObjFaces, EachFormSplitsAsTheFileWants) {
    EXPECT_EQ(loadFaces("f 1 2 3", 0), (Tris{{0, 1, 2}}));
    EXPECT_EQ(loadFaces("f 1 2 3", 1), (Tris{{0, 1, 2}}));
    EXPECT_EQ(loadFaces("f 1 2 3 4", 0), (Tris{{0, 1, 2}, {3, 0, 2}}));
    EXPECT_EQ(loadFaces("f 1 2 3 4", 1), (Tris{{0, 3, 2}, {1, 0, 2}}));
    // The form with normals has the opposite sense of the switch.
    EXPECT_EQ(loadFaces("f 1//9 2//9 3//9 4//9", 0), (Tris{{0, 3, 2}, {1, 0, 2}}));
    EXPECT_EQ(loadFaces("f 1//9 2//9 3//9 4//9", 1), (Tris{{0, 1, 2}, {3, 0, 2}}));
    EXPECT_EQ(loadFaces("f 1//9 2//9 3//9", 0), (Tris{{0, 1, 2}}));
    EXPECT_EQ(loadFaces("f 2/1/1 3/2/2 4/3/3", 0), (Tris{{1, 2, 3}}));
    EXPECT_EQ(loadFaces("f 1/1/1 2/2/2 3/3/3 4/4/4", 0), (Tris{{0, 1, 2}}));  // fourth corner dropped
    EXPECT_EQ(loadFaces("f 1 2 3 4 1 2", 0), (Tris{{0, 1, 2}, {3, 0, 2}}));    // first four only
}

TEST(ObjFaces, UnsupportedFormsAndOtherStatementsAreSkipped) {
    EXPECT_TRUE(loadFaces("f 1/1 2/2 3/3", 0).empty());
    EXPECT_TRUE(loadFaces("f 1 2", 0).empty());
    EXPECT_TRUE(loadFaces("fo 1 2 3", 0).empty());
    EXPECT_TRUE(loadFaces("# f 1 2 3", 0).empty());
    EXPECT_TRUE(loadFaces("", 0).empty());
}

TEST(ObjLines, RunsOfSpacesExponentsAndScaleAreRead) {
    Table t("m", {"v  -30.483353   -4.870021    7.624000", "v 5.2573100e-001 -1E+2 0", "v 1 2 3",
                  "vn 9 9 9", "vt 9 9", "f  1 3 2", "f 3 2 1"});
    MeshObject m;
    m.loadTable(t.get(), nullptr, 0, 4.0f, 0);
    ASSERT_EQ(m.vertices.size(), 3u);
    EXPECT_FLOAT_EQ(m.vertices[0]->x, -30.483353f * 4);
    EXPECT_FLOAT_EQ(m.vertices[0]->z, 7.624f * 4);
    EXPECT_FLOAT_EQ(m.vertices[1]->x, 0.525731f * 4);
    EXPECT_FLOAT_EQ(m.vertices[1]->y, -400.0f);
    EXPECT_EQ(m.vertices[2]->x, 4.0f);
    EXPECT_EQ(m.vertices[2]->y, 8.0f);
    EXPECT_EQ(m.vertices[2]->z, 12.0f);
    ASSERT_EQ(m.faceCount, 2);
    EXPECT_EQ(m.faces[0].b.position.z, 12.0f);
    EXPECT_STREQ(m.name, "m");
    EXPECT_EQ(m.loadScale, 4.0f);
}

TEST(ObjLines, ShortVertexLinesGiveZeroCoordinates) {
    Table t("m", {"v 7", "v ", "v 1 2", "v"});  // a bare "v" is no vertex
    MeshObject m;
    m.loadTable(t.get(), nullptr, 0, 1.0f, 0);
    ASSERT_EQ(m.vertices.size(), 3u);
    EXPECT_EQ(m.vertices[0]->x, 7.0f);
    EXPECT_EQ(m.vertices[0]->y, 0.0f);
    EXPECT_EQ(m.vertices[1]->x, 0.0f);
    EXPECT_EQ(m.vertices[2]->y, 2.0f);
    EXPECT_EQ(m.vertices[2]->z, 0.0f);
}

TEST(ObjLines, NumbersThroughTheSlowPathMatchTheFastOne) {
    // Long mantissas and hex go through strtof; plain ones do not.
    Table t("m", {"v 0.1234567890123456789 0x1p3 1.5e-30", "v 0.12345678901 8 1.5e-30"});
    MeshObject m;
    m.loadTable(t.get(), nullptr, 0, 1.0f, 0);
    ASSERT_EQ(m.vertices.size(), 2u);
    EXPECT_FLOAT_EQ(m.vertices[0]->x, m.vertices[1]->x);
    EXPECT_EQ(m.vertices[0]->y, 8.0f);
    EXPECT_FLOAT_EQ(m.vertices[0]->z, 1.5e-30f);
}

TEST(ObjErrors, IndicesOutsideTheVerticesThrowOutOfRange) {
    for (const char* bad : {"f 0 1 2", "f -1 1 2", "f 1 2 5", "f 1//1 2//2 3//3 99//1", "f 1 2 1e30",
                            "f 1 2 nan", "f 1 2 99999999999999999999", "f 1//1 2//1 -2147483648//1"}) {
        Table t("m", {"v 0 0 0", "v 1 0 0", "v 0 1 0", bad});
        MeshObject m;
        EXPECT_THROW(m.loadTable(t.get(), nullptr, 0, 1.0f, 0), std::out_of_range) << bad;
    }
}

TEST(ObjErrors, FractionalIndicesAreTruncated) {
    Table t("m", {"v 0 0 0", "v 1 0 0", "v 0 1 0", "f 1.9 2.5 3.99"});
    MeshObject m;
    m.loadTable(t.get(), nullptr, 0, 1.0f, 0);
    ASSERT_EQ(m.faceCount, 1);
    EXPECT_EQ(m.faces[0].a.position.x, 0.0f);
    EXPECT_EQ(m.faces[0].b.position.x, 1.0f);
    EXPECT_EQ(m.faces[0].c.position.y, 1.0f);
}

TEST(ObjErrors, NullAndEmptyTablesLoadNothing) {
    MeshObject m;
    m.loadTable(nullptr, nullptr, 0, 1.0f, 0);
    EXPECT_EQ(m.faceCount, 0);
    const char* onlyName[] = {"empty", nullptr};
    m.loadTable(onlyName, nullptr, 0, 1.0f, 0);
    EXPECT_STREQ(m.name, "empty");
    EXPECT_EQ(m.faceCount, 0);
    EXPECT_NE(m.faces, nullptr);  // zero-length, but allocated
}

TEST(ObjLoad, ASecondLoadReplacesTheFirst) {
    Table first("a", {"v 0 0 0", "v 1 0 0", "v 0 1 0", "f 1 2 3", "f 3 2 1"});
    Table second("b", {"v 5 0 0", "v 6 0 0", "v 5 1 0", "f 1 2 3"});
    MeshObject m;
    m.loadTable(first.get(), nullptr, 0, 1.0f, 0);
    m.loadTable(second.get(), nullptr, 0, 1.0f, 0);
    EXPECT_STREQ(m.name, "b");
    ASSERT_EQ(m.faceCount, 1);
    EXPECT_EQ(m.vertices.size(), 3u);
    EXPECT_EQ(m.faces[0].a.position.x, 5.0f);
}

// --- Materials ---------------------------------------------------------------

class ObjMaterials : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(testsupport::videoSurface(), nullptr); }
};

const MaterialEntry kTable[] = {
    {"brownskn", 0.8f, 0.6f, 0.6f},
    {"bone1", 1.0f, 1.0f, 1.0f},
    {"greenskn", 0.0f, 1.0f, 0.0f},
};

std::vector<uint32_t> tableColours(std::initializer_list<const char*> body, const MaterialEntry* materials, int count) {
    std::vector<const char*> lines{"v 0 0 0", "v 1 0 0", "v 0 1 0"};
    std::vector<std::string> all = {"m"};
    for (const char* l : lines) all.push_back(l);
    for (const char* l : body) all.push_back(l);
    std::vector<const char*> entries;
    for (auto& l : all) entries.push_back(l.c_str());
    entries.push_back(nullptr);
    MeshObject m;
    m.loadTable(entries.data(), materials, count, 1.0f, 0);
    std::vector<uint32_t> out;
    for (int i = 0; i < m.faceCount; ++i) out.push_back(m.faces[i].color);
    return out;
}

TEST_F(ObjMaterials, ComponentsConvertTruncatedAndWrapped) {
    EXPECT_EQ(materialComponent(0.8f), 204);
    EXPECT_EQ(materialComponent(0.6f), 153);
    EXPECT_EQ(materialComponent(0.7f), 178);
    EXPECT_EQ(materialComponent(1.0f), 255);
    EXPECT_EQ(materialComponent(1.2f), 50);  // 306 keeps its low byte
    EXPECT_EQ(materialComponent(-0.5f), 129);  // -127 as a 16-bit value
    EXPECT_EQ(materialComponent(1e30f), 0);    // far out of range, no overflow
    EXPECT_EQ(materialComponent(std::nanf("")), 0);
}

TEST_F(ObjMaterials, TableEntriesMatchBySubstringOfTheRequest) {
    auto c = tableColours({"mtllib ./x.mtl", "usemtl brownskn", "f 1 2 3", "usemtl bone1x", "f 1 2 3",
                           "usemtl nothing", "f 1 2 3", "usemtl greenskn_leaf", "f 1 2 3 1"},
                          kTable, 3);
    EXPECT_EQ(c, (std::vector<uint32_t>{0xCC9999, 0xFFFFFF, 0xFFFFFF, 0x00FF00, 0x00FF00}));
}

TEST_F(ObjMaterials, AnEmptyEntryNameMatchesEveryRequest) {
    const MaterialEntry withEmpty[] = {{"", 1.0f, 0.0f, 0.0f}, {"bone1", 1.0f, 1.0f, 1.0f}};
    auto c = tableColours({"mtl", "usemtl bone1", "f 1 2 3"}, withEmpty, 2);
    EXPECT_EQ(c, (std::vector<uint32_t>{0xFF0000}));
}

TEST_F(ObjMaterials, WithoutALibraryLineFacesStayColourless) {
    auto c = tableColours({"usemtl bone1", "f 1 2 3"}, kTable, 3);
    EXPECT_EQ(c, (std::vector<uint32_t>{0}));
}

TEST_F(ObjMaterials, ALateLibraryLineStillPairsColoursWithFaces) {
    auto c = tableColours({"f 1 2 3", "usemtl bone1", "f 1 2 3", "mtllib late.mtl"}, kTable, 3);
    EXPECT_EQ(c, (std::vector<uint32_t>{0, 0xFFFFFF}));
}

TEST_F(ObjMaterials, SelectionWithoutATableReportsOncePerLine) {
    testing::internal::CaptureStdout();
    auto c = tableColours({"mtl", "usemtl bone1", "f 1 2 3", "usemtl bone1", "usemtlbone1"}, nullptr, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "mp is null :/\nmp is null :/\n");
    EXPECT_EQ(c, (std::vector<uint32_t>{0}));
}

// Runs a block in a fresh temporary directory with files in it.
class ObjFiles : public ObjMaterials {
protected:
    std::string dir, home;
    void SetUp() override {
        ObjMaterials::SetUp();
        char buf[PATH_MAX];
        ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
        home = buf;
        char tmpl[] = "/tmp/vorna-obj-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ASSERT_EQ(chdir(dir.c_str()), 0);
        ASSERT_EQ(mkdir("obj", 0700), 0);
    }
    void TearDown() override {
        EXPECT_EQ(chdir(home.c_str()), 0);
        std::string cmd = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
    }
    static void write(const char* path, const std::string& text) {
        FILE* f = std::fopen(path, "w");
        ASSERT_NE(f, nullptr);
        std::fputs(text.c_str(), f);
        std::fclose(f);
    }
};

const char* kTriangleObj = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";

TEST_F(ObjFiles, AFileWithItsLibraryLoadsColouredFaces) {
    write("obj/skins.mtl",
          "Ka 0.1 0.1 0.1\nnewmtl darkskin\nKa 0.2 0.0 0.0\nKd 0.9 0.9 0.9\nnewmtl skin\nKa 0.8 0.6 0.6\n"
          "newmtl bone\nKa 1.0 1.0 1.0\n");
    write("model.obj", std::string("# a test model\nmtllib ./skins.mtl\n") + kTriangleObj +
                           "usemtl skin\nf 1 2 3\nusemtl bone\nf 3 2 1\nusemtl none\nf 1 2 3\nusemtl darkskin\nf 1 2 3");
    testing::internal::CaptureStdout();
    MeshObject m("model.obj", 2.0f, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "parsing materials from [obj/skins.mtl]\n");
    EXPECT_STREQ(m.name, "model.obj");
    ASSERT_EQ(m.faceCount, 4);  // the last line has no line end and still counts
    EXPECT_EQ(m.faces[0].color, 0xCC9999u);  // "skin" is in "darkskin" and "skin": the last wins
    EXPECT_EQ(m.faces[1].color, 0xFFFFFFu);
    EXPECT_EQ(m.faces[2].color, 0xFFFFFFu);  // no match keeps the colour
    EXPECT_EQ(m.faces[3].color, 0x330000u);
    EXPECT_EQ(m.faces[1].a.position.y, 2.0f);
}

TEST_F(ObjFiles, AMissingOrEmptyLibraryIsReportedAndLeavesFacesUncoloured) {
    write("obj/empty.mtl", "# nothing\nKa 1 1 1\n");
    write("a.obj", std::string("mtllib missing.mtl\n") + kTriangleObj + "usemtl x\nf 1 2 3\n");
    write("b.obj", std::string("mtllib empty.mtl\n") + kTriangleObj + "f 1 2 3\n");
    for (const char* path : {"a.obj", "b.obj"}) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        MeshObject m(path, 1.0f, 0);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "error parsing materials for object!\n") << path;
        ASSERT_EQ(m.faceCount, 1);
        EXPECT_EQ(m.faces[0].color, 0u);
    }
}

TEST_F(ObjFiles, OneDeclaredMaterialIsEnough) {
    write("obj/one.mtl", "newmtl only\nKa 0 0 1\n");
    write("one.obj", std::string("mtllib one.mtl\n") + kTriangleObj + "usemtl only\nf 1 2 3\n");
    testing::internal::CaptureStdout();
    MeshObject m("one.obj", 1.0f, 0);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(m.faceCount, 1);
    EXPECT_EQ(m.faces[0].color, 0x0000FFu);
}

TEST_F(ObjFiles, LongLinesArriveInPieces) {
    // 300 characters of comment: the tail after 254 is read as its own line,
    // and here it is a vertex statement.
    std::string longLine = "#" + std::string(253, 'x') + "v 5 5 5\n";
    write("long.obj", longLine + kTriangleObj + "f 2 3 4\n");
    MeshObject m("long.obj", 1.0f, 0);
    ASSERT_EQ(m.vertices.size(), 4u);
    EXPECT_EQ(m.vertices[0]->x, 5.0f);
}

TEST_F(ObjFiles, AMissingFileLeavesANamedEmptyObject) {
    MeshObject m("nowhere.obj", 1.0f, 0);
    EXPECT_STREQ(m.name, "nowhere.obj");
    EXPECT_EQ(m.faceCount, 0);
    EXPECT_EQ(m.faces, nullptr);
}

TEST_F(ObjFiles, ABadIndexInAFileThrowsFromTheConstructor) {
    write("bad.obj", std::string(kTriangleObj) + "f 1 2 4\n");
    EXPECT_THROW(MeshObject("bad.obj", 1.0f, 0), std::out_of_range);
}

}  // namespace
