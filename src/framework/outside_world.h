// The outside world: everything the production reads from or hands to the
// machine outside its own code, gathered in one record of plain function
// pointers and values. The production runs on the real world (the wall
// clock, SDL's timers and keyboard, the playback thread's row, the OSS node
// or the stand-in); a test or a tool installs a whole record of its own,
// usually the real one or a virtual one with some members replaced.
//
// Owns: the installed record (a copy). Threads: read by the main thread
// (clock, keys, row, present, seed, sound device), by SDL's timer thread (a
// tick that starts or stops a timer) and, through the sound device, by the
// playback thread. Installed only on the main thread while nothing runs: no
// scene, no animator timer, no open sound device.
// Not for: per-frame state or anything a scene owns; only the seams to the
// machine belong here.
#pragma once

#include <SDL/SDL.h>
#include <sys/time.h>

#include <cstdint>

#include "music/audio_device.h"

struct Song;

// The timer service the animators run on. The real one is SDL_AddTimer and
// SDL_RemoveTimer. A replacement keeps SDL 1.2's rules: the callback returns
// the next period or 0 to cancel, ids are never reused within a run, and
// removing an unknown or already cancelled id is harmless and answers
// SDL_FALSE. drain returns once no callback of a removed timer can still
// start: SDL may call a timer's callback once more just after SDL_RemoveTimer
// returns, so the real drain waits for the timer thread to finish its current
// pass. A queue that runs its callbacks on the caller's thread has nothing to
// wait for.
struct TimerService {
    SDL_TimerID (*add)(Uint32 intervalMs, SDL_NewTimerCallback callback, void* param);
    SDL_bool (*remove)(SDL_TimerID id);
    void (*drain)();
};

struct OutsideWorld {
    // The wall clock, with gettimeofday's contract.
    int (*clock)(timeval* tv);
    TimerService timers;
    // The keys held down, indexed by SDLKey (SDL_GetKeyState's array).
    const Uint8* (*heldKeys)();
    // The current pattern row (a byte) of the song being played; 0 for null.
    int32_t (*musicRow)(Song* song);
    // Called by Engine::present after each frame has gone out and been
    // counted; null for none. A recorder's grip on every finished frame.
    void (*present)(SDL_Surface* screen);
    // Engine::init seeds rand with the time unless the seed is fixed, so
    // that two runs draw the same numbers.
    bool seedFixed;
    unsigned seed;
    // The device the music is played on (Timeline hands it to openAudio),
    // with the clock its output sleeps on.
    AudioDevice sound;
};

// The world now installed; the real one until something else is installed.
const OutsideWorld& outsideWorld();
// Installs a copy of `world`. Only while nothing runs (see above).
void installOutsideWorld(const OutsideWorld& world);
// The machine itself: gettimeofday, SDL's timers and keys, the playback
// snapshot's row, no present hook, a seed from the time, the sound device
// chosen by the environment (the OSS node or the stand-in).
const OutsideWorld& realWorld();
