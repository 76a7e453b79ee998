// The page's entry point: the whole production on the real world as the page
// has it, then word to the page.
#include "framework/outside_world.h"
#include "platform/web/page.h"
#include "scenes/scene.h"
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
    // runTimeline's steps, with word to the page before each one, so that it
    // can give every step's frame rate.
    Production* production = new Production;
    const int status = production->start(argc, argv);
    if (status == 0) {
        int32_t result = kSceneEnded;
        for (int number = 1; number <= kSceneCount && result != kSceneStop; ++number) {
            pageStep(number);
            result = production->runStep(number);
        }
        production->shutdown(result != kSceneStop);
    }
    delete production;
    pageEnded(status);
    return status;
}
