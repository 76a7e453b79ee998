// The PNG writer, read back through libpng: every pixel of a small surface
// at each depth SDL may hand us, and the plain RGB form.
#include <gtest/gtest.h>

#include <png.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/png_writer.h"

namespace {

// The file's pixels as RGB, with its size; empty when libpng cannot read it.
std::vector<uint8_t> readPng(const std::string& path, int* width, int* height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
    *width = int(image.width);
    *height = int(image.height);
    return rgb;
}

std::string tempPath() {
    char pattern[] = "/tmp/vorna-png-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd >= 0) close(fd);
    return pattern;
}

}  // namespace

TEST(PngWriter, EveryPixelReadsBackAtEachDepth) {
    const std::string path = tempPath();
    for (int depth : {32, 24, 16}) {
        SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, 7, 5, depth, 0, 0, 0, 0);
        ASSERT_NE(s, nullptr) << depth;
        std::vector<uint8_t> want;
        for (int y = 0; y < s->h; ++y)
            for (int x = 0; x < s->w; ++x) {
                const Uint32 p = SDL_MapRGB(s->format, Uint8(x * 37), Uint8(y * 53), Uint8((x + y) * 29));
                std::memcpy(static_cast<uint8_t*>(s->pixels) + y * s->pitch + x * s->format->BytesPerPixel, &p,
                            s->format->BytesPerPixel);
                // The colour as SDL reads it back (at 16 bits, the channels widened its way).
                Uint8 r, g, b;
                SDL_GetRGB(p, s->format, &r, &g, &b);
                want.insert(want.end(), {r, g, b});
            }
        ASSERT_TRUE(writePng(s, path.c_str())) << depth;
        SDL_FreeSurface(s);
        int w = 0, h = 0;
        EXPECT_EQ(readPng(path, &w, &h), want) << depth << " bits";
        EXPECT_EQ(w, 7);
        EXPECT_EQ(h, 5);
    }
    std::remove(path.c_str());
}

TEST(PngWriter, PlainRgbAndRefusals) {
    const std::string path = tempPath();
    const std::vector<uint8_t> rgb{255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 8, 7, 1, 2, 3, 200, 100, 50};
    ASSERT_TRUE(writePngRgb(path.c_str(), rgb.data(), 3, 2));
    int w = 0, h = 0;
    EXPECT_EQ(readPng(path, &w, &h), rgb);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    std::remove(path.c_str());
    EXPECT_FALSE(writePngRgb("/nonexistent-folder/x.png", rgb.data(), 3, 2));
    EXPECT_FALSE(writePngRgb(path.c_str(), rgb.data(), 0, 2));
    SDL_Surface* eight = SDL_CreateRGBSurface(SDL_SWSURFACE, 2, 2, 8, 0, 0, 0, 0);
    EXPECT_FALSE(writePng(eight, path.c_str())) << "a palette surface is refused";
    SDL_FreeSurface(eight);
}
