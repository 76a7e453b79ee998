// Scene: the runner of every 3D scene of the production and of the picture
// interludes between them. The timeline owns the one Scene of a run; for each
// scene it calls setup, writes the settings it wants into the public fields,
// starts its own animators, then runs run3D or runPicture.
//
// Threads: main thread, except that the animators' ticks on SDL's timer
// thread move blurAmount, the banner position, the tile count and the model
// fields the timeline animates; those are read and written through
// loadAnimated/storeAnimated. Not for: running two loops at once, or for
// surfaces other than the engine's screen.
#pragma once

#include <SDL/SDL.h>
#include <cstdint>
#include <vector>

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

struct Scene {
    int32_t swayX;
    int32_t noise;
    int32_t blurEnabled;
    int32_t tiles;
    int32_t overlay;
    int32_t manualRotation;
    int32_t banner;
    int32_t ghostFromRow;
    int32_t flash;
    int32_t whiteFlash;
    int32_t colorCycle;
    uint32_t flashPeriod;
    float flashSpeed;
    float flashAmount;
    uint32_t colorPeriod;
    uint32_t whitePeriod;
    int32_t sharpLastFrame;
    int32_t flashWhenAtRest;
    int32_t swayZ;
    int32_t sprites;
    float blurAmount;
    float blurTarget;
    Song* player;                     // not owned
    Engine* engine;                   // not owned
    MeshObject* object;               // not owned, may be null
    AnimationSequence* endSequence;   // not owned, may be null
    Camera* camera;                   // owned
    TextLabel* label;                 // owned
    SparkSystem* sparks;              // owned
    uint8_t quit;
    int32_t seconds;
    int32_t unlimited;
    std::vector<Sprite*> spriteList;  // owned
    Image* background;                // owned
    Image* backgroundOverride;        // not owned, may be null
    Image* bannerImage;               // owned
    SceneProfile* profile;            // not owned; null in the production
    // Kept from one scene to the next for as long as the Scene lives (the
    // whole run): the manual rotation angles, taken from the model of the
    // first run3D and never again, the sway angles and the sprites' phase.
    float manualX, manualY, manualZ;
    bool manualAnglesTaken;
    float swayAngleX, swayAngleZ;
    float spritePhase;

    Scene();
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    void setup(Engine* engine, MeshObject* object, int32_t seconds);
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
