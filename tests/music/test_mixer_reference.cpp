// The mixer against the independent one-frame-at-a-time reference
// (support/reference_mixer.h): the cases the driver handles (loop ends,
// ping-pong turns, ramps across block boundaries, 8-bit and 16-bit samples, a
// voice ending mid-block) and random samples, loops, steps, directions,
// positions and gain ramps, mixed over random lengths into the same buffer,
// must leave every output value and every voice field identical (output
// values compared as numbers: a silent voice may leave -0 where the
// reference leaves +0, see the reference's header).
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
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

// The first output value that differs, or -1.
int firstDifference(const std::vector<float>& a, const std::vector<float>& b, int n) {
    for (int i = 0; i < 2 * n; ++i)
        if (!(a[size_t(i)] == b[size_t(i)])) return i;
    return -1;
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
            ASSERT_EQ(firstDifference(fast, slow, n), -1)
                << "trial " << trial << " call " << call << " n " << n << " loop " << int(sample.s.loopType);
            expectSameVoice(v, ref, trial);
        }
    }
}

// The driver's cases one by one, each mixed in the blocks given (a call per
// block, as ticks mix a voice), with every block checked.
TEST(MixerReference, TheDriversCasesMixAsTheReference) {
    setOutputRate(44100);
    struct Case {
        const char* what;
        int bits;            // 8: the loader's frames, multiples of 256
        uint32_t length;
        int loopType;
        uint32_t loopStart, loopLength;
        uint32_t step, stepFraction;
        uint32_t position, positionFraction;
        int direction;
        int32_t targetLeft, targetRight;  // the gains' goals
        int32_t gainLeft, gainRight;      // where the gains are (x 256)
        std::vector<int> blocks;
        int32_t newTargetLeft = -1, newTargetRight = -1;  // set before the second block, when not -1
    } cases[] = {
        {"forward loop end at step 1.5", 16, 40, 2, 10, 20, 1, 0x80000000u, 0, 0, 1, 100, 60, 25600, 15360, {200}},
        {"forward loop end landing exactly", 16, 40, 2, 10, 20, 2, 0, 10, 0, 1, 90, 90, 23040, 23040, {64, 64}},
        {"forward loop shorter than a step", 16, 40, 2, 30, 3, 7, 0x12345678u, 31, 0, 1, 80, 80, 20480, 20480, {300}},
        {"ping-pong turn at the end", 16, 40, 4, 10, 20, 1, 0, 25, 0, 1, 127, 0, 32512, 0, {100}},
        {"ping-pong turn at the start", 16, 40, 4, 10, 20, 1, 0x40000000u, 14, 0, 2, 0, 127, 0, 32512, {100}},
        {"ping-pong turns at a step longer than the loop", 16, 60, 4, 20, 5, 13, 0x9000000u, 22, 0, 1, 64, 64, 16384,
         16384, {257}},
        {"ping-pong turn at loop start 0", 16, 30, 4, 0, 30, 0, 0xC0000000u, 2, 0, 2, 50, 70, 12800, 17920, {90}},
        {"a ramp across block boundaries", 16, 400, 2, 0, 400, 1, 0x1000000u, 0, 0, 1, 127, 30, 0, 25600,
         {50, 1, 60, 200}},
        {"a ramp restarted by a new target in its middle", 16, 400, 2, 0, 400, 0, 0xC0000000u, 0, 0, 1, 127, 127, 0,
         0, {70, 300}, 10, 100},
        {"a ramp on one side only", 16, 400, 2, 0, 400, 1, 0, 0, 0, 1, 100, 40, 0, 10240, {130, 10}},
        {"a ramp that ends on the loop point", 16, 300, 2, 100, 128, 1, 0, 100, 0, 1, 127, 127, 0, 0, {256}},
        {"a one-shot voice ending mid-block", 16, 100, 1, 0, 100, 1, 0, 0, 0, 1, 90, 90, 23040, 23040, {64, 64}},
        {"a one-shot voice ending mid-ramp", 16, 50, 1, 0, 50, 0, 0xC0000000u, 0, 0, 1, 127, 127, 0, 0, {200}},
        {"a silent voice keeps its place", 16, 100, 2, 20, 80, 1, 0x2000000u, 5, 0, 1, 0, 0, 0, 0, {150, 150}},
        {"an 8-bit forward loop", 8, 64, 2, 16, 48, 1, 0x6000000u, 60, 0, 1, 100, 100, 25600, 25600, {500}},
        {"an 8-bit ping-pong loop with a ramp", 8, 64, 4, 8, 32, 2, 0x11111111u, 30, 0, 1, 127, 64, 0, 0,
         {33, 97, 200}},
        {"an 8-bit one-shot", 8, 20, 1, 0, 20, 0, 0x80000000u, 0, 0, 1, 127, 127, 32512, 32512, {100}},
    };
    std::mt19937 rng(7);
    for (const Case& c : cases) {
        std::vector<int16_t> frames(c.length);
        for (int16_t& f : frames)
            f = c.bits == 8 ? int16_t(uint16_t(uint8_t(rng()) << 8)) : int16_t(rng());
        // The loader's guards: zeros either side, the frame after the loop set for its kind.
        std::vector<int16_t> storage(c.length + 2 * sampleGuardFrames, 0);
        std::copy(frames.begin(), frames.end(), storage.begin() + sampleGuardFrames);
        Sample sample{};
        sample.data = storage.data() + sampleGuardFrames;
        sample.length = c.length;
        sample.bits = uint8_t(c.bits);
        sample.loopType = uint8_t(c.loopType);
        sample.loopStart = c.loopStart;
        sample.loopLength = c.loopLength;
        const uint32_t end = c.loopStart + c.loopLength;
        if (c.loopType == 2) sample.data[end] = sample.data[c.loopStart];
        if (c.loopType == 4) sample.data[end] = sample.data[end - 1];

        Voice v{};
        v.sample = &sample;
        v.step = c.step;
        v.stepFraction = c.stepFraction;
        v.position = c.position;
        v.positionFraction = c.positionFraction;
        v.direction = c.direction;
        v.leftTargetGain = c.targetLeft;
        v.rightTargetGain = c.targetRight;
        v.leftGain = c.gainLeft;
        v.rightGain = c.gainRight;
        Voice ref = v;
        for (size_t b = 0; b < c.blocks.size(); ++b) {
            if (b == 1 && c.newTargetLeft >= 0) {
                v.leftTargetGain = ref.leftTargetGain = c.newTargetLeft;
                v.rightTargetGain = ref.rightTargetGain = c.newTargetRight;
            }
            const int n = c.blocks[b];
            std::vector<float> fast(size_t(2 * n)), slow(size_t(2 * n));
            for (size_t i = 0; i < fast.size(); ++i) fast[i] = slow[i] = float(int32_t(rng() % 2001) - 1000);
            mixVoice(&v, fast.data(), n);
            reference::mixVoice(&ref, slow.data(), n);
            const int at = firstDifference(fast, slow, n);
            ASSERT_EQ(at, -1) << c.what << ", block " << b << ": frame " << at / 2 << " is "
                              << fast[size_t(std::max(at, 0))] << ", the reference "
                              << slow[size_t(std::max(at, 0))];
            expectSameVoice(v, ref, int(b));
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
