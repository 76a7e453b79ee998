// The golden frames: every 3D step of the running order plays a few frames on
// a virtual clock with a fixed seed, and the hash of each chosen frame must
// match the table committed for this architecture (x86-64 and i386 may round
// differently). Any changed pixel fails it; speed work must leave it alone.
//
// After a deliberate change of models, pictures or effects, the table is
// rewritten for the architecture the test runs on by
//     VORNA_GOLDEN_UPDATE=1 build/PRESET/tests/golden/test_golden
// (once with the native preset, once with the i386 preset), and the diff of
// golden_frames.txt goes into the commit that changed the pictures.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "framework/engine.h"
#include "music/audio_device.h"
#include "scenes/timeline.h"
#include "support/scene_world.h"

namespace {

using namespace sceneworld;

#if defined(__x86_64__)
const char* const kArchitecture = "x86-64";
#elif defined(__i386__)
const char* const kArchitecture = "i386";
#else
const char* const kArchitecture = "other";
#endif

// Presented frames of each step whose hash is kept; the step ends after the last.
const int kHashedFrames[] = {1, 4, 9};
constexpr int kLastFrame = 9;
constexpr int kFrameMs = 40;  // the virtual clock moves 25 frames a second

// FNV-1a over the visible bytes of every row (the pitch may hold padding).
uint64_t hashScreen(const SDL_Surface* s) {
    uint64_t h = 1469598103934665603ull;
    const int rowBytes = s->w * s->format->BytesPerPixel;
    for (int y = 0; y < s->h; ++y) {
        const uint8_t* p = static_cast<const uint8_t*>(s->pixels) + y * s->pitch;
        for (int x = 0; x < rowBytes; ++x) h = (h ^ p[x]) * 1099511628211ull;
    }
    return h;
}

// Filled by the present hook: the hash of every presented frame of the running step.
std::vector<uint64_t> presented;
void hashPresented(SDL_Surface* screen) { presented.push_back(hashScreen(screen)); }

using Key = std::pair<int, int>;  // step, frame

// The lines "ARCH STEP FRAME HASH" of the table for this architecture.
std::map<Key, uint64_t> readTable(std::vector<std::string>* otherLines) {
    std::map<Key, uint64_t> table;
    std::ifstream in(VORNA_GOLDEN_TABLE);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string arch, hash;
        int step = 0, frame = 0;
        if (line.empty() || line[0] == '#' || !(fields >> arch >> step >> frame >> hash) || arch != kArchitecture) {
            otherLines->push_back(line);
            continue;
        }
        table[{step, frame}] = std::strtoull(hash.c_str(), nullptr, 16);
    }
    return table;
}

void writeTable(const std::vector<std::string>& otherLines, const std::map<Key, uint64_t>& ours) {
    std::ofstream out(VORNA_GOLDEN_TABLE, std::ios::trunc);
    for (const std::string& line : otherLines) out << line << '\n';
    for (const auto& [key, hash] : ours) {
        char text[80];
        std::snprintf(text, sizeof text, "%s %d %d %016" PRIx64, kArchitecture, key.first, key.second, hash);
        out << text << '\n';
    }
}

struct GoldenFrames : ::testing::Test {
    void SetUp() override {
        OutsideWorld w = world();
        w.seedFixed = true;
        w.seed = 1;
        w.present = hashPresented;
        install(w);
    }
    void TearDown() override { uninstall(); }
};

}  // namespace

TEST_F(GoldenFrames, EveryThreeDStepDrawsTheCommittedFrames) {
    Production production;
    production.playbackThread = false;  // no second thread: the rows come from the clock below
    testing::internal::CaptureStdout();
    ASSERT_EQ(production.start(0, nullptr), 0);
    testing::internal::GetCapturedStdout();
    srand(1);

    // The row follows the virtual clock at 125 BPM, speed 6 (120 ms a row).
    onFrame = [](int f) {
        advance(kFrameMs);
        if (f + 1 == kLastFrame - 1) pushKeyUp(SDLK_SPACE);  // the frame after ends the step
        return int32_t((int64_t(f) * kFrameMs / 120) % 64);
    };
    std::map<Key, uint64_t> drawn;
    for (int step = 1; step <= kSceneCount; ++step) {
        if (!is3DStep(step)) continue;  // every 3D step of the running order, and only those
        frame = 0;
        presented.clear();
        production.runStep(step);
        ASSERT_GE(presented.size(), size_t(kLastFrame)) << "step " << step << " ended early";
        for (int f : kHashedFrames) drawn[{step, f}] = presented[size_t(f - 1)];
    }
    production.shutdown(true);

    std::vector<std::string> otherLines;
    const std::map<Key, uint64_t> table = readTable(&otherLines);
    if (std::getenv("VORNA_GOLDEN_UPDATE")) {
        writeTable(otherLines, drawn);
        std::printf("golden frames for %s written to %s\n", kArchitecture, VORNA_GOLDEN_TABLE);
        return;
    }
    ASSERT_FALSE(table.empty()) << "no golden frames for " << kArchitecture << " in " << VORNA_GOLDEN_TABLE;
    for (const auto& [key, hash] : drawn) {
        const auto it = table.find(key);
        ASSERT_NE(it, table.end()) << "step " << key.first << " frame " << key.second << " has no golden hash";
        EXPECT_EQ(it->second, hash) << std::hex << "step " << std::dec << key.first << " frame " << key.second
                                    << " drew other pixels than the committed frame";
    }
    for (const auto& [key, hash] : table)
        EXPECT_TRUE(drawn.count(key)) << "step " << key.first << " frame " << key.second
                                      << " has a golden hash but is not a 3D step of the running order";
}
