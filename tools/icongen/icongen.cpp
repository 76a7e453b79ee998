// vorna-icongen: makes the desktop icon of ^vorna from the production's own
// banner and star sprite (the embedded raw pictures of assets/pictures), in
// the sizes that desktops ask the hicolor theme for, as the PNG files
// committed in packaging/icons/ ("vorna-SIZE.png", RGBA).
//
//   vorna-icongen DIR          write every size into DIR
//   vorna-icongen --check DIR  make them again and compare with DIR's files
//
// Run it again whenever the banner or the sprite is repainted; the --check
// test fails until then. Deterministic: integer arithmetic only, no clock,
// and libpng writes no time chunk, so every build gives the same bytes.
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pictures/pictures.h"
#include "support/file_bytes.h"

namespace {

// Premultiplied RGBA, 8 bits a channel, rows top first.
struct Canvas {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    Canvas(int w, int h) : width(w), height(h), rgba(size_t(w) * size_t(h) * 4, 0) {}
    uint8_t* at(int x, int y) { return &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
    const uint8_t* at(int x, int y) const { return &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
};

struct Rgb {
    int r, g, b;
};

// The backdrop: a rounded square whose colour runs from the banner's outline
// purple at the top to near black, with corners of radius size / 6 covered
// 4x4 times per pixel.
Canvas backdrop(int size) {
    const Rgb top{56, 18, 104}, bottom{8, 3, 18};
    Canvas c(size, size);
    const int radius4 = size * 4 / 6;  // in quarter pixels
    for (int y = 0; y < size; ++y) {
        const Rgb col{top.r + (bottom.r - top.r) * y / (size - 1), top.g + (bottom.g - top.g) * y / (size - 1),
                      top.b + (bottom.b - top.b) * y / (size - 1)};
        for (int x = 0; x < size; ++x) {
            int covered = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx) {
                    // Sample centres in eighth pixels, measured to the nearest corner centre.
                    const int px = (x * 4 + sx) * 2 + 1, py = (y * 4 + sy) * 2 + 1;
                    const int lo = radius4 * 2, hi = size * 8 - radius4 * 2;
                    const int dx = px < lo ? lo - px : (px > hi ? px - hi : 0);
                    const int dy = py < lo ? lo - py : (py > hi ? py - hi : 0);
                    covered += dx * dx + dy * dy <= radius4 * radius4 * 4 ? 1 : 0;
                }
            uint8_t* p = c.at(x, y);
            p[0] = uint8_t(col.r * covered / 16);
            p[1] = uint8_t(col.g * covered / 16);
            p[2] = uint8_t(col.b * covered / 16);
            p[3] = uint8_t(255 * covered / 16);
        }
    }
    return c;
}

// Copies the opaque pixels of a keyed raw RGB picture's window (sx, sy, w, h)
// onto the canvas at (dx, dy), where the backdrop is opaque.
void stamp(Canvas& c, const unsigned char* rgb, int pitchPixels, int sx, int sy, int w, int h, Rgb key, int dx,
           int dy) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned char* s = rgb + (size_t(sy + y) * size_t(pitchPixels) + size_t(sx + x)) * 3;
            if (s[0] == key.r && s[1] == key.g && s[2] == key.b) continue;
            uint8_t* p = c.at(dx + x, dy + y);
            if (p[3] != 255) continue;
            p[0] = s[0], p[1] = s[1], p[2] = s[2];
        }
}

// Adds the sprite's light onto the canvas (the star is drawn on black, so
// adding keeps its glow and drops its square), where the backdrop is opaque.
void addLight(Canvas& c, int dx, int dy) {
    const Rgb key{255, 0, 255};
    for (int y = 0; y < pictures::spriteHeight; ++y)
        for (int x = 0; x < pictures::spriteWidth; ++x) {
            const unsigned char* s = spriteRgb + (size_t(y) * pictures::spriteWidth + size_t(x)) * 3;
            if (s[0] == key.r && s[1] == key.g && s[2] == key.b) continue;
            uint8_t* p = c.at(dx + x, dy + y);
            if (p[3] != 255) continue;
            for (int i = 0; i < 3; ++i) p[i] = uint8_t(p[i] + s[i] > 255 ? 255 : p[i] + s[i]);
        }
}

// The smallest window of the banner that holds every pixel not of the key colour.
struct Box {
    int x0, y0, x1, y1;  // x1, y1 exclusive
};
Box bannerInk() {
    Box b{pictures::bannerWidth, pictures::bannerHeight, 0, 0};
    for (int y = 0; y < pictures::bannerHeight; ++y)
        for (int x = 0; x < pictures::bannerWidth; ++x) {
            const unsigned char* s = bannerRgb + (size_t(y) * pictures::bannerWidth + size_t(x)) * 3;
            if (s[0] == 0 && s[1] == 0 && s[2] == 255) continue;
            b.x0 = x < b.x0 ? x : b.x0, b.y0 = y < b.y0 ? y : b.y0;
            b.x1 = x + 1 > b.x1 ? x + 1 : b.x1, b.y1 = y + 1 > b.y1 ? y + 1 : b.y1;
        }
    if (b.x1 == 0) b = Box{0, 0, pictures::bannerWidth, pictures::bannerHeight};
    return b;
}

// The large icon (256): the whole "^vorna" banner at its own scale across
// the middle, the star above its right end.
Canvas wordmark() {
    const int size = 256;
    Canvas c = backdrop(size);
    const Box ink = bannerInk();
    const int w = ink.x1 - ink.x0, h = ink.y1 - ink.y0;
    const int w1 = w > size - 16 ? size - 16 : w, h1 = h > size - 96 ? size - 96 : h;
    const int dx = (size - w1) / 2, dy = (size - h1) / 2 + 24;
    addLight(c, size - 24 - pictures::spriteWidth, dy - pictures::spriteHeight + 8);
    stamp(c, bannerRgb, pictures::bannerWidth, ink.x0, ink.y0, w1, h1, Rgb{0, 0, 255}, dx, dy);
    return c;
}

// The columns of the banner's first two letters ("^v"): the runs of columns
// that hold bright ink (the letters, not their dark outline or shadow),
// widened by the outline's few pixels. The whole ink box when the banner
// has fewer than three such runs.
Box firstTwoLetters(const Box& ink) {
    const int minGap = 3;  // narrower gaps lie inside a letter (the caret's apex)
    int letters = 0, x0 = -1, x1 = -1, lastBright = -1;
    for (int x = ink.x0; x < ink.x1 && x1 < 0; ++x) {
        bool bright = false;
        for (int y = ink.y0; y < ink.y1 && !bright; ++y) {
            const unsigned char* s = bannerRgb + (size_t(y) * pictures::bannerWidth + size_t(x)) * 3;
            bright = s[0] + s[1] > 200 && s[2] < 128;
        }
        if (!bright) continue;
        if (lastBright < 0 || x - lastBright > minGap) {
            if (++letters == 3) x1 = lastBright + 1;
            if (x0 < 0) x0 = x;
        }
        lastBright = x;
    }
    if (x1 < 0) return ink;
    const int margin = 4;
    return Box{std::max(ink.x0, x0 - margin), ink.y0, std::min(ink.x1, x1 + margin), ink.y1};
}

// The small icons' master (96): the banner's first two letters ("^v"),
// which stay readable at 16 pixels where the whole word would not.
Canvas monogram() {
    const int size = 96;
    Canvas c = backdrop(size);
    const Box letters = firstTwoLetters(bannerInk());
    const int w = std::min(letters.x1 - letters.x0, size - 8), h = std::min(letters.y1 - letters.y0, size - 8);
    stamp(c, bannerRgb, pictures::bannerWidth, letters.x0, letters.y0, w, h, Rgb{0, 0, 255}, (size - w) / 2,
          (size - h) / 2);
    return c;
}

// Box-filter resampling to size x size: every source pixel counts by the
// area it shares with the target pixel, in exact integers (source pixel j
// spans [j * size, (j + 1) * size), target pixel i spans [i * S, (i + 1) * S)).
Canvas shrink(const Canvas& src, int size) {
    const int S = src.width;
    Canvas out(size, size);
    std::vector<uint64_t> acc(4);
    for (int ty = 0; ty < size; ++ty)
        for (int tx = 0; tx < size; ++tx) {
            acc.assign(4, 0);
            for (int sy = ty * S / size; sy < S && sy * size < (ty + 1) * S; ++sy) {
                const int64_t wy = std::min<int64_t>((sy + 1) * int64_t(size), (ty + 1) * int64_t(S)) -
                                   std::max<int64_t>(sy * int64_t(size), ty * int64_t(S));
                for (int sx = tx * S / size; sx < S && sx * size < (tx + 1) * S; ++sx) {
                    const int64_t wx = std::min<int64_t>((sx + 1) * int64_t(size), (tx + 1) * int64_t(S)) -
                                       std::max<int64_t>(sx * int64_t(size), tx * int64_t(S));
                    const uint8_t* p = src.at(sx, sy);
                    for (int i = 0; i < 4; ++i) acc[size_t(i)] += uint64_t(wx * wy) * p[i];
                }
            }
            const uint64_t whole = uint64_t(S) * uint64_t(S);
            uint8_t* q = out.at(tx, ty);
            for (int i = 0; i < 4; ++i) q[i] = uint8_t((acc[size_t(i)] + whole / 2) / whole);
        }
    return out;
}

// PNG bytes of a premultiplied canvas (PNG keeps straight alpha).
std::vector<uint8_t> encodePng(const Canvas& c) {
    std::vector<uint8_t> straight(c.rgba);
    for (size_t i = 0; i < straight.size(); i += 4) {
        const unsigned a = straight[i + 3];
        for (size_t k = 0; k < 3; ++k) {
            const unsigned v = a == 0 ? 0 : (straight[i + k] * 255u + a / 2) / a;
            straight[i + k] = uint8_t(v > 255 ? 255 : v);
        }
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(c.width);
    image.height = png_uint_32(c.height);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    std::vector<uint8_t> out;
    if (png_image_write_to_memory(&image, nullptr, &size, 0, straight.data(), c.width * 4, nullptr)) {
        out.resize(size);
        if (!png_image_write_to_memory(&image, out.data(), &size, 0, straight.data(), c.width * 4, nullptr))
            out.clear();
        out.resize(size);
    }
    png_image_free(&image);
    return out;
}

// The sizes of the hicolor theme's fixed-size folders that desktops look in,
// and which master each is drawn from.
struct IconSize {
    int size;
    bool small;  // from the monogram
};
constexpr IconSize kSizes[] = {{16, true}, {24, true}, {32, true}, {48, true}, {64, true}, {128, false}, {256, false}};

}  // namespace

int main(int argc, char** argv) {
    const bool check = argc == 3 && std::strcmp(argv[1], "--check") == 0;
    if (!(argc == 2 && argv[1][0] != '-') && !check) {
        std::fprintf(stderr, "usage: vorna-icongen DIR | --check DIR\n");
        return 2;
    }
    const std::string dir = argv[argc - 1];
    const Canvas large = wordmark(), small = monogram();
    int failures = 0;
    for (const IconSize& s : kSizes) {
        const Canvas& master = s.small ? small : large;
        const std::vector<uint8_t> png = encodePng(s.size == master.width ? master : shrink(master, s.size));
        const std::string path = dir + "/vorna-" + std::to_string(s.size) + ".png";
        if (png.empty()) {
            std::fprintf(stderr, "could not encode %s\n", path.c_str());
            ++failures;
        } else if (check) {
            std::vector<uint8_t> committed;
            if (!readFileBytes(path.c_str(), committed) || committed != png) {
                std::fprintf(stderr, "%s differs from a fresh one: run vorna-icongen %s\n", path.c_str(), dir.c_str());
                ++failures;
            }
        } else if (!writeFileBytes(path.c_str(), png.data(), png.size())) {
            std::fprintf(stderr, "could not write %s\n", path.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
