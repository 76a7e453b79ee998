// Engine: the one object that owns the display and the clocks of a running
// production. Made once by the timeline on the heap (Production::start),
// initialised before anything else and destroyed last (Production::shutdown).
// Main thread only: timer callbacks and the playback thread never touch it.
#pragma once

#include <SDL/SDL.h>
#include <sys/time.h>
#include <cstdint>

struct Engine {
    SDL_Surface* screen = nullptr;  // the video surface; SDL frees it at SDL_Quit
    int32_t frames = 0;             // frames presented since the last fps sample
    timeval now{};                  // refreshed by every clock query
    timeval lastSecond{};           // second of the last fps sample
    timeval startTime{};            // scene time counts from here

    Engine() = default;
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    bool init(int argc, char** argv, int32_t width, int32_t height, int32_t fullscreen);
    void present();
    void resetClock();
    int32_t secondsElapsed();
    int32_t framesPerSecond();
};

// The most recent frames-per-second sample, shared by the whole program.
extern int32_t lastFps;

// The clock, the present hook and the random seed come from the outside
// world (framework/outside_world.h).

// Puts a released key on SDL's event queue, as if the viewer had just let it
// go: how signals, recorders and tests steer the scenes. SDL's queue takes
// events from any thread.
void pushKeyRelease(SDLKey key);
