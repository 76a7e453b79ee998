// The production as its own process, for the stop-signal tests:
//   reliability_signal_child STEP SIGNAL [again]
// plays steps 1 .. STEP-1 with Space released in their second frame, then
// sends itself SIGNAL (by number) a few frames into STEP. The step must end as
// if Escape had been released, and the shutdown must stop the playback and
// close the device; the exit status is then 0, as the production's. With
// "again", the device's close sends a second signal and then hangs, so only
// the second signal can end the process.
// Exit statuses: 0 done, 3 the step did not stop, 4 the shutdown left playback
// or the device running, 5 the hung close came back (the second signal failed).
#include <SDL/SDL.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/engine.h"
#include "framework/outside_world.h"
#include "framework/stop_signals.h"
#include "music/audio_device.h"
#include "music/playback_thread.h"
#include "scenes/music_position.h"
#include "scenes/scene.h"
#include "scenes/timeline.h"

namespace {

int framesInStep = 0;
int signalStep = 0;
int currentStep = 0;
int stopSignal = SIGINT;
bool signalAgain = false;
std::atomic<int> opens{0}, closes{0};

void releaseSpace() { pushKeyRelease(SDLK_SPACE); }

int32_t rowAndCue(Song* song) {
    ++framesInStep;
    if (currentStep < signalStep && framesInStep == 2) releaseSpace();
    if (currentStep == signalStep && framesInStep == 3) kill(getpid(), stopSignal);
    return getRow(song);
}

// Paced roughly like the real device: a block of 2048 frames is about 46 ms.
long pacedWrite(void*, int, const void*, size_t bytes) {
    usleep(40000);
    return long(bytes);
}

int closeDevice(void*, int) {
    closes.fetch_add(1);
    if (signalAgain) {
        kill(getpid(), stopSignal);
        sleep(10);
        std::_Exit(5);
    }
    return 0;
}

AudioDevice device{nullptr, [](void*, const char*) { return opens.fetch_add(1), 3; },
                   [](void*, int, unsigned long request, int* argument) {
                       if (request == kDspSetFragment) *argument = 0x0008000B;
                       return 0;
                   },
                   pacedWrite, closeDevice, realAudioClock()};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s STEP SIGNAL [again]\n", argv[0]);
        return 64;
    }
    installStopSignals();
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    signalStep = std::atoi(argv[1]);
    stopSignal = std::atoi(argv[2]);
    signalAgain = argc > 3 && std::strcmp(argv[3], "again") == 0;

    OutsideWorld world = realWorld();
    world.sound = device;
    world.musicRow = rowAndCue;
    installOutsideWorld(world);
    Production* production = new Production;
    if (production->start(0, nullptr) != 0) return 1;

    int32_t result = kSceneEnded;
    for (currentStep = 1; currentStep <= signalStep && result != kSceneStop; ++currentStep) {
        framesInStep = 0;
        result = production->runStep(currentStep);
    }
    if (result != kSceneStop) {
        std::fprintf(stderr, "step %d ended with %d, not stopped\n", signalStep, int(result));
        return 3;
    }
    production->shutdown(false);
    delete production;
    if (isPlaying() || opens.load() != 1 || closes.load() != 1) {
        std::fprintf(stderr, "after the shutdown: playing %d, opened %d, closed %d\n", isPlaying(), opens.load(),
                     closes.load());
        return 4;
    }
    return 0;
}
