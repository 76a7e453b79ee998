// Recording speed: the whole production at 60 fps through vorna-record, in
// video seconds per wall second, once writing nothing (the world, the
// frames and the music only) and once muxed into an MP4 by ffmpeg. Each run
// is a fresh process, as a recording is. VORNA_BENCH_RECORD_SECONDS limits
// the span (default: the whole production).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench.h"

#ifdef VORNA_RECORD_PATH
namespace {

void timeRecording(const char* label, const std::string& arguments) {
    const char* span = std::getenv("VORNA_BENCH_RECORD_SECONDS");
    std::string command = std::string("'") + VORNA_RECORD_PATH + "' " + arguments;
    if (span && *span) command += std::string(" --seconds ") + span;
    std::FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return;
    char line[512];
    unsigned long long frames = 0;
    double video = 0, wall = 0, speed = 0;
    int fps = 0;
    bool found = false;
    while (std::fgets(line, sizeof line, p))
        if (std::sscanf(line, "recorded %llu frames (%lf s of video at %d fps) in %lf s: %lf", &frames, &video, &fps,
                        &wall, &speed) == 5)
            found = true;
    pclose(p);
    if (!found) {
        std::printf("  %-28s the recording failed\n", label);
        return;
    }
    std::printf("  %-28s %llu frames, %.1f s of video in %.1f s: %.2f video seconds per second\n", label, frames, video,
                wall, speed);
}

}  // namespace

VORNA_BENCH("record/production 60 fps, no output") { timeRecording("no output", "--fps 60 --no-output"); }

VORNA_BENCH("record/production 60 fps, muxed mp4") {
    // Without ffmpeg the tool would leave every frame on disk instead.
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) {
        std::printf("  ffmpeg is not installed\n");
        return;
    }
    const std::string path = "/tmp/vorna-bench-record.mp4";
    timeRecording("muxed into mp4 by ffmpeg", "--fps 60 -o " + path);
    std::remove(path.c_str());
}
#endif
