#include "support/virtual_world.h"

#include "music/playback_thread.h"

void VirtualClock::read(timeval* tv) const {
    tv->tv_sec = static_cast<time_t>(epochSeconds + int64_t(nowUs / 1000000));
    tv->tv_usec = static_cast<suseconds_t>(nowUs % 1000000);
}

SDL_TimerID TimerQueue::add(Uint32 intervalMs, SDL_NewTimerCallback callback, void* param) {
    // A zero period would fire forever within one instant; SDL never fires
    // faster than its slice either.
    const Uint32 period = intervalMs ? intervalMs : 1;
    const intptr_t id = nextId++;
    timers[id] = Entry{callback, param, period, nowUs + uint64_t(period) * 1000};
    return reinterpret_cast<SDL_TimerID>(id);
}

bool TimerQueue::remove(SDL_TimerID id) { return timers.erase(reinterpret_cast<intptr_t>(id)) != 0; }

int TimerQueue::fireUntil(uint64_t untilUs) {
    int fired = 0;
    for (;;) {
        // Cost: one pass over the live timers (a handful) per tick fired.
        auto next = timers.end();
        for (auto it = timers.begin(); it != timers.end(); ++it)
            if (it->second.dueUs <= untilUs && (next == timers.end() || it->second.dueUs < next->second.dueUs))
                next = it;
        if (next == timers.end()) break;
        const intptr_t id = next->first;
        const Entry entry = next->second;
        nowUs = entry.dueUs;
        const Uint32 again = entry.callback(entry.intervalMs, entry.param);
        ++fired;
        // The callback may have removed its own timer (a stop from inside a tick).
        auto still = timers.find(id);
        if (still == timers.end()) continue;
        if (again == 0) {
            timers.erase(still);
        } else {
            still->second.intervalMs = again;
            still->second.dueUs = entry.dueUs + uint64_t(again) * 1000;
        }
    }
    nowUs = untilUs;
    return fired;
}

void TimerQueue::catchUpEach(uint64_t untilUs) {
    nowUs = untilUs;
    std::vector<intptr_t> ids;
    ids.reserve(timers.size());
    for (const auto& [id, entry] : timers) ids.push_back(id);
    for (intptr_t id : ids) {
        // Cost: at most the span over the period ticks of each timer.
        for (;;) {
            auto it = timers.find(id);
            if (it == timers.end() || it->second.dueUs > untilUs) break;
            const Entry entry = it->second;
            const Uint32 again = entry.callback(entry.intervalMs, entry.param);
            it = timers.find(id);  // the callback may have removed it
            if (it == timers.end()) break;
            if (again == 0) {
                timers.erase(it);
                break;
            }
            it->second.intervalMs = again;
            it->second.dueUs = entry.dueUs + uint64_t(again) * 1000;
        }
    }
}

void TimerQueue::fireEachOnce() {
    // Ids are taken first: a tick may start or stop other timers (a sequence
    // starts its next group from its last animator's tick).
    std::vector<intptr_t> ids;
    ids.reserve(timers.size());
    for (const auto& [id, entry] : timers) ids.push_back(id);
    for (intptr_t id : ids) {
        auto it = timers.find(id);
        if (it == timers.end()) continue;
        const Entry entry = it->second;
        if (entry.callback(entry.intervalMs, entry.param) == 0) timers.erase(id);
    }
}

void MusicStepper::renderThrough(uint64_t frame) {
    // Cost: one block of 2048 frames per pass, at most a frame's worth of blocks.
    while (renderedFrames <= frame) {
        renderQueuedBlock(song, mix, block, rows, renderedFrames);
        pending.insert(pending.end(), block, block + 2 * framesPerBlock);
        renderedFrames += framesPerBlock;
    }
}

void MusicStepper::take(uint64_t untilFrame, std::vector<int16_t>* into) {
    if (untilFrame <= takenFrames) return;
    if (untilFrame > renderedFrames) renderThrough(untilFrame - 1);
    const size_t samples = size_t(untilFrame - takenFrames) * 2;
    if (into) into->insert(into->end(), pending.begin(), pending.begin() + long(samples));
    pending.erase(pending.begin(), pending.begin() + long(samples));
    takenFrames = untilFrame;
}

void MusicStepper::publishAt(uint64_t frame) {
    const int64_t shift = int64_t(getAvOffsetMs()) * int64_t(outputFormat.rate) / 1000;
    const int64_t heard = int64_t(frame) - shift;
    // A negative offset shows rows before their frame's time: render that far.
    renderThrough(heard > int64_t(frame) ? uint64_t(heard) : frame);
    RowMark mark;
    if (heard >= 0 && rows.take(uint64_t(heard), &mark)) publishPosition(mark);
}

namespace virtualworld {
namespace {
VirtualClock theClock;
TimerQueue theTimers;

int readVirtualClock(timeval* tv) {
    theClock.read(tv);
    return 0;
}
SDL_TimerID addVirtualTimer(Uint32 interval, SDL_NewTimerCallback callback, void* param) {
    return theTimers.add(interval, callback, param);
}
SDL_bool removeVirtualTimer(SDL_TimerID id) { return theTimers.remove(id) ? SDL_TRUE : SDL_FALSE; }
// Ticks run on the main thread between frames: a removed timer cannot fire late.
void drainNothing() {}

const AudioDevice silent{nullptr, [](void*, const char*) { return 3; },
                         [](void*, int, unsigned long, int*) { return 0; },
                         [](void*, int, const void*, size_t bytes) { return long(bytes); },
                         [](void*, int) { return 0; }, realAudioClock()};
}  // namespace

VirtualClock& clock() { return theClock; }
TimerQueue& timers() { return theTimers; }

void reset(int64_t epochSeconds) {
    theClock = VirtualClock{};
    theClock.epochSeconds = epochSeconds;
    theTimers.timers.clear();
    theTimers.nowUs = 0;
}

OutsideWorld over(const OutsideWorld& base) {
    OutsideWorld world = base;
    world.clock = readVirtualClock;
    world.timers = TimerService{addVirtualTimer, removeVirtualTimer, drainNothing};
    return world;
}

const AudioDevice& silentDevice() { return silent; }
}  // namespace virtualworld
