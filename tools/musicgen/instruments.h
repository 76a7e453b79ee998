// The twelve instruments of the soundtrack, synthesised from nothing: noise
// and swept sines for the drums, additive detuned saws and squares with
// analytic filters for the tonal voices. Every tonal loop holds a whole
// number of cycles of every partial, so the loops are seamless by design.
//
// Owns: nothing; returns values.
// Thread: single-threaded generator.
// Not for: run-time synthesis; this runs once, at asset generation.
#pragma once

#include <vector>

#include "module.h"

namespace musicgen {

// Instrument numbers as the patterns name them (1-based, XM style).
enum Instrument : uint8_t {
    kKick = 1,
    kSnare,
    kClap,
    kHats,   // closed hat on notes below C-4, open hat from C-4 up
    kBass,
    kPad,    // one voice of a chord; three channels play a chord
    kPluck,
    kLead,
    kBell,
    kCrash,
    kRiser,
    kSub,  // a sine under the bass
    kInstrumentCount = kSub
};

// The note byte at which unpitched samples play at their own rate.
constexpr int kDrumNote = 49;  // C-4

std::vector<InstrumentData> makeInstruments();

// Sets relative note and finetune so that a sample stored at `rate` whose
// fundamental is `fundamental` Hz sounds at concert pitch (note byte 58 =
// A-4 = 440 Hz) under the linear frequency table.
void tuneSample(SampleData& sample, double rate, double fundamental);

// Frequency in Hz of a note byte at concert pitch.
double noteFrequency(int noteByte);

// Rounds to 16 bits after scaling the peak to `peak` of full scale.
std::vector<int16_t> normalise(const std::vector<double>& signal, double peak);

}  // namespace musicgen
