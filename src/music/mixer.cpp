#include "music/mixer.h"

#include <cmath>
#include <climits>
#include <cstring>

#include <emmintrin.h>

#include "framework/compat.h"
#include "music/player.h"
#include "music/xm_loader.h"

Voice voices[voiceCount];

const float interpolationK = bitCast<float>(uint32_t(0x2FFFF910));

void clearVoices() {
    std::memset(voices, 0, sizeof voices);
    for (int i = 0; i < voiceCount; ++i) {
        voices[i].index = i;
        voices[i].step = 1;
        voices[i].direction = 1;
    }
}

void mixVoices(float* buffer, int n) {
    if (!buffer || n <= 0) return;
    for (int i = 0; i < voiceCount; ++i) mixVoice(&voices[i], buffer, n);
}

namespace {

// Positions are signed 32.32 values here: a backward run may end a hair
// before a loop start of 0, which must read the zero guard, not wrap.
inline int32_t frameOf(int64_t position) { return int32_t(position >> 32); }

inline float interpolate(const int16_t* data, int64_t position) {
    const int32_t i = frameOf(position);
    const float s0 = data[i];
    const float s1 = data[i + 1];
    const float w = float(uint32_t(position) >> 1) * interpolationK;
    return s0 + w * (s1 - s0);
}

// The position after one frame. After the first frame the low bit of the
// position is always the step's low bit.
template <int Direction>
inline int64_t nextPosition(int64_t pos, int64_t step) {
    return Direction == 1 ? (pos & ~int64_t(1)) + step : (pos & ~int64_t(1)) - step;
}

// Frames i and i + 1 of the sample as one 32-bit word: frame i in the low
// half (little-endian host).
inline int32_t framePair(const int16_t* data, int64_t i) {
    int32_t pair;
    std::memcpy(&pair, data + i, sizeof pair);
    return pair;
}

// Four consecutive frames after the first one of a run: their positions are
// p, p + d, p + 2d, p + 3d for the even distance d that every step after the
// first covers (the step less its low bit forward, plus it backward). The
// four 32-bit fractions live side by side and wrap as the low halves of the
// 64-bit sums do. The frame numbers: on x86-64 the 64-bit sums themselves,
// in general registers, so that each fetch address is one add and one shift
// away; on i386, where 64-bit sums cost pairs of registers, four signed frame
// numbers side by side, a wrapping fraction carrying into its frame number.
struct FourPositions {
    __m128i fraction;      // the 32-bit fractions
    __m128i fractionStep;  // the fraction part of 4d
#if defined(__x86_64__)
    uint64_t base;  // the position of the first of the four
    uint64_t d1, d2, d3, d4;

    FourPositions(int64_t p, int64_t d)
        : base(uint64_t(p)), d1(uint64_t(d)), d2(2 * uint64_t(d)), d3(3 * uint64_t(d)), d4(4 * uint64_t(d)) {
        fraction = _mm_setr_epi32(int32_t(uint32_t(base)), int32_t(uint32_t(base + d1)),
                                  int32_t(uint32_t(base + d2)), int32_t(uint32_t(base + d3)));
        fractionStep = _mm_set1_epi32(int32_t(uint32_t(d4)));
    }
    static int64_t frameAt(uint64_t position) { return int64_t(position) >> 32; }
    // Frames i and i + 1 of each of the four positions, one pair a lane.
    __m128i pairs(const int16_t* data) const {
        return _mm_setr_epi32(framePair(data, frameAt(base)), framePair(data, frameAt(base + d1)),
                              framePair(data, frameAt(base + d2)), framePair(data, frameAt(base + d3)));
    }
    void advance() {
        fraction = _mm_add_epi32(fraction, fractionStep);
        base += d4;
    }
#else
    __m128i frame;      // the signed integer parts
    __m128i frameStep;  // the integer part of 4d

    FourPositions(int64_t p, int64_t d) {
        const uint64_t u = uint64_t(p), du = uint64_t(d);
        frame = _mm_setr_epi32(int32_t(u >> 32), int32_t((u + du) >> 32), int32_t((u + 2 * du) >> 32),
                               int32_t((u + 3 * du) >> 32));
        fraction = _mm_setr_epi32(int32_t(uint32_t(u)), int32_t(uint32_t(u + du)), int32_t(uint32_t(u + 2 * du)),
                                  int32_t(uint32_t(u + 3 * du)));
        frameStep = _mm_set1_epi32(int32_t(uint32_t((4 * du) >> 32)));
        fractionStep = _mm_set1_epi32(int32_t(uint32_t(4 * du)));
    }
    __m128i pairs(const int16_t* data) const {
        alignas(16) int32_t at[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(at), frame);
        return _mm_setr_epi32(framePair(data, at[0]), framePair(data, at[1]), framePair(data, at[2]),
                              framePair(data, at[3]));
    }
    void advance() {
        const __m128i sign = _mm_set1_epi32(INT32_MIN);
        const __m128i sum = _mm_add_epi32(fraction, fractionStep);
        // Unsigned sum < addend: the fraction wrapped (the compare is signed, hence the flipped signs).
        const __m128i carry = _mm_cmpgt_epi32(_mm_xor_si128(fractionStep, sign), _mm_xor_si128(sum, sign));
        frame = _mm_sub_epi32(_mm_add_epi32(frame, frameStep), carry);
        fraction = sum;
    }
#endif
};

// The four frames' interpolated values, lane by lane with the same float
// operations in the same order as interpolate(). The difference s1 - s0 of
// two 16-bit values is exact as a float, so it is taken in integers, both
// halves of each pair at once (one multiply-add of -1 and 1), and converted.
inline __m128 interpolate4(const int16_t* data, const FourPositions& p) {
    const __m128i pairs = p.pairs(data);
    const __m128 s0 = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16));
    const __m128 difference = _mm_cvtepi32_ps(_mm_madd_epi16(pairs, _mm_set1_epi32(0x0001FFFF)));
    // The halved fraction is below 2^31: the signed conversion rounds it as the unsigned one does.
    const __m128 w = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srli_epi32(p.fraction, 1)), _mm_set1_ps(interpolationK));
    return _mm_add_ps(s0, _mm_mul_ps(w, difference));
}

// Adds four frames' values times the gain pairs to out: (out + value * gain),
// value by value, as the one-frame loop does.
inline void addFour(float* out, __m128 v, __m128 gainsLow, __m128 gainsHigh) {
    const __m128 low = _mm_mul_ps(_mm_unpacklo_ps(v, v), gainsLow);    // v0 v0 v1 v1
    const __m128 high = _mm_mul_ps(_mm_unpackhi_ps(v, v), gainsHigh);  // v2 v2 v3 v3
    _mm_storeu_ps(out, _mm_add_ps(_mm_loadu_ps(out), low));
    _mm_storeu_ps(out + 4, _mm_add_ps(_mm_loadu_ps(out + 4), high));
}

// The distance every step after a run's first covers.
template <int Direction>
inline int64_t evenStep(int64_t step) {
    return Direction == 1 ? step - (step & 1) : -(step + (step & 1));
}

// Four frames at a time only where the positions cannot leave 64 bits:
// steps below 2^16 frames (a run of a longer step reaches its loop point
// within a frame or two anyway).
inline bool fourAtATime(int64_t step, int count) { return count > 4 && step < (int64_t(1) << 48); }

// Constant gains, four frames per pass after the first. Cost: count frames,
// one fetch pair each.
template <int Direction>
int64_t renderConstant(const int16_t* data, int64_t pos, int64_t step, float* out, int count, float lg, float rg) {
    int k = 0;
    if (fourAtATime(step, count)) {
        const float a = interpolate(data, pos);
        pos = nextPosition<Direction>(pos, step);
        out[0] += a * lg;
        out[1] += a * rg;
        out += 2;
        const int groups = (count - 1) / 4;
        const int64_t d = evenStep<Direction>(step);
        FourPositions p(pos, d);
        const __m128 gains = _mm_setr_ps(lg, rg, lg, rg);
        for (int g = 0; g < groups; ++g) {
            addFour(out, interpolate4(data, p), gains, gains);
            p.advance();
            out += 8;
        }
        pos = int64_t(uint64_t(pos) + uint64_t(4 * groups) * uint64_t(d));
        k = 1 + 4 * groups;
    }
    for (; k < count; ++k) {
        const float a = interpolate(data, pos);
        pos = nextPosition<Direction>(pos, step);
        out[0] += a * lg;
        out[1] += a * rg;
        out += 2;
    }
    return pos;
}

// Ramped gains: the gains still grow one frame at a time, in the same order.
// Cost: count frames (at most one ramp length).
template <int Direction>
int64_t renderRamp(const int16_t* data, int64_t pos, int64_t step, float* out, int count, float* lg, float* rg,
                   float li, float ri) {
    float l = *lg, r = *rg;
    int k = 0;
    if (fourAtATime(step, count)) {
        const float v = interpolate(data, pos);
        pos = nextPosition<Direction>(pos, step);
        out[0] += v * l;
        out[1] += v * r;
        out += 2;
        l += li;
        r += ri;
        const int groups = (count - 1) / 4;
        const int64_t d = evenStep<Direction>(step);
        FourPositions p(pos, d);
        // Left and right gains side by side, each still one addition a frame.
        const __m128 increment = _mm_setr_ps(li, ri, 0.0f, 0.0f);
        __m128 g0 = _mm_setr_ps(l, r, 0.0f, 0.0f);
        for (int g = 0; g < groups; ++g) {
            const __m128 g1 = _mm_add_ps(g0, increment), g2 = _mm_add_ps(g1, increment),
                         g3 = _mm_add_ps(g2, increment);
            addFour(out, interpolate4(data, p), _mm_movelh_ps(g0, g1), _mm_movelh_ps(g2, g3));
            p.advance();
            out += 8;
            g0 = _mm_add_ps(g3, increment);
        }
        l = _mm_cvtss_f32(g0);
        r = _mm_cvtss_f32(_mm_shuffle_ps(g0, g0, 1));
        pos = int64_t(uint64_t(pos) + uint64_t(4 * groups) * uint64_t(d));
        k = 1 + 4 * groups;
    }
    for (; k < count; ++k) {
        const float v = interpolate(data, pos);
        pos = nextPosition<Direction>(pos, step);
        out[0] += v * l;
        out[1] += v * r;
        out += 2;
        l += li;
        r += ri;
    }
    *lg = l;
    *rg = r;
    return pos;
}

// Where a silent run leaves the position, without touching the samples:
// after the first frame the low bit of the position is the step's low bit,
// so clearing it shortens every later forward step by that bit and
// lengthens every later backward step by it.
inline int64_t skipFrames(int64_t pos, int64_t step, int count, int direction) {
    if (count <= 0) return pos;
    const int64_t odd = step & 1;
    if (direction == 1) return (pos & ~int64_t(1)) + step + int64_t(count - 1) * (step - odd);
    return (pos & ~int64_t(1)) - step - int64_t(count - 1) * (step + odd);
}

inline void stopVoice(Voice* v) {
    v->sample = nullptr;
    v->position = 0;
    v->positionFraction = 0;
}

}  // namespace

void mixVoice(Voice* v, float* buffer, int n) {
    if (!v || !buffer || n <= 0 || !v->sample) return;
    const Sample* s = v->sample;
    if (!s->data || s->length == 0) {
        stopVoice(v);  // the empty sample: nothing to play
        return;
    }
    const int16_t* data = s->data;
    const int loopType = s->loopType;
    if (loopType != 4) v->direction = 1;
    const int64_t loopStart = int64_t(s->loopStart) << 32;
    const int64_t loopEnd = (int64_t(s->loopStart) + s->loopLength) << 32;
    const int64_t loopLength = int64_t(s->loopLength) << 32;
    const int64_t step = (int64_t(v->step) << 32) | v->stepFraction;
    // The step as 8.24 for the frame count to the loop point; 64-bit so that
    // steps of 256 and more cannot overflow it.
    int64_t step824 = (int64_t(v->step) << 24) + (v->stepFraction >> 8);
    if (step824 == 0) step824 = 1;
    const float rampReciprocal = outputFormat.rampReciprocal;
    const int rampLength = int(outputFormat.rampLength);
    constexpr float inv255 = 1.0f / 255.0f;
    constexpr float inv256 = 1.0f / 256.0f;

    int64_t pos = int64_t((uint64_t(v->position) << 32) | v->positionFraction);
    float* out = buffer;
    int remaining = n;
    while (remaining > 0) {
        int count = remaining;
        bool atLoopPoint = false;
        const int64_t distance = v->direction == 1 ? loopEnd - pos : pos - loopStart;
        if (distance <= 0) {
            count = 0;
            atLoopPoint = true;
        } else if ((distance >> 32) < (int64_t(1) << 24)) {
            const int64_t shifted = distance >> 8;
            int64_t frames = shifted / step824;
            if (shifted % step824) ++frames;
            // A distance below 2^-24 frame still needs one frame, or the run
            // would stay empty and never reach the loop point.
            if (frames == 0) frames = 1;
            if (frames <= count) {
                count = int(frames);
                atLoopPoint = true;
            }
        }

        // Gain ramp.
        bool ramping = false;
        if (v->rampFrames > 0 && v->leftTargetGain == v->rampLeftTarget && v->rightTargetGain == v->rampRightTarget) {
            ramping = true;
        } else {
            v->rampLeftTarget = v->leftTargetGain;
            v->rampRightTarget = v->rightTargetGain;
            const int dl = v->leftTargetGain - (v->leftGain >> 8);
            const int dr = v->rightTargetGain - (v->rightGain >> 8);
            // A side without a difference holds still during the new ramp.
            v->leftRampIncrement = dl ? float(dl) * inv255 * rampReciprocal : 0.0f;
            v->rightRampIncrement = dr ? float(dr) * inv255 * rampReciprocal : 0.0f;
            if (dl || dr) {
                v->rampFrames = rampLength;
                ramping = true;
            } else {
                v->rampFrames = 0;
            }
        }
        bool rampShortened = false;
        if (ramping && v->rampFrames < count) {
            count = v->rampFrames;
            atLoopPoint = false;
            rampShortened = true;
        }

        if (ramping) {
            float lg = float(v->leftGain) * inv256 * inv255;
            float rg = float(v->rightGain) * inv256 * inv255;
            if (v->direction == 1)
                pos = renderRamp<1>(data, pos, step, out, count, &lg, &rg, v->leftRampIncrement, v->rightRampIncrement);
            else
                pos = renderRamp<2>(data, pos, step, out, count, &lg, &rg, v->leftRampIncrement, v->rightRampIncrement);
            v->leftGain = int32_t(std::lrint(lg * 255.0f * 256.0f));
            v->rightGain = int32_t(std::lrint(rg * 255.0f * 256.0f));
            v->rampFrames -= count;
            if (v->rampFrames == 0) {
                v->leftRampIncrement = 0.0f;
                v->rightRampIncrement = 0.0f;
                v->leftGain = v->leftTargetGain * 256;
                v->rightGain = v->rightTargetGain * 256;
            }
        } else if (v->leftTargetGain == 0 && v->rightTargetGain == 0) {
            // Silent: only the position moves, exactly as rendering would move it.
            pos = skipFrames(pos, step, count, v->direction);
        } else {
            const float lg = float(v->leftTargetGain) * inv255;
            const float rg = float(v->rightTargetGain) * inv255;
            if (v->direction == 1) pos = renderConstant<1>(data, pos, step, out, count, lg, rg);
            else pos = renderConstant<2>(data, pos, step, out, count, lg, rg);
        }
        out += 2 * count;
        remaining -= count;
        if (rampShortened) continue;
        if (!atLoopPoint) break;

        if (loopType == 2) {
            // E.g. loop 10+20 at step 1.5: 29.5 goes on at 31.0 - 20 = 11.0.
            while (pos >= loopEnd) pos -= loopLength;
        } else if (loopType == 4) {
            if (v->direction == 1) {
                pos = 2 * loopEnd - pos - 1;
                v->direction = 2;
            } else {
                pos = 2 * loopStart - pos - 1;
                v->direction = 1;
            }
            // Steps longer than the loop need more than one reflection.
            for (;;) {
                if (v->direction == 2 && pos < loopStart) {
                    pos = 2 * loopStart - pos - 1;
                    v->direction = 1;
                } else if (v->direction == 1 && pos >= loopEnd) {
                    pos = 2 * loopEnd - pos - 1;
                    v->direction = 2;
                } else {
                    break;
                }
            }
        } else {
            stopVoice(v);  // one-shot end: the rest of the request stays silent
            return;
        }
    }
    v->position = uint32_t(uint64_t(pos) >> 32);
    v->positionFraction = uint32_t(uint64_t(pos));
}
