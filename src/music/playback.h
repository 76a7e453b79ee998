// Pattern playback: the song clock (ticks, rows, orders, speed, tempo,
// delays, jumps), the 32 program-wide channel records, every effect, the
// envelopes and auto-vibrato, the period and frequency tables, and the
// hand-over of each channel's state to its voice.
//
// Owns: the channel table. Voices are the mixer's; channels point at them.
// Threads: whichever single thread renders the song (the block loop calls
// songTick); the main thread only while nothing renders.
// Not for: reading the position from another thread (use the snapshot).
#pragma once
#include <cstdint>

struct Song;
struct Sample;
struct Voice;

// Update flags: what updateVoice passes on to the voice.
constexpr uint8_t updateFrequency = 1;
constexpr uint8_t updateVolume = 2;
constexpr uint8_t updatePanning = 4;
constexpr uint8_t updateTrigger = 8;
constexpr uint8_t updateRewind = 32;

struct Channel {
    uint8_t note;
    uint8_t updateFlags;
    Voice* voice;
    int32_t period;
    int32_t volume;
    int32_t panning;
    int32_t volumeOffset;
    int32_t periodOffset;
    int32_t volumeEnvelopeTick;
    int32_t volumeEnvelopePoint;
    int32_t volumeEnvelopeValue;
    int32_t volumeEnvelopeOutput;
    int32_t volumeEnvelopeSlope;
    uint8_t volumeEnvelopeDone;
    int32_t panningEnvelopeTick;
    int32_t panningEnvelopePoint;
    int32_t panningEnvelopeValue;
    int32_t panningEnvelopeOutput;
    int32_t panningEnvelopeSlope;
    uint8_t panningEnvelopeDone;
    int32_t fadeoutVolume;
    int32_t autoVibratoPosition;
    int32_t autoVibratoSweep;
    uint8_t keyOff;
    uint8_t instrument;
    uint8_t realNote;
    int32_t targetPeriod;
    uint8_t lastEffect;
    int32_t sampleOffsetMemory;
    uint8_t portamentoDownMemory;
    uint8_t portamentoUpMemory;
    uint8_t extraFineDownMemory;
    uint8_t extraFineUpMemory;
    uint8_t volumeSlideMemory;
    uint8_t panningSlideMemory;
    uint8_t retriggerVolumeChange;
    uint8_t retriggerInterval;
    int32_t tonePortamentoTarget;
    uint8_t tonePortamentoSpeed;
    int8_t vibratoPosition;
    uint8_t vibratoSpeed;
    uint8_t vibratoDepth;
    int8_t tremoloPosition;
    uint8_t tremoloSpeed;
    uint8_t tremoloDepth;
    uint8_t tremorCounter;
    uint8_t tremorOnTicks;
    uint8_t tremorOffTicks;
    int32_t patternLoopRow;
    int32_t patternLoopCount;
    uint8_t waveformControl;
    uint8_t fineVolumeSlideMemory;
    uint8_t finePortamentoUpMemory;
    uint8_t finePortamentoDownMemory;
};

constexpr int channelCount = 32;
extern Channel channels[channelCount];

// The tick handler of every loaded song.
void songTick(Song* song);
// Sets the BPM and the frames per tick (at least one).
void setTempo(Song* song, int bpm);
// Clears the first `count` channel records and attaches channel i to voice i.
void clearChannels(int count);

// Amiga period of real note n with finetune f.
int32_t amigaPeriod(int n, int f);
// Frequency in Hz of a period with an offset, on the song's table.
int32_t periodFrequency(const Song* song, int32_t period, int32_t offset);
