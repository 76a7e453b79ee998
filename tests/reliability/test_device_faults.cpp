// A sound device that misbehaves while the production plays: writes that
// fail, writes that take only part of a block, a device that stalls for a
// second a write, one that is unplugged mid-run and one whose driver hangs.
// The scenes must go on, stopSong must give up on a write after half a
// second and the shutdown must finish. The output runs on the virtual audio
// clock, so every length here is exact.
//
// An unplugged OSS device (the kernel's OSS emulation over ALSA) wakes any
// writer it holds and then fails every write at once with EBADFD; it does
// not block. A hung driver is the other way a device can go: its write never
// comes back.
#include <gtest/gtest.h>

#include <errno.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "music/audio_device.h"
#include "music/playback_thread.h"
#include "scenes/scene.h"
#include "scenes/timeline.h"
#include "support/audio_clock.h"
#include "support/scene_world.h"

namespace {

using namespace sceneworld;

enum class Fault { failing, shortWrites, stallsASecond, unplugged, hangs };

// The fake device. Its writes run on the playback thread and sleep on the
// virtual clock; the test reads the counters from the main thread.
struct FaultyDevice {
    std::atomic<Fault> fault{Fault::failing};
    std::atomic<int> writes{0};
    std::atomic<int> writing{0};  // writes under way
    std::atomic<int> opens{0};
    std::atomic<int> closes{0};
    // A hung write waits here until the test lets it go.
    std::mutex lock;
    std::condition_variable wake;
    bool released = false;

    void release() {
        std::lock_guard<std::mutex> guard(lock);
        released = true;
        wake.notify_all();
    }
};

long misbehave(FaultyDevice& d, int n, size_t bytes) {
    switch (d.fault.load()) {
        case Fault::failing: errno = EIO; return -1;
        case Fault::shortWrites: return long(bytes / 5);
        case Fault::stallsASecond: audioclock::sleep(1000000); return long(bytes);
        case Fault::unplugged:
            if (n <= 4) {
                audioclock::sleep(40000);
                return long(bytes);
            }
            errno = EBADFD;
            return -1;
        case Fault::hangs: {
            if (n <= 2) return long(bytes);
            std::unique_lock<std::mutex> guard(d.lock);
            d.wake.wait(guard, [&] { return d.released; });
            errno = EIO;
            return -1;
        }
    }
    return -1;
}

long faultyWrite(void* self, int, const void*, size_t bytes) {
    FaultyDevice& d = *static_cast<FaultyDevice*>(self);
    d.writing.fetch_add(1);
    const long written = misbehave(d, d.writes.fetch_add(1) + 1, bytes);
    d.writing.fetch_sub(1);
    return written;
}

// The writes after which each device has shown its fault (a few failed or
// short ones, the first stall, the first failure after the unplugging, the
// write that hangs), whether stopSong then finds the thread in a write it
// must give up on, and whether the thread then sleeps on the clock (a hung
// write holds it outside).
struct FaultShown {
    int writes;
    bool inTheWrite;
    bool onTheClock;
};
FaultShown faultShown(Fault f) {
    switch (f) {
        case Fault::failing: return {3, false, true};
        case Fault::shortWrites: return {3, false, true};
        case Fault::stallsASecond: return {1, true, true};
        case Fault::unplugged: return {6, false, true};
        case Fault::hangs: return {3, true, false};
    }
    return {1, false, true};
}

FaultyDevice device;
AudioDevice deviceCalls{&device,
                        [](void* self, const char*) { return static_cast<FaultyDevice*>(self)->opens.fetch_add(1), 3; },
                        [](void*, int, unsigned long, int*) { return 0; }, faultyWrite,
                        [](void* self, int) { return static_cast<FaultyDevice*>(self)->closes.fetch_add(1), 0; },
                        audioclock::clock()};

struct DeviceFaultTest : ::testing::TestWithParam<Fault> {
    void SetUp() override {
        device.fault = GetParam();
        device.writes = device.opens = device.closes = 0;
        {
            std::lock_guard<std::mutex> guard(device.lock);
            device.released = false;
        }
        OutsideWorld w = world();
        w.sound = deviceCalls;
        install(w);
    }
    void TearDown() override {
        uninstall();
        // A thread still held by the hung or stalled device may leave now, and is waited for.
        device.release();
        EXPECT_TRUE(audioclock::driveUntil([] { return device.writing.load() == 0; })) << "a write never came back";
        EXPECT_FALSE(audioclock::state.overslept);
    }
};

}  // namespace

TEST_P(DeviceFaultTest, ScenesPlayOnAndTheStopAndShutdownFinish) {
    Production production;
    testing::internal::CaptureStdout();
    ASSERT_EQ(production.start(0, nullptr), 0);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(device.opens.load(), 1);

    // A title, a picture and a 3D scene, each skipped a few frames in; the
    // rows are the playback thread's own.
    Song* song = production.song;
    onFrame = [song](int f) {
        advance(10);
        if (f == 3) pushKeyUp(SDLK_SPACE);
        return getRow(song);
    };
    for (int step : {1, 2, 3}) {
        frame = 0;
        EXPECT_EQ(production.runStep(step), kSceneSkipped) << "step " << step;
        EXPECT_EQ(frame, 5) << "step " << step << ": the release in frame 3 ends the scene after frame 4";
    }

    // Let the device show its fault before the stop, and catch the thread
    // asleep (a stalled write in its second).
    const FaultShown shown = faultShown(device.fault);
    const bool stalled = shown.inTheWrite && shown.onTheClock;
    ASSERT_TRUE(audioclock::driveUntil([shown, stalled] {
        return device.writes.load() >= shown.writes && (!shown.onTheClock || audioclock::asleep() == 1) &&
               (!stalled || device.writing.load() == 1);
    })) << "the playback thread wrote " << device.writes.load() << " blocks";

    // stopSong sleeps on the clock while it waits: the ticker moves it from
    // stopSong's first sleep on, and never past a stalled write's second
    // while stopSong is awake.
    audioclock::Ticker ticker(stalled ? 2 : 1);
    const int64_t stopping = audioclock::now();
    EXPECT_EQ(stopSong(song), 1);
    const int64_t stopUs = audioclock::now() - stopping;
    // The clock moves on whenever stopSong sleeps, even while a thread that
    // is not stuck still finishes: the lower bound holds for a stuck one only.
    EXPECT_LE(stopUs, 510000) << "waited past half a second";
    if (shown.inTheWrite) {
        EXPECT_GE(stopUs, 500000) << "gave up before half a second";
    }
    EXPECT_EQ(isPlaying(), 0);

    production.shutdown(true);
    EXPECT_EQ(device.closes.load(), 1);
    EXPECT_EQ(production.engine, nullptr);
}

// A device that takes nothing must not let the music run ahead of the clock:
// the scenes follow its rows, and they would race through the song.
using UnpacedDeviceTest = DeviceFaultTest;

TEST_P(UnpacedDeviceTest, TheMusicKeepsToTheClockWhateverTheDeviceTakes) {
    Production production;
    testing::internal::CaptureStdout();
    ASSERT_EQ(production.start(0, nullptr), 0);
    testing::internal::GetCapturedStdout();
    // Past the unplugged device's last good write; then a second of the
    // clock, each end read while the thread sleeps.
    const auto threadAsleep = [] { return audioclock::asleep() == 1; };
    ASSERT_TRUE(audioclock::driveUntil(
        [&] { return device.writes.load() >= faultShown(device.fault).writes && threadAsleep(); }));
    const int musicBefore = getElapsedMs(production.song);
    const int64_t clockBefore = audioclock::now();
    ASSERT_TRUE(audioclock::driveUntil([&] { return audioclock::now() >= clockBefore + 1000000 && threadAsleep(); }));
    const int music = getElapsedMs(production.song) - musicBefore;
    const int64_t clockMs = (audioclock::now() - clockBefore) / 1000;
    // The snapshot moves a row (about 120 ms) at a time: two blocks of slack
    // ahead, a row and a block behind. A thread that no longer sleeps out
    // the block runs ahead by seconds, one that sleeps too long falls behind.
    EXPECT_LT(music, clockMs + 100) << music << " ms of music in " << clockMs << " ms";
    EXPECT_GT(music, clockMs - 170) << music << " ms of music in " << clockMs << " ms";
    audioclock::Ticker ticker;  // for the stop's wait
    production.shutdown(true);
}

namespace {
std::string faultName(const ::testing::TestParamInfo<Fault>& info) {
    const char* const names[] = {"FailingWrites", "ShortWrites", "StallsASecond", "Unplugged", "Hangs"};
    return names[int(info.param)];
}
}  // namespace

INSTANTIATE_TEST_SUITE_P(Faults, DeviceFaultTest,
                         ::testing::Values(Fault::failing, Fault::shortWrites, Fault::stallsASecond, Fault::unplugged,
                                           Fault::hangs),
                         faultName);
// The devices that stop blocking: nothing paces the playback thread but itself.
INSTANTIATE_TEST_SUITE_P(Faults, UnpacedDeviceTest,
                         ::testing::Values(Fault::failing, Fault::shortWrites, Fault::unplugged), faultName);
