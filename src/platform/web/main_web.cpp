// The page's entry point: the whole production on the real world as the page
// has it, then word to the page.
#include "framework/outside_world.h"
#include "platform/web/page.h"
#include "scenes/timeline.h"

int main(int argc, char** argv) {
    OutsideWorld world = realWorld();
    // Timer ticks run on this thread between frames, so a removed timer can
    // never fire late: there is nothing to wait for.
    world.timers.drain = [] {};
    // ?seed=N on the page's address fixes the seed.
    const long long seed = pageSeed();
    if (seed >= 0) {
        world.seedFixed = true;
        world.seed = unsigned(seed);
    }
    installOutsideWorld(world);
    const int status = runTimeline(argc, argv);
    pageEnded(status);
    return status;
}
