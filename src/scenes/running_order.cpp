#include "scenes/running_order.h"

namespace {

using enum StepKind;
using enum StepVariable;
using enum AnimatorName;
using enum GlideTarget;
using enum Setting;
using enum Faces;

const char* const eventLines[] = {"HELLO", "SILICON", "SUMMIT", "2026", "", "<3", nullptr};
const char* const greetingLines[] = {"GREETINGS TO", "~~~~~~~~~~~~", "KVANTUM", "TEAL MANTIS", "ORBITAL DUST",
                                     "HEXAGLOW", "MOIRE BROS", "NOCTILUCA", nullptr};

}  // namespace

// Glides: {animator, what it moves, target, step variable, start (kKeep: where
// it is), interval in ms (60 unless given)}.
const StepDescription kRunningOrder[kSceneCount] = {
    // 1
    {.kind = kOpening, .name = "opening title", .plannedFrames = 1690},
    // 2
    {.kind = kPicture, .name = "first picture", .plannedFrames = 181, .backdrop = 1},
    // 3: the sphere spins and comes closer while the ghost drifts away.
    {.name = "sphere", .plannedFrames = 1087,
     .model = "sphere", .position = {0, 0, 450}, .rotation = {0, 0, -0.01f}, .color = 0xFFFFFF,
     .stepA = 0.5f, .stepB = 0.09f,
     .glides = {{kA, kRotationY, 360, kStepB}, {kB, kPositionZ, 200, kStepB}, {kE, kCameraGhostOffset, 100, kStepA}},
     .seconds = 15, .backdrop = 1,
     .settings = {{kFlashSpeed, 4.0f}, {kFlashAmount, 10.0f}, {kFlash}, {kWhiteFlash}, {kWhitePeriod, 16}, {kSwayZ},
                  {kInterlace}, {kGhost}, {kGhostOffset, 2.0f}}},
    // 4: the glob spins and goes away; A makes its flashes ever stronger.
    {.name = "glob", .plannedFrames = 1610,
     .model = "glob", .position = {0, -40, 450}, .rotation = {0, 0, -0.01f},
     .stepA = 4.0f, .stepB = 0.05f, .stepC = 0.1f,
     .glides = {{kE, kRotationY, 360, kStepB}, {kB, kPositionZ, -200, kStepA},
                {kA, kSceneFlashAmount, 10.0f, kStepC, kKeep, 500}},
     .seconds = 25,
     .settings = {{kTiles, 0}, {kBanner, 0}, {kFlash}, {kFlashSpeed, 0.6f}, {kFlashPeriod, 32}, {kWhiteFlash},
                  {kColorCycle}, {kInterlace}}},
    // 5: the octopus turns.
    {.name = "octopus", .plannedFrames = 808,
     .model = "OCTO", .position = {100, 0, -270}, .rotation = {-1.3f, 5.2f, -0.01f}, .color = 0x0066FF,
     .stepC = 0.04f,
     .glides = {{kA, kRotationY, 360, kStepC, 0}},
     .seconds = 10,
     .settings = {{kTiles, 0}, {kBanner, 0}, {kSharpLastFrame}, {kBlurAmount, 200.0f}, {kBlurTarget, 128.0f},
                  {kColorCycle}, {kColorPeriod, 32}, {kWhiteFlash}}},
    // 6
    {.kind = kTextPage, .name = "hello page", .plannedFrames = 565,
     .lines = eventLines, .scale = 6, .rowPeriod = 8, .holdSeconds = 4},
    // 7
    {.kind = kPicture, .name = "second picture", .plannedFrames = 181, .backdrop = 4},
    // 8: the magnolia grows face by face while it turns, then moves in and
    // straightens up; the step ends with the growth.
    {.name = "magnolia grows", .plannedFrames = 995,
     .model = "magnolia", .position = {100, -80, -100}, .rotation = {0, 0, -0.01f}, .perFaceColor = 1,
     .faces = kNoFaces, .stepA = 0.05f, .stepB = 6.5f, .stepC = 0.005f,
     .glides = {{kA, kRotationY, 360, kStepC, 0}},
     .growth = {.faceStep = 6, .moveTo = {13.35f, 0.0f, 330.0f}, .moveStep = kStepB,
                .turnTo = {1.6f, 0.0f, -0.01f}, .turnStep = kStepA},
     .seconds = 6, .backdrop = 4,
     .settings = {{kSprites}}},
    // 9: the grown magnolia turns where step 8 left it.
    {.name = "magnolia normals", .plannedFrames = 411,
     .model = "magnolia", .position = {13.35f, 0, 330}, .rotation = {1.6f, 0, -0.01f}, .perFaceColor = 1,
     .faces = kAllFaces, .stepA = 0.008f,
     .glides = {{kA, kRotationY, 360, kStepA, 0}},
     .seconds = 6,
     .settings = {{kBlurAmount, 12.0f}, {kTiles, 0}, {kShowNormals}, {kScanlineGlitch}}},
    // 10: the magnolia spins fast and flies away.
    {.name = "magnolia flight", .plannedFrames = 805,
     .model = "magnolia", .position = {13.35f, 0, 830}, .rotation = {0.45f, 38.3f, -0.01f}, .perFaceColor = 0,
     .faces = kAllFaces, .stepA = 0.01f, .stepB = 2.0f,
     .glides = {{kA, kRotationY, 360, kStepA, 0, 10}, {kB, kPositionZ, -600, kStepB, 830}},
     .seconds = 10,
     .settings = {{kBlurAmount, 8.0f}, {kTiles, 0}, {kShowNormals}, {kScanlineGlitch}}},
    // 11
    {.kind = kTextPage, .name = "greetings page", .plannedFrames = 728,
     .lines = greetingLines, .scale = 4, .rowPeriod = 8, .holdSeconds = 4},
    // 12
    {.kind = kPicture, .name = "photograph", .plannedFrames = 360, .seconds = 5, .shown = 6},
    // 13
    {.kind = kPicture, .name = "third picture", .plannedFrames = 181, .backdrop = 2},
    // 14: the cow goes away.
    {.name = "cow arrives", .plannedFrames = 344,
     .model = "cow", .position = {0, 0, -200}, .rotation = {0.2f, -1.55f, 0}, .color = 0x00AAAA, .stepB = 1.0f,
     .glides = {{kB, kPositionZ, 600, kStepB, -200}},
     .seconds = 2, .backdrop = 2,
     .settings = {{kWhiteFlash}, {kInterlace}}},
    // 15: the cow goes away again, from further.
    {.name = "red-lined cow", .plannedFrames = 538,
     .model = "cow", .position = {0, 0, 400}, .rotation = {0.2f, -1.55f, 0}, .color = 0x00AAAA, .stepB = 1.0f,
     .glides = {{kB, kPositionZ, 600, kStepB, 400}},
     .seconds = 9, .backdrop = 2,
     .settings = {{kNormalColor, float(0xFF0000)}, {kShowNormals}, {kColorCycle}, {kWhiteFlash}}},
    // 16: the cow stands still and falls apart on stairs.
    {.name = "yellow cow", .plannedFrames = 538,
     .model = "cow", .position = {-30, 0, 400}, .rotation = {0, 0, 0}, .color = 0xFFFF00,
     .seconds = 8, .backdrop = 2,
     .settings = {{kFlashSpeed, 0.1f}, {kNormalColor, float(0xFF00FF)}, {kShowNormals}, {kInterlace},
                  {kFlashWhenAtRest}, {kFlash}, {kColorCycle}, {kWhiteFlash}}},
    // 17: the spring turns.
    {.name = "spring", .plannedFrames = 537,
     .model = "SPRING", .position = {0, 50, 180}, .rotation = {0.2f, -1.55f, 0}, .color = 0x00AAAA, .stepB = 0.05f,
     .glides = {{kB, kRotationY, 360, kStepB, 0}},
     .seconds = 8, .backdrop = 3,
     .settings = {{kFlares}, {kWhiteFlash}, {kColorCycle}, {kColorPeriod, 8}}},
    // 18: the teddy rises and turns while it sways.
    {.name = "swaying teddy", .plannedFrames = 806,
     .model = "teddy", .position = {100, 0, 120}, .color = 0xFFBB00, .stepA = 0.05f, .stepB = 0.2f,
     .glides = {{kB, kPositionY, 80, kStepB, 0}, {kA, kRotationY, 360, kStepA, 0}},
     .seconds = 10, .backdrop = 5,
     .settings = {{kBanner, 0}, {kSwayX}, {kSwayZ}, {kFlash}}},
    // 19: the teddy rises and rolls.
    {.name = "blue teddy", .plannedFrames = 270,
     .model = "teddy", .position = {100, 0, 200}, .color = 0x00BBFF, .stepA = 0.2f, .stepB = 0.05f,
     .glides = {{kA, kPositionY, 80, kStepA, 0}, {kB, kRotationZ, 360, kStepB, 0}},
     .seconds = 3, .backdrop = 5,
     .settings = {{kBanner, 0}, {kFlash}, {kFlashSpeed, 0.01f}, {kFlashAmount, 3.0f}, {kBlurTarget, 6.0f},
                  {kGhostFromRow}}},
    // 20: the teddy tumbles and rolls.
    {.name = "green teddy", .plannedFrames = 805,
     .model = "teddy", .position = {0, 0, 200}, .color = 0x00FF00, .stepA = 0.05f, .stepB = 0.01f,
     .glides = {{kB, kRotationX, 360, kStepB, 0}, {kA, kRotationZ, 360, kStepA, 0}},
     .seconds = 10, .backdrop = 5,
     .settings = {{kBanner, 0}, {kWhiteFlash}, {kWhitePeriod, 8}, {kFlash}, {kFlashSpeed, 0.01f},
                  {kFlashAmount, 8.0f}, {kBlurAmount, 6.0f}, {kBlurTarget, 16.0f}}},
    // 21: the teddy turns.
    {.name = "spinning teddy", .plannedFrames = 806,
     .model = "teddy", .position = {0, 0, 200}, .color = 0x00FF00, .stepA = 0.09f,
     .glides = {{kA, kRotationY, 360, kStepA, 0}},
     .seconds = 10, .backdrop = 5,
     .settings = {{kBanner, 0}, {kWhiteFlash}, {kWhitePeriod, 4}, {kFlash}, {kFlashSpeed, 0.01f},
                  {kFlashAmount, 8.0f}, {kBlurAmount, 16.0f}, {kBlurTarget, 32.0f}, {kSharpLastFrame}}},
    // 22
    {.kind = kClosing, .name = "closing title", .plannedFrames = 1409},
};

std::string stepNumbersOfKind(StepKind kind) {
    std::string text;
    for (int first = 1; first <= kSceneCount; ++first) {
        if (kRunningOrder[first - 1].kind != kind) continue;
        int last = first;
        while (last < kSceneCount && kRunningOrder[last].kind == kind) ++last;
        if (!text.empty()) text += ", ";
        text += std::to_string(first);
        if (last - first >= 2) {
            text += " .. " + std::to_string(last);
        } else if (last > first) {
            text += ", " + std::to_string(last);
        }
        first = last;
    }
    return text;
}
