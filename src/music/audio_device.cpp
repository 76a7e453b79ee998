#include "music/audio_device.h"

#include <SDL/SDL.h>
#include <fcntl.h>
#include <time.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// ---- The real clock --------------------------------------------------------

int64_t monotonicUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}
void realSleepUs(int64_t us) { usleep(useconds_t(us)); }

// ---- OSS: the real calls on a device node --------------------------------

int ossOpen(void*, const char* path) { return ::open(path, O_WRONLY); }
int ossIoctl(void*, int handle, unsigned long request, int* argument) { return ::ioctl(handle, request, argument); }
long ossWrite(void*, int handle, const void* data, size_t bytes) { return long(::write(handle, data, bytes)); }
int ossClose(void*, int handle) { return ::close(handle); }

AudioDevice ossDevice{nullptr, ossOpen, ossIoctl, ossWrite, ossClose, realAudioClock()};

// ---- The stand-in: the OSS contract on top of SDL's audio output ---------

struct StandIn {
    static constexpr size_t kCapacity = 8 * 2048;  // the 16 KB an OSS driver would buffer
    std::mutex lock;
    uint8_t ring[kCapacity];
    size_t readAt = 0;
    size_t filled = 0;
    int rate = 44100;
    uint64_t written = 0;  // bytes accepted since the device was opened
    // The buffer SDL's callback filled last and when: the part of it not yet
    // played is still ahead of the listener.
    int64_t filledAtUs = 0;
    size_t lastFill = 0;
    bool playing = false;         // the writer has started handing bytes over
    uint32_t underruns = 0;       // callbacks that found the ring short after that
    int64_t startedUs = 0;
    bool audioOpen = false;
    bool open = false;
};

StandIn standIn;

// SDL's audio thread: takes what the writer left, silence for the rest.
void standInFill(void*, Uint8* stream, int length) {
    std::unique_lock<std::mutex> guard(standIn.lock);
    size_t wanted = size_t(length), done = 0;
    while (done < wanted && standIn.filled > 0) {
        size_t run = std::min(wanted - done, std::min(standIn.filled, StandIn::kCapacity - standIn.readAt));
        std::memcpy(stream + done, standIn.ring + standIn.readAt, run);
        standIn.readAt = (standIn.readAt + run) % StandIn::kCapacity;
        standIn.filled -= run;
        done += run;
    }
    if (done < wanted) {
        std::memset(stream + done, 0, wanted - done);
        if (standIn.playing) ++standIn.underruns;
    }
    standIn.filledAtUs = deviceClock().nowUs();
    standIn.lastFill = wanted;
}

// Bytes handed over and not yet heard: what waits in the ring, and the part
// of the buffer the callback filled last that has not yet been played (SDL
// was given no `obtained` record, so the buffer is the one asked for).
int standInDelay() {
    std::lock_guard<std::mutex> guard(standIn.lock);
    const double sinceFill = double(deviceClock().nowUs() - standIn.filledAtUs) * 1e-6;
    const double played = sinceFill * double(standIn.rate) * 4;
    const double unplayed = std::max(0.0, double(standIn.lastFill) - played);
    return int(standIn.filled) + (int(unplayed) & ~3);
}

int standInOpen(void*, const char*) {
    if (standIn.open) return -1;
    standIn.readAt = standIn.filled = 0;
    standIn.written = 0;
    standIn.lastFill = 0;
    standIn.playing = false;
    standIn.underruns = 0;
    standIn.open = true;
    return 0;
}

bool startSdlAudio(SdlAudioOpener open, int rate) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    want.samples = 1024;
    want.callback = standInFill;
    // No `obtained` record: SDL then converts whatever the machine plays to
    // what we asked for. Handed one, SDL would play our bytes in the
    // output's own rate and format (wrong pitch, or noise) unconverted.
    if (open(&want, nullptr) != 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    SDL_PauseAudio(0);
    return true;
}

// `self` is the SDL opener, or null for SDL_OpenAudio.
int standInIoctl(void* self, int, unsigned long request, int* argument) {
    switch (request) {
        case kDspSetFormat: *argument = kFormatS16Le; return 0;
        case kDspStereo: *argument = 1; return 0;
        case kDspSpeed:
            // The output starts once the rate is known; a refused output
            // answers with a rate that makes the player give up.
            standIn.rate = *argument;
            if (!standIn.audioOpen) {
                const SdlAudioOpener open = self ? reinterpret_cast<SdlAudioOpener>(self) : SDL_OpenAudio;
                standIn.audioOpen = startSdlAudio(open, *argument);
            }
            if (!standIn.audioOpen) *argument = 0;
            return 0;
        case kDspSetFragment: *argument = 0x0008000B; return 0;
        case kDspGetOutputDelay: *argument = standInDelay(); return 0;
        default: return -1;
    }
}

long standInWrite(void*, int, const void* data, size_t bytes) {
    // Paced by the clock, not by SDL: a write may run at most one buffer
    // (16 KB) ahead of real time, whatever output SDL found (its dummy
    // output, for one, takes samples as fast as they come).
    const AudioClock clock = deviceClock();
    const double bytesPerSecond = double(standIn.rate) * 4;
    if (standIn.written == 0) standIn.startedUs = clock.nowUs();
    for (;;) {
        const double elapsed = double(clock.nowUs() - standIn.startedUs) * 1e-6;
        const double allowed = elapsed * bytesPerSecond + double(StandIn::kCapacity);
        const double excess = double(standIn.written + bytes) - allowed;
        if (excess <= 0) break;
        clock.sleepUs(int64_t(excess / bytesPerSecond * 1e6) + 500);
    }
    standIn.written += bytes;

    // Hand the bytes to SDL's callback; if the output has stalled, what no
    // longer fits is dropped rather than holding the player up.
    const uint8_t* from = static_cast<const uint8_t*>(data);
    std::lock_guard<std::mutex> guard(standIn.lock);
    standIn.playing = true;
    size_t done = 0;
    while (done < bytes && standIn.filled < StandIn::kCapacity) {
        size_t writeAt = (standIn.readAt + standIn.filled) % StandIn::kCapacity;
        size_t run = std::min(bytes - done, std::min(StandIn::kCapacity - standIn.filled, StandIn::kCapacity - writeAt));
        std::memcpy(standIn.ring + writeAt, from + done, run);
        standIn.filled += run;
        done += run;
    }
    return long(bytes);
}

int standInClose(void*, int) {
    if (standIn.underruns && std::getenv("VORNA_ROW_LOG"))
        std::fprintf(stderr, "stand-in: %u underruns\n", standIn.underruns);
    if (standIn.audioOpen) {
        SDL_CloseAudio();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        standIn.audioOpen = false;
    }
    standIn.open = false;
    return 0;
}

AudioDevice standInTable{nullptr, standInOpen, standInIoctl, standInWrite, standInClose, realAudioClock()};

// ---- The system device: OSS or the stand-in, by environment -------------

// The device the system device's open picked. Atomic for the same reason as
// `active` below.
std::atomic<const AudioDevice*> picked{&standInTable};

int systemOpen(void*, const char* path) {
    const char* mode = std::getenv("VORNA_AUDIO");
    const bool ossOnly = mode && std::strcmp(mode, "oss") == 0;
    const bool standInOnly = mode && std::strcmp(mode, "standin") == 0;
    int handle = -1;
    struct stat node;
    if (!standInOnly && ::stat(path, &node) == 0) {
        picked = &ossDevice;
        handle = ossDevice.open(ossDevice.self, path);
    }
    if (handle < 0 && !ossOnly) {
        picked = &standInTable;
        handle = standInTable.open(standInTable.self, path);
    }
    return handle;
}
int systemIoctl(void*, int handle, unsigned long request, int* argument) {
    const AudioDevice* device = picked.load();
    return device->ioctl(device->self, handle, request, argument);
}
long systemWrite(void*, int handle, const void* data, size_t bytes) {
    const AudioDevice* device = picked.load();
    return device->write(device->self, handle, data, bytes);
}
int systemClose(void*, int handle) {
    const AudioDevice* device = picked.load();
    return device->close(device->self, handle);
}

const AudioDevice systemTable{nullptr, systemOpen, systemIoctl, systemWrite, systemClose, realAudioClock()};

// ---- The open device and the WAV capture ---------------------------------

// The device behind the open handle. Atomic: a playback thread that stopSong
// gave up on while it hung in a write reads it once more when that write returns.
std::atomic<const AudioDevice*> active{nullptr};

struct Capture {
    FILE* file = nullptr;
    uint32_t bytes = 0;
    int rate = 44100;
};
Capture capture;

void putLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

void writeWavHeader(FILE* f, uint32_t dataBytes, int rate) {
    uint8_t h[44];
    std::memcpy(h, "RIFF", 4);
    putLe32(h + 4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    putLe32(h + 16, 16);
    h[20] = 1, h[21] = 0;  // PCM
    h[22] = 2, h[23] = 0;  // stereo
    putLe32(h + 24, uint32_t(rate));
    putLe32(h + 28, uint32_t(rate) * 4);
    h[32] = 4, h[33] = 0;
    h[34] = 16, h[35] = 0;
    std::memcpy(h + 36, "data", 4);
    putLe32(h + 40, dataBytes);
    std::fseek(f, 0, SEEK_SET);
    std::fwrite(h, 1, sizeof h, f);
    std::fseek(f, 0, SEEK_END);
}

void startCapture() {
    const char* path = std::getenv("VORNA_CAPTURE");
    if (!path || !*path) return;
    capture.file = std::fopen(path, "wb");
    if (!capture.file) {
        std::fprintf(stderr, "can't open %s\n", path);
        return;
    }
    capture.bytes = 0;
    writeWavHeader(capture.file, 0, capture.rate);
}

void finishCapture() {
    if (!capture.file) return;
    writeWavHeader(capture.file, capture.bytes, capture.rate);
    std::fclose(capture.file);
    capture.file = nullptr;
}

}  // namespace

AudioClock realAudioClock() { return AudioClock{monotonicUs, realSleepUs}; }

const AudioDevice& systemAudioDevice() { return systemTable; }

AudioDevice standInDevice(SdlAudioOpener open, AudioClock clock) {
    AudioDevice device = standInTable;
    device.clock = clock;
    // Quirk: the opener travels in `self` as a function pointer cast to
    // void*, which POSIX (dlsym) guarantees to round-trip.
    device.self = reinterpret_cast<void*>(open);
    return device;
}

int deviceOpen(const AudioDevice& device) {
    const char* path = std::getenv("VORNA_DSP");
    if (!path || !*path) path = "/dev/dsp";
    active = &device;
    const int handle = device.open(device.self, path);
    if (handle < 0) {
        active = nullptr;
        return -1;
    }
    startCapture();
    return handle;
}

AudioClock deviceClock() {
    const AudioDevice* device = active.load();
    return device ? device->clock : realAudioClock();
}

int deviceIoctl(int handle, unsigned long request, int* argument) {
    const AudioDevice* device = active.load();
    if (!device) return -1;
    const int requested = *argument;
    const int r = device->ioctl(device->self, handle, request, argument);
    if (request == kDspSpeed && *argument == requested) capture.rate = requested;
    return r;
}

long deviceWrite(int handle, const void* data, size_t bytes) {
    const AudioDevice* device = active.load();
    if (!device) return -1;
    // Captured before the write: a write that hangs past closeAudio must not
    // come back to a capture file that has been finished meanwhile.
    if (capture.file) {
        std::fwrite(data, 1, bytes, capture.file);
        capture.bytes += uint32_t(bytes);
    }
    return device->write(device->self, handle, data, bytes);
}

void deviceClose(int handle) {
    const AudioDevice* device = active.load();
    if (!device) return;
    device->close(device->self, handle);
    active = nullptr;
    finishCapture();
}
