// The picture generator's painting kit: colours, a small PRNG, lattice noise
// and the handful of transcendental functions the painters use.
//
// Everything here is built from +, -, *, /, sqrt and floor only, so every
// build (x86-64, i386 with SSE2 maths, sanitizers) paints the same pixels; the
// C library's sin/exp/pow differ in their last bits between those builds.
// Single-threaded generator code; not for the demo's run-time use.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace paint {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 6.28318530717958647692;

double sinD(double x);
double cosD(double x);
double expD(double x);
double logD(double x);
double powD(double base, double exponent);  // base > 0
double atan2D(double y, double x);

inline double clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
inline double mixD(double a, double b, double t) { return a + (b - a) * t; }
inline double smoothstep(double e0, double e1, double x) {
    double t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

struct Rgb {
    double r, g, b;
};
inline Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Rgb operator-(Rgb a, Rgb b) { return {a.r - b.r, a.g - b.g, a.b - b.b}; }
inline Rgb operator*(Rgb a, double s) { return {a.r * s, a.g * s, a.b * s}; }
inline Rgb operator*(Rgb a, Rgb b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
inline Rgb mix(Rgb a, Rgb b, double t) { return a + (b - a) * t; }
// A colour from 0..255 channel values.
inline Rgb hex(uint32_t rgb) {
    return {double(rgb >> 16 & 255) / 255.0, double(rgb >> 8 & 255) / 255.0, double(rgb & 255) / 255.0};
}
// A soft shoulder that keeps highlights from clipping to flat white.
inline Rgb tonemap(Rgb c) {
    auto t = [](double v) { return v <= 0 ? 0.0 : v / (1 + v * 0.25) * 1.25; };
    return {t(c.r), t(c.g), t(c.b)};
}

struct Vec3 {
    double x, y, z;
};
inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline double length(Vec3 a) { return std::sqrt(dot(a, a)); }
inline Vec3 normalize(Vec3 a) { return a * (1.0 / length(a)); }

// xorshift64*: small, fast and the same everywhere.
struct Random {
    uint64_t state;
    explicit Random(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ULL + 1) {}
    uint64_t next() {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 0x2545F4914F6CDD1DULL;
    }
    double uniform() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
    double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
};

// A value in 0..1 for one lattice point.
inline double hash2(int32_t x, int32_t y, uint32_t seed) {
    uint32_t h = uint32_t(x) * 0x8DA6B343u ^ uint32_t(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return double(h) * (1.0 / 4294967296.0);
}

// Smooth value noise in 0..1.
double noise(double x, double y, uint32_t seed);
// Fractal sum of octaves of noise, roughly 0..1.
double fbm(double x, double y, int octaves, uint32_t seed, double gain = 0.5);
// Sharp-crested noise for mountain ridges, 0..1.
double ridged(double x, double y, int octaves, uint32_t seed);

// A floating-point RGB canvas, rows top down.
struct Canvas {
    int width, height;
    std::vector<Rgb> pixels;
    Canvas(int w, int h) : width(w), height(h), pixels(size_t(w) * h, Rgb{0, 0, 0}) {}
    Rgb& at(int x, int y) { return pixels[size_t(y) * width + x]; }
    // Adds a round glow of the given colour; cost bounded by the glow's box.
    void addGlow(double cx, double cy, double radius, Rgb color);
    // Adds a star field: one star per cell at most, a few with glints.
    void addStars(uint32_t seed, double density, double brightness, int cell = 6);
    // 8-bit RGB rows with a hash dither that hides banding in smooth skies.
    std::vector<unsigned char> toBytes(uint32_t seed) const;
};

}  // namespace paint
