// A second voice mixer, written from the description of the mixer rather
// than from mixer.cpp, one output frame at a time: the independent reference
// the tuned mixer must match (tests/music/test_mixer_reference.cpp) and the
// plain baseline its speed is compared with (vorna-bench).
//
// It keeps the per-run rules where they fix the arithmetic, so that the two
// agree bit for bit: a run ends after the 8.24 count of frames to the loop
// point, at the end of a gain ramp or at the end of the request; after a
// ramped run each gain is stored back rounded to 1/256; the position is a
// 32.32 value whose lowest bit is cleared before every step. Where the rules
// leave a choice, the choice is written where it is made ("choice:"); the
// ones that can change the output are:
//   - a silent voice (no ramp, both target gains 0) adds v x 0 to each output
//     value, where mixVoice adds nothing: the two differ only in the sign of a
//     zero, so outputs are compared as values (-0 == +0), not as bits;
//   - a loop point less than 2^-24 frame away takes one frame, not none (an
//     empty run there would never reach it).
// Single thread; works on the voice it is given and the global outputFormat.
// Not for: the production (it is several times slower than mixVoice).
#pragma once

#include <cmath>
#include <cstdint>

#include "music/mixer.h"
#include "music/player.h"
#include "music/xm_loader.h"

namespace reference {

// The voice's state in the terms of the description: a 32.32 position that
// may dip below zero by a fraction after a backward turn at a loop start of 0.
struct VoiceMixer {
    Voice* v;
    const Sample* s;
    int64_t position;  // 32.32
    int64_t step;      // 32.32
    int64_t loopStart, loopEnd, loopLength;  // 32.32

    // One run: how many frames, and what ends it.
    struct Run {
        int frames = 0;
        bool toLoopPoint = false;  // the run ends at the loop point
        bool ramped = false;       // the gains move during the run
        bool endedByRamp = false;  // the ramp's end is what shortened it
        float left = 0, right = 0;  // the gains of the next frame, as factors
    };

    explicit VoiceMixer(Voice* voice) : v(voice), s(voice->sample) {
        position = int64_t((uint64_t(v->position) << 32) | v->positionFraction);
        step = int64_t((uint64_t(v->step) << 32) | v->stepFraction);
        loopStart = int64_t(s->loopStart) << 32;
        loopLength = int64_t(s->loopLength) << 32;
        loopEnd = loopStart + loopLength;
        if (s->loopType != 4) v->direction = 1;  // choice: only a ping-pong loop runs backward
    }

    // The frames to the loop point, or -1 when it is too far to limit the run.
    int64_t framesToLoopPoint() const {
        const int64_t distance = v->direction == 1 ? loopEnd - position : position - loopStart;
        if (distance <= 0) return 0;                      // on or past it: an empty run
        if ((distance >> 32) >= (int64_t(1) << 24)) return -1;
        int64_t step824 = (int64_t(v->step) << 24) + (v->stepFraction >> 8);
        if (step824 == 0) step824 = 1;  // choice: a step below 2^-24 frame counts as 2^-24
        const int64_t d = distance >> 8;
        const int64_t frames = d / step824 + (d % step824 != 0 ? 1 : 0);
        return frames == 0 ? 1 : frames;  // choice: see the header
    }

    Run planRun(int remaining) {
        Run run;
        run.frames = remaining;
        const int64_t toLoop = framesToLoopPoint();
        if (toLoop >= 0 && toLoop <= run.frames) {
            run.frames = int(toLoop);
            run.toLoopPoint = true;
        }
        const int32_t rampLength = int32_t(outputFormat.rampLength);
        const bool continues =
            v->rampFrames > 0 && v->leftTargetGain == v->rampLeftTarget && v->rightTargetGain == v->rampRightTarget;
        if (!continues) {
            v->rampLeftTarget = v->leftTargetGain;
            v->rampRightTarget = v->rightTargetGain;
            const int32_t left = v->leftTargetGain - (v->leftGain >> 8);
            const int32_t right = v->rightTargetGain - (v->rightGain >> 8);
            // choice: a side without a difference holds still (increment 0).
            v->leftRampIncrement = left != 0 ? float(left) * (1.0f / 255.0f) * outputFormat.rampReciprocal : 0.0f;
            v->rightRampIncrement = right != 0 ? float(right) * (1.0f / 255.0f) * outputFormat.rampReciprocal : 0.0f;
            // choice: no difference on either side ends a ramp under way.
            v->rampFrames = left != 0 || right != 0 ? rampLength : 0;
        }
        run.ramped = v->rampFrames > 0;
        if (run.ramped && v->rampFrames < run.frames) {
            run.frames = v->rampFrames;
            run.toLoopPoint = false;
            run.endedByRamp = true;
        }
        if (run.ramped) {
            run.left = float(v->leftGain) * (1.0f / 256.0f) * (1.0f / 255.0f);
            run.right = float(v->rightGain) * (1.0f / 256.0f) * (1.0f / 255.0f);
        } else {
            run.left = float(v->leftTargetGain) * (1.0f / 255.0f);
            run.right = float(v->rightTargetGain) * (1.0f / 255.0f);
        }
        return run;
    }

    // One output frame: interpolate, add, move on.
    void frame(float* out, Run& run) {
        const int32_t i = int32_t(position >> 32);
        const float s0 = float(s->data[i]);
        const float s1 = float(s->data[i + 1]);  // the guard frame at the loop end
        const float w = float(uint32_t(position) >> 1) * interpolationK;
        const float value = s0 + w * (s1 - s0);
        out[0] = out[0] + value * run.left;
        out[1] = out[1] + value * run.right;
        if (run.ramped) {
            run.left = run.left + v->leftRampIncrement;
            run.right = run.right + v->rightRampIncrement;
        }
        position &= ~int64_t(1);
        position = v->direction == 1 ? position + step : position - step;
    }

    // After the run's last frame: the gains, then the loop point. False when
    // the voice has stopped.
    bool endRun(const Run& run) {
        if (run.ramped) {
            v->leftGain = int32_t(std::lrint(run.left * 255.0f * 256.0f));  // choice: ties to even
            v->rightGain = int32_t(std::lrint(run.right * 255.0f * 256.0f));
            v->rampFrames -= run.frames;
            if (v->rampFrames == 0) {
                v->leftRampIncrement = 0.0f;
                v->rightRampIncrement = 0.0f;
                v->leftGain = v->leftTargetGain * 256;
                v->rightGain = v->rightTargetGain * 256;
            }
        }
        if (!run.toLoopPoint) return true;
        if (s->loopType == 2) {
            while (position >= loopEnd) position -= loopLength;
            return true;
        }
        if (s->loopType == 4) {
            // Reflect at the point reached, then again while a long step
            // has carried the position past the other end.
            for (bool first = true;; first = false) {
                if (v->direction == 1 && (first || position >= loopEnd)) {
                    position = 2 * loopEnd - position - 1;
                    v->direction = 2;
                } else if (v->direction == 2 && (first || position < loopStart)) {
                    position = 2 * loopStart - position - 1;
                    v->direction = 1;
                } else {
                    return true;
                }
            }
        }
        v->sample = nullptr;  // one-shot: the voice falls silent
        position = 0;
        return false;
    }

    void mix(float* buffer, int n) {
        int done = 0;
        while (done < n) {
            Run run = planRun(n - done);
            for (int k = 0; k < run.frames; ++k, ++done) frame(buffer + 2 * done, run);
            if (!endRun(run)) break;
            if (!run.toLoopPoint && !run.endedByRamp) break;  // the request is complete
        }
        v->position = uint32_t(uint64_t(position) >> 32);
        v->positionFraction = uint32_t(uint64_t(position));
    }
};

inline void mixVoice(Voice* v, float* buffer, int n) {
    if (!v || !buffer || n <= 0 || !v->sample) return;
    if (!v->sample->data || v->sample->length == 0) {
        v->sample = nullptr;  // the empty sample stops at once
        v->position = v->positionFraction = 0;
        return;
    }
    VoiceMixer(v).mix(buffer, n);
}

inline void mixVoices(float* buffer, int n) {
    if (!buffer || n <= 0) return;
    for (int i = 0; i < voiceCount; ++i) reference::mixVoice(&voices[i], buffer, n);
}

// The 16-bit conversion one value at a time.
inline void convertBlock(const float* mix, int16_t* out, int count) {
    for (int i = 0; i < count; ++i) out[i] = convertSample(mix[i]);
}

}  // namespace reference
