// The effect table, tick by tick: each case is a one-channel module built in
// code, stepped one tick at a time, with the expected value of one or more
// channel or voice fields after every tick. Expected values are worked out by
// hand from the effect rules (sines as trunc(|sin(pos x 2 x 3.141592 / 64)| x
// 256), vibrato deltas as ((v x depth) >> 7) x 4, tremolo as (depth x v) >> 6),
// never read back from the player.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "music_support.h"

using musictest::Loaded;
using musictest::tone;
using xmw::Cell;
using xmw::ModuleSpec;

namespace {

enum class Probe { period, offset, volume, pan, voice, position, global, voiceVolume, envelope };

int read(Probe p, const Song* s) {
    const Channel& ch = channels[0];
    switch (p) {
        case Probe::period: return ch.period;
        case Probe::offset: return ch.periodOffset;
        case Probe::volume: return ch.volume + ch.volumeOffset;
        case Probe::pan: return ch.voice->panning;
        case Probe::voice: return int(ch.voice - voices);
        case Probe::position: return int(ch.voice->position);
        case Probe::global: return s->globalVolume;
        case Probe::voiceVolume: return ch.voice->volume;
        case Probe::envelope: return ch.volumeEnvelopeOutput;
    }
    return 0;
}

struct Case {
    const char* name;
    int speed;
    std::vector<Cell> rows;  // channel 0, one cell a row
    std::vector<std::pair<Probe, std::vector<int>>> expect;  // one value per tick from row 0, tick 0
    void (*tweak)(ModuleSpec&) = nullptr;
};

ModuleSpec build(const Case& c) {
    xmw::SampleSpec s = tone(4000);
    s.type = 1;
    s.loopLength = 4000;
    ModuleSpec m = xmw::simpleModule(1, int(c.rows.size()) + 1, s);
    m.speed = uint16_t(c.speed);
    for (size_t r = 0; r < c.rows.size(); ++r) m.patterns[0].at(int(r), 0) = c.rows[r];
    if (c.tweak) c.tweak(m);
    return m;
}

void autoVibrato(ModuleSpec& m, uint8_t type) {
    m.instruments[0].vibratoType = type;
    m.instruments[0].vibratoSweep = 2;
    m.instruments[0].vibratoDepth = 8;
    m.instruments[0].vibratoRate = 64;
}

constexpr int C4 = 49, D4 = 51;  // periods 4608 and 4480 on the linear table

const Case cases[] = {
    // Vibrato, speed 8 depth 8: positions 0, 0, 8, 16, 24, -32, -24, -16 (advanced after each tick).
    {"4xy sine", 8, {{C4, 1, 0, 0x04, 0x88}}, {{Probe::offset, {0, 0, -44, -60, -44, 0, 44, 60}}}},
    {"4xy ramp (E41)", 8, {{C4, 1, 0, 0x0E, 0x41}, {0, 0, 0, 0x04, 0x88}},
     {{Probe::offset, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -16, -32, -48, 60, 44, 28}}}},
    {"4xy square (E42)", 8, {{C4, 1, 0, 0x0E, 0x42}, {0, 0, 0, 0x04, 0x88}},
     {{Probe::offset, {0, 0, 0, 0, 0, 0, 0, 0, -60, -60, -60, -60, -60, 60, 60, 60}}}},
    // E44: a new note with an instrument keeps the vibrato position (24 after row 1).
    {"E44 keeps the vibrato position", 4,
     {{C4, 1, 0, 0x0E, 0x44}, {0, 0, 0, 0x04, 0x88}, {C4, 1, 0, 0x04, 0x00}},
     {{Probe::offset, {0, 0, 0, 0, 0, 0, -44, -60, -44, -44, 0, 44}}}},
    {"E40 resets the vibrato position", 4,
     {{C4, 1, 0, 0x0E, 0x40}, {0, 0, 0, 0x04, 0x88}, {C4, 1, 0, 0x04, 0x00}},
     {{Probe::offset, {0, 0, 0, 0, 0, 0, -44, -60, 0, 0, -44, -60}}}},
    // Tremolo, speed 8 depth 8 on volume 32.
    {"7xy sine", 8, {{C4, 1, 0x30, 0x07, 0x88}}, {{Probe::volume, {32, 32, 54, 63, 54, 32, 10, 1}}}},
    {"7xy ramp (E71)", 8, {{C4, 1, 0x30, 0x0E, 0x71}, {0, 0, 0, 0x07, 0x88}},
     {{Probe::volume, {32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 40, 48, 56, 1, 9, 17}}}},
    {"7xy square (E72)", 8, {{C4, 1, 0x30, 0x0E, 0x72}, {0, 0, 0, 0x07, 0x88}},
     {{Probe::volume, {32, 32, 32, 32, 32, 32, 32, 32, 32, 63, 63, 63, 63, 1, 1, 1}}}},
    {"E74 keeps the tremolo position", 4,
     {{C4, 1, 0x30, 0x0E, 0x74}, {0, 0, 0, 0x07, 0x88}, {C4, 1, 0x30, 0x07, 0x00}},
     {{Probe::volume, {32, 32, 32, 32, 32, 32, 54, 63, 32, 54, 32, 10}}}},
    // Tremor T12: two ticks on, three off, counted from the row.
    {"Txy", 8, {{C4, 1, 0, 0x1D, 0x12}}, {{Probe::volume, {64, 64, 0, 0, 0, 64, 64, 0}}}},
    // B-7 has period 1600; 1FF takes 1020 a tick and stops at 56.
    {"1xx floor", 4, {{96, 1, 0, 0x01, 0xFF}}, {{Probe::period, {1600, 580, 56, 56}}}},
    {"2xx and its memory", 3, {{C4, 1, 0, 0x02, 0x10}, {0, 0, 0, 0x02, 0x00}},
     {{Probe::period, {4608, 4672, 4736, 4736, 4800, 4864}}}},
    {"3xx glides without a restart", 4, {{C4, 1, 0, 0, 0}, {D4, 0, 0, 0x03, 0x10}},
     {{Probe::period, {4608, 4608, 4608, 4608, 4608, 4544, 4480, 4480}},
      {Probe::voice, {0, 0, 0, 0, 0, 0, 0, 0}}}},
    {"5xy glides and slides", 3, {{C4, 1, 0, 0, 0}, {D4, 0, 0, 0x03, 0x08}, {0, 0, 0, 0x05, 0x04}},
     {{Probe::period, {4608, 4608, 4608, 4608, 4576, 4544, 4544, 4512, 4480}},
      {Probe::volume, {64, 64, 64, 64, 64, 64, 64, 60, 56}}}},
    {"6xy vibrates and slides", 4, {{C4, 1, 0x30, 0x04, 0x88}, {0, 0, 0, 0x06, 0x20}},
     {{Probe::offset, {0, 0, -44, -60, -44, -44, 0, 44}}, {Probe::volume, {32, 32, 32, 32, 32, 34, 36, 38}}}},
    {"8xx", 2, {{C4, 1, 0, 0x08, 0x40}}, {{Probe::pan, {64, 64}}}},
    {"Pxy clamps at 255 and keeps its memory", 3,
     {{C4, 1, 0, 0x08, 0xF8}, {0, 0, 0, 0x19, 0x40}, {0, 0, 0, 0x19, 0x08}},
     {{Probe::pan, {248, 248, 248, 248, 252, 255, 255, 247, 239}}}},
    // 9xx: 900 uses the last offset; a note without 9xx starts from the beginning.
    {"9xx and its memory", 1, {{C4, 1, 0, 0x09, 0x02}, {C4, 1, 0, 0x09, 0x00}, {C4, 1, 0, 0, 0}},
     {{Probe::position, {512, 512, 0}}}},
    {"Axy and its memory", 3, {{C4, 1, 0x30, 0x0A, 0x20}, {0, 0, 0, 0x0A, 0x00}, {0, 0, 0, 0x0A, 0x03}},
     {{Probe::volume, {32, 34, 36, 36, 38, 40, 40, 37, 34}}}},
    {"E1y E2y and their memories", 2,
     {{C4, 1, 0, 0x0E, 0x12}, {0, 0, 0, 0x0E, 0x10}, {0, 0, 0, 0x0E, 0x23}, {0, 0, 0, 0x0E, 0x20}},
     {{Probe::period, {4600, 4600, 4592, 4592, 4604, 4604, 4616, 4616}}}},
    {"X1y X2y and their memories", 1,
     {{C4, 1, 0, 0x21, 0x13}, {0, 0, 0, 0x21, 0x10}, {0, 0, 0, 0x21, 0x25}, {0, 0, 0, 0x21, 0x20}},
     {{Probe::period, {4605, 4602, 4607, 4612}}}},
    {"EAy EBy share one memory", 1,
     {{C4, 1, 0x30, 0x0E, 0xA4}, {0, 0, 0, 0x0E, 0xA0}, {0, 0, 0, 0x0E, 0xB0}, {0, 0, 0, 0x0E, 0xB2}},
     {{Probe::volume, {36, 40, 36, 34}}}},
    {"ECy", 4, {{C4, 1, 0, 0x0E, 0xC2}}, {{Probe::volume, {64, 64, 0, 0}}}},
    // ED2: the row keeps the old note's period and volume; tick 2 starts the new one.
    {"EDy", 4, {{C4, 1, 0x20, 0, 0}, {D4, 1, 0x30, 0x0E, 0xD2}},
     {{Probe::period, {4608, 4608, 4608, 4608, 4608, 4608, 4480, 4480}},
      {Probe::volume, {16, 16, 16, 16, 16, 16, 32, 32}},
      {Probe::voice, {0, 0, 0, 0, 0, 0, 32, 32}}}},
    // Each retrigger of a sounding voice moves the channel to the partner voice.
    {"E9y", 6, {{C4, 1, 0, 0x0E, 0x92}}, {{Probe::voice, {0, 0, 32, 32, 0, 0}}}},
    {"R13 every third tick", 7, {{C4, 1, 0x30, 0x1B, 0x13}},
     {{Probe::volume, {32, 32, 32, 31, 31, 31, 30}}, {Probe::voice, {0, 0, 0, 32, 32, 32, 0}}}},
    {"Gxx and Hxy", 3, {{C4, 1, 0, 0x10, 0x20}, {0, 0, 0, 0x11, 0x02}, {0, 0, 0, 0x11, 0x00}, {0, 0, 0, 0x11, 0x30}},
     {{Probe::global, {32, 32, 32, 32, 30, 28, 28, 26, 24, 24, 27, 30}}}},
    {"Kxx releases at the row", 2, {{C4, 1, 0, 0, 0}, {0, 0, 0, 0x14, 0x05}},
     {{Probe::voiceVolume, {127, 127, 0, 0}}}},
    // Loop from point 1 to point 2: back to (2, 64) whenever tick 6 comes round.
    {"volume envelope loop", 11, {{C4, 1, 0, 0, 0}},
     {{Probe::envelope, {0, 32, 64, 56, 48, 40, 64, 56, 48, 40, 64}}},
     [](ModuleSpec& m) {
         m.instruments[0].volumeEnvelope.points = {{0, 0}, {2, 64}, {6, 32}, {10, 48}};
         m.instruments[0].volumeEnvelope.type = 5;
         m.instruments[0].volumeEnvelope.loopStart = 1;
         m.instruments[0].volumeEnvelope.loopEnd = 2;
     }},
    // Panning 200: the envelope swings by (e - 32) x ((128 - 72) / 32) = (e - 32) x 1.
    {"panning envelope", 6, {{C4, 1, 0, 0, 0}}, {{Probe::pan, {200, 216, 232, 200, 168, 168}}},
     [](ModuleSpec& m) {
         m.instruments[0].samples[0].panning = 200;
         m.instruments[0].panningEnvelope.points = {{0, 32}, {2, 64}, {4, 0}};
         m.instruments[0].panningEnvelope.type = 1;
     }},
    // The same envelope held at point 1 until the key-off of row 1.
    {"panning envelope sustain", 4, {{C4, 1, 0, 0, 0}, {0, 0, 0, 0x14, 0}},
     {{Probe::pan, {200, 216, 232, 232, 232, 200, 168, 168}}},
     [](ModuleSpec& m) {
         m.instruments[0].samples[0].panning = 200;
         m.instruments[0].panningEnvelope.points = {{0, 32}, {2, 64}, {4, 0}};
         m.instruments[0].panningEnvelope.type = 3;
         m.instruments[0].panningEnvelope.sustain = 1;
     }},
    // Auto-vibrato depth 8, rate 64, sweep 2: positions 0, 64, 128, 192, 0, 64.
    {"auto-vibrato sine", 6, {{C4, 1, 0, 0, 0}}, {{Probe::offset, {0, 3, 0, -8, 0, 7}}},
     [](ModuleSpec& m) { autoVibrato(m, 0); }},
    {"auto-vibrato square", 6, {{C4, 1, 0, 0, 0}}, {{Probe::offset, {0, 4, -8, -8, 8, 8}}},
     [](ModuleSpec& m) { autoVibrato(m, 1); }},
    {"auto-vibrato ramp up", 6, {{C4, 1, 0, 0, 0}}, {{Probe::offset, {0, -2, 8, 4, 0, -4}}},
     [](ModuleSpec& m) { autoVibrato(m, 2); }},
    {"auto-vibrato ramp down", 6, {{C4, 1, 0, 0, 0}}, {{Probe::offset, {0, 2, 8, -4, 0, 4}}},
     [](ModuleSpec& m) { autoVibrato(m, 3); }},
    // A(48) = 1712, A(52) = 1358, A(55) = 1142: on the Amiga table the offsets lower the period.
    {"arpeggio on the Amiga table", 4, {{C4, 1, 0, 0x00, 0x47}}, {{Probe::offset, {0, -354, -570, 0}}},
     [](ModuleSpec& m) { m.flags = 0; }},
    {"Amiga finetune 64", 1, {{C4, 1, 0, 0, 0}}, {{Probe::period, {1664}}},
     [](ModuleSpec& m) {
         m.flags = 0;
         m.instruments[0].samples[0].finetune = 64;
     }},
    {"linear finetune -7", 1, {{C4, 1, 0, 0, 0}}, {{Probe::period, {4611}}},
     [](ModuleSpec& m) { m.instruments[0].samples[0].finetune = -7; }},
    // The volume column.
    {"vol 6y 7y slide on every tick", 3, {{C4, 1, 0, 0, 0}, {0, 0, 0x62, 0, 0}, {0, 0, 0x73, 0, 0}},
     {{Probe::volume, {64, 64, 64, 62, 60, 58, 61, 64, 64}}}},
    {"vol 8y 9y at the row only", 3, {{C4, 1, 0x30, 0, 0}, {0, 0, 0x84, 0, 0}, {0, 0, 0x92, 0, 0}},
     {{Probe::volume, {32, 32, 32, 28, 28, 28, 30, 30, 30}}}},
    {"vol Ay By vibrate on the ticks", 4, {{C4, 1, 0xA8, 0, 0}, {0, 0, 0xB8, 0, 0}},
     {{Probe::offset, {0, 0, 0, 0, 0, 0, -44, -60}}}},
    {"vol Cy Dy Ey pan", 3, {{C4, 1, 0xC4, 0, 0}, {0, 0, 0xD3, 0, 0}, {0, 0, 0xE5, 0, 0}},
     {{Probe::pan, {64, 64, 64, 61, 58, 55, 60, 65, 70}}}},
    // Fy is not a portamento row: the new note's period comes at once, without a restart.
    {"vol Fy", 2, {{C4, 1, 0, 0, 0}, {D4, 0, 0xF1, 0, 0}},
     {{Probe::period, {4608, 4608, 4480, 4480}}, {Probe::voice, {0, 0, 0, 0}}}},
};

TEST(EffectTable, EveryCaseTickByTick) {
    for (const Case& c : cases) {
        size_t ticks = 0;
        for (const auto& e : c.expect) ticks = std::max(ticks, e.second.size());
        Loaded s(build(c));
        ASSERT_NE(s.song, nullptr) << c.name;
        std::vector<std::vector<int>> seen(c.expect.size());
        for (size_t t = 0; t < ticks; ++t) {
            s.ticks(1);
            for (size_t k = 0; k < c.expect.size(); ++k) seen[k].push_back(read(c.expect[k].first, s.song));
        }
        for (size_t k = 0; k < c.expect.size(); ++k)
            EXPECT_EQ(seen[k], c.expect[k].second) << c.name << ", probe " << int(c.expect[k].first);
    }
}

// Rxy's volume table, from volume 40, applied once on tick 1 (interval 1).
TEST(EffectTable, RetriggerVolumeTable) {
    const int want[16] = {40, 39, 38, 36, 32, 24, 26, 20, 40, 41, 42, 44, 48, 56, 60, 64};
    for (int x = 0; x < 16; ++x) {
        Case c{"R", 2, {{C4, 1, 0x38, 0x1B, uint8_t((x << 4) | 1)}}, {}};
        Loaded s(build(c));
        s.ticks(2);
        EXPECT_EQ(channels[0].volume, want[x]) << "x = " << x;
    }
}

}  // namespace
