// A sound device that misbehaves while the production plays: writes that
// fail, writes that take only part of a block, a device that stalls for a
// second a write, one that is unplugged mid-run and one whose driver hangs.
// The scenes must go on, stopSong must come back within a second and the
// shutdown must finish.
//
// An unplugged OSS device (the kernel's OSS emulation over ALSA) wakes any
// writer it holds and then fails every write at once with EBADFD; it does
// not block. A hung driver is the other way a device can go: its write never
// comes back.
#include <gtest/gtest.h>

#include <errno.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "music/audio_device.h"
#include "music/playback_thread.h"
#include "scenes/scene.h"
#include "scenes/timeline.h"
#include "support/scene_world.h"

namespace {

using namespace sceneworld;
using Clock = std::chrono::steady_clock;

enum class Fault { failing, shortWrites, stallsASecond, unplugged, hangs };

// The fake device. Its writes run on the playback thread; the test reads the
// counters from the main thread.
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
        case Fault::stallsASecond: std::this_thread::sleep_for(std::chrono::seconds(1)); return long(bytes);
        case Fault::unplugged:
            if (n <= 4) {
                std::this_thread::sleep_for(std::chrono::milliseconds(40));
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

// Waits until done() holds; false when it still does not after 10 s, the
// guard against a hang (the event itself comes in milliseconds).
template <typename Done>
bool waitFor(Done done) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::yield();
    }
    return true;
}

// The writes after which each device has shown its fault: a few failed or
// short ones, the first stall, the first failure after the unplugging, the
// write that hangs.
int writesShowingTheFault(Fault f) {
    switch (f) {
        case Fault::failing: return 3;
        case Fault::shortWrites: return 3;
        case Fault::stallsASecond: return 1;
        case Fault::unplugged: return 6;
        case Fault::hangs: return 3;
    }
    return 1;
}

FaultyDevice device;
AudioDevice deviceCalls{&device,
                        [](void* self, const char*) { return static_cast<FaultyDevice*>(self)->opens.fetch_add(1), 3; },
                        [](void*, int, unsigned long, int*) { return 0; }, faultyWrite,
                        [](void* self, int) { return static_cast<FaultyDevice*>(self)->closes.fetch_add(1), 0; }};

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

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
        // A thread still held by the hung device may leave now, and is waited for.
        device.release();
        EXPECT_TRUE(waitFor([] { return device.writing.load() == 0; })) << "a write never came back";
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

    // Let the device show its fault before the stop.
    ASSERT_TRUE(waitFor([] { return device.writes.load() >= writesShowingTheFault(device.fault); }))
        << "the playback thread wrote " << device.writes.load() << " blocks";

    const auto stopping = Clock::now();
    EXPECT_EQ(stopSong(song), 1);
    const double stopSeconds = secondsSince(stopping);
    EXPECT_LT(stopSeconds, 1.0) << "stopSong took " << stopSeconds << " s";
    EXPECT_EQ(isPlaying(), 0);

    const auto closing = Clock::now();
    production.shutdown(true);
    EXPECT_LT(secondsSince(closing), 1.0);
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
    // Past the unplugged device's last good write.
    ASSERT_TRUE(waitFor([] { return device.writes.load() >= writesShowingTheFault(device.fault); }));
    const int musicBefore = getElapsedMs(production.song);
    const auto wallBefore = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const int music = getElapsedMs(production.song) - musicBefore;
    const double wall = secondsSince(wallBefore) * 1000;
    EXPECT_GT(music, 0) << "the music stopped";
    // Two blocks of slack for the snapshot's granularity.
    EXPECT_LT(music, wall + 100) << music << " ms of music in " << wall << " ms";
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
