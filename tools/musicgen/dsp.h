// Signal-processing helpers of the music generator.
//
// Owns: nothing but small value types (the PRNG, filters) and pure functions.
// Thread: the generator is single-threaded.
// Not for: the player. Everything here exists to make sample data that is the
// same bit for bit on every build, so it uses only + - * / and sqrt on doubles
// (exactly rounded everywhere) and never the C maths library, whose sin, exp
// and log differ in their last bits between x86-64 and i386.
#pragma once

#include <cstdint>

namespace musicgen {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLn2 = 0.69314718055994530942;

double floorOf(double x);
// sin(2 pi x): x is in turns, not radians.
double sinTurns(double x);
inline double cosTurns(double x) { return sinTurns(x + 0.25); }
double expOf(double x);
double logOf(double x);
inline double log2Of(double x) { return logOf(x) / kLn2; }
inline double pow2Of(double x) { return expOf(x * kLn2); }
double tanhOf(double x);

// xorshift32: small, seeded, identical everywhere.
struct Rng {
    uint32_t state;
    explicit Rng(uint32_t seed) : state(seed ? seed : 0x9E3779B9u) {}
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    // Uniform in [-1, 1).
    double bipolar() { return (static_cast<double>(next() >> 8) / 8388608.0) - 1.0; }
    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 8) / 16777216.0; }
};

// A biquad section in direct form I, coefficients from the textbook
// bilinear-transform designs (lowpass, highpass, constant-peak bandpass).
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;

    static Biquad lowpass(double cutoff, double q, double rate);
    static Biquad highpass(double cutoff, double q, double rate);
    static Biquad bandpass(double centre, double q, double rate);

    double run(double x) {
        double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// Magnitude of a resonant two-pole lowpass at frequency f; used to shape the
// partials of additive voices, which is filtering without any phase drift.
double lowpassGain(double f, double cutoff, double q);

}  // namespace musicgen
