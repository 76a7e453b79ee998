// Writes XM module bytes from a small in-code description, so tests, the
// benchmark and the fuzz seeds can build exactly the module a case needs.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace xmw {

struct Cell {
    uint8_t note = 0, instrument = 0, volume = 0, effect = 0, param = 0;
};

struct PatternSpec {
    int rows = 64;
    int channels = 1;
    bool unpacked = false;     // write every cell as note + four bytes
    int storedRows = -1;       // rows value written to the file (-1: rows)
    std::vector<Cell> cells;   // rows x channels
    PatternSpec(int r, int c) : rows(r), channels(c), cells(size_t(r) * c) {}
    Cell& at(int row, int channel) { return cells[size_t(row) * channels + channel]; }
};

struct SampleSpec {
    uint32_t length = 0;      // bytes, as stored in the header
    uint32_t loopStart = 0;   // bytes
    uint32_t loopLength = 0;  // bytes
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t type = 0;
    uint8_t panning = 128;
    int8_t relativeNote = 0;
    std::vector<uint8_t> data;  // stored bytes (deltas)

    // Delta-encodes 8-bit values.
    static SampleSpec pcm8(const std::vector<int8_t>& values) {
        SampleSpec s;
        int8_t prev = 0;
        for (int8_t v : values) {
            s.data.push_back(uint8_t(int8_t(v - prev)));
            prev = v;
        }
        s.length = uint32_t(s.data.size());
        return s;
    }
    // Delta-encodes 16-bit values.
    static SampleSpec pcm16(const std::vector<int16_t>& values) {
        SampleSpec s;
        int16_t prev = 0;
        for (int16_t v : values) {
            const uint16_t d = uint16_t(v - prev);
            s.data.push_back(uint8_t(d & 0xFF));
            s.data.push_back(uint8_t(d >> 8));
            prev = v;
        }
        s.length = uint32_t(s.data.size());
        s.type |= 16;
        return s;
    }
};

struct EnvelopeSpec {
    std::vector<std::pair<uint16_t, uint16_t>> points;
    uint8_t sustain = 0, loopStart = 0, loopEnd = 0, type = 0;
    int pointCount = -1;  // stored count (-1: points.size())
};

struct InstrumentSpec {
    std::vector<SampleSpec> samples;
    uint8_t keymap[96] = {};
    EnvelopeSpec volumeEnvelope, panningEnvelope;
    uint8_t vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
    uint16_t fadeout = 0;
    int storedSampleCount = -1;   // -1: samples.size()
    uint32_t headerSize = 263;
};

struct ModuleSpec {
    int channels = 1;
    uint16_t restart = 0;
    uint16_t flags = 1;  // linear table
    uint16_t speed = 6;
    uint16_t bpm = 125;
    std::vector<uint8_t> orders{0};
    int storedSongLength = -1;   // -1: orders.size()
    int storedPatternCount = -1; // -1: patterns.size()
    int storedChannels = -1;
    uint32_t headerSize = 276;
    std::vector<PatternSpec> patterns;
    std::vector<InstrumentSpec> instruments;
};

inline void put16(std::vector<uint8_t>& o, uint32_t v) {
    o.push_back(uint8_t(v));
    o.push_back(uint8_t(v >> 8));
}
inline void put32(std::vector<uint8_t>& o, uint32_t v) {
    put16(o, v & 0xFFFF);
    put16(o, v >> 16);
}

inline std::vector<uint8_t> write(const ModuleSpec& m) {
    static const char signature[] = "Extended Module: ";
    std::vector<uint8_t> o(signature, signature + 17);
    o.resize(37, ' ');  // module name
    o.push_back(0x1A);
    o.resize(58, ' ');  // tracker name
    put16(o, 0x0104);
    put32(o, m.headerSize);
    put16(o, m.storedSongLength >= 0 ? uint32_t(m.storedSongLength) : uint32_t(m.orders.size()));
    put16(o, m.restart);
    put16(o, m.storedChannels >= 0 ? uint32_t(m.storedChannels) : uint32_t(m.channels));
    put16(o, m.storedPatternCount >= 0 ? uint32_t(m.storedPatternCount) : uint32_t(m.patterns.size()));
    put16(o, uint32_t(m.instruments.size()));
    put16(o, m.flags);
    put16(o, m.speed);
    put16(o, m.bpm);
    for (int i = 0; i < 256; ++i) o.push_back(i < int(m.orders.size()) ? m.orders[size_t(i)] : 0);
    o.resize(60 + m.headerSize, 0);
    for (const PatternSpec& p : m.patterns) {
        std::vector<uint8_t> packed;
        for (const Cell& c : p.cells) {
            const uint8_t b[5] = {c.note, c.instrument, c.volume, c.effect, c.param};
            if (p.unpacked) {
                packed.insert(packed.end(), b, b + 5);
                continue;
            }
            uint8_t mask = 0x80;
            for (int k = 0; k < 5; ++k)
                if (b[k]) mask |= uint8_t(1 << k);
            packed.push_back(mask);
            for (int k = 0; k < 5; ++k)
                if (b[k]) packed.push_back(b[k]);
        }
        put32(o, 9);
        o.push_back(0);
        put16(o, uint32_t(p.storedRows >= 0 ? p.storedRows : p.rows));
        put16(o, uint32_t(packed.size()));
        o.insert(o.end(), packed.begin(), packed.end());
    }
    for (const InstrumentSpec& in : m.instruments) {
        const size_t start = o.size();
        const int count = in.storedSampleCount >= 0 ? in.storedSampleCount : int(in.samples.size());
        put32(o, count ? in.headerSize : 29);
        o.resize(o.size() + 22, 'i');
        o.push_back(0);
        put16(o, uint32_t(count));
        if (count) {
            put32(o, 40);
            o.insert(o.end(), in.keymap, in.keymap + 96);
            for (const EnvelopeSpec* e : {&in.volumeEnvelope, &in.panningEnvelope})
                for (int i = 0; i < 12; ++i) {
                    put16(o, i < int(e->points.size()) ? e->points[size_t(i)].first : 0);
                    put16(o, i < int(e->points.size()) ? e->points[size_t(i)].second : 0);
                }
            auto countOf = [](const EnvelopeSpec& e) {
                return uint8_t(e.pointCount >= 0 ? e.pointCount : int(e.points.size()));
            };
            o.push_back(countOf(in.volumeEnvelope));
            o.push_back(countOf(in.panningEnvelope));
            o.push_back(in.volumeEnvelope.sustain);
            o.push_back(in.volumeEnvelope.loopStart);
            o.push_back(in.volumeEnvelope.loopEnd);
            o.push_back(in.panningEnvelope.sustain);
            o.push_back(in.panningEnvelope.loopStart);
            o.push_back(in.panningEnvelope.loopEnd);
            o.push_back(in.volumeEnvelope.type);
            o.push_back(in.panningEnvelope.type);
            o.push_back(in.vibratoType);
            o.push_back(in.vibratoSweep);
            o.push_back(in.vibratoDepth);
            o.push_back(in.vibratoRate);
            put16(o, in.fadeout);
        }
        o.resize(start + (count ? in.headerSize : 29), 0);
        for (const SampleSpec& s : in.samples) {
            put32(o, s.length);
            put32(o, s.loopStart);
            put32(o, s.loopLength);
            o.push_back(s.volume);
            o.push_back(uint8_t(s.finetune));
            o.push_back(s.type);
            o.push_back(s.panning);
            o.push_back(uint8_t(s.relativeNote));
            o.push_back(0);
            o.resize(o.size() + 22, 's');
        }
        for (const SampleSpec& s : in.samples) o.insert(o.end(), s.data.begin(), s.data.end());
    }
    return o;
}

// A one-instrument module: instrument 1 maps every note to its first sample.
inline ModuleSpec simpleModule(int channels, int rows, const SampleSpec& sample) {
    ModuleSpec m;
    m.channels = channels;
    m.patterns.emplace_back(rows, channels);
    InstrumentSpec in;
    in.samples.push_back(sample);
    m.instruments.push_back(in);
    return m;
}

}  // namespace xmw
