#include <gtest/gtest.h>

#include <stdexcept>

#include "geometry/model_library.h"

namespace {

const char* const kTriangle[] = {"SPRINGER", "v 0 0 0", "v 1 0 0", "v 0 1 0", "f 1 2 3", nullptr};
const char* const kSpring[] = {"SPRING", "v 0 0 0", "v 1 0 0", "v 0 1 0", "f 1 2 3", "f 1 3 2", nullptr};
const char* const kEmpty[] = {"empty", "# nothing here", nullptr};
const char* const kBad[] = {"bad", "v 0 0 0", "f 1 2 3", nullptr};

struct LibraryTest : ::testing::Test {
    ModelLibrary library;
    void TearDown() override { destroyLibrary(library); }
};

TEST_F(LibraryTest, FindsTheFirstObjectWhoseNameContainsThePattern) {
    MeshObject* springer = addTableModel(library, kTriangle, 1.0f, nullptr, 0, 0);
    MeshObject* spring = addTableModel(library, kSpring, 1.0f, nullptr, 0, 0);
    EXPECT_EQ(findModel(library, "SPRING"), springer);  // in both names: the first added wins
    EXPECT_EQ(findModel(library, "SPRING")->faceCount, 1);
    EXPECT_EQ(findModel(library, "ER"), springer);
    EXPECT_EQ(findModel(library, ""), springer);
    EXPECT_EQ(findModel(library, "spring"), nullptr);  // case matters
    EXPECT_EQ(findModel(library, nullptr), nullptr);
    EXPECT_EQ(spring->faceCount, 2);
}

TEST_F(LibraryTest, UnnamedAndNullEntriesAreSkipped) {
    library.models.push_back(nullptr);
    library.models.push_back(new MeshObject());
    MeshObject* named = addTableModel(library, kSpring, 1.0f, nullptr, 0, 0);
    EXPECT_EQ(findModel(library, ""), named);
}

TEST_F(LibraryTest, EmptyTablesAreKeptAndBadOnesAreNot) {
    EXPECT_NE(addTableModel(library, kEmpty, 1.0f, nullptr, 0, 0), nullptr);
    EXPECT_THROW(addTableModel(library, kBad, 1.0f, nullptr, 0, 0), std::out_of_range);
    ASSERT_EQ(library.models.size(), 1u);
    EXPECT_EQ(findModel(library, "empty")->faceCount, 0);
    EXPECT_EQ(findModel(library, "bad"), nullptr);
}

TEST_F(LibraryTest, AnUnreadableFileStillGivesAnObject) {
    MeshObject* m = addFileModel(library, "/nonexistent/model.obj", 1.0f, 0);
    ASSERT_EQ(library.models.size(), 1u);
    EXPECT_EQ(findModel(library, "model.obj"), m);
    EXPECT_EQ(m->faceCount, 0);
}

TEST_F(LibraryTest, DestroyEmptiesTheLibrary) {
    addTableModel(library, kSpring, 1.0f, nullptr, 0, 0);
    destroyLibrary(library);
    EXPECT_TRUE(library.models.empty());
    EXPECT_EQ(findModel(library, ""), nullptr);
    destroyLibrary(library);  // and again, harmlessly
}

}  // namespace
