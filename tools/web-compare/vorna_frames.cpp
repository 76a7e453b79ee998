// vorna-frames: plays the production on the virtual world (a fixed seed, a
// clock that moves 1/fps a frame, timers fired in step, the music rendered
// in step) and writes what it made: one line per frame with a hash of its
// pixels, every Nth frame's pixels, and the music's samples.
//
//   vorna-frames --seed N --fps F --frames K --dir DIR [--every N]
//
// DIR/hashes.txt, DIR/frame_NNNNN.rgb (800x600, R G B bytes), DIR/music.s16
// (stereo, 16-bit little-endian, 44100 Hz). The web build runs the same code
// under node, so two runs can be compared byte for byte (tests/web/compare.py).
#include <SDL/SDL.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/engine.h"
#include "framework/outside_world.h"
#include "music/player.h"
#include "scenes/timeline.h"
#include "support/virtual_world.h"

namespace {

struct Run {
    int fps = 30;
    uint64_t frames = 300;
    uint64_t every = 30;
    std::string dir;
    uint64_t presented = 0;
    bool escaped = false;
    MusicStepper music;
    std::vector<int16_t> audio;
    std::vector<uint8_t> rgb;
    FILE* hashes = nullptr;
    FILE* samples = nullptr;
};
Run run;

uint64_t fnv1a(const uint8_t* data, size_t size) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

void presented(SDL_Surface* screen) {
    const SDL_PixelFormat* f = screen->format;
    run.rgb.resize(size_t(screen->w) * size_t(screen->h) * 3);
    // Cost: one pass over the screen.
    for (int y = 0; y < screen->h; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(screen->pixels) + y * screen->pitch;
        for (int x = 0; x < screen->w; ++x) {
            uint32_t p;
            std::memcpy(&p, row + x * 4, 4);
            uint8_t* o = &run.rgb[(size_t(y) * size_t(screen->w) + size_t(x)) * 3];
            o[0] = uint8_t((p & f->Rmask) >> f->Rshift);
            o[1] = uint8_t((p & f->Gmask) >> f->Gshift);
            o[2] = uint8_t((p & f->Bmask) >> f->Bshift);
        }
    }
    const uint64_t n = run.presented++;
    std::fprintf(run.hashes, "%llu %016llx\n", static_cast<unsigned long long>(n),
                 static_cast<unsigned long long>(fnv1a(run.rgb.data(), run.rgb.size())));
    if (n % run.every == 0) {
        char name[64];
        std::snprintf(name, sizeof name, "/frame_%05llu.rgb", static_cast<unsigned long long>(n));
        if (FILE* out = std::fopen((run.dir + name).c_str(), "wb")) {
            std::fwrite(run.rgb.data(), 1, run.rgb.size(), out);
            std::fclose(out);
        }
    }
    // The world moves on to the next frame's time, as in vorna-record.
    const uint64_t audioAt = run.presented * 44100 / uint64_t(run.fps);
    run.audio.clear();
    run.music.take(audioAt, &run.audio);
    std::fwrite(run.audio.data(), 2, run.audio.size(), run.samples);
    virtualworld::clock().nowUs = run.presented * 1000000 / uint64_t(run.fps);
    run.music.renderThrough(audioAt);
    virtualworld::timers().fireUntil(virtualworld::clock().nowUs);
    if (run.presented >= run.frames && !run.escaped) {
        pushKeyRelease(SDLK_ESCAPE);
        run.escaped = true;
    }
}

// The row as the native getRow reads it: the snapshot renderBlock publishes.
int32_t steppedRow(Song* song) { return song ? positionSnapshot.row.load(std::memory_order_relaxed) : 0; }

}  // namespace

int main(int argc, char** argv) {
    unsigned seed = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const char* v = argv[i + 1];
        if (a == "--seed") seed = unsigned(std::strtoul(v, nullptr, 10));
        else if (a == "--fps") run.fps = std::atoi(v);
        else if (a == "--frames") run.frames = std::strtoull(v, nullptr, 10);
        else if (a == "--every") run.every = std::strtoull(v, nullptr, 10);
        else if (a == "--dir") run.dir = v;
        else {
            std::fprintf(stderr, "usage: vorna-frames --seed N --fps F --frames K --dir DIR [--every N]\n");
            return 2;
        }
    }
    if (run.dir.empty() || run.fps <= 0 || run.every == 0) {
        std::fprintf(stderr, "usage: vorna-frames --seed N --fps F --frames K --dir DIR [--every N]\n");
        return 2;
    }
    run.hashes = std::fopen((run.dir + "/hashes.txt").c_str(), "w");
    run.samples = std::fopen((run.dir + "/music.s16").c_str(), "wb");
    if (!run.hashes || !run.samples) {
        std::fprintf(stderr, "vorna-frames: cannot write into %s\n", run.dir.c_str());
        return 1;
    }
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    virtualworld::reset();
    OutsideWorld world = virtualworld::over(realWorld());
    world.seedFixed = true;
    world.seed = seed;
    world.sound = virtualworld::silentDevice();
    world.musicRow = steppedRow;
    world.present = presented;
    installOutsideWorld(world);

    Production* production = new Production;
    production->playbackThread = false;
    int status = production->start(0, nullptr);
    if (status == 0) {
        run.music.song = production->song;
        run.music.renderThrough(0);
        int32_t result = 0;
        for (int step = 1; step <= 22 && result != 2 && !run.escaped; ++step) result = production->runStep(step);
        production->shutdown(result != 2);
    }
    delete production;
    installOutsideWorld(realWorld());
    std::fclose(run.hashes);
    std::fclose(run.samples);
    std::printf("%llu frames\n", static_cast<unsigned long long>(run.presented));
    return status;
}
