#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "music_support.h"

using musictest::Loaded;
using musictest::tone;

namespace {

TEST(Conversion, RoundsToNearestAndReplacesOverflows) {
    EXPECT_EQ(convertSample(32767.4f), 32767);
    EXPECT_EQ(convertSample(32768.0f), 32727);
    EXPECT_EQ(convertSample(32767.5f), 32727);  // ties to even: 32768
    EXPECT_EQ(convertSample(-32769.0f), -32728);
    EXPECT_EQ(convertSample(-32768.4f), -32768);
    EXPECT_EQ(convertSample(2.5f), 2);
    EXPECT_EQ(convertSample(-3.5f), -4);
    EXPECT_EQ(convertSample(1e30f), 32727);
    EXPECT_EQ(convertSample(-1e30f), -32728);
    const float mix[4] = {0.49f, -0.51f, 100.5f, 101.5f};
    int16_t out[4];
    convertBlock(mix, out, 4);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], -1);
    EXPECT_EQ(out[2], 100);
    EXPECT_EQ(out[3], 102);
}

struct RowLog {
    std::vector<int> rows, ms;
};
void logRow(const Song* s, void* user) {
    static_cast<RowLog*>(user)->rows.push_back(s->row);
    static_cast<RowLog*>(user)->ms.push_back(s->elapsedMs);
}

TEST(BlockLoop, TicksSpanTheirFramesAcrossBlocks) {
    xmw::ModuleSpec m = xmw::simpleModule(1, 64, tone(64));
    m.speed = 1;
    Loaded s(m);
    std::vector<float> mix(2 * framesPerBlock);
    std::vector<int16_t> out(2 * framesPerBlock);
    RowLog log;
    int previous = 0;
    for (int b = 1; b <= 8; ++b) {
        renderBlock(s.song, mix.data(), out.data(), logRow, &log);
        // Every tick is one row here: the rows started so far are ceil(frames / 882).
        EXPECT_EQ(int(log.rows.size()), (b * framesPerBlock + 881) / 882);
        const int grown = s->elapsedMs - previous;
        EXPECT_GE(grown, 43);
        EXPECT_LE(grown, 45);
        previous = s->elapsedMs;
        EXPECT_EQ(positionSnapshot.elapsedMs.load(), s->elapsedMs);
        EXPECT_EQ(positionSnapshot.row.load(), uint8_t(s->row));
        EXPECT_EQ(s->framesLeftInTick, (882 - (b * framesPerBlock) % 882) % 882);
    }
    EXPECT_EQ(log.ms[1], 19);  // a full tick at 125 BPM adds 19 ms
    EXPECT_EQ(log.rows[3], 3);
}

TEST(BlockLoop, RendersASongAudiblyAndDeterministically) {
    xmw::SampleSpec looped = tone(3000, 100);
    looped.type = 1;
    looped.loopLength = 3000;
    xmw::ModuleSpec m = xmw::simpleModule(2, 8, looped);
    m.patterns[0].at(0, 0) = {49, 1, 0, 0, 0};
    m.patterns[0].at(4, 1) = {56, 1, 0x20, 0x08, 0x00};  // panned fully right
    auto render = [&](std::vector<int16_t>& all) {
        Loaded s(m);
        std::vector<float> mix(2 * framesPerBlock);
        std::vector<int16_t> out(2 * framesPerBlock);
        for (int b = 0; b < 16; ++b) {  // row 4 starts after 24 ticks of 882 frames
            renderBlock(s.song, mix.data(), out.data());
            all.insert(all.end(), out.begin(), out.end());
        }
    };
    std::vector<int16_t> a, b;
    render(a);
    render(b);
    EXPECT_EQ(a, b);
    int peakLeft = 0, peakRight = 0;
    for (size_t i = 0; i < a.size(); i += 2) {
        peakLeft = std::max(peakLeft, std::abs(int(a[i])));
        peakRight = std::max(peakRight, std::abs(int(a[i + 1])));
    }
    // 100 x 256 at a gain of about a quarter on each side, plus the second note on the right.
    EXPECT_GT(peakLeft, 5000);
    EXPECT_LT(peakLeft, 8000);
    EXPECT_GT(peakRight, peakLeft);
    EXPECT_EQ(a[0], 0);  // notes fade in from silence
}

// Random cells with every effect number: playing them must keep the song
// clock inside the module and never read outside it (checked by the sanitizers).
TEST(BlockLoop, RandomPatternsPlaySafely) {
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int round = 0; round < 12; ++round) {
        xmw::SampleSpec sample = tone(200 + int(next() % 500));
        sample.type = uint8_t(next() % 4);
        sample.loopStart = next() % 300;
        sample.loopLength = next() % 300;
        sample.relativeNote = int8_t(next() % 60 - 30);
        xmw::ModuleSpec m = xmw::simpleModule(4, 1 + int(next() % 40), sample);
        m.flags = uint16_t(next() % 2);
        m.patterns.emplace_back(1 + int(next() % 40), 4);
        m.orders = {0, 1, 0, 2};
        xmw::EnvelopeSpec& e = m.instruments[0].volumeEnvelope;
        e.points = {{0, 64}, {3, 10}, {9, 40}, {12, 0}};
        e.type = uint8_t(next() % 8);
        e.sustain = uint8_t(next() % 4);
        e.loopStart = uint8_t(next() % 4);
        e.loopEnd = uint8_t(next() % 4);
        m.instruments[0].panningEnvelope = e;
        m.instruments[0].vibratoType = uint8_t(next() % 5);
        m.instruments[0].vibratoDepth = uint8_t(next() % 16);
        m.instruments[0].vibratoSweep = uint8_t(next() % 8);
        m.instruments[0].vibratoRate = uint8_t(next() % 64);
        m.instruments[0].fadeout = uint16_t(next() % 0x1000);
        for (xmw::PatternSpec& p : m.patterns)
            for (xmw::Cell& c : p.cells) {
                if (next() % 3 == 0) continue;
                c.note = uint8_t(next() % 98);
                c.instrument = uint8_t(next() % 3);
                c.volume = uint8_t(next() % 256);
                c.effect = uint8_t(next() % 36);
                c.param = uint8_t(next() % 256);
            }
        Loaded s(m);
        ASSERT_NE(s.song, nullptr);
        std::vector<float> mix(2 * framesPerBlock);
        std::vector<int16_t> out(2 * framesPerBlock);
        for (int b = 0; b < 40; ++b) {
            renderBlock(s.song, mix.data(), out.data());
            ASSERT_LT(s->orderPosition, s->songLength);
            ASSERT_LT(s->row, s->patterns[s->orderTable[s->orderPosition]].rows);
            ASSERT_GE(s->framesPerTick, 1);
            for (const Voice& v : voices) {
                if (v.sample) {
                    ASSERT_LE(v.position, v.sample->length);
                }
            }
        }
    }
}

TEST(Player, RewindAndReleaseForgetTheVoices) {
    xmw::ModuleSpec m = xmw::simpleModule(1, 4, tone(3000));
    m.patterns[0].at(0, 0) = {49, 1, 0, 0, 0};
    Loaded s(m);
    songTick(s.song);
    EXPECT_NE(voices[0].sample, nullptr);
    EXPECT_EQ(rewindSong(s.song), 1);
    EXPECT_EQ(voices[0].sample, nullptr);
    EXPECT_EQ(s->row, 0);
    EXPECT_EQ(s->nextRow, -1);
    EXPECT_EQ(s->framesPerTick, 882);
    EXPECT_EQ(rewindSong(nullptr), 0);
    EXPECT_EQ(setOutputRate(100), 0);  // no ramp at such a rate
    EXPECT_EQ(outputFormat.rate, 44100u);
    EXPECT_EQ(setOutputRate(22050), 1);
    EXPECT_EQ(outputFormat.rampLength, 64u);
    setOutputRate(44100);
}

}  // namespace
