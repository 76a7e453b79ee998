#include "dsp.h"

#include <cmath>

namespace musicgen {

double floorOf(double x) { return std::floor(x); }  // exact on every target

double sinTurns(double x) {
    x -= floorOf(x + 0.5);  // now in [-0.5, 0.5)
    if (x > 0.25) x = 0.5 - x;
    if (x < -0.25) x = -0.5 - x;
    const double a = x * 2.0 * kPi;  // |a| <= pi/2
    const double a2 = a * a;
    // Taylor series to a^19; the first omitted term is below 1e-15 here.
    double term = a, sum = a;
    for (int k = 1; k <= 9; ++k) {
        term *= -a2 / static_cast<double>((2 * k) * (2 * k + 1));
        sum += term;
    }
    return sum;
}

double expOf(double x) {
    if (x < -700.0) return 0.0;
    if (x > 700.0) x = 700.0;
    const double k = floorOf(x / kLn2 + 0.5);
    const double r = x - k * kLn2;  // |r| <= ln2 / 2
    double term = 1.0, sum = 1.0;
    for (int n = 1; n <= 16; ++n) {
        term *= r / static_cast<double>(n);
        sum += term;
    }
    return std::ldexp(sum, static_cast<int>(k));
}

double logOf(double x) {
    if (x <= 0.0) return -1e300;
    int e = 0;
    double m = std::frexp(x, &e);  // m in [0.5, 1)
    if (m < 0.70710678118654752440) {
        m *= 2.0;
        e -= 1;
    }
    const double s = (m - 1.0) / (m + 1.0);  // |s| < 0.172
    const double s2 = s * s;
    double term = s, sum = s;
    for (int k = 1; k <= 12; ++k) {
        term *= s2;
        sum += term / static_cast<double>(2 * k + 1);
    }
    return 2.0 * sum + static_cast<double>(e) * kLn2;
}

double tanhOf(double x) {
    if (x > 20.0) return 1.0;
    if (x < -20.0) return -1.0;
    const double t = expOf(2.0 * x);
    return (t - 1.0) / (t + 1.0);
}

namespace {
struct Terms {
    double cosW, alpha;
};
Terms terms(double f, double q, double rate) {
    const double w = f / rate;  // turns per sample
    return {cosTurns(w), sinTurns(w) / (2.0 * q)};
}
Biquad normalised(double b0, double b1, double b2, double a0, double a1, double a2) {
    Biquad bq;
    bq.b0 = b0 / a0;
    bq.b1 = b1 / a0;
    bq.b2 = b2 / a0;
    bq.a1 = a1 / a0;
    bq.a2 = a2 / a0;
    return bq;
}
}  // namespace

Biquad Biquad::lowpass(double cutoff, double q, double rate) {
    const Terms t = terms(cutoff, q, rate);
    return normalised((1 - t.cosW) / 2, 1 - t.cosW, (1 - t.cosW) / 2, 1 + t.alpha, -2 * t.cosW, 1 - t.alpha);
}

Biquad Biquad::highpass(double cutoff, double q, double rate) {
    const Terms t = terms(cutoff, q, rate);
    return normalised((1 + t.cosW) / 2, -(1 + t.cosW), (1 + t.cosW) / 2, 1 + t.alpha, -2 * t.cosW, 1 - t.alpha);
}

Biquad Biquad::bandpass(double centre, double q, double rate) {
    const Terms t = terms(centre, q, rate);
    return normalised(t.alpha, 0, -t.alpha, 1 + t.alpha, -2 * t.cosW, 1 - t.alpha);
}

double lowpassGain(double f, double cutoff, double q) {
    const double r = f / cutoff;
    const double re = 1.0 - r * r;
    const double im = r / q;
    return 1.0 / std::sqrt(re * re + im * im);
}

}  // namespace musicgen
