#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "music/mixer.h"
#include "music/player.h"
#include "music/xm_loader.h"

namespace {

// A sample with zero guards on both sides, like the loader makes them.
struct TestSample {
    std::vector<int16_t> storage;
    Sample s{};
    TestSample(std::vector<int16_t> frames, int loopType, uint32_t loopStart, uint32_t loopLength) {
        storage.assign(frames.size() + 2 * sampleGuardFrames, 0);
        std::copy(frames.begin(), frames.end(), storage.begin() + sampleGuardFrames);
        s.data = storage.data() + sampleGuardFrames;
        s.length = uint32_t(frames.size());
        s.loopType = uint8_t(loopType);
        s.loopStart = loopType == 1 ? 0 : loopStart;
        s.loopLength = loopType == 1 ? s.length : loopLength;
        s.bits = 16;
        const uint32_t end = s.loopStart + s.loopLength;
        if (loopType == 2) s.data[end] = s.data[s.loopStart];
        if (loopType == 4) s.data[end] = s.data[end - 1];
    }
};

Voice* startVoice(const Sample* sample, uint32_t step, uint32_t fraction, int gain) {
    setOutputRate(44100);
    Voice* v = &voices[0];
    v->sample = sample;
    v->step = step;
    v->stepFraction = fraction;
    v->leftTargetGain = gain;
    v->rightTargetGain = gain;
    v->leftGain = gain * 256;  // no ramp
    v->rightGain = gain * 256;
    return v;
}


TEST(Mixer, AOneShotSampleSoundsForItsLengthThenStops) {
    TestSample t(std::vector<int16_t>(100, 1000), 1, 0, 0);
    Voice* v = startVoice(&t.s, 1, 0, 255);
    std::vector<float> out(2 * 300, 0.0f);
    mixVoice(v, out.data(), 300);
    for (int i = 0; i < 100; ++i) ASSERT_FLOAT_EQ(out[2 * i], 1000.0f) << i;
    for (int i = 100; i < 300; ++i) ASSERT_EQ(out[2 * i], 0.0f) << i;
    EXPECT_EQ(v->sample, nullptr);
    EXPECT_EQ(v->position, 0u);

    // At a step of 0.75 the last frames lean toward the zero after the end.
    v = startVoice(&t.s, 0, 0xC0000000u, 255);
    std::fill(out.begin(), out.end(), 0.0f);
    mixVoice(v, out.data(), 300);
    const int frames = (100 * 4 + 2) / 3;  // ceil(100 / 0.75)
    EXPECT_FLOAT_EQ(out[0], 1000.0f);
    EXPECT_LT(out[2 * (frames - 1)], 999.0f);
    EXPECT_GT(out[2 * (frames - 1)], 0.0f);
    EXPECT_EQ(out[2 * frames], 0.0f);
    EXPECT_EQ(v->sample, nullptr);
}

TEST(Mixer, AForwardLoopWrapsByItsLength) {
    std::vector<int16_t> f(40);
    for (int i = 0; i < 40; ++i) f[size_t(i)] = int16_t(i * 100);
    TestSample t(f, 2, 10, 20);
    Voice* v = startVoice(&t.s, 1, 0x80000000u, 255);
    v->position = 29;
    v->positionFraction = 0x80000000u;
    std::vector<float> out(2 * 2, 0.0f);
    mixVoice(v, out.data(), 1);
    EXPECT_EQ(v->position, 11u);
    EXPECT_EQ(v->positionFraction, 0u);
    // Half-way between 29 and the guard, which repeats frame 10.
    EXPECT_NEAR(out[0], 2900 + 0.5f * (1000 - 2900), 0.5);  // K is a hair below 2^-31
    EXPECT_EQ(v->sample, &t.s);
}

TEST(Mixer, APingPongLoopTurnsJustBeforeItsEnd) {
    std::vector<int16_t> f(40);
    for (int i = 0; i < 40; ++i) f[size_t(i)] = int16_t(i * 100);
    TestSample t(f, 4, 10, 20);
    Voice* v = startVoice(&t.s, 1, 0, 255);
    v->position = 29;
    mixVoice(v, std::vector<float>(4).data(), 1);  // reaches 30.0
    EXPECT_EQ(v->direction, 2);
    EXPECT_EQ(v->position, 29u);
    EXPECT_EQ(v->positionFraction, 0xFFFFFFFFu);
    std::vector<float> out(2 * 39, 0.0f);
    mixVoice(v, out.data(), 39);
    EXPECT_NEAR(out[0], 2900.0f, 0.5);  // frame 29 toward the guard (2900) with weight ~1
    EXPECT_NEAR(out[2], 2900.0f, 0.5);  // 28.99..: frame 28 leaning on 29
    EXPECT_NEAR(out[4], 2800.0f, 0.5);
    // 20 frames down, a turn at 10 and up again, never outside the loop.
    for (int i = 0; i < 39; ++i) {
        EXPECT_GE(out[2 * i], 900.0f) << i;
        EXPECT_LE(out[2 * i], 2901.0f) << i;
    }
    EXPECT_EQ(v->direction, 1);
}

TEST(Mixer, APingPongLoopFromFrameZeroStaysInsideTheData) {
    TestSample t(std::vector<int16_t>(16, 500), 4, 0, 16);
    Voice* v = startVoice(&t.s, 1, 0x13579BDFu, 200);  // an odd fraction exercises the low-bit clearing
    std::vector<float> out(2 * 4096, 0.0f);
    for (int k = 0; k < 4; ++k) mixVoice(v, out.data() + 2 * 1024 * k, 1024);
    for (int i = 0; i < 4096; ++i) ASSERT_LE(std::fabs(out[2 * i]), 500.0f * 200 / 255 + 1);
    EXPECT_LT(v->position, 16u);
}

TEST(Mixer, GainsRampOverOneRampLength) {
    TestSample t(std::vector<int16_t>(4096, 255), 2, 0, 4096);
    Voice* v = startVoice(&t.s, 1, 0, 0);
    v->leftTargetGain = 63;
    std::vector<float> out(2 * 256, 0.0f);
    mixVoice(v, out.data(), 256);
    const float perFrame = 63.0f / 255.0f / 128.0f;
    for (int i = 0; i < 128; ++i) ASSERT_NEAR(out[2 * i], 255.0f * perFrame * i, 1e-3) << i;
    for (int i = 128; i < 256; ++i) ASSERT_NEAR(out[2 * i], 63.0f, 1e-4) << i;
    for (int i = 0; i < 256; ++i) ASSERT_EQ(out[2 * i + 1], 0.0f);
    EXPECT_EQ(v->leftGain, 63 * 256);
    EXPECT_EQ(v->rampFrames, 0);

    // A new target half-way through a ramp starts a new full ramp from where the gain is.
    v->leftTargetGain = 127;
    std::fill(out.begin(), out.end(), 0.0f);
    mixVoice(v, out.data(), 64);
    EXPECT_EQ(v->rampFrames, 64);
    const int midGain = v->leftGain;
    EXPECT_NEAR(midGain / 256.0, 63 + 64 * 64 / 128.0, 0.5);
    v->leftTargetGain = 0;
    std::fill(out.begin(), out.end(), 0.0f);
    mixVoice(v, out.data(), 1);
    EXPECT_EQ(v->rampFrames, 127);
    EXPECT_NEAR(out[0] - 255.0f * (63 + 64 * 64 / 128.0f) / 255.0f, 0.0f, 0.5f);
    mixVoice(v, out.data() + 2, 127);
    EXPECT_EQ(v->leftGain, 0);
}

TEST(Mixer, AFarLoopPointDoesNotLimitTheRun) {
    // A loop point 2^24 frames away or more is found by a later run; the
    // rendered frames are the same either way.
    std::vector<int16_t> frames(8192, 300);
    TestSample t(frames, 1, 0, 0);
    t.s.length = 1u << 25;
    t.s.loopLength = 1u << 25;  // only the first frames are ever read here
    Voice* v = startVoice(&t.s, 2, 0, 255);
    std::vector<float> out(2 * 2048, 0.0f);
    mixVoice(v, out.data(), 2048);
    EXPECT_EQ(v->position, 4096u);
    EXPECT_FLOAT_EQ(out[2 * 2047], 300.0f);
}

TEST(Mixer, ASilentVoiceMovesExactlyLikeAnAudibleOne) {
    std::vector<int16_t> f(3000);
    for (int i = 0; i < 3000; ++i) f[size_t(i)] = int16_t((i * 37) % 2000 - 1000);
    TestSample t(f, 4, 100, 2800);
    Voice* loud = startVoice(&t.s, 1, 0x2468ACE1u, 100);
    Voice silent = *loud;
    silent.leftTargetGain = silent.rightTargetGain = silent.leftGain = silent.rightGain = 0;
    std::vector<float> out(2 * 2048, 0.0f), quiet(2 * 2048, 0.0f);
    for (int k = 0; k < 20; ++k) {
        mixVoice(loud, out.data(), 2048);
        mixVoice(&silent, quiet.data(), 2048);
        ASSERT_EQ(loud->position, silent.position);
        ASSERT_EQ(loud->positionFraction, silent.positionFraction);
        ASSERT_EQ(loud->direction, silent.direction);
    }
    for (float q : quiet) ASSERT_EQ(q, 0.0f);
}

TEST(Mixer, MixVoicesAddsEveryVoiceInOrder) {
    TestSample t(std::vector<int16_t>(64, 100), 2, 0, 64);
    setOutputRate(44100);
    for (int i : {3, 40}) {
        voices[i].sample = &t.s;
        voices[i].leftTargetGain = 255;
        voices[i].leftGain = 255 * 256;
    }
    std::vector<float> out(2 * 10, 1.0f);
    mixVoices(out.data(), 10);
    for (int i = 0; i < 10; ++i) EXPECT_FLOAT_EQ(out[2 * i], 201.0f);
    mixVoices(out.data(), 0);
    mixVoices(out.data(), -3);
    EXPECT_FLOAT_EQ(out[0], 201.0f);
    clearVoices();
    EXPECT_EQ(voices[40].index, 40);
    EXPECT_EQ(voices[40].step, 1u);
    EXPECT_EQ(voices[40].sample, nullptr);
}

}  // namespace
