// The 3D scene runner and the picture interlude, driven frame by frame: the
// music row comes from an injected source that also advances a fake clock,
// the animators run on a timer queue the test fires once per frame, held keys
// come from an injected key array and released keys are pushed into SDL.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

#include "framework/animator.h"
#include "framework/engine.h"
#include "geometry/mesh_object.h"
#include "image/image.h"
#include "render/camera.h"
#include "scenes/music_position.h"
#include "render/effects.h"
#include "scenes/scene.h"
#include "support/scene_world.h"

namespace {

using namespace sceneworld;

const char* const triangleTable[] = {"tri", "v -50 -50 0", "v 50 -50 0", "v 0 50 0", "f 1 2 3", nullptr};

struct SceneTest : ::testing::Test {
    Engine engine;
    Scene* scene = nullptr;
    MeshObject model;

    void SetUp() override {
        install();
        ASSERT_TRUE(engine.init(0, nullptr, 800, 600, 0));
        model.loadTable(triangleTable, nullptr, 0, 1.0f, 0);
        model.setPosition(0, 0, 300);
        model.setColor(0xFF8800);
        scene = new Scene;
        scene->player = reinterpret_cast<Song*>(1);  // the injected source ignores it
    }
    void TearDown() override {
        delete scene;
        uninstall();
    }
};

}  // namespace

TEST_F(SceneTest, TimedSceneEndsOnTheFirstHalfPatternRowAfterItsTime) {
    scene->setup(&engine, &model, 10);
    int lastRow = -1;
    onFrame = [&](int f) {
        advance(100);  // ten frames a second
        lastRow = (f * 3 + 1) % 64;  // a multiple of 32 at frames 21, 53, 85 and 117
        return lastRow;
    };
    EXPECT_EQ(scene->run3D(), kSceneEnded);
    EXPECT_EQ(lastRow % 32, 0);
    EXPECT_EQ(frame, 118) << "2.2, 5.4 and 8.6 s were too early; the half pattern at 11.8 s ends it";
    EXPECT_EQ(engine.frames, 118) << "the ending frame is still presented";
}

TEST_F(SceneTest, UnlimitedSceneEndsOnlyByKey) {
    scene->setup(&engine, &model, -1);
    onFrame = [](int f) {
        advance(1000);
        if (f == 40) pushKeyUp(SDLK_ESCAPE);
        return 0;
    };
    EXPECT_EQ(scene->run3D(), kSceneStop);
    EXPECT_EQ(frame, 42) << "a key pushed in frame 40 is seen by frame 41, the last";
    scene->setup(&engine, &model, -1);
    frame = 0;
    onFrame = [](int f) {
        advance(1000);
        if (f == 5) pushKeyUp(SDLK_SPACE);
        return 32;
    };
    EXPECT_EQ(scene->run3D(), kSceneSkipped);
    EXPECT_EQ(frame, 7);
}

TEST_F(SceneTest, SequenceEndedSceneWaitsForBothSequenceAndTime) {
    for (int finishAt : {3, 8}) {
        AnimationSequence sequence;
        sequence.addStep(new Animator);  // never started: the test finishes it
        scene->setup(&engine, &model, 6);
        scene->endSequence = &sequence;
        frame = 0;
        int endSecond = -1;
        onFrame = [&](int f) {
            advance(250);
            if (f == finishAt * 4) sequence.advance();
            endSecond = engine.secondsElapsed();
            return 0;
        };
        EXPECT_EQ(scene->run3D(), kSceneEnded);
        EXPECT_EQ(endSecond, finishAt < 6 ? 6 : finishAt) << "finished at " << finishAt;
    }
}

TEST_F(SceneTest, WindowCloseStopsA3DSceneAndAPicture) {
    scene->setup(&engine, &model, -1);
    onFrame = [](int f) {
        if (f == 2) {
            SDL_Event e{};
            e.type = SDL_QUIT;
            SDL_PushEvent(&e);
        }
        return 1;
    };
    EXPECT_EQ(scene->run3D(), kSceneStop);
    scene->setup(&engine, nullptr, 0);
    frame = 0;
    EXPECT_EQ(scene->runPicture(nullptr, 100), kSceneStop);
    EXPECT_EQ(frame, 4) << "closing the window in frame 2 ends the picture after frame 3";
}

TEST_F(SceneTest, HeldKeysFollowTheirPrecedence) {
    scene->setup(&engine, &model, -1);
    heldKeys[SDLK_x] = heldKeys[SDLK_z] = 1;
    pushKeyUp(SDLK_ESCAPE);
    scene->run3D();
    EXPECT_FLOAT_EQ(model.position.z, 310.0f) << "x wins over z";

    scene->setup(&engine, &model, -1);
    std::memset(heldKeys, 0, sizeof heldKeys);
    heldKeys[SDLK_o] = heldKeys[SDLK_t] = 1;
    pushKeyUp(SDLK_ESCAPE);
    scene->run3D();
    EXPECT_FLOAT_EQ(scene->camera->ghostOffset, 9.0f);
    EXPECT_FLOAT_EQ(loadAnimated(scene->blurAmount), 4.0f) << "o hides t";

    scene->setup(&engine, &model, -1);
    std::memset(heldKeys, 0, sizeof heldKeys);
    heldKeys[SDLK_p] = 1;
    frame = 0;
    onFrame = [](int f) {
        if (f == 20) pushKeyUp(SDLK_ESCAPE);
        return 1;
    };
    scene->run3D();
    EXPECT_FLOAT_EQ(scene->camera->ghostOffset, 0.0f) << "p stops at 0";

    scene->setup(&engine, &model, -1);
    std::memset(heldKeys, 0, sizeof heldKeys);
    storeAnimated(scene->blurAmount, 0.0f);
    scene->blurTarget = 0.0f;
    heldKeys[SDLK_y] = 1;
    frame = 0;
    scene->run3D();
    EXPECT_FLOAT_EQ(loadAnimated(scene->blurAmount), 0.0f) << "y at 0 stays 0";
}

TEST_F(SceneTest, KeysToggledInOneSceneAreGoneAfterTheNextSetup) {
    scene->setup(&engine, &model, -1);
    for (SDLKey k : {SDLK_F3, SDLK_F4, SDLK_F6, SDLK_f, SDLK_b, SDLK_n, SDLK_TAB, SDLK_c}) pushKeyUp(k);
    pushKeyUp(SDLK_ESCAPE);
    EXPECT_EQ(scene->run3D(), kSceneStop);
    EXPECT_EQ(scene->camera->scanlineGlitch, 1);
    EXPECT_EQ(scene->camera->interlace, 1);
    EXPECT_EQ(scene->camera->ghost, 1);
    EXPECT_EQ(scene->tiles, 0);
    EXPECT_EQ(scene->overlay, 1);
    scene->setup(&engine, &model, -1);
    EXPECT_EQ(scene->camera->scanlineGlitch, 0);
    EXPECT_EQ(scene->camera->interlace, 0);
    EXPECT_EQ(scene->camera->ghost, 0);
    EXPECT_EQ(scene->tiles, 1);
    EXPECT_EQ(scene->blurEnabled, 1);
    EXPECT_EQ(scene->noise, 1);
    EXPECT_EQ(scene->overlay, 0);
    EXPECT_EQ(scene->manualRotation, 0);
}

TEST_F(SceneTest, EveryTimerIsRemovedWhenTheLoopsReturn) {
    scene->setup(&engine, &model, -1);
    scene->sprites = 1;
    scene->overlay = 1;
    onFrame = [](int f) {
        if (f == 30) pushKeyUp(SDLK_SPACE);
        return f;
    };
    EXPECT_EQ(scene->run3D(), kSceneSkipped);
    EXPECT_TRUE(timers.empty()) << timers.size() << " timers left after run3D";
    scene->setup(&engine, nullptr, 0);
    frame = 0;
    onFrame = [](int f) {
        if (f == 10) pushKeyUp(SDLK_SPACE);
        return 0;
    };
    EXPECT_EQ(scene->runPicture(nullptr, 0), kSceneSkipped);
    EXPECT_TRUE(timers.empty()) << timers.size() << " timers left after runPicture";
}

TEST_F(SceneTest, PictureWithoutOverrideShowsTheDefaultBackground) {
    scene->setup(&engine, nullptr, 0);
    onFrame = [](int) {
        advance(100);
        return 0;  // no noise on half-pattern rows
    };
    EXPECT_EQ(scene->runPicture(nullptr, 0), kSceneEnded);
    EXPECT_GE(frame, 50) << "the count must pass 99 first";
    // The screen now holds the blurred block pattern: light blue where the
    // background is light, and the same overall brightness.
    SDL_Surface* screen = engine.screen;
    SDL_Surface* back = scene->background->surface;
    double screenSum = 0, backSum = 0;
    for (int y = 0; y < 600; y += 7)
        for (int x = 0; x < 800; x += 7) {
            Uint8 r, g, b;
            SDL_GetRGB(*reinterpret_cast<Uint32*>(static_cast<Uint8*>(screen->pixels) + y * screen->pitch + x * 4),
                       screen->format, &r, &g, &b);
            screenSum += b;
            SDL_GetRGB(*reinterpret_cast<Uint32*>(static_cast<Uint8*>(back->pixels) + y * back->pitch + x * 4),
                       back->format, &r, &g, &b);
            backSum += b;
        }
    EXPECT_GT(backSum, 0);
    EXPECT_NEAR(screenSum / backSum, 1.0, 0.2);
}

TEST_F(SceneTest, FirstSetupBuildsTheSharedResources) {
    scene->setup(&engine, &model, 3);
    ASSERT_NE(scene->bannerImage, nullptr);
    ASSERT_NE(scene->bannerImage->surface, nullptr);
    EXPECT_EQ(scene->bannerImage->surface->w, 200);
    EXPECT_EQ(scene->bannerImage->surface->h, 95);
    SDL_Surface* banner = scene->bannerImage->surface;
    for (int y = 0; y < 95; y += 13) {
        Uint32 p = *reinterpret_cast<Uint32*>(static_cast<Uint8*>(banner->pixels) + y * banner->pitch);
        EXPECT_EQ(p & 0xFFFFFF, 0x0000FFu) << "even columns carry the key colour";
    }
    EXPECT_EQ(scene->spriteList.size(), 4u);
    EXPECT_EQ(scene->camera->flarePoints.size(), 4u);
    ASSERT_NE(scene->sparks, nullptr);
    EXPECT_EQ(scene->sparks->count, 1024);
    Image* background = scene->background;
    scene->setup(&engine, &model, 3);
    EXPECT_EQ(scene->background, background) << "later setups reuse them";
    EXPECT_EQ(scene->camera->flarePoints.size(), 4u);
}
