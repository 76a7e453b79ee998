// vorna-scene: plays one step of the production's running order on its own,
// in a window or headless, so that each scene can be looked at, photographed
// and timed alone. Everything is started as the production starts it
// (Production::start) and the step runs through Production::runStep; the tool
// watches through the row source, which every scene loop reads once a frame,
// and through the 3D runner's optional profile record. Main thread only,
// apart from the threads the production itself starts.
#include <SDL/SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "framework/animator.h"
#include "framework/engine.h"
#include "framework/outside_world.h"
#include "music/audio_device.h"
#include "music/playback_thread.h"
#include "music/xm_loader.h"
#include "scenes/music_position.h"
#include "scenes/scene.h"
#include "scenes/timeline.h"
#include "support/virtual_world.h"
#include "support/png_writer.h"

namespace {

void usage() {
    std::printf("usage: vorna-scene [options] STEP\n"
                "  STEP is 1 .. %d of the running order; the 3D ones are %s.\n",
                kSceneCount, stepNumbersOfKind(StepKind::k3D).c_str());
    std::printf(
        "options:\n"
        "  --frames N       end the scene after N frames (Space is released for frame N)\n"
        "  --shot K FILE    save the screen after frame K as .png or .bmp (repeatable; K = 0\n"
        "                   is the screen before the first frame draws; K = end is the last frame)\n"
        "  --profile        print frames per second and where a 3D frame's time goes\n"
        "  --window         a real window (default: SDL's dummy video driver, unless\n"
        "                   SDL_VIDEODRIVER says otherwise)\n"
        "  --quiet-audio    a silent sound device paced like a card instead of the stand-in\n"
        "  --seed N         seed rand() with N after start-up instead of the time\n"
        "  --virtual MS     repeatable runs: the clock and the animators' timers advance MS\n"
        "                   milliseconds a frame and the row follows that clock at the\n"
        "                   module's starting tempo (seed 1 unless --seed)\n");
}

struct Shot {
    int frame;  // -1: the last frame
    std::string path;
    bool done;
};

// What the row source watches; one scene at a time.
struct Watch {
    Production* production = nullptr;
    int frame = 0;       // frames that have read their row so far
    int frameLimit = 0;  // 0: the scene ends as it would in the production
    std::vector<Shot> shots;
    bool shotFailed = false;
    double firstFrameWall = 0;  // at frame 1's row, after the scene's own setup
    int32_t virtualMs = 0;
    double rowMs = 0;
} watch;

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool endsWith(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

bool saveScreen(const std::string& path) {
    SDL_Surface* screen = SDL_GetVideoSurface();
    if (!screen) return false;
    if (SDL_MUSTLOCK(screen) && SDL_LockSurface(screen) != 0) return false;
    const bool ok = endsWith(path, ".bmp") ? SDL_SaveBMP(screen, path.c_str()) == 0 : writePng(screen, path.c_str());
    if (SDL_MUSTLOCK(screen)) SDL_UnlockSurface(screen);
    if (!ok) std::fprintf(stderr, "vorna-scene: cannot write %s\n", path.c_str());
    return ok;
}

// The screen as frame `frame` left it.
void takeShotsAfter(int frame) {
    for (Shot& shot : watch.shots)
        if (!shot.done && shot.frame == frame) {
            shot.done = true;
            if (!saveScreen(shot.path)) watch.shotFailed = true;
        }
}

void releaseSpace() { pushKeyRelease(SDLK_SPACE); }

// The virtual world of --virtual: a clock that moves only between frames
// (from 1000 s) and a timer queue in which each timer catches up at the frame's row.
constexpr int64_t kVirtualEpochSeconds = 1000;

int32_t watchedRow(Song* song) {
    const int frame = ++watch.frame;
    if (frame == 1) {
        watch.firstFrameWall = wallSeconds();
    }
    takeShotsAfter(frame - 1);
    // Frame N sees the release in its events, finishes and presents, and is the last.
    if (watch.frameLimit && frame == watch.frameLimit - 1) releaseSpace();
    if (watch.virtualMs) {
        VirtualClock& clock = virtualworld::clock();
        if (frame > 1) clock.advanceMs(watch.virtualMs);
        virtualworld::timers().catchUpEach(clock.nowUs);
        const double ms = double(clock.nowUs / 1000);
        return int32_t(int64_t(ms / watch.rowMs) % 64);
    }
    return getRow(song);
}

// A silent device that takes what a card takes, at the pace a card would
// (the row follows the real playback thread unless --virtual).
struct QuietCard {
    std::chrono::steady_clock::time_point started;
    double secondsWritten = 0;
} quietCard;

int quietOpen(void*, const char*) {
    quietCard.secondsWritten = 0;
    return 3;
}
int quietIoctl(void*, int, unsigned long, int*) { return 0; }
long quietWrite(void*, int, const void*, size_t bytes) {
    if (quietCard.secondsWritten == 0) quietCard.started = std::chrono::steady_clock::now();
    quietCard.secondsWritten += double(bytes) / (44100.0 * 4.0);
    // Hold the writer while more than a quarter second of sound is queued.
    const auto due = quietCard.started + std::chrono::duration<double>(quietCard.secondsWritten - 0.25);
    std::this_thread::sleep_until(due);
    return long(bytes);
}
int quietClose(void*, int) { return 0; }
const AudioDevice quietDevice{nullptr, quietOpen, quietIoctl, quietWrite, quietClose, realAudioClock()};

const char* const phaseNames[SceneProfile::kPhaseCount] = {"input", "tiles",        "scatter", "render", "sprites+sparks",
                                                           "banner+overlay", "glitch+noise", "blur", "present"};

void printProfile(int step, const SceneProfile& p, double wall) {
    const int frames = watch.frame;
    double total = 0, cpuTotal = 0;
    for (int i = 0; i < SceneProfile::kPhaseCount; ++i) {
        total += p.seconds[i];
        cpuTotal += p.cpuSeconds[i];
    }
    if (p.frames == 0 || total <= 0) {
        std::printf("profile step %d: %d frames, %.1f fps (no 3D frames to split)\n", step, frames,
                    frames > 1 && wall > 0 ? (frames - 1) / wall : 0.0);
        return;
    }
    const double n = double(p.frames);
    std::printf("profile step %d: %lld frames, %.1f fps (%.3f ms a frame), %.1f fps of main-thread CPU (%.3f ms)\n",
                step, static_cast<long long>(p.frames), n / total, 1000.0 * total / n,
                cpuTotal > 0 ? n / cpuTotal : 0.0, 1000.0 * cpuTotal / n);
    std::printf("  %-15s %8s    %8s        %s\n", "phase", "wall", "CPU", "CPU share");
    for (int i = 0; i < SceneProfile::kPhaseCount; ++i)
        std::printf("  %-15s %8.3f ms %8.3f ms cpu %5.1f%%\n", phaseNames[i], 1000.0 * p.seconds[i] / n,
                    1000.0 * p.cpuSeconds[i] / n, cpuTotal > 0 ? 100.0 * p.cpuSeconds[i] / cpuTotal : 0.0);
    // One line for a table of every scene: the step, fps by wall and by CPU, then CPU ms per phase.
    std::printf("| %2d | %4.0f | %4.0f |", step, n / total, cpuTotal > 0 ? n / cpuTotal : 0.0);
    for (int i = 0; i < SceneProfile::kPhaseCount; ++i) std::printf(" %.2f |", 1000.0 * p.cpuSeconds[i] / n);
    std::printf("\n");
}

bool parseInt(const char* text, int* out, int least) {
    if (!text) return false;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end || v < least || v > 100000000) return false;
    *out = int(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int step = 0, frames = 0, seed = -1, virtualMs = 0;
    bool profile = false, window = false, quietAudio = false;
    std::vector<Shot> shots;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = true;
        if (a == "--frames") {
            ok = parseInt(next, &frames, 1);
            ++i;
        } else if (a == "--shot") {
            int k = -1;
            ok = (next && std::strcmp(next, "end") == 0) || parseInt(next, &k, 0);
            ok = ok && i + 2 < argc;
            if (ok) shots.push_back(Shot{k, argv[i + 2], false});
            i += 2;
        } else if (a == "--seed") {
            ok = parseInt(next, &seed, 0);
            ++i;
        } else if (a == "--virtual") {
            ok = parseInt(next, &virtualMs, 1);
            ++i;
        } else if (a == "--profile") {
            profile = true;
        } else if (a == "--window") {
            window = true;
        } else if (a == "--quiet-audio") {
            quietAudio = true;
        } else if (a == "-h" || a == "--help") {
            usage();
            return 0;
        } else if (step == 0 && parseInt(a.c_str(), &step, 1) && step <= kSceneCount) {
        } else {
            std::fprintf(stderr, "vorna-scene: unknown argument %s\n", a.c_str());
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "vorna-scene: %s needs a valid value\n", a.c_str());
            return 2;
        }
    }
    if (step == 0) {
        usage();
        return 2;
    }
    for (const Shot& shot : shots)
        if (frames && shot.frame > frames) {
            std::fprintf(stderr, "vorna-scene: shot after frame %d, but the scene ends after %d\n", shot.frame, frames);
            return 2;
        }

    if (!window && !std::getenv("SDL_VIDEODRIVER")) setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (!window && !std::getenv("SDL_AUDIODRIVER")) setenv("SDL_AUDIODRIVER", "dummy", 1);
    OutsideWorld world = realWorld();
    if (virtualMs) {
        virtualworld::reset(kVirtualEpochSeconds);
        world = virtualworld::over(world);
        if (seed < 0) seed = 1;
    }
    if (quietAudio) world.sound = quietDevice;
    world.musicRow = watchedRow;
    installOutsideWorld(world);

    Production* production = new Production;
    const int failed = production->start(argc, argv);
    if (failed) {
        delete production;
        return failed;
    }
    if (seed >= 0) srand(unsigned(seed));

    watch.production = production;
    watch.frameLimit = frames;
    watch.shots = shots;
    watch.virtualMs = virtualMs;
    if (production->song) {
        const double speed = production->song->defaultSpeed ? production->song->defaultSpeed : 6;
        const double bpm = production->song->defaultBpm ? production->song->defaultBpm : 125;
        watch.rowMs = speed * 2500.0 / bpm;
    }
    SceneProfile record;
    if (profile) production->scene->profile = &record;
    if (frames == 1) releaseSpace();

    const int32_t result = production->runStep(step);
    const double wall = wallSeconds() - watch.firstFrameWall;
    takeShotsAfter(watch.frame);
    takeShotsAfter(-1);

    production->scene->profile = nullptr;
    std::printf("step %d%s: result %d after %d frames\n", step, is3DStep(step) ? " (3D)" : "", result, watch.frame);
    if (profile) printProfile(step, record, wall);
    int status = watch.shotFailed ? 1 : 0;
    for (const Shot& shot : watch.shots)
        if (!shot.done) {
            std::fprintf(stderr, "vorna-scene: the scene ended after %d frames; no shot after frame %d\n", watch.frame,
                         shot.frame);
            status = 1;
        }

    production->shutdown(true);
    delete production;
    installOutsideWorld(realWorld());
    return status;
}
