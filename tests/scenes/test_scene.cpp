// The 3D scene runner and the picture interlude, driven frame by frame: the
// music row comes from an injected source that also advances a fake clock,
// the animators run on a timer queue the test fires once per frame, held keys
// come from an injected key array and released keys are pushed into SDL.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "framework/animator.h"
#include "framework/engine.h"
#include "geometry/mesh_object.h"
#include "image/image.h"
#include "render/camera.h"
#include "scenes/music_position.h"
#include "render/effects.h"
#include "scenes/scene.h"
#include "support/scene_world.h"
#include "support/sdl_test.h"

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
        scene->settings.endSequence = &sequence;
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
    EXPECT_FLOAT_EQ(loadAnimated(scene->settings.blurAmount), 4.0f) << "o hides t";

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
    storeAnimated(scene->settings.blurAmount, 0.0f);
    scene->settings.blurTarget = 0.0f;
    heldKeys[SDLK_y] = 1;
    frame = 0;
    scene->run3D();
    EXPECT_FLOAT_EQ(loadAnimated(scene->settings.blurAmount), 0.0f) << "y at 0 stays 0";
}

TEST_F(SceneTest, KeysToggledInOneSceneAreGoneAfterTheNextSetup) {
    struct Toggle {
        SDLKey key;
        int32_t Camera::*cameraSwitch;  // or
        int32_t SceneSettings::*sceneSwitch;
        int32_t after;  // the value the key leaves; setup restores the other
    };
    const Toggle toggles[] = {
        {SDLK_F2, &Camera::renderMode, nullptr, 1},     {SDLK_F3, &Camera::scanlineGlitch, nullptr, 1},
        {SDLK_F4, &Camera::interlace, nullptr, 1},      {SDLK_F5, &Camera::colorSplit, nullptr, 1},
        {SDLK_F6, &Camera::ghost, nullptr, 1},          {SDLK_F7, &Camera::flares, nullptr, 1},
        {SDLK_g, &Camera::showNormals, nullptr, 1},     {SDLK_s, &Camera::depthSort, nullptr, 0},
        {SDLK_f, nullptr, &SceneSettings::tiles, 0},     {SDLK_b, nullptr, &SceneSettings::blurEnabled, 0},
        {SDLK_n, nullptr, &SceneSettings::noise, 0},     {SDLK_m, nullptr, &SceneSettings::swayX, 1},
        {SDLK_TAB, nullptr, &SceneSettings::overlay, 1}, {SDLK_c, nullptr, &SceneSettings::manualRotation, 1},
    };
    auto value = [&](const Toggle& t) { return t.cameraSwitch ? scene->camera->*t.cameraSwitch : scene->settings.*t.sceneSwitch; };
    scene->setup(&engine, &model, -1);
    for (const Toggle& t : toggles) pushKeyUp(t.key);
    pushKeyUp(SDLK_ESCAPE);
    EXPECT_EQ(scene->run3D(), kSceneStop);
    for (const Toggle& t : toggles) EXPECT_EQ(value(t), t.after) << "key " << SDL_GetKeyName(t.key);
    scene->setup(&engine, &model, -1);
    for (const Toggle& t : toggles) EXPECT_EQ(value(t), !t.after) << "key " << SDL_GetKeyName(t.key) << " after setup";
}

// Each setting a step can write lands in one field of the settings or the
// camera, and nowhere else; the next setup puts the defaults back.
TEST_F(SceneTest, EverySettingWritesItsOneField) {
    // The settings' numbers and the camera's switches the settings reach, as floats.
    auto fields = [&] {
        std::vector<float> f;
        const SceneSettings& t = scene->settings;
        for (int32_t v : {t.swayX, t.noise, t.blurEnabled, t.tiles, t.overlay, t.manualRotation, t.banner,
                          t.ghostFromRow, t.flash, t.whiteFlash, t.colorCycle, t.sharpLastFrame, t.flashWhenAtRest,
                          t.swayZ, t.sprites})
            f.push_back(float(v));
        for (uint32_t v : {t.flashPeriod, t.colorPeriod, t.whitePeriod}) f.push_back(float(v));
        for (float v : {t.flashSpeed, t.flashAmount, t.blurAmount, t.blurTarget}) f.push_back(v);
        const Camera& c = *scene->camera;
        for (int32_t v : {c.interlace, c.ghost, c.showNormals, c.scanlineGlitch, c.flares}) f.push_back(float(v));
        f.push_back(c.ghostOffset);
        f.push_back(float(c.normalColor));
        return f;
    };
    scene->setup(&engine, &model, 1);
    const std::vector<float> defaults = fields();
    for (int what = int(Setting::kTiles); what <= int(Setting::kFlares); ++what) {
        scene->setup(&engine, &model, 1);
        EXPECT_EQ(fields(), defaults) << "setup left setting " << what << " of the last round";
        scene->apply(Setting(what), 77);
        const std::vector<float> now = fields();
        int changed = 0;
        for (size_t i = 0; i < now.size(); ++i) changed += now[i] != defaults[i] ? (now[i] == 77 ? 1 : 100) : 0;
        EXPECT_EQ(changed, 1) << "setting " << what << " wrote no field, another value or more than one field";
    }
}

// The model's colour a few frames after it was 0xFF8800: untouched, flashed
// white (and fading back), or on its way to another colour, at most 8 a
// channel a frame.
const char* colourOf(uint32_t c) {
    if (c == 0xFF8800) return "still";
    if ((c & 0xC0C0) == 0xC0C0) return "white";
    return "moved";
}

// Three triangles, so that stairs() lifts two of them off their places
// and a jitter cannot leave all of them where they were by chance.
const char* const threeTriangles[] = {"three", "v -50 -50 0", "v 50 -50 0", "v 0 50 0",
                                      "f 1 2 3", "f 1 2 3", "f 1 2 3", nullptr};

// Faces where they were when the loop started.
bool facesHome(const MeshObject& m, const std::vector<Face>& home) {
    for (int i = 0; i < m.faceCount; ++i)
        for (auto corner : {&Face::a, &Face::b, &Face::c}) {
            const Vector3& p = (m.faces[i].*corner).position;
            const Vector3& q = (home[size_t(i)].*corner).position;
            if (p.x != q.x || p.y != q.y || p.z != q.z) return false;
        }
    return true;
}

TEST_F(SceneTest, ReleasedAndHeldKeysActOnTheModel) {
    struct Case {
        const char* what;
        SDLKey released;  // in the first frame
        SDLKey held;      // in the first frame
        SDLKey releasedNext;  // in the second frame
        const char* colour;
        bool home;
        bool turned;  // the rotation (1, 2, 3) was put back to zero
    };
    const Case cases[] = {
        {"nothing", SDLK_UNKNOWN, SDLK_UNKNOWN, SDLK_UNKNOWN, "still", true, false},
        {"F1 flashes white", SDLK_F1, SDLK_UNKNOWN, SDLK_UNKNOWN, "white", true, false},
        {"Delete builds stairs", SDLK_DELETE, SDLK_UNKNOWN, SDLK_UNKNOWN, "still", true, true},
        {"Insert jitters and recolours", SDLK_UNKNOWN, SDLK_INSERT, SDLK_UNKNOWN, "moved", false, false},
        {"q snaps the faces home", SDLK_UNKNOWN, SDLK_INSERT, SDLK_q, "moved", true, false},
    };
    MeshObject three;
    three.loadTable(threeTriangles, nullptr, 0, 1.0f, 0);
    three.setPosition(0, 0, 300);
    for (const Case& c : cases) {
        three.setColor(0xFF8800);
        three.setRotation(1, 2, 3);
        scene->setup(&engine, &three, -1);
        scene->settings.tiles = scene->settings.banner = scene->settings.noise = 0;
        const std::vector<Face> home(three.faces, three.faces + three.faceCount);
        std::memset(heldKeys, 0, sizeof heldKeys);
        if (c.held) heldKeys[c.held] = 1;
        if (c.released) pushKeyUp(c.released);
        frame = 0;
        onFrame = [&](int f) {
            if (f == 0) {
                heldKeys[c.held] = 0;
                if (c.releasedNext) pushKeyUp(c.releasedNext);
            }
            if (f == 1) pushKeyUp(SDLK_ESCAPE);
            return 1;
        };
        EXPECT_EQ(scene->run3D(), kSceneStop) << c.what;
        EXPECT_STREQ(colourOf(three.color), c.colour) << c.what;
        EXPECT_EQ(facesHome(three, home), c.home) << c.what;
        EXPECT_EQ(three.rotation.x == 0 && three.rotation.y == 0 && three.rotation.z == 0, c.turned) << c.what;
    }
}

TEST_F(SceneTest, ArrowsTurnTheModelByHandWhileManualRotationIsOn) {
    struct Case {
        SDLKey held[3];
        float dx, dy;  // per frame
    };
    const Case cases[] = {
        {{SDLK_LEFT, SDLK_UP, SDLK_UNKNOWN}, -0.05f, -0.05f},
        {{SDLK_RIGHT, SDLK_DOWN, SDLK_UNKNOWN}, 0.05f, 0.05f},
        {{SDLK_LEFT, SDLK_RIGHT, SDLK_DOWN}, 0.05f, -0.05f},  // left hides right
    };
    for (const Case& c : cases) {
        scene->setup(&engine, &model, -1);
        scene->settings.manualRotation = 1;
        std::memset(heldKeys, 0, sizeof heldKeys);
        for (SDLKey k : c.held)
            if (k) heldKeys[k] = 1;
        const float x0 = scene->carried.manualX, y0 = scene->carried.manualY, z0 = scene->carried.manualZ;
        frame = 0;
        onFrame = [](int f) {
            if (f == 2) pushKeyUp(SDLK_ESCAPE);
            return 1;
        };
        scene->run3D();  // four frames
        EXPECT_NEAR(scene->carried.manualX, x0 + 4 * c.dx, 1e-5);
        EXPECT_NEAR(scene->carried.manualY, y0 + 4 * c.dy, 1e-5);
        EXPECT_FLOAT_EQ(scene->carried.manualZ, z0);
        EXPECT_FLOAT_EQ(model.rotation.x, scene->carried.manualX);
        EXPECT_FLOAT_EQ(model.rotation.y, scene->carried.manualY);
        EXPECT_FLOAT_EQ(model.rotation.z, scene->carried.manualZ);
    }
    std::memset(heldKeys, 0, sizeof heldKeys);
}

TEST_F(SceneTest, ManualAnglesSwayAndSpritePhaseCarryOverFromSceneToScene) {
    auto runFrames = [&](void (*settings)(Scene&)) {
        scene->setup(&engine, &model, -1);
        settings(*scene);
        frame = 0;
        onFrame = [](int f) {
            if (f == 2) pushKeyUp(SDLK_ESCAPE);
            return 1;
        };
        scene->run3D();  // four frames
    };
    model.setRotation(0.3f, 0.6f, 0.9f);
    runFrames([](Scene& s) { s.settings.swayX = 1, s.settings.sprites = 1; });
    const float sway = scene->carried.swayAngleX, phase = scene->carried.spritePhase;
    EXPECT_NEAR(sway, 4 * 0.05f, 1e-5);
    EXPECT_NEAR(phase, 4 * 4 * 0.1f, 1e-4) << "four sprites a frame";

    // A later scene neither takes the angles again nor restarts the sway or the phase.
    model.setRotation(1, 1, 1);
    runFrames([](Scene& s) { s.settings.swayX = 1, s.settings.sprites = 1, s.settings.manualRotation = 1; });
    EXPECT_FLOAT_EQ(model.rotation.x, 0.3f);
    EXPECT_FLOAT_EQ(model.rotation.y, 0.6f);
    EXPECT_FLOAT_EQ(model.rotation.z, 0.9f);
    EXPECT_NEAR(scene->carried.swayAngleX, 2 * sway, 1e-5);
    EXPECT_NEAR(scene->carried.spritePhase, 2 * phase, 1e-4);
}

TEST_F(SceneTest, RowDrivenEffectsFireOnTheirRowsOnly) {
    struct Case {
        const char* what;
        void (*settings)(Scene&);
        int32_t row;
        const char* afterFirst;  // the colour after the first frame, then after the second
        const char* afterSecond;
        int32_t ghost;  // the camera's ghost after the first frame
    };
    const Case cases[] = {
        {"flash on its period", [](Scene& s) { s.settings.flash = 1; }, 32, "moved", "moved", 0},
        {"flash off its period", [](Scene& s) { s.settings.flash = 1; }, 48, "still", "still", 0},
        {"flash on a shorter period", [](Scene& s) { s.settings.flash = 1, s.settings.flashPeriod = 16; }, 48, "moved", "moved", 0},
        // The faces start on stairs: no flash until they are home again.
        {"flash waits for rest", [](Scene& s) { s.settings.flash = 1, s.settings.flashWhenAtRest = 1; }, 0, "still", "moved", 0},
        {"white flash", [](Scene& s) { s.settings.whiteFlash = 1, s.settings.whitePeriod = 16; }, 48, "white", "white", 0},
        {"white flash off its period", [](Scene& s) { s.settings.whiteFlash = 1; }, 48, "still", "still", 0},
        {"colour cycle", [](Scene& s) { s.settings.colorCycle = 1; }, 128, "moved", "moved", 0},
        {"colour cycle off its period", [](Scene& s) { s.settings.colorCycle = 1; }, 32, "still", "still", 0},
        {"ghost from row 56", [](Scene& s) { s.settings.ghostFromRow = 1; }, 56, "still", "still", 1},
        {"no ghost before row 56", [](Scene& s) { s.settings.ghostFromRow = 1, s.camera->ghost = 1; }, 55, "still", "still", 0},
        {"the ghost left alone", [](Scene& s) { s.camera->ghost = 1; }, 3, "still", "still", 1},
    };
    MeshObject three;
    three.loadTable(threeTriangles, nullptr, 0, 1.0f, 0);
    three.setPosition(0, 0, 300);
    for (const Case& c : cases) {
        three.setColor(0xFF8800);
        scene->setup(&engine, &three, -1);
        scene->settings.tiles = scene->settings.banner = scene->settings.noise = 0;
        c.settings(*scene);
        const char* colours[2] = {};
        int32_t ghost = -1;
        frame = 0;
        onFrame = [&](int f) {
            if (f == 1) colours[0] = colourOf(three.color), ghost = scene->camera->ghost;
            if (f == 2) colours[1] = colourOf(three.color), pushKeyUp(SDLK_ESCAPE);
            return c.row;
        };
        scene->run3D();
        EXPECT_STREQ(colours[0], c.afterFirst) << c.what;
        EXPECT_STREQ(colours[1], c.afterSecond) << c.what;
        EXPECT_EQ(ghost, c.ghost) << c.what;
    }
}

// Black pixels on a white screen after one frame without blur.
int blackAfterOneFrame(Scene* scene, Engine& engine, int32_t row, int32_t noise) {
    scene->setup(&engine, nullptr, -1);
    scene->settings.tiles = scene->settings.banner = scene->settings.blurEnabled = 0;
    scene->settings.noise = noise;
    SDL_FillRect(engine.screen, nullptr, 0xFFFFFF);
    pushKeyUp(SDLK_ESCAPE);
    onFrame = [row](int) { return row; };
    scene->run3D();
    int black = 0;
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x) black += (testsupport::pixelAt(engine.screen, x, y) & 0xFFFFFF) == 0;
    return black;
}

TEST_F(SceneTest, NoiseSkipsRowsThatStartAHalfPattern) {
    EXPECT_GT(blackAfterOneFrame(scene, engine, 48, 1), 5000) << "a quarter pattern is not a half";
    EXPECT_EQ(blackAfterOneFrame(scene, engine, 96, 1), 0);
    EXPECT_EQ(blackAfterOneFrame(scene, engine, 33, 0), 0);
}

TEST_F(SceneTest, SharpLastFrameSkipsOnlyTheLastBlur) {
    struct Case {
        int32_t sharp;
        int frames;  // the scene's time is up at once; the rows decide the end
        bool blurred;
    };
    for (const Case c : {Case{1, 1, false}, Case{0, 1, true}, Case{1, 2, true}}) {
        scene->setup(&engine, nullptr, 0);
        scene->settings.tiles = scene->settings.banner = scene->settings.noise = 0;
        scene->settings.sharpLastFrame = c.sharp;
        SDL_FillRect(engine.screen, nullptr, 0xFFFFFF);
        SDL_Rect left{0, 0, 400, 600};
        SDL_FillRect(engine.screen, &left, 0);
        frame = 0;
        onFrame = [&c](int f) { return f + 1 == c.frames ? 32 : 1; };
        EXPECT_EQ(scene->run3D(), kSceneEnded);
        EXPECT_EQ(frame, c.frames);
        const bool edgeSoft = (testsupport::pixelAt(engine.screen, 401, 300) & 0xFFFFFF) != 0xFFFFFF;
        EXPECT_EQ(edgeSoft, c.blurred) << "sharp " << c.sharp << ", " << c.frames << " frames";
    }
}

TEST_F(SceneTest, EveryTimerIsRemovedWhenTheLoopsReturn) {
    scene->setup(&engine, &model, -1);
    scene->settings.sprites = 1;
    scene->settings.overlay = 1;
    onFrame = [](int f) {
        if (f == 30) pushKeyUp(SDLK_SPACE);
        return f;
    };
    EXPECT_EQ(scene->run3D(), kSceneSkipped);
    EXPECT_EQ(liveTimers(), 0u) << "timers left after run3D";
    scene->setup(&engine, nullptr, 0);
    frame = 0;
    onFrame = [](int f) {
        if (f == 10) pushKeyUp(SDLK_SPACE);
        return 0;
    };
    EXPECT_EQ(scene->runPicture(nullptr, 0), kSceneSkipped);
    EXPECT_EQ(liveTimers(), 0u) << "timers left after runPicture";
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
    SDL_Surface* back = scene->resources.background->surface;
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
    ASSERT_NE(scene->resources.bannerImage, nullptr);
    ASSERT_NE(scene->resources.bannerImage->surface, nullptr);
    EXPECT_EQ(scene->resources.bannerImage->surface->w, 200);
    EXPECT_EQ(scene->resources.bannerImage->surface->h, 95);
    SDL_Surface* banner = scene->resources.bannerImage->surface;
    for (int y = 0; y < 95; y += 13) {
        Uint32 p = *reinterpret_cast<Uint32*>(static_cast<Uint8*>(banner->pixels) + y * banner->pitch);
        EXPECT_EQ(p & 0xFFFFFF, 0x0000FFu) << "even columns carry the key colour";
    }
    EXPECT_EQ(scene->resources.spriteList.size(), 4u);
    EXPECT_EQ(scene->camera->flarePoints.size(), 4u);
    ASSERT_NE(scene->resources.sparks, nullptr);
    EXPECT_EQ(scene->resources.sparks->count, 1024);
    Image* background = scene->resources.background;
    scene->setup(&engine, &model, 3);
    EXPECT_EQ(scene->resources.background, background) << "later setups reuse them";
    EXPECT_EQ(scene->camera->flarePoints.size(), 4u);
}
