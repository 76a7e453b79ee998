#include "xm_writer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace musicgen {

namespace {

// On-disk sizes of the XM 1.04 records.
constexpr uint32_t kSongHeaderSize = 276;        // counted from offset 60
constexpr uint32_t kPatternHeaderSize = 9;
constexpr uint32_t kInstrumentHeaderSize = 263;  // with samples
constexpr uint32_t kSampleHeaderSize = 40;

struct Out {
    std::vector<uint8_t> bytes;
    void u8(uint32_t v) { bytes.push_back(static_cast<uint8_t>(v)); }
    void u16(uint32_t v) {
        u8(v & 0xFF);
        u8((v >> 8) & 0xFF);
    }
    void u32(uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    // Fixed-width text field, zero padded, cut if too long.
    void text(const std::string& s, size_t width) {
        for (size_t i = 0; i < width; ++i) u8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
    }
    void zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
    void patch16(size_t at, uint32_t v) {
        bytes[at] = static_cast<uint8_t>(v & 0xFF);
        bytes[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
    }
};

void writeEnvelopePoints(Out& out, const Envelope& env) {
    if (env.points.size() > 12) throw std::runtime_error("envelope with more than 12 points");
    for (size_t i = 0; i < 12; ++i) {
        out.u16(i < env.points.size() ? env.points[i].x : 0);
        out.u16(i < env.points.size() ? env.points[i].y : 0);
    }
}

uint8_t envelopeType(const Envelope& env) {
    if (env.points.size() < 2) return 0;
    uint8_t t = 1;
    if (env.sustain >= 0) t |= 2;
    if (env.loopStart >= 0 && env.loopEnd >= 0) t |= 4;
    return t;
}

uint8_t pointOrZero(int p) { return static_cast<uint8_t>(p < 0 ? 0 : p); }

void writeInstrument(Out& out, const InstrumentData& ins) {
    if (ins.samples.empty() || ins.samples.size() > 16) throw std::runtime_error("instrument sample count");
    out.u32(kInstrumentHeaderSize);
    out.text(ins.name, 22);
    out.u8(0);  // type, always 0
    out.u16(static_cast<uint32_t>(ins.samples.size()));
    out.u32(kSampleHeaderSize);
    for (uint8_t slot : ins.keymap) out.u8(slot);
    writeEnvelopePoints(out, ins.volumeEnvelope);
    writeEnvelopePoints(out, ins.panningEnvelope);
    out.u8(static_cast<uint32_t>(ins.volumeEnvelope.points.size()));
    out.u8(static_cast<uint32_t>(ins.panningEnvelope.points.size()));
    out.u8(pointOrZero(ins.volumeEnvelope.sustain));
    out.u8(pointOrZero(ins.volumeEnvelope.loopStart));
    out.u8(pointOrZero(ins.volumeEnvelope.loopEnd));
    out.u8(pointOrZero(ins.panningEnvelope.sustain));
    out.u8(pointOrZero(ins.panningEnvelope.loopStart));
    out.u8(pointOrZero(ins.panningEnvelope.loopEnd));
    out.u8(envelopeType(ins.volumeEnvelope));
    out.u8(envelopeType(ins.panningEnvelope));
    out.u8(ins.vibratoType);
    out.u8(ins.vibratoSweep);
    out.u8(ins.vibratoDepth);
    out.u8(ins.vibratoRate);
    out.u16(ins.fadeout);
    out.zeros(22);  // reserved

    for (const SampleData& s : ins.samples) {
        const uint32_t bytesPerFrame = s.eightBit ? 1 : 2;
        out.u32(static_cast<uint32_t>(s.frames.size()) * bytesPerFrame);
        out.u32(s.loop == LoopType::none ? 0 : s.loopStart * bytesPerFrame);
        out.u32(s.loop == LoopType::none ? 0 : s.loopLength * bytesPerFrame);
        out.u8(s.volume);
        out.u8(static_cast<uint8_t>(s.finetune));
        out.u8(static_cast<uint32_t>(s.loop) | (s.eightBit ? 0u : 0x10u));
        out.u8(s.panning);
        out.u8(static_cast<uint8_t>(s.relativeNote));
        out.u8(0);  // reserved: plain delta coding
        out.text(s.name, 22);
    }
    for (const SampleData& s : ins.samples) {
        // Delta coding: each stored value is the difference to the previous
        // frame, wrapping in the stored width.
        if (s.eightBit) {
            int8_t previous = 0;
            for (int16_t v : s.frames) {
                const int8_t value = static_cast<int8_t>(v >> 8);
                out.u8(static_cast<uint8_t>(value - previous));
                previous = value;
            }
        } else {
            uint16_t previous = 0;
            for (int16_t v : s.frames) {
                const uint16_t value = static_cast<uint16_t>(v);
                out.u16(static_cast<uint16_t>(value - previous));
                previous = value;
            }
        }
    }
}

}  // namespace

std::vector<uint8_t> packPattern(const Pattern& pattern) {
    std::vector<uint8_t> data;
    for (const Cell& c : pattern.cells) {
        const uint8_t fields[5] = {c.note, c.instrument, c.volume, c.effect, c.param};
        uint8_t mask = 0;
        for (int i = 0; i < 5; ++i)
            if (fields[i]) mask |= static_cast<uint8_t>(1u << i);
        if (mask == 0x1F) {
            // All five present: the unpacked form is one byte shorter.
            data.insert(data.end(), fields, fields + 5);
            continue;
        }
        data.push_back(static_cast<uint8_t>(0x80 | mask));
        for (int i = 0; i < 5; ++i)
            if (fields[i]) data.push_back(fields[i]);
    }
    return data;
}

std::vector<uint8_t> writeXm(const Module& m) {
    if (m.orders.empty() || m.orders.size() > 256) throw std::runtime_error("order count");
    if (m.patterns.size() > 256 || m.instruments.size() > 128) throw std::runtime_error("pattern or instrument count");
    Out out;
    out.text("Extended Module: ", 17);
    out.text(m.name, 20);
    out.u8(0x1A);
    out.text(m.tracker, 20);
    out.u16(0x0104);
    out.u32(kSongHeaderSize);
    out.u16(static_cast<uint32_t>(m.orders.size()));
    out.u16(static_cast<uint32_t>(m.restart));
    out.u16(static_cast<uint32_t>(m.channels));
    out.u16(static_cast<uint32_t>(m.patterns.size()));
    out.u16(static_cast<uint32_t>(m.instruments.size()));
    out.u16(m.linear ? 1 : 0);
    out.u16(static_cast<uint32_t>(m.speed));
    out.u16(static_cast<uint32_t>(m.bpm));
    for (size_t i = 0; i < 256; ++i) out.u8(i < m.orders.size() ? m.orders[i] : 0);

    for (const Pattern& p : m.patterns) {
        if (p.channels != m.channels || p.rows < 1 || p.rows > 256) throw std::runtime_error("pattern shape");
        const std::vector<uint8_t> packed = packPattern(p);
        if (packed.size() > 0xFFFF) throw std::runtime_error("pattern too large");
        out.u32(kPatternHeaderSize);
        out.u8(0);  // packing type
        out.u16(static_cast<uint32_t>(p.rows));
        out.u16(static_cast<uint32_t>(packed.size()));
        out.bytes.insert(out.bytes.end(), packed.begin(), packed.end());
    }
    for (const InstrumentData& ins : m.instruments) writeInstrument(out, ins);
    return out.bytes;
}

}  // namespace musicgen
