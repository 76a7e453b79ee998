// Scene: the runner of every 3D scene of the production and of the picture
// interludes between them. The timeline owns the one Scene of a run; for each
// scene it calls setup, writes the settings it wants (apply, or the fields of
// `settings` directly), starts its own animators, then runs run3D or
// runPicture. What a Scene holds comes in three lifetimes, one record each:
// the settings a step starts from, the resources built once, and the state
// carried from step to step.
//
// Threads: main thread, except that the animators' ticks on SDL's timer
// thread move settings.blurAmount, settings.flashAmount, the camera's
// ghostOffset, the banner position, the tile count and the model fields the
// timeline animates; those are read and written through
// loadAnimated/storeAnimated. Not for: running two loops at once, or for
// surfaces other than the engine's screen.
#pragma once

#include <SDL/SDL.h>
#include <cstdint>
#include <vector>

#include "scenes/running_order.h"

struct AnimationSequence;
struct Camera;
struct Engine;
struct Image;
struct MeshObject;
struct Song;
struct SparkSystem;
struct TextLabel;

// Result codes of every scene function.
enum SceneResult : int32_t { kSceneEnded = 0, kSceneSkipped = 1, kSceneStop = 2 };

struct Sprite {
    int32_t centerX;
    int32_t centerY;
    float angleX;
    float angleY;
    float speedX;  // radians per frame
    float speedY;
    int32_t radiusX;
    int32_t radiusY;
    Image* image;  // owned
};

// Where run3D's frames spend their time: a measuring tool hands one in through
// Scene::profile and run3D marks each phase boundary in it; the production
// leaves the pointer null and run3D then only tests it.
struct SceneProfile {
    enum Phase : int32_t { kInput, kTiles, kScatter, kRender, kSprites, kBanner, kGlitchNoise, kBlur, kPresent,
                           kPhaseCount };
    double seconds[kPhaseCount] = {};     // wall clock, summed over frames
    double cpuSeconds[kPhaseCount] = {};  // this thread's CPU time: the figure on a shared machine
    int64_t frames = 0;
    int64_t lastMarkNs = 0, lastMarkCpuNs = 0;

    void beginFrame();
    // The time since the previous mark belongs to phase.
    void mark(Phase phase);
};

// The settings a step starts from: the defaults every setup restores (by
// assigning a fresh value), which the timeline then changes for its step
// (Scene::apply) and the keys toggle while it runs.
struct SceneSettings {
    int32_t swayX = 0;
    int32_t noise = 1;
    int32_t blurEnabled = 1;
    int32_t tiles = 1;
    int32_t overlay = 0;
    int32_t manualRotation = 0;
    int32_t banner = 1;
    int32_t ghostFromRow = 0;
    int32_t flash = 0;
    int32_t whiteFlash = 0;
    int32_t colorCycle = 0;
    uint32_t flashPeriod = 32;
    float flashSpeed = 0.1f;
    float flashAmount = 1.0f;  // an animator may move it (step 4)
    uint32_t colorPeriod = 64;
    uint32_t whitePeriod = 32;
    int32_t sharpLastFrame = 0;
    int32_t flashWhenAtRest = 0;
    int32_t swayZ = 0;
    int32_t sprites = 0;
    float blurAmount = 4.0f;  // glided toward blurTarget while run3D runs
    float blurTarget = 4.0f;
    AnimationSequence* endSequence = nullptr;  // not owned, may be null
    Image* backgroundOverride = nullptr;       // not owned, may be null
};

// What the first setup builds and every later scene shares, owned until the
// Scene goes.
struct SceneResources {
    TextLabel* label = nullptr;
    SparkSystem* sparks = nullptr;
    std::vector<Sprite*> spriteList;
    Image* background = nullptr;
    Image* bannerImage = nullptr;

    SceneResources() = default;
    ~SceneResources();
    SceneResources(const SceneResources&) = delete;
    SceneResources& operator=(const SceneResources&) = delete;

    bool built() const { return background != nullptr; }
    // The banner, the sparks, four flare points on the camera, the four
    // sprites and the default backdrop, in that order (each draws on rand()).
    void build(SDL_Surface* screen, Camera* camera);
};

// Kept from one step to the next for as long as the Scene lives (the whole
// run): the manual rotation angles, taken from the model of the first run3D
// and never again, the sway angles and the sprites' phase.
struct SceneCarriedState {
    float manualX = 0, manualY = 0, manualZ = 0;
    bool manualAnglesTaken = false;
    float swayAngleX = 0, swayAngleZ = 0;
    float spritePhase = 0;
};

struct Scene {
    SceneSettings settings;
    SceneResources resources;
    SceneCarriedState carried;
    // The step's arguments (setup) and the running loop's end flag.
    Engine* engine = nullptr;
    MeshObject* object = nullptr;  // not owned, may be null
    int32_t seconds = 0;
    int32_t unlimited = 0;
    uint8_t quit = 0;
    // For the whole run.
    Song* player = nullptr;          // not owned
    Camera* camera;                  // owned; its switches are reset by every setup
    SceneProfile* profile = nullptr;  // not owned; null in the production

    Scene();
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    void setup(Engine* engine, MeshObject* object, int32_t seconds);
    // One of the settings a step writes after setup (scenes/running_order.h),
    // through the one table from setting to field; flags and periods take the
    // value's whole part.
    void apply(Setting what, float value);
    int32_t run3D();
    int32_t runPicture(Image* picture, int32_t seconds);

    // run3D's order of work. Before the first frame:
    struct Run;  // what one run3D keeps from frame to frame
    void begin3D(Run& run);
    // Each frame: the input,
    void takeReleasedKeys(Run& run);
    void takeHeldKeys(Run& run);
    // the music row: the end rule and the row effects,
    void followMusic(Run& run);
    // the drawing, in the order of the layers,
    void drawTiles(Run& run);
    void drawModel();
    void drawSprites(Run& run);
    void turnByHand();
    void drawBanner(Run& run);
    void drawGlitchAndNoise(Run& run);
    void blurFrame();
    void drawOverlay();
    // (then the present). After the last frame:
    void end3D(Run& run);
    // The time since the last mark belongs to phase (only with a profile).
    void mark(SceneProfile::Phase phase) {
        if (profile) profile->mark(phase);
    }
};

// run3D reads the keys held down from the outside world (framework/outside_world.h).

// A random colour in the video format: rand() mod 255 for blue, green, red, in that order.
uint32_t randomColor();
