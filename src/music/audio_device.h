// The sound device the playback thread writes to: a thin layer over the OSS
// calls (open write-only, four ioctl requests, blocking write, close), so the
// same thread can drive a real "/dev/dsp", our stand-in that hands the PCM to
// SDL's audio output, or a fake that a test hands to openAudio (in the
// production the device comes from the outside world's record).
//
// Threads: open and close on the main thread; write on the playback thread
// (the stand-in's SDL callback runs on SDL's audio thread and meets the
// writer only through its own mutex-guarded ring). The open device's clock
// is read on all three. Not for more than one open device at a time.
//
// Environment (read when the system device is opened):
//   VORNA_DSP=path        the OSS device node (default "/dev/dsp")
//   VORNA_AUDIO=auto      OSS when the node exists, else the stand-in (default)
//   VORNA_AUDIO=oss       the OSS node only, never the stand-in
//   VORNA_AUDIO=standin   the stand-in even when an OSS node exists
//   VORNA_CAPTURE=f.wav   also write every byte sent to the device into a WAV file
#pragma once

#include <cstddef>
#include <cstdint>

// The OSS requests the player makes, with their values on Linux.
constexpr unsigned long kDspSetFormat = 0xC0045005;    // SNDCTL_DSP_SETFMT
constexpr unsigned long kDspStereo = 0xC0045003;       // SNDCTL_DSP_STEREO
constexpr unsigned long kDspSpeed = 0xC0045002;        // SNDCTL_DSP_SPEED
constexpr unsigned long kDspSetFragment = 0xC004500A;  // SNDCTL_DSP_SETFRAGMENT
constexpr unsigned long kDspGetOutputDelay = 0x80045017;  // SNDCTL_DSP_GETODELAY: bytes not yet played
constexpr int kFormatS16Le = 16;                        // AFMT_S16_LE

// The time the sound output keeps: the playback thread's sleeps and its
// anchor, stopSong's wait for a write, the stand-in's pacing. The real one is
// the monotonic clock and real sleeps; a test hands in a virtual clock it
// advances itself. Both calls may come from any thread at once.
struct AudioClock {
    int64_t (*nowUs)();           // monotonic microseconds
    void (*sleepUs)(int64_t us);  // returns once `us` have passed on nowUs
};
AudioClock realAudioClock();

// A device as four calls with the meaning of open/ioctl/write/close on an
// OSS node, and the clock its output runs on. `self` is the device's own state.
struct AudioDevice {
    void* self;
    int (*open)(void* self, const char* path);  // a handle >= 0, or -1
    int (*ioctl)(void* self, int handle, unsigned long request, int* argument);
    long (*write)(void* self, int handle, const void* data, size_t bytes);
    int (*close)(void* self, int handle);
    AudioClock clock;
};

// The machine's own device: its open picks the OSS node or the stand-in as
// the environment says (see above) and the other three calls go to the one
// picked.
const AudioDevice& systemAudioDevice();

// What the player calls. deviceOpen opens `device` on the node VORNA_DSP
// names and starts the WAV capture when asked for; the device must outlive
// the open handle (and a write the playback thread was given up in).
int deviceOpen(const AudioDevice& device);
// The clock of the device open now (the real one while none is).
AudioClock deviceClock();
int deviceIoctl(int handle, unsigned long request, int* argument);
long deviceWrite(int handle, const void* data, size_t bytes);
void deviceClose(int handle);

// Where the stand-in opens SDL's output, with SDL_OpenAudio's contract.
struct SDL_AudioSpec;
using SdlAudioOpener = int (*)(SDL_AudioSpec* desired, SDL_AudioSpec* obtained);

// The stand-in itself: it grants 16-bit little-endian stereo, the rate asked
// for and 8 fragments of 2048 bytes, and blocks each write while its 16 KB
// buffer is full. It answers SNDCTL_DSP_GETODELAY with what waits in that
// buffer plus the part of the buffer SDL's callback filled last that has not
// been played yet, and counts the callbacks that found it short (printed at
// close when VORNA_ROW_LOG is set). It opens SDL's output through `open` (SDL_OpenAudio unless
// a test hands one that grants another rate or format); there is one
// stand-in, so only one of these devices may be open at a time. Its writes
// are paced on `clock` (the real one unless a test hands its own); the
// stand-in reads the clock through deviceClock, so a test drives it through
// deviceOpen and the calls after it.
AudioDevice standInDevice(SdlAudioOpener open = nullptr, AudioClock clock = realAudioClock());
