// The recording's progress line: its words and figures, the in-place
// rewrite on a terminal and the plain lines elsewhere.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "progress.h"
#include "recorder.h"

namespace {

// What a ProgressLine writes when fed (scene, done, wait) states in turn.
std::string written(bool terminal, std::initializer_list<double> waits, bool finish) {
    char* text = nullptr;
    size_t size = 0;
    std::FILE* f = open_memstream(&text, &size);
    ProgressLine line;
    line.out = f;
    line.terminal = terminal;
    line.totalSeconds = 100;
    for (double w : waits) line.update(3, w * 2, w);
    if (finish) line.finish();
    std::fclose(f);
    std::string out(text, size);
    std::free(text);
    return out;
}

}  // namespace

TEST(Progress, TheLine) {
    struct Case {
        int scene;
        double done, total, speed;
        const char* text;
    } cases[] = {
        {8, 83.4, 261, 1.3214, "scene  8/22 magnolia grows     1:23 / 4:21  1.32x  2:14 left"},
        {1, 0, 261, 0, "scene  1/22 opening title      0:00 / 4:21  0.00x  --:-- left"},
        // Past the estimate: the total follows what is done, nothing is left.
        {22, 270, 261, 2, "scene 22/22 closing title      4:30 / 4:30  2.00x  0:00 left"},
        {12, 3599.6, 7200, 0.5, "scene 12/22 photograph        60:00 / 120:00  0.50x  120:01 left"},
    };
    for (const Case& c : cases) EXPECT_EQ(progressText(c.scene, c.done, c.total, c.speed), c.text) << c.scene;
}

TEST(Progress, ExpectedLengthAddsTheScenesAndHonoursTheLimit) {
    const double whole = expectedSeconds(1, 22, -1);
    EXPECT_GT(whole, 200);
    EXPECT_DOUBLE_EQ(expectedSeconds(1, 7, -1) + expectedSeconds(8, 22, -1), whole);
    EXPECT_DOUBLE_EQ(expectedSeconds(1, 22, 40), 40);
}

// Every fact about the steps that the tools show comes from the running
// order, so a step added there reaches the recorder, its progress line and
// vorna-scene's usage without another list to update.
TEST(Progress, TheStepFactsComeFromTheRunningOrder) {
    EXPECT_EQ(RecordOptions{}.lastScene, kSceneCount) << "a recording by default ends with the last step";
    char count[16];
    std::snprintf(count, sizeof count, "/%d ", kSceneCount);
    double planned = 0;
    std::vector<int> threeD;
    for (int n = 1; n <= kSceneCount; ++n) {
        const StepDescription& step = kRunningOrder[n - 1];
        ASSERT_GT(std::strlen(step.name), 0u) << "step " << n << " has no name";
        EXPECT_GT(step.plannedFrames, 0) << "step " << n << " has no planned length";
        for (int m = 1; m < n; ++m) EXPECT_STRNE(kRunningOrder[m - 1].name, step.name) << n << " and " << m;
        const std::string line = progressText(n, 0, 100, 1);
        EXPECT_NE(line.find(step.name), std::string::npos) << line;
        EXPECT_NE(line.find(count), std::string::npos) << line;
        planned += step.plannedFrames / 60.0;
        if (is3DStep(n)) threeD.push_back(n);
    }
    EXPECT_DOUBLE_EQ(expectedSeconds(1, kSceneCount, -1), planned);
    // vorna-scene's usage names the 3D steps with ranges; spelled out, they are the table's.
    std::vector<int> spelled;
    std::istringstream words(stepNumbersOfKind(StepKind::k3D));
    std::string word;
    for (bool range = false; words >> word;) {
        if (word == "..") {
            range = true;
            continue;
        }
        const int n = std::atoi(word.c_str());
        for (int m = range && !spelled.empty() ? spelled.back() + 1 : n; m <= n; ++m) spelled.push_back(m);
        range = false;
    }
    EXPECT_EQ(spelled, threeD);
}

TEST(Progress, PlainLinesEveryFewSecondsWhenNotATerminal) {
    // At 0 s, then not before 5 s have passed since the last line.
    const std::string out = written(false, {0, 1, 4.9, 5.0, 9.9, 10.1}, true);
    EXPECT_EQ(out, "scene  3/22 sphere             0:00 / 1:40  0.00x  --:-- left\n"
                   "scene  3/22 sphere             0:10 / 1:40  2.00x  0:45 left\n"
                   "scene  3/22 sphere             0:20 / 1:40  2.00x  0:40 left\n");
}

TEST(Progress, OneLineRewrittenInPlaceOnATerminal) {
    const std::string open = written(true, {0, 0.1, 0.3}, false);
    EXPECT_EQ(open, "\rscene  3/22 sphere             0:00 / 1:40  0.00x  --:-- left\033[K"
                    "\rscene  3/22 sphere             0:01 / 1:40  2.00x  0:50 left\033[K");
    EXPECT_EQ(written(true, {0, 0.3}, true), open + "\n") << "finish ends the line once";
    EXPECT_EQ(written(true, {}, true), "") << "no line, nothing to end";
}

TEST(Progress, QuietOnTheCommandLine) {
    for (const char* flag : {"--quiet", "-q"}) {
        char name[] = "vorna-record";
        std::string f = flag;
        char* argv[] = {name, f.data()};
        RecordOptions o;
        std::string error;
        bool help = false;
        ASSERT_TRUE(parseOptions(2, argv, &o, &error, &help)) << error;
        EXPECT_TRUE(o.quiet) << flag;
    }
    EXPECT_FALSE(RecordOptions{}.quiet);
}
