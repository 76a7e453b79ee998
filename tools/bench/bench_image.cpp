// Images: decoding every embedded picture into display-format surfaces, the
// way start-up and the title scenes do.
#include <SDL/SDL.h>
#include <cstdio>
#include <cstdlib>

#include "bench.h"
#include "image/image.h"
#include "pictures/pictures.h"

namespace {

struct Block {
    const unsigned char* data;
    unsigned long size;
};

const Block kBlocks[] = {
    {picture1Jpeg, picture1Jpeg_size}, {picture2Jpeg, picture2Jpeg_size},
    {picture3Jpeg, picture3Jpeg_size}, {picture4Jpeg, picture4Jpeg_size},
    {picture5Jpeg, picture5Jpeg_size}, {picture6Jpeg, picture6Jpeg_size},
    {picture7Jpeg, picture7Jpeg_size}, {openingPictureJpeg, openingPictureJpeg_size},
    {closingPictureJpeg, closingPictureJpeg_size},
};

bool videoReady() {
    if (SDL_GetVideoSurface()) return true;
    if (!std::getenv("SDL_VIDEODRIVER")) setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
    return SDL_SetVideoMode(800, 600, 32, 0) != nullptr;
}

}  // namespace

VORNA_BENCH("image/decode nine embedded pictures") {
    if (!videoReady()) {
        std::printf("  no video surface: skipped\n");
        return;
    }
    unsigned long bytes = 0, pixels = 0;
    for (const Block& b : kBlocks) bytes += b.size;
    const double seconds = bench::timeIt([&] {
        pixels = 0;
        for (const Block& b : kBlocks) {
            Image image(b.data, int32_t(b.size));
            if (image.surface) pixels += static_cast<unsigned long>(image.surface->w) * static_cast<unsigned long>(image.surface->h);
            bench::keep(image.surface);
        }
    }, 1.0);
    std::printf("  %.2f ms for all nine (%.1f KB of JPEG, %.2f Mpixel, %.0f Mpixel/s)\n", seconds * 1e3,
                bytes / 1024.0, pixels / 1e6, pixels / 1e6 / seconds);
}

VORNA_BENCH("image/shiftColors 64x51 sprite") {
    if (!videoReady()) return;
    Image sprite(64, 51);
    sprite.fill(SDL_MapRGB(SDL_GetVideoSurface()->format, 120, 120, 130));
    const double seconds = bench::timeIt([&] { sprite.shiftColors(0, 1, -1); });
    std::printf("  %.1f us per call (%.1f ns per pixel)\n", seconds * 1e6, seconds * 1e9 / (64 * 51));
}
