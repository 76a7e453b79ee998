// Music render speed: seconds of audio per second of CPU for modules built
// in code, every channel playing a looped note with vibrato and a volume slide,
// and the mixer alone against the one-frame reference mixer on the same
// modules and the embedded one, with their outputs compared sample by sample.
#include <time.h>

#include <cstring>
#include <vector>

#include "bench.h"
#include "music/mixer.h"
#include "music/module_file.h"
#include "music/music.h"  // the embedded module
#include "music/player.h"
#include "music/xm_loader.h"
#include "support/reference_mixer.h"
#include "support/xm_writer.h"

namespace {

std::vector<uint8_t> busyModule(int channels) {
    std::vector<int8_t> wave(6000);
    uint32_t seed = 99;
    for (int8_t& v : wave) {
        seed = seed * 1103515245u + 12345u;
        v = int8_t(seed >> 24);
    }
    xmw::SampleSpec s = xmw::SampleSpec::pcm8(wave);
    s.type = 2;  // ping-pong: the costlier loop
    s.loopStart = 1000;
    s.loopLength = 4000;
    xmw::ModuleSpec m = xmw::simpleModule(channels, 64, s);
    for (int r = 0; r < 64; ++r)
        for (int c = 0; c < channels; ++c) {
            xmw::Cell& cell = m.patterns[0].at(r, c);
            if (r % 8 == c % 8) cell = {uint8_t(37 + (r + 5 * c) % 36), 1, 0, 0x04, 0x46};
            else cell = {0, 0, 0, 0x06, 0x01};
        }
    return xmw::write(m);
}

double cpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void renderSpeed(int channels) {
    const std::vector<uint8_t> bytes = busyModule(channels);
    setFileCallbacks(embeddedOpen, embeddedClose, embeddedRead, embeddedSeek, embeddedTell);
    setEmbeddedModule(bytes.data(), bytes.size());
    setOutputRate(44100);
    Song* song = loadSong("BENCH.XM", nullptr);
    if (!song) {
        std::printf("music/render %d channels: module did not load\n", channels);
        return;
    }
    rewindSong(song);
    std::vector<float> mix(2 * framesPerBlock);
    std::vector<int16_t> out(2 * framesPerBlock);
    // CPU time, not wall time: the figure is audio seconds per CPU second.
    const int blocks = 2000;  // about 93 s of audio
    renderBlock(song, mix.data(), out.data());
    const double start = cpuSeconds();
    for (int b = 0; b < blocks; ++b) renderBlock(song, mix.data(), out.data());
    const double perCall = cpuSeconds() - start;
    bench::keep(out[0]);
    const double audio = double(blocks) * framesPerBlock / 44100.0;
    std::printf("music/render %2d channels: %.0f s of audio per s of CPU (%.2f ms per block)\n", channels,
                audio / perCall, perCall / blocks * 1000.0);
    freeSong(song);
    setEmbeddedModule(nullptr, 0);
}

struct Mixer {
    void (*mix)(float*, int);
    void (*convert)(const float*, int16_t*, int);
};

// renderBlock's loop with the mixer given: the tick handler at each tick, the
// mix, the 16-bit conversion. Cost: one block.
void renderWith(Song* song, const Mixer& mixer, float* buffer, int16_t* out) {
    std::memset(buffer, 0, sizeof(float) * 2 * framesPerBlock);
    int pos = 0, left = song->framesLeftInTick;
    while (pos < framesPerBlock) {
        if (left <= 0) {
            song->tickHandler(song);
            left = song->framesPerTick;
        }
        const int n = left < framesPerBlock - pos ? left : framesPerBlock - pos;
        mixer.mix(buffer + 2 * pos, n);
        pos += n;
        left -= n;
    }
    song->framesLeftInTick = left;
    mixer.convert(buffer, out, 2 * framesPerBlock);
}

struct MixerFigures {
    double realTime[2] = {};  // seconds of audio per CPU second: reference, now
    bool identical = true;
};

// Plays the module twice from its start, once with each mixer, for `blocks` blocks.
MixerFigures compareMixers(const uint8_t* bytes, size_t size, int blocks) {
    MixerFigures f;
    setFileCallbacks(embeddedOpen, embeddedClose, embeddedRead, embeddedSeek, embeddedTell);
    setEmbeddedModule(bytes, size);
    setOutputRate(44100);
    Song* song = loadSong("BENCH.XM", nullptr);
    if (!song) {
        f.identical = false;
        return f;
    }
    std::vector<float> buffer(2 * framesPerBlock);
    std::vector<std::vector<int16_t>> out(2, std::vector<int16_t>(size_t(2 * framesPerBlock) * size_t(blocks)));
    const Mixer mixers[2] = {{reference::mixVoices, reference::convertBlock}, {mixVoices, convertBlock}};
    for (int m = 0; m < 2; ++m) {
        rewindSong(song);
        const double start = cpuSeconds();
        for (int b = 0; b < blocks; ++b)
            renderWith(song, mixers[m], buffer.data(), out[size_t(m)].data() + size_t(b) * 2 * framesPerBlock);
        f.realTime[m] = double(blocks) * framesPerBlock / 44100.0 / (cpuSeconds() - start);
    }
    f.identical = out[0] == out[1];
    freeSong(song);
    setEmbeddedModule(nullptr, 0);
    return f;
}

}  // namespace

VORNA_BENCH("music/mixer against the reference") {
    // Rows for the README: the module, then times real time on one core, CPU time.
    std::printf("| module | reference mixer | mixer | speed-up | output |\n|---|---:|---:|---:|---|\n");
    const std::vector<uint8_t> eight = busyModule(8), thirtyTwo = busyModule(32);
    struct Row {
        const char* name;
        const uint8_t* bytes;
        size_t size;
    } rows[] = {{"embedded (KESTRULA.XM)", kestrulaXm, kestrulaXm_size},
                {"8 channels, ping-pong, slides", eight.data(), eight.size()},
                {"32 channels, ping-pong, slides", thirtyTwo.data(), thirtyTwo.size()}};
    for (const Row& r : rows) {
        const MixerFigures f = compareMixers(r.bytes, r.size, 1000);
        std::printf("| %s | %.0fx | %.0fx | %.2f | %s |\n", r.name, f.realTime[0], f.realTime[1],
                    f.realTime[0] > 0 ? f.realTime[1] / f.realTime[0] : 0.0, f.identical ? "identical" : "DIFFERENT");
    }
}

VORNA_BENCH("music/render 8 channels") { renderSpeed(8); }
VORNA_BENCH("music/render 32 channels") { renderSpeed(32); }
