// What a person waiting for a recording sees: on a terminal one line
// rewritten in place with the scene, the video time done and expected, the
// speed and the time left; elsewhere (a log, a pipe) a plain line every few
// seconds. Owns nothing but its timing; main thread only.
// Not for: measuring (the final report has the exact figures).
#pragma once

#include <cstdio>
#include <string>

// The expected length of a recording of scenes first .. last, cut at
// limitSeconds when that is above 0: the running order's planned lengths
// (scenes/running_order.h), measured at the default seed with no key pressed;
// a recording with keys or another seed differs a little.
double expectedSeconds(int firstScene, int lastScene, double limitSeconds);

// "scene  8/22 magnolia grows      1:23 / 4:21  1.32x  2:12 left"; the speed
// is video seconds per second of waiting, "--:--" left while it is unknown.
std::string progressText(int scene, double doneSeconds, double totalSeconds, double speed);

struct ProgressLine {
    static constexpr double kInPlaceInterval = 0.25;  // seconds between rewrites on a terminal
    static constexpr double kPlainInterval = 5;       // seconds between plain lines

    std::FILE* out = nullptr;  // null: quiet
    bool terminal = false;
    double totalSeconds = 0;
    double shownAt = -1;  // wait time of the last line, below 0 before the first
    double firstDone = 0, firstWait = 0;  // the state at the first line
    bool lineOpen = false;

    // Shows the state at waitSeconds into the recording when its interval has passed.
    void update(int scene, double doneSeconds, double waitSeconds);
    // Ends the rewritten line, so that what follows starts on a line of its own.
    void finish();
};
