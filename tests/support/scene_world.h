// The scene tests' world: the shared virtual clock and timer queue
// (support/virtual_world.h) with a frame script on top. The timers fire once
// per frame (or, with timedTimers, at each timer's own period as advanceTimed
// moves the clock), the held keys are an array the test fills, and the row is
// read from the test's frame hook, called once per frame.
#pragma once

#include <SDL/SDL.h>

#include <cstring>
#include <functional>

#include "framework/engine.h"
#include "framework/outside_world.h"
#include "support/virtual_world.h"

namespace sceneworld {

inline const AudioDevice& quietDevice = virtualworld::silentDevice();

// The wall clock the scenes see starts at 5000 s.
constexpr int64_t kEpochSeconds = 5000;

// Once timedTimers is set, timers keep their periods on the queue's own clock
// (advanceTimed fires them) and the frames no longer fire each one once.
inline bool timedTimers = false;

inline Uint8 heldKeys[SDLK_LAST];
inline const Uint8* fakeKeyState() { return heldKeys; }

// Fires every timer once, as if its period had passed.
inline void fireTimers() { virtualworld::timers().fireEachOnce(); }

// Called once per frame by the loops: the frame's hook, then the row.
inline int frame = 0;
inline std::function<int32_t(int)> onFrame;
inline int32_t scriptedRow(Song*) {
    if (!timedTimers) fireTimers();
    int32_t row = onFrame ? onFrame(frame) : 1;
    ++frame;
    return row;
}

inline void pushKeyUp(SDLKey key) { pushKeyRelease(key); }

// The virtual clock and timers, the keys and rows above, a quiet sound device.
inline OutsideWorld world() {
    OutsideWorld w = virtualworld::over(realWorld());
    w.heldKeys = fakeKeyState;
    w.musicRow = scriptedRow;
    w.sound = quietDevice;
    return w;
}

// Starts the world afresh and installs `w` (world() with the test's own
// changes); uninstall() puts the real world back.
inline void install(const OutsideWorld& w) {
    virtualworld::reset(kEpochSeconds);
    std::memset(heldKeys, 0, sizeof heldKeys);
    frame = 0;
    onFrame = nullptr;
    timedTimers = false;
    installOutsideWorld(w);
}
inline void install() { install(world()); }

inline void uninstall() { installOutsideWorld(realWorld()); }

// Advances the clock by ms; the timers stay where they are.
inline void advance(int ms) { virtualworld::clock().advanceMs(ms); }

// Fires, in order of due time (then of age), every timer that falls due in
// the next ms on the queue's clock (a timer due again within the span fires
// again), then advances the clock by ms.
inline void advanceTimed(int ms) {
    TimerQueue& timers = virtualworld::timers();
    timers.fireUntil(timers.nowUs + uint64_t(ms) * 1000);
    advance(ms);
}

// Timers still live.
inline size_t liveTimers() { return virtualworld::timers().live(); }

}  // namespace sceneworld
