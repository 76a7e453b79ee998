// vorna-picturegen: paints the production's pictures and writes them as the
// files committed in assets/pictures/: seven backdrops and the two ring
// pictures as baseline JPEGs, the banner and the sprite as raw RGB rows.
//
//   vorna-picturegen OUTDIR          write every picture into OUTDIR
//   vorna-picturegen --check DIR     paint again and compare with DIR's files
//
// Deterministic: no clock, no unseeded randomness, and maths of its own (see
// paint_kit.h), so both architectures reproduce the committed bytes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "painters.h"
#include "support/file_bytes.h"
#include "support/jpeg_encode.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Baseline blocks with the library's default chroma subsampling and
// optimised tables: the size the pictures they stand in for had.
Bytes encodeJpeg(const Bytes& rgb, int width, int height, int quality) {
    return jpegencode::encode(rgb.data(), width, height, 3, JCS_RGB,
                              {.quality = quality, .fullChroma = false, .optimize = true});
}

// The quality whose block comes closest to the byte size of the picture it
// stands in for, by bisection (size grows with quality).
Bytes encodeNear(const Bytes& rgb, int width, int height, size_t target) {
    int lo = 20, hi = 97;
    while (lo < hi) {
        const int q = (lo + hi + 1) / 2;
        if (encodeJpeg(rgb, width, height, q).size() <= target)
            lo = q;
        else
            hi = q - 1;
    }
    Bytes below = encodeJpeg(rgb, width, height, lo);
    if (lo == 97) return below;
    Bytes above = encodeJpeg(rgb, width, height, lo + 1);
    const size_t under = target > below.size() ? target - below.size() : below.size() - target;
    const size_t over = above.size() > target ? above.size() - target : target - above.size();
    return over < under ? above : below;
}

struct Output {
    const char* file;
    Bytes bytes;
};

Bytes jpegOf(const paint::Canvas& canvas, uint32_t seed, size_t target) {
    return encodeNear(canvas.toBytes(seed), canvas.width, canvas.height, target);
}

std::vector<Output> paintAll() {
    std::vector<Output> out;
    out.push_back({"picture1.jpg", jpegOf(paint::paintNebula(), 1, 103472)});
    out.push_back({"picture2.jpg", jpegOf(paint::paintPasture(), 2, 128887)});
    out.push_back({"picture3.jpg", jpegOf(paint::paintJulia(), 3, 272818)});
    out.push_back({"picture4.jpg", jpegOf(paint::paintMoonLake(), 4, 155062)});
    out.push_back({"picture5.jpg", jpegOf(paint::paintSpheres(), 5, 109917)});
    out.push_back({"picture6.jpg", jpegOf(paint::paintRingedPlanet(), 6, 49915)});
    out.push_back({"picture7.jpg", jpegOf(paint::paintAurora(), 7, 65593)});
    out.push_back({"opening.jpg", jpegOf(paint::paintOpeningRings(), 8, 11623)});
    out.push_back({"closing.jpg", jpegOf(paint::paintClosingRings(), 9, 7607)});
    out.push_back({"banner.rgb", paint::paintBanner()});
    out.push_back({"sprite.rgb", paint::paintSprite()});
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const bool check = argc == 3 && std::strcmp(argv[1], "--check") == 0;
    if (!check && argc != 2) {
        std::fprintf(stderr, "usage: vorna-picturegen OUTDIR | --check DIR\n");
        return 2;
    }
    const std::string dir = argv[check ? 2 : 1];
    int status = 0;
    for (const Output& o : paintAll()) {
        const std::string path = dir + "/" + o.file;
        if (check) {
            Bytes committed;
            if (!readFileBytes(path.c_str(), committed)) {
                std::fprintf(stderr, "picturegen: can't open %s\n", path.c_str());
                status = 1;
            } else if (committed != o.bytes) {
                std::fprintf(stderr, "picturegen: %s differs from a fresh painting (%zu bytes, fresh %zu)\n",
                             path.c_str(), committed.size(), o.bytes.size());
                status = 1;
            }
        } else {
            if (!writeFileBytes(path.c_str(), o.bytes.data(), o.bytes.size())) {
                std::fprintf(stderr, "picturegen: can't write %s\n", path.c_str());
                status = 1;
            } else {
                std::printf("%s: %zu bytes\n", o.file, o.bytes.size());
            }
        }
    }
    return status;
}
