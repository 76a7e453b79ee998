// SIGINT and SIGTERM while each kind of scene runs: the production stops as
// for a released Escape, through its whole shutdown, with status 0; a second
// signal while the shutdown hangs ends the process at once.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

extern char** environ;

namespace {

struct Outcome {
    int status = -1;      // exit status, or -1 when it did not exit normally
    int killedBy = 0;     // the signal that ended it, if one did
    double seconds = 0;   // from the start to the end of the process
    bool timedOut = false;
};

Outcome runChild(int step, int signal, bool again) {
    const std::string stepText = std::to_string(step), signalText = std::to_string(signal);
    const char* argv[] = {VORNA_SIGNAL_CHILD, stepText.c_str(), signalText.c_str(), again ? "again" : nullptr,
                          nullptr};
    Outcome outcome;
    pid_t child = 0;
    const auto started = std::chrono::steady_clock::now();
    if (posix_spawn(&child, VORNA_SIGNAL_CHILD, nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return outcome;
    int wstatus = 0;
    for (;;) {
        const pid_t done = waitpid(child, &wstatus, WNOHANG);
        if (done == child) break;
        if (std::chrono::steady_clock::now() - started > std::chrono::seconds(120)) {
            kill(child, SIGKILL);
            waitpid(child, &wstatus, 0);
            outcome.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (WIFEXITED(wstatus)) outcome.status = WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) outcome.killedBy = WTERMSIG(wstatus);
    return outcome;
}

}  // namespace

TEST(StopSignals, EndTheProductionThroughItsShutdownInEveryKindOfScene) {
    struct Case {
        int step;
        int signal;
        const char* kind;
    };
    const Case cases[] = {{1, SIGINT, "the opening title"},
                          {2, SIGTERM, "a picture"},
                          {3, SIGINT, "a 3D scene"},
                          {6, SIGTERM, "the text page"}};
    for (const Case& c : cases) {
        const Outcome o = runChild(c.step, c.signal, false);
        EXPECT_FALSE(o.timedOut) << c.kind;
        EXPECT_EQ(o.killedBy, 0) << c.kind;
        // 3: the scene ran on; 4: playback or the device outlived the shutdown.
        EXPECT_EQ(o.status, 0) << c.kind << " (signal " << c.signal << ")";
    }
}

TEST(StopSignals, ASecondSignalDuringTheShutdownEndsItAtOnce) {
    // The child's device sends the second signal from its close and then
    // hangs there for ten seconds.
    const Outcome o = runChild(3, SIGTERM, true);
    EXPECT_FALSE(o.timedOut);
    EXPECT_EQ(o.killedBy, 0);
    // 1 is the watcher's immediate exit; 5 means the hung close came back
    // after its ten seconds, so the second signal did nothing.
    EXPECT_EQ(o.status, 1) << "after " << o.seconds << " s";
}
