#include "music/row_queue.h"

void RowQueue::reset() {
    pushed.store(0, std::memory_order_relaxed);
    taken.store(0, std::memory_order_relaxed);
    dropCount.store(0, std::memory_order_relaxed);
}

bool RowQueue::push(const RowMark& mark) {
    const uint64_t at = pushed.load(std::memory_order_relaxed);
    if (at - taken.load(std::memory_order_acquire) >= kCapacity) {
        dropCount.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    marks[at % kCapacity] = mark;
    pushed.store(at + 1, std::memory_order_release);  // the mark is whole before it is counted
    return true;
}

bool RowQueue::take(uint64_t heardFrame, RowMark* mark) {
    const uint64_t end = pushed.load(std::memory_order_acquire);
    uint64_t at = taken.load(std::memory_order_relaxed);
    bool any = false;
    // Cost: one step per mark taken, at most kCapacity.
    while (at < end && marks[at % kCapacity].frame <= heardFrame) {
        *mark = marks[at % kCapacity];
        any = true;
        ++at;
    }
    if (any) taken.store(at, std::memory_order_release);  // the slots are free once read
    return any;
}
