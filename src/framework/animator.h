// Value animators: timer-driven tweens of an int or a float that somebody else
// owns, and sequences that chain groups of them.
//
// Owns: nothing it moves. An Animator holds pointers to its value and to its
// step; an AnimationSequence owns the animators added to it.
// Threads: set-up, start, stop and sequence building happen on the main thread;
// every tick (and every onFinish, including AnimationSequence::advance, which
// starts the next group's timers) runs on the timer thread. Every field the two
// threads share is atomic, and the moved values themselves are written through
// std::atomic_ref; readers on the main thread should use loadAnimated().
// Not for: anything that needs exact timing or ordering between animators, and
// not for values that someone else writes while an animator moves them.
#pragma once

#include <SDL/SDL.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "framework/compat.h"

// The timers come from the outside world's timer service
// (framework/outside_world.h); they run on SDL's timer thread in the
// production and on the caller's thread under a virtual world.

// Whole-value reads and writes of a variable that an animator may be moving.
inline float loadAnimated(const float& v) {
    return AtomicRef<float>(const_cast<float&>(v)).load(std::memory_order_relaxed);
}
inline int32_t loadAnimated(const int32_t& v) {
    return AtomicRef<int32_t>(const_cast<int32_t&>(v)).load(std::memory_order_relaxed);
}
inline void storeAnimated(float& v, float value) {
    AtomicRef<float>(v).store(value, std::memory_order_relaxed);
}
inline void storeAnimated(int32_t& v, int32_t value) {
    AtomicRef<int32_t>(v).store(value, std::memory_order_relaxed);
}

struct Animator {
    using FinishFn = void (*)(void*);

    Animator() = default;
    Animator(const Animator&) = delete;
    Animator& operator=(const Animator&) = delete;

    std::atomic<SDL_TimerID> timer{nullptr};
    std::atomic<FinishFn> onFinish{nullptr};
    std::atomic<void*> onFinishArg{nullptr};
    std::atomic<int32_t> isFloat{0};
    std::atomic<int32_t> intervalMs{0};
    std::atomic<int32_t> finished{0};
    std::atomic<int32_t*> intValue{nullptr};
    std::atomic<int32_t> intStart{0};
    std::atomic<int32_t> intTarget{0};
    std::atomic<int32_t*> intStep{nullptr};
    std::atomic<int32_t> intAcceleration{0};
    std::atomic<float*> floatValue{nullptr};
    std::atomic<float> floatStart{0.0f};
    std::atomic<float> floatTarget{0.0f};
    std::atomic<float*> floatStep{nullptr};
    std::atomic<float> floatAcceleration{0.0f};

    void setupFloat(float* value, float target, float* step, int32_t intervalMs);
    void setupInt(int32_t* value, int32_t target, int32_t* step, int32_t intervalMs);
    void start();
    void setOnFinish(FinishFn function, void* argument);
    void accelerate(float amount);
    void makeFloat(float* value, float target, float* step, float initial, int32_t intervalMs, int32_t startNow);

    // Removes the timer and waits until no tick is running or can still
    // start, so that afterwards nothing touches this animator or its
    // variables. Safe on a finished or never started animator and from inside
    // a tick (where it cannot wait for the timer thread and does not). Use it
    // instead of a bare SDL_RemoveTimer(timer) before deleting the animator,
    // the values it points at, or setting it up again.
    void stop();

    // Stops a running timer first, so a forgotten one cannot go on ticking.
    ~Animator();

    // stop() without the wait for the timer thread; answers whether a live
    // timer was removed (and so whether that wait is needed).
    bool halt();

    // The timer callbacks; param is the Animator.
    static Uint32 intTick(Uint32 interval, void* param);
    static Uint32 floatTick(Uint32 interval, void* param);

    // Tick/stop handshake: a tick announces itself in ticking before it looks
    // at stopping; stop() raises stopping before it looks at ticking.
    std::atomic<int32_t> ticking{0};
    std::atomic<int32_t> stopping{0};
};

struct AnimationSequence {
    std::atomic<int32_t> current{0};
    std::vector<std::vector<Animator*>> steps;  // owned animators

    AnimationSequence() = default;
    ~AnimationSequence();
    AnimationSequence(const AnimationSequence&) = delete;
    AnimationSequence& operator=(const AnimationSequence&) = delete;

    void addStep(Animator* animator);
    // Throws std::out_of_range when there is no step yet.
    void addToLastStep(Animator* animator);
    void startStep(int32_t index);
    void advance();
    bool isFinished() const;

    // onFinish trampoline for advance().
    static void advanceCallback(void* sequence);
};
