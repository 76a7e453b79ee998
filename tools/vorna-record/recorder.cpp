#include "recorder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/engine.h"
#include "framework/outside_world.h"
#include "media_output.h"
#include "music/audio_device.h"
#include "progress.h"
#include "vorna-view/png_writer.h"
#include "scenes/scene.h"
#include "scenes/timeline.h"
#include "support/file_bytes.h"
#include "support/sha256.h"
#include "support/virtual_world.h"

namespace {

constexpr uint32_t kAudioRate = 44100;

struct NamedKey {
    const char* name;
    SDLKey key;
};
const NamedKey namedKeys[] = {
    {"space", SDLK_SPACE},   {"escape", SDLK_ESCAPE}, {"esc", SDLK_ESCAPE},   {"return", SDLK_RETURN},
    {"enter", SDLK_RETURN},  {"tab", SDLK_TAB},       {"delete", SDLK_DELETE}, {"insert", SDLK_INSERT},
    {"up", SDLK_UP},         {"down", SDLK_DOWN},     {"left", SDLK_LEFT},     {"right", SDLK_RIGHT},
    {"f1", SDLK_F1},         {"f2", SDLK_F2},         {"f3", SDLK_F3},         {"f4", SDLK_F4},
    {"f5", SDLK_F5},         {"f6", SDLK_F6},         {"f7", SDLK_F7},         {"f8", SDLK_F8},
    {"f9", SDLK_F9},         {"f10", SDLK_F10},       {"f11", SDLK_F11},       {"f12", SDLK_F12},
};

bool parseInt(const std::string& text, long low, long high, long* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno || *end || v < low || v > high) return false;
    *out = v;
    return true;
}

bool parseSeconds(const std::string& text, double* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (*end || !std::isfinite(v) || v < 0 || v > 86400.0) return false;
    *out = v;
    return true;
}

bool parseSeed(const std::string& text, unsigned long long* out) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (errno || *end || v > 0xFFFFFFFFull) return false;
    *out = v;
    return true;
}

// NAME@SECONDS or NAME@FROM-TO.
bool parseKey(const std::string& text, KeyPress* press) {
    const size_t at = text.find('@');
    if (at == std::string::npos) return false;
    press->key = keyByName(text.substr(0, at));
    if (press->key == SDLK_UNKNOWN) return false;
    const std::string times = text.substr(at + 1);
    const size_t dash = times.find('-');
    press->releaseSeconds = -1;
    if (dash == std::string::npos) return parseSeconds(times, &press->pressSeconds);
    return parseSeconds(times.substr(0, dash), &press->pressSeconds) &&
           parseSeconds(times.substr(dash + 1), &press->releaseSeconds) &&
           press->releaseSeconds > press->pressSeconds;
}

// The frame index of a time in the recording.
uint64_t frameAt(double seconds, int fps) { return uint64_t(std::llround(seconds * fps)); }

struct KeyEvent {
    uint64_t frame;
    SDLKey key;
    bool down;
};

void pushKey(SDLKey key, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.type = e.type;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = key;
    SDL_PushEvent(&e);
}

// A fixed number of evenly spaced frames of one scene, thinned by half each
// time the store fills, so the middle one is near the scene's middle
// whatever its length.
struct StillKeeper {
    static constexpr size_t kKept = 16;
    std::vector<std::vector<uint8_t>> kept;
    uint64_t stride = 1;
    uint64_t seen = 0;

    // Counts one frame; true when it is to be kept.
    bool next() { return seen++ % stride == 0; }
    void keep(const std::vector<uint8_t>& rgb) {
        kept.push_back(rgb);
        if (kept.size() < kKept) return;
        for (size_t i = 1; i < kept.size() / 2 + 1 && 2 * i < kept.size(); ++i) kept[i] = std::move(kept[2 * i]);
        kept.resize((kept.size() + 1) / 2);
        stride *= 2;
    }
    void clear() {
        kept.clear();
        stride = 1;
        seen = 0;
    }
};

struct Recording {
    const RecordOptions* options = nullptr;
    RecordReport* report = nullptr;
    FrameObserver observer = nullptr;
    void* observerUser = nullptr;
    std::string ffmpeg;

    MusicStepper music;
    FrameSink sink;
    WavWriter wav;
    bool writeWav = false;
    bool wavFailed = false;
    std::vector<int16_t> audio;
    std::vector<uint8_t> rgb;
    int width = 0, height = 0;

    uint64_t presented = 0;  // frames presented since the production started
    bool capturing = false;
    uint64_t recorded = 0;
    uint64_t limit = UINT64_MAX;
    bool stopPushed = false;

    std::vector<KeyEvent> events;
    size_t nextEvent = 0;
    Uint8 held[SDLK_LAST] = {};

    bool hash = false;
    Sha256 frameDigest;
    bool keepStills = false;
    StillKeeper stills;

    int step = 0;  // the step of the running order being played
    std::chrono::steady_clock::time_point started;
    ProgressLine progress;

    uint64_t audioAt(uint64_t frame) const { return frame * kAudioRate / uint64_t(options->fps); }
    uint64_t timeAt(uint64_t frame) const { return frame * 1000000 / uint64_t(options->fps); }

    void deliverKeys() {
        for (; nextEvent < events.size() && events[nextEvent].frame <= recorded; ++nextEvent) {
            const KeyEvent& e = events[nextEvent];
            held[e.key] = e.down ? 1 : 0;
            pushKey(e.key, e.down);
        }
    }

    void grab(SDL_Surface* screen);
    void presentedFrame(SDL_Surface* screen);
    void writeStill(int scene);
};

Recording* active = nullptr;

PixelLayout layoutOf(const SDL_Surface* screen) {
    const SDL_PixelFormat* f = screen->format;
    PixelLayout l;
    l.bytesPerPixel = f->BytesPerPixel;
    l.masks[0] = f->Rmask, l.masks[1] = f->Gmask, l.masks[2] = f->Bmask;
    l.shifts[0] = f->Rshift, l.shifts[1] = f->Gshift, l.shifts[2] = f->Bshift;
    l.losses[0] = f->Rloss, l.losses[1] = f->Gloss, l.losses[2] = f->Bloss;
    return l;
}

void Recording::grab(SDL_Surface* screen) {
    width = screen->w;
    height = screen->h;
    rgb.resize(size_t(width) * size_t(height) * 3);
    if (SDL_MUSTLOCK(screen)) SDL_LockSurface(screen);
    toRgb(static_cast<const uint8_t*>(screen->pixels), screen->pitch, layoutOf(screen), width, height, rgb.data());
    if (SDL_MUSTLOCK(screen)) SDL_UnlockSurface(screen);
}

// Frame `presented` has just gone out: keep it, then move the world on to
// the next frame's time, as the wall clock, the timer thread and the
// playback thread would have moved while it was drawn.
void Recording::presentedFrame(SDL_Surface* screen) {
    const uint64_t n = presented;
    if (capturing && recorded < limit) {
        // The sink turns the frame into RGB on its own thread; here only
        // when someone looks at it now.
        const bool still = keepStills && stills.next();
        if (observer || still || hash) grab(screen);
        if (hash) frameDigest.add(rgb.data(), rgb.size());
        if (observer) observer(rgb.data(), width, height, recorded, observerUser);
        if (still) stills.keep(rgb);
        if (SDL_MUSTLOCK(screen)) SDL_LockSurface(screen);
        sink.put(static_cast<const uint8_t*>(screen->pixels));
        if (SDL_MUSTLOCK(screen)) SDL_UnlockSurface(screen);
        audio.clear();
        music.take(audioAt(n + 1), &audio);
        if (writeWav && !wav.write(audio.data(), audio.size())) wavFailed = true;
        report->audioFrames += audio.size() / 2;
        ++recorded;
        if (progress.out)
            progress.update(step, double(recorded) / options->fps,
                            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    } else {
        music.take(audioAt(n + 1), nullptr);
    }
    presented = n + 1;

    VirtualClock& clock = virtualworld::clock();
    clock.nowUs = timeAt(presented);
    // The next frame shows the row of the sample heard at its time.
    music.publishAt(audioAt(presented));
    virtualworld::timers().fireUntil(clock.nowUs);

    if (capturing) deliverKeys();
    // Past the end, or with nowhere left to write, the production is stopped
    // as a viewer would stop it, and what was written is kept.
    if (capturing && (recorded >= limit || sink.failed || wavFailed) && !stopPushed) {
        pushKey(SDLK_ESCAPE, false);
        stopPushed = true;
    }
}

void presentHook(SDL_Surface* screen) {
    if (active) active->presentedFrame(screen);
}

const Uint8* scriptedKeys() { return active ? active->held : nullptr; }

void Recording::writeStill(int scene) {
    if (stills.kept.empty()) return;
    const std::vector<uint8_t>& frame = stills.kept[stills.kept.size() / 2];
    // Half size keeps the pictures small enough to sit in a README: each
    // pixel the mean of a 2x2 block, rounded.
    const int w = width / 2, h = height / 2;
    std::vector<uint8_t> half(size_t(w) * size_t(h) * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                const uint8_t* p = frame.data() + (size_t(2 * y) * size_t(width) + size_t(2 * x)) * 3 + c;
                const uint8_t* q = p + size_t(width) * 3;
                half[(size_t(y) * size_t(w) + size_t(x)) * 3 + c] = uint8_t((p[0] + p[3] + q[0] + q[3] + 2) / 4);
            }
    char name[32];
    std::snprintf(name, sizeof name, "/scene-%02d.png", scene);
    const std::string path = options->stillsDir + name;
    if (!writePngRgb(path.c_str(), half.data(), w, h))
        std::fprintf(stderr, "vorna-record: could not write %s\n", path.c_str());
}

bool makeDirectory(const std::string& path) {
    if (mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) {
        struct stat st;
        return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    return false;
}

std::string withoutExtension(const std::string& path) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(0, dot);
}

}  // namespace

SDLKey keyByName(const std::string& name) {
    std::string lower;
    for (char c : name) lower += char(std::tolower(static_cast<unsigned char>(c)));
    for (const NamedKey& k : namedKeys)
        if (lower == k.name) return k.key;
    if (lower.size() == 1 && ((lower[0] >= 'a' && lower[0] <= 'z') || (lower[0] >= '0' && lower[0] <= '9')))
        return SDLKey(lower[0]);  // SDL's letter and digit keys are their ASCII codes
    return SDLK_UNKNOWN;
}

const char* usageText() {
    return "usage: vorna-record [options]\n"
           "  -o, --output PATH    the video, .mp4 or .webm (default vorna.mp4)\n"
           "  -r, --fps N          frames per second, 1 to 240 (default 60)\n"
           "      --seed N         the random seed (default 1)\n"
           "      --from N         the first scene recorded, 1 to 22 (default 1)\n"
           "      --to N           the last scene recorded, 1 to 22 (default 22)\n"
           "      --seconds S      stop after S seconds of video\n"
           "      --key NAME@S     press and release a key S seconds into the video\n"
           "      --key NAME@S-E   hold a key from S to E seconds (repeat --key for more)\n"
           "      --frames         leave numbered PPM frames and a WAV, even with ffmpeg\n"
           "      --stills DIR     one picture of each recorded scene into DIR\n"
           "      --no-output      render everything, write nothing (to time the recorder)\n"
           "      --hash           write nothing, print the SHA-256 of all frames' RGB pixels in\n"
           "                       order and of the WAV that --frames would write\n"
           "  -q, --quiet          no progress line while recording\n"
           "  -h, --help           this text\n"
           "Scenes before --from are played but not recorded, so the chosen scenes look\n"
           "and sound as they do in the whole production. Keys: space, escape, return,\n"
           "tab, delete, insert, up, down, left, right, f1 to f12, a to z, 0 to 9.\n";
}

bool parseOptions(int argc, char** argv, RecordOptions* o, std::string* error, bool* help) {
    *help = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        const size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        auto take = [&]() {
            if (hasValue) return true;
            if (i + 1 >= argc) return false;
            value = argv[++i];
            return true;
        };
        auto bad = [&](const char* what) {
            *error = arg + ": " + what;
            return false;
        };
        long n = 0;
        if (arg == "-h" || arg == "--help") {
            *help = true;
            return false;
        }
        if (arg == "-q" || arg == "--quiet") {
            o->quiet = true;
            continue;
        }
        if (arg == "--frames" || arg == "--no-output" || arg == "--hash") {
            o->mode = arg == "--frames" ? RecordOptions::kFrames
                      : arg == "--hash" ? RecordOptions::kHash
                                        : RecordOptions::kDiscard;
            continue;
        }
        if (arg != "-o" && arg != "--output" && arg != "-r" && arg != "--fps" && arg != "--seed" && arg != "--from" &&
            arg != "--to" && arg != "--seconds" && arg != "--key" && arg != "--stills") {
            *error = "unknown option " + arg;
            return false;
        }
        if (!take()) return bad("needs a value");
        std::string container;
        if (arg == "-o" || arg == "--output") {
            if (!videoContainer(value, &container)) return bad("the video must end in .mp4 or .webm");
            o->output = value;
        } else if (arg == "-r" || arg == "--fps") {
            if (!parseInt(value, 1, 240, &n)) return bad("frames per second from 1 to 240");
            o->fps = int(n);
        } else if (arg == "--seed") {
            unsigned long long seed = 0;
            if (!parseSeed(value, &seed)) return bad("a seed is a whole number from 0 to 4294967295");
            o->seed = unsigned(seed);
        } else if (arg == "--from" || arg == "--to") {
            if (!parseInt(value, 1, kSceneCount, &n)) return bad("a scene from 1 to 22");
            (arg == "--from" ? o->firstScene : o->lastScene) = int(n);
        } else if (arg == "--seconds") {
            double s = 0;
            if (!parseSeconds(value, &s) || s <= 0) return bad("a number of seconds above 0");
            o->seconds = s;
        } else if (arg == "--key") {
            KeyPress press{};
            if (!parseKey(value, &press)) return bad("NAME@SECONDS or NAME@FROM-TO, with a known key name");
            o->keys.push_back(press);
        } else {
            if (value.empty()) return bad("needs a folder");
            o->stillsDir = value;
        }
    }
    if (o->firstScene > o->lastScene) {
        *error = "--from comes after --to";
        return false;
    }
    return true;
}

int record(const RecordOptions& options, RecordReport* report, FrameObserver observer, void* observerUser) {
    const auto wallStart = std::chrono::steady_clock::now();
    *report = RecordReport{};
    Recording* r = new Recording;
    r->options = &options;
    r->report = report;
    r->observer = observer;
    r->observerUser = observerUser;
    r->ffmpeg = findFfmpeg();
    r->started = wallStart;
    if (!options.quiet) {
        r->progress.out = stderr;
        r->progress.terminal = isatty(STDERR_FILENO) == 1;
        r->progress.totalSeconds = expectedSeconds(options.firstScene, options.lastScene, options.seconds);
    }
    if (options.seconds > 0) r->limit = std::max<uint64_t>(1, frameAt(options.seconds, options.fps));
    for (const KeyPress& k : options.keys) {
        const uint64_t down = frameAt(k.pressSeconds, options.fps);
        // A hold shorter than a frame still spans one frame.
        const uint64_t up = k.releaseSeconds < 0 ? down : std::max(down + 1, frameAt(k.releaseSeconds, options.fps));
        r->events.push_back({down, k.key, true});
        r->events.push_back({up, k.key, false});
    }
    std::stable_sort(r->events.begin(), r->events.end(),
                     [](const KeyEvent& a, const KeyEvent& b) { return a.frame < b.frame; });

    // Where everything goes, settled before anything runs so that a bad path fails at once.
    std::string container;
    videoContainer(options.output, &container);
    const bool mux = options.mode == RecordOptions::kAutomatic && !r->ffmpeg.empty();
    const bool frames = options.mode == RecordOptions::kFrames ||
                        (options.mode == RecordOptions::kAutomatic && r->ffmpeg.empty());
    const std::string partVideo = options.output + ".video.mkv";
    std::string wavPath;
    bool ready = true;
    if (mux) {
        wavPath = options.output + ".audio.wav";
        r->sink.kind = FrameSink::kPipe;
        // The frame size is known once the engine is up; the encoder is started then.
    } else if (frames) {
        report->framesDir = withoutExtension(options.output) + "-frames";
        wavPath = report->framesDir + "/audio.wav";
        r->sink.kind = FrameSink::kPpmFiles;
        r->sink.framesDir = report->framesDir;
        if (!makeDirectory(report->framesDir)) {
            std::fprintf(stderr, "vorna-record: could not make the folder %s\n", report->framesDir.c_str());
            ready = false;
        }
    }
    if (options.mode == RecordOptions::kHash) {
        // The WAV goes to a file of its own for the time of the run, to be
        // hashed whole with its header.
        char temp[] = "/tmp/vorna-record-XXXXXX";
        const int fd = mkstemp(temp);
        if (fd >= 0) close(fd);
        wavPath = fd >= 0 ? temp : "";
        r->hash = true;
        if (wavPath.empty()) {
            std::fprintf(stderr, "vorna-record: could not make a temporary file\n");
            ready = false;
        }
    }
    if (ready && !wavPath.empty()) {
        r->writeWav = true;
        if (!r->wav.open(wavPath, kAudioRate)) {
            std::fprintf(stderr, "vorna-record: could not write %s\n", wavPath.c_str());
            ready = false;
        }
    }
    if (ready && !options.stillsDir.empty()) {
        r->keepStills = true;
        if (!makeDirectory(options.stillsDir)) {
            std::fprintf(stderr, "vorna-record: could not make the folder %s\n", options.stillsDir.c_str());
            ready = false;
        }
    }
    if (!ready) {
        if (r->wav.file) r->wav.close();
        delete r;
        return 1;
    }

    // Headless: SDL's dummy screen, a device that is never written to, and
    // the virtual world in place of the wall clock, the timer thread and the
    // playback thread.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    // The sound device is never written to: the recorder renders the music itself.
    virtualworld::reset();
    OutsideWorld world = virtualworld::over(realWorld());
    world.seedFixed = true;
    world.seed = options.seed;
    world.sound = virtualworld::silentDevice();
    world.heldKeys = scriptedKeys;
    world.present = presentHook;
    installOutsideWorld(world);
    active = r;

    Production* production = new Production;
    production->playbackThread = false;
    int status = production->start(0, nullptr);
    bool outputOk = true;
    if (status == 0) {
        SDL_Surface* screen = production->engine->screen;
        if (mux) {
            if (!r->sink.pipe.start(encodeArguments(r->ffmpeg, container, options.fps, screen->w, screen->h, partVideo))) {
                std::fprintf(stderr, "vorna-record: could not start %s\n", r->ffmpeg.c_str());
                outputOk = false;
            }
        }
        r->width = screen->w;
        r->height = screen->h;
        r->sink.start(layoutOf(screen), screen->w, screen->h, screen->pitch);
        r->music.song = production->song;
        r->music.publishAt(0);  // the thread's first block, before the first frame, and its first row
        int32_t result = kSceneEnded;
        for (int step = 1; outputOk && step <= options.lastScene && result != kSceneStop && !r->stopPushed; ++step) {
            if (step == options.firstScene) {
                r->capturing = true;
                r->deliverKeys();
            }
            const uint64_t first = r->recorded;
            r->step = step;
            result = production->runStep(step);
            if (r->capturing) {
                report->scenes.push_back({step, first, r->recorded - first});
                if (r->keepStills) r->writeStill(step);
                r->stills.clear();
            }
        }
        production->shutdown(result != kSceneStop);
    }
    delete production;
    r->progress.finish();

    active = nullptr;
    installOutsideWorld(realWorld());
    virtualworld::timers().timers.clear();

    report->frames = r->recorded;
    if (r->writeWav && (!r->wav.close() || r->wavFailed)) {
        std::fprintf(stderr, "vorna-record: could not write %s\n", wavPath.c_str());
        outputOk = false;
    }
    const bool framesOk = r->sink.finish();
    if (!framesOk && outputOk) {
        std::fprintf(stderr, "vorna-record: the frames could not all be written\n");
        outputOk = false;
    }
    if (status == 0 && outputOk && mux) {
        if (runProgram(muxArguments(r->ffmpeg, container, partVideo, wavPath, options.output)) == 0) {
            report->videoPath = options.output;
            std::remove(partVideo.c_str());
            std::remove(wavPath.c_str());
        } else {
            std::fprintf(stderr, "vorna-record: ffmpeg could not mux %s and %s\n", partVideo.c_str(), wavPath.c_str());
            outputOk = false;
        }
    }
    if (r->hash) {
        report->framesSha256 = r->frameDigest.hex();
        Sha256 wavDigest;
        std::vector<uint8_t> bytes;
        if (readFileBytes(wavPath.c_str(), bytes)) wavDigest.add(bytes.data(), bytes.size());
        report->wavSha256 = wavDigest.hex();
        std::remove(wavPath.c_str());
    }
    if (frames) {
        report->wavPath = wavPath;
        report->command = shellCommand(framesArguments(container, options.fps, report->framesDir, wavPath, options.output));
    }
    delete r;
    report->wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    if (status != 0) return 1;
    return outputOk ? 0 : 1;
}
