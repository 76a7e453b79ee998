// Start-up of the whole production and the playback thread's share of a core.
#include <SDL/SDL.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

#include "framework/engine.h"
#include "framework/outside_world.h"
#include "bench.h"
#include "music/playback_thread.h"
#include "scenes/music_position.h"
#include "scenes/timeline.h"

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Releases Space in the first frame of a scene.
int32_t spaceAtOnce(Song* song) {
    pushKeyRelease(SDLK_SPACE);
    return getRow(song);
}

}  // namespace

VORNA_BENCH("timeline/start-up and playback") {
    setenv("VORNA_AUDIO", "standin", 1);
    OutsideWorld world = realWorld();
    world.musicRow = spaceAtOnce;
    installOutsideWorld(world);
    const double t0 = bench::nowSeconds();
    Production production;
    if (production.start(0, nullptr) != 0) {
        std::printf("start failed\n");
        installOutsideWorld(realWorld());
        return;
    }
    const double started = bench::nowSeconds();
    production.runStep(1);  // one frame of the opening
    const double firstFrame = bench::nowSeconds();
    std::printf("start-up (engine, sound, module, 7 pictures, 7 models) %7.1f ms\n", (started - t0) * 1e3);
    std::printf("to the first presented frame of the opening        %7.1f ms\n", (firstFrame - t0) * 1e3);

    // With the main thread asleep, the process's CPU time is the playback
    // thread's (plus SDL's audio callback, which only copies).
    const double cpu0 = cpuSeconds(), wall0 = bench::nowSeconds();
    sleep(3);
    const double cpu = cpuSeconds() - cpu0, wall = bench::nowSeconds() - wall0;
    std::printf("playback thread: %.2f ms of CPU per second of music (%.2f%% of one core)\n", cpu / wall * 1e3,
                cpu / wall * 100);
    production.shutdown(true);
    installOutsideWorld(realWorld());
    unsetenv("VORNA_AUDIO");
}
