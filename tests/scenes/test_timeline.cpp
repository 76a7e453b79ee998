// The whole running order in one process: start-up, all 22 steps, shutdown,
// against a fake sound device, with the scenes driven frame by frame.
#include <gtest/gtest.h>

#include <string>

#include "geometry/mesh_object.h"
#include "geometry/model_library.h"
#include "music/audio_device.h"
#include "music/playback_thread.h"
#include "scenes/timeline.h"
#include "support/scene_world.h"

namespace {

using namespace sceneworld;

struct TimelineTest : ::testing::Test {
    void SetUp() override { install(); }
    void TearDown() override { uninstall(); }
};

}  // namespace

TEST_F(TimelineTest, SpaceInEveryStepWalksThroughAllOfThem) {
    Production production;
    testing::internal::CaptureStdout();
    ASSERT_EQ(production.start(0, nullptr), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "engine initializing 800x600x32\n");
    EXPECT_EQ(isPlaying(), 1);
    ASSERT_EQ(production.library.models.size(), 7u);
    EXPECT_EQ(findModel(production.library, "sphere")->faceCount, 20480);
    for (Image* picture : production.pictures) ASSERT_NE(picture, nullptr);

    // Space is released in the first frame of every step.
    onFrame = [](int) {
        pushKeyUp(SDLK_SPACE);
        return 1;
    };
    for (int step = 1; step <= kSceneCount; ++step) {
        frame = 0;
        EXPECT_EQ(production.runStep(step), 1) << "step " << step;
        EXPECT_LE(frame, 4) << "step " << step << " ran on after Space";
        EXPECT_EQ(liveTimers(), 0u) << "step " << step << " left timers";
    }
    // Models keep what the steps wrote: the last one placed the teddy at z 200.
    EXPECT_FLOAT_EQ(findModel(production.library, "teddy")->position.z, 200.0f);
    production.shutdown(true);
    EXPECT_EQ(isPlaying(), 0);
}

TEST_F(TimelineTest, EscapeInTheOpeningStops) {
    Production production;
    testing::internal::CaptureStdout();
    ASSERT_EQ(production.start(0, nullptr), 0);
    testing::internal::GetCapturedStdout();
    onFrame = [](int) {
        pushKeyUp(SDLK_ESCAPE);
        return 1;
    };
    EXPECT_EQ(production.runStep(1), 2);
    production.shutdown(false);
    EXPECT_EQ(isPlaying(), 0);
}

TEST_F(TimelineTest, TheMagnoliaGrowsUntilItsSequenceEndsAndSixSecondsHavePassed) {
    Production production;
    testing::internal::CaptureStdout();
    ASSERT_EQ(production.start(0, nullptr), 0);
    testing::internal::GetCapturedStdout();
    MeshObject* magnolia = findModel(production.library, "magnolia");
    // Timers fire four times a frame (once as the row is read) and the clock
    // moves 40 ms a frame: the faces need 229 ticks, the moves 38 and the
    // turns 32, under 3 seconds; few frames, so that it stays quick under
    // ThreadSanitizer.
    int endSecond = -1;
    onFrame = [&](int) {
        advance(40);
        for (int i = 0; i < 3; ++i) fireTimers();
        return 1;
    };
    EXPECT_EQ(production.runStep(8), 0);
    endSecond = production.engine->secondsElapsed();
    EXPECT_EQ(endSecond, 6) << "the sequence was done first; the scene waited for its six seconds";
    EXPECT_EQ(loadAnimated(magnolia->drawCount), magnolia->faceCount - 1);
    EXPECT_FLOAT_EQ(loadAnimated(magnolia->rotation.x), 1.6f);
    EXPECT_FLOAT_EQ(loadAnimated(magnolia->position.z), 330.0f);

    // Slow timers this time: the sequence ends long after six seconds.
    onFrame = [&](int f) {
        advance(100);
        if (f % 3 == 0) fireTimers();
        return 1;
    };
    frame = 0;
    EXPECT_EQ(production.runStep(8), 0);
    EXPECT_GT(production.engine->secondsElapsed(), 6);
    EXPECT_FLOAT_EQ(loadAnimated(magnolia->rotation.x), 1.6f);
    production.shutdown(true);
}

TEST_F(TimelineTest, AGlideOnAnAnimatorThatStillRunsStopsItsTimer) {
    Production production;
    testing::internal::CaptureStdout();
    ASSERT_EQ(production.start(0, nullptr), 0);
    testing::internal::GetCapturedStdout();
    MeshObject* cow = findModel(production.library, "cow");
    ASSERT_NE(cow, nullptr);
    // Both ways a glide starts: from where the value is, and from a value of its own.
    for (float from : {kKeep, 5.0f}) {
        const Glide first{AnimatorName::kA, GlideTarget::kRotationY, 360, StepVariable::kStepA, from};
        const Glide again{AnimatorName::kA, GlideTarget::kPositionZ, 900, StepVariable::kStepA, from};
        production.stepA = 1;
        production.startGlide(first, cow);
        const size_t before = liveTimers();
        production.startGlide(again, cow);
        EXPECT_EQ(liveTimers(), before) << "the first glide's timer was left running, from " << from;
        // One timer ticks ten times in 600 ms; an orphaned one would tick the same animator ten times more.
        const float z = cow->position.z;
        advanceTimed(600);
        EXPECT_FLOAT_EQ(cow->position.z, z + 10) << "from " << from;
        production.stopAnimators();
        EXPECT_EQ(liveTimers(), before - 1);
    }
    production.shutdown(true);
}

TEST_F(TimelineTest, AnUnloadableModuleEndsTheStart) {
    static const unsigned char garbage[] = "Extended Module: but nothing after it";
    Production production;
    production.module = garbage;
    production.moduleSize = sizeof garbage;
    testing::internal::CaptureStdout();
    EXPECT_EQ(production.start(0, nullptr), 1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Error loading song\n"), std::string::npos) << out;
    EXPECT_EQ(production.engine, nullptr);
}
