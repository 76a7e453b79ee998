// Software mixer: the 64 program-wide voices and the routine that adds them,
// interpolated, looped and volume-ramped, into a float stereo mix buffer.
//
// Owns: the voice table (channel i of the song sounds through voice i or i + 32).
// Threads: the playback thread while a song plays; the main thread only while
// nothing plays (clearVoices, tests, the offline renderer).
// Not for: anything but 16-bit sample data loaded by the XM loader.
#pragma once
#include <cstdint>

struct Sample;

struct Voice {
    int32_t index;
    int32_t volume;       // 0..127
    int32_t panning;      // 0..255, 255 = all left
    int32_t startOffset;  // frame to start from at the next trigger
    const Sample* sample;  // null = silent
    int32_t leftTargetGain;   // 1/255 units
    int32_t rightTargetGain;
    uint32_t position;          // 32.32 play position, integer part
    uint32_t positionFraction;
    uint32_t stepFraction;      // 32.32 step per output frame
    uint32_t step;
    int32_t direction;  // 1 forward, 2 backward
    int32_t rampLeftTarget;
    int32_t rampRightTarget;
    int32_t leftGain;   // current gain x 256, 1/255 units
    int32_t rightGain;
    float leftRampIncrement;
    float rightRampIncrement;
    int32_t rampFrames;
};

constexpr int voiceCount = 64;
extern Voice voices[voiceCount];

// The interpolation weight factor: bit pattern 0x2FFFF910, just below 2^-31.
extern const float interpolationK;

// Every voice silent, with its own index and a step of 1.0.
void clearVoices();
// Adds n frames of voices 0..63, in index order, to buffer (interleaved stereo, left first).
void mixVoices(float* buffer, int n);
void mixVoice(Voice* voice, float* buffer, int n);
