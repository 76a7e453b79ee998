// The two ring pictures of the title scenes, the banner and the sprite.
#include "painters.h"

namespace paint {

namespace {

Rgb hue(double h) {
    // A bright rainbow: three phase-shifted cosines.
    return {0.5 + 0.5 * cosD(kTwoPi * (h + 0.0)), 0.5 + 0.5 * cosD(kTwoPi * (h + 0.667)),
            0.5 + 0.5 * cosD(kTwoPi * (h + 0.333))};
}

}  // namespace

// The opening twists this into rings around its centre: colour changes with
// angle, brightness with radius, so the spin and the swirl both read.
Canvas paintOpeningRings() {
    Canvas c(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const double dx = x - 128, dy = y - 128;
            const double r = std::sqrt(dx * dx + dy * dy) / 128.0;
            const double a = atan2D(dy, dx);
            const double petals = std::fabs(cosD(4 * a + r * 5));
            const double rings = 0.5 + 0.5 * cosD(r * 38);
            const double spokes = smoothstep(0.8, 0.97, std::fabs(cosD(12 * a - r * 3)));
            Rgb col = hue(a / kTwoPi * 2 + r * 0.6) * (0.35 + 0.65 * smoothstep(0.2, 0.9, petals));
            col = col * (0.55 + 0.45 * rings) + Rgb{1, 1, 0.9} * (spokes * 0.45 * (1 - r));
            col = col + Rgb{1, 0.95, 0.8} * expD(-r * 9);
            col = col * smoothstep(1.05, 0.9, r);
            c.at(x, y) = tonemap(col);
        }
    return c;
}

// The closing tower of rings: a warm spiral that turns as it sinks. Its
// tower stacks the rings so that the rows of the closing words are painted
// mostly by radii 0.19 to 0.5 (half of those rows' ring pixels); the blur
// smears the yellow words along their rows as well, so that band is kept dark
// and calm, a violet moat between a small white core and the bright arms
// outside, and the words read against it.
Canvas paintClosingRings() {
    Canvas c(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const double dx = x - 128, dy = y - 128;
            const double r = std::sqrt(dx * dx + dy * dy) / 128.0 + 1e-6;
            const double a = atan2D(dy, dx);
            const double arms = 0.5 + 0.5 * cosD(3 * a + logD(r) * 6);
            const double fine = 0.5 + 0.5 * cosD(r * 24);
            const double calm = smoothstep(0.44, 0.62, r);  // 0 in the moat, 1 outside it
            // Rose and ember rather than gold: the words are yellow.
            Rgb bright = mix(hex(0x3a0c5a), hex(0xd02858), smoothstep(0.2, 0.7, arms));
            bright = mix(bright, hex(0xff8840), smoothstep(0.8, 1.0, arms));
            const Rgb dark = mix(hex(0x100520), hex(0x3a1048), smoothstep(0.3, 0.9, arms));
            Rgb col = mix(dark, bright, calm) * (0.7 + 0.3 * fine);
            col = col + hex(0xfff0c0) * (expD(-(r * r) / (0.09 * 0.09)) * 1.3);
            col = col * smoothstep(1.05, 0.92, r);
            c.at(x, y) = tonemap(col);
        }
    return c;
}

namespace {

// Distance from p to the segment a-b.
double segment(double px, double py, double ax, double ay, double bx, double by) {
    const double vx = bx - ax, vy = by - ay, wx = px - ax, wy = py - ay;
    const double t = clamp01((wx * vx + wy * vy) / (vx * vx + vy * vy));
    const double dx = wx - vx * t, dy = wy - vy * t;
    return std::sqrt(dx * dx + dy * dy);
}

// Distance to a ring of radius r around c.
double ring(double px, double py, double cx, double cy, double r) {
    const double dx = px - cx, dy = py - cy;
    return std::fabs(std::sqrt(dx * dx + dy * dy) - r);
}

// Distance to the arc of radius r around c between the angles a0 < a1
// (radians, y down, so negative angles are above the centre).
double arc(double px, double py, double cx, double cy, double r, double a0, double a1) {
    const double a = atan2D(py - cy, px - cx);
    if (a >= a0 && a <= a1) return ring(px, py, cx, cy, r);
    const double x0 = px - cx - r * cosD(a0), y0 = py - cy - r * sinD(a0);
    const double x1 = px - cx - r * cosD(a1), y1 = py - cy - r * sinD(a1);
    return std::sqrt(std::min(x0 * x0 + y0 * y0, x1 * x1 + y1 * y1));
}

// Distance from p to a stadium ring: the outline of a capsule of radius r
// round the vertical segment from (cx, y0) to (cx, y1).
double stadium(double px, double py, double cx, double y0, double y1, double r) {
    return std::fabs(segment(px, py, cx, y0, cx, y1) - r);
}

// Stroke half-width of the letters' metal and of metal plus outline.
constexpr double kStroke = 3.75, kOutlined = kStroke + 2.5;

// Distance to the stroke skeleton of "^vorna", laid out in banner pixels:
// geometric lowercase with an x-height from y = 25 to the baseline at 68 and
// the caret riding high before it. The scene blits the banner at y = 520 of a
// 600-row screen, so only its top 80 rows are ever seen: outline and shadow
// end by row 77. The scene also cuts away every even column of the banner, so
// no two letters come closer than 15.5 between skeletons: at least three
// columns of backdrop (one or two of them kept) between the outlines, which
// keeps "r" and "n" apart. The letters are narrow enough that, slanted, the
// whole logo with its outline, rim, shadow and spark keeps a margin of three
// pixels or more from the left, right and top edges: the caret's outline
// starts at x = 4 and y = 4, the a's stem (with its shadow) ends at x = 196.
double lettering(double x, double y) {
    const double top = 25, base = 68;
    double d = 1e9;
    auto add = [&](double v) { d = std::min(d, v); };
    // ^
    add(segment(x, y, 9.5, 22, 16.5, 10));
    add(segment(x, y, 16.5, 10, 23.5, 22));
    // v: 13 from the caret's foot, so their outlines do not merge
    add(segment(x, y, 37, top, 46, base));
    add(segment(x, y, 46, base, 55, top));
    // o: a tall round-ended ring filling the x-height
    add(stadium(x, y, 77.5, top + 11, base - 11, 11));
    // r: stem and a short shoulder that stops well short of the n
    add(segment(x, y, 104, top, 104, base));
    add(arc(x, y, 113, top + 11, 9, -kPi, -kPi / 3));
    // n: stem, arch, right leg
    add(segment(x, y, 133, top, 133, base));
    add(arc(x, y, 142, top + 11, 9, -kPi, 0));
    add(segment(x, y, 151, top + 11, 151, base));
    // a: a round bowl closed by a stem on its right
    add(stadium(x, y, 177, top + 10.5, base - 10.5, 10.5));
    add(segment(x, y, 187.5, top, 187.5, base));
    return d;
}

}  // namespace

// The logo: the drawn strokes slanted forward, each stroke shaded as a
// rounded bar of gold lit from the upper left with a white glint along its
// crest, ringed by a dark outline with a thin pale rim at its outside edge
// (dark reads on the light backdrops, the rim on the dark ones), a drop
// shadow, and a four-pointed spark on the caret's tip. Every band is at
// least two pixels wide, so it survives the scene cutting away every other
// column.
std::vector<unsigned char> paintBanner() {
    const int w = 200, h = 95;
    // Rows are slid left in proportion to their depth below the x-height:
    // an italic that leans forward without changing any row's spacing.
    const double slant = 0.2, top = 25;
    auto logo = [&](double x, double y) { return lettering(x + (y - top) * slant, y); };
    const double lx = -0.55, ly = -0.62, lz = 0.56;  // the light, towards the upper left and the viewer
    std::vector<unsigned char> out(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double d = logo(x, y);
            const double shadow = logo(x - 2.5, y - 2.5);
            const double sx = x - 19.0, sy = y - 9.5;  // the spark, on the caret's tip
            const double spark = expD(-(sx * sx + sy * sy) / 5.0) +
                                 0.9 * (expD(-sy * sy / 1.2) * expD(-sx * sx / 110.0) + expD(-sx * sx / 1.2) * expD(-sy * sy / 36.0));
            Rgb col;
            bool solid = true;
            if (d < kStroke) {
                // The bar's surface: a half cylinder round the stroke's skeleton.
                const double gx = logo(x + 0.5, y) - logo(x - 0.5, y), gy = logo(x, y + 0.5) - logo(x, y - 0.5);
                const double g = std::sqrt(gx * gx + gy * gy) + 1e-9;
                const double r = d / kStroke, nz = std::sqrt(clamp01(1.0 - r * r));
                const double nx = gx / g * r, ny = gy / g * r;
                const double diffuse = clamp01(nx * lx + ny * ly + nz * lz);
                // Reflection of the view ray (0, 0, 1) about the normal, against the light.
                const double rx = 2 * nz * nx, ry = 2 * nz * ny, rz = 2 * nz * nz - 1;
                const double glint = powD(clamp01(rx * lx + ry * ly + rz * lz) + 1e-9, 24);
                // Gold at the top to ember at the foot.
                const double t = clamp01((y - 6) / 68.0);
                Rgb metal = mix(hex(0xffe890), hex(0xffa818), smoothstep(0.0, 0.5, t));
                metal = mix(metal, hex(0xd8380c), smoothstep(0.55, 1.0, t));
                col = metal * (0.35 + 0.8 * diffuse) + Rgb{1, 1, 1} * (0.9 * glint);
            } else if (d < kOutlined - 1.0) {
                col = hex(0x1a0830);  // the outline
            } else if (d < kOutlined) {
                col = hex(0x9ad8ff);  // its pale rim
            } else if (shadow < kOutlined) {
                col = hex(0x200a40);  // a drop shadow down and right
            } else {
                solid = false;
            }
            if (spark > 0.3 && y < 24) {
                col = solid ? mix(col, Rgb{1, 1, 1}, clamp01(spark)) : mix(hex(0xffd860), Rgb{1, 1, 1}, clamp01(spark - 0.3));
                solid = true;
            }
            unsigned char* p = &out[(size_t(y) * w + x) * 3];
            if (!solid) {
                p[0] = 0;
                p[1] = 0;
                p[2] = 255;
                continue;
            }
            col = Rgb{clamp01(col.r), clamp01(col.g), clamp01(col.b)};
            p[0] = static_cast<unsigned char>(col.r * 255 + 0.5);
            p[1] = static_cast<unsigned char>(col.g * 255 + 0.5);
            // Keep drawn pixels off the exact key colour.
            p[2] = static_cast<unsigned char>(std::min(254.0, col.b * 255 + 0.5));
        }
    return out;
}

std::vector<unsigned char> paintSprite() {
    const int w = 64, h = 51;
    std::vector<unsigned char> out(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double dx = (x + 0.5 - 32) / 32.0, dy = (y + 0.5 - 25.5) / 25.5;
            const double r2 = dx * dx + dy * dy;
            // A round core, a soft halo and four thin rays: a small star.
            const double core = expD(-r2 * 30);
            const double halo = expD(-r2 * 8) * 0.5;
            const double rays = (expD(-dy * dy * 900) * expD(-dx * dx * 3) + expD(-dx * dx * 900) * expD(-dy * dy * 3)) * 0.8;
            const double diag = expD(-(dx - dy) * (dx - dy) * 400) * expD(-r2 * 8) * 0.35 +
                                expD(-(dx + dy) * (dx + dy) * 400) * expD(-r2 * 8) * 0.35;
            const double level = std::min(1.2, core + halo + rays + diag);
            unsigned char* p = &out[(size_t(y) * w + x) * 3];
            if (level < 0.12) {
                p[0] = 255;
                p[1] = 0;
                p[2] = 255;
                continue;
            }
            // Near-neutral, so each sprite's tint decides its colour. The halo
            // eases down to a mid grey (about 110) where the key cuts it off,
            // not to a dark one: no dirty fringe over light backdrops, and a
            // gentle slope instead of rings that step down to black.
            const double v = powD(clamp01(level * 0.85), 0.75);
            const double whiteCore = clamp01((level - 0.8) * 2);
            p[0] = static_cast<unsigned char>(72 + 183 * v);
            p[1] = static_cast<unsigned char>(72 + 168 * v + 15 * whiteCore);
            p[2] = static_cast<unsigned char>(80 + 160 * v + 15 * whiteCore);
        }
    return out;
}

}  // namespace paint
