// A virtual clock for the sound output: an AudioClock on which time stands
// still until the test moves it. A sleeper waits on a condition until the
// time it asked for has come; the test moves the time to the earliest wake of
// whoever sleeps (driveUntil, or a Ticker on a thread of its own while the
// test itself sleeps on the clock, in stopSong say). Every length the output
// measures is then exact, however loaded the machine.
//
// Threads: read and slept on from any thread (the playback thread, SDL's
// audio thread, the test's own), moved by the test or its ticker. The real
// time appears only as the hang guard: a wait that nothing ends in 10 s (a
// sleep: 30 s) gives up and says so.
// Not for: two clocks at once (an AudioClock is two plain function pointers,
// so there is one clock per process).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <thread>

#include "music/audio_device.h"

namespace audioclock {

struct State {
    std::mutex lock;
    std::condition_variable changed;  // told when the time moves and when someone falls asleep
    std::atomic<int64_t> nowUs{0};
    std::multiset<int64_t> wakes;  // when each sleeper wakes; under `lock`
    uint64_t sleepsBegun = 0;      // under `lock`
    std::atomic<bool> overslept{false};  // a sleep that no advance ended within its guard
};
inline State state;

inline int64_t now() { return state.nowUs.load(); }

inline void sleep(int64_t us) {
    std::unique_lock<std::mutex> guard(state.lock);
    const int64_t wake = state.nowUs.load() + us;
    const auto entry = state.wakes.insert(wake);
    ++state.sleepsBegun;
    state.changed.notify_all();
    if (!state.changed.wait_for(guard, std::chrono::seconds(30), [&] { return state.nowUs.load() >= wake; }))
        state.overslept = true;
    state.wakes.erase(entry);
    state.changed.notify_all();
}

inline AudioClock clock() { return AudioClock{now, sleep}; }

// Threads asleep whose time has not come yet.
inline int asleep() {
    std::lock_guard<std::mutex> guard(state.lock);
    return int(std::distance(state.wakes.upper_bound(state.nowUs.load()), state.wakes.end()));
}

// Moves the time from one wake to the next until done() holds; false when it
// still does not after 10 s of real time. The time moves only while at least
// `sleepers` threads sleep and everyone it woke has woken (a thread that
// sleeps 10 ms at a time is not overtaken by another's longer sleep), and
// only once more than `sleepsBefore` sleeps have begun.
template <typename Done>
bool driveUntil(Done done, size_t sleepers = 1, uint64_t sleepsBefore = 0) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::unique_lock<std::mutex> guard(state.lock);
        if (state.wakes.size() < sleepers || *state.wakes.begin() <= state.nowUs.load() ||
            state.sleepsBegun <= sleepsBefore) {
            // Too few asleep, or someone still waking: look again soon, or as
            // someone falls asleep or wakes.
            state.changed.wait_for(guard, std::chrono::milliseconds(1));
            continue;
        }
        state.nowUs = *state.wakes.begin();
        state.changed.notify_all();
    }
    return true;
}

// Drives the clock on a thread of its own for as long as it lives, whenever
// at least `sleepers` threads sleep, from the first sleep begun after it was
// made: a thread already asleep stays so until someone else sleeps.
struct Ticker {
    explicit Ticker(size_t sleepers = 1) : sleepers(sleepers), sleepsBefore(sleepsBegun()) {}
    static uint64_t sleepsBegun() {
        std::lock_guard<std::mutex> guard(state.lock);
        return state.sleepsBegun;
    }
    const size_t sleepers;
    const uint64_t sleepsBefore;
    std::atomic<bool> stop{false};
    std::thread thread{[this] {
        while (!stop.load()) driveUntil([this] { return stop.load(); }, sleepers, sleepsBefore);
    }};
    ~Ticker() {
        stop = true;
        thread.join();
    }
};

}  // namespace audioclock
