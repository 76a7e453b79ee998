#include "scenes/timeline.h"

#include <cmath>
#include <cstdio>

#include "framework/animator.h"
#include "framework/engine.h"
#include "framework/outside_world.h"
#include "geometry/model_library.h"
#include "image/image.h"
#include "models/models.h"
#include "music/module_file.h"
#include "music/music.h"
#include "music/playback_thread.h"
#include "music/player.h"
#include "music/xm_loader.h"
#include "pictures/pictures.h"
#include "render/camera.h"
#include "render/effects.h"
#include "scenes/music_position.h"
#include "scenes/running_order.h"
#include "scenes/scene.h"
#include "scenes/title_scenes.h"

namespace {

const unsigned char* const pictureData[7] = {picture1Jpeg, picture2Jpeg, picture3Jpeg, picture4Jpeg,
                                             picture5Jpeg, picture6Jpeg, picture7Jpeg};
const unsigned long* const pictureSizes[7] = {&picture1Jpeg_size, &picture2Jpeg_size, &picture3Jpeg_size,
                                              &picture4Jpeg_size, &picture5Jpeg_size, &picture6Jpeg_size,
                                              &picture7Jpeg_size};

}  // namespace

Production::Production() : module(kestrulaXm), moduleSize(kestrulaXm_size) {}

void Production::stopAnimators() {
    animatorA.stop();
    animatorB.stop();
    animatorE.stop();
}

float* Production::stepVariable(StepVariable which) {
    switch (which) {
        case StepVariable::kStepA: return &stepA;
        case StepVariable::kStepB: return &stepB;
        case StepVariable::kStepC: return &stepC;
    }
    return nullptr;
}

MeshObject* Production::place(const StepDescription& step) {
    MeshObject* m = findModel(library, step.model);
    m->setPosition(step.position[0], step.position[1], step.position[2]);
    if (step.color != kKeepColor) m->setColor(step.color);
    if (!std::isnan(step.rotation[0])) m->setRotation(step.rotation[0], step.rotation[1], step.rotation[2]);
    if (step.perFaceColor >= 0) m->perFaceColor = step.perFaceColor;
    if (step.faces == Faces::kNoFaces) storeAnimated(m->drawCount, 0);
    if (step.faces == Faces::kAllFaces) storeAnimated(m->drawCount, m->faceCount);
    return m;
}

void Production::applySettings(const SettingValue* settings) {
    for (int i = 0; i < kMaxSettings && settings[i].what != Setting::kEnd; ++i)
        scene->apply(settings[i].what, settings[i].value);
}

void Production::startGlide(const Glide& glide, MeshObject* m) {
    Animator& a = glide.animator == AnimatorName::kA ? animatorA : glide.animator == AnimatorName::kB ? animatorB
                                                                                                     : animatorE;
    float* const targets[] = {&m->position.x, &m->position.y, &m->position.z, &m->rotation.x, &m->rotation.y,
                              &m->rotation.z, &scene->settings.flashAmount, &scene->camera->ghostOffset};
    float* value = targets[int(glide.target)];
    float* step = stepVariable(glide.step);
    if (!std::isnan(glide.from)) {
        a.makeFloat(value, glide.to, step, glide.from, glide.intervalMs, 1);
        return;
    }
    // From where the value is. Between steps stopAnimators() has left the
    // animator without a timer; a step that names it twice still has one
    // running, and that one is stopped, not dropped, or it would tick on.
    a.stop();
    a.isFloat.store(1);
    a.finished.store(0);
    a.setOnFinish(nullptr, nullptr);
    a.setupFloat(value, glide.to, step, glide.intervalMs);
    a.start();
}

int32_t Production::run3D(const StepDescription& step) {
    MeshObject* m = place(step);
    const float values[3] = {step.stepA, step.stepB, step.stepC};
    for (int i = 0; i < 3; ++i)
        if (!std::isnan(values[i])) *stepVariable(StepVariable(i)) = values[i];

    // The growth: the faces, then the move (three animators at once), then the turn.
    const Growth& growth = step.growth;
    AnimationSequence sequence;
    if (growth.faceStep) {
        faceStep = growth.faceStep;
        Animator* faces = new Animator;
        faces->setupInt(&m->drawCount, m->faceCount - 1, &faceStep, 60);
        sequence.addStep(faces);
        float* const values[2][3] = {{&m->position.x, &m->position.y, &m->position.z},
                                     {&m->rotation.x, &m->rotation.y, &m->rotation.z}};
        for (int group = 0; group < 2; ++group) {
            const float* to = group ? growth.turnTo : growth.moveTo;
            float* by = stepVariable(group ? growth.turnStep : growth.moveStep);
            for (int i = 0; i < 3; ++i) {
                Animator* a = new Animator;
                a->isFloat.store(1);
                a->setupFloat(values[group][i], to[i], by, 60);
                i == 0 ? sequence.addStep(a) : sequence.addToLastStep(a);
            }
        }
    }

    scene->setup(engine, m, step.seconds);
    scene->settings.backgroundOverride = pictureNumbered(step.backdrop);
    applySettings(step.settings);
    if (growth.faceStep) scene->settings.endSequence = &sequence;
    for (const Glide& glide : step.glides)
        if (glide.animator != AnimatorName::kNone) startGlide(glide, m);
    if (growth.faceStep) sequence.startStep(0);
    const int32_t result = scene->run3D();
    stopAnimators();
    return result;  // the sequence goes here, and its timers with it
}

int32_t Production::picture(const StepDescription& step) {
    scene->setup(engine, nullptr, 0);
    scene->settings.backgroundOverride = pictureNumbered(step.backdrop);
    return scene->runPicture(pictureNumbered(step.shown), step.seconds);
}

int32_t Production::runStep(int number) {
    if (number < 1 || number > kSceneCount) return kSceneEnded;
    const StepDescription& step = kRunningOrder[number - 1];
    switch (step.kind) {
        case StepKind::kOpening: return runOpening(engine, song, titles);
        case StepKind::kPicture: return picture(step);
        case StepKind::kTextPage:
            return runTextPage(engine, song, titles, step.lines, step.scale, step.rowPeriod, step.holdSeconds);
        case StepKind::k3D: return run3D(step);
        case StepKind::kClosing:
            scene->setup(engine, nullptr, 0);
            return runClosing(engine, song, titles);
    }
    return kSceneEnded;
}

int Production::start(int argc, char** argv) {
    engine = new Engine;
    if (!engine->init(argc, argv, 800, 600, 1)) {
        // Every scene draws on the screen: without one there is nothing to show.
        delete engine;
        engine = nullptr;
        return 1;
    }
    setEmbeddedModule(module, moduleSize);
    setFileCallbacks(embeddedOpen, embeddedClose, embeddedRead, embeddedSeek, embeddedTell);
    if (!openAudio(44100, outsideWorld().sound)) {
        std::printf("Error upon initialization.\n");
        std::fflush(stdout);
        delete engine;
        engine = nullptr;
        return 1;
    }
    song = loadSong("KESTRULA.XM", nullptr);
    if (!song) {
        closeAudio();
        std::printf("Error loading song\n");
        std::fflush(stdout);
        delete engine;
        engine = nullptr;
        return 1;
    }
    if (playbackThread)
        playSong(song);
    else
        rewindSong(song);

    scene = new Scene;
    for (int i = 0; i < 7; ++i) pictures[i] = new Image(pictureData[i], int32_t(*pictureSizes[i]));
    const Color shade{0, 180};
    for (int i : {1, 2, 3, 4})
        if (pictures[i]->surface) vignette(pictures[i]->surface, &shade);
    for (const EmbeddedModel& model : embeddedModels)
        addTableModel(library, model.table, model.scale, model.materials, model.materialCount, model.flipQuads);
    scene->player = song;
    return 0;
}

void Production::shutdown(bool freePictures) {
    stopAnimators();
    if (freePictures)
        for (Image*& shown : pictures) {
            delete shown;
            shown = nullptr;
        }
    stopSong(song);
    closeAudio();
    // The production is the song's one owner; the playback thread has stopped.
    freeSong(song);
    song = nullptr;
    delete scene;
    scene = nullptr;
    destroyLibrary(library);
    // After a stop the pictures are left to the very end; SDL must still be up to free them.
    for (Image*& shown : pictures) {
        delete shown;
        shown = nullptr;
    }
    delete engine;
    engine = nullptr;
}

int runTimeline(int argc, char** argv) {
    Production* production = new Production;
    const int failed = production->start(argc, argv);
    if (failed) {
        delete production;
        return failed;
    }
    int32_t result = kSceneEnded;
    for (int number = 1; number <= kSceneCount && result != kSceneStop; ++number) result = production->runStep(number);
    production->shutdown(result != kSceneStop);
    delete production;
    return 0;
}
