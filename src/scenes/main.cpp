// The program's entry point: the whole production, start to end.
#include "framework/stop_signals.h"
#include "scenes/timeline.h"

int main(int argc, char** argv) {
    installStopSignals();
    return runTimeline(argc, argv);
}
