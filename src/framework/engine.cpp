#include "framework/engine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "framework/outside_world.h"

int32_t lastFps = 0;

void pushKeyRelease(SDLKey key) {
    SDL_Event release{};
    release.type = SDL_KEYUP;
    release.key.type = SDL_KEYUP;
    release.key.state = SDL_RELEASED;
    release.key.keysym.sym = key;
    SDL_PushEvent(&release);
}

namespace {

int readClock(timeval* tv) { return outsideWorld().clock(tv); }

// When the display named by DISPLAY cannot be reached, SDL falls back to its
// off-screen driver and the production would play unseen; that counts as no
// video mode unless the off-screen driver was asked for by name.
bool unaskedOffscreen() {
    char name[32] = {};
    if (!SDL_VideoDriverName(name, sizeof name) || std::strcmp(name, "offscreen") != 0) return false;
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    return !asked || std::strcmp(asked, "offscreen") != 0;
}

}  // namespace

bool Engine::init(int, char**, int32_t width, int32_t height, int32_t fullscreen) {
    const OutsideWorld& world = outsideWorld();
    srand(world.seedFixed ? world.seed : static_cast<unsigned>(time(nullptr)));
    frames = 0;
    readClock(&now);
    readClock(&lastSecond);
    readClock(&startTime);

    // Audio is not opened through SDL here: the music player drives its own device.
    SDL_Init(SDL_INIT_TIMER | SDL_INIT_VIDEO);

    // SDL's dummy driver shows the frame at its own size, so the smoothing
    // filter SDL would otherwise run over every presented frame changes no
    // pixel; without it a present costs half as much. A setting already in
    // the environment wins.
    char driver[32] = {};
    if (SDL_VideoDriverName(driver, sizeof driver) && std::strcmp(driver, "dummy") == 0)
        setenv("SDL_RENDER_SCALE_QUALITY", "nearest", 0);

    const SDL_VideoInfo* info = SDL_GetVideoInfo();
    int depth = (info && info->vfmt) ? info->vfmt->BitsPerPixel : 0;
    std::printf("engine initializing %dx%dx%d\n", width, height, depth);
    std::fflush(stdout);

    // Every drawing path writes four bytes per pixel, so the mode is always
    // asked for at 32 bits; SDL converts on present when the desktop differs.
    Uint32 flags = fullscreen == 1 ? SDL_FULLSCREEN : 0;
    screen = SDL_SetVideoMode(width, height, 32, flags);
    if (!screen || unaskedOffscreen()) {
        screen = nullptr;
        std::fprintf(stderr, "could not init videomode\n");
        return false;
    }
    SDL_ShowCursor(SDL_DISABLE);
    SDL_WM_SetCaption("^vorna", "^vorna");
    return true;
}

Engine::~Engine() {
    SDL_ShowCursor(SDL_ENABLE);
    SDL_Quit();
}

void Engine::present() {
    if (!screen) return;
    SDL_UpdateRect(screen, 0, 0, 0, 0);
    ++frames;
    if (void (*hook)(SDL_Surface*) = outsideWorld().present) hook(screen);
}

void Engine::resetClock() { readClock(&startTime); }

int32_t Engine::secondsElapsed() {
    readClock(&now);
    // Whole seconds only: the first second after a reset may be very short.
    return static_cast<int32_t>(now.tv_sec - startTime.tv_sec);
}

int32_t Engine::framesPerSecond() {
    readClock(&now);
    if (now.tv_sec > lastSecond.tv_sec) {
        lastSecond.tv_sec = now.tv_sec;
        lastFps = frames;
        frames = 0;
    }
    return lastFps;
}
