// The seven backdrops of the timeline, each composed for the model drawn over it.
#include "painters.h"

namespace paint {

namespace {

// Domain-warped fbm: soft, folded shapes for clouds and gas.
double warped(double x, double y, uint32_t seed, int octaves = 6) {
    const double qx = fbm(x, y, 4, seed + 1), qy = fbm(x + 5.2, y + 1.3, 4, seed + 2);
    return fbm(x + 3.0 * qx, y + 3.0 * qy, octaves, seed + 3);
}

}  // namespace

// Picture 1: a nebula behind the white sphere. Cool blue gas on the left, a
// warm magenta-gold core off in the upper right corner, and across the middle,
// where the sphere swings, a dark cloud of dust with ragged edges, so that the
// white sphere and its scattered faces stand against the dark.
Canvas paintNebula() {
    Canvas c(800, 600);
    std::vector<double> clouds(c.pixels.size());
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const double u = x / 600.0, v = y / 600.0;
            const double gas = warped(u * 2.2, v * 2.2, 11);
            const double fine = fbm(u * 9, v * 9, 4, 21);
            const double dust = smoothstep(0.45, 0.7, fbm(u * 3.5 + 7, v * 3.5, 6, 31));
            // Brightest towards a core at (680, 120).
            const double dx = (x - 680) / 330.0, dy = (y - 120) / 300.0;
            const double core = expD(-(dx * dx + dy * dy) * 2.2);
            // The dark cloud: an ellipse round the screen's middle, its rim frayed by noise.
            const double ex = (x - 400) / 300.0, ey = (y - 300) / 250.0;
            const double rim = std::sqrt(ex * ex + ey * ey) + (fbm(u * 5 + 3, v * 5 + 9, 5, 41) - 0.5) * 0.5;
            const double cloud = 1 - smoothstep(0.7, 1.15, rim);
            const double density = smoothstep(0.35, 0.85, gas) * (0.35 + 0.65 * core) + fine * 0.08;
            Rgb deep = mix(hex(0x05071a), hex(0x0b1640), v);
            Rgb cool = mix(hex(0x1b4f9c), hex(0x3fb3c9), smoothstep(0.5, 0.9, gas));
            Rgb warm = mix(hex(0xb0307a), hex(0xffb347), smoothstep(0.6, 1.0, gas * core * 1.6));
            Rgb tint = mix(cool, warm, smoothstep(0.15, 0.7, core + (fine - 0.5) * 0.3));
            Rgb col = deep + tint * (density * 1.15);
            col = col + mix(hex(0xffd9a0), hex(0xffffff), core) * (core * core * 0.55);
            col = col * (1 - dust * 0.75 * (0.4 + 0.6 * smoothstep(0.3, 0.8, gas)));
            // The cloud's rim catches a little of the core's warm light.
            col = col + hex(0x6a2a48) * (smoothstep(0.75, 0.95, rim) * (1 - smoothstep(0.95, 1.2, rim)) * (0.12 + 1.4 * core));
            clouds[static_cast<size_t>(y) * c.width + x] = cloud;
            c.at(x, y) = col;
        }
    c.addStars(101, 0.22, 1.3, 5);
    c.addGlow(680, 120, 6, Rgb{1.4, 1.3, 1.2});
    c.addGlow(120, 500, 3, Rgb{0.8, 0.9, 1.3});
    // The dust hides the stars behind it as well as the gas, but not a glowing
    // heart in its middle: a broad teal-violet glow behind the sphere's path,
    // so the sphere and its tinted copies stand against light, not black on black.
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const size_t i = static_cast<size_t>(y) * c.width + x;
            const double gx = (x - 400) / 250.0, gy = (y - 300) / 135.0;
            const double heart = expD(-(gx * gx + gy * gy) * 1.6) * (0.8 + 0.4 * fbm(x / 90.0, y / 60.0, 4, 45));
            const Rgb glow = mix(hex(0x2a1850), hex(0x3c8ca8), smoothstep(0.2, 0.9, heart)) * (heart * 1.2);
            c.pixels[i] = mix(c.pixels[i], hex(0x03040c) + c.pixels[i] * 0.1 + glow, clouds[i] * 0.9);
        }
    for (Rgb& p : c.pixels) p = tonemap(p);
    return c;
}

// Picture 2: a pasture at dusk for the cow. The low sun over violet hills with
// crisp ridges, a far line of trees on the field's edge, a barn with its silo
// and a farmhouse with lit windows, a wooden fence crossing the meadow, a
// large tree framing the left, and grass that grows from a fine haze of tips
// far off to single blades in the foreground.
namespace {

struct Tree {
    double x, ground, height, width;  // trunk foot, crown height and half-width in pixels
    uint32_t seed;
    Rgb color;
};

// How much of pixel (x, y) the tree covers, 0 .. 1, with a soft one-pixel
// edge; the crown is a cluster of lobes frayed by noise.
double treeCover(const Tree& t, double x, double y) {
    const double trunkTop = t.ground - t.height * 0.45;
    const double trunkHalf = std::max(0.7, t.width * 0.09) * (1.0 + 0.6 * clamp01((y - trunkTop) / (t.ground - trunkTop)));
    double cover = 0;
    if (y <= t.ground && y >= trunkTop) cover = clamp01(trunkHalf + 0.5 - std::fabs(x - t.x));
    // Lobes: one over the trunk and seven scattered round it, sizes and places from the seed.
    double inside = 1e9;
    for (int k = 0; k < 8; ++k) {
        const double ox = k == 0 ? 0.0 : (hash2(k, 1, t.seed) - 0.5) * 1.3, oy = k == 0 ? 0.0 : (hash2(k, 2, t.seed) - 0.5) * 0.9;
        const double lx = t.x + ox * t.width, ly = t.ground - t.height * (0.68 + 0.25 * oy);
        const double r = (k == 0 ? 0.6 : 0.3 + 0.22 * hash2(k, 3, t.seed)) * t.width;
        const double dx = x - lx, dy = (y - ly) * 1.15;
        inside = std::min(inside, std::sqrt(dx * dx + dy * dy) - r);
    }
    const double scale = std::max(3.0, t.width * 0.12);
    inside += (fbm(x / scale, y / scale, 4, t.seed) - 0.5) * t.width * 0.35;
    return std::max(cover, clamp01(0.5 - inside));
}

// Coverage of the half-plane below a ridge line at height ridge, over one pixel.
double below(double y, double ridge) { return clamp01(y - ridge + 0.5); }

// Inside a polygon (even-odd), for the buildings' straight silhouettes.
bool inPolygon(double x, double y, const double* px, const double* py, int n) {
    bool in = false;
    for (int i = 0, j = n - 1; i < n; j = i++)
        if ((py[i] > y) != (py[j] > y) && x < (px[j] - px[i]) * (y - py[i]) / (py[j] - py[i]) + px[i]) in = !in;
    return in;
}

// The barn (gambrel roof), its silo and the farmhouse, as a coverage with
// its colour: 0 outside, 1 inside; windows glow.
double farmCover(double x, double y, Rgb& color) {
    // Four sub-samples per pixel for clean roof slopes.
    static const double barnX[] = {118, 118, 124, 148, 172, 196, 202, 202};
    static const double barnY[] = {447, 417, 402, 386, 386, 402, 417, 447};
    static const double houseX[] = {256, 256, 281, 306, 306};
    static const double houseY[] = {445, 424, 408, 424, 445};
    static const double chimneyX[] = {293, 293, 299, 299};
    static const double chimneyY[] = {420, 405, 405, 420};
    int hits = 0, lit = 0;
    for (int s = 0; s < 4; ++s) {
        const double sx = x + 0.25 + 0.5 * (s & 1), sy = y + 0.25 + 0.5 * (s >> 1);
        bool barn = inPolygon(sx, sy, barnX, barnY, 8);
        bool silo = (sx >= 206 && sx <= 222 && sy >= 380 && sy <= 447) ||
                    ((sx - 214) * (sx - 214) + (sy - 380) * (sy - 380) * 2.2 < 64);
        bool house = inPolygon(sx, sy, houseX, houseY, 5) || inPolygon(sx, sy, chimneyX, chimneyY, 4);
        if (barn || silo || house) ++hits;
        // Lit windows: two in the house, a hayloft door in the barn.
        bool window = (house && sy > 428 && sy < 436 && ((sx > 263 && sx < 270) || (sx > 290 && sx < 297))) ||
                      (barn && sx > 155 && sx < 165 && sy > 398 && sy < 408);
        lit += window;
    }
    color = mix(hex(0x1c1020), hex(0xffc860), lit / 4.0);
    return hits / 4.0;
}

}  // namespace

Canvas paintPasture() {
    Canvas c(800, 600);
    const double sunX = 560, sunY = 318;
    // Trees: a far line on the field's edge, a middle group round the farm,
    // and one large tree framing the left.
    std::vector<Tree> trees;
    Random rnd(2002);
    for (double x = 8; x < 800; x += rnd.range(9, 26)) {
        if (x > 110 && x < 320) continue;  // the farm stands there
        if (rnd.uniform() < 0.25) continue;
        trees.push_back({x, 412 + rnd.range(-2, 2), rnd.range(12, 26), rnd.range(5, 10), uint32_t(rnd.next()), hex(0x2a2140)});
    }
    const double middle[][3] = {{95, 60, 24}, {236, 52, 20}, {338, 70, 28}, {372, 48, 18}, {640, 58, 22}, {690, 44, 17}};
    for (const auto& t : middle) trees.push_back({t[0], 448, t[1], t[2], uint32_t(rnd.next()), hex(0x1d1a2c)});
    trees.push_back({58, 560, 330, 118, 77, hex(0x120f18)});
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const double v = y / 600.0;
            // Sky: indigo above, rose and amber towards the horizon.
            Rgb sky = mix(hex(0x1c1a4a), hex(0x7a3f7a), smoothstep(0.0, 0.35, v));
            sky = mix(sky, hex(0xf0875a), smoothstep(0.3, 0.52, v));
            sky = mix(sky, hex(0xffd08a), smoothstep(0.48, 0.56, v));
            const double sdx = (x - sunX) / 600.0, sdy = (y - sunY) / 600.0;
            const double sd = std::sqrt(sdx * sdx + sdy * sdy);
            // A large hot sun in a wide band of fire along the horizon: the one
            // bright shape that still reads when the picture is blurred to a few blocks.
            const double band = expD(-(y - sunY) * (y - sunY) / 2200.0) * expD(-std::fabs(x - sunX) / 330.0);
            sky = sky + hex(0xffb060) * (expD(-sd * 5) * 1.1) + hex(0xff7028) * (band * 0.75) +
                  hex(0xffffe8) * smoothstep(0.058, 0.05, sd);
            // Streaks of cloud, lit from below near the sun.
            const double cloud = smoothstep(0.5, 0.75, fbm(x / 260.0, y / 45.0, 6, 41)) * smoothstep(0.5, 0.15, v);
            Rgb cloudColor = mix(hex(0x4a2c5e), hex(0xffa070), expD(-sd * 3.5) * 0.9 + 0.1);
            Rgb col = mix(sky, cloudColor, cloud * 0.85);
            const double sunSide = expD(-std::fabs(x - sunX) / 220.0);

            // Two ranges of hills with crisp crests, the far one hazier.
            const double far = 372 - 46 * ridged(x / 300.0, 0.5, 5, 51);
            const double nearHill = 404 - 30 * smoothstep(0.15, 0.85, fbm(x / 210.0, 3.1, 4, 52));
            Rgb farColor = mix(hex(0x9a6a8a), hex(0xd89080), 0.35 * sunSide) * (0.92 + 0.16 * fbm(x / 30.0, y / 12.0, 3, 61));
            col = mix(col, farColor + hex(0xff9a5a) * (0.25 * expD(-(y - far) / 4.0) * sunSide), below(y, far));
            Rgb nearColor = hex(0x3a2a4c) * (0.9 + 0.2 * fbm(x / 25.0, y / 8.0, 3, 62));
            col = mix(col, nearColor + hex(0xff9a5a) * (0.3 * expD(-(y - nearHill) / 3.0) * sunSide), below(y, nearHill));

            // The meadow from the field's edge at y = 410 to the foot of the picture.
            if (y >= 409) {
                const double depth = clamp01((y - 410) / 190.0);  // 0 far .. 1 near
                const double scale = 1.0 + 9.0 * depth * depth;     // how large things are at this depth
                // Olive going violet-black towards the front: the light has left the field.
                // Dark already at the field's edge, so the field stays a dark mass under the sky.
                Rgb grass = mix(hex(0x2a3218), hex(0x080b06), smoothstep(0.0, 0.6, depth));
                grass = mix(grass, hex(0x3a2c48), 0.3 * (1.0 - depth));  // violet dusk haze far off
                const double patches = fbm(x / (40.0 * scale), y / (6.0 * scale), 4, 71);
                grass = grass * (0.8 + 0.4 * patches);
                // Blades: one per narrow column cell, taller towards the front, tips lit by the sun.
                const double cell = 1.0 + 2.5 * depth;
                const int column = int(x / cell);
                const double h = hash2(column, int(y / (3.0 + 14.0 * depth)), 73);
                const double tip = fmod(y + h * 40.0, 3.0 + 14.0 * depth) / (3.0 + 14.0 * depth);
                const double blade = smoothstep(0.55, 0.0, tip) * (0.5 + 0.5 * hash2(column, 5, 74));
                grass = grass * (0.75 + 0.45 * blade) + hex(0xffb070) * (blade * 0.1 * (0.3 + sunSide) * (1.0 - 0.6 * depth));
                // A faint warm sheen on the grass below the sun.
                grass = grass + hex(0xd07a5a) * (0.1 * sunSide * expD(-depth * 5.0));
                col = mix(col, grass, below(y, 410));
            }

            // The farm.
            Rgb farm;
            const double farmAmount = farmCover(x, y, farm);
            if (farmAmount > 0) col = mix(col, farm, farmAmount);

            // Trees, far to near.
            for (const Tree& t : trees) {
                if (std::fabs(x - t.x) > t.width * 1.6 + 2 || y > t.ground + 1 || y < t.ground - t.height * 1.2) continue;
                const double cover = treeCover(t, x, y);
                if (cover <= 0) continue;
                Rgb tc = t.color + hex(0xff9a5a) * (0.1 * clamp01((x - t.x) / t.width));  // rim on the sun's side
                col = mix(col, tc, cover);
            }

            // A post-and-rail fence crossing the meadow, nearer on the left.
            {
                auto fenceY = [](double fx) { return 505.0 - 45.0 * fx / 800.0; };  // the ground line
                auto postHeight = [](double fx) { return 46.0 - 22.0 * fx / 800.0; };
                const double ground = fenceY(x), tall = postHeight(x);
                Rgb wood = hex(0x2a1a14) + hex(0xff9a5a) * (0.12 * sunSide);
                double fence = 0;
                for (int rail = 0; rail < 2; ++rail) {
                    const double ry = ground - tall * (rail ? 0.85 : 0.45), half = tall * 0.05 + 0.4;
                    fence = std::max(fence, clamp01(half + 0.5 - std::fabs(y - ry)));
                }
                // Posts every so often along the line, spaced wider in front.
                double px = 0;
                for (int k = 0; k < 30 && px < 820; ++k) {
                    const double w = postHeight(px) * 0.1 + 0.6;
                    if (y >= fenceY(px) - postHeight(px) - 2 && y <= fenceY(px) + 2)
                        fence = std::max(fence, clamp01(w + 0.5 - std::fabs(x - px)));
                    px += postHeight(px) * 1.9;
                }
                col = mix(col, wood, fence);
            }
            c.at(x, y) = col;
        }
    return c;
}

// Picture 3: a Julia set in deep blue and gold behind the spring. Only the
// top-left 800x600 shows on screen, so its heart sits there.
Canvas paintJulia() {
    Canvas c(1024, 768);
    const double cr = -0.7269, ci = 0.1889;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            double zr = (x - 400) / 300.0, zi = (y - 300) / 300.0;
            double trap = 1e9;
            int n = 0;
            const int limit = 200;
            // Bounded by the iteration limit per pixel.
            for (; n < limit && zr * zr + zi * zi < 256; ++n) {
                const double t = zr * zr - zi * zi + cr;
                zi = 2 * zr * zi + ci;
                zr = t;
                trap = std::min(trap, std::fabs(zr * zr + zi * zi - 0.25));
            }
            Rgb col;
            const double glow = expD(-trap * 9);
            if (n == limit) {
                col = hex(0x02040c) + hex(0x3060c0) * (glow * 0.6);
            } else {
                const double m = zr * zr + zi * zi;
                const double smooth = n + 1 - logD(logD(m) * 0.5 / 0.693147) / 0.693147;
                const double t = smooth / 30.0;
                const double band = 0.5 + 0.5 * cosD(t * 9.0 + 0.8);
                Rgb base = mix(hex(0x040a24), hex(0x1a4c9c), clamp01(t * 1.8));
                base = mix(base, hex(0xf0a830), smoothstep(0.3, 0.9, band) * clamp01(t * 3.0 - 0.2));
                base = base + hex(0xffffff) * (smoothstep(0.9, 1.0, band) * clamp01(t * 2 - 0.3) * 0.5);
                col = base + hex(0x4080ff) * (glow * 0.35);
            }
            const double dx = (x - 400) / 700.0, dy = (y - 300) / 700.0;
            col = col * (1.0 - 0.35 * (dx * dx + dy * dy)) + hex(0x0a1838) * 0.5;
            c.at(x, y) = col;
        }
    c.addStars(303, 0.05, 0.6, 8);
    for (Rgb& p : c.pixels) p = tonemap(p * 0.9);
    return c;
}

namespace {

// A mountain range against the night; returns the ridge height at x.
double ridgeAt(double x, double base, double amp, double freq, uint32_t seed) {
    return base - amp * ridged(x * freq, 0.5, 5, seed);
}

}  // namespace

// Picture 4: a moonlit lake under violet mountains behind the magnolia.
Canvas paintMoonLake() {
    Canvas c(800, 600);
    const double moonX = 230, moonY = 140, moonR = 46, horizon = 392;
    Canvas stars(800, 600);
    stars.addStars(505, 0.16, 0.9, 5);
    auto skyAndLand = [&](double x, double y, bool mirrored) {
        const double v = y / horizon;
        Rgb sky = mix(hex(0x080a24), hex(0x2a2a6a), smoothstep(0.0, 1.0, v));
        sky = mix(sky, hex(0x6a5a9a), smoothstep(0.75, 1.0, v));
        const double mdx = x - moonX, mdy = y - moonY;
        const double md = std::sqrt(mdx * mdx + mdy * mdy);
        // A wide halo round a bright moon: it stays a bright patch when blurred.
        sky = sky + hex(0xa0b0ff) * (expD(-md / 110.0) * 0.7) + hex(0x8090e0) * (expD(-md / 260.0) * 0.3) +
              hex(0xe0e8ff) * (expD(-md / 30.0) * 0.35);
        if (md < moonR) {
            const double maria = fbm(mdx / 18.0, mdy / 18.0, 5, 404);
            sky = mix(hex(0xfffcf0), hex(0xd8d8e8), smoothstep(0.5, 0.75, maria)) * (1.3 - 0.2 * md / moonR);
        }
        const double mist = fbm(x / 300.0, y / 40.0, 4, 410);
        sky = sky + hex(0x8070b0) * (smoothstep(0.5, 0.9, mist) * smoothstep(0.55, 0.95, v) * 0.25);
        // Three ranges, far and pale to near and dark.
        const double far = ridgeAt(x, 330, 120, 1 / 260.0, 420);
        const double mid = ridgeAt(x + 300, 372, 90, 1 / 180.0, 421);
        const double near = ridgeAt(x + 900, 392, 40, 1 / 120.0, 422);
        Rgb col = sky + stars.at(int(x) < 0 ? 0 : (int(x) > 799 ? 799 : int(x)), int(y)) * (md < moonR ? 0.0 : (mirrored ? 0.5 : 1.0));
        if (y > far) {
            const double snow = smoothstep(0.58, 0.8, ridged(x / 60.0, y / 30.0, 4, 430)) * smoothstep(far + 60, far, y);
            // Faces turned to the moon (up and left) lit, the others in shadow:
            // the slope of the crest line a little either side tells which way a face turns.
            const double slope = ridgeAt(x + 14, 330, 120, 1 / 260.0, 420) - ridgeAt(x - 14, 330, 120, 1 / 260.0, 420);
            const double lit = smoothstep(6, -6, slope);
            col = mix(hex(0x1c1c4a), hex(0x7a7ab8), lit);
            col = mix(col, hex(0xc8d0f8) * (0.55 + 0.45 * lit), snow * 0.85);
            col = mix(col, hex(0x3a3870), smoothstep(far + 30, horizon, y) * 0.5);
        }
        if (y > mid) col = mix(hex(0x141634), hex(0x22244e), fbm(x / 40.0, y / 20.0, 4, 440) * 0.8) * (mirrored ? 0.8 : 1.0);
        if (y > near) col = hex(0x06070f) * (0.8 + 0.4 * fbm(x / 12.0, y / 8.0, 3, 450));
        return col;
    };
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            if (y < horizon) {
                c.at(x, y) = skyAndLand(x, y, false);
                continue;
            }
            // The lake mirrors the scene with ripples that widen towards us.
            const double depth = (y - horizon) / (600.0 - horizon);
            const double ripple = (fbm(x / (30.0 + 60 * depth), y / (3.0 + 10 * depth), 4, 460) - 0.5);
            const double my = horizon - (y - horizon) + ripple * (6 + 30 * depth);
            const double mx = x + ripple * (4 + 12 * depth);
            Rgb col = skyAndLand(mx, std::max(0.0, std::min(horizon - 1, my)), true) * (0.6 - 0.3 * depth);
            // A broad column of glitter below the moon, bright enough to stay a
            // pale stripe down the dark water when blurred.
            const double spread = (x - moonX) / (30 + 120 * depth);
            const double path = expD(-spread * spread);
            const double sparkle = smoothstep(0.55, 0.75, fbm(x / 3.0, y / 1.5, 3, 470));
            col = col + hex(0xdde4ff) * (path * sparkle * 1.3);
            col = col + hex(0x8090d0) * (path * 0.22);
            c.at(x, y) = col;
        }
    // Near-black pines on the near shore at both sides frame the lake: the
    // foreground's dark mass. Each is a stack of tiers, narrow at the top.
    const double pines[][3] = {{22, 600, 250}, {70, 600, 190}, {112, 602, 130}, {728, 600, 210}, {778, 600, 270}, {688, 604, 120}};
    for (const auto& pine : pines)
        for (int y = int(pine[1] - pine[2]); y < 600; ++y)
            for (int x = std::max(0, int(pine[0] - pine[2] * 0.3)); x < std::min(800, int(pine[0] + pine[2] * 0.3) + 1); ++x) {
                const double up = (pine[1] - y) / pine[2];  // 0 at the foot .. 1 at the tip
                const double tier = fmod(up * 7.0, 1.0);       // each tier widest at its foot
                const double half = pine[2] * 0.26 * (1.0 - up) * (0.55 + 0.45 * (1.0 - tier)) + 1.5;
                const double cover = clamp01(half + 0.5 - std::fabs(x - pine[0])) * (up <= 1.0 ? 1.0 : 0.0);
                if (cover > 0) c.at(x, y) = mix(c.at(x, y), hex(0x020208), cover);
            }
    // The near shore itself, a dark bank across the foot of the picture.
    for (int x = 0; x < 800; ++x) {
        const double bank = 572 + 14 * fbm(x / 90.0, 0.5, 4, 480);
        for (int y = int(bank); y < 600; ++y) c.at(x, y) = mix(c.at(x, y), hex(0x020208), clamp01(y - bank + 0.5));
    }
    for (Rgb& p : c.pixels) p = tonemap(p);
    return c;
}

namespace {

struct Sphere {
    Vec3 center;
    double radius;
    Rgb color;
    double mirror;  // share of reflected light
};

// The spheres stand at the two edges of the picture: the middle, from a
// little left of centre to well right of it, is where steps 18 to 21 put the
// teddy and scatter its faces, and is kept empty, dark and calm for them.
const Sphere kSpheres[] = {
    {{-5.3, 1.1, 3.0}, 1.1, {0.9, 0.92, 1.0}, 0.85},  // chrome, left edge
    {{-7.2, 0.6, 8.0}, 0.6, {0.35, 0.8, 0.9}, 0.4},   // cyan, far left
    {{-3.6, 0.3, 0.2}, 0.3, {0.95, 0.95, 1.0}, 0.7},  // small mirror, left foreground
    {{5.4, 0.8, 2.6}, 0.8, {0.25, 0.35, 0.9}, 0.35},  // cobalt, right edge
    {{7.4, 0.45, 6.5}, 0.45, {0.7, 0.3, 0.9}, 0.3},   // violet, far right
};

const Vec3 kSun = normalize(Vec3{-0.45, 0.32, 0.83});

Rgb duskSky(Vec3 d) {
    const double h = clamp01(d.y * 1.6);
    const double sun = clamp01(dot(d, kSun));
    // The afterglow lies along the horizon under the sun and fades out
    // towards the right; the rest of the sky is already night.
    const double glow = smoothstep(0.55, 0.95, sun);
    Rgb sky = mix(mix(hex(0x3a1a50), hex(0xff7a7a), glow), hex(0x3a1a5a), smoothstep(0.0, 0.35, h));
    sky = mix(sky, hex(0x0c0c30), smoothstep(0.2, 0.9, h));
    sky = sky + hex(0xffc080) * (powD(sun, 40) * 0.8) + hex(0xffe0b0) * (powD(sun, 600) * 2.0);
    return sky;
}

// The nearest hit along the ray: t, and which sphere (-1 for the floor).
bool traceHit(Vec3 o, Vec3 d, double& t, int& which) {
    t = 1e30;
    which = -2;
    for (int i = 0; i < int(sizeof kSpheres / sizeof kSpheres[0]); ++i) {
        const Vec3 oc = o - kSpheres[i].center;
        const double b = dot(oc, d), cc = dot(oc, oc) - kSpheres[i].radius * kSpheres[i].radius;
        const double disc = b * b - cc;
        if (disc <= 0) continue;
        const double hit = -b - std::sqrt(disc);
        if (hit > 1e-4 && hit < t) {
            t = hit;
            which = i;
        }
    }
    if (d.y < -1e-6) {
        const double hit = -o.y / d.y;
        if (hit > 1e-4 && hit < t) {
            t = hit;
            which = -1;
        }
    }
    return which != -2;
}

double sunVisibility(Vec3 p) {
    // Four taps across the sun's disc soften the shadow edges.
    double lit = 0;
    const Vec3 taps[4] = {{0.04, 0, 0}, {-0.04, 0, 0}, {0, 0.04, 0}, {0, -0.04, 0}};
    for (const Vec3& tap : taps) {
        double t;
        int which;
        const Vec3 dir = normalize(kSun + tap);
        if (!traceHit(p, dir, t, which) || which == -1) lit += 0.25;
    }
    return lit;
}

// Cost: at most depth + 1 primary hits, each with four shadow rays.
Rgb shade(Vec3 o, Vec3 d, int depth) {
    double t;
    int which;
    if (!traceHit(o, d, t, which)) return duskSky(d);
    const Vec3 p = o + d * t;
    const double fog = 1 - expD(-t / 26.0);
    Rgb col;
    if (which == -1) {
        const bool dark = (int(std::floor(p.x)) + int(std::floor(p.z))) & 1;
        Rgb tile = dark ? hex(0x140c26) : hex(0x2c4658);
        const double light = 0.25 + 0.75 * sunVisibility(p) * kSun.y;
        col = tile * light;
        if (depth > 0) {
            const Vec3 r{d.x, -d.y, d.z};
            col = mix(col, shade(p, r, depth - 1), 0.28);
        }
    } else {
        const Sphere& s = kSpheres[which];
        const Vec3 n = normalize(p - s.center);
        const double diffuse = std::max(0.0, dot(n, kSun)) * sunVisibility(p);
        const Vec3 r = d - n * (2 * dot(d, n));
        const double specular = powD(std::max(0.0, dot(r, kSun)), 60) * sunVisibility(p);
        col = s.color * (0.12 + 0.8 * diffuse) + hex(0xffe6c0) * (specular * 1.2);
        if (depth > 0) col = mix(col, shade(p, r, depth - 1) * s.color, s.mirror);
    }
    return mix(col, duskSky(Vec3{d.x, 0.02, d.z}), fog);
}

}  // namespace

// Picture 5: mirror spheres on a tiled floor at dusk behind the teddy; the
// middle is left dark and quiet for the model and its scattered faces.
Canvas paintSpheres() {
    Canvas c(800, 600);
    const Vec3 eye{0, 1.5, -5.5};
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            Rgb sum{0, 0, 0};
            for (int s = 0; s < 4; ++s) {
                const double px = x + 0.25 + 0.5 * (s & 1), py = y + 0.25 + 0.5 * (s >> 1);
                const Vec3 d = normalize(Vec3{(px - 400) / 560.0, -(py - 300) / 560.0 - 0.12, 1});
                sum = sum + shade(eye, d, 2);
            }
            // A dusk shadow over the teddy's stage: the middle darkens
            // smoothly to a deep violet, where shards of any colour show.
            const double sx = (x - 440) / 330.0, sy = (y - 310) / 300.0;
            const double stage = smoothstep(1.0, 0.15, sx * sx + sy * sy);
            const Rgb lit = sum * 0.25;
            c.at(x, y) = tonemap(mix(lit, lit * 0.3 + hex(0x08040f), stage * 0.8));
        }
    return c;
}

// Picture 6: a ringed giant rising over a moon's horizon, the interlude
// between the greetings and the cow.
Canvas paintRingedPlanet() {
    Canvas c(800, 600);
    c.addStars(606, 0.2, 1.1, 5);
    const double cx = 500, cy = 250, radius = 190, tilt = -0.32;
    const double ct = cosD(tilt), st = sinD(tilt);
    const Vec3 light = normalize(Vec3{-0.7, -0.35, 0.6});
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            Rgb col = c.at(x, y);
            // A faint band of the galaxy behind everything.
            const double band = expD(-std::fabs((y - 0.55 * x) - 80) / 90.0);
            col = col + mix(hex(0x101830), hex(0x302040), fbm(x / 90.0, y / 90.0, 5, 610)) * (band * 0.8);
            // Planet and ring coordinates in the tilted frame.
            const double dx = x - cx, dy = y - cy;
            const double rx = dx * ct + dy * st, ry = -dx * st + dy * ct;
            const double ringR = std::sqrt(rx * rx + (ry / 0.2) * (ry / 0.2)) / radius;
            const double d2 = (dx * dx + dy * dy) / (radius * radius);
            auto ringColor = [&](double& alpha) {
                const double grooves = fbm(ringR * 60, 0.5, 3, 620);
                const double gap = smoothstep(1.72, 1.75, ringR) * smoothstep(1.82, 1.79, ringR);
                alpha = smoothstep(1.3, 1.36, ringR) * smoothstep(2.25, 2.15, ringR) * (0.45 + 0.5 * grooves) * (1 - gap * 0.9);
                return mix(hex(0xc8a880), hex(0xf0e0c0), grooves);
            };
            if (d2 < 1) {
                const double nz = std::sqrt(1 - d2);
                const Vec3 n{dx / radius, dy / radius, nz};
                const double lambert = std::max(0.0, dot(n, Vec3{-light.x, -light.y, light.z}));
                const double lat = ry / radius;
                const double swirl = fbm(rx / 60.0, lat * 6, 5, 630);
                const double bands = 0.5 + 0.5 * sinD(lat * 22 + swirl * 4);
                Rgb surface = mix(hex(0xb07040), hex(0xf0d8a8), bands);
                surface = mix(surface, hex(0x804028), smoothstep(0.6, 0.9, fbm(rx / 25.0, lat * 30, 4, 640)) * 0.35);
                col = surface * (0.03 + 1.05 * powD(lambert + 1e-9, 0.9));
                col = col + hex(0x80a0ff) * (powD(1 - nz, 3) * 0.25 * lambert);
                // The ring's shadow falls across the lit face.
                if (std::fabs(ry + 10 * (rx / radius)) < 14 && ry > -radius) col = col * 0.55;
            } else {
                col = col + hex(0xffc890) * (expD(-(std::sqrt(d2) - 1) * 18) * 0.25);
            }
            // The near half of the ring passes in front, the far half behind.
            double alpha;
            Rgb ring = ringColor(alpha);
            if (alpha > 0 && (ry > 0 || d2 >= 1)) {
                const double lit = 0.35 + 0.65 * clamp01(0.5 - rx / (radius * 2.2));
                col = mix(col, ring * lit, alpha);
            }
            // The moon's ground: a wide curve across the bottom.
            const double ground = 520 + (x - 300) * (x - 300) / 9000.0;
            if (y > ground) {
                const double n1 = fbm(x / 30.0, y / 8.0, 5, 650);
                Rgb rock = mix(hex(0x3a3640), hex(0x7a7480), n1);
                // Craters, squashed by the low view: dark floors, a lit far rim.
                Random craters(661);
                for (int k = 0; k < 40; ++k) {
                    const double kx = craters.range(-40, 840), ky = craters.range(530, 620);
                    const double kr = craters.range(6, 34) * (0.5 + (ky - 520) / 120.0);
                    const double ex = (x - kx) / kr, ey = (y - ky) / (kr * 0.3);
                    const double e = ex * ex + ey * ey;
                    if (e < 1.3) {
                        const double inside = smoothstep(1.0, 0.8, e);
                        rock = rock * (1 - 0.45 * inside * smoothstep(-1.0, 0.3, -ex));
                        rock = rock + hex(0xd8c8b8) * (0.35 * smoothstep(0.8, 1.0, e) * smoothstep(1.3, 1.0, e) *
                                                      clamp01(ex + 0.2));
                    }
                }
                col = rock * (0.5 + 0.6 * smoothstep(ground + 40, ground, y));
                col = col + hex(0xffe0c0) * (expD(-(y - ground) / 3.0) * 0.4);
            }
            c.at(x, y) = col;
        }
    for (Rgb& p : c.pixels) p = tonemap(p);
    return c;
}

// Picture 7: an aurora over a still, dark fjord.
Canvas paintAurora() {
    Canvas c(800, 600);
    const double horizon = 430;
    Canvas stars(800, 600);
    stars.addStars(707, 0.15, 0.8, 5);
    auto scene = [&](double x, double y, double dim) {
        const double v = y / horizon;
        Rgb col = mix(hex(0x02030c), hex(0x0c1c38), smoothstep(0.1, 1.0, v));
        col = col + stars.at(int(x), int(y)) * dim;
        // Two folded curtains: green feet, violet tops, fading in and out along their length.
        for (int k = 0; k < 2; ++k) {
            const double fold = fbm(x / 300.0 + k * 4, 0.3 + k, 4, 710 + k) - 0.5;
            const double foot = 230 + 60 * k + 220 * fold + 25 * sinD(x / 70.0 + k * 2);
            const double rise = foot - y;
            const double presence = smoothstep(0.3, 0.65, fbm(x / 200.0, 4.0 + k, 3, 715 + k));
            if (rise > -60 && presence > 0) {
                const double rays = powD(fbm(x / 7.0 + fold * 40, 0.2 + k, 3, 720 + k), 2.0);
                const double body = expD(-std::max(0.0, rise) / (70 + 40 * k)) * powD(smoothstep(-60, 8, rise), 2.5);
                const double amount = body * (0.25 + 1.3 * rays) * presence * (k == 0 ? 1.1 : 0.7);
                Rgb tint = mix(hex(0x40ff90), hex(0x9040d0), smoothstep(20, 160, rise));
                col = col + tint * amount;
            }
        }
        const double ridge = horizon - 90 * ridged(x / 220.0, 0.7, 5, 730) - 6;
        if (y > ridge) {
            const double snow = smoothstep(0.55, 0.75, fbm(x / 14.0, y / 9.0, 4, 740));
            col = mix(hex(0x05080f), hex(0x3a5868), snow * smoothstep(ridge + 45, ridge, y));
        }
        return col;
    };
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            if (y < horizon) {
                c.at(x, y) = scene(x, y, 1.0);
            } else {
                // Still water: the sky mirrored, broken by long low ripples.
                const double depth = (y - horizon) / (600 - horizon);
                const double ripple = fbm(x / 120.0, y / 2.5, 3, 750) - 0.5;
                const double mx = std::max(0.0, std::min(799.0, x + ripple * 10 * depth));
                const double my = std::max(0.0, std::min(horizon - 1, 2 * horizon - y + ripple * 14 * depth));
                c.at(x, y) = scene(mx, my, 0.4) * (0.6 - 0.25 * depth);
            }
        }
    for (Rgb& p : c.pixels) p = tonemap(p);
    return c;
}

}  // namespace paint
