// The running order: the 22 steps of the production as one table of
// descriptions, in the terms the production is planned in (the kind of scene,
// the model and where it stands, the glides of animators A, B and E with their
// targets and step variables, the scene's and the camera's settings, how the
// step ends). Production::runStep reads a row and runs it; the tools and the
// tests read the same rows (for example which steps are 3D).
//
// Constant data, read on any thread; nothing here changes at run time.
// Not for: describing anything that is not a step of the running order.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

constexpr int kSceneCount = 22;

enum class StepKind : uint8_t { kOpening, kPicture, kTextPage, k3D, kClosing };

// "Leave it as it is": a float the step does not write.
constexpr float kKeep = std::numeric_limits<float>::quiet_NaN();
constexpr uint32_t kKeepColor = 0x1000000;  // no pixel value: the model keeps its colour

// The production's float step variables, which the glides step by.
enum class StepVariable : uint8_t { kStepA, kStepB, kStepC };

// The production's reused animators.
enum class AnimatorName : uint8_t { kNone, kA, kB, kE };

// What a glide moves: a component of the model's place or turn, the scene's
// flash amount or the camera's ghost offset.
enum class GlideTarget : uint8_t {
    kPositionX, kPositionY, kPositionZ, kRotationX, kRotationY, kRotationZ, kSceneFlashAmount, kCameraGhostOffset
};

// One of animators A, B, E moving one float to a target, started at once.
struct Glide {
    AnimatorName animator = AnimatorName::kNone;  // kNone: no glide in this place
    GlideTarget target = GlideTarget::kRotationY;
    float to = 0;
    StepVariable step = StepVariable::kStepA;
    // The value it starts from; kKeep: set up and started from where the value
    // already is (steps 3 and 4); a timer the animator still runs is stopped
    // first.
    float from = kKeep;
    int32_t intervalMs = 60;
};

// The scene's and the camera's settings a step writes after setup. Flags are
// switched on with the default value 1.
enum class Setting : uint8_t {
    kEnd,  // the end of a list
    // Scene
    kTiles, kBanner, kFlash, kFlashPeriod, kFlashSpeed, kFlashAmount, kFlashWhenAtRest, kWhiteFlash, kWhitePeriod,
    kColorCycle, kColorPeriod, kSharpLastFrame, kSwayX, kSwayZ, kSprites, kGhostFromRow, kBlurAmount, kBlurTarget,
    // Camera
    kInterlace, kGhost, kGhostOffset, kShowNormals, kNormalColor, kScanlineGlitch, kFlares,
};

struct SettingValue {
    Setting what = Setting::kEnd;
    float value = 1;  // integers and 24-bit colours are exact in a float
};

// The magnolia's growth (step 8), the scene's end sequence: the faces grow
// faceStep a tick from none to all but the last; then the model moves to
// moveTo, each component by moveStep; then it turns to turnTo by turnStep.
// The step ends when the turn has arrived.
struct Growth {
    int32_t faceStep = 0;  // 0: no growth, the step ends by time
    float moveTo[3] = {};
    StepVariable moveStep = StepVariable::kStepA;
    float turnTo[3] = {};
    StepVariable turnStep = StepVariable::kStepA;
};

enum class Faces : uint8_t { kFacesKept, kNoFaces, kAllFaces };  // what the step does to the drawn-face count

constexpr int kMaxGlides = 3;
constexpr int kMaxSettings = 10;

struct StepDescription {
    StepKind kind = StepKind::k3D;
    // What a viewer would call the step (the recorder's progress line), and
    // its length in frames of a recording at 60 fps, seed 1, no key pressed
    // (measured; the recorder's estimate of what is left).
    const char* name = "";
    int32_t plannedFrames = 0;

    // 3D: the model (the first whose name holds this text) and its state at the start.
    const char* model = nullptr;
    float position[3] = {};
    float rotation[3] = {kKeep, kKeep, kKeep};  // kKeep: the turn the last step left
    uint32_t color = kKeepColor;
    int8_t perFaceColor = -1;  // -1: kept
    Faces faces = Faces::kFacesKept;
    // The step variables, written before setup; kKeep leaves one as it is.
    float stepA = kKeep, stepB = kKeep, stepC = kKeep;
    Glide glides[kMaxGlides] = {};  // started in this order, after the settings
    Growth growth = {};

    // The scene: setup's seconds (3D and picture), the backdrop that replaces
    // the scene's own (a picture number 1 .. 7, 0 for none), the settings.
    int32_t seconds = 0;
    int8_t backdrop = 0;
    SettingValue settings[kMaxSettings] = {};

    // Picture: the picture shown when there is no backdrop (1 .. 7, 0 for none).
    int8_t shown = 0;

    // Text page.
    const char* const* lines = nullptr;
    int32_t scale = 0, rowPeriod = 0, holdSeconds = 0;
};

// Step n of the production is kRunningOrder[n - 1].
extern const StepDescription kRunningOrder[kSceneCount];

inline bool is3DStep(int number) {
    return number >= 1 && number <= kSceneCount && kRunningOrder[number - 1].kind == StepKind::k3D;
}

// The numbers of the steps of one kind, runs of three or more written as a
// range: "3 .. 5, 8 .. 10, 14 .. 21" for the 3D steps.
std::string stepNumbersOfKind(StepKind kind);
