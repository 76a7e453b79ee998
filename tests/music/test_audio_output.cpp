// The device requests, the playback thread and the WAV capture, against a
// fake device that records every call.
#include <SDL/SDL.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "music/audio_device.h"
#include "music/playback_thread.h"
#include "music/player.h"
#include "music_support.h"
#include "support/audio_clock.h"

namespace {

struct FakeDevice {
    std::mutex lock;
    std::vector<std::pair<unsigned long, int>> requests;  // request, value asked
    std::vector<size_t> writes;
    std::condition_variable written;  // told of every write
    std::atomic<int> opens{0}, closes{0};
    // Handles are 7, 8, 9 ... one an open; a write to one that was closed is a fault.
    std::atomic<int> lastClosed{6};
    std::atomic<bool> writtenAfterClose{false};
    int grantRate = -1;      // -1: grant what is asked
    int grantFragment = 0x0008000B;
    bool failOpen = false;
    int delayBytes = -1;  // the answer to SNDCTL_DSP_GETODELAY; -1: the request is refused
    AudioDevice table{};

    FakeDevice() {
        table.self = this;
        table.clock = realAudioClock();
        table.open = [](void* self, const char*) {
            auto* d = static_cast<FakeDevice*>(self);
            const int n = ++d->opens;
            return d->failOpen ? -1 : 6 + n;
        };
        table.ioctl = [](void* self, int, unsigned long request, int* argument) {
            auto* d = static_cast<FakeDevice*>(self);
            if (request == kDspGetOutputDelay) {  // asked by the playback thread after every write
                if (d->delayBytes < 0) return -1;
                *argument = d->delayBytes;
                return 0;
            }
            d->requests.emplace_back(request, *argument);
            if (request == kDspSpeed && d->grantRate >= 0) *argument = d->grantRate;
            if (request == kDspSetFragment) *argument = d->grantFragment;
            return 0;
        };
        table.write = [](void* self, int handle, const void*, size_t bytes) {
            auto* d = static_cast<FakeDevice*>(self);
            if (handle <= d->lastClosed) d->writtenAfterClose = true;
            std::lock_guard<std::mutex> g(d->lock);
            d->writes.push_back(bytes);
            d->written.notify_all();
            return long(bytes);
        };
        table.close = [](void* self, int handle) {
            auto* d = static_cast<FakeDevice*>(self);
            ++d->closes;
            d->lastClosed = handle;
            return 0;
        };
    }
    // A write that came after its handle was closed, at any time in the test.
    ~FakeDevice() { EXPECT_FALSE(writtenAfterClose) << "written after the close"; }
    size_t writeCount() {
        std::lock_guard<std::mutex> g(lock);
        return writes.size();
    }
};

void registerCallbacks() { setFileCallbacks(embeddedOpen, embeddedClose, embeddedRead, embeddedSeek, embeddedTell); }

// One channel, a note every row, 125 BPM.
xmw::ModuleSpec beatModule() {
    xmw::ModuleSpec m;
    m.speed = 6;
    m.bpm = 125;
    xmw::PatternSpec p(64, 1);
    for (int r = 0; r < 64; r += 4) p.at(r, 0).note = 49, p.at(r, 0).instrument = 1;
    m.patterns.push_back(p);
    xmw::InstrumentSpec inst;
    inst.samples.push_back(musictest::tone(4000));
    m.instruments.push_back(inst);
    return m;
}

// Waits until the device has taken n writes; 10 s is the guard against a
// thread that never writes (the writes come every few milliseconds).
void waitForWrites(FakeDevice& d, size_t n) {
    std::unique_lock<std::mutex> g(d.lock);
    d.written.wait_for(g, std::chrono::seconds(10), [&] { return d.writes.size() >= n; });
}

}  // namespace

TEST(AudioOutput, OpenMakesTheFourRequestsAndNeedsTheirValues) {
    registerCallbacks();
    {
        FakeDevice d;
        ASSERT_EQ(openAudio(44100, d.table), 1);
        ASSERT_EQ(d.requests.size(), 4u);
        EXPECT_EQ(d.requests[0], std::make_pair(kDspSetFormat, 16));
        EXPECT_EQ(d.requests[1], std::make_pair(kDspStereo, 1));
        EXPECT_EQ(d.requests[2], std::make_pair(kDspSpeed, 44100));
        EXPECT_EQ(d.requests[3], std::make_pair(kDspSetFragment, 0x0008000B));
        EXPECT_EQ(outputFormat.rampLength, 128u);
        EXPECT_FLOAT_EQ(outputFormat.rampReciprocal, 1.0f / 128);
        EXPECT_EQ(outputFormat.rateReciprocal, 1.0f / 44100.0f);
        closeAudio();
        EXPECT_EQ(d.closes, 1);
        closeAudio();
        EXPECT_EQ(d.closes, 1) << "closing twice closes once";
    }
    {
        FakeDevice d;
        d.grantRate = 44099;
        EXPECT_EQ(openAudio(44100, d.table), 0) << "a neighbouring rate is a refusal";
        EXPECT_EQ(d.closes, 1);
    }
    {
        FakeDevice d;
        d.grantFragment = 0x0008000C;
        EXPECT_EQ(openAudio(44100, d.table), 0);
    }
    {
        FakeDevice d;
        d.failOpen = true;
        EXPECT_EQ(openAudio(44100, d.table), 0);
    }
}

TEST(AudioOutput, OpenWithoutCallbacksLeavesTheDeviceAlone) {
    setFileCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
    FakeDevice d;
    EXPECT_EQ(openAudio(44100, d.table), 0);
    EXPECT_EQ(d.opens, 0);
}

TEST(AudioOutput, MissingOrFakeOssNodeIsRefused) {
    registerCallbacks();
    setenv("VORNA_AUDIO", "oss", 1);
    setenv("VORNA_DSP", "/nonexistent/dsp", 1);
    EXPECT_EQ(openAudio(44100, systemAudioDevice()), 0);
    // A plain file refuses the ioctl requests: not a sound device.
    char path[] = "/tmp/vorna-dsp-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    setenv("VORNA_DSP", path, 1);
    EXPECT_EQ(openAudio(44100, systemAudioDevice()), 0);
    unlink(path);
    unsetenv("VORNA_AUDIO");
    unsetenv("VORNA_DSP");
}

TEST(AudioOutput, ThreadWritesWholeBlocksAndPublishesTheSnapshot) {
    registerCallbacks();
    FakeDevice d;
    ASSERT_EQ(openAudio(44100, d.table), 1);
    musictest::Loaded song(beatModule());
    ASSERT_NE(song.song, nullptr);
    EXPECT_EQ(playSong(nullptr), 0);
    EXPECT_EQ(stopSong(nullptr), 0);
    EXPECT_EQ(getRow(nullptr), 0);

    ASSERT_EQ(playSong(song.song), 1);
    EXPECT_EQ(isPlaying(), 1);
    waitForWrites(d, 6);
    // Read from the main thread while the thread runs.
    int lastElapsed = -1, rows = 0;
    for (int i = 0; i < 20; ++i) {
        int e = getElapsedMs(song.song);
        EXPECT_GE(e, lastElapsed);
        lastElapsed = e;
        rows = std::max(rows, getRow(song.song));
        waitForWrites(d, d.writeCount() + 1);  // the thread moves on between two reads
    }
    EXPECT_GT(lastElapsed, 0);
    EXPECT_EQ(stopSong(song.song), 1);
    EXPECT_EQ(isPlaying(), 0);
    EXPECT_EQ(stopSong(song.song), 1) << "a second stop is harmless";
    {
        std::lock_guard<std::mutex> g(d.lock);
        ASSERT_GE(d.writes.size(), 6u);
        for (size_t w : d.writes) EXPECT_EQ(w, 8192u);
    }
    const size_t blocks = d.writeCount();
    // A device that does not tell what it holds: the snapshot shows the
    // last row started in what was written (a row is 6 ticks, 114 ms of
    // the counter; a block about 44). The thread publishes after its write,
    // so a stop between the two leaves the last block written unpublished.
    EXPECT_GE(getElapsedMs(song.song), int(blocks) * 43 - 114 - 45);
    EXPECT_LE(getElapsedMs(song.song), int(blocks) * 45 + 19);
    EXPECT_LE(positionSnapshot.frame.load(), blocks * framesPerBlock);
    EXPECT_GT(positionSnapshot.frame.load() + 6 * 882 + framesPerBlock, blocks * framesPerBlock);

    // Playing again restarts from the beginning.
    ASSERT_EQ(playSong(song.song), 1);
    ASSERT_EQ(playSong(song.song), 1);
    waitForWrites(d, blocks + 1);
    stopSong(song.song);
    EXPECT_LT(getElapsedMs(song.song), int(d.writeCount() - blocks) * 45 + 19);
    closeAudio();
}

TEST(AudioOutput, TheSnapshotShowsTheRowOfTheFrameTheDeviceIsPlaying) {
    // A device that holds 3 blocks and answers how much: after each write
    // the row shown is the one of the frame 6144 frames before the end of
    // what was written, and the A/V offset moves it back further.
    registerCallbacks();
    for (int offsetMs : {0, 100}) {
        SCOPED_TRACE(offsetMs);
        FakeDevice d;
        d.delayBytes = 3 * 8192;
        setAvOffsetMs(offsetMs);
        ASSERT_EQ(openAudio(44100, d.table), 1);
        musictest::Loaded song(beatModule());
        ASSERT_EQ(playSong(song.song), 1);
        waitForWrites(d, 12);
        stopSong(song.song);
        const uint64_t written = d.writeCount() * framesPerBlock;
        const uint64_t heard = written - 3 * framesPerBlock - uint64_t(offsetMs) * 441 / 10;
        // The thread published right after its last write; the row before
        // the frame heard, which no row start since then passes.
        const uint64_t shown = positionSnapshot.frame.load();
        EXPECT_LE(shown, heard + 64) << "written " << written;
        EXPECT_GT(shown + 6 * 882, heard) << "written " << written;
        EXPECT_EQ(shown % (6 * 882), 0u) << "a row start";
        EXPECT_EQ(droppedRowMarks(), 0u);
        closeAudio();
    }
    setAvOffsetMs(0);
}

TEST(AudioOutput, AvOffsetIsAWholeNumberOfMillisecondsWithinASecond) {
    struct Case {
        const char* text;
        bool ok;
        int ms;
    };
    for (const Case& c : {Case{"0", true, 0}, Case{"120", true, 120}, Case{"-80", true, -80}, Case{"+5", true, 5},
                          Case{"1000", true, 1000}, Case{"-1000", true, -1000}, Case{"1001", false, 0},
                          Case{"-1001", false, 0}, Case{"99999999999", false, 0}, Case{"1.5", false, 0},
                          Case{"12ms", false, 0}, Case{"", false, 0}, Case{"-", false, 0}, Case{" 5", false, 0}}) {
        int ms = 12345;
        EXPECT_EQ(parseAvOffsetMs(c.text, &ms), c.ok) << '"' << c.text << '"';
        EXPECT_EQ(ms, c.ok ? c.ms : 12345) << c.text;
    }
}

TEST(AudioOutput, CaptureHoldsExactlyWhatTheBlockLoopRenders) {
    registerCallbacks();
    char path[] = "/tmp/vorna-capture-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    setenv("VORNA_CAPTURE", path, 1);
    size_t blocks = 0;
    {
        FakeDevice d;
        ASSERT_EQ(openAudio(44100, d.table), 1);
        musictest::Loaded song(beatModule());
        playSong(song.song);
        waitForWrites(d, 12);
        stopSong(song.song);
        blocks = d.writeCount();
        closeAudio();
    }
    unsetenv("VORNA_CAPTURE");

    FILE* f = std::fopen(path, "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> wav;
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) wav.insert(wav.end(), buf, buf + n);
    std::fclose(f);
    unlink(path);
    ASSERT_EQ(wav.size(), 44 + blocks * 8192);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(wav[24] | wav[25] << 8 | wav[26] << 16, 44100);
    EXPECT_EQ(size_t(wav[40] | wav[41] << 8 | wav[42] << 16 | wav[43] << 24), blocks * 8192);

    musictest::Loaded offline(beatModule());
    std::vector<float> mix(2 * framesPerBlock);
    std::vector<int16_t> out(2 * framesPerBlock);
    bool audible = false;
    for (size_t b = 0; b < blocks; ++b) {
        renderBlock(offline.song, mix.data(), out.data());
        ASSERT_EQ(std::memcmp(out.data(), wav.data() + 44 + b * 8192, 8192), 0) << "block " << b;
        for (int16_t v : out) audible |= v != 0;
    }
    EXPECT_TRUE(audible);
}

TEST(AudioOutput, StandInGrantsTheContractAndPacesWritesToItsClock) {
    // The writes run on this thread; the ticker moves the clock whenever they sleep.
    audioclock::Ticker ticker;
    const AudioDevice standIn = standInDevice(nullptr, audioclock::clock());
    const int handle = deviceOpen(standIn);
    ASSERT_GE(handle, 0);
    int format = 16, stereo = 1, rate = 44100, fragments = 0x0008000B;
    deviceIoctl(handle, kDspSetFormat, &format);
    deviceIoctl(handle, kDspStereo, &stereo);
    deviceIoctl(handle, kDspSpeed, &rate);
    deviceIoctl(handle, kDspSetFragment, &fragments);
    EXPECT_EQ(format, 16);
    EXPECT_EQ(stereo, 1);
    EXPECT_EQ(rate, 44100) << "SDL's dummy output must open";
    EXPECT_EQ(fragments & 0xFFFF, 11);
    EXPECT_EQ(fragments >> 16, 8);
    // Each write comes back once what it has accepted is at most 16 KB ahead
    // of the clock (176400 bytes a second), and not a millisecond later.
    std::vector<uint8_t> block(8192, 0);
    const int64_t start = audioclock::now();
    for (int i = 1; i <= 12; ++i) {
        EXPECT_EQ(deviceWrite(handle, block.data(), block.size()), 8192);
        const int64_t due = std::max(0, i * 8192 - 16384) * int64_t(1000000) / 176400;
        const int64_t took = audioclock::now() - start;
        EXPECT_GE(took, due) << "write " << i << " ran ahead of the clock";
        EXPECT_LT(took, due + 1000) << "write " << i << " was held too long";
    }
    deviceClose(handle);
    EXPECT_FALSE(audioclock::state.overslept);
}

TEST(AudioOutput, FreeingThePlayingSongStopsTheThreadFirst) {
    registerCallbacks();
    FakeDevice d;
    ASSERT_EQ(openAudio(44100, d.table), 1);
    Song* song = musictest::loadBytes(xmw::write(beatModule()));
    ASSERT_NE(song, nullptr);
    playSong(song);
    waitForWrites(d, 2);
    EXPECT_EQ(playingSong(), song);
    freeSong(song);  // must not leave the thread rendering freed samples
    EXPECT_EQ(isPlaying(), 0);
    EXPECT_EQ(playingSong(), nullptr);
    closeAudio();
}

// SDL_OpenAudio's contract: given an `obtained` record, SDL may grant another
// rate or format and then plays the callback's bytes as that, unconverted;
// without one it converts from the format asked for. This output grants
// 22050 Hz unsigned 8-bit mono when it may.
struct PickyOutput {
    static inline SDL_AudioSpec asked{};
    static inline SDL_AudioSpec played{};  // how the output reads the callback's bytes
    static int open(SDL_AudioSpec* desired, SDL_AudioSpec* obtained) {
        asked = *desired;
        played = *desired;
        if (obtained) {
            *obtained = *desired;
            obtained->freq = 22050;
            obtained->format = AUDIO_U8;
            obtained->channels = 1;
            played = *obtained;
        }
        return 0;
    }
};

TEST(AudioOutput, StandInIsHeardInTheFormatItWrites) {
    const AudioDevice standIn = standInDevice(PickyOutput::open);
    const AudioDevice* d = &standIn;
    const int handle = d->open(d->self, "/nonexistent");
    ASSERT_GE(handle, 0);
    int rate = 44100;
    d->ioctl(d->self, handle, kDspSpeed, &rate);
    d->close(d->self, handle);
    EXPECT_EQ(rate, 44100);
    // The stand-in fills SDL's buffer with what the player wrote: 16-bit
    // little-endian stereo at the device's rate.
    EXPECT_EQ(PickyOutput::asked.freq, 44100);
    EXPECT_EQ(PickyOutput::played.freq, 44100) << "played at the wrong pitch";
    EXPECT_EQ(PickyOutput::played.format, AUDIO_S16LSB) << "played as noise";
    EXPECT_EQ(PickyOutput::played.channels, 2);
}

TEST(AudioOutput, PlayWithoutAMixBufferFailsAndStartsNothing) {
    registerCallbacks();
    FakeDevice d;
    ASSERT_EQ(openAudio(44100, d.table), 1);
    musictest::Loaded song(beatModule());
    setMixAllocator([](size_t, size_t) -> void* { return nullptr; });
    EXPECT_EQ(playSong(song.song), 0);
    setMixAllocator(nullptr);
    EXPECT_EQ(isPlaying(), 0);
    EXPECT_EQ(playingSong(), nullptr);
    EXPECT_EQ(d.writeCount(), 0u) << "no thread was started, so nothing writes";
    EXPECT_EQ(playSong(song.song), 1) << "the next try with memory plays";
    waitForWrites(d, 1);
    EXPECT_EQ(stopSong(song.song), 1);
    closeAudio();
}

TEST(AudioOutput, FreeingAnotherSongLeavesThePlayingVoicesAlone) {
    registerCallbacks();
    FakeDevice d;
    ASSERT_EQ(openAudio(44100, d.table), 1);
    // One looped note on row 0: it sounds until the song stops.
    xmw::SampleSpec looped = musictest::tone(64);
    looped.type = 1;
    looped.loopLength = 64;
    xmw::ModuleSpec m = xmw::simpleModule(1, 64, looped);
    m.patterns[0].at(0, 0) = {49, 1, 0, 0, 0};
    musictest::Loaded playing(m);
    ASSERT_EQ(playSong(playing.song), 1);
    waitForWrites(d, 2);
    // Loaded and freed while the thread mixes; the second fails to load and
    // is freed inside loadSong.
    Song* other = musictest::loadBytes(xmw::write(beatModule()));
    ASSERT_NE(other, nullptr);
    freeSong(other);
    EXPECT_EQ(musictest::loadBytes(std::vector<uint8_t>(80, 'x')), nullptr);
    EXPECT_EQ(isPlaying(), 1);
    stopSong(playing.song);  // the thread has left: its voices can be read
    EXPECT_NE(voices[0].sample, nullptr) << "the playing note was cut";
    // With no thread, freeing a song forgets every voice.
    ASSERT_EQ(playSong(playing.song), 1);
    waitForWrites(d, d.writeCount() + 2);
    stopSong(playing.song);
    ASSERT_NE(voices[0].sample, nullptr);
    freeSong(musictest::loadBytes(xmw::write(beatModule())));
    EXPECT_EQ(voices[0].sample, nullptr);
    closeAudio();
}

TEST(AudioOutput, ClosingOrReopeningTheDeviceStopsThePlayingSongFirst) {
    registerCallbacks();
    FakeDevice d;
    ASSERT_EQ(openAudio(44100, d.table), 1);
    musictest::Loaded song(beatModule());
    // A new open closes the device the thread writes to and clears the voices it mixes.
    for (bool reopen : {true, false}) {
        ASSERT_EQ(playSong(song.song), 1);
        waitForWrites(d, d.writeCount() + 2);
        if (reopen) {
            ASSERT_EQ(openAudio(44100, d.table), 1);
        } else {
            closeAudio();
        }
        EXPECT_EQ(isPlaying(), 0) << (reopen ? "reopened" : "closed");
        EXPECT_EQ(playingSong(), nullptr);
        EXPECT_FALSE(d.writtenAfterClose) << "written after the close";
    }
}
