#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "music/module_file.h"
#include "music/xm_loader.h"

namespace {

std::vector<unsigned char> moduleBytes() {
    std::vector<unsigned char> bytes(267325);
    const char* sig = "Extended Module: ";
    std::memcpy(bytes.data(), sig, 17);
    for (size_t i = 17; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 7);
    return bytes;
}

TEST(EmbeddedFile, ReadsSeeksAndTellsWithinItsSize) {
    const std::vector<unsigned char> bytes = moduleBytes();
    ASSERT_EQ(setEmbeddedModule(bytes.data(), bytes.size()), 1);
    void* h = embeddedOpen("ANY NAME");
    ASSERT_NE(h, nullptr);
    char buf[100];
    EXPECT_EQ(embeddedRead(buf, 17, h), 17);
    EXPECT_EQ(std::memcmp(buf, "Extended Module: ", 17), 0);
    EXPECT_EQ(embeddedTell(h), 17);

    embeddedSeek(h, 300000, 0);
    EXPECT_EQ(embeddedRead(buf, 10, h), 0);
    EXPECT_EQ(embeddedTell(h), 267325);

    embeddedSeek(h, -10, 2);
    EXPECT_EQ(embeddedRead(buf, 100, h), 10);
    EXPECT_EQ(std::memcmp(buf, bytes.data() + bytes.size() - 10, 10), 0);
    EXPECT_EQ(embeddedRead(buf, 1, h), 0);

    embeddedSeek(h, 5, 0);
    embeddedSeek(h, -20, 1);
    EXPECT_EQ(embeddedTell(h), 0);
    embeddedSeek(h, 40, 1);
    embeddedSeek(h, 1000, 7);  // unknown whence: unchanged
    EXPECT_EQ(embeddedTell(h), 40);
    embeddedSeek(h, 0x7FFFFFFF, 1);  // no overflow past the end
    EXPECT_EQ(embeddedTell(h), 267325);
    EXPECT_EQ(embeddedRead(buf, -5, h), 0);
    embeddedClose(h);
    setEmbeddedModule(nullptr, 0);
}

TEST(EmbeddedFile, EveryOpenHasItsOwnPosition) {
    const std::vector<unsigned char> bytes = moduleBytes();
    setEmbeddedModule(bytes.data(), bytes.size());
    void* a = embeddedOpen("A");
    void* b = embeddedOpen("B");
    char buf[4];
    embeddedRead(buf, 4, a);
    EXPECT_EQ(embeddedTell(a), 4);
    EXPECT_EQ(embeddedTell(b), 0);
    embeddedClose(a);
    embeddedClose(b);
    setEmbeddedModule(nullptr, 0);
    EXPECT_EQ(embeddedOpen("C"), nullptr);  // nothing to serve
}

int openCalls = 0;
void* failingOpen(const char*) {
    ++openCalls;
    return nullptr;
}

TEST(FileCallbacks, ANullCallbackClearsAllFive) {
    EXPECT_EQ(setFileCallbacks(embeddedOpen, embeddedClose, embeddedRead, embeddedSeek, embeddedTell), 1);
    EXPECT_EQ(haveFileCallbacks(), 1);
    EXPECT_EQ(setFileCallbacks(embeddedOpen, embeddedClose, nullptr, embeddedSeek, embeddedTell), 0);
    EXPECT_EQ(haveFileCallbacks(), 0);
    EXPECT_EQ(openModuleFile("X"), nullptr);
    EXPECT_EQ(loadSong("X", nullptr), nullptr);
    // The wrappers take null files quietly.
    EXPECT_EQ(readModuleFile(nullptr, 1, nullptr), 0);
    EXPECT_EQ(tellModuleFile(nullptr), 0);
    seekModuleFile(nullptr, 0, 0);
    closeModuleFile(nullptr);
}

TEST(FileCallbacks, AFailedOpenGivesNoFileAndNoSong) {
    openCalls = 0;
    setFileCallbacks(failingOpen, embeddedClose, embeddedRead, embeddedSeek, embeddedTell);
    EXPECT_EQ(openModuleFile("X"), nullptr);
    EXPECT_EQ(loadSong("X", nullptr), nullptr);
    EXPECT_EQ(openCalls, 2);
    EXPECT_EQ(freeSong(nullptr), 0);
}

}  // namespace
