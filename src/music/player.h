// The music player's program-wide output state and its block loop: one block
// of 2048 frames is rendered by running the song's tick handler and the mixer,
// then converted to 16-bit stereo. The playback thread and the offline
// renderer (xm-render, tests, benchmarks) call the same renderBlock.
//
// Owns: the output format (rate, ramp length and their reciprocals) and the
// position snapshot (order, row, elapsed ms) the scenes follow. renderBlock
// publishes it after every block (the offline renderer's rule); an output
// that knows what is being heard renders with renderQueuedBlock instead and
// publishes the row of the sample being heard (music/row_queue.h).
// Threads: renderBlock runs on whichever single thread plays the song; the
// snapshot may be read from any thread. setOutputRate and rewindSong only
// while nothing renders.
// Not for: the sound device itself.
#pragma once
#include <atomic>
#include <cstdint>

struct Song;

struct OutputFormat {
    uint32_t rate;          // frames per second
    float rateReciprocal;   // 1 / rate in single precision
    int32_t framesPerBlock; // 2048
    uint32_t rampLength;    // volume ramp in frames: rate x 128 / 44100
    float rampReciprocal;
};
extern OutputFormat outputFormat;

constexpr int framesPerBlock = 2048;

// Written by one thread at a time (the renderer, or the one output taking its
// row queue); whole-value reads are safe anywhere.
struct PositionSnapshot {
    std::atomic<uint8_t> order;
    std::atomic<uint8_t> row;
    std::atomic<int32_t> elapsedMs;
    std::atomic<uint64_t> frame;  // stream frame of the row's first sample (0 when published per block)
};
extern PositionSnapshot positionSnapshot;

// Sets the output rate and everything derived from it, and clears the voice
// table. 0 for a rate too low to give a ramp of at least one frame.
int setOutputRate(unsigned rate);

// Puts the song back to its first row: speeds, tempo, counters, the channel
// records of its channels (channel i on voice i), and silences every voice.
// 0 for a null song.
int rewindSong(Song* song);

// Stops whatever plays `song` and forgets every voice that refers to it; the
// voices of another song that a thread is playing are left alone. freeSong
// calls this before releasing the samples.
void releaseSongPlayback(Song* song);

// Called once for every row the block loop starts, with the song already on
// that row (order position, row, elapsed milliseconds at the row's start).
using RowObserver = void (*)(const Song* song, void* user);

// Renders one block of framesPerBlock frames: mix into `mix` (2 x 2048
// floats, cleared here), publish the snapshot, convert into `out` (2 x 2048
// samples). The observer may be null.
void renderBlock(Song* song, float* mix, int16_t* out, RowObserver observer = nullptr, void* user = nullptr);

struct RowMark;
class RowQueue;

// As renderBlock, but publishes nothing: every row start is pushed into
// `rows` at its stream frame, `firstFrame` being the stream frame of the
// block's first sample. The output publishes the marks as they are heard.
void renderQueuedBlock(Song* song, float* mix, int16_t* out, RowQueue& rows, uint64_t firstFrame);

// Publishes a row mark as the snapshot.
void publishPosition(const RowMark& mark);

// Rounds to nearest (ties to even); above 32767 gives 32727, below -32768 gives -32728.
void convertBlock(const float* mix, int16_t* out, int count);
int16_t convertSample(float value);
