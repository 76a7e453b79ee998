#include "scenes/timeline.h"

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
#include "scenes/scene.h"
#include "scenes/title_scenes.h"

namespace {

const char* const eventLines[] = {"HELLO", "SILICON", "SUMMIT", "2026", "", "<3", nullptr};
const char* const greetingLines[] = {"GREETINGS TO", "~~~~~~~~~~~~", "KVANTUM", "TEAL MANTIS", "ORBITAL DUST",
                                     "HEXAGLOW", "MOIRE BROS", "NOCTILUCA", nullptr};

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

MeshObject* Production::place(const char* name, float x, float y, float z) {
    MeshObject* m = findModel(library, name);
    m->setPosition(x, y, z);
    return m;
}

void Production::glide(Animator& a, float* value, float target, float* step, int32_t intervalMs) {
    a.timer.store(nullptr);
    a.isFloat.store(1);
    a.finished.store(0);
    a.setOnFinish(nullptr, nullptr);
    a.setupFloat(value, target, step, intervalMs);
    a.start();
}

int32_t Production::run3D(MeshObject* model, int32_t seconds, void (*settings)(Production&, MeshObject*)) {
    scene->setup(engine, model, seconds);
    settings(*this, model);
    const int32_t result = scene->run3D();
    stopAnimators();
    return result;
}

int32_t Production::picture(Image* override, Image* shown, int32_t seconds) {
    scene->setup(engine, nullptr, 0);
    scene->backgroundOverride = override;
    return scene->runPicture(shown, seconds);
}

int32_t Production::runStep(int number) {
    Scene& s = *scene;
    switch (number) {
        case 1: return runOpening(engine);
        case 2: return picture(pictures[0], nullptr, 0);
        case 3: {
            MeshObject* m = place("sphere", 0, 0, 450);
            m->setColor(0xFFFFFF);
            m->setRotation(0, 0, -0.01f);
            stepB = 0.09f, stepA = 0.5f;
            return run3D(m, 15, [](Production& t, MeshObject* m) {
                Scene& s = *t.scene;
                s.backgroundOverride = t.pictures[0];
                s.flashSpeed = 4.0f;
                s.flashAmount = 10.0f;
                s.flash = 1;
                s.whiteFlash = 1;
                s.whitePeriod = 16;
                s.swayZ = 1;
                s.camera->interlace = 1;
                s.camera->ghost = 1;
                s.camera->ghostOffset = 2.0f;
                glide(t.animatorA, &m->rotation.y, 360, &t.stepB);
                glide(t.animatorB, &m->position.z, 200, &t.stepB);
                glide(t.animatorE, &s.camera->ghostOffset, 100, &t.stepA);
            });
        }
        case 4: {
            MeshObject* m = place("glob", 0, -40, 450);
            m->setRotation(0, 0, -0.01f);
            stepA = 4.0f, stepB = 0.05f, stepC = 0.1f;
            return run3D(m, 25, [](Production& t, MeshObject* m) {
                Scene& s = *t.scene;
                s.tiles = 0;
                s.banner = 0;
                s.flash = 1;
                s.flashSpeed = 0.6f;
                s.flashPeriod = 32;
                s.whiteFlash = 1;
                s.colorCycle = 1;
                s.camera->interlace = 1;
                glide(t.animatorE, &m->rotation.y, 360, &t.stepB);
                glide(t.animatorB, &m->position.z, -200, &t.stepA);
                glide(t.animatorA, &s.flashAmount, 10.0f, &t.stepC, 500);
            });
        }
        case 5: {
            MeshObject* m = place("OCTO", 100, 0, -270);
            m->setColor(0x0066FF);
            m->setRotation(-1.3f, 5.2f, -0.01f);
            stepC = 0.04f;
            return run3D(m, 10, [](Production& t, MeshObject* m) {
                Scene& s = *t.scene;
                s.tiles = 0;
                s.banner = 0;
                s.sharpLastFrame = 1;
                storeAnimated(s.blurAmount, 200.0f);
                s.blurTarget = 128.0f;
                s.colorCycle = 1;
                s.colorPeriod = 32;
                s.whiteFlash = 1;
                t.animatorA.makeFloat(&m->rotation.y, 360, &t.stepC, 0, 60, 1);
            });
        }
        case 6: return runTextPage(engine, eventLines, 6, 8, 4);
        case 7: return picture(pictures[3], nullptr, 0);
        case 8: {
            MeshObject* m = place("magnolia", 100, -80, -100);
            m->perFaceColor = 1;
            m->setRotation(0, 0, -0.01f);
            stepC = 0.005f, stepB = 6.5f, stepA = 0.05f, faceStep = 6;
            storeAnimated(m->drawCount, 0);
            AnimationSequence sequence;
            Animator* faces = new Animator;
            faces->setupInt(&m->drawCount, m->faceCount - 1, &faceStep, 60);
            sequence.addStep(faces);
            Animator* moves[3] = {new Animator, new Animator, new Animator};
            Animator* turns[3] = {new Animator, new Animator, new Animator};
            for (Animator* a : moves) a->isFloat.store(1);
            for (Animator* a : turns) a->isFloat.store(1);
            moves[0]->setupFloat(&m->position.x, 13.35f, &stepB, 60);
            moves[1]->setupFloat(&m->position.y, 0.0f, &stepB, 60);
            moves[2]->setupFloat(&m->position.z, 330.0f, &stepB, 60);
            sequence.addStep(moves[0]);
            sequence.addToLastStep(moves[1]);
            sequence.addToLastStep(moves[2]);
            turns[0]->setupFloat(&m->rotation.x, 1.6f, &stepA, 60);
            turns[1]->setupFloat(&m->rotation.y, 0.0f, &stepA, 60);
            turns[2]->setupFloat(&m->rotation.z, -0.01f, &stepA, 60);
            sequence.addStep(turns[0]);
            sequence.addToLastStep(turns[1]);
            sequence.addToLastStep(turns[2]);

            s.setup(engine, m, 6);
            s.backgroundOverride = pictures[3];
            s.endSequence = &sequence;
            s.sprites = 1;
            animatorA.makeFloat(&m->rotation.y, 360, &stepC, 0, 60, 1);
            sequence.startStep(0);
            const int32_t result = s.run3D();
            stopAnimators();
            return result;  // the sequence goes here, and its timers with it
        }
        case 9: {
            MeshObject* m = place("magnolia", 13.35f, 0, 330);
            m->perFaceColor = 1;
            storeAnimated(m->drawCount, m->faceCount);
            m->setRotation(1.6f, 0, -0.01f);
            stepA = 0.008f;
            return run3D(m, 6, [](Production& t, MeshObject* m) {
                Scene& s = *t.scene;
                storeAnimated(s.blurAmount, 12.0f);
                s.tiles = 0;
                s.camera->showNormals = 1;
                s.camera->scanlineGlitch = 1;
                t.animatorA.makeFloat(&m->rotation.y, 360, &t.stepA, 0, 60, 1);
            });
        }
        case 10: {
            MeshObject* m = place("magnolia", 13.35f, 0, 830);
            m->perFaceColor = 0;
            storeAnimated(m->drawCount, m->faceCount);
            m->setRotation(0.45f, 38.3f, -0.01f);
            stepA = 0.01f, stepB = 2.0f;
            return run3D(m, 10, [](Production& t, MeshObject* m) {
                Scene& s = *t.scene;
                storeAnimated(s.blurAmount, 8.0f);
                s.tiles = 0;
                s.camera->showNormals = 1;
                s.camera->scanlineGlitch = 1;
                t.animatorA.makeFloat(&m->rotation.y, 360, &t.stepA, 0, 10, 1);
                t.animatorB.makeFloat(&m->position.z, -600, &t.stepB, 830, 60, 1);
            });
        }
        case 11: return runTextPage(engine, greetingLines, 4, 8, 4);
        case 12: return picture(nullptr, pictures[5], 5);
        case 13: return picture(pictures[1], nullptr, 0);
        case 14:
        case 15: {
            const bool first = number == 14;
            MeshObject* m = place("cow", 0, 0, first ? -200.0f : 400.0f);
            m->setColor(0x00AAAA);
            m->setRotation(0.2f, -1.55f, 0);
            stepB = 1.0f;
            if (first)
                return run3D(m, 2, [](Production& t, MeshObject* m) {
                    Scene& s = *t.scene;
                    s.backgroundOverride = t.pictures[1];
                    s.whiteFlash = 1;
                    s.camera->interlace = 1;
                    t.animatorB.makeFloat(&m->position.z, 600, &t.stepB, -200, 60, 1);
                });
            return run3D(m, 9, [](Production& t, MeshObject* m) {
                Scene& s = *t.scene;
                s.backgroundOverride = t.pictures[1];
                s.camera->normalColor = 0xFF0000;
                s.camera->showNormals = 1;
                s.colorCycle = 1;
                s.whiteFlash = 1;
                t.animatorB.makeFloat(&m->position.z, 600, &t.stepB, 400, 60, 1);
            });
        }
        case 16: {
            MeshObject* m = place("cow", -30, 0, 400);
            m->setColor(0xFFFF00);
            m->setRotation(0, 0, 0);
            return run3D(m, 8, [](Production& t, MeshObject*) {
                Scene& s = *t.scene;
                s.backgroundOverride = t.pictures[1];
                s.flashSpeed = 0.1f;
                s.camera->normalColor = 0xFF00FF;
                s.camera->showNormals = 1;
                s.camera->interlace = 1;
                s.flashWhenAtRest = 1;
                s.flash = 1;
                s.colorCycle = 1;
                s.whiteFlash = 1;
            });
        }
        case 17: {
            MeshObject* m = place("SPRING", 0, 50, 180);
            m->setColor(0x00AAAA);
            m->setRotation(0.2f, -1.55f, 0);
            stepB = 0.05f;
            return run3D(m, 8, [](Production& t, MeshObject* m) {
                Scene& s = *t.scene;
                s.backgroundOverride = t.pictures[2];
                s.camera->flares = 1;
                s.whiteFlash = 1;
                s.colorCycle = 1;
                s.colorPeriod = 8;
                t.animatorB.makeFloat(&m->rotation.y, 360, &t.stepB, 0, 60, 1);
            });
        }
        case 18: {
            MeshObject* m = place("teddy", 100, 0, 120);
            m->setColor(0xFFBB00);
            stepB = 0.2f, stepA = 0.05f;
            return run3D(m, 10, [](Production& t, MeshObject* m) {
                Scene& s = *t.scene;
                s.banner = 0;
                s.backgroundOverride = t.pictures[4];
                s.swayX = 1;
                s.swayZ = 1;
                s.flash = 1;
                t.animatorB.makeFloat(&m->position.y, 80, &t.stepB, 0, 60, 1);
                t.animatorA.makeFloat(&m->rotation.y, 360, &t.stepA, 0, 60, 1);
            });
        }
        case 19: {
            MeshObject* m = place("teddy", 100, 0, 200);
            m->setColor(0x00BBFF);
            stepA = 0.2f, stepB = 0.05f;
            return run3D(m, 3, [](Production& t, MeshObject* m) {
                Scene& s = *t.scene;
                s.banner = 0;
                s.backgroundOverride = t.pictures[4];
                s.flash = 1;
                s.flashSpeed = 0.01f;
                s.flashAmount = 3.0f;
                s.blurTarget = 6.0f;
                s.ghostFromRow = 1;
                t.animatorA.makeFloat(&m->position.y, 80, &t.stepA, 0, 60, 1);
                t.animatorB.makeFloat(&m->rotation.z, 360, &t.stepB, 0, 60, 1);
            });
        }
        case 20: {
            MeshObject* m = place("teddy", 0, 0, 200);
            m->setColor(0x00FF00);
            stepB = 0.01f, stepA = 0.05f;
            return run3D(m, 10, [](Production& t, MeshObject* m) {
                Scene& s = *t.scene;
                s.banner = 0;
                s.backgroundOverride = t.pictures[4];
                s.whiteFlash = 1;
                s.whitePeriod = 8;
                s.flash = 1;
                s.flashSpeed = 0.01f;
                s.flashAmount = 8.0f;
                storeAnimated(s.blurAmount, 6.0f);
                s.blurTarget = 16.0f;
                t.animatorB.makeFloat(&m->rotation.x, 360, &t.stepB, 0, 60, 1);
                t.animatorA.makeFloat(&m->rotation.z, 360, &t.stepA, 0, 60, 1);
            });
        }
        case 21: {
            MeshObject* m = place("teddy", 0, 0, 200);
            m->setColor(0x00FF00);
            stepA = 0.09f;
            return run3D(m, 10, [](Production& t, MeshObject* m) {
                Scene& s = *t.scene;
                s.banner = 0;
                s.backgroundOverride = t.pictures[4];
                s.whiteFlash = 1;
                s.whitePeriod = 4;
                s.flash = 1;
                s.flashSpeed = 0.01f;
                s.flashAmount = 8.0f;
                storeAnimated(s.blurAmount, 16.0f);
                s.blurTarget = 32.0f;
                s.sharpLastFrame = 1;
                t.animatorA.makeFloat(&m->rotation.y, 360, &t.stepA, 0, 60, 1);
            });
        }
        case 22:
            s.setup(engine, nullptr, 0);
            return runClosing(engine);
        default: return kSceneEnded;
    }
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
    demoSong = song;
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
