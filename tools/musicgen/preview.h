// A small renderer for the subset of XM playback the soundtrack uses (notes,
// key-off, volume column, effects C and F, envelopes, fadeout, panning,
// linear frequencies, interpolated loops, click-free voice hand-over), so the
// generator can measure its own mix (peak, RMS, silent stretches) without the
// production's player. It reads the generator's Module, not the file.
//
// Owns: its output buffer.
// Thread: single-threaded generator.
// Not for: the production; the player in src/music is the reference.
#pragma once

#include <cstdint>
#include <vector>

#include "module.h"

namespace musicgen {

struct MixFigures {
    double peak = 0;              // largest |sample| over both sides, 1.0 = full scale
    double rms = 0;               // over both sides, 1.0 = full scale
    double longestQuietSeconds = 0;  // longest run below -60 dBFS from `quietFrom` on
    long frames = 0;
    std::vector<double> orderRms;  // RMS of each order position
};

// Renders one pass of the order list at 44100 Hz: interleaved stereo, 16-bit
// scale floats (left first).
std::vector<float> renderPass(const Module& module);

MixFigures measure(const std::vector<float>& stereo, long framesPerOrderPosition, long quietFrom);

// 16-bit PCM WAV, rounded and clamped.
std::vector<uint8_t> wavFile(const std::vector<float>& stereo, long firstFrame, long frameCount);

}  // namespace musicgen
