// The generator's in-memory picture of a module: what the composer and the
// sample synthesiser build and what the XM writer serialises.
//
// Owns: plain values (vectors of cells, samples and instruments).
// Thread: single-threaded generator.
// Not for: the player's runtime records (src/music has its own); the on-disk
// layout lives only in xm_writer.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace musicgen {

constexpr int kKeyOff = 97;

struct Cell {
    uint8_t note = 0;        // 1..96, 97 key-off, 0 none
    uint8_t instrument = 0;  // 1-based, 0 none
    uint8_t volume = 0;      // volume-column byte (0x10 + 0..64 sets the volume)
    uint8_t effect = 0;
    uint8_t param = 0;
    bool empty() const { return !note && !instrument && !volume && !effect && !param; }
};

struct Pattern {
    int rows = 64;
    int channels = 8;
    std::vector<Cell> cells;  // rows x channels, row by row
    Pattern(int r, int c) : rows(r), channels(c), cells(static_cast<size_t>(r * c)) {}
    Cell& at(int row, int channel) { return cells[static_cast<size_t>(row * channels + channel)]; }
    const Cell& at(int row, int channel) const { return cells[static_cast<size_t>(row * channels + channel)]; }
};

enum class LoopType : uint8_t { none = 0, forward = 1, pingPong = 2 };

struct SampleData {
    std::string name;
    std::vector<int16_t> frames;  // always kept as 16-bit values
    bool eightBit = false;        // stored as 8 bits (frames are then multiples of 256)
    uint32_t loopStart = 0;       // in frames
    uint32_t loopLength = 0;      // in frames
    LoopType loop = LoopType::none;
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;  // 0 left .. 255 right, as trackers read it
    int8_t relativeNote = 0;
};

struct EnvelopePoint {
    uint16_t x, y;
};

struct Envelope {
    std::vector<EnvelopePoint> points;  // at most 12
    int sustain = -1;                   // point index, -1 none
    int loopStart = -1, loopEnd = -1;   // point indices, -1 none
};

struct InstrumentData {
    std::string name;
    std::vector<SampleData> samples;  // 1..16
    uint8_t keymap[96] = {};          // sample slot per note
    Envelope volumeEnvelope, panningEnvelope;
    uint8_t vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
    uint16_t fadeout = 0;
};

struct Module {
    std::string name;
    std::string tracker;
    int channels = 8;
    int restart = 0;
    bool linear = true;
    int speed = 6, bpm = 125;
    std::vector<uint8_t> orders;
    std::vector<Pattern> patterns;
    std::vector<InstrumentData> instruments;
};

}  // namespace musicgen
