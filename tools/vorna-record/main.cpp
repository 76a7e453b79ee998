// vorna-record's entry point: options in, a video (or frames and a WAV) out.
#include <signal.h>

#include <cstdio>
#include <string>

#include "framework/stop_signals.h"
#include "recorder.h"

int main(int argc, char** argv) {
    RecordOptions options;
    std::string error;
    bool help = false;
    if (!parseOptions(argc, argv, &options, &error, &help)) {
        if (help) {
            std::fputs(usageText(), stdout);
            return 0;
        }
        std::fprintf(stderr, "vorna-record: %s\n%s", error.c_str(), usageText());
        return 2;
    }
    // Ctrl-C stops the production as Escape would, and what was recorded is kept.
    installStopSignals();
    // A dying ffmpeg shows as a failed write, not as the end of the recorder.
    signal(SIGPIPE, SIG_IGN);

    RecordReport report;
    const int status = record(options, &report);
    for (const SceneSpan& s : report.scenes)
        std::printf("scene %d: %llu frames from frame %llu (%.3f s)\n", s.scene,
                    static_cast<unsigned long long>(s.frames), static_cast<unsigned long long>(s.firstFrame),
                    double(s.firstFrame) / options.fps);
    const double videoSeconds = double(report.frames) / options.fps;
    std::printf("recorded %llu frames (%.2f s of video at %d fps) in %.2f s: %.2f video seconds per second\n",
                static_cast<unsigned long long>(report.frames), videoSeconds, options.fps, report.wallSeconds,
                report.wallSeconds > 0 ? videoSeconds / report.wallSeconds : 0.0);
    if (!report.framesSha256.empty())
        std::printf("frames sha256 %s\nwav sha256 %s\n", report.framesSha256.c_str(), report.wavSha256.c_str());
    if (!report.videoPath.empty()) std::printf("video: %s\n", report.videoPath.c_str());
    if (!report.framesDir.empty()) {
        std::printf("frames: %s/000000.ppm ... and the music: %s\n", report.framesDir.c_str(), report.wavPath.c_str());
        std::printf("to make the video: %s\n", report.command.c_str());
    }
    std::fflush(stdout);
    return status;
}
