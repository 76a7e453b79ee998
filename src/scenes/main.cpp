// The program's entry point: the whole production, start to end.
#include <cstdio>
#include <cstdlib>

#include "framework/stop_signals.h"
#include "music/playback_thread.h"
#include "scenes/timeline.h"

int main(int argc, char** argv) {
    // VORNA_AV_OFFSET_MS: how much later than the device reports the sound
    // really comes out (a Bluetooth speaker, a television); settled before
    // anything starts.
    if (const char* offset = std::getenv("VORNA_AV_OFFSET_MS"); offset && *offset) {
        int ms = 0;
        if (!parseAvOffsetMs(offset, &ms)) {
            std::fprintf(stderr,
                         "VORNA_AV_OFFSET_MS must be a whole number of milliseconds from -1000 to 1000, not \"%s\"\n",
                         offset);
            return 1;
        }
        setAvOffsetMs(ms);
        if (ms != 0) std::printf("audio/video offset %+d ms (VORNA_AV_OFFSET_MS)\n", ms);
    }
    installStopSignals();
    return runTimeline(argc, argv);
}
