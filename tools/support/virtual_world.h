// The virtual world the tests, vorna-scene and vorna-record run the
// production in: one clock that stands in for the wall, the animators' timers
// as a queue fired on the caller's thread, and the music rendered block by
// block in step with the frames.
//
// Owns: the virtual time, the timer queue and the audio rendered but not yet
// taken. Threads: main thread only. Timers fire on the thread that advances
// the world, and there is no playback thread, so nothing here is shared.
// Not for: running beside the real playback thread or real SDL timers; the
// clock and the queue are program-wide because the engine and the animators
// reach them through the outside world's plain function pointers.
#pragma once

#include <SDL/SDL.h>
#include <sys/time.h>

#include <cstdint>
#include <map>
#include <vector>

#include "framework/outside_world.h"
#include "music/player.h"
#include "music/row_queue.h"

struct Song;

// Virtual microseconds since the start of the world. The wall clock the
// engine sees is this plus a whole-second epoch, so a run does not depend on
// the date it was made.
struct VirtualClock {
    static constexpr int64_t kEpochSeconds = 1000000000;
    int64_t epochSeconds = kEpochSeconds;
    uint64_t nowUs = 0;

    void read(timeval* tv) const;
    void advanceMs(int64_t ms) { nowUs += uint64_t(ms) * 1000; }
};

// Timers with SDL 1.2 semantics (the callback returns its next period, 0
// cancels; ids are never reused; removing an unknown id answers SDL_FALSE).
// A timer added while timers fire counts its period from the queue's now,
// which is the due time of the one firing under fireUntil, as it would be on
// SDL's timer thread.
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
    size_t live() const { return timers.size(); }
    // Fires every tick due at or before untilUs, earliest first, ties in the
    // order of creation (also ticks of timers added on the way), and returns
    // how many ran.
    int fireUntil(uint64_t untilUs);
    // Moves now to untilUs, then lets each timer live now, in the order of
    // creation, fire every tick it has due by then before the next one is
    // looked at; timers added on the way count from untilUs and wait for the
    // next call. Coarser than fireUntil (a tick of one timer may run before an
    // earlier tick of another); vorna-scene's pictures were made this way.
    void catchUpEach(uint64_t untilUs);
    // Fires every timer live now once, in the order of creation, as if each
    // one's period had just passed; the due times and now stay as they are.
    // For loops driven a tick a frame whatever the periods.
    void fireEachOnce();
};

// The music as the playback thread would make it, but on the caller's
// thread: whole blocks through renderQueuedBlock, every row start queued at
// its stream frame. The block that holds a given audio frame is rendered
// once that frame is due, that is before it is heard, as the thread renders
// ahead of the device; the snapshot shows the row of the frame being heard,
// which publishAt names.
struct MusicStepper {
    Song* song = nullptr;
    alignas(16) float mix[2 * framesPerBlock];
    int16_t block[2 * framesPerBlock];
    uint64_t renderedFrames = 0;  // audio frames rendered since the start
    uint64_t takenFrames = 0;     // of those, handed on (or dropped) by take
    std::vector<int16_t> pending; // rendered, not taken; interleaved stereo
    RowQueue rows;                // row starts rendered, not yet published

    // Renders blocks until the one holding audio frame `frame` is done.
    void renderThrough(uint64_t frame);
    // Hands frames [takenFrames, untilFrame) to `into` (dropped when null),
    // rendering what is missing first.
    void take(uint64_t untilFrame, std::vector<int16_t>* into);
    // Publishes the row of audio frame `frame` as the one being heard, moved
    // by the A/V offset in force (a positive offset shows it later);
    // renders what is missing first.
    void publishAt(uint64_t frame);
};

// The program-wide clock and queue.
namespace virtualworld {
VirtualClock& clock();
TimerQueue& timers();
// Empties the queue and starts the clock and the queue at 0, the clock's
// wall time at `epochSeconds`.
void reset(int64_t epochSeconds = VirtualClock::kEpochSeconds);
// `base` with the clock and the timer service routed to the virtual ones.
// Ticks run on the caller's thread, so the service's drain waits for nothing.
OutsideWorld over(const OutsideWorld& base);
// A sound device that takes every request and every write at once.
const AudioDevice& silentDevice();
}  // namespace virtualworld
