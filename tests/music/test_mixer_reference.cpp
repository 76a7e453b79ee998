// The mixer against the one-frame-at-a-time reference: random samples, loops,
// steps, directions, positions and gain ramps, mixed over random lengths into
// the same random buffer, must leave every float and every voice field
// identical to the bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "music/mixer.h"
#include "music/player.h"
#include "music/xm_loader.h"
#include "support/reference_mixer.h"

namespace {

struct RandomSample {
    std::vector<int16_t> storage;
    Sample s{};
};

// A sample as the loader leaves it: zero guards either side and the frame
// after the loop set for its kind (1 plays once, 2 loops forward, 4 ping-pong).
void makeSample(std::mt19937& rng, RandomSample* r) {
    const uint32_t length = 1 + rng() % 400;
    r->storage.assign(length + 2 * sampleGuardFrames, 0);
    for (uint32_t i = 0; i < length; ++i) r->storage[sampleGuardFrames + i] = int16_t(rng());
    Sample& s = r->s;
    s = Sample{};
    s.data = r->storage.data() + sampleGuardFrames;
    s.length = length;
    s.bits = 16;
    const int kinds[] = {1, 2, 4};
    s.loopType = uint8_t(kinds[rng() % 3]);
    s.loopStart = s.loopType == 1 ? 0 : rng() % length;
    s.loopLength = s.loopType == 1 ? length : 1 + rng() % (length - s.loopStart);
    const uint32_t end = s.loopStart + s.loopLength;
    if (end < length + sampleGuardFrames) {
        if (s.loopType == 2) s.data[end] = s.data[s.loopStart];
        if (s.loopType == 4) s.data[end] = s.data[end - 1];
    }
}

void randomVoice(std::mt19937& rng, const Sample* s, Voice* v) {
    *v = Voice{};
    v->sample = s;
    // Mostly the steps of notes, sometimes far beyond a short loop.
    v->step = rng() % 8 == 0 ? rng() % 600 : rng() % 4;
    v->stepFraction = uint32_t(rng());
    v->position = rng() % (s->loopStart + s->loopLength);
    v->positionFraction = uint32_t(rng());
    v->direction = rng() % 2 ? 1 : 2;
    v->leftTargetGain = rng() % 4 == 0 ? 0 : int32_t(rng() % 256);
    v->rightTargetGain = rng() % 4 == 0 ? 0 : int32_t(rng() % 256);
    const int ramp = rng() % 3;  // none, a new ramp, one under way
    v->leftGain = ramp == 0 ? v->leftTargetGain * 256 : int32_t(rng() % (256 * 256));
    v->rightGain = ramp == 0 ? v->rightTargetGain * 256 : int32_t(rng() % (256 * 256));
    if (ramp == 2) {
        v->rampLeftTarget = v->leftTargetGain;
        v->rampRightTarget = v->rightTargetGain;
        v->rampFrames = 1 + int32_t(rng() % 128);
        v->leftRampIncrement = float(int32_t(rng() % 512) - 256) / 32768.0f;
        v->rightRampIncrement = float(int32_t(rng() % 512) - 256) / 32768.0f;
    }
}

void expectSameVoice(const Voice& a, const Voice& b, int trial) {
    EXPECT_EQ(a.sample, b.sample) << trial;
    EXPECT_EQ(a.position, b.position) << trial;
    EXPECT_EQ(a.positionFraction, b.positionFraction) << trial;
    EXPECT_EQ(a.direction, b.direction) << trial;
    EXPECT_EQ(a.leftGain, b.leftGain) << trial;
    EXPECT_EQ(a.rightGain, b.rightGain) << trial;
    EXPECT_EQ(a.rampFrames, b.rampFrames) << trial;
    EXPECT_EQ(a.rampLeftTarget, b.rampLeftTarget) << trial;
    EXPECT_EQ(a.rampRightTarget, b.rampRightTarget) << trial;
    EXPECT_EQ(std::memcmp(&a.leftRampIncrement, &b.leftRampIncrement, sizeof(float)), 0) << trial;
    EXPECT_EQ(std::memcmp(&a.rightRampIncrement, &b.rightRampIncrement, sizeof(float)), 0) << trial;
}

}  // namespace

TEST(MixerReference, RandomVoicesMixBitForBitAsTheReference) {
    setOutputRate(44100);
    std::mt19937 rng(19);
    std::vector<float> fast(2 * 2048), slow(2 * 2048);
    for (int trial = 0; trial < 3000; ++trial) {
        RandomSample sample;
        makeSample(rng, &sample);
        Voice v;
        randomVoice(rng, &sample.s, &v);
        Voice ref = v;
        // A few calls in a row, as ticks mix one voice: ramps and loops carry over.
        for (int call = 0; call < 3; ++call) {
            const int n = 1 + int(rng() % (rng() % 2 ? 2048 : 16));
            for (int i = 0; i < 2 * n; ++i) fast[size_t(i)] = slow[size_t(i)] = float(int32_t(rng() % 65536) - 32768);
            if (call > 0 && rng() % 3 == 0) {  // a volume change between ticks starts a new ramp
                v.leftTargetGain = ref.leftTargetGain = int32_t(rng() % 256);
                v.rightTargetGain = ref.rightTargetGain = int32_t(rng() % 256);
            }
            mixVoice(&v, fast.data(), n);
            reference::mixVoice(&ref, slow.data(), n);
            ASSERT_EQ(std::memcmp(fast.data(), slow.data(), sizeof(float) * 2 * size_t(n)), 0)
                << "trial " << trial << " call " << call << " n " << n << " loop " << int(sample.s.loopType);
            expectSameVoice(v, ref, trial);
        }
    }
}

TEST(MixerReference, TheBlockConversionGivesWhatEachSampleConversionGives) {
    std::vector<float> mix = {0.5f,      1.5f,       -0.5f,     -2.5f,       32767.5f,     32768.0f,    -32768.5f,
                              -32769.0f, 65536.0f,   65536.01f, -65536.0f,   -65537.0f,    2147483648.0f,
                              -3e9f,     1e30f,      -1e30f,    INFINITY,    -INFINITY,    NAN,         -NAN};
    std::mt19937 rng(5);
    while (mix.size() < 4099) {
        const float scale = rng() % 2 ? 40000.0f : 100.0f;
        mix.push_back((float(rng()) / 4294967296.0f * 2.0f - 1.0f) * scale);
    }
    std::vector<int16_t> out(mix.size());
    convertBlock(mix.data(), out.data(), int(mix.size()));
    for (size_t i = 0; i < mix.size(); ++i) ASSERT_EQ(out[i], convertSample(mix[i])) << i << " " << mix[i];
}
