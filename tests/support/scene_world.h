// A virtual world for driving scene loops frame by frame: a fake clock, a
// timer queue fired once per frame (or, with timedTimers, at each timer's own
// period as advanceTimed moves the clock), an injected key array, and a row
// source that is called once per frame and runs the test's frame hook.
#pragma once

#include <SDL/SDL.h>

#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "framework/animator.h"
#include "framework/engine.h"
#include "music/audio_device.h"
#include "scenes/music_position.h"
#include "scenes/scene.h"

namespace sceneworld {

// A sound device that takes every request and every write at once.
inline AudioDevice quietDevice{
    nullptr, [](void*, const char*) { return 3; },
    [](void*, int, unsigned long, int*) { return 0; },
    [](void*, int, const void*, size_t bytes) { return long(bytes); },
    [](void*, int) { return 0; }};

inline timeval clockNow{5000, 0};
inline int fakeClock(timeval* tv) {
    *tv = clockNow;
    return 0;
}

struct FakeTimer {
    SDL_NewTimerCallback callback;
    void* param;
    Uint32 interval;
    int64_t dueMs = 0;  // on the virtual clock, for advanceTimed
};
inline std::map<intptr_t, FakeTimer> timers;
inline intptr_t nextTimerId = 1;

// Virtual milliseconds since install(). Once timedTimers is set, timers keep
// their periods on this clock (advanceTimed fires them) and the frames no
// longer fire each one once.
inline int64_t virtualMs = 0;
inline bool timedTimers = false;

inline SDL_TimerID addFakeTimer(Uint32 interval, SDL_NewTimerCallback callback, void* param) {
    timers[nextTimerId] = FakeTimer{callback, param, interval, virtualMs + interval};
    return reinterpret_cast<SDL_TimerID>(nextTimerId++);
}
inline SDL_bool removeFakeTimer(SDL_TimerID id) {
    return timers.erase(reinterpret_cast<intptr_t>(id)) ? SDL_TRUE : SDL_FALSE;
}
// Fires every timer once, as if its period had passed.
inline void fireTimers() {
    std::vector<intptr_t> ids;
    for (auto& [id, t] : timers) ids.push_back(id);
    for (intptr_t id : ids) {
        auto it = timers.find(id);
        if (it == timers.end()) continue;
        FakeTimer t = it->second;
        Uint32 next = t.callback(t.interval, t.param);
        if (next == 0) timers.erase(id);
    }
}

inline Uint8 heldKeys[SDLK_LAST];
inline const Uint8* fakeKeyState() { return heldKeys; }

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

// Installs the whole world; uninstall() puts the real clock, timers, keys and rows back.
inline void install() {
    clockNow = timeval{5000, 0};
    setClockSource(fakeClock);
    timers.clear();
    setAnimatorTimers(AnimatorTimers{addFakeTimer, removeFakeTimer, nullptr});
    std::memset(heldKeys, 0, sizeof heldKeys);
    setKeyStateSource(fakeKeyState);
    frame = 0;
    onFrame = nullptr;
    virtualMs = 0;
    timedTimers = false;
    setRowSource(scriptedRow);
}

inline void uninstall() {
    setRowSource(nullptr);
    setKeyStateSource(nullptr);
    setAnimatorTimers(AnimatorTimers{nullptr, nullptr, nullptr});
    setClockSource(nullptr);
}

// Advances the fake clock by ms.
inline void advance(int ms) {
    clockNow.tv_usec += ms * 1000;
    clockNow.tv_sec += clockNow.tv_usec / 1000000;
    clockNow.tv_usec %= 1000000;
}

// Moves the clock by ms and fires, in order of due time (then of age), every
// timer that falls due on the way; a timer due again within the span fires again.
inline void advanceTimed(int ms) {
    const int64_t until = virtualMs + ms;
    for (;;) {
        auto next = timers.end();
        for (auto it = timers.begin(); it != timers.end(); ++it)
            if (it->second.dueMs <= until && (next == timers.end() || it->second.dueMs < next->second.dueMs)) next = it;
        if (next == timers.end()) break;
        const intptr_t id = next->first;
        FakeTimer t = next->second;
        virtualMs = t.dueMs;
        const Uint32 again = t.callback(t.interval, t.param);
        auto still = timers.find(id);  // the callback may have removed it
        if (still == timers.end()) continue;
        if (again == 0)
            timers.erase(still);
        else
            still->second.dueMs = t.dueMs + again;
    }
    virtualMs = until;
    advance(ms);
}

}  // namespace sceneworld
