#include "instruments.h"

#include <cmath>
#include <functional>

#include "dsp.h"

namespace musicgen {

namespace {

constexpr double kDrumRate = 33452.0;  // 4 x 8363: plays at its own rate at C-4 with relative note 24

double roundOf(double x) { return floorOf(x + 0.5); }

// ---------------------------------------------------------------- additive

struct Partial {
    uint32_t cycles;  // whole cycles per loop
    uint32_t offset;  // phase, in table steps
    double amp;
    double freq;      // Hz at the sample's own rate
};

struct Additive {
    uint32_t loopLength;  // L: every partial repeats exactly after L frames
    double rate;
    std::vector<Partial> partials;

    double cycleFrequency(uint32_t cycles) const { return cycles * rate / loopLength; }

    // Adds one band-limited saw (or square) voice of `cycles` cycles per loop.
    void addWave(uint32_t cycles, double amp, uint32_t phase, double maxFreq, bool square) {
        for (uint32_t h = 1;; ++h) {
            const double f = cycleFrequency(cycles * h);
            if (f > maxFreq) break;
            if (square && h % 2 == 0) continue;
            const double sign = (!square && h % 2 == 0) ? -1.0 : 1.0;
            partials.push_back({cycles * h, static_cast<uint32_t>((uint64_t(phase) * h) % loopLength),
                                sign * amp / h, f});
        }
    }

    void addSine(uint32_t cycles, double amp, uint32_t phase) {
        partials.push_back({cycles, phase % loopLength, amp, cycleFrequency(cycles)});
    }

    // Renders `attack` frames in which gain(t, f) shapes each partial, then
    // one loop of L frames with the gains frozen at t = attack.
    std::vector<double> render(uint32_t attack, const std::function<double(double, double)>& gain) const {
        std::vector<double> table(loopLength);
        for (uint32_t i = 0; i < loopLength; ++i) table[i] = sinTurns(static_cast<double>(i) / loopLength);
        const uint32_t total = attack + loopLength;
        std::vector<double> out(total, 0.0);
        std::vector<double> frozen(partials.size());
        const double tA = attack / rate;
        for (size_t k = 0; k < partials.size(); ++k) frozen[k] = partials[k].amp * gain(tA, partials[k].freq);
        // Cost: partials x (attack + L) table lookups.
        for (uint32_t t = 0; t < total; ++t) {
            const double seconds = t / rate;
            double sum = 0.0;
            for (size_t k = 0; k < partials.size(); ++k) {
                const Partial& p = partials[k];
                const double a = t < attack ? p.amp * gain(seconds, p.freq) : frozen[k];
                sum += a * table[(uint64_t(p.cycles) * t + p.offset) % loopLength];
            }
            out[t] = sum;
        }
        return out;
    }
};

uint32_t cyclesFor(double freq, double rate, uint32_t loopLength) {
    return static_cast<uint32_t>(roundOf(freq * loopLength / rate));
}

void fadeIn(std::vector<double>& s, size_t frames) {
    for (size_t i = 0; i < frames && i < s.size(); ++i) s[i] *= static_cast<double>(i) / frames;
}

// Tapers the last `frames` frames to zero so a one-shot ends without a click.
void fadeOut(std::vector<double>& s, size_t frames) {
    const size_t n = s.size();
    for (size_t i = 0; i < frames && i < n; ++i) s[n - 1 - i] *= static_cast<double>(i) / frames;
}

SampleData makeSample(const char* name, std::vector<double> signal, double peak) {
    SampleData s;
    s.name = name;
    s.frames = normalise(signal, peak);
    return s;
}

void loopAll(SampleData& s, uint32_t start, LoopType type) {
    s.loop = type;
    s.loopStart = start;
    s.loopLength = static_cast<uint32_t>(s.frames.size()) - start;
}

void drumTuning(SampleData& s, double rate, int nativeNote) { tuneSample(s, rate, noteFrequency(nativeNote)); }

Envelope envelope(std::vector<EnvelopePoint> points, int sustain = -1, int loopStart = -1, int loopEnd = -1) {
    Envelope e;
    e.points = std::move(points);
    e.sustain = sustain;
    e.loopStart = loopStart;
    e.loopEnd = loopEnd;
    return e;
}

InstrumentData single(const char* name, SampleData sample) {
    InstrumentData ins;
    ins.name = name;
    ins.samples.push_back(std::move(sample));
    return ins;
}

// ---------------------------------------------------------------- drums

SampleData kickSample() {
    const double rate = kDrumRate, length = 0.36;
    const size_t n = static_cast<size_t>(length * rate);
    std::vector<double> s(n);
    Rng rng(0x4B1C4B1Cu);
    Biquad clickFilter = Biquad::highpass(1500.0, 0.7, rate);
    double phase = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = i / rate;
        // The pitch falls from a knock to a low thump.
        const double f = 46.0 + 120.0 * expOf(-t / 0.03) + 300.0 * expOf(-t / 0.005);
        phase += f / rate;
        const double body = sinTurns(phase) * expOf(-t / 0.13);
        const double click = clickFilter.run(rng.bipolar()) * expOf(-t / 0.0015) * 0.35;
        s[i] = tanhOf(1.4 * (body + click));
    }
    fadeOut(s, static_cast<size_t>(0.06 * rate));
    SampleData out = makeSample("kick", s, 0.97);
    drumTuning(out, rate, kDrumNote);
    return out;
}

SampleData snareSample() {
    const double rate = kDrumRate, length = 0.26;
    const size_t n = static_cast<size_t>(length * rate);
    std::vector<double> s(n);
    Rng rng(0x5A4E5A4Eu);
    Biquad band = Biquad::bandpass(4200.0, 0.6, rate), high = Biquad::highpass(1100.0, 0.7, rate);
    double p1 = 0.0, p2 = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = i / rate;
        p1 += (180.0 + 70.0 * expOf(-t / 0.01)) / rate;
        p2 += 331.0 / rate;
        const double tone = sinTurns(p1) * expOf(-t / 0.045) * 0.8 + sinTurns(p2) * expOf(-t / 0.025) * 0.35;
        const double noise = high.run(band.run(rng.bipolar()) * 2.0 + rng.bipolar() * 0.3) * expOf(-t / 0.075);
        s[i] = tanhOf(1.4 * (0.7 * tone + noise));
    }
    fadeOut(s, static_cast<size_t>(0.05 * rate));
    SampleData out = makeSample("snare", s, 0.95);
    drumTuning(out, rate, kDrumNote);
    return out;
}

SampleData clapSample() {
    const double rate = kDrumRate, length = 0.32;
    const size_t n = static_cast<size_t>(length * rate);
    std::vector<double> s(n);
    Rng rng(0xC1A9C1A9u);
    Biquad lowBand = Biquad::bandpass(1150.0, 1.5, rate), highBand = Biquad::bandpass(2500.0, 1.0, rate);
    Biquad roomLow = Biquad::lowpass(5000.0, 0.7, rate), roomHigh = Biquad::highpass(700.0, 0.7, rate);
    for (size_t i = 0; i < n; ++i) {
        const double t = i / rate;
        // Three short slaps, then the tail of the fourth: many hands.
        double env = 0.0;
        for (int k = 0; k < 3; ++k) {
            const double tk = k * 0.0095;
            if (t >= tk) env += expOf(-(t - tk) / 0.0032);
        }
        const double t3 = 3 * 0.0095;
        if (t >= t3) env += expOf(-(t - t3) / 0.065);
        const double x = rng.bipolar();
        const double hands = (lowBand.run(x) + 1.0 * highBand.run(x)) * env;
        const double room = t > 0.012 ? roomHigh.run(roomLow.run(rng.bipolar())) * expOf(-(t - 0.012) / 0.13) * 0.16 : 0.0;
        s[i] = hands + room;
    }
    // Saturate the slaps so the clap carries as much body as its peak allows.
    double peak = 0.0;
    for (double v : s) peak = std::fmax(peak, std::fabs(v));
    for (double& v : s) v = tanhOf(2.2 * v / peak);
    fadeOut(s, static_cast<size_t>(0.06 * rate));
    SampleData out = makeSample("clap", s, 0.95);
    drumTuning(out, rate, kDrumNote);
    return out;
}

// Six detuned square oscillators and noise through highpass filters: the
// classic analogue metal.
std::vector<double> metal(size_t n, double rate, const double* freqs, int count, double noiseMix, double cutoff,
                          double decay, uint32_t seed, double sheenMix = 0.8) {
    std::vector<double> s(n);
    Rng rng(seed);
    Biquad h1 = Biquad::highpass(cutoff, 0.7, rate), h2 = Biquad::highpass(cutoff, 0.7, rate);
    Biquad sheen = Biquad::bandpass(10000.0, 1.2, rate);
    std::vector<double> phase(static_cast<size_t>(count), 0.0);
    for (int k = 0; k < count; ++k) phase[static_cast<size_t>(k)] = rng.unit();
    for (size_t i = 0; i < n; ++i) {
        const double t = i / rate;
        double x = 0.0;
        for (int k = 0; k < count; ++k) {
            double& p = phase[static_cast<size_t>(k)];
            p += freqs[k] / rate;
            p -= floorOf(p);
            x += p < 0.5 ? 1.0 : -1.0;
        }
        x = x / count + noiseMix * rng.bipolar();
        const double y = h2.run(h1.run(x));
        s[i] = (y + sheenMix * sheen.run(y)) * (decay > 0 ? expOf(-t / decay) : 1.0);
    }
    return s;
}

InstrumentData hats() {
    static const double freqs[6] = {317.0, 465.0, 557.0, 678.0, 803.0, 1027.0};
    // More noise and a louder 10 kHz sheen than the crash: the hats are
    // what the top octave of the mix is made of.
    std::vector<double> closed = metal(static_cast<size_t>(0.09 * kDrumRate), kDrumRate, freqs, 6, 1.2, 6500.0, 0.028,
                                       0x4A751u, 2.4);
    fadeOut(closed, 300);
    std::vector<double> open = metal(static_cast<size_t>(0.30 * kDrumRate), kDrumRate, freqs, 6, 1.2, 6000.0, 0.10,
                                     0x09E4u, 2.4);
    fadeOut(open, static_cast<size_t>(0.08 * kDrumRate));
    InstrumentData ins;
    ins.name = "hats (closed / open)";
    SampleData c = makeSample("closed hat", closed, 0.95);
    SampleData o = makeSample("open hat", open, 0.95);
    drumTuning(c, kDrumRate, kDrumNote - 12);
    drumTuning(o, kDrumRate, kDrumNote);
    c.panning = 68;
    o.panning = 80;
    ins.samples.push_back(std::move(c));
    ins.samples.push_back(std::move(o));
    for (int i = 0; i < 96; ++i) ins.keymap[i] = i < 48 ? 0 : 1;
    return ins;
}

SampleData crashSample() {
    static const double freqs[7] = {341.0, 497.0, 611.0, 783.0, 927.0, 1213.0, 1599.0};
    const double rate = kDrumRate;
    const size_t n = static_cast<size_t>(0.56 * rate), hold = static_cast<size_t>(0.28 * rate);
    std::vector<double> s = metal(n, rate, freqs, 7, 1.2, 4200.0, 0.0, 0xC4A5u);
    // Decay until the loop, then level: the volume envelope carries the
    // long tail while the ping-pong loop keeps the wash going.
    for (size_t i = 0; i < n; ++i) {
        const double t = (i < hold ? i : hold) / rate;
        s[i] *= 0.35 + 0.65 * expOf(-t / 0.09);
    }
    fadeIn(s, 40);
    SampleData out = makeSample("crash", s, 0.95);
    out.eightBit = true;
    drumTuning(out, rate, kDrumNote);
    loopAll(out, static_cast<uint32_t>(hold), LoopType::pingPong);
    return out;
}

SampleData riserSample() {
    const double rate = kDrumRate;
    const size_t n = static_cast<size_t>(0.34 * rate);
    std::vector<double> s(n);
    Rng rng(0x515Eu);
    Biquad band = Biquad::bandpass(1500.0, 2.5, rate), air = Biquad::highpass(3000.0, 0.7, rate);
    for (size_t i = 0; i < n; ++i) {
        const double x = rng.bipolar();
        s[i] = band.run(x) * 2.0 + 0.25 * air.run(x);
    }
    fadeIn(s, 200);
    SampleData out = makeSample("noise sweep", s, 0.9);
    out.eightBit = true;
    drumTuning(out, rate, kDrumNote);
    loopAll(out, 700, LoopType::pingPong);
    return out;
}

// ---------------------------------------------------------------- tonal

// Played with roots from C2 to B2: a saw and a square an octave apart from
// the sub, the filter opening to about 1 kHz and a touch of saturation, so
// the bass speaks in the low mids on small speakers too.
SampleData bassSample() {
    const double rate = 16726.0;
    Additive a{4096, rate, {}};
    const uint32_t m = cyclesFor(110.0, rate, a.loopLength);
    a.addWave(m, 1.0, 0, 7000.0, false);
    a.addWave(m, 0.5, 0, 7000.0, true);
    a.addSine(m, 0.45, 0);
    // A resonant four-pole sweep that settles near 1 kHz within a sixteenth.
    auto gain = [](double t, double f) {
        const double cutoff = 950.0 + 2400.0 * expOf(-t / 0.04);
        return lowpassGain(f, cutoff, 1.3) * lowpassGain(f, cutoff, 0.7);
    };
    std::vector<double> s = a.render(2048, gain);
    double peak = 0.0;
    for (double v : s) peak = std::fmax(peak, std::fabs(v));
    for (double& v : s) v = tanhOf(1.7 * v / peak);
    fadeIn(s, 24);
    SampleData out = makeSample("bass", s, 0.95);
    tuneSample(out, rate, a.cycleFrequency(m));
    loopAll(out, 2048, LoopType::forward);
    return out;
}

// The sub under the bass: a sine with a touch of its octave, so it is felt
// on big speakers and still heard on small ones. Played on the bass's roots.
SampleData subSample() {
    const double rate = 8363.0;
    Additive a{4096, rate, {}};
    const uint32_t m = cyclesFor(110.0, rate, a.loopLength);
    a.addSine(m, 1.0, 0);
    a.addSine(2 * m, 0.18, 0);
    std::vector<double> s = a.render(0, [](double, double) { return 1.0; });
    SampleData out = makeSample("sub", s, 0.95);
    tuneSample(out, rate, a.cycleFrequency(m));
    loopAll(out, 0, LoopType::forward);
    return out;
}

// One pad voice: three detuned saws through a soft lowpass. The chords are
// voiced note by note on three channels.
SampleData padSample() {
    const double rate = 16726.0;
    Additive a{16384, rate, {}};
    Rng rng(0x9AD1u);
    const uint32_t m = cyclesFor(220.0, rate, a.loopLength);
    // About eight cents of detune either side.
    const uint32_t d = static_cast<uint32_t>(roundOf(m * 0.0046)) > 0 ? static_cast<uint32_t>(roundOf(m * 0.0046)) : 1;
    a.addWave(m - d, 0.7, rng.next() % a.loopLength, 5000.0, false);
    a.addWave(m, 1.0, rng.next() % a.loopLength, 5000.0, false);
    a.addWave(m + d, 0.7, rng.next() % a.loopLength, 5000.0, false);
    auto gain = [](double, double f) { return lowpassGain(f, 1700.0, 0.8) * lowpassGain(f, 2200.0, 0.6); };
    std::vector<double> s = a.render(0, gain);
    SampleData out = makeSample("pad voice", s, 0.95);
    tuneSample(out, rate, a.cycleFrequency(m));
    loopAll(out, 0, LoopType::forward);
    return out;
}

SampleData pluckSample() {
    const double rate = 22050.0;
    Additive a{8192, rate, {}};
    const uint32_t m = cyclesFor(784.0, rate, a.loopLength);
    a.addWave(m - 2, 1.0, 0, 8000.0, false);
    a.addWave(m + 2, 0.7, 1000, 8000.0, true);
    auto gain = [](double t, double f) {
        const double cutoff = 2200.0 + 6000.0 * expOf(-t / 0.02);
        return lowpassGain(f, cutoff, 2.0) * lowpassGain(f, cutoff, 0.7);
    };
    std::vector<double> s = a.render(1764, gain);
    fadeIn(s, 16);
    SampleData out = makeSample("pluck", s, 0.95);
    tuneSample(out, rate, a.cycleFrequency(m));
    loopAll(out, 1764, LoopType::forward);
    return out;
}

SampleData leadSample() {
    const double rate = kDrumRate;
    Additive a{8192, rate, {}};
    Rng rng(0x1EADu);
    const uint32_t m = cyclesFor(1047.0, rate, a.loopLength);
    const int detune[5] = {0, -2, 2, -5, 5};
    const double amps[5] = {1.0, 0.8, 0.8, 0.6, 0.6};
    for (int k = 0; k < 5; ++k)
        a.addWave(static_cast<uint32_t>(static_cast<int>(m) + detune[k]), amps[k], rng.next() % a.loopLength, 15000.0,
                  false);
    // The filter stays open far enough that the detuned saws shimmer in the
    // upper octaves, with a gentle shelf of about +3 dB from 2.5 kHz up: enough
    // presence to carry the hook without tilting the whole mix upwards.
    auto gain = [](double t, double f) {
        const double shelf = 1.0 + 0.4 * f * f / (f * f + 2500.0 * 2500.0);
        return shelf * lowpassGain(f, 6000.0 + 5000.0 * expOf(-t / 0.03), 0.9);
    };
    std::vector<double> s = a.render(1700, gain);
    fadeIn(s, 24);
    SampleData out = makeSample("supersaw", s, 0.95);
    tuneSample(out, rate, a.cycleFrequency(m));
    loopAll(out, 1700, LoopType::forward);
    return out;
}

SampleData bellSample() {
    const double rate = 22050.0;
    Additive a{4096, rate, {}};
    const uint32_t m = cyclesFor(880.0, rate, a.loopLength);
    struct Mode {
        double ratio, amp, decay;
    };
    static const Mode modes[7] = {{1.0, 1.0, 0.6},   {2.0, 0.45, 0.3},  {3.0, 0.25, 0.2},  {4.07, 0.22, 0.08},
                                  {5.43, 0.15, 0.05}, {6.79, 0.10, 0.04}, {8.9, 0.08, 0.02}};
    std::vector<double> decays;
    for (const Mode& mode : modes) {
        a.addSine(static_cast<uint32_t>(roundOf(m * mode.ratio)), mode.amp, 0);
        decays.push_back(mode.decay);
    }
    // The gain callback sees only frequencies, so map each back to its mode.
    const double base = a.cycleFrequency(m);
    auto gain = [base](double t, double f) {
        const double ratio = f / base;
        double decay = 0.6;
        for (const Mode& mode : modes)
            if (ratio > mode.ratio - 0.05 && ratio < mode.ratio + 0.05) decay = mode.decay;
        return expOf(-t / decay);
    };
    std::vector<double> s = a.render(3300, gain);
    fadeIn(s, 8);
    SampleData out = makeSample("glass bell", s, 0.95);
    tuneSample(out, rate, base);
    loopAll(out, 3300, LoopType::forward);
    return out;
}

}  // namespace

double noteFrequency(int noteByte) { return 440.0 * pow2Of((noteByte - 58) / 12.0); }

void tuneSample(SampleData& sample, double rate, double fundamental) {
    const double semitones = 12.0 * log2Of(rate * 440.0 / (fundamental * 8363.0)) - 9.0;
    int relative = static_cast<int>(floorOf(semitones + 0.5));
    // The linear table uses finetune / 2: steps of 1/64 semitone.
    int steps = static_cast<int>(floorOf((semitones - relative) * 64.0 + 0.5));
    if (steps > 63) {
        steps -= 64;
        relative += 1;
    }
    sample.relativeNote = static_cast<int8_t>(relative);
    sample.finetune = static_cast<int8_t>(steps * 2);
}

std::vector<int16_t> normalise(const std::vector<double>& signal, double peak) {
    double maxAbs = 0.0;
    for (double v : signal) maxAbs = std::fmax(maxAbs, std::fabs(v));
    const double scale = maxAbs > 0.0 ? peak * 32767.0 / maxAbs : 0.0;
    std::vector<int16_t> out(signal.size());
    for (size_t i = 0; i < signal.size(); ++i) out[i] = static_cast<int16_t>(floorOf(signal[i] * scale + 0.5));
    return out;
}

std::vector<InstrumentData> makeInstruments() {
    std::vector<InstrumentData> list;

    list.push_back(single("kick drum", kickSample()));
    list.push_back(single("snare drum", snareSample()));
    InstrumentData clap = single("hand clap", clapSample());
    clap.samples[0].panning = 140;
    list.push_back(std::move(clap));
    list.push_back(hats());

    InstrumentData bass = single("rolling bass", bassSample());
    bass.volumeEnvelope = envelope({{0, 64}, {4, 50}, {12, 40}}, 2);
    bass.fadeout = 2048;
    list.push_back(std::move(bass));

    InstrumentData chords = single("pad", padSample());
    chords.volumeEnvelope = envelope({{0, 0}, {10, 64}, {60, 52}}, 2);
    // A slow sway across the stereo field, looping for as long as the chord.
    chords.panningEnvelope = envelope({{0, 32}, {60, 44}, {180, 20}, {240, 32}}, -1, 0, 3);
    chords.fadeout = 600;
    list.push_back(std::move(chords));

    InstrumentData pluck = single("arp pluck", pluckSample());
    pluck.samples[0].panning = 212;
    pluck.volumeEnvelope = envelope({{0, 64}, {3, 44}, {10, 22}, {24, 8}, {40, 0}});
    list.push_back(std::move(pluck));

    InstrumentData lead = single("supersaw lead", leadSample());
    lead.samples[0].panning = 108;
    lead.volumeEnvelope = envelope({{0, 0}, {2, 64}, {10, 50}}, 2);
    lead.fadeout = 1600;
    lead.vibratoType = 0;
    lead.vibratoSweep = 24;
    lead.vibratoDepth = 6;
    lead.vibratoRate = 18;
    list.push_back(std::move(lead));

    InstrumentData bell = single("glass bell", bellSample());
    bell.samples[0].panning = 72;
    bell.volumeEnvelope = envelope({{0, 64}, {6, 40}, {30, 18}, {80, 6}, {140, 0}});
    list.push_back(std::move(bell));

    InstrumentData crash = single("crash cymbal", crashSample());
    crash.samples[0].panning = 168;
    crash.volumeEnvelope = envelope({{0, 64}, {10, 40}, {40, 16}, {100, 0}});
    list.push_back(std::move(crash));

    InstrumentData riser = single("noise riser", riserSample());
    riser.samples[0].panning = 150;
    riser.volumeEnvelope = envelope({{0, 64}, {8, 64}}, 1);
    riser.fadeout = 3000;
    list.push_back(std::move(riser));

    InstrumentData sub = single("sub bass", subSample());
    sub.volumeEnvelope = envelope({{0, 0}, {2, 64}, {8, 60}}, 2);
    sub.fadeout = 4096;
    list.push_back(std::move(sub));

    return list;
}

}  // namespace musicgen
