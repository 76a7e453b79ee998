// The virtual world on its own: timers fired at their due virtual times and
// in due order, and the music rendered in step with frames, with the
// snapshot showing the row of the sample at each frame's time.
#include <gtest/gtest.h>

#include <vector>

#include "framework/animator.h"
#include "framework/engine.h"
#include "framework/outside_world.h"
#include "music/music.h"
#include "music/module_file.h"
#include "music/playback_thread.h"
#include "music/player.h"
#include "music/row_queue.h"
#include "music/xm_loader.h"
#include "support/virtual_world.h"

namespace {

void installVirtual() {
    virtualworld::reset();
    installOutsideWorld(virtualworld::over(realWorld()));
}

struct VirtualWorldTest : ::testing::Test {
    void SetUp() override { installVirtual(); }
    void TearDown() override { installOutsideWorld(realWorld()); }

    // Moves the clock on frame by frame, firing what is due, as the recorder does.
    static void runFrames(int frames, int fps) {
        for (int n = 1; n <= frames; ++n) {
            virtualworld::clock().nowUs = uint64_t(n) * 1000000 / uint64_t(fps);
            virtualworld::timers().fireUntil(virtualworld::clock().nowUs);
        }
    }
};

struct Fired {
    uint64_t atUs;
    int who;
};
std::vector<Fired> log;
struct Probe {
    int who;
    Uint32 again;
    int timesLeft;  // 0: forever
};
Uint32 probeTick(Uint32 interval, void* param) {
    Probe* p = static_cast<Probe*>(param);
    log.push_back({virtualworld::timers().nowUs, p->who});
    if (p->timesLeft && --p->timesLeft == 0) return 0;
    return p->again ? p->again : interval;
}

}  // namespace

TEST_F(VirtualWorldTest, AnimatorTicksFollowVirtualTimeNotFrames) {
    // A 60 ms animator ticks 50 times in 3 virtual seconds at any frame rate.
    for (int fps : {60, 7, 1}) {
        installVirtual();
        float value = 0, step = 1;
        Animator a;
        a.makeFloat(&value, 1000000.0f, &step, 0.0f, 60, 1);
        runFrames(3 * fps, fps);
        EXPECT_FLOAT_EQ(loadAnimated(value), 50.0f) << fps << " fps";
        a.stop();
        // Stopped: no tick afterwards.
        runFrames(6 * fps, fps);
        EXPECT_FLOAT_EQ(loadAnimated(value), 50.0f) << fps << " fps";
    }
    // The engine's clock is the same virtual time, from a whole-second epoch.
    virtualworld::clock().nowUs = 2500000;
    timeval tv{};
    outsideWorld().clock(&tv);
    EXPECT_EQ(tv.tv_sec, VirtualClock::kEpochSeconds + 2);
    EXPECT_EQ(tv.tv_usec, 500000);
}

TEST_F(VirtualWorldTest, TicksRunInDueOrderAtTheirOwnTimes) {
    log.clear();
    TimerQueue& q = virtualworld::timers();
    Probe slow{1, 0, 0}, fast{2, 0, 0}, twice{3, 0, 2}, speeding{4, 10, 3};
    q.add(30, probeTick, &slow);
    q.add(20, probeTick, &fast);
    q.add(25, probeTick, &twice);     // cancels itself on its second tick
    q.add(45, probeTick, &speeding);  // then every 10 ms, three ticks in all
    // One frame of 100 ms: every tick inside it still runs at its own time.
    EXPECT_EQ(q.fireUntil(100000), 13);
    const std::vector<std::pair<uint64_t, int>> expected{
        {20000, 2}, {25000, 3}, {30000, 1}, {40000, 2}, {45000, 4}, {50000, 3}, {55000, 4},
        {60000, 1}, {60000, 2}, {65000, 4}, {80000, 2}, {90000, 1}, {100000, 2}};  // ties in the order of creation
    ASSERT_EQ(log.size(), expected.size());
    for (size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].atUs, expected[i].first) << i;
        EXPECT_EQ(log[i].who, expected[i].second) << i;
    }
    EXPECT_EQ(q.timers.size(), 2u);
    EXPECT_EQ(q.nowUs, 100000u);
}

namespace {
TimerQueue* queueForChain = nullptr;
Probe chained{7, 0, 1};
Uint32 startsAnother(Uint32, void*) {
    log.push_back({virtualworld::timers().nowUs, 6});
    queueForChain->add(15, probeTick, &chained);
    return 0;
}
SDL_TimerID selfId = nullptr;
Uint32 removesItself(Uint32 interval, void*) {
    log.push_back({virtualworld::timers().nowUs, 8});
    virtualworld::timers().remove(selfId);
    return interval;  // ignored: the timer is gone
}
}  // namespace

TEST_F(VirtualWorldTest, TimersStartedOrRemovedInsideATick) {
    log.clear();
    TimerQueue& q = virtualworld::timers();
    queueForChain = &q;
    // A timer started from a tick counts from that tick's time, and fires in
    // the same pass when it falls due before the frame ends.
    q.add(10, startsAnother, nullptr);
    selfId = q.add(40, removesItself, nullptr);
    EXPECT_EQ(q.fireUntil(50000), 3);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].atUs, 10000u);
    EXPECT_EQ(log[1].atUs, 25000u);
    EXPECT_EQ(log[1].who, 7);
    EXPECT_EQ(log[2].who, 8);
    EXPECT_TRUE(q.timers.empty());
    EXPECT_FALSE(q.remove(selfId));
    // A timer added between frames counts from the frame's time.
    q.add(5, probeTick, &chained);
    EXPECT_EQ(q.timers.begin()->second.dueUs, 55000u);
}

// The coarser ways vorna-scene and the scene tests fire the same queue: a
// 10 ms and a 15 ms timer, and one that starts a 15 ms timer on its first tick.
TEST_F(VirtualWorldTest, CatchUpEachAndFireEachOnceOrderTicksByTimerNotByTime) {
    struct Case {
        const char* name;
        void (*fire)(TimerQueue&);
        std::vector<std::pair<uint64_t, int>> expected;  // the queue's now at each tick, who
    };
    const Case cases[] = {
        {"fireUntil", [](TimerQueue& q) { q.fireUntil(30000); },
         {{10000, 1}, {15000, 2}, {20000, 1}, {20000, 6}, {30000, 1}, {30000, 2}}},
        // Each timer catches up in turn; the one started counts from 30 ms.
        {"catchUpEach", [](TimerQueue& q) { q.catchUpEach(30000); },
         {{30000, 1}, {30000, 1}, {30000, 1}, {30000, 2}, {30000, 2}, {30000, 6}}},
        // One tick each whatever the time; the one started waits for the next round.
        {"fireEachOnce", [](TimerQueue& q) { q.fireEachOnce(); }, {{0, 1}, {0, 2}, {0, 6}}},
    };
    for (const Case& c : cases) {
        installVirtual();
        log.clear();
        TimerQueue& q = virtualworld::timers();
        queueForChain = &q;
        Probe ten{1, 0, 0}, fifteen{2, 0, 0};
        q.add(10, probeTick, &ten);
        q.add(15, probeTick, &fifteen);
        q.add(20, startsAnother, nullptr);
        c.fire(q);
        std::vector<std::pair<uint64_t, int>> seen;
        for (const Fired& f : log) seen.emplace_back(f.atUs, f.who);
        EXPECT_EQ(seen, c.expected) << c.name;
    }
}

namespace {
Song* loadKestrula() {
    setEmbeddedModule(kestrulaXm, kestrulaXm_size);
    setFileCallbacks(embeddedOpen, embeddedClose, embeddedRead, embeddedSeek, embeddedTell);
    return loadSong("KESTRULA.XM", nullptr);
}
}  // namespace

namespace {
// The row start in force at every audio frame of the song's first `blocks`
// blocks, from the queue the thread's renderer fills.
std::vector<RowMark> rowAtEveryFrame(Song* song, int blocks, std::vector<int16_t>* pcm) {
    std::vector<float> mix(2 * framesPerBlock);
    std::vector<int16_t> out(2 * framesPerBlock);
    RowQueue rows;
    std::vector<RowMark> at;
    RowMark mark{};
    rewindSong(song);
    for (int b = 0; b < blocks; ++b) {
        renderQueuedBlock(song, mix.data(), out.data(), rows, uint64_t(b) * framesPerBlock);
        pcm->insert(pcm->end(), out.begin(), out.end());
        for (int i = 0; i < framesPerBlock; ++i) {
            rows.take(at.size(), &mark);
            at.push_back(mark);
        }
    }
    return at;
}
}  // namespace

TEST_F(VirtualWorldTest, MusicInStepWithFramesAndTheRowOfTheSampleHeard) {
    ASSERT_EQ(setOutputRate(44100), 1);
    Song* song = loadKestrula();
    ASSERT_NE(song, nullptr);

    constexpr int kBlocks = 200;  // about 9 seconds
    std::vector<int16_t> pcm;
    const std::vector<RowMark> rowAt = rowAtEveryFrame(song, kBlocks, &pcm);
    EXPECT_EQ(rowAt[0].frame, 0u);
    EXPECT_EQ(rowAt[0].row, 0);

    // The same song stepped by frames at 60 fps: 735 frames of audio each,
    // each frame showing the row of the sample at its time, and with the
    // A/V offset that row of the sample that much earlier.
    for (int offsetMs : {0, 100, -100}) {
        SCOPED_TRACE(offsetMs);
        setAvOffsetMs(offsetMs);
        rewindSong(song);
        MusicStepper music;
        music.song = song;
        music.publishAt(0);
        std::vector<int16_t> taken;
        int changes = 0, lastRow = -1;
        const int frames = (kBlocks - 2) * framesPerBlock / 735;
        const long shift = long(offsetMs) * 441 / 10;
        for (int n = 0; n < frames; ++n) {
            music.take(uint64_t(n + 1) * 735, &taken);
            music.publishAt(uint64_t(n + 1) * 735);
            const long heard = long(n + 1) * 735 - shift;
            if (heard < 0) continue;  // nothing heard yet: the row the song starts with
            ASSERT_EQ(positionSnapshot.frame.load(), rowAt[size_t(heard)].frame) << "frame " << n + 1;
            ASSERT_EQ(positionSnapshot.row.load(), rowAt[size_t(heard)].row) << "frame " << n + 1;
            ASSERT_EQ(positionSnapshot.order.load(), rowAt[size_t(heard)].order) << "frame " << n + 1;
            if (positionSnapshot.row.load() != lastRow) ++changes, lastRow = positionSnapshot.row.load();
        }
        EXPECT_EQ(taken.size(), size_t(frames) * 735 * 2);
        EXPECT_TRUE(std::equal(taken.begin(), taken.end(), pcm.begin())) << "the frames' audio is the thread's audio";
        EXPECT_GT(changes, 40) << "about eight rows a second";
        EXPECT_EQ(music.rows.dropped(), 0u);
    }
    setAvOffsetMs(0);
    freeSong(song);
}
