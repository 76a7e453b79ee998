// The music's output in the page (music/playback_thread.h's calls): a page
// has no threads to spare, so nothing plays on its own. The page's audio
// callback asks for samples (vorna_audio_fill), the song is mixed there,
// block by block, every row start marked in a row queue at its stream frame;
// the position the scenes follow is the row of the frame the page says is
// being heard (the samples handed over, placed on the audio clock), as the
// playback thread does natively.
//
// Owns: the playing song, the mix buffer, the rendered samples not yet
// handed over and their row marks. Threads: one (the page's); the callback
// runs between frames, when the production yields. Not for: playing two songs.
#include <emscripten.h>

#include <cstdlib>
#include <cstring>

#include "music/audio_device.h"
#include "music/module_file.h"
#include "music/playback_thread.h"
#include "music/player.h"
#include "music/row_queue.h"
#include "platform/web/page.h"

namespace {

int deviceHandle = -1;
const AudioDevice* openDevice = nullptr;
Song* currentSong = nullptr;
void* mixAllocation = nullptr;
MixAllocator mixAllocator = std::calloc;
float* mixBuffer = nullptr;
int16_t block[2 * framesPerBlock];
int blockTaken = framesPerBlock;  // frames of `block` handed over already
uint64_t renderedFrames = 0;
RowQueue rows;
int avOffsetMs = 0;
unsigned outputRate = 44100;
int16_t handout[2 * 16384];        // what one call of the callback takes, at most 16384 frames

// The page's own sound output: its open starts the Web Audio graph.
int webOpen(void*, const char*) { return 0; }
int webIoctl(void*, int, unsigned long request, int* argument) {
    switch (request) {
        case kDspSetFormat: *argument = kFormatS16Le; return 0;
        case kDspStereo: *argument = 1; return 0;
        case kDspSpeed:
            if (!pageAudioOpen(*argument)) *argument = 0;  // no output: the player gives up
            return 0;
        case kDspSetFragment: *argument = 0x0008000B; return 0;
        default: return -1;
    }
}
long webWrite(void*, int, const void*, size_t bytes) { return long(bytes); }
int webClose(void*, int) {
    pageAudioClose();
    return 0;
}
const AudioDevice webDevice{nullptr, webOpen, webIoctl, webWrite, webClose, realAudioClock()};

bool granted(unsigned long request, int value, bool exact) {
    int argument = value;
    if (openDevice->ioctl(openDevice->self, deviceHandle, request, &argument) == -1) return false;
    return exact ? argument == value : (argument & 0xFFFF) == 11;
}

}  // namespace

const AudioDevice& systemAudioDevice() { return webDevice; }

int openAudio(unsigned rate, const AudioDevice& device) {
    if (!haveFileCallbacks()) return 0;
    closeAudio();
    openDevice = &device;
    outputRate = rate ? rate : 44100;
    deviceHandle = device.open(device.self, "/dev/dsp");
    if (deviceHandle < 0) {
        openDevice = nullptr;
        return 0;
    }
    const bool ok = granted(kDspSetFormat, kFormatS16Le, true) && granted(kDspStereo, 1, true) &&
                    granted(kDspSpeed, int(rate), true) && granted(kDspSetFragment, 0x0008000B, false) &&
                    setOutputRate(rate);
    if (!ok) {
        closeAudio();
        return 0;
    }
    return 1;
}

int closeAudio() {
    if (currentSong) stopSong(currentSong);
    if (openDevice && deviceHandle >= 0) openDevice->close(openDevice->self, deviceHandle);
    openDevice = nullptr;
    deviceHandle = -1;
    return 1;
}

int playSong(Song* song) {
    if (!song) return 0;
    stopSong(song);
    rewindSong(song);
    mixAllocation = mixAllocator(1, size_t(framesPerBlock) * 8 + 256);
    if (!mixAllocation) return 0;
    mixBuffer = reinterpret_cast<float*>((reinterpret_cast<uintptr_t>(mixAllocation) + 15) & ~uintptr_t(15));
    blockTaken = framesPerBlock;
    renderedFrames = 0;
    rows.reset();
    currentSong = song;
    return 1;
}

int stopSong(Song* song) {
    if (!song) return 0;
    // Nothing to wait for: the callback runs only while the production yields.
    currentSong = nullptr;
    std::free(mixAllocation);
    mixAllocation = nullptr;
    mixBuffer = nullptr;
    return 1;
}

namespace {
// Publishes the row of the frame heard now, moved by the offset.
void publishHeard() {
    const int64_t heard = int64_t(pageHeardFrame()) - int64_t(avOffsetMs) * int64_t(outputRate) / 1000;
    RowMark mark;
    if (heard >= 0 && rows.take(uint64_t(heard), &mark)) publishPosition(mark);
}
}  // namespace

int getOrder(Song* song) {
    if (song && currentSong) publishHeard();
    return song ? positionSnapshot.order.load(std::memory_order_relaxed) : 0;
}
int getRow(Song* song) {
    if (song && currentSong) publishHeard();
    return song ? positionSnapshot.row.load(std::memory_order_relaxed) : 0;
}
int getElapsedMs(Song* song) {
    if (song && currentSong) publishHeard();
    return song ? positionSnapshot.elapsedMs.load(std::memory_order_relaxed) : 0;
}
void setAvOffsetMs(int ms) { avOffsetMs = ms; }
int getAvOffsetMs() { return avOffsetMs; }
uint32_t droppedRowMarks() { return rows.dropped(); }

void setMixAllocator(MixAllocator allocate) { mixAllocator = allocate ? allocate : std::calloc; }
int isPlaying() { return currentSong ? 1 : 0; }
Song* playingSong() { return currentSong; }

// The page's audio callback: `frames` stereo frames of 16-bit samples, or
// null for silence (nothing plays).
extern "C" EMSCRIPTEN_KEEPALIVE const int16_t* vorna_audio_fill(int frames) {
    if (!currentSong || frames <= 0 || frames > 16384) return nullptr;
    // Cost: the blocks these frames need, 2048 frames each.
    for (int done = 0; done < frames;) {
        if (blockTaken == framesPerBlock) {
            renderQueuedBlock(currentSong, mixBuffer, block, rows, renderedFrames);
            renderedFrames += framesPerBlock;
            blockTaken = 0;
        }
        const int n = frames - done < framesPerBlock - blockTaken ? frames - done : framesPerBlock - blockTaken;
        std::memcpy(handout + 2 * done, block + 2 * blockTaken, size_t(n) * 4);
        blockTaken += n;
        done += n;
    }
    return handout;
}

// The music's published position in milliseconds, for the page's figures.
extern "C" EMSCRIPTEN_KEEPALIVE int vorna_music_ms() { return positionSnapshot.elapsedMs.load(); }

// The page's clock: the browser's monotonic time. Nothing in the page sleeps
// on its output (the audio callback pulls the music), so its sleep returns at once.
AudioClock realAudioClock() {
    return {[]() -> int64_t { return int64_t(emscripten_get_now() * 1000.0); }, [](int64_t) {}};
}
