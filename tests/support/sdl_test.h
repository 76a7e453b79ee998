// Shared test support: SDL on its dummy video driver at 800x600x32, and small
// 32-bit surfaces in the video format where every pixel can be checked.
#pragma once

#include <SDL/SDL.h>
#include <gtest/gtest.h>
#include <cstdint>
#include <cstdlib>

namespace testsupport {

// Opens (once per process) an 800x600 32-bit software video surface on SDL's
// dummy driver; returns it.
inline SDL_Surface* videoSurface() {
    static SDL_Surface* screen = [] {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER);
        return SDL_SetVideoMode(800, 600, 32, 0);
    }();
    return screen;
}

// A w x h surface in the video format (0xRRGGBB at 4 bytes per pixel), filled black.
inline SDL_Surface* makeSurface(int w, int h) {
    SDL_Surface* video = videoSurface();
    const SDL_PixelFormat* f = video->format;
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, f->Rmask, f->Gmask, f->Bmask, 0);
    SDL_FillRect(s, nullptr, 0);
    return s;
}

inline uint32_t pixelAt(const SDL_Surface* s, int x, int y) {
    return *reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(s->pixels) + y * s->pitch + x * 4);
}

inline void setPixelAt(SDL_Surface* s, int x, int y, uint32_t value) {
    *reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(s->pixels) + y * s->pitch + x * 4) = value;
}

// Owns a test surface for one scope.
struct SurfaceGuard {
    SDL_Surface* surface;
    explicit SurfaceGuard(SDL_Surface* s) : surface(s) {}
    ~SurfaceGuard() { SDL_FreeSurface(surface); }
    SurfaceGuard(const SurfaceGuard&) = delete;
    SurfaceGuard& operator=(const SurfaceGuard&) = delete;
    SDL_Surface* operator->() const { return surface; }
    operator SDL_Surface*() const { return surface; }
};

}  // namespace testsupport
