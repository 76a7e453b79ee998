// The music's output: the sound device, the playback thread and the position
// snapshot the scenes follow. One device, one playing song, one thread for
// the whole program.
//
// Threads: every operation here is called from the main thread; the thread
// they start renders blocks and writes them to the device. The two meet only
// through atomics (stop request, in block, thread finished, current song,
// the snapshot). Not for playing two songs at once.
#pragma once

#include <cstddef>
#include <cstdint>

struct Song;
struct AudioDevice;

// Opens and configures `device` for 16-bit stereo at `rate`; 0 when a file
// callback is missing or the device refuses any of the four requests. A song
// still playing is stopped first (as by closeAudio). The device must outlive
// the open handle (the production hands over the outside world's, which does).
// The thread sleeps, and stopSong waits for it, on the device's clock.
int openAudio(unsigned rate, const AudioDevice& device);
// Stops a song still playing, then closes the device if it is open.
int closeAudio();
// Restarts `song` from its beginning on a new playback thread; 0 for null, or
// when the mix buffer cannot be had (then nothing plays).
int playSong(Song* song);
// Stops the thread and releases the mix buffer; 0 only for null. A thread
// stuck in a device write is waited for half a second, then left to end by
// itself when the write returns.
int stopSong(Song* song);

// The position being heard (0 for a null song): while a thread plays, the
// row of the stream frame the device is playing now (what it has been
// handed less what it still holds), moved by the A/V offset; otherwise the
// snapshot as the last renderer left it. Main thread (or one reader at a time).
int getOrder(Song* song);
int getRow(Song* song);
int getElapsedMs(Song* song);

// Shifts the published position by `ms` for outputs whose own delay nothing
// reports (a positive offset: the sound comes out that much later, so the
// scenes wait for it). Default 0.
void setAvOffsetMs(int ms);
int getAvOffsetMs();
// Reads an offset as VORNA_AV_OFFSET_MS gives it: a whole number of
// milliseconds from -1000 to 1000 (a sign allowed, nothing else); false for
// anything else.
bool parseAvOffsetMs(const char* text, int* ms);

// Row marks that found the queue full since the song started (never, unless
// the device stops playing while the thread keeps writing).
uint32_t droppedRowMarks();

// Where playSong gets its zeroed mix buffer (calloc's contract); a test
// installs one that fails. Null restores calloc.
using MixAllocator = void* (*)(size_t count, size_t size);
void setMixAllocator(MixAllocator allocate);

// 1 while a playback thread runs.
int isPlaying();
// The song the playback thread renders, or null.
Song* playingSong();
