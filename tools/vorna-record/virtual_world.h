// The recorder's virtual world: one clock that stands in for the wall, the
// animators' timers as a queue fired between frames, and the music rendered
// block by block in step with the frames.
//
// Owns: the virtual time, the timer queue and the audio rendered but not yet
// taken. Threads: main thread only. Timers fire on the thread that advances
// the world, and there is no playback thread, so nothing here is shared.
// Not for: running beside the real playback thread or real SDL timers; the
// clock and the queue are program-wide because the engine and the animators
// reach them through plain function pointers.
#pragma once

#include <SDL/SDL.h>
#include <sys/time.h>

#include <cstdint>
#include <map>
#include <vector>

#include "music/player.h"

struct Song;

// Virtual microseconds since the start of the world. The wall clock the
// engine sees is this plus a fixed whole-second epoch, so a recording does
// not depend on the date it was made.
struct VirtualClock {
    static constexpr int64_t kEpochSeconds = 1000000000;
    uint64_t nowUs = 0;

    void read(timeval* tv) const;
};

// Timers with SDL 1.2 semantics (the callback returns its next period, 0
// cancels; ids are never reused; removing an unknown id answers SDL_FALSE),
// each fired at its own due time, earliest first, ties in the order of
// creation. A timer added while timers fire counts its period from the due
// time of the one firing, as it would on SDL's timer thread.
struct TimerQueue {
    struct Entry {
        SDL_NewTimerCallback callback;
        void* param;
        Uint32 intervalMs;
        uint64_t dueUs;
    };
    std::map<intptr_t, Entry> timers;
    intptr_t nextId = 1;
    uint64_t nowUs = 0;  // the due time of the timer firing, else the last fired-through time

    SDL_TimerID add(Uint32 intervalMs, SDL_NewTimerCallback callback, void* param);
    bool remove(SDL_TimerID id);
    // Fires every tick due at or before untilUs (also ticks of timers added
    // on the way) and returns how many ran.
    int fireUntil(uint64_t untilUs);
};

// The music as the playback thread would make it, but on the caller's
// thread: whole blocks through renderBlock, each publishing the snapshot at
// its end. The block that holds a given audio frame is rendered once that
// frame is due, that is before it is heard, as the thread renders ahead of
// the device.
struct MusicStepper {
    Song* song = nullptr;
    alignas(16) float mix[2 * framesPerBlock];
    int16_t block[2 * framesPerBlock];
    uint64_t renderedFrames = 0;  // audio frames rendered since the start
    uint64_t takenFrames = 0;     // of those, handed on (or dropped) by take
    std::vector<int16_t> pending; // rendered, not taken; interleaved stereo

    // Renders blocks until the one holding audio frame `frame` is done.
    void renderThrough(uint64_t frame);
    // Hands frames [takenFrames, untilFrame) to `into` (dropped when null),
    // rendering what is missing first.
    void take(uint64_t untilFrame, std::vector<int16_t>* into);
};

// The program-wide clock and queue, and the seams that route the engine's
// clock and the animators' timers to them. install() starts the world at 0.
namespace virtualworld {
VirtualClock& clock();
TimerQueue& timers();
void install();
void uninstall();
}  // namespace virtualworld
