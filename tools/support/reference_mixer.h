// The voice mixer and the 16-bit conversion as first written, one frame at a time: the
// reference the fast mixer must match bit for bit (tests) and the baseline
// its speed is compared with (vorna-bench). Same inputs and effects on the
// voice as mixVoice.
#pragma once

#include <cmath>
#include <cstdint>

#include "music/mixer.h"
#include "music/player.h"
#include "music/xm_loader.h"

namespace reference {


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

// Constant gains, two frames per pass. Cost: count frames, one fetch pair each.
template <int Direction>
inline int64_t renderConstant(const int16_t* data, int64_t pos, int64_t step, float* out, int count, float lg, float rg) {
    int k = 0;
    for (; k + 2 <= count; k += 2) {
        const float a = interpolate(data, pos);
        pos = Direction == 1 ? (pos & ~int64_t(1)) + step : (pos & ~int64_t(1)) - step;
        const float b = interpolate(data, pos);
        pos = Direction == 1 ? (pos & ~int64_t(1)) + step : (pos & ~int64_t(1)) - step;
        out[0] += a * lg;
        out[1] += a * rg;
        out[2] += b * lg;
        out[3] += b * rg;
        out += 4;
    }
    if (k < count) {
        const float a = interpolate(data, pos);
        pos = Direction == 1 ? (pos & ~int64_t(1)) + step : (pos & ~int64_t(1)) - step;
        out[0] += a * lg;
        out[1] += a * rg;
    }
    return pos;
}

// Ramped gains. Cost: count frames (at most one ramp length).
template <int Direction>
inline int64_t renderRamp(const int16_t* data, int64_t pos, int64_t step, float* out, int count, float* lg, float* rg,
                   float li, float ri) {
    float l = *lg, r = *rg;
    for (int k = 0; k < count; ++k) {
        const float v = interpolate(data, pos);
        pos = Direction == 1 ? (pos & ~int64_t(1)) + step : (pos & ~int64_t(1)) - step;
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

inline void mixVoice(Voice* v, float* buffer, int n) {
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

// The 16-bit conversion one value at a time.
inline void convertBlock(const float* mix, int16_t* out, int count) {
    for (int i = 0; i < count; ++i) out[i] = convertSample(mix[i]);
}

inline void mixVoices(float* buffer, int n) {
    if (!buffer || n <= 0) return;
    for (int i = 0; i < voiceCount; ++i) reference::mixVoice(&voices[i], buffer, n);
}

}  // namespace reference
