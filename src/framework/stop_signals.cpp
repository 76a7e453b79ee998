#include "framework/stop_signals.h"

#include "framework/engine.h"

#include <SDL/SDL.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace {

sigset_t stopSet;

void* watchSignals(void*) {
    for (int received = 0;;) {
        int signal = 0;
        if (sigwait(&stopSet, &signal) != 0) continue;
        if (++received > 1) _exit(1);  // asked twice: no second shutdown
        pushKeyRelease(SDLK_ESCAPE);
    }
    return nullptr;
}

}  // namespace

void installStopSignals() {
    sigemptyset(&stopSet);
    sigaddset(&stopSet, SIGINT);
    sigaddset(&stopSet, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSet, nullptr);
    pthread_t watcher;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_create(&watcher, &attributes, watchSignals, nullptr);
    pthread_attr_destroy(&attributes);
}
