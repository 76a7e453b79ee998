#include "preview.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "dsp.h"

namespace musicgen {

namespace {

constexpr double kRate = 44100.0;
constexpr int kRamp = 128;

struct EnvState {
    int tick = 0, point = 0, value = 0, output = 0, slope = 0;
    bool done = false;
};

struct Voice {
    const SampleData* sample = nullptr;
    double position = 0;
    bool backward = false;
    double step = 0;
    double gainL = 0, gainR = 0;      // current, 0..127 scale
    double targetL = 0, targetR = 0;
    double incL = 0, incR = 0;
    int rampLeft = 0;
};

struct Chan {
    const InstrumentData* instrument = nullptr;
    const SampleData* sample = nullptr;
    int note = 0, period = 0, volume = 0, panning = 128, fade = 65536;
    bool keyOff = false;
    EnvState vol, pan;
    Voice voice;
};

void envelopeStep(const Envelope& env, EnvState& s, bool keyOff) {
    const int count = static_cast<int>(env.points.size());
    if (s.point < count && env.points[static_cast<size_t>(s.point)].x == s.tick) {
        if (env.loopStart >= 0 && s.point == env.loopEnd) {
            s.point = env.loopStart;
            s.tick = env.points[static_cast<size_t>(s.point)].x;
        }
        const EnvelopePoint& p = env.points[static_cast<size_t>(s.point)];
        if (s.point == count - 1) {
            s.output = p.y;
            s.done = true;
            return;
        }
        if (env.sustain == s.point && !keyOff) {
            s.output = p.y;
            return;
        }
        const EnvelopePoint& q = env.points[static_cast<size_t>(s.point + 1)];
        s.slope = q.x == p.x ? 0 : ((q.y - p.y) * 65536) / (q.x - p.x);
        s.value = p.y * 65536;
        s.point += 1;
    } else {
        s.value += s.slope;
    }
    s.output = s.value >> 16;
    s.tick += 1;
}

bool envelopeOn(const Envelope& e) { return e.points.size() >= 2; }

void stepEnvelopes(Chan& c) {
    if (!c.instrument) return;
    if (envelopeOn(c.instrument->volumeEnvelope)) {
        if (!c.vol.done) envelopeStep(c.instrument->volumeEnvelope, c.vol, c.keyOff);
    } else if (c.keyOff) {
        c.vol.output = 0;
    }
    if (envelopeOn(c.instrument->panningEnvelope) && !c.pan.done)
        envelopeStep(c.instrument->panningEnvelope, c.pan, c.keyOff);
    if (c.keyOff) c.fade = std::max(0, c.fade - 2 * c.instrument->fadeout);
}

void setTargets(Voice& v, double left, double right) {
    if (left == v.targetL && right == v.targetR && v.rampLeft == 0 && v.gainL == left && v.gainR == right) return;
    v.targetL = left;
    v.targetR = right;
    v.incL = (left - v.gainL) / kRamp;
    v.incR = (right - v.gainR) / kRamp;
    v.rampLeft = kRamp;
}

void updateGains(Chan& c) {
    const int envVol = c.instrument && envelopeOn(c.instrument->volumeEnvelope) ? c.vol.output : (c.keyOff ? 0 : 64);
    const double vol = std::floor(static_cast<double>(c.volume) * envVol * c.fade * 64.0 * 255.0 / 34359738368.0);
    int pan = c.panning;
    if (c.instrument && envelopeOn(c.instrument->panningEnvelope))
        pan += (c.pan.output - 32) * ((128 - std::abs(c.panning - 128)) / 32);
    pan = pan < 0 ? 0 : (pan > 255 ? 255 : pan);
    // Trackers put 0 on the left; the mirror image would measure the same.
    setTargets(c.voice, std::floor(vol * (255 - pan) / 255), std::floor(vol * pan / 255));
}

void mixVoice(Voice& v, float* out, int frames) {
    for (int i = 0; i < frames && v.sample; ++i) {
        const SampleData& s = *v.sample;
        const size_t n = s.frames.size();
        const size_t idx = static_cast<size_t>(v.position);
        const double frac = v.position - static_cast<double>(idx);
        const double s0 = idx < n ? s.frames[idx] : 0.0;
        double s1 = idx + 1 < n ? s.frames[idx + 1] : 0.0;
        if (s.loop == LoopType::forward && idx + 1 == s.loopStart + s.loopLength) s1 = s.frames[s.loopStart];
        const double x = s0 + frac * (s1 - s0);
        out[2 * i] += static_cast<float>(x * v.gainL / 255.0);
        out[2 * i + 1] += static_cast<float>(x * v.gainR / 255.0);
        if (v.rampLeft > 0) {
            v.gainL += v.incL;
            v.gainR += v.incR;
            if (--v.rampLeft == 0) {
                v.gainL = v.targetL;
                v.gainR = v.targetR;
            }
        }
        v.position += v.backward ? -v.step : v.step;
        const double end = s.loop == LoopType::none ? static_cast<double>(n) : s.loopStart + s.loopLength;
        if (s.loop == LoopType::none) {
            if (v.position >= end) v.sample = nullptr;
        } else if (s.loop == LoopType::forward) {
            while (v.position >= end) v.position -= s.loopLength;
        } else {
            if (!v.backward && v.position >= end) {
                v.position = 2 * end - v.position - 1e-9;
                v.backward = true;
            } else if (v.backward && v.position < s.loopStart) {
                v.position = 2.0 * s.loopStart - v.position;
                v.backward = false;
            }
        }
    }
}

}  // namespace

std::vector<float> renderPass(const Module& m) {
    std::vector<Chan> chans(static_cast<size_t>(m.channels));
    std::vector<Voice> fading;
    std::vector<float> out;
    int speed = m.speed, bpm = m.bpm;
    for (uint8_t order : m.orders) {
        const Pattern& p = m.patterns[order];
        for (int row = 0; row < p.rows; ++row) {
            for (int tick = 0; tick < speed; ++tick) {
                for (int ch = 0; ch < m.channels; ++ch) {
                    Chan& c = chans[static_cast<size_t>(ch)];
                    if (tick == 0) {
                        const Cell& cell = p.at(row, ch);
                        if (cell.instrument) c.instrument = &m.instruments[cell.instrument - 1u];
                        if (cell.note >= 1 && cell.note <= 96) c.note = cell.note - 1;
                        c.sample = c.instrument ? &c.instrument->samples[c.instrument->keymap[c.note]] : nullptr;
                        bool trigger = false;
                        if (cell.note >= 1 && cell.note <= 96 && c.sample) {
                            const int real = cell.note - 1 + c.sample->relativeNote;
                            c.period = 7680 - real * 64 - c.sample->finetune / 2;
                            trigger = true;
                        }
                        if (cell.instrument && c.sample) {
                            c.volume = c.sample->volume;
                            c.panning = c.sample->panning;
                            c.vol = EnvState{};
                            c.vol.output = 64;
                            c.pan = EnvState{};
                            c.pan.output = 32;
                            c.keyOff = false;
                            c.fade = 65536;
                        }
                        if (cell.volume >= 0x10 && cell.volume <= 0x50) c.volume = cell.volume - 0x10;
                        if (cell.note == kKeyOff) c.keyOff = true;
                        stepEnvelopes(c);
                        if (cell.effect == 0x0C) c.volume = cell.param;
                        if (cell.effect == 0x0F) {
                            if (cell.param < 32) speed = cell.param;
                            else bpm = cell.param;
                        }
                        if (trigger) {
                            if (c.voice.sample) {
                                Voice old = c.voice;
                                setTargets(old, 0, 0);
                                fading.push_back(old);
                            }
                            c.voice = Voice{};
                            c.voice.sample = c.sample;
                        }
                    } else {
                        stepEnvelopes(c);
                    }
                    if (c.voice.sample) {
                        const double f = 8363.0 * pow2Of((4608.0 - c.period) / 768.0);
                        c.voice.step = f / kRate;
                    }
                    updateGains(c);
                }
                const int frames = static_cast<int>(kRate * 5 / (2 * bpm));
                const size_t at = out.size();
                out.resize(at + 2 * static_cast<size_t>(frames), 0.0f);
                for (Chan& c : chans) mixVoice(c.voice, &out[at], frames);
                for (Voice& v : fading) mixVoice(v, &out[at], std::min(frames, kRamp));
                fading.clear();
            }
        }
    }
    return out;
}

MixFigures measure(const std::vector<float>& stereo, long framesPerOrder, long quietFrom) {
    MixFigures f;
    f.frames = static_cast<long>(stereo.size() / 2);
    const double quiet = 32768.0 * 0.001;  // -60 dBFS
    double sum = 0, orderSum = 0;
    long quietRun = 0, longest = 0;
    for (long i = 0; i < f.frames; ++i) {
        const double l = stereo[2 * static_cast<size_t>(i)], r = stereo[2 * static_cast<size_t>(i) + 1];
        f.peak = std::max(f.peak, std::max(std::fabs(l), std::fabs(r)) / 32768.0);
        sum += l * l + r * r;
        orderSum += l * l + r * r;
        if ((i + 1) % framesPerOrder == 0) {
            f.orderRms.push_back(std::sqrt(orderSum / (2.0 * framesPerOrder)) / 32768.0);
            orderSum = 0;
        }
        if (i >= quietFrom) {
            quietRun = (std::fabs(l) < quiet && std::fabs(r) < quiet) ? quietRun + 1 : 0;
            longest = std::max(longest, quietRun);
        }
    }
    f.rms = f.frames ? std::sqrt(sum / (2.0 * f.frames)) / 32768.0 : 0.0;
    f.longestQuietSeconds = longest / kRate;
    return f;
}

std::vector<uint8_t> wavFile(const std::vector<float>& stereo, long first, long count) {
    std::vector<uint8_t> w;
    auto u32 = [&w](uint32_t v) {
        for (int i = 0; i < 4; ++i) w.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto u16 = [&w](uint32_t v) {
        w.push_back(static_cast<uint8_t>(v));
        w.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto tag = [&w](const char* t) {
        for (int i = 0; i < 4; ++i) w.push_back(static_cast<uint8_t>(t[i]));
    };
    const uint32_t bytes = static_cast<uint32_t>(count) * 4;
    tag("RIFF");
    u32(36 + bytes);
    tag("WAVE");
    tag("fmt ");
    u32(16);
    u16(1);
    u16(2);
    u32(44100);
    u32(44100 * 4);
    u16(4);
    u16(16);
    tag("data");
    u32(bytes);
    for (long i = 0; i < count; ++i)
        for (int side = 0; side < 2; ++side) {
            const size_t at = 2 * static_cast<size_t>(first + i) + static_cast<size_t>(side);
            double v = at < stereo.size() ? std::nearbyint(stereo[at]) : 0.0;
            v = v > 32767 ? 32767 : (v < -32768 ? -32768 : v);
            u16(static_cast<uint16_t>(static_cast<int16_t>(v)));
        }
    return w;
}

}  // namespace musicgen
