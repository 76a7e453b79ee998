#include <gtest/gtest.h>

#include "music_support.h"

using musictest::Loaded;
using musictest::loadBytes;
using musictest::tone;
using xmw::ModuleSpec;
using xmw::SampleSpec;

namespace {

const uint8_t* cellAt(const Song* s, int pattern, int row, int channel) {
    return s->patterns[pattern].cells + (row * s->channels + channel) * cellBytes;
}

TEST(XmLoader, ReadsHeaderAndPadsReferencedPatterns) {
    ModuleSpec m;
    m.channels = 2;
    m.speed = 7;
    m.bpm = 130;
    m.restart = 1;
    m.orders = {0, 20, 3};
    for (int i = 0; i < 18; ++i) m.patterns.emplace_back(16, 2);
    m.patterns[17].at(15, 1).note = 5;
    Loaded s(m);
    ASSERT_NE(s.song, nullptr);
    EXPECT_EQ(s->songLength, 3);
    EXPECT_EQ(s->restartPosition, 1);
    EXPECT_EQ(s->defaultSpeed, 7);
    EXPECT_EQ(s->defaultBpm, 130);
    EXPECT_EQ(s->referencedPatterns, 21);
    EXPECT_EQ(s->patternCount, 21);
    EXPECT_EQ(s->patterns[17].rows, 16);
    EXPECT_EQ(cellAt(s.song, 17, 15, 1)[0], 5);
    for (int p = 18; p <= 20; ++p) {
        EXPECT_EQ(s->patterns[p].rows, 64);
        for (int i = 0; i < 64 * 2 * cellBytes; ++i) ASSERT_EQ(s->patterns[p].cells[i], 0);
    }
    EXPECT_EQ(s->initialGlobalVolume, 64);
    EXPECT_EQ(s->tickHandler, &songTick);
}

TEST(XmLoader, DecodesPackedAndUnpackedCells) {
    ModuleSpec m = xmw::simpleModule(3, 4, tone(16));
    m.patterns[0].at(0, 0) = {0, 0, 0, 0x0F, 0x03};  // packs as 0x98
    m.patterns[0].at(0, 1) = {97, 200, 0x40, 0x0C, 0x20};
    m.patterns[0].at(0, 2) = {120, 1, 0, 0, 0};     // no such key
    m.patterns.emplace_back(2, 3);
    m.patterns[1].unpacked = true;
    m.patterns[1].at(1, 2) = {0, 1, 0x20, 0x0A, 0x0F};
    m.orders = {0, 1};
    Loaded s(m);
    ASSERT_NE(s.song, nullptr);
    const uint8_t* c = cellAt(s.song, 0, 0, 0);
    EXPECT_EQ(c[0] | c[1] | c[2], 0);
    EXPECT_EQ(c[3], 0x0F);
    EXPECT_EQ(c[4], 0x03);
    c = cellAt(s.song, 0, 0, 1);
    EXPECT_EQ(c[0], 255);  // key-off
    EXPECT_EQ(c[1], 0);    // instrument 200 does not exist
    EXPECT_EQ(c[2], 0x40);
    EXPECT_EQ(cellAt(s.song, 0, 0, 2)[0], 0);
    c = cellAt(s.song, 1, 1, 2);
    EXPECT_EQ(c[0], 0);
    EXPECT_EQ(c[1], 1);
    EXPECT_EQ(c[2], 0x20);
    EXPECT_EQ(c[3], 0x0A);
    EXPECT_EQ(c[4], 0x0F);
}

TEST(XmLoader, NormalisesSampleLengthsLoopsAndTypes) {
    ModuleSpec m = xmw::simpleModule(1, 1, SampleSpec::pcm16(std::vector<int16_t>(500, 100)));
    xmw::InstrumentSpec& in = m.instruments[0];
    in.samples[0].loopStart = 200;
    in.samples[0].loopLength = 400;
    in.samples[0].type |= 1;
    SampleSpec zeroLoop = tone(64);
    zeroLoop.type = 1;
    zeroLoop.loopStart = 10;
    zeroLoop.loopLength = 0;
    SampleSpec both = tone(64);
    both.type = 3;
    both.loopStart = 8;
    both.loopLength = 16;
    SampleSpec noLoop = tone(40);
    noLoop.loopStart = 7;
    noLoop.loopLength = 3;
    SampleSpec beyond = tone(50);  // a loop end past the data is cut to the length
    beyond.type = 1;
    beyond.loopStart = 30;
    beyond.loopLength = 100;
    in.samples.insert(in.samples.end(), {zeroLoop, both, noLoop, beyond});
    in.fadeout = 0x0400;
    Loaded s(m);
    ASSERT_NE(s.song, nullptr);
    const Instrument& inst = s->instruments[0];
    ASSERT_EQ(inst.sampleCount, 5);
    const Sample* a = inst.samples[0];
    EXPECT_EQ(a->length, 500u);
    EXPECT_EQ(a->loopStart, 100u);
    EXPECT_EQ(a->loopLength, 200u);
    EXPECT_EQ(a->bits, 16);
    EXPECT_EQ(a->loopType, 2);
    EXPECT_EQ(a->data[0], 100);
    EXPECT_EQ(a->data[499], 100);
    const Sample* b = inst.samples[1];
    EXPECT_EQ(b->loopType, 1);
    EXPECT_EQ(b->loopStart, 0u);
    EXPECT_EQ(b->loopLength, 64u);
    const Sample* c = inst.samples[2];
    EXPECT_EQ(c->loopType, 4);
    EXPECT_EQ(c->data[24], c->data[23]);  // ping-pong guard repeats the last loop frame
    const Sample* d = inst.samples[3];
    EXPECT_EQ(d->loopType, 1);
    EXPECT_EQ(d->loopStart, 0u);
    EXPECT_EQ(d->loopLength, 40u);
    EXPECT_EQ(d->data[40], 0);  // no guard after a one-shot end
    const Sample* e = inst.samples[4];
    EXPECT_EQ(e->loopType, 2);
    EXPECT_EQ(e->loopStart, 30u);
    EXPECT_EQ(e->loopLength, 20u);
    EXPECT_EQ(e->data[50], e->data[30]);  // forward guard repeats the loop start
    EXPECT_EQ(inst.fadeout, 0x0800);
    for (int k = 5; k < 16; ++k) EXPECT_EQ(inst.samples[k], &emptySample);
}

TEST(XmLoader, DeltaDecodesEightAndSixteenBitData) {
    SampleSpec s8;
    s8.data = {0x10, 0xF0, 0x7F, 0x7F};
    s8.length = 4;
    SampleSpec s16;
    s16.type = 16;
    s16.data = {0x00, 0x70, 0x00, 0x20};  // 0x7000, then +0x2000 wraps to -0x7000
    s16.length = 4;
    ModuleSpec m = xmw::simpleModule(1, 1, s8);
    m.instruments[0].samples.push_back(s16);
    Loaded s(m);
    ASSERT_NE(s.song, nullptr);
    const int16_t* d = s->instruments[0].samples[0]->data;
    EXPECT_EQ(d[0], 0x1000);
    EXPECT_EQ(d[1], 0x0000);
    EXPECT_EQ(d[2], 0x7F00);
    EXPECT_EQ(uint16_t(d[3]), 0xFE00);  // 0x7F + 0x7F wraps
    const int16_t* e = s->instruments[0].samples[1]->data;
    EXPECT_EQ(e[0], 0x7000);
    EXPECT_EQ(e[1], int16_t(0x9000));
    EXPECT_EQ(d[-1], 0);  // the zero guard before the data
}

TEST(XmLoader, MendsEnvelopesItCannotStepSafely) {
    ModuleSpec m = xmw::simpleModule(1, 1, tone(32));
    xmw::InstrumentSpec& in = m.instruments[0];
    in.volumeEnvelope.points = {{0, 64}};
    in.volumeEnvelope.type = 1;  // one point: disabled
    in.panningEnvelope.points = {{0, 10}, {20, 300}, {10, 0}};
    in.panningEnvelope.type = 7;
    in.panningEnvelope.sustain = 5;
    in.panningEnvelope.loopStart = 1;
    in.panningEnvelope.loopEnd = 200;
    Loaded s(m);
    ASSERT_NE(s.song, nullptr);
    const Instrument& inst = s->instruments[0];
    EXPECT_EQ(inst.volumeEnvelopeType, 0);
    EXPECT_EQ(inst.panningEnvelopeType, 1);  // sustain and loop point outside the envelope
    EXPECT_EQ(inst.panningEnvelope[1].y, 64);
    EXPECT_EQ(inst.panningEnvelope[2].x, 20);
}

int hookCalls = 0;
int hookBytes[4];
void hook(void* buffer, int byteCount, int bits, int instrument, int sample) {
    hookBytes[hookCalls++] = byteCount * 1000 + bits * 10 + instrument + sample;
    static_cast<uint8_t*>(buffer)[0] = 0x33;
}

TEST(XmLoader, TheSampleHookReplacesReadingAndDecoding) {
    ModuleSpec m = xmw::simpleModule(1, 1, tone(10));
    m.instruments[0].samples.push_back(SampleSpec::pcm16({1, 2, 3}));
    m.instruments.push_back(m.instruments[0]);
    const std::vector<uint8_t> bytes = xmw::write(m);
    setFileCallbacks(embeddedOpen, embeddedClose, embeddedRead, embeddedSeek, embeddedTell);
    setEmbeddedModule(bytes.data(), bytes.size());
    hookCalls = 0;
    Song* song = loadSong("HOOK.XM", hook);
    ASSERT_NE(song, nullptr);
    ASSERT_EQ(hookCalls, 4);
    EXPECT_EQ(hookBytes[0], 10 * 1000 + 80);
    EXPECT_EQ(hookBytes[1], 6 * 1000 + 160 + 1);
    EXPECT_EQ(hookBytes[3], 6 * 1000 + 160 + 2);
    EXPECT_EQ(song->instruments[0].samples[0]->data[0], 0x3300);  // not delta-decoded
    EXPECT_EQ(song->instruments[1].samples[1]->data[0], 0x33);
    freeSong(song);
}

TEST(XmLoader, RejectsModulesItCannotPlay) {
    auto rejects = [](ModuleSpec m) {
        Song* song = loadBytes(xmw::write(m));
        freeSong(song);
        return song == nullptr;
    };
    const ModuleSpec good = xmw::simpleModule(4, 8, tone(32));
    ASSERT_FALSE(rejects(good));

    std::vector<uint8_t> bytes = xmw::write(good);
    bytes[9] = 'x';
    EXPECT_EQ(loadBytes(bytes), nullptr);
    ModuleSpec m = good;
    m.storedChannels = 0;
    EXPECT_TRUE(rejects(m));
    m.storedChannels = 33;
    EXPECT_TRUE(rejects(m));
    m = good;
    m.storedSongLength = 0;
    EXPECT_TRUE(rejects(m));
    m.storedSongLength = 257;
    EXPECT_TRUE(rejects(m));
    m = good;
    m.patterns[0].storedRows = 0;
    EXPECT_TRUE(rejects(m));
    m = good;
    m.patterns[0] = xmw::PatternSpec(257, 4);
    EXPECT_TRUE(rejects(m));
    m = good;
    m.instruments[0].storedSampleCount = 17;
    EXPECT_TRUE(rejects(m));
    // Header sizes that point past the end of the file.
    bytes = xmw::write(good);
    auto poke32 = [&bytes](size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k) bytes[at + size_t(k)] = uint8_t(v >> (8 * k));
    };
    const size_t instrumentAt = 60 + 276 + 9 + (bytes[336 + 7] | (bytes[336 + 8] << 8));
    poke32(instrumentAt, 4000000);
    EXPECT_EQ(loadBytes(bytes), nullptr);
    bytes = xmw::write(good);
    poke32(60, 0xFFFFFF00u);
    EXPECT_EQ(loadBytes(bytes), nullptr);
}

TEST(XmLoader, EveryTruncationLoadsSafelyOrNotAtAll) {
    ModuleSpec m = xmw::simpleModule(2, 4, tone(300));
    m.patterns[0].at(0, 0) = {49, 1, 0, 0, 0};
    m.instruments[0].samples[0].type = 2;
    m.instruments[0].samples[0].loopStart = 100;
    m.instruments[0].samples[0].loopLength = 200;
    const std::vector<uint8_t> full = xmw::write(m);
    int loaded = 0;
    for (size_t n = 0; n < full.size(); n += 7) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + long(n));
        Song* song = loadBytes(cut);
        if (!song) continue;
        ++loaded;
        // Only the sample data may be short: its length and loop shrink to fit.
        const Sample* s = song->instruments[0].samples[0];
        EXPECT_LE(s->length, 300u);
        EXPECT_LE(s->loopStart + s->loopLength, s->length);
        freeSong(song);
    }
    EXPECT_GT(loaded, 0);
}

TEST(XmLoader, ARestartPastTheOrderTableRestartsAtZero) {
    ModuleSpec m = xmw::simpleModule(1, 1, tone(8));
    m.restart = 9;
    Loaded s(m);
    ASSERT_NE(s.song, nullptr);
    EXPECT_EQ(s->restartPosition, 0);
}

}  // namespace
