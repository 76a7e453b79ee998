// The whole production in one process with nothing faked but the viewer: SDL's
// own timer thread ticks the animators, the playback thread renders the song
// into the stand-in device on SDL's dummy audio output, the clock is the real
// one. Space is released a few frames into every scene. This is the run the
// sanitizers and valgrind watch, so it must also end with every thread
// stopped and everything freed.
#include <gtest/gtest.h>

#include <SDL/SDL.h>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "framework/engine.h"
#include "framework/outside_world.h"
#include "geometry/mesh_object.h"
#include "music/audio_device.h"
#include "music/playback_thread.h"
#include "render/camera.h"
#include "scenes/music_position.h"
#include "scenes/scene.h"
#include "scenes/timeline.h"

namespace {

// Frames seen in the current step; the row source is read once per frame by
// every scene loop, so it doubles as the frame hook.
int framesInStep = 0;
int spaceAtFrame = 3;
Song* playing = nullptr;

int32_t realRowCountingFrames(Song* song) {
    if (++framesInStep == spaceAtFrame) {
        pushKeyRelease(SDLK_SPACE);
    }
    return getRow(song);
}

void drainEvents() {
    SDL_Event stale;
    while (SDL_PollEvent(&stale)) {
    }
}

}  // namespace

TEST(WholeRun, EveryStepWithRealTimersAndPlaybackThreadThenACleanShutdown) {
    setenv("VORNA_AUDIO", "standin", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    OutsideWorld counting = realWorld();
    counting.musicRow = realRowCountingFrames;
    installOutsideWorld(counting);

    Production* production = new Production;
    ASSERT_EQ(production->start(0, nullptr), 0);
    playing = production->song;
    ASSERT_EQ(isPlaying(), 1);

    for (int step = 1; step <= kSceneCount; ++step) {
        drainEvents();  // a Space that came too late for the last step must not skip this one
        framesInStep = 0;
        const int32_t result = production->runStep(step);
        // Under valgrind a short scene may end by itself before its third frame.
        EXPECT_TRUE(result == kSceneSkipped || result == kSceneEnded) << "step " << step << " gave " << result;
        EXPECT_GE(framesInStep, 1) << "step " << step << " drew no frame";
        if (production->scene->object) {
            const MeshObject& m = *production->scene->object;
            EXPECT_TRUE(std::isfinite(loadAnimated(m.position.z)) && std::isfinite(loadAnimated(m.rotation.y)))
                << "step " << step;
        }
    }
    // The playback thread kept publishing while the scenes ran.
    EXPECT_GT(getElapsedMs(playing), 0);
    EXPECT_EQ(isPlaying(), 1);

    production->shutdown(true);
    EXPECT_EQ(isPlaying(), 0);
    EXPECT_EQ(production->engine, nullptr);
    EXPECT_EQ(production->scene, nullptr);
    delete production;

    installOutsideWorld(realWorld());
    unsetenv("VORNA_AUDIO");
}

namespace {

Uint8 held[SDLK_LAST];
const Uint8* heldKeys() { return held; }
int framesHeld = 0;

int32_t rowWhileHolding(Song* song) {
    // The first half of the scene one key of the pair, the second half the other.
    ++framesHeld;
    held[SDLK_o] = held[SDLK_t] = framesHeld <= 20;
    held[SDLK_p] = held[SDLK_y] = framesHeld > 20;
    if (framesHeld == 40) {
        pushKeyRelease(SDLK_SPACE);
    }
    return getRow(song);
}

}  // namespace

// The keys that steer what an animator moves at the same time: the ghost
// offset in step 3 (gliding to 100 on SDL's timer thread while o and p set
// it) and the blur amount in step 5 (gliding to 128 while t and y move it).
TEST(WholeRun, HeldKeysSteerValuesThatRealTimersMove) {
    setenv("VORNA_AUDIO", "standin", 1);
    OutsideWorld holding = realWorld();
    holding.musicRow = rowWhileHolding;
    holding.heldKeys = heldKeys;
    installOutsideWorld(holding);
    Production production;
    ASSERT_EQ(production.start(0, nullptr), 0);
    for (int step : {3, 5}) {
        drainEvents();
        framesHeld = 0;
        EXPECT_EQ(production.runStep(step), kSceneSkipped) << "step " << step;
        EXPECT_GE(loadAnimated(production.scene->camera->ghostOffset), 0.0f);
        EXPECT_TRUE(std::isfinite(loadAnimated(production.scene->settings.blurAmount)));
    }
    production.shutdown(true);
    std::memset(held, 0, sizeof held);
    installOutsideWorld(realWorld());
    unsetenv("VORNA_AUDIO");
}
