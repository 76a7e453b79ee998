#include "framework/animator.h"

#include <limits>
#include <thread>

#include "framework/outside_world.h"

namespace {

const TimerService& timerService() { return outsideWorld().timers; }

// The animator whose tick is running on this thread, so that stop() called
// from inside that tick (an onFinish that stops its own animator) does not
// wait for itself.
thread_local const Animator* tickingHere = nullptr;

constexpr auto relaxed = std::memory_order_relaxed;

int32_t saturate(int64_t v) {
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

// Enters a tick unless the animator is being stopped; the destructor leaves it.
struct TickGuard {
    Animator* animator;
    const Animator* outer;
    bool entered;
    explicit TickGuard(Animator* a) : animator(a), outer(tickingHere) {
        animator->ticking.fetch_add(1);  // seq_cst: pairs with stop()
        entered = animator->stopping.load() == 0;
        tickingHere = animator;
    }
    ~TickGuard() {
        tickingHere = outer;
        animator->ticking.fetch_sub(1);
    }
};

template <typename T>
Uint32 finish(Animator* a, T* value, T target) {
    storeAnimated(*value, target);  // clamped: the value never passes the target
    a->finished.store(1, relaxed);
    void* arg = a->onFinishArg.load(std::memory_order_acquire);
    Animator::FinishFn fn = a->onFinish.load(std::memory_order_acquire);
    if (fn) fn(arg);
    return 0;
}

}  // namespace

void Animator::setupFloat(float* value, float target, float* step, int32_t interval) {
    floatValue.store(value, relaxed);
    intervalMs.store(interval, relaxed);
    floatStart.store(loadAnimated(*value), relaxed);
    floatAcceleration.store(0.0f, relaxed);
    floatTarget.store(target, relaxed);
    floatStep.store(step, relaxed);
}

void Animator::setupInt(int32_t* value, int32_t target, int32_t* step, int32_t interval) {
    intValue.store(value, relaxed);
    intervalMs.store(interval, relaxed);
    intStart.store(loadAnimated(*value), relaxed);
    intAcceleration.store(0, relaxed);
    intTarget.store(target, relaxed);
    intStep.store(step, relaxed);
}

void Animator::start() {
    // A second start while the first timer still runs would orphan that timer,
    // which could then tick into freed memory; the old id is dropped first
    // (harmless when it has already been cancelled).
    SDL_TimerID old = timer.exchange(nullptr);
    if (old) timerService().remove(old);
    stopping.store(0);
    SDL_NewTimerCallback tick = isFloat.load(relaxed) ? &Animator::floatTick : &Animator::intTick;
    Uint32 period = static_cast<Uint32>(intervalMs.load(relaxed));
    timer.store(timerService().add(period, tick, this));
}

void Animator::setOnFinish(FinishFn function, void* argument) {
    // The argument goes first so that a tick that sees the new function also
    // sees its argument.
    onFinishArg.store(argument, std::memory_order_release);
    onFinish.store(function, std::memory_order_release);
}

void Animator::accelerate(float amount) { atomicFetchAdd(floatAcceleration, amount, relaxed); }

void Animator::makeFloat(float* value, float target, float* step, float initial, int32_t interval,
                         int32_t startNow) {
    // A timer still running from an earlier use is stopped, not forgotten:
    // forgotten, it would tick on, twice as fast with the new one, for ever.
    stop();
    storeAnimated(*value, initial);
    isFloat.store(1, relaxed);
    finished.store(0, relaxed);
    setOnFinish(nullptr, nullptr);
    setupFloat(value, target, step, interval);
    if (startNow) start();
}

bool Animator::halt() {
    stopping.store(1);  // seq_cst: pairs with TickGuard
    SDL_TimerID id = timer.exchange(nullptr);
    const bool live = id && timerService().remove(id) == SDL_TRUE;
    if (tickingHere != this) {
        while (ticking.load() != 0) std::this_thread::yield();
    }
    return live;
}

void Animator::stop() {
    // Inside a tick the timer thread is this thread: a late call cannot
    // overtake us, and waiting for the next pass would never end.
    if (halt() && tickingHere == nullptr) timerService().drain();
}

Animator::~Animator() { stop(); }

Uint32 Animator::intTick(Uint32 interval, void* param) {
    Animator* a = static_cast<Animator*>(param);
    TickGuard guard(a);
    if (!guard.entered) return 0;
    int32_t* value = a->intValue.load(relaxed);
    int32_t* step = a->intStep.load(relaxed);
    const int32_t target = a->intTarget.load(relaxed);
    const int64_t v = loadAnimated(*value);
    const int64_t s = loadAnimated(*step);
    // The overshooting value is never stored: a reader on the main thread
    // must not see a value past the target even for one frame (a face count
    // past the end of the faces).
    if (v < target) {
        if (v + s > target) return finish(a, value, target);
        storeAnimated(*value, saturate(v + s));
    } else if (v > target) {
        if (v - s < target) return finish(a, value, target);
        storeAnimated(*value, saturate(v - s));
    }
    // Landing exactly on the target is not finishing: the timer keeps going
    // and the acceleration keeps feeding the (possibly shared) step.
    const int32_t acceleration = a->intAcceleration.load(relaxed);
    if (acceleration > 0) {
        AtomicRef<int32_t> shared(*step);
        int32_t old = shared.load(relaxed);
        while (!shared.compare_exchange_weak(old, saturate(int64_t{old} + acceleration), relaxed)) {
        }
    }
    return interval;
}

Uint32 Animator::floatTick(Uint32 interval, void* param) {
    Animator* a = static_cast<Animator*>(param);
    TickGuard guard(a);
    if (!guard.entered) return 0;
    float* value = a->floatValue.load(relaxed);
    float* step = a->floatStep.load(relaxed);
    const float target = a->floatTarget.load(relaxed);
    const float v = loadAnimated(*value);
    const float s = loadAnimated(*step);
    // The overshoot test is done on the exact sum; only the stored value is
    // rounded to single precision.
    if (v < target) {
        const long double sum = static_cast<long double>(v) + s;
        if (sum > target) return finish(a, value, target);
        storeAnimated(*value, static_cast<float>(sum));
    } else if (v > target) {
        const long double difference = static_cast<long double>(v) - s;
        if (difference < target) return finish(a, value, target);
        storeAnimated(*value, static_cast<float>(difference));
    }
    const float acceleration = a->floatAcceleration.load(relaxed);
    if (acceleration > 0) AtomicRef<float>(*step).fetch_add(acceleration, relaxed);
    return interval;
}

AnimationSequence::~AnimationSequence() {
    // In step order: stopping a step's first animator waits for a tick that
    // may be starting the next step, so later steps are only looked at once
    // nothing can start them any more.
    // One wait for the timer thread covers every timer removed here.
    bool live = false;
    for (std::vector<Animator*>& step : steps)
        for (Animator* a : step)
            if (a) live = a->halt() || live;
    if (live && tickingHere == nullptr) timerService().drain();
    for (std::vector<Animator*>& step : steps) {
        for (Animator* a : step) delete a;
        step.clear();
    }
}

void AnimationSequence::addStep(Animator* animator) { steps.push_back({animator}); }

void AnimationSequence::addToLastStep(Animator* animator) { steps.at(steps.size() - 1).push_back(animator); }

void AnimationSequence::startStep(int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= steps.size()) return;
    current.store(index, relaxed);
    std::vector<Animator*>& step = steps[static_cast<size_t>(index)];
    // The first animator gets its onFinish before any timer runs, so it cannot
    // finish unnoticed in the moment between its start and the hand-over.
    if (!step.empty() && step[0]) step[0]->setOnFinish(&AnimationSequence::advanceCallback, this);
    for (Animator* a : step) {
        if (a) a->start();
    }
}

void AnimationSequence::advance() { startStep(current.fetch_add(1, relaxed) + 1); }

bool AnimationSequence::isFinished() const {
    return static_cast<size_t>(current.load(relaxed)) == steps.size();
}

void AnimationSequence::advanceCallback(void* sequence) { static_cast<AnimationSequence*>(sequence)->advance(); }
