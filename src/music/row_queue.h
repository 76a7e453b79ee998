// The rows an output has been handed but not yet played: for every row
// start, the stream frame of the row's first sample (frames counted from
// the output's start) with the song's position there. The renderer pushes a
// mark at each row start; whoever knows which stream frame is being heard
// takes the marks up to it and publishes the last one taken, so the row the
// scenes follow is the row coming out of the speakers, not the row just
// rendered.
//
// Owns: its marks, in a fixed ring (no allocation). Threads: one pushing
// thread and one taking thread, which may be the same; lock-free. Nothing
// here knows about devices, threads or clocks, so any output (the playback
// thread, a browser's audio callback, the recorder's virtual time) keeps its
// own queue the same way.
// Not for: more than one pusher or more than one taker at a time.
#pragma once

#include <atomic>
#include <cstdint>

struct RowMark {
    uint64_t frame;     // stream frame of the row's first sample
    int32_t elapsedMs;  // the song's elapsed milliseconds at the row's start
    uint8_t order;      // low byte of the order position
    uint8_t row;        // low byte of the row
};

class RowQueue {
public:
    // Rows that can wait at once: an output holds about 8000 frames (its
    // buffer, a block and the sound library's own), and the shortest row
    // (one tick at 255 BPM) lasts 432 frames.
    static constexpr uint32_t kCapacity = 64;

    // Forgets every mark; only while neither side runs.
    void reset();
    // Pusher: appends a mark (frames never go back). False, and counted as
    // dropped, when the queue is full: the taker has fallen behind by more
    // than an output can hold.
    bool push(const RowMark& mark);
    // Taker: removes every mark at or before `heardFrame`; true with the
    // last one removed in *mark, false (and *mark untouched) when none was due.
    bool take(uint64_t heardFrame, RowMark* mark);
    uint32_t dropped() const { return dropCount.load(std::memory_order_relaxed); }

private:
    RowMark marks[kCapacity] = {};
    std::atomic<uint64_t> pushed{0};  // written by the pusher only
    std::atomic<uint64_t> taken{0};   // written by the taker only
    std::atomic<uint32_t> dropCount{0};
};
