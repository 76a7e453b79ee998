#include "scenes/scene.h"

#include <time.h>

#include <cmath>
#include <cstdlib>

#include "framework/animator.h"
#include "framework/engine.h"
#include "framework/outside_world.h"
#include "framework/text_label.h"
#include "geometry/mesh_object.h"
#include "geometry/scatter_effect.h"
#include "image/image.h"
#include "pictures/pictures.h"
#include "render/camera.h"
#include "render/effects.h"
#include "render/raster.h"
#include "scenes/music_position.h"

namespace {


constexpr int kBannerWidth = 200, kBannerHeight = 95;
constexpr int kSpriteWidth = 64, kSpriteHeight = 51;

// Raw rows of red, green, blue bytes into an image of that size, pixel by pixel.
void copyRawRgb(Image* image, const unsigned char* rgb, int width, int height) {
    SDL_Surface* s = image->surface;
    if (!s) return;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = rgb + (y * width + x) * 3;
            putPixel(s, x, y, SDL_MapRGB(s->format, p[0], p[1], p[2]));
        }
}

// One 64x64 cell of the 12 x 9 grid with 4-pixel gaps, clipped to the screen.
SDL_Rect randomTile(const SDL_Surface* screen) {
    SDL_Rect r;
    r.x = Sint16((rand() % (screen->w / 64)) * 68);
    r.y = Sint16((rand() % (screen->h / 64)) * 68);
    r.w = 64;
    r.h = 64;
    clampRect(screen, &r);
    return r;
}

void blitTile(SDL_Surface* source, SDL_Surface* screen, SDL_Rect rect) {
    SDL_Rect to = rect;
    SDL_BlitSurface(source, &rect, screen, &to);
}

void scatterNoise(SDL_Surface* screen, bool discardOne) {
    const uint32_t black = SDL_MapRGB(screen->format, 0, 0, 0);
    // Cost: 6000 random pixels a frame.
    for (int i = 0; i < 6000; ++i) {
        if (discardOne) (void)rand();
        int32_t y = rand() % screen->h;
        int32_t x = rand() % screen->w;
        putPixel(screen, x, y, black);
    }
}

}  // namespace

namespace {
int64_t clockNs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
}  // namespace

void SceneProfile::beginFrame() {
    ++frames;
    lastMarkNs = clockNs(CLOCK_MONOTONIC);
    lastMarkCpuNs = clockNs(CLOCK_THREAD_CPUTIME_ID);
}

void SceneProfile::mark(Phase phase) {
    const int64_t now = clockNs(CLOCK_MONOTONIC), cpuNow = clockNs(CLOCK_THREAD_CPUTIME_ID);
    seconds[phase] += double(now - lastMarkNs) * 1e-9;
    cpuSeconds[phase] += double(cpuNow - lastMarkCpuNs) * 1e-9;
    lastMarkNs = now;
    lastMarkCpuNs = cpuNow;
}

uint32_t randomColor() {
    const int b = rand() % 255;
    const int g = rand() % 255;
    const int r = rand() % 255;
    return SDL_MapRGB(SDL_GetVideoSurface()->format, Uint8(r), Uint8(g), Uint8(b));
}

Scene::Scene() : camera(new Camera) {}

Scene::~Scene() { delete camera; }

SceneResources::~SceneResources() {
    delete label;
    delete background;
    delete bannerImage;
    if (sparks) {
        freeSparks(sparks);
        delete sparks;
    }
    for (Sprite* sprite : spriteList) {
        delete sprite->image;
        delete sprite;
    }
}

void SceneResources::build(SDL_Surface* screen, Camera* camera) {
    bannerImage = new Image(kBannerWidth, kBannerHeight);
    copyRawRgb(bannerImage, bannerRgb, kBannerWidth, kBannerHeight);
    bannerImage->setColorKey(255);  // pure blue
    if (bannerImage->surface) {
        const Color key{255, 255};
        // Every other column of the banner is see-through.
        for (int x = 0; x < kBannerWidth; x += 2) drawLine(bannerImage->surface, x, 0, x, kBannerHeight - 1, &key);
    }

    sparks = new SparkSystem;
    makeSparks(sparks, 1024);

    for (int i = 0; i < 4; ++i) {
        const int32_t y = rand() % screen->h;
        const int32_t x = rand() % screen->w;
        camera->addFlarePoint(x, y);
    }

    static const int32_t tints[4][3] = {{0, 80, -64}, {255, -64, -64}, {0, 80, 136}, {0, 80, 236}};
    for (int k = 0; k < 4; ++k) {
        Sprite* sprite = new Sprite{};
        sprite->image = new Image(kSpriteWidth, kSpriteHeight);
        copyRawRgb(sprite->image, spriteRgb, kSpriteWidth, kSpriteHeight);
        sprite->image->setColorKey(0xFF00FF);
        sprite->image->shiftColors(tints[k][0], tints[k][1], tints[k][2]);
        sprite->centerX = screen->w / 2;
        sprite->centerY = screen->h / 2;
        sprite->speedX = float(rand() % 9 + 1) * 0.006f;
        sprite->speedY = float(rand() % 9 + 1) * 0.006f;
        sprite->radiusX = rand() % 100 + rand() % 50 + 100;
        sprite->radiusY = rand() % 80 + 100;
        spriteList.push_back(sprite);
    }

    background = new Image(screen->w, screen->h);
    if (background->surface) {
        for (int y = 0; y < screen->h; y += 64)
            for (int x = 0; x < screen->w; x += 64)
                fillRect(background->surface, x, y, x + 64, y + 64, rand() % 2 ? 0xCCCCFF : 0);
        TextLabel::blur(background->surface, 32, 1, 1);
        const Color shade{0, 180};
        vignette(background->surface, &shade);
    }
}

void Scene::setup(Engine* engine_, MeshObject* object_, int32_t seconds_) {
    seconds = seconds_;
    engine = engine_;
    object = object_;
    quit = 0;
    unlimited = seconds_ == -1;
    SDL_Surface* screen = engine->screen;
    if (!resources.label) resources.label = new TextLabel(screen);
    // No animator runs between steps (the timeline and run3D stop theirs), so
    // the values the timer thread moves are plain to overwrite here.
    settings = SceneSettings{};
    camera->init(45, 10.0f, screen);
    // The first setup builds the resources every later scene shares.
    if (!resources.built()) resources.build(screen, camera);
}

namespace {

// Where each setting a step writes goes: a field of the settings or a switch
// of the camera. Flags, periods and colours take the value's whole part.
struct SettingField {
    Setting what;
    void (*write)(Scene& scene, float value);
};

const SettingField settingFields[] = {
    {Setting::kTiles, [](Scene& s, float v) { s.settings.tiles = int32_t(v); }},
    {Setting::kBanner, [](Scene& s, float v) { s.settings.banner = int32_t(v); }},
    {Setting::kFlash, [](Scene& s, float v) { s.settings.flash = int32_t(v); }},
    {Setting::kFlashPeriod, [](Scene& s, float v) { s.settings.flashPeriod = uint32_t(v); }},
    {Setting::kFlashSpeed, [](Scene& s, float v) { s.settings.flashSpeed = v; }},
    {Setting::kFlashAmount, [](Scene& s, float v) { s.settings.flashAmount = v; }},
    {Setting::kFlashWhenAtRest, [](Scene& s, float v) { s.settings.flashWhenAtRest = int32_t(v); }},
    {Setting::kWhiteFlash, [](Scene& s, float v) { s.settings.whiteFlash = int32_t(v); }},
    {Setting::kWhitePeriod, [](Scene& s, float v) { s.settings.whitePeriod = uint32_t(v); }},
    {Setting::kColorCycle, [](Scene& s, float v) { s.settings.colorCycle = int32_t(v); }},
    {Setting::kColorPeriod, [](Scene& s, float v) { s.settings.colorPeriod = uint32_t(v); }},
    {Setting::kSharpLastFrame, [](Scene& s, float v) { s.settings.sharpLastFrame = int32_t(v); }},
    {Setting::kSwayX, [](Scene& s, float v) { s.settings.swayX = int32_t(v); }},
    {Setting::kSwayZ, [](Scene& s, float v) { s.settings.swayZ = int32_t(v); }},
    {Setting::kSprites, [](Scene& s, float v) { s.settings.sprites = int32_t(v); }},
    {Setting::kGhostFromRow, [](Scene& s, float v) { s.settings.ghostFromRow = int32_t(v); }},
    {Setting::kBlurAmount, [](Scene& s, float v) { storeAnimated(s.settings.blurAmount, v); }},
    {Setting::kBlurTarget, [](Scene& s, float v) { s.settings.blurTarget = v; }},
    {Setting::kInterlace, [](Scene& s, float v) { s.camera->interlace = int32_t(v); }},
    {Setting::kGhost, [](Scene& s, float v) { s.camera->ghost = int32_t(v); }},
    {Setting::kGhostOffset, [](Scene& s, float v) { s.camera->ghostOffset = v; }},
    {Setting::kShowNormals, [](Scene& s, float v) { s.camera->showNormals = int32_t(v); }},
    {Setting::kNormalColor, [](Scene& s, float v) { s.camera->normalColor = uint32_t(v); }},
    {Setting::kScanlineGlitch, [](Scene& s, float v) { s.camera->scanlineGlitch = int32_t(v); }},
    {Setting::kFlares, [](Scene& s, float v) { s.camera->flares = int32_t(v); }},
};

}  // namespace

void Scene::apply(Setting what, float value) {
    for (const SettingField& field : settingFields)
        if (field.what == what) field.write(*this, value);
}

// What one run3D call keeps from frame to frame.
struct Scene::Run {
    SDL_Surface* screen = nullptr;
    Image* backdrop = nullptr;
    ScatterEffect* scatter = nullptr;  // owned; null without a model
    float blurStep = 2.0f;
    Animator blurAnimator;             // glides blurAmount to blurTarget
    float bannerX = -float(kBannerWidth);
    float bannerStep = 0.0f;
    Animator* bannerAnimator = nullptr;  // owned; null without the banner
    int32_t ghostCounter = 8;
    int32_t result = kSceneEnded;
    int32_t row = 0;
};

namespace {

// What a released key does in a 3D scene (one action per release).
struct KeyAction {
    SDLKey key;
    void (*act)(Scene& scene, Scene::Run& run);
};

const KeyAction keyActions[] = {
    {SDLK_ESCAPE, [](Scene& s, Scene::Run& r) { s.quit = 1, r.result = kSceneStop; }},
    {SDLK_SPACE, [](Scene& s, Scene::Run& r) { s.quit = 1, r.result = kSceneSkipped; }},
    {SDLK_F1, [](Scene&, Scene::Run& r) { if (r.scatter) r.scatter->setColor(0xFFFFFF); }},
    {SDLK_DELETE, [](Scene&, Scene::Run& r) { if (r.scatter) r.scatter->stairs(); }},
    {SDLK_c, [](Scene& s, Scene::Run&) { s.settings.manualRotation = !s.settings.manualRotation; }},
    {SDLK_f, [](Scene& s, Scene::Run&) { s.settings.tiles = !s.settings.tiles; }},
    {SDLK_g, [](Scene& s, Scene::Run&) { s.camera->showNormals = !s.camera->showNormals; }},
    {SDLK_q, [](Scene&, Scene::Run& r) { if (r.scatter) r.scatter->setStep(666.0f); }},
    {SDLK_s, [](Scene& s, Scene::Run&) { s.camera->depthSort = !s.camera->depthSort; }},
    {SDLK_b, [](Scene& s, Scene::Run&) { s.settings.blurEnabled = !s.settings.blurEnabled; }},
    {SDLK_n, [](Scene& s, Scene::Run&) { s.settings.noise = !s.settings.noise; }},
    {SDLK_m, [](Scene& s, Scene::Run&) { s.settings.swayX = !s.settings.swayX; }},
    {SDLK_F2, [](Scene& s, Scene::Run&) { s.camera->renderMode = !s.camera->renderMode; }},
    {SDLK_F3, [](Scene& s, Scene::Run&) { s.camera->scanlineGlitch = !s.camera->scanlineGlitch; }},
    {SDLK_F4, [](Scene& s, Scene::Run&) { s.camera->interlace = !s.camera->interlace; }},
    {SDLK_F5, [](Scene& s, Scene::Run&) { s.camera->colorSplit = !s.camera->colorSplit; }},
    {SDLK_F6, [](Scene& s, Scene::Run&) { s.camera->ghost = !s.camera->ghost; }},
    {SDLK_F7, [](Scene& s, Scene::Run&) { s.camera->flares = !s.camera->flares; }},
    {SDLK_TAB, [](Scene& s, Scene::Run&) { s.settings.overlay = !s.settings.overlay; }},
};

}  // namespace

int32_t Scene::run3D() {
    Run run;
    begin3D(run);
    while (!quit) {
        if (profile) profile->beginFrame();
        takeReleasedKeys(run);
        takeHeldKeys(run);
        followMusic(run);
        mark(SceneProfile::kInput);
        drawTiles(run);
        mark(SceneProfile::kTiles);
        if (run.scatter) run.scatter->update();
        mark(SceneProfile::kScatter);
        drawModel();
        mark(SceneProfile::kRender);
        drawSprites(run);
        mark(SceneProfile::kSprites);
        turnByHand();
        drawBanner(run);
        mark(SceneProfile::kBanner);
        drawGlitchAndNoise(run);
        mark(SceneProfile::kGlitchNoise);
        updateSparks(resources.sparks, run.screen);
        mark(SceneProfile::kSprites);  // the sparks count with the sprites that shed them
        blurFrame();
        mark(SceneProfile::kBlur);
        drawOverlay();
        mark(SceneProfile::kBanner);  // and the overlay with the banner
        engine->present();
        mark(SceneProfile::kPresent);
    }
    end3D(run);
    return run.result;
}

void Scene::begin3D(Run& run) {
    run.screen = engine->screen;
    run.backdrop = settings.backgroundOverride ? settings.backgroundOverride : resources.background;
    if (settings.tiles && run.backdrop && run.backdrop->surface)
        SDL_BlitSurface(run.backdrop->surface, nullptr, run.screen, nullptr);

    if (!carried.manualAnglesTaken && object) {
        carried.manualX = loadAnimated(object->rotation.x);
        carried.manualY = loadAnimated(object->rotation.y);
        carried.manualZ = loadAnimated(object->rotation.z);
        carried.manualAnglesTaken = true;
    }

    run.scatter = object ? new ScatterEffect(object) : nullptr;
    if (run.scatter) run.scatter->setStep(1.6f);

    run.blurAnimator.isFloat.store(1);
    run.blurAnimator.setupFloat(&settings.blurAmount, settings.blurTarget, &run.blurStep, 200);
    run.blurAnimator.start();

    if (settings.banner) {
        run.bannerAnimator = new Animator;
        run.bannerAnimator->isFloat.store(1);
        run.bannerAnimator->setupFloat(&run.bannerX, 0.0f, &run.bannerStep, 10);
        run.bannerAnimator->start();
    }

    engine->resetClock();
    if (settings.flashWhenAtRest && run.scatter) run.scatter->stairs();
}

void Scene::takeReleasedKeys(Run& run) {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) {
            quit = 1;
            run.result = kSceneStop;
        } else if (event.type == SDL_KEYUP) {
            for (const KeyAction& action : keyActions)
                if (action.key == event.key.keysym.sym) action.act(*this, run);
        }
    }
}

void Scene::takeHeldKeys(Run& run) {
    const Uint8* held = outsideWorld().heldKeys();
    if (!held) return;
    if (held[SDLK_INSERT] && run.scatter) {
        run.scatter->jitter(0.1f, 1.0f);
        run.scatter->setTargetColor(randomColor());
    }
    // Only the first of these that is down acts.
    if (held[SDLK_x] && object) {
        object->setPosition(loadAnimated(object->position.x), loadAnimated(object->position.y),
                            loadAnimated(object->position.z) + 10, 0);
    } else if (held[SDLK_z] && object) {
        object->setPosition(loadAnimated(object->position.x), loadAnimated(object->position.y),
                            loadAnimated(object->position.z) - 10, 0);
    } else if (held[SDLK_o]) {
        ++run.ghostCounter;
        storeAnimated(camera->ghostOffset, float(run.ghostCounter));  // step 3 glides it on the timer thread
    } else if (held[SDLK_p]) {
        if (run.ghostCounter != 0) --run.ghostCounter;
        storeAnimated(camera->ghostOffset, float(run.ghostCounter));
    } else if (held[SDLK_t]) {
        storeAnimated(settings.blurAmount, loadAnimated(settings.blurAmount) + 1);
    } else if (held[SDLK_y]) {
        const float blur = loadAnimated(settings.blurAmount);
        if (blur > 0) storeAnimated(settings.blurAmount, blur - 1);
    }
    if (held[SDLK_LEFT])
        carried.manualY -= 0.05f;
    else if (held[SDLK_RIGHT])
        carried.manualY += 0.05f;
    if (held[SDLK_UP])
        carried.manualX -= 0.05f;
    else if (held[SDLK_DOWN])
        carried.manualX += 0.05f;
}

void Scene::followMusic(Run& run) {
    const int32_t row = run.row = readRow(player);

    // A timed scene waits for the next row that starts a half pattern.
    if (!settings.endSequence) {
        if (!unlimited && engine->secondsElapsed() >= seconds && row % 32 == 0) quit = 1;
    } else if (settings.endSequence->isFinished() && (seconds < 0 || engine->secondsElapsed() >= seconds)) {
        quit = 1;
    }

    ScatterEffect* scatter = run.scatter;
    if (scatter) {
        const bool atRest = !settings.flashWhenAtRest || scatter->settled == 1;
        if (settings.flash && row % int32_t(settings.flashPeriod) == 0 && atRest) {
            scatter->settled = 1;
            // An animator may move the amount.
            scatter->jitter(settings.flashSpeed, loadAnimated(settings.flashAmount));
            scatter->setTargetColor(randomColor());
        }
    }
    if (settings.ghostFromRow) camera->ghost = row >= 56 ? 1 : 0;
    if (scatter && settings.whiteFlash && row % int32_t(settings.whitePeriod) == 0) scatter->setColor(0xFFFFFF);
    if (scatter && settings.colorCycle && row % int32_t(settings.colorPeriod) == 0)
        scatter->setTargetColor(randomColor());
}

void Scene::drawTiles(Run& run) {
    if (settings.tiles && run.backdrop && run.backdrop->surface) {
        // Cost: 120 tile blits of 64x64 a frame.
        for (int i = 0; i < 120; ++i) blitTile(run.backdrop->surface, run.screen, randomTile(run.screen));
    }
}

void Scene::drawModel() {
    if (!object) return;
    if (settings.swayX) {
        object->setPosition(std::sin(carried.swayAngleX) * 200, 0, 0, 1);
        carried.swayAngleX += 0.05f;
    }
    if (settings.swayZ) {
        object->setPosition(0, 0, std::cos(carried.swayAngleZ) * 300, 1);
        carried.swayAngleZ += 0.02f;
    }
    camera->render(object);
}

void Scene::drawSprites(Run& run) {
    if (!settings.sprites) return;
    for (size_t i = 0; i < resources.spriteList.size(); ++i) {
        Sprite* sprite = resources.spriteList.at(i);
        SDL_Surface* image = sprite->image->surface;
        if (!image) continue;
        carried.spritePhase += 0.1f;
        const int32_t squeeze = truncToInt(10 * std::sin(carried.spritePhase) - float(image->w / 4));
        sprite->angleX += sprite->speedX;
        sprite->angleY += sprite->speedY;
        const int32_t x = truncToInt(float(sprite->centerX) + float(sprite->radiusX) * std::sin(sprite->angleX));
        const int32_t y = truncToInt(float(sprite->centerY) + float(sprite->radiusY) * std::cos(sprite->angleY));
        blitScaledKeyed(image, run.screen, x, y, image->w + squeeze);
        emitSparks(resources.sparks, x, y + image->h / 2, 1);
        emitSparks(resources.sparks, x + image->w, y + image->h / 2, 1);
    }
}

void Scene::turnByHand() {
    if (settings.manualRotation && object) object->setRotation(carried.manualX, carried.manualY, carried.manualZ);
}

void Scene::drawBanner(Run& run) {
    if (run.bannerAnimator && settings.banner && !quit && resources.bannerImage->surface) {
        run.bannerAnimator->accelerate(0.1f);  // ever faster until it stops at x = 0
        SDL_Rect at{Sint16(truncToInt(loadAnimated(run.bannerX))), 520, 0, 0};
        SDL_BlitSurface(resources.bannerImage->surface, nullptr, run.screen, &at);
    }
}

void Scene::drawGlitchAndNoise(Run& run) {
    if (rand() % 100 > 90) glitchBand(run.screen);
    if (settings.noise && run.row % 32 != 0) scatterNoise(run.screen, false);
}

void Scene::blurFrame() {
    if (settings.blurEnabled && (!quit || !settings.sharpLastFrame))
        TextLabel::blur(engine->screen, truncToInt(loadAnimated(settings.blurAmount)), 1, 0);
}

void Scene::drawOverlay() {
    if (!settings.overlay) return;
    TextLabel& label = *resources.label;
    const int32_t step = 8 * label.scale;
    label.x = 4;
    label.y = 4;
    label.print("%d", engine->framesPerSecond());
    label.y += 2 * step;
    if (!object) return;
    label.print("%s", object->name ? object->name : "");
    label.y += step;
    label.print("triangles %d", loadAnimated(object->drawCount));
    label.y += step;
    label.print("pos %3.2f %3.2f %3.2f", double(loadAnimated(object->position.x)),
                 double(loadAnimated(object->position.y)), double(loadAnimated(object->position.z)));
    label.y += step;
    label.print("rot %3.2f %3.2f %3.2f", double(loadAnimated(object->rotation.x)),
                 double(loadAnimated(object->rotation.y)), double(loadAnimated(object->rotation.z)));
}

void Scene::end3D(Run& run) {
    if (run.bannerAnimator) {
        run.bannerAnimator->stop();
        delete run.bannerAnimator;
    }
    run.blurAnimator.stop();
    delete run.scatter;
}

int32_t Scene::runPicture(Image* picture, int32_t seconds_) {
    SDL_Surface* screen = engine->screen;
    float blurLevel = 32.0f;
    float step = 2.0f;
    Animator blurAnimator;
    blurAnimator.isFloat.store(1);
    blurAnimator.setupFloat(&blurLevel, 4.0f, &step, 200);
    blurAnimator.start();

    Image* source = settings.backgroundOverride ? settings.backgroundOverride
                                                : (picture ? picture : resources.background);

    float count = 0.0f;
    AnimationSequence* sequence = new AnimationSequence;
    Animator* countAnimator = new Animator;
    countAnimator->isFloat.store(1);
    countAnimator->setupFloat(&count, 100.0f, &step, 60);
    sequence->addStep(countAnimator);
    sequence->startStep(0);

    engine->resetClock();
    int32_t result = kSceneEnded;
    bool done = false;
    while (!done) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            if (event.type == SDL_QUIT) {
                // Closing the window stops the production, as in a 3D scene:
                // full screen with the cursor hidden, there is no other way out.
                result = kSceneStop;
                done = true;
            } else if (event.type == SDL_KEYUP) {
                if (event.key.keysym.sym == SDLK_ESCAPE) {
                    result = kSceneStop;
                    done = true;
                } else if (event.key.keysym.sym == SDLK_SPACE) {
                    result = kSceneSkipped;
                    done = true;
                }
            }
        }

        const float tilesNow = loadAnimated(count);
        if (source && source->surface) {
            // Cost: up to 100 tile blits a frame, growing with the count.
            for (int i = 0; float(i) < tilesNow; ++i) blitTile(source->surface, screen, randomTile(screen));
        }
        if (tilesNow > 99.0f && engine->secondsElapsed() > seconds_) done = true;

        const int32_t row = readRow(player);
        if (row % 32 != 0) scatterNoise(screen, true);
        TextLabel::blur(screen, truncToInt(loadAnimated(blurLevel)), 1, 1);
        engine->present();
    }

    delete sequence;  // removes the count animator's timer
    blurAnimator.stop();
    return result;
}
