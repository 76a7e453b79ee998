// Animators are driven here through the same tick functions the timer service
// calls: directly, through a hand-cranked timer queue installed in the timer
// seam, from a second thread, and (briefly) on SDL's own timer thread.
#include "framework/animator.h"
#include "framework/outside_world.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// A timer queue that only moves when a test cranks it.
struct ManualTimer {
    Uint32 interval;
    SDL_NewTimerCallback callback;
    void* param;
    bool active;
};
std::vector<ManualTimer> manualTimers;  // id = index + 1

SDL_TimerID manualAdd(Uint32 interval, SDL_NewTimerCallback callback, void* param) {
    manualTimers.push_back({interval, callback, param, true});
    return reinterpret_cast<SDL_TimerID>(static_cast<uintptr_t>(manualTimers.size()));
}

SDL_bool manualRemove(SDL_TimerID id) {
    const uintptr_t i = reinterpret_cast<uintptr_t>(id);
    if (i == 0 || i > manualTimers.size() || !manualTimers[i - 1].active) return SDL_FALSE;
    manualTimers[i - 1].active = false;
    return SDL_TRUE;
}

int drains = 0;
void manualDrain() { ++drains; }

int activeTimers() {
    int n = 0;
    for (const ManualTimer& t : manualTimers) n += t.active ? 1 : 0;
    return n;
}

// Fires every timer that is active at the start of the round once, in id order;
// timers added during the round first fire in the next one.
void fireRound() {
    const size_t count = manualTimers.size();
    for (size_t i = 0; i < count; ++i) {
        if (!manualTimers[i].active) continue;
        const ManualTimer t = manualTimers[i];  // the callback may grow the list
        const Uint32 next = t.callback(t.interval, t.param);
        if (next == 0) manualTimers[i].active = false;
        else manualTimers[i].interval = next;
    }
}

class AnimatorManualTimers : public ::testing::Test {
protected:
    void SetUp() override {
        manualTimers.clear();
        drains = 0;
        OutsideWorld world = realWorld();
        world.timers = TimerService{&manualAdd, &manualRemove, &manualDrain};
        installOutsideWorld(world);
    }
    void TearDown() override { installOutsideWorld(realWorld()); }
};

Animator* intAnimator(int32_t* value, int32_t target, int32_t* step, int32_t interval = 10) {
    Animator* a = new Animator;
    a->setupInt(value, target, step, interval);
    return a;
}

Animator* floatAnimator(float* value, float target, float* step, int32_t interval = 10) {
    Animator* a = new Animator;
    a->isFloat = 1;
    a->setupFloat(value, target, step, interval);
    return a;
}

}  // namespace

TEST(AnimatorTick, IntegerOvershootClampsAndFinishesOnceExactLandingNeverFinishes) {
    int32_t value = 0, step = 3;
    Animator up;
    up.setupInt(&value, 10, &step, 25);
    const int32_t seen[] = {3, 6, 9};
    for (int32_t expected : seen) {
        EXPECT_EQ(Animator::intTick(25, &up), 25u);
        EXPECT_EQ(value, expected);
        EXPECT_EQ(up.finished, 0);
    }
    EXPECT_EQ(Animator::intTick(25, &up), 0u);
    EXPECT_EQ(value, 10);
    EXPECT_EQ(up.finished, 1);

    int32_t exact = 0;
    Animator lands;
    lands.setupInt(&exact, 9, &step, 25);
    for (int i = 0; i < 3; ++i) Animator::intTick(25, &lands);
    EXPECT_EQ(exact, 9);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(Animator::intTick(25, &lands), 25u);
    EXPECT_EQ(exact, 9);
    EXPECT_EQ(lands.finished, 0);

    int32_t down = 5;
    Animator falling;
    falling.setupInt(&down, -3, &step, 25);
    Animator::intTick(25, &falling);
    EXPECT_EQ(down, 2);
    Animator::intTick(25, &falling);
    EXPECT_EQ(down, -1);
    EXPECT_EQ(Animator::intTick(25, &falling), 0u);
    EXPECT_EQ(down, -3);
}

TEST(AnimatorTick, IntegerNearTheLimitsDoesNotOverflow) {
    int32_t value = INT_MAX - 1, step = 5;
    Animator a;
    a.setupInt(&value, INT_MAX, &step, 1);
    EXPECT_EQ(Animator::intTick(1, &a), 0u);
    EXPECT_EQ(value, INT_MAX);

    int32_t low = INT_MIN + 2, big = INT_MAX;
    Animator b;
    b.setupInt(&low, INT_MIN, &big, 1);
    EXPECT_EQ(Animator::intTick(1, &b), 0u);
    EXPECT_EQ(low, INT_MIN);

    int32_t still = 0, growing = INT_MAX - 1;
    Animator c;
    c.setupInt(&still, 0, &growing, 1);
    c.intAcceleration = 10;
    Animator::intTick(1, &c);
    EXPECT_EQ(growing, INT_MAX);
}

TEST(AnimatorTick, FloatFinishesOn163rdTickWithStep4AndNeverWithStep2) {
    float value = 450.0f, step = 4.0f;
    Animator a;
    a.isFloat = 1;
    a.setupFloat(&value, -200.0f, &step, 60);
    for (int i = 0; i < 162; ++i) ASSERT_EQ(Animator::floatTick(60, &a), 60u) << "tick " << i + 1;
    EXPECT_EQ(value, -198.0f);
    EXPECT_EQ(Animator::floatTick(60, &a), 0u);
    EXPECT_EQ(value, -200.0f);
    EXPECT_EQ(a.finished, 1);

    float exact = 450.0f, half = 2.0f;
    Animator b;
    b.isFloat = 1;
    b.setupFloat(&exact, -200.0f, &half, 60);
    for (int i = 0; i < 325; ++i) Animator::floatTick(60, &b);
    EXPECT_EQ(exact, -200.0f);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(Animator::floatTick(60, &b), 60u);
    EXPECT_EQ(b.finished, 0);
}

TEST(AnimatorTick, FloatOvershootIsJudgedOnTheExactSum) {
    // 2^24 + 2.5 rounds to 2^24 + 2, the target itself; the exact sum lies
    // past it, so this tick finishes.
    float value = 16777216.0f, step = 2.5f;
    Animator a;
    a.isFloat = 1;
    a.setupFloat(&value, 16777218.0f, &step, 1);
    EXPECT_EQ(Animator::floatTick(1, &a), 0u);
    EXPECT_EQ(a.finished, 1);
    EXPECT_EQ(value, 16777218.0f);

    // The same from above.
    float down = 16777218.0f;
    Animator b;
    b.isFloat = 1;
    b.setupFloat(&down, 16777216.0f, &step, 1);
    EXPECT_EQ(Animator::floatTick(1, &b), 0u);
    EXPECT_EQ(b.finished, 1);
}

TEST(AnimatorTick, StepIsReadEveryTickAndAccelerationFeedsTheSharedStep) {
    float x = 0.0f, y = 0.0f, shared = 0.0f;
    Animator a, b;
    a.isFloat = b.isFloat = 1;
    a.setupFloat(&x, 100.0f, &shared, 5);
    b.setupFloat(&y, 100.0f, &shared, 5);
    a.accelerate(0.5f);
    a.accelerate(0.5f);
    Animator::floatTick(5, &a);  // from rest: x stays, the step becomes 1
    EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(shared, 1.0f);
    Animator::floatTick(5, &b);  // b has no acceleration but sees a's
    EXPECT_EQ(y, 1.0f);
    Animator::floatTick(5, &a);
    EXPECT_EQ(x, 1.0f);
    EXPECT_EQ(shared, 2.0f);
    shared = 0.0f;  // the owner halts both
    a.floatAcceleration = 0.0f;
    Animator::floatTick(5, &a);
    Animator::floatTick(5, &b);
    EXPECT_EQ(x, 1.0f);
    EXPECT_EQ(y, 1.0f);

    // Sitting on the target still accelerates.
    float atTarget = 7.0f, s = 1.0f;
    Animator c;
    c.isFloat = 1;
    c.setupFloat(&atTarget, 7.0f, &s, 5);
    c.accelerate(0.25f);
    EXPECT_EQ(Animator::floatTick(5, &c), 5u);
    EXPECT_EQ(atTarget, 7.0f);
    EXPECT_EQ(s, 1.25f);
    EXPECT_EQ(c.finished, 0);
}

TEST(AnimatorTick, OnFinishRunsOnceWithItsArgument) {
    int32_t value = 0, step = 4, calls = 0;
    Animator a;
    a.setupInt(&value, 5, &step, 1);
    a.setOnFinish([](void* arg) { ++*static_cast<int32_t*>(arg); }, &calls);
    Animator::intTick(1, &a);
    EXPECT_EQ(calls, 0);
    Animator::intTick(1, &a);
    EXPECT_EQ(calls, 1);
    Animator::intTick(1, &a);  // on the target now: nothing moves, nothing is called
    EXPECT_EQ(calls, 1);
}

TEST_F(AnimatorManualTimers, StartStopAndMakeFloatGoThroughTheSeam) {
    float value = 3.0f, step = 1.0f;
    Animator a;
    a.makeFloat(&value, 10.0f, &step, 0.5f, 60, 0);
    EXPECT_EQ(value, 0.5f);
    EXPECT_EQ(a.floatStart, 0.5f);
    EXPECT_EQ(a.timer.load(), nullptr);
    EXPECT_EQ(activeTimers(), 0);

    a.start();
    ASSERT_EQ(manualTimers.size(), 1u);
    EXPECT_EQ(manualTimers[0].interval, 60u);
    EXPECT_EQ(manualTimers[0].callback, &Animator::floatTick);
    fireRound();
    EXPECT_EQ(value, 1.5f);

    a.start();  // a restart replaces the running timer instead of adding a second
    EXPECT_EQ(activeTimers(), 1);
    fireRound();
    EXPECT_EQ(value, 2.5f);

    a.stop();
    EXPECT_EQ(activeTimers(), 0);
    EXPECT_EQ(a.timer.load(), nullptr);
    EXPECT_EQ(drains, 1);  // a live timer was removed: wait out a late call
    a.stop();              // harmless twice, and nothing to wait for
    EXPECT_EQ(drains, 1);

    a.start();
    a.makeFloat(&value, 10.0f, &step, 0.0f, 60, 1);  // reuse stops the old timer
    EXPECT_EQ(activeTimers(), 1);
    a.stop();

    int32_t i = 0, is = 1;
    Animator b;
    b.setupInt(&i, 5, &is, 20);
    b.start();
    EXPECT_EQ(manualTimers.back().callback, &Animator::intTick);
}

TEST_F(AnimatorManualTimers, StoppedAnimatorIgnoresATickAlreadyQueued) {
    int32_t value = 0, step = 1;
    Animator a;
    a.setupInt(&value, 100, &step, 1);
    a.start();
    a.stop();
    EXPECT_EQ(Animator::intTick(1, &a), 0u);
    EXPECT_EQ(value, 0);
}

TEST_F(AnimatorManualTimers, SequenceRunsStepsInOrderAndEnds) {
    int32_t a = 0, b = 0, c = 0, slow = 0, one = 1, two = 2;
    AnimationSequence seq;
    seq.addStep(intAnimator(&a, 2, &one));
    seq.addToLastStep(intAnimator(&slow, 100, &one));  // not first: never advances
    seq.addStep(intAnimator(&b, 3, &two));
    seq.addStep(intAnimator(&c, 1, &one));
    EXPECT_FALSE(seq.isFinished());

    seq.startStep(0);
    EXPECT_EQ(seq.current, 0);
    EXPECT_EQ(activeTimers(), 2);
    fireRound();  // a = 1
    fireRound();  // a = 2 exactly: not finished yet
    EXPECT_EQ(b, 0);
    fireRound();  // a stays on 2, never finishes
    EXPECT_EQ(seq.current, 0);

    // Give step 0's first animator something to overshoot.
    a = 0;
    one = 3;
    fireRound();  // a would pass 2: clamps, finishes, step 1 starts
    EXPECT_EQ(a, 2);
    EXPECT_EQ(seq.current, 1);
    fireRound();  // b = 2, step 1 still running beside the slow one
    fireRound();  // b passes 3: step 2 starts
    EXPECT_EQ(b, 3);
    EXPECT_EQ(seq.current, 2);
    EXPECT_FALSE(seq.isFinished());
    fireRound();
    EXPECT_EQ(c, 1);
    EXPECT_EQ(seq.current, 3);
    EXPECT_TRUE(seq.isFinished());
    EXPECT_EQ(activeTimers(), 1);  // only the slow animator of step 0 runs on
    seq.startStep(3);              // past the end: no change
    seq.startStep(-1);
    EXPECT_EQ(seq.current, 3);
}

TEST_F(AnimatorManualTimers, DestroyingARunningSequenceRemovesEveryTimer) {
    float x = 0.0f, y = 0.0f, step = 1.0f;
    {
        AnimationSequence seq;
        seq.addStep(floatAnimator(&x, 50.0f, &step));
        seq.addToLastStep(floatAnimator(&y, 50.0f, &step));
        seq.addStep(floatAnimator(&y, 0.0f, &step));
        seq.addStep(nullptr);
        seq.startStep(0);
        fireRound();
        EXPECT_EQ(activeTimers(), 2);
    }
    EXPECT_EQ(activeTimers(), 0);
    EXPECT_EQ(drains, 1);  // one wait for the whole sequence
    EXPECT_EQ(x, 1.0f);
    EXPECT_EQ(y, 1.0f);
}

TEST_F(AnimatorManualTimers, DestroyingAnAnimatorStopsItsTimer) {
    int32_t value = 0, step = 1;
    {
        Animator a;
        a.setupInt(&value, 100, &step, 5);
        a.start();
        fireRound();
    }
    EXPECT_EQ(activeTimers(), 0);
    fireRound();
    EXPECT_EQ(value, 1);
}

TEST(AnimationSequenceBuild, AddToLastStepNeedsAStep) {
    AnimationSequence seq;
    Animator* a = new Animator;
    EXPECT_THROW(seq.addToLastStep(a), std::out_of_range);
    seq.addStep(a);  // the sequence owns it from here
    EXPECT_EQ(seq.steps.size(), 1u);
    seq.current = 1;
    EXPECT_TRUE(seq.isFinished());
}

// A tick loop on a second thread stands in for the timer thread; run under
// ThreadSanitizer these show that values, steps and flags are shared soundly.
TEST(AnimatorThreads, MainThreadReadsAndSteersWhileAnotherThreadTicks) {
    float value = 0.0f, step = 0.001f;
    Animator a;
    a.isFloat = 1;
    a.setupFloat(&value, 3.0e38f, &step, 1);
    std::atomic<bool> done{false};
    std::thread ticker([&] {
        while (!done.load() && Animator::floatTick(1, &a) != 0) {
        }
    });
    float last = 0.0f;
    for (int i = 0; i < 20000; ++i) {
        const float now = loadAnimated(value);
        EXPECT_GE(now, last);
        last = now;
        if (i == 100) a.accelerate(0.001f);
        if (i == 10000) storeAnimated(step, 0.5f);
    }
    done = true;
    ticker.join();
    EXPECT_EQ(a.finished, 0);
}

TEST(AnimatorThreads, StopWaitsForARunningTickAndNoTickFollows) {
    int32_t value = 0, step = 1;
    Animator a;
    a.setupInt(&value, INT_MAX, &step, 1);
    // The ticker runs ticks back to back, so stop() nearly always lands while
    // one is in progress and must wait for it.
    std::atomic<int32_t> ticks{0};
    std::thread ticker([&] {
        while (Animator::intTick(1, &a) != 0) ticks.fetch_add(1);
    });
    while (ticks.load() < 1000) std::this_thread::yield();
    a.stop();
    const int32_t after = loadAnimated(value);
    ticker.join();  // the loop ends because the tick answers 0 once stopped
    EXPECT_EQ(loadAnimated(value), after);
    EXPECT_GE(after, 1000);
}

TEST(AnimatorThreads, StopFromInsideItsOwnTickDoesNotWaitForItself) {
    int32_t value = 0, step = 5;
    Animator a;
    a.setupInt(&value, 3, &step, 1);
    a.setOnFinish([](void* self) { static_cast<Animator*>(self)->stop(); }, &a);
    std::thread ticker([&] { Animator::intTick(1, &a); });
    ticker.join();
    EXPECT_EQ(a.finished, 1);
    EXPECT_EQ(a.stopping, 1);
}

// The only test on SDL's real timer thread; short by design.
TEST(AnimatorSdlTimer, RunsOnSdlTimersAndADestroyedSequenceStaysStill) {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_TIMER), 0);
    int32_t value = 0, step = 3;
    Animator a;
    a.setupInt(&value, 10, &step, 1);
    a.start();
    ASSERT_NE(a.timer.load(), nullptr);
    for (int i = 0; i < 2000 && !a.finished; ++i) SDL_Delay(1);
    EXPECT_EQ(a.finished, 1);
    EXPECT_EQ(loadAnimated(value), 10);
    a.stop();  // the timer is gone already: harmless

    float x = 0.0f, y = 0.0f, fast = 1.0f;
    auto* seq = new AnimationSequence;
    seq->addStep(floatAnimator(&x, 1.0e9f, &fast, 1));
    seq->addToLastStep(floatAnimator(&y, 1.0e9f, &fast, 1));
    seq->startStep(0);
    for (int i = 0; i < 2000 && loadAnimated(x) < 5.0f; ++i) SDL_Delay(1);
    delete seq;
    const float xAfter = loadAnimated(x), yAfter = loadAnimated(y);
    EXPECT_GE(xAfter, 5.0f);
    SDL_Delay(30);
    EXPECT_EQ(loadAnimated(x), xAfter);
    EXPECT_EQ(loadAnimated(y), yAfter);
}
