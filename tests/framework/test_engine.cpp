// The engine's start-up line, clocks and present, on SDL's dummy driver with a
// controllable clock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "framework/engine.h"
#include "framework/outside_world.h"

namespace {

timeval fakeNow{1000, 0};
int fakeClock(timeval* tv) {
    *tv = fakeNow;
    return 0;
}

struct EngineTest : ::testing::Test {
    void SetUp() override {
        fakeNow = timeval{1000, 0};
        OutsideWorld world = realWorld();
        world.clock = fakeClock;
        installOutsideWorld(world);
        lastFps = 0;
    }
    void TearDown() override { installOutsideWorld(realWorld()); }
};

}  // namespace

TEST_F(EngineTest, InitPrintsTheStartupLineAndOpensA32BitWindow) {
    Engine engine;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(engine.init(0, nullptr, 800, 600, 0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "engine initializing 800x600x32\n");
    ASSERT_NE(engine.screen, nullptr);
    EXPECT_EQ(engine.screen->w, 800);
    EXPECT_EQ(engine.screen->h, 600);
    EXPECT_EQ(engine.screen->format->BitsPerPixel, 32);
    EXPECT_EQ(engine.screen->flags & SDL_FULLSCREEN, 0u) << "fullscreen 0 asks for flags 0";
    char* title = nullptr;
    char* icon = nullptr;
    SDL_WM_GetCaption(&title, &icon);
    EXPECT_STREQ(title, "^vorna");
    EXPECT_STREQ(icon, "^vorna");
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
}

TEST_F(EngineTest, FramesPerSecondIsSampledOncePerWallClockSecond) {
    Engine engine;
    ASSERT_TRUE(engine.init(0, nullptr, 64, 48, 0));
    for (int i = 0; i < 5; ++i) engine.present();
    fakeNow.tv_usec = 900000;
    EXPECT_EQ(engine.framesPerSecond(), 0) << "same second: the old sample";
    EXPECT_EQ(engine.frames, 5) << "and the count keeps growing";
    fakeNow = timeval{1001, 10};
    EXPECT_EQ(engine.framesPerSecond(), 5);
    EXPECT_EQ(engine.frames, 0);
    engine.present();
    EXPECT_EQ(engine.framesPerSecond(), 5);
    EXPECT_EQ(engine.framesPerSecond(), 5);
    // A long gap without asking: the next sample covers all of it.
    for (int i = 0; i < 7; ++i) engine.present();
    fakeNow = timeval{1009, 0};
    EXPECT_EQ(engine.framesPerSecond(), 8);
    EXPECT_EQ(lastFps, 8);
}

TEST_F(EngineTest, SecondsCountWholeWallClockSecondsFromTheReset) {
    Engine engine;
    fakeNow = timeval{2000, 999990};
    engine.resetClock();
    EXPECT_EQ(engine.secondsElapsed(), 0);
    fakeNow = timeval{2001, 5};  // fifteen microseconds later
    EXPECT_EQ(engine.secondsElapsed(), 1);
    fakeNow = timeval{2003, 999999};
    EXPECT_EQ(engine.secondsElapsed(), 3);
}

TEST_F(EngineTest, PresentWithoutScreenCountsNothing) {
    Engine engine;
    engine.present();
    EXPECT_EQ(engine.frames, 0);
}

TEST_F(EngineTest, RefusedVideoModeReportsAndFails) {
    // The driver is put back for whatever runs after this test.
    const char* before = std::getenv("SDL_VIDEODRIVER");
    const std::string kept = before ? before : "";
    struct Restore {
        const char* before;
        std::string kept;
        ~Restore() { before ? setenv("SDL_VIDEODRIVER", kept.c_str(), 1) : unsetenv("SDL_VIDEODRIVER"); }
    } restore{before, kept};
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    Engine engine;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(engine.init(0, nullptr, 800, 600, 1));
    testing::internal::GetCapturedStdout();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("could not init videomode\n"), std::string::npos);
    EXPECT_EQ(engine.screen, nullptr);
}
