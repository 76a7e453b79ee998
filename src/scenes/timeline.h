// The production's running order: start-up, the 22 scenes with the settings
// of each, and the shutdown. Main thread; it starts the playback thread and
// the animators' timers and stops them all before it returns. Production is
// the same running order taken apart, so that a tool can start everything
// and play one step of it.
#pragma once

#include <cstdint>

#include "framework/animator.h"
#include "geometry/model_library.h"
#include "scenes/running_order.h"
#include "scenes/title_scenes.h"

struct Engine;
struct Image;
struct Scene;
struct Song;

struct Production {
    Engine* engine = nullptr;
    Song* song = nullptr;
    ModelLibrary library;
    Scene* scene = nullptr;
    Image* pictures[7] = {};
    // Reused scene after scene; stopped after every scene.
    Animator animatorA, animatorB, animatorE;
    float stepA = 0, stepB = 0, stepC = 0;
    int32_t faceStep = 6;
    // What the opening, the text pages and the closing keep from one call to the next.
    TitleState titles;
    // The module served as "KESTRULA.XM": the embedded one, unless a test
    // hands in other bytes before start.
    const unsigned char* module;
    unsigned long moduleSize;
    // False: start() only rewinds the song and starts no playback thread, so
    // that whoever runs the steps (a recorder) renders the music itself.
    bool playbackThread = true;

    Production();

    // Engine, music, scene, pictures, models, in the production's order;
    // 0, or the exit status of a failed start (everything already undone).
    int start(int argc, char** argv);
    // Runs step 1 .. 22 of the running order (kRunningOrder); the scene's result code.
    int32_t runStep(int number);
    // Stops and frees everything; the pictures first only after a normal end.
    void shutdown(bool freePictures);

    void stopAnimators();
    // The parts of a 3D step, in the order run3D takes them.
    MeshObject* place(const StepDescription& step);
    void applySettings(const SettingValue* settings);
    void startGlide(const Glide& glide, MeshObject* model);
    int32_t run3D(const StepDescription& step);
    int32_t picture(const StepDescription& step);

    Image* pictureNumbered(int number) const { return number ? pictures[number - 1] : nullptr; }
    float* stepVariable(StepVariable which);
};

// Plays the whole production; returns the process exit status (0 after the
// sequence or a stop, 1 when the video mode, the sound device or the module
// cannot be had).
int runTimeline(int argc, char** argv);
