// XM module loader: reads one FastTracker II module through the file
// callbacks into a Song (patterns as cell arrays, instruments with keymaps and
// envelopes, samples as 16-bit PCM with guard values around the data).
//
// Owns: every Song it returns, with its patterns, instruments and samples,
// until freeSong. The shared empty sample and instrument are static.
// Threads: main thread; freeSong must not run while the song plays.
// Not for: writing modules, or any format other than XM.
#pragma once
#include <cstdint>

struct Song;

using TickHandler = void (*)(Song* song);
// Called per sample instead of reading its data (see loadSong).
using SampleHook = void (*)(void* buffer, int byteCount, int bits, int instrumentIndex, int sampleIndex);

// Zero values stored before every sample's first frame and after its last:
// interpolation reads one frame past the loop point, and a backward run may
// end a hair before the loop start.
constexpr int sampleGuardFrames = 8;

struct Sample {
    int16_t* data;  // length frames, with sampleGuardFrames zeros on either side; null for length 0
    uint32_t length;
    uint32_t loopStart;
    uint32_t loopLength;
    uint8_t volume;
    int8_t finetune;
    int32_t panning;
    uint8_t bits;
    uint8_t loopType;  // 1 none, 2 forward, 4 ping-pong
    int8_t relativeNote;
};

struct EnvelopePoint {
    uint16_t x;
    uint16_t y;
};

constexpr int envelopePointCount = 12;

struct Instrument {
    int32_t sampleCount;
    Sample* samples[16];
    uint8_t keymap[96];
    EnvelopePoint volumeEnvelope[envelopePointCount];
    EnvelopePoint panningEnvelope[envelopePointCount];
    uint8_t volumePointCount;
    uint8_t panningPointCount;
    uint8_t volumeSustainPoint;
    uint8_t volumeLoopStartPoint;
    uint8_t volumeLoopEndPoint;
    uint8_t panningSustainPoint;
    uint8_t panningLoopStartPoint;
    uint8_t panningLoopEndPoint;
    uint8_t volumeEnvelopeType;  // bit 0 on, bit 1 sustain, bit 2 loop
    uint8_t panningEnvelopeType;
    uint8_t vibratoType;
    uint8_t vibratoSweep;
    uint8_t vibratoDepth;
    uint8_t vibratoRate;
    uint16_t fadeout;
};

constexpr int cellBytes = 5;  // note, instrument, volume column, effect, parameter

struct Pattern {
    int32_t rows;
    uint8_t* cells;  // rows x channels cells, row by row
};

struct Song {
    Pattern* patterns;
    Instrument* instruments;
    int32_t framesLeftInTick;
    int32_t framesPerTick;
    uint16_t songLength;
    uint16_t restartPosition;
    uint16_t channels;
    int32_t referencedPatterns;
    int32_t patternCount;
    uint16_t instrumentCount;
    uint16_t flags;  // bit 0: linear frequency table
    uint16_t defaultSpeed;
    uint16_t defaultBpm;
    uint8_t orderTable[256];
    uint8_t initialGlobalVolume;
    int32_t globalVolume;
    uint8_t globalVolumeSlideMemory;
    int32_t tick;
    int32_t speed;
    int32_t bpm;
    int32_t row;
    int32_t orderPosition;
    int32_t patternDelayTicks;
    int32_t nextRow;
    int32_t nextOrder;
    int32_t elapsedMs;
    TickHandler tickHandler;
    SampleHook sampleHook;
};

// Stands for sample slots beyond an instrument's count and for lookups that
// find nothing; never freed, never written by playback.
extern Sample emptySample;
extern Instrument emptyInstrument;

// Reads the module named `name` through the registered callbacks. Returns a
// new Song, or null when the file cannot be opened or is not a module the
// player can play safely.
Song* loadSong(const char* name, SampleHook sampleHook);
// Releases the song and everything it owns. 1, or 0 for a null song.
int freeSong(Song* song);
