#include "paint_kit.h"

namespace paint {

double sinD(double x) {
    double k = std::floor(x / kTwoPi + 0.5);
    x = (x - k * 6.28318530717958623200) - k * 2.44929359829470635e-16;
    if (x > kPi / 2)
        x = kPi - x;
    else if (x < -kPi / 2)
        x = -kPi - x;
    const double x2 = x * x;
    return x * (1 + x2 * (-1 / 6.0 + x2 * (1 / 120.0 + x2 * (-1 / 5040.0 + x2 * (1 / 362880.0 +
           x2 * (-1 / 39916800.0 + x2 * (1 / 6227020800.0 + x2 * (-1 / 1307674368000.0))))))));
}

double cosD(double x) { return sinD(x + kPi / 2); }

double expD(double x) {
    if (x < -700) return 0;
    if (x > 700) x = 700;
    const double ln2 = 0.69314718055994530942;
    double k = std::floor(x / ln2 + 0.5);
    double r = x - k * ln2;
    double sum = 1, term = 1;
    for (int i = 1; i <= 13; ++i) {
        term *= r / i;
        sum += term;
    }
    return std::ldexp(sum, int(k));
}

double logD(double x) {
    if (x <= 0) return -1e300;
    int e = 0;
    double m = std::frexp(x, &e);  // x = m * 2^e, m in [0.5, 1)
    if (m < 0.70710678118654752) {
        m *= 2;
        --e;
    }
    const double s = (m - 1) / (m + 1), s2 = s * s;
    double term = s, sum = 0;
    for (int i = 1; i <= 25; i += 2) {
        sum += term / i;
        term *= s2;
    }
    return 2 * sum + e * 0.69314718055994530942;
}

double powD(double base, double exponent) { return base <= 0 ? 0 : expD(exponent * logD(base)); }

static double atanSmall(double x) {
    // Two half-angle steps bring |x| <= 1 down to |x| <= tan(pi/16).
    x = x / (1 + std::sqrt(1 + x * x));
    x = x / (1 + std::sqrt(1 + x * x));
    const double x2 = x * x;
    double term = x, sum = 0;
    for (int i = 1; i <= 23; i += 2) {
        sum += (i & 2 ? -term : term) / i;
        term *= x2;
    }
    return 4 * sum;
}

double atan2D(double y, double x) {
    if (x == 0 && y == 0) return 0;
    const double ax = std::fabs(x), ay = std::fabs(y);
    double a = ay <= ax ? atanSmall(ay / ax) : kPi / 2 - atanSmall(ax / ay);
    if (x < 0) a = kPi - a;
    return y < 0 ? -a : a;
}

double noise(double x, double y, uint32_t seed) {
    const double fx = std::floor(x), fy = std::floor(y);
    const int32_t ix = int32_t(fx), iy = int32_t(fy);
    const double tx = x - fx, ty = y - fy;
    const double u = tx * tx * tx * (tx * (tx * 6 - 15) + 10);
    const double v = ty * ty * ty * (ty * (ty * 6 - 15) + 10);
    const double a = hash2(ix, iy, seed), b = hash2(ix + 1, iy, seed);
    const double c = hash2(ix, iy + 1, seed), d = hash2(ix + 1, iy + 1, seed);
    return mixD(mixD(a, b, u), mixD(c, d, u), v);
}

double fbm(double x, double y, int octaves, uint32_t seed, double gain) {
    double sum = 0, amplitude = 0.5, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * noise(x, y, seed + uint32_t(i) * 101u);
        norm += amplitude;
        amplitude *= gain;
        // Rotate and scale between octaves so lattice lines do not line up.
        const double nx = x * 1.6 - y * 1.2 + 17.3, ny = x * 1.2 + y * 1.6 - 9.1;
        x = nx;
        y = ny;
    }
    return sum / norm;
}

double ridged(double x, double y, int octaves, uint32_t seed) {
    double sum = 0, amplitude = 0.5, norm = 0, weight = 1;
    for (int i = 0; i < octaves; ++i) {
        double n = 1 - std::fabs(noise(x, y, seed + uint32_t(i) * 131u) * 2 - 1);
        n = n * n * weight;
        weight = clamp01(n * 2);
        sum += amplitude * n;
        norm += amplitude;
        amplitude *= 0.5;
        const double nx = x * 1.7 - y * 1.1 + 3.7, ny = x * 1.1 + y * 1.7 - 5.3;
        x = nx;
        y = ny;
    }
    return sum / norm;
}

void Canvas::addGlow(double cx, double cy, double radius, Rgb color) {
    const int reach = int(radius * 3) + 1;
    const int x0 = std::max(0, int(cx) - reach), x1 = std::min(width - 1, int(cx) + reach);
    const int y0 = std::max(0, int(cy) - reach), y1 = std::min(height - 1, int(cy) + reach);
    const double inv = 1.0 / (radius * radius);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const double dx = x - cx, dy = y - cy;
            const double d2 = (dx * dx + dy * dy) * inv;
            if (d2 < 9) at(x, y) = at(x, y) + color * (1.0 / (1 + d2 * 6) * (1 - d2 / 9));
        }
}

void Canvas::addStars(uint32_t seed, double density, double brightness, int cell) {
    Random random(seed);
    for (int cy = 0; cy < height; cy += cell)
        for (int cx = 0; cx < width; cx += cell) {
            const double roll = random.uniform();
            const double px = cx + random.uniform() * cell, py = cy + random.uniform() * cell;
            const double level = random.uniform();
            const double tint = random.uniform();
            if (roll > density) continue;
            const double b = brightness * level * level * level;
            const Rgb color = mix(Rgb{0.75, 0.85, 1.0}, Rgb{1.0, 0.85, 0.7}, tint) * b;
            addGlow(px, py, 0.6 + level * 0.6, color);
            if (level > 0.985) {
                // A glint: a soft cross through the brightest stars.
                for (int k = -14; k <= 14; ++k) {
                    const double fall = b * 0.35 / (1 + std::fabs(double(k)) * 0.6);
                    const int sx = int(px) + k, sy = int(py) + k;
                    if (sx >= 0 && sx < width && int(py) >= 0 && int(py) < height) at(sx, int(py)) = at(sx, int(py)) + color * (fall / b);
                    if (sy >= 0 && sy < height && int(px) >= 0 && int(px) < width) at(int(px), sy) = at(int(px), sy) + color * (fall / b);
                }
            }
        }
}

std::vector<unsigned char> Canvas::toBytes(uint32_t seed) const {
    std::vector<unsigned char> out(pixels.size() * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb c = pixels[size_t(y) * width + x];
            const double dither = hash2(x, y, seed) - 0.5;
            const double v[3] = {c.r, c.g, c.b};
            for (int k = 0; k < 3; ++k) {
                double s = v[k] * 255 + 0.5 + dither * 0.9;
                s = s < 0 ? 0 : (s > 255 ? 255 : s);
                out[(size_t(y) * width + x) * 3 + k] = static_cast<unsigned char>(s);
            }
        }
    return out;
}

}  // namespace paint
