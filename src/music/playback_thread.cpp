#include "music/playback_thread.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "music/audio_device.h"
#include "music/module_file.h"
#include "music/player.h"

namespace {

int deviceHandle = -1;

pthread_t playbackThread;
std::atomic<bool> threadExists{false};
std::atomic<uint8_t> stopRequest{0};
std::atomic<uint8_t> inBlock{0};
std::atomic<uint8_t> threadFinished{1};
std::atomic<Song*> currentSong{nullptr};

void* mixAllocation = nullptr;
float* mixBuffer = nullptr;  // 2 x 2048 interleaved floats, 16-byte aligned
int16_t outputBuffer[2 * framesPerBlock];

void* playbackLoop(void*) {
    // Cost per pass: one block of 2048 frames, then a write that blocks while
    // the device's 16 KB are full, which paces the loop to real time.
    while (!stopRequest.load(std::memory_order_acquire)) {
        usleep(10000);
        inBlock.store(1, std::memory_order_release);
        renderBlock(currentSong.load(std::memory_order_acquire), mixBuffer, outputBuffer);
        deviceWrite(deviceHandle, outputBuffer, sizeof outputBuffer);  // a failed write is ignored
        inBlock.store(0, std::memory_order_release);
    }
    threadFinished.store(1, std::memory_order_release);
    pthread_exit(nullptr);
}

bool requestGranted(unsigned long request, int value, bool (*accept)(int granted, int asked)) {
    int argument = value;
    // A node that is not a sound device (a plain file, say) refuses the
    // request and leaves the argument as it was: that is a refusal too.
    if (deviceIoctl(deviceHandle, request, &argument) == -1) return false;
    return accept(argument, value);
}

}  // namespace

int openAudio(unsigned rate) {
    if (!haveFileCallbacks()) return 0;
    closeAudio();
    deviceHandle = deviceOpen();
    if (deviceHandle < 0) return 0;
    auto equal = [](int granted, int asked) { return granted == asked; };
    const bool ok =
        requestGranted(kDspSetFormat, kFormatS16Le, equal) && requestGranted(kDspStereo, 1, equal) &&
        requestGranted(kDspSpeed, int(rate), equal) &&
        requestGranted(kDspSetFragment, 0x0008000B, [](int granted, int) { return (granted & 0xFFFF) == 11; }) &&
        setOutputRate(rate);  // ramp length, reciprocals, a cleared voice table
    if (!ok) {
        closeAudio();
        return 0;
    }
    return 1;
}

int closeAudio() {
    if (deviceHandle >= 0) deviceClose(deviceHandle);
    deviceHandle = -1;
    return 1;
}

int playSong(Song* song) {
    if (!song) return 0;
    stopSong(song);
    rewindSong(song);
    currentSong.store(song, std::memory_order_release);
    const size_t bytes = size_t(framesPerBlock) * 8 + 256;
    mixAllocation = std::calloc(1, bytes);
    mixBuffer = reinterpret_cast<float*>((reinterpret_cast<uintptr_t>(mixAllocation) + 15) & ~uintptr_t(15));
    stopRequest.store(0, std::memory_order_release);
    // Marked running before the thread starts, so that a stop right after
    // this call cannot mistake a thread that has not begun for one that ended.
    threadFinished.store(0, std::memory_order_release);
    if (pthread_create(&playbackThread, nullptr, playbackLoop, nullptr) != 0) {
        threadFinished.store(1, std::memory_order_release);
        threadExists.store(false, std::memory_order_release);
        return 1;  // the song stays silent
    }
    threadExists.store(true, std::memory_order_release);
    return 1;
}

int stopSong(Song* song) {
    if (!song) return 0;
    stopRequest.store(1, std::memory_order_release);
    while (inBlock.load(std::memory_order_acquire)) {
    }
    if (threadExists.load(std::memory_order_acquire)) {
        while (!threadFinished.load(std::memory_order_acquire)) usleep(50000);
        // Joined, so every restart gives back the finished thread's resources.
        pthread_join(playbackThread, nullptr);
        threadExists.store(false, std::memory_order_release);
    }
    std::free(mixAllocation);
    mixAllocation = nullptr;
    mixBuffer = nullptr;
    currentSong.store(nullptr, std::memory_order_release);
    return 1;
}

int getOrder(Song* song) { return song ? positionSnapshot.order.load(std::memory_order_relaxed) : 0; }
int getRow(Song* song) { return song ? positionSnapshot.row.load(std::memory_order_relaxed) : 0; }
int getElapsedMs(Song* song) { return song ? positionSnapshot.elapsedMs.load(std::memory_order_relaxed) : 0; }

Song* playingSong() { return currentSong.load(std::memory_order_acquire); }

int isPlaying() { return threadExists.load(std::memory_order_acquire) ? 1 : 0; }
