// A viewer mashing the keyboard through the whole production: every key the
// scenes act on (Space and Escape aside) is held and released at random,
// several releases a frame, in every step. Nothing may crash, the run must
// end through its normal shutdown, and the values the keys steer must stay
// within what the keys and animators can make of them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "geometry/mesh_object.h"
#include "music/audio_device.h"
#include "music/playback_thread.h"
#include "render/camera.h"
#include "scenes/timeline.h"
#include "scenes/scene.h"
#include "support/scene_world.h"

namespace {

using namespace sceneworld;

// Acted on when released (one action per release).
const SDLKey releasedKeys[] = {SDLK_F1, SDLK_F2, SDLK_F3, SDLK_F4, SDLK_F5, SDLK_F6, SDLK_F7, SDLK_DELETE, SDLK_TAB,
                               SDLK_c,  SDLK_f,  SDLK_g,  SDLK_q,  SDLK_s,  SDLK_b,  SDLK_n,  SDLK_m};
// Acted on every frame they are held.
const SDLKey heldKeyList[] = {SDLK_INSERT, SDLK_x,    SDLK_z,     SDLK_o,  SDLK_p,   SDLK_t,
                              SDLK_y,      SDLK_LEFT, SDLK_RIGHT, SDLK_UP, SDLK_DOWN};

bool finite(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

struct StormTest : ::testing::Test {
    void SetUp() override { install(); }
    void TearDown() override {
        std::memset(heldKeys, 0, sizeof heldKeys);
        uninstall();
    }
};

}  // namespace

TEST_F(StormTest, RandomHoldsAndReleasesInEveryStepKeepEveryValueInBounds) {
    Production production;
    testing::internal::CaptureStdout();
    ASSERT_EQ(production.start(0, nullptr), 0);
    testing::internal::GetCapturedStdout();

    std::mt19937 random(20260413u);
    constexpr int k3DFrames = 24;
    constexpr int kOtherFrames = 8;

    int step = 0;
    int framesOfStep = 0;
    std::string failure;
    int checkedFrames = 0;
    int checkedSteps = 0;
    // What the step began with: bounds are measured from there.
    float blurPrevious = 0, blurCeiling = 0, ghostCeiling = 0;

    onFrame = [&](int f) -> int32_t {
        advance(10);
        Scene& s = *production.scene;
        const bool is3D = s.object != nullptr && is3DStep(step);
        // Hold a new random chord every frame and release a few keys.
        for (SDLKey k : heldKeyList) heldKeys[k] = random() % 3 == 0;
        const int releases = int(random() % 6) + 1;
        for (int i = 0; i < releases; ++i) pushKeyUp(releasedKeys[random() % std::size(releasedKeys)]);
        if (f + 1 == (is3D ? k3DFrames : kOtherFrames)) pushKeyUp(SDLK_SPACE);
        ++framesOfStep;

        if (is3D && failure.empty()) {
            ++checkedFrames;
            const float blur = loadAnimated(s.settings.blurAmount);
            const float ghost = loadAnimated(s.camera->ghostOffset);
            if (f == 0) {
                ++checkedSteps;
                // t adds one a frame; the glide never passes its target.
                blurCeiling = std::max(blur, s.settings.blurTarget) + 1;
                blurPrevious = blur;
                // Only step 3 glides the offset (to 100); setup leaves it at 8.
                ghostCeiling = step == 3 ? 100.0f : 9.0f;
            }
            blurCeiling += 1;
            ghostCeiling += 1;  // o adds one a frame to a counter that starts at 8
            const MeshObject& m = *s.object;
            if (!finite(m.position) || !finite(m.rotation) || !std::isfinite(s.carried.manualX) || !std::isfinite(s.carried.manualY))
                failure = "a position or rotation ran away";
            else if (!std::isfinite(blur) || blur <= -1.0f || blur > blurCeiling)
                failure = "blur amount " + std::to_string(blur) + " outside (-1, " + std::to_string(blurCeiling) + "]";
            else if (std::fabs(blur - blurPrevious) > 3.0f + 1e-3f)
                failure = "blur amount jumped from " + std::to_string(blurPrevious) + " to " + std::to_string(blur);
            else if (!std::isfinite(ghost) || ghost < 0 || ghost > ghostCeiling)
                failure = "ghost offset " + std::to_string(ghost);
            else if (std::fabs(loadAnimated(m.position.z)) > 1e5f)
                failure = "the model left the world";
            if (!failure.empty()) failure += " in step " + std::to_string(step) + ", frame " + std::to_string(f);
            blurPrevious = blur;
        }
        return int32_t(random() % 64);
    };

    int32_t result = kSceneEnded;
    for (step = 1; step <= kSceneCount && result != kSceneStop; ++step) {
        frame = 0;
        framesOfStep = 0;
        result = production.runStep(step);
        EXPECT_NE(result, kSceneStop) << "step " << step;
        EXPECT_GE(framesOfStep, 1) << "step " << step;
        EXPECT_TRUE(liveTimers() == 0) << "step " << step << " left timers running";
        ASSERT_TRUE(failure.empty()) << failure;
    }
    EXPECT_EQ(step, kSceneCount + 1);
    // Fourteen 3D steps, each storming until its Space.
    EXPECT_EQ(checkedSteps, 14);
    EXPECT_GE(checkedFrames, 14 * k3DFrames);
    production.shutdown(true);
    EXPECT_EQ(isPlaying(), 0);
}
