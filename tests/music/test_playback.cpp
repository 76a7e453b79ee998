#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "music_support.h"

using musictest::Loaded;
using musictest::tone;
using xmw::Cell;
using xmw::ModuleSpec;

namespace {

xmw::SampleSpec loopedTone() {
    xmw::SampleSpec s = tone(4000);
    s.type = 1;
    s.loopStart = 0;
    s.loopLength = 4000;
    return s;
}

ModuleSpec song(int channels, int rows, int patterns = 1) {
    ModuleSpec m = xmw::simpleModule(channels, rows, loopedTone());
    for (int p = 1; p < patterns; ++p) m.patterns.emplace_back(rows, channels);
    m.orders.clear();
    for (int p = 0; p < patterns; ++p) m.orders.push_back(uint8_t(p));
    return m;
}

// The (order, row) of every row started during `ticks` ticks, with the ticks each lasted.
struct Trace {
    std::vector<std::pair<int, int>> rows;
    std::vector<int> ticksPerRow;
};
Trace run(Song* s, int ticks) {
    Trace t;
    for (int i = 0; i < ticks; ++i) {
        const bool rowTick = s->tick == 0;
        songTick(s);
        if (rowTick) {
            t.rows.emplace_back(s->orderPosition, s->row);
            t.ticksPerRow.push_back(0);
        }
        if (!t.ticksPerRow.empty()) ++t.ticksPerRow.back();
    }
    return t;
}

TEST(SongClock, TickLengthsFollowTheTempo) {
    Loaded s(song(1, 4));
    const std::pair<int, int> cases[] = {{125, 882}, {32, 3445}, {35, 3149}, {70, 1574}, {255, 432}, {33, 3340}};
    for (auto [bpm, frames] : cases) {
        setTempo(s.song, bpm);
        EXPECT_EQ(s->framesPerTick, frames) << bpm;
    }
}

TEST(SongClock, SpeedAndPatternDelayStretchRows) {
    ModuleSpec m = song(2, 4);
    m.speed = 7;
    m.patterns[0].at(1, 1) = {0, 0, 0, 0x0E, 0xE2};
    Loaded s(m);
    const Trace t = run(s.song, 7 + 21 + 7);
    ASSERT_EQ(t.rows.size(), 3u);
    EXPECT_EQ(t.ticksPerRow[0], 7);
    EXPECT_EQ(t.ticksPerRow[1], 21);
    EXPECT_EQ(t.ticksPerRow[2], 7);
    EXPECT_EQ(s->framesPerTick * 7, 6174);
}

TEST(SongClock, SpeedAndTempoEffects) {
    ModuleSpec m = song(1, 8);
    m.patterns[0].at(0, 0) = {0, 0, 0, 0x0F, 0x00};
    m.patterns[0].at(3, 0) = {0, 0, 0, 0x0F, 0x1F};
    m.patterns[0].at(4, 0) = {0, 0, 0, 0x0F, 0x20};
    Loaded s(m);
    const Trace t = run(s.song, 3);
    EXPECT_EQ(t.rows.size(), 3u);  // F00: every tick starts a row
    run(s.song, 1);
    EXPECT_EQ(s->speed, 31);
    run(s.song, 31);
    EXPECT_EQ(s->row, 4);
    EXPECT_EQ(s->bpm, 32);
    EXPECT_EQ(s->framesPerTick, 3445);
}

TEST(SongClock, BreaksAndJumps) {
    ModuleSpec m = song(2, 64, 4);
    m.speed = 1;
    m.patterns[0].at(0, 0) = {0, 0, 0, 0x0D, 0x40};   // D40: next pattern, row 40
    m.patterns[1].at(40, 0) = {0, 0, 0, 0x0D, 0x70};  // D70: row 0
    m.patterns[2].at(0, 0) = {0, 0, 0, 0x0D, 0x10};
    m.patterns[2].at(0, 1) = {0, 0, 0, 0x0B, 0x01};   // a later B wins: order 1, row 0
    Loaded s(m);
    const Trace t = run(s.song, 4);
    const std::vector<std::pair<int, int>> want = {{0, 0}, {1, 40}, {2, 0}, {1, 0}};
    EXPECT_EQ(t.rows, want);
}

TEST(SongClock, BreaksPastTheRowCountStartThePatternFromTheTop) {
    ModuleSpec m = song(1, 64, 2);
    m.patterns[1] = xmw::PatternSpec(16, 1);
    m.speed = 1;
    m.patterns[0].at(0, 0) = {0, 0, 0, 0x0D, 0x40};
    Loaded s(m);
    const Trace t = run(s.song, 3);
    const std::vector<std::pair<int, int>> want = {{0, 0}, {1, 0}, {1, 1}};
    EXPECT_EQ(t.rows, want);
}

TEST(SongClock, PatternLoopRepeatsRowsAndTheEndWrapsToRestart) {
    ModuleSpec m = song(1, 6, 2);
    m.speed = 2;
    m.restart = 1;
    m.patterns[0].at(0, 0) = {0, 0, 0, 0x0E, 0x60};
    m.patterns[0].at(3, 0) = {0, 0, 0, 0x0E, 0x62};
    Loaded s(m);
    const Trace t = run(s.song, 2 * (12 + 2 + 6 + 1));
    std::vector<std::pair<int, int>> want;
    for (int k = 0; k < 3; ++k)
        for (int r = 0; r < 4; ++r) want.emplace_back(0, r);
    want.emplace_back(0, 4);
    want.emplace_back(0, 5);
    for (int r = 0; r < 6; ++r) want.emplace_back(1, r);
    want.emplace_back(1, 0);  // restart position 1
    EXPECT_EQ(t.rows, want);
}

TEST(Notes, AFullVolumeNoteSetsTheVoice) {
    ModuleSpec m = song(1, 4);
    m.patterns[0].at(0, 0) = {49, 1, 0, 0, 0};  // C-4: real note 48
    Loaded s(m);
    run(s.song, 1);
    const Channel& ch = channels[0];
    EXPECT_EQ(ch.period, 4608);
    const Voice& v = voices[0];
    EXPECT_NE(v.sample, nullptr);
    EXPECT_EQ(v.volume, 127);
    EXPECT_EQ(v.panning, 128);
    EXPECT_EQ(v.leftTargetGain, 127 * 128 / 255);
    EXPECT_EQ(v.rightTargetGain, 127 * 127 / 255);
    EXPECT_EQ(periodFrequency(s.song, 4608, 0), 8363);
    const uint64_t step = (uint64_t(v.step) << 32) | v.stepFraction;
    EXPECT_EQ(step, (uint64_t(8363) << 32) / 44100);
}

TEST(Notes, ANewNoteMovesToThePartnerVoiceAndBothRamp) {
    ModuleSpec m = song(1, 4);
    m.speed = 1;
    m.patterns[0].at(0, 0) = {49, 1, 0, 0, 0};
    m.patterns[0].at(1, 0) = {61, 1, 0, 0, 0};
    Loaded s(m);
    std::vector<float> buf(2 * 256);
    run(s.song, 1);
    mixVoices(buf.data(), 256);  // the first note is now at full gain
    run(s.song, 1);
    EXPECT_EQ(channels[0].voice, &voices[32]);
    EXPECT_EQ(voices[32].index, 32);
    EXPECT_EQ(voices[0].leftTargetGain, 0);
    EXPECT_EQ(voices[0].rightTargetGain, 0);
    EXPECT_EQ(voices[32].leftGain, 0);
    EXPECT_EQ(voices[32].position, 0u);
    mixVoice(&voices[0], buf.data(), 64);
    mixVoice(&voices[32], buf.data(), 64);
    EXPECT_EQ(voices[0].rampFrames, 64);
    EXPECT_EQ(voices[32].rampFrames, 64);
    EXPECT_NEAR(voices[0].leftGain / 256.0, 63 / 2.0, 1.0);
    EXPECT_NEAR(voices[32].leftGain / 256.0, 63 / 2.0, 1.0);
    mixVoice(&voices[0], buf.data(), 64);
    EXPECT_EQ(voices[0].leftGain, 0);
    EXPECT_NE(voices[0].sample, nullptr);  // a looping voice plays on silently
}

TEST(Notes, TonePortamentoGlidesWithoutRestarting) {
    ModuleSpec m = song(1, 4);
    m.speed = 4;
    m.patterns[0].at(0, 0) = {49, 1, 0, 0x0C, 0x20};
    m.patterns[0].at(1, 0) = {50, 0, 0, 0x03, 0x08};
    m.patterns[0].at(2, 0) = {61, 1, 0, 0x03, 0x00};
    Loaded s(m);
    run(s.song, 4);
    std::vector<float> buf(2 * 300);
    mixVoices(buf.data(), 300);
    const uint32_t before = voices[0].position;
    ASSERT_GT(before, 0u);
    run(s.song, 1);
    EXPECT_EQ(channels[0].voice, &voices[0]);
    EXPECT_EQ(channels[0].note, 48);  // the glide keeps the note
    EXPECT_EQ(channels[0].period, 4608);
    EXPECT_EQ(channels[0].tonePortamentoTarget, 4608 - 64);
    EXPECT_EQ(voices[0].position, before);
    run(s.song, 1);
    EXPECT_EQ(channels[0].period, 4608 - 32);
    run(s.song, 2);
    EXPECT_EQ(channels[0].period, 4608 - 64);  // not beyond the target
    EXPECT_EQ(channels[0].volume, 0x20);
    run(s.song, 1);  // with an instrument: volume and envelopes reset, still a glide
    EXPECT_EQ(channels[0].volume, 64);
    EXPECT_EQ(channels[0].fadeoutVolume, 65536);
    EXPECT_EQ(channels[0].voice, &voices[0]);
    EXPECT_EQ(channels[0].period, 4608 - 64);
}

TEST(Notes, KeyOffWithoutEnvelopeCutsAtOnce) {
    ModuleSpec m = song(1, 4);
    m.speed = 3;
    m.patterns[0].at(0, 0) = {49, 1, 0, 0, 0};
    m.patterns[0].at(1, 0) = {97, 0, 0, 0, 0};
    m.instruments[0].fadeout = 0x100;
    Loaded s(m);
    run(s.song, 4);
    EXPECT_EQ(channels[0].keyOff, 1);
    EXPECT_EQ(voices[0].volume, 0);
    EXPECT_EQ(channels[0].fadeoutVolume, 65536 - 0x200);
}

TEST(Notes, KeyOffLeavesTheSustainPointAndFades) {
    ModuleSpec m = song(1, 4);
    m.speed = 4;
    m.patterns[0].at(0, 0) = {49, 1, 0, 0, 0};
    m.patterns[0].at(2, 0) = {0, 0, 0, 0x14, 0};  // K00
    xmw::EnvelopeSpec& e = m.instruments[0].volumeEnvelope;
    e.points = {{0, 64}, {2, 32}, {6, 0}};
    e.type = 3;
    e.sustain = 1;
    m.instruments[0].fadeout = 0x800;
    Loaded s(m);
    run(s.song, 1);
    EXPECT_EQ(channels[0].volumeEnvelopeOutput, 64);
    run(s.song, 1);
    EXPECT_EQ(channels[0].volumeEnvelopeOutput, 48);
    run(s.song, 6);  // held at the sustain point
    EXPECT_EQ(channels[0].volumeEnvelopeOutput, 32);
    EXPECT_EQ(channels[0].fadeoutVolume, 65536);
    run(s.song, 1);  // row 2: released
    EXPECT_EQ(channels[0].volumeEnvelopeOutput, 32);
    EXPECT_EQ(channels[0].fadeoutVolume, 65536 - 0x1000);
    run(s.song, 1);
    EXPECT_EQ(channels[0].volumeEnvelopeOutput, 24);
    run(s.song, 3);
    EXPECT_EQ(channels[0].volumeEnvelopeOutput, 0);
    EXPECT_EQ(channels[0].volumeEnvelopeDone, 1);
    EXPECT_EQ(channels[0].fadeoutVolume, 65536 - 5 * 0x1000);
}

TEST(Notes, EnvelopePositionEffect) {
    ModuleSpec m = song(1, 4);
    m.patterns[0].at(0, 0) = {49, 1, 0, 0x15, 4};
    m.patterns[0].at(1, 0) = {0, 0, 0, 0x15, 9};
    xmw::EnvelopeSpec& e = m.instruments[0].volumeEnvelope;
    e.points = {{0, 64}, {2, 32}, {6, 0}};
    e.type = 1;
    Loaded s(m);
    run(s.song, 1);
    EXPECT_EQ(channels[0].volumeEnvelopeOutput, 16);
    EXPECT_EQ(channels[0].volumeEnvelopeTick, 4);
    EXPECT_EQ(channels[0].volumeEnvelopePoint, 2);
    run(s.song, 6);
    EXPECT_EQ(channels[0].volumeEnvelopeOutput, 0);
    EXPECT_EQ(channels[0].volumeEnvelopeDone, 1);
}

TEST(Effects, TremoloSwingsAndLeavesItsLastOffset) {
    ModuleSpec m = song(1, 4);
    m.speed = 17;
    m.patterns[0].at(0, 0) = {49, 1, 0x30, 0x07, 0x48};  // volume 32, speed 4, depth 8
    m.patterns[0].at(1, 0) = {0, 0, 0, 0x0A, 0x00};
    Loaded s(m);
    run(s.song, 1);
    int low = 0, high = 0;
    for (int i = 0; i < 16; ++i) {
        run(s.song, 1);
        low = std::min(low, channels[0].volumeOffset);
        high = std::max(high, channels[0].volumeOffset);
    }
    EXPECT_LE(low, -28);
    EXPECT_GE(high, 28);
    const int last = channels[0].volumeOffset;
    run(s.song, 1);
    EXPECT_EQ(channels[0].volume, 32 + last);
}

TEST(Effects, VolumeSlidesArpeggioAndNoteCut) {
    ModuleSpec m = song(1, 4);
    m.speed = 4;
    m.patterns[0].at(0, 0) = {49, 1, 0, 0x0A, 0x0F};
    m.patterns[0].at(1, 0) = {0, 0, 0, 0x00, 0x47};
    m.patterns[0].at(2, 0) = {0, 0, 0x50, 0x0E, 0xC2};
    Loaded s(m);
    run(s.song, 4);
    EXPECT_EQ(channels[0].volume, 64 - 45);
    const int offsets[] = {0, 4 * 64, 7 * 64, 0};
    for (int k = 0; k < 4; ++k) {
        run(s.song, 1);
        EXPECT_EQ(channels[0].periodOffset, offsets[k]) << k;
    }
    run(s.song, 2);
    EXPECT_EQ(channels[0].volume, 64);
    run(s.song, 1);
    EXPECT_EQ(channels[0].volume, 0);
}

TEST(Effects, SampleOffsetStartsLaterOrRewinds) {
    ModuleSpec m = song(1, 4);
    m.patterns[0].at(0, 0) = {49, 1, 0, 0x09, 0x02};
    m.patterns[0].at(1, 0) = {49, 1, 0, 0x09, 0x20};  // 0x2000 is past the 4000-frame loop
    Loaded s(m);
    run(s.song, 1);
    EXPECT_EQ(voices[0].position, 512u);
    EXPECT_EQ(voices[0].startOffset, 0);
    run(s.song, 6);
    EXPECT_EQ(channels[0].voice, &voices[0]);  // no trigger: the voice is rewound instead
    EXPECT_EQ(voices[0].position, 0u);
}

TEST(Periods, AmigaFinetuneAndFrequencies) {
    ModuleSpec m = song(1, 4);
    m.flags = 0;
    m.patterns[0].at(0, 0) = {49, 1, 0, 0, 0};
    Loaded s(m);
    EXPECT_EQ(amigaPeriod(48, 0), 1712);
    EXPECT_EQ(periodFrequency(s.song, 1712, 0), 8362);
    for (int n : {20, 48, 70}) {
        EXPECT_EQ(amigaPeriod(n, -128), amigaPeriod(n - 1, 0));
        EXPECT_EQ(amigaPeriod(n, 64), amigaPeriod(n, 0) + (amigaPeriod(n + 1, 0) - amigaPeriod(n, 0)) / 2);
    }
    EXPECT_EQ(amigaPeriod(0, -50), amigaPeriod(0, 0) + ((amigaPeriod(1, 0) - amigaPeriod(0, 0)) * -50) / 128);
    run(s.song, 1);
    EXPECT_EQ(channels[0].period, 1712);
    // Periods that slides push out of range still give a bounded step.
    EXPECT_LT(periodFrequency(s.song, 1, 0), 44100 * 256);
    EXPECT_EQ(periodFrequency(s.song, 0, 0) > 0, true);
    s->flags = 1;
    EXPECT_LT(periodFrequency(s.song, -(1 << 24), 0), 44100 * 256);
}

}  // namespace
