#include "music/playback_thread.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "music/audio_device.h"
#include "music/module_file.h"
#include "music/player.h"
#include "music/row_queue.h"

namespace {

int deviceHandle = -1;
// The open device's clock: every sleep and every reading of the time here
// goes through it. Set by openAudio while no thread runs.
AudioClock outputClock = realAudioClock();

// One playback thread's own handshake and output block. stopSong waits for
// the thread's render without limit but for its write only a while: a device
// that stalls or hangs in a write must not hold the production's stop. A
// thread given up on that way owns its record from then on and frees it when
// its write finally returns; it touches nothing else on its way out.
enum RunState : uint8_t { kRunning, kFinished, kAbandoned };
struct PlaybackRun {
    std::atomic<uint8_t> stopRequest{0};
    std::atomic<uint8_t> inBlock{0};  // 1 while the thread renders (song, voices, mix buffer) or publishes
    std::atomic<uint8_t> state{kRunning};
    int handle = -1;
    AudioClock clock;
    int64_t streamFrames = 0;  // frames handed to the device so far
    int16_t output[2 * framesPerBlock];
};

pthread_t playbackThread;
std::atomic<bool> threadExists{false};
PlaybackRun* run = nullptr;  // main thread only; the thread has its own pointer
std::atomic<Song*> currentSong{nullptr};

void* mixAllocation = nullptr;
MixAllocator mixAllocator = std::calloc;
float* mixBuffer = nullptr;  // 2 x 2048 interleaved floats, 16-byte aligned

// The rows rendered but not yet heard, and where the device stands. The
// playback thread pushes the marks and, after every write, asks the device
// how much it still holds (SNDCTL_DSP_GETODELAY) and stores that as the
// anchor; the heard frame at any later moment is the anchor moved on by the
// time since, up to what the device held. Whoever takes the queue (the
// playback thread after a write, a getter on the main thread) holds
// `taking`; the other one then leaves the snapshot as it is.
RowQueue outputRows;
std::atomic_flag taking = ATOMIC_FLAG_INIT;
std::atomic<int32_t> avOffsetMs{0};

// One anchor, written by the playback thread, read anywhere: a sequence
// count that is odd while the three values change.
struct HeardAnchor {
    std::atomic<uint32_t> sequence{0};
    std::atomic<int64_t> frame{0};   // stream frame being heard at atUs
    std::atomic<int64_t> atUs{0};    // monotonic microseconds
    std::atomic<int64_t> queued{0};  // frames the device held behind it
};
HeardAnchor anchor;

// How long stopSong waits for a write to come back before it gives up on the thread.
constexpr int kStopWaitMs = 500;

// A seqlock without fences (ThreadSanitizer does not follow fences): the
// values are stored with release and loaded with acquire, so a reader that
// sees any new value also sees the odd count before it when it looks again.
void storeAnchor(int64_t frame, int64_t atUs, int64_t queued) {
    const uint32_t s = anchor.sequence.load(std::memory_order_relaxed);
    anchor.sequence.store(s + 1, std::memory_order_relaxed);
    anchor.frame.store(frame, std::memory_order_release);
    anchor.atUs.store(atUs, std::memory_order_release);
    anchor.queued.store(queued, std::memory_order_release);
    anchor.sequence.store(s + 2, std::memory_order_release);
}

// The stream frame being heard now, by the anchor.
int64_t heardNow() {
    int64_t frame, atUs, queued;
    for (;;) {
        const uint32_t before = anchor.sequence.load(std::memory_order_acquire);
        frame = anchor.frame.load(std::memory_order_acquire);
        atUs = anchor.atUs.load(std::memory_order_acquire);
        queued = anchor.queued.load(std::memory_order_acquire);
        if (!(before & 1) && anchor.sequence.load(std::memory_order_relaxed) == before) break;
    }
    const int64_t played = (outputClock.nowUs() - atUs) * int64_t(outputFormat.rate) / 1000000;
    return frame + (played < 0 ? 0 : played < queued ? played : queued);
}

// Publishes the row of the frame heard now, with the offset in force.
void publishHeard() {
    if (taking.test_and_set(std::memory_order_acquire)) return;  // the other side is at it
    const int64_t offsetMs = avOffsetMs.load(std::memory_order_relaxed);
    const int64_t offsetFrames = offsetMs * int64_t(outputFormat.rate) / 1000;
    const int64_t heard = heardNow() - offsetFrames;
    RowMark mark;
    if (heard >= 0 && outputRows.take(uint64_t(heard), &mark)) publishPosition(mark);
    taking.clear(std::memory_order_release);
}

// After a write of `written` stream frames in all: where the device stands.
void anchorAfterWrite(int handle, int64_t written) {
    int delayBytes = -1;
    // A device that does not answer (or answers nonsense) holds nothing we
    // know of: the row is then that of the block just written, as the
    // device's own buffer is not counted.
    if (deviceIoctl(handle, kDspGetOutputDelay, &delayBytes) == -1 || delayBytes < 0) delayBytes = 0;
    const int64_t queued = std::min<int64_t>(delayBytes / 4, written);
    storeAnchor(written - queued, outputClock.nowUs(), queued);
}

void* playbackLoop(void* argument) {
    PlaybackRun* self = static_cast<PlaybackRun*>(argument);
    const long blockBytes = long(sizeof self->output);
    // Cost per pass: one block of 2048 frames, then a write that blocks while
    // the device's 16 KB are full, which paces the loop to real time.
    while (!self->stopRequest.load()) {
        self->clock.sleepUs(10000);
        // Announce the render, then look once more: a stop that came during
        // the sleep may already have stopped waiting and freed the mix buffer.
        self->inBlock.store(1);
        if (self->stopRequest.load()) {
            self->inBlock.store(0);
            break;
        }
        renderQueuedBlock(currentSong.load(std::memory_order_acquire), mixBuffer, self->output, outputRows,
                          uint64_t(self->streamFrames));
        self->inBlock.store(0);
        const long written = deviceWrite(self->handle, self->output, size_t(blockBytes));
        self->streamFrames += framesPerBlock;
        // The anchor and the queue are shared with the next run: a thread
        // that stopSong gave up on while it hung in its write leaves them be.
        self->inBlock.store(1);
        if (!self->stopRequest.load()) {
            anchorAfterWrite(self->handle, self->streamFrames);
            publishHeard();
        }
        self->inBlock.store(0);
        // A device that takes less than the block (failed, unplugged, short)
        // has not blocked, so it no longer paces the loop: sleep out the
        // block's playing time, so the rows the scenes follow keep to the clock.
        if (written < blockBytes && !self->stopRequest.load()) {
            const long rest = long(double(framesPerBlock) / double(outputFormat.rate) * 1e6) - 10000;
            if (rest > 0) self->clock.sleepUs(rest);
        }
    }
    if (self->state.exchange(kFinished) == kAbandoned) delete self;
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

int openAudio(unsigned rate, const AudioDevice& device) {
    if (!haveFileCallbacks()) return 0;
    closeAudio();
    deviceHandle = deviceOpen(device);
    if (deviceHandle < 0) return 0;
    outputClock = device.clock;
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
    // A thread still writing to the device (and mixing the voices that a new
    // open clears) stops first.
    if (Song* playing = playingSong()) stopSong(playing);
    if (deviceHandle >= 0) deviceClose(deviceHandle);
    deviceHandle = -1;
    return 1;
}

int playSong(Song* song) {
    if (!song) return 0;
    stopSong(song);
    rewindSong(song);
    const size_t bytes = size_t(framesPerBlock) * 8 + 256;
    mixAllocation = mixAllocator(1, bytes);
    if (!mixAllocation) return 0;  // nothing started: the song is stopped, as it was
    currentSong.store(song, std::memory_order_release);
    mixBuffer = reinterpret_cast<float*>((reinterpret_cast<uintptr_t>(mixAllocation) + 15) & ~uintptr_t(15));
    // Nothing is heard yet: the anchor holds at frame 0 until the first write.
    outputRows.reset();
    storeAnchor(0, outputClock.nowUs(), 0);
    run = new PlaybackRun;
    run->handle = deviceHandle;
    run->clock = outputClock;
    if (pthread_create(&playbackThread, nullptr, playbackLoop, run) != 0) {
        delete run;
        run = nullptr;
        threadExists.store(false, std::memory_order_release);
        return 1;  // the song stays silent
    }
    threadExists.store(true, std::memory_order_release);
    return 1;
}

int stopSong(Song* song) {
    if (!song) return 0;
    if (run) {
        run->stopRequest.store(1);
        while (run->inBlock.load()) {
        }
        // From here on the thread no longer touches the song or the mix buffer.
        // The wait is measured on the clock, not counted in sleeps: on a busy
        // machine a 10 ms sleep can take several times that.
        const int64_t giveUpAt = run->clock.nowUs() + int64_t(kStopWaitMs) * 1000;
        while (run->state.load() != kFinished && run->clock.nowUs() < giveUpAt) run->clock.sleepUs(10000);
        if (run->state.exchange(kAbandoned) == kFinished) {
            // Joined, so every restart gives back the finished thread's resources.
            pthread_join(playbackThread, nullptr);
            delete run;
        } else {
            pthread_detach(playbackThread);  // still in its write; it frees its record itself
        }
        run = nullptr;
        threadExists.store(false, std::memory_order_release);
    }
    std::free(mixAllocation);
    mixAllocation = nullptr;
    mixBuffer = nullptr;
    currentSong.store(nullptr, std::memory_order_release);
    return 1;
}

void setMixAllocator(MixAllocator allocate) { mixAllocator = allocate ? allocate : std::calloc; }

void setAvOffsetMs(int ms) { avOffsetMs.store(ms, std::memory_order_relaxed); }
int getAvOffsetMs() { return avOffsetMs.load(std::memory_order_relaxed); }

bool parseAvOffsetMs(const char* text, int* ms) {
    if (!text) return false;
    const char* p = text;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    if (*p == 0) return false;
    long value = 0;
    // At most five digits are looked at: anything longer is out of range anyway.
    for (int digits = 0; *p; ++p, ++digits) {
        if (*p < '0' || *p > '9' || digits == 5) return false;
        value = value * 10 + (*p - '0');
    }
    if (value > 1000) return false;
    *ms = int(negative ? -value : value);
    return true;
}

uint32_t droppedRowMarks() { return outputRows.dropped(); }

int getOrder(Song* song) {
    if (song && isPlaying()) publishHeard();
    return song ? positionSnapshot.order.load(std::memory_order_relaxed) : 0;
}
int getRow(Song* song) {
    if (song && isPlaying()) publishHeard();
    return song ? positionSnapshot.row.load(std::memory_order_relaxed) : 0;
}
int getElapsedMs(Song* song) {
    if (song && isPlaying()) publishHeard();
    return song ? positionSnapshot.elapsedMs.load(std::memory_order_relaxed) : 0;
}

Song* playingSong() { return currentSong.load(std::memory_order_acquire); }

int isPlaying() { return threadExists.load(std::memory_order_acquire) ? 1 : 0; }
