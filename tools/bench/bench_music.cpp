// Music render speed: seconds of audio per second of CPU for modules built
// in code, every channel playing a looped note with vibrato and a volume slide.
#include <time.h>

#include <vector>

#include "bench.h"
#include "music/module_file.h"
#include "music/player.h"
#include "music/xm_loader.h"
#include "../../tests/music/xm_writer.h"

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

}  // namespace

VORNA_BENCH("music/render 8 channels") { renderSpeed(8); }
VORNA_BENCH("music/render 32 channels") { renderSpeed(32); }
