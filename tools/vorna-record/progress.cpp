#include "progress.h"

#include <algorithm>
#include <cmath>

namespace {

// Lengths in frames of a whole recording at 60 fps, seed 1, no key pressed.
const SceneNote notes[] = {
    {"opening title", 1690 / 60.0},
    {"first picture", 181 / 60.0},
    {"sphere", 1087 / 60.0},
    {"glob", 1610 / 60.0},
    {"octopus", 808 / 60.0},
    {"hello page", 565 / 60.0},
    {"second picture", 181 / 60.0},
    {"magnolia grows", 995 / 60.0},
    {"magnolia normals", 411 / 60.0},
    {"magnolia flight", 805 / 60.0},
    {"greetings page", 728 / 60.0},
    {"photograph", 360 / 60.0},
    {"third picture", 181 / 60.0},
    {"cow arrives", 344 / 60.0},
    {"red-lined cow", 538 / 60.0},
    {"yellow cow", 538 / 60.0},
    {"spring", 537 / 60.0},
    {"swaying teddy", 806 / 60.0},
    {"blue teddy", 270 / 60.0},
    {"green teddy", 805 / 60.0},
    {"spinning teddy", 806 / 60.0},
    {"closing title", 1409 / 60.0},
};
constexpr int kNotes = int(sizeof notes / sizeof notes[0]);

std::string clock(double seconds) {
    const long s = std::lround(std::max(0.0, seconds));
    char text[48];
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

}  // namespace

const SceneNote& sceneNote(int scene) { return notes[std::clamp(scene, 1, kNotes) - 1]; }

double expectedSeconds(int firstScene, int lastScene, double limitSeconds) {
    double total = 0;
    for (int s = firstScene; s <= lastScene; ++s) total += sceneNote(s).seconds;
    return limitSeconds > 0 ? std::min(total, limitSeconds) : total;
}

std::string progressText(int scene, double doneSeconds, double totalSeconds, double speed) {
    // A recording running past the estimate is not shown as done before it is.
    const double total = std::max(totalSeconds, doneSeconds);
    const std::string left = speed > 0 ? clock((total - doneSeconds) / speed) : "--:--";
    char text[160];
    std::snprintf(text, sizeof text, "scene %2d/22 %-16s %6s / %s  %4.2fx  %s left", scene, sceneNote(scene).name,
                  clock(doneSeconds).c_str(), clock(total).c_str(), speed, left.c_str());
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
