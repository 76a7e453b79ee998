#include "progress.h"

#include <algorithm>
#include <cmath>

#include "scenes/running_order.h"

namespace {

std::string clock(double seconds) {
    const long s = std::lround(std::max(0.0, seconds));
    char text[48];
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

}  // namespace

const char* stepName(int scene) { return scene >= 1 && scene <= kSceneCount ? kRunningOrder[scene - 1].name : "?"; }

double expectedSeconds(int firstScene, int lastScene, double limitSeconds) {
    double total = 0;
    for (int s = std::max(firstScene, 1); s <= std::min(lastScene, kSceneCount); ++s)
        total += kRunningOrder[s - 1].plannedFrames / 60.0;
    return limitSeconds > 0 ? std::min(total, limitSeconds) : total;
}

std::string progressText(int scene, double doneSeconds, double totalSeconds, double speed) {
    // A recording running past the estimate is not shown as done before it is.
    const double total = std::max(totalSeconds, doneSeconds);
    const std::string left = speed > 0 ? clock((total - doneSeconds) / speed) : "--:--";
    char text[160];
    std::snprintf(text, sizeof text, "scene %2d/%d %-16s %6s / %s  %4.2fx  %s left", scene, kSceneCount,
                  stepName(scene), clock(doneSeconds).c_str(), clock(total).c_str(), speed, left.c_str());
    return text;
}

void ProgressLine::update(int scene, double doneSeconds, double waitSeconds) {
    if (!out) return;
    const double interval = terminal ? kInPlaceInterval : kPlainInterval;
    if (shownAt >= 0 && waitSeconds - shownAt < interval) return;
    // The speed counts from the first line, so the start-up does not weigh on it.
    if (shownAt < 0) firstDone = doneSeconds, firstWait = waitSeconds;
    shownAt = waitSeconds;
    const double speed = waitSeconds > firstWait ? (doneSeconds - firstDone) / (waitSeconds - firstWait) : 0;
    const std::string text = progressText(scene, doneSeconds, totalSeconds, speed);
    if (terminal) {
        // Back to the line's start, the text, and whatever the last one left cleared away.
        std::fprintf(out, "\r%s\033[K", text.c_str());
        lineOpen = true;
    } else {
        std::fprintf(out, "%s\n", text.c_str());
    }
    std::fflush(out);
}

void ProgressLine::finish() {
    if (out && lineOpen) {
        std::fputc('\n', out);
        std::fflush(out);
    }
    lineOpen = false;
}
