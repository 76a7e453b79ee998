#include "framework/outside_world.h"

#include <atomic>

#include "music/playback_thread.h"

namespace {

int wallClock(timeval* tv) { return gettimeofday(tv, nullptr); }

// Waits for SDL's timer thread to start a new pass: timers added now only
// join the thread's list at the start of its next pass, so when this one has
// fired, a callback that the previous pass was about to make has been made.
void sdlDrain() {
    std::atomic<int32_t> fired{0};
    auto mark = [](Uint32, void* flag) -> Uint32 {
        static_cast<std::atomic<int32_t>*>(flag)->store(1);
        return 0;
    };
    if (!SDL_AddTimer(1, mark, &fired)) return;  // no timer thread: nothing can be pending
    while (fired.load() == 0) SDL_Delay(1);
}

const Uint8* sdlKeyState() { return SDL_GetKeyState(nullptr); }
int32_t snapshotRow(Song* song) { return getRow(song); }

// The installed copy; null while the real world is installed. The pointer
// is published with release so that a thread that reads the world after the
// install (SDL's timer thread, the playback thread) sees the whole record.
OutsideWorld installed{};
std::atomic<const OutsideWorld*> current{nullptr};

}  // namespace

const OutsideWorld& realWorld() {
    static const OutsideWorld real{wallClock,
                                   TimerService{&SDL_AddTimer, &SDL_RemoveTimer, &sdlDrain},
                                   sdlKeyState,
                                   snapshotRow,
                                   nullptr,
                                   false,
                                   0,
                                   systemAudioDevice()};
    return real;
}

const OutsideWorld& outsideWorld() {
    const OutsideWorld* world = current.load(std::memory_order_acquire);
    return world ? *world : realWorld();
}

void installOutsideWorld(const OutsideWorld& world) {
    if (&world == &realWorld()) {
        current.store(nullptr, std::memory_order_release);
        return;
    }
    installed = world;
    current.store(&installed, std::memory_order_release);
}
