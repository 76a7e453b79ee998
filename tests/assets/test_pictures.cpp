// The embedded pictures: each JPEG decodes at the size its scenes expect, and
// the raw pictures carry the transparent colours their scenes key out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/image.h"
#include "pictures/pictures.h"
#include "support/sdl_test.h"

namespace {

struct Embedded {
    const char* name;
    const unsigned char* data;
    unsigned long size;
    int width, height;
};

const Embedded kPictures[] = {
    {"picture 1", picture1Jpeg, picture1Jpeg_size, 800, 600},
    {"picture 2", picture2Jpeg, picture2Jpeg_size, 800, 600},
    {"picture 3", picture3Jpeg, picture3Jpeg_size, 1024, 768},
    {"picture 4", picture4Jpeg, picture4Jpeg_size, 800, 600},
    {"picture 5", picture5Jpeg, picture5Jpeg_size, 800, 600},
    {"picture 6", picture6Jpeg, picture6Jpeg_size, 800, 600},
    {"picture 7", picture7Jpeg, picture7Jpeg_size, 800, 600},
    {"opening", openingPictureJpeg, openingPictureJpeg_size, 256, 256},
    {"closing", closingPictureJpeg, closingPictureJpeg_size, 256, 256},
};

// Mean of the three channels over the surface's picture area (row 0 and the
// last column are the loader's black border).
double meanLevel(const SDL_Surface* s) {
    double sum = 0;
    for (int y = 1; y < s->h; ++y)
        for (int x = 0; x + 1 < s->w; ++x) {
            const uint32_t p = testsupport::pixelAt(s, x, y);
            sum += (p >> 16 & 255) + (p >> 8 & 255) + (p & 255);
        }
    return sum / (3.0 * (s->w - 1) * (s->h - 1));
}

}  // namespace

TEST(EmbeddedPictures, EveryJpegDecodesCleanlyAtItsSize) {
    ASSERT_NE(testsupport::videoSurface(), nullptr);
    for (const Embedded& e : kPictures) {
        // Baseline blocks: a start-of-frame 0 marker and no progressive one.
        bool baseline = false, progressive = false;
        for (unsigned long i = 0; i + 1 < e.size; ++i)
            if (e.data[i] == 0xFF) {
                baseline |= e.data[i + 1] == 0xC0;
                progressive |= e.data[i + 1] == 0xC2;
            }
        EXPECT_TRUE(baseline && !progressive) << e.name;

        testing::internal::CaptureStderr();
        Image image(e.data, int32_t(e.size));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << e.name << " decodes without a warning";
        ASSERT_NE(image.surface, nullptr) << e.name;
        EXPECT_EQ(image.failed, 0);
        EXPECT_EQ(image.surface->w, e.width + 1) << e.name;
        EXPECT_EQ(image.surface->h, e.height + 1) << e.name;
        // Artwork, not a blank: neither black nor blown out.
        const double level = meanLevel(image.surface);
        EXPECT_GT(level, 12) << e.name;
        EXPECT_LT(level, 200) << e.name;
    }
}

TEST(EmbeddedPictures, RawPicturesHaveTheirSizesAndKeys) {
    ASSERT_EQ(bannerRgb_size, 200ul * 95 * 3);
    ASSERT_EQ(spriteRgb_size, 64ul * 51 * 3);

    auto count = [](const unsigned char* rgb, unsigned long size, int r, int g, int b) {
        unsigned long n = 0;
        for (unsigned long i = 0; i + 2 < size; i += 3) n += rgb[i] == r && rgb[i + 1] == g && rgb[i + 2] == b;
        return n;
    };
    const unsigned long bannerPixels = bannerRgb_size / 3, spritePixels = spriteRgb_size / 3;
    // Both have a transparent surround and a drawn shape of real size.
    const unsigned long bannerKey = count(bannerRgb, bannerRgb_size, 0, 0, 255);
    EXPECT_GT(bannerKey, bannerPixels / 5);
    EXPECT_LT(bannerKey, bannerPixels * 4 / 5);
    const unsigned long spriteKey = count(spriteRgb, spriteRgb_size, 255, 0, 255);
    EXPECT_GT(spriteKey, spritePixels / 5);
    EXPECT_LT(spriteKey, spritePixels * 19 / 20);
    // The corners are transparent: nothing is cut off at the edges.
    EXPECT_EQ(std::memcmp(bannerRgb, "\x00\x00\xff", 3), 0);
    // The scenes blit the banner at y = 520 of a 600-row screen: rows 80 on are never seen.
    EXPECT_EQ(count(bannerRgb + 200 * 80 * 3, 200ul * 15 * 3, 0, 0, 255), 200ul * 15) << "banner drawn below row 80";
    // The logo, outline, rim, shadow and spark included, keeps a margin of three
    // pixels from the left, right and top edges: nothing is cut off by the border.
    int left = 200, right = -1, top = 95;
    for (int y = 0; y < 95; ++y)
        for (int x = 0; x < 200; ++x)
            if (std::memcmp(bannerRgb + (y * 200 + x) * 3, "\x00\x00\xff", 3) != 0) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
            }
    EXPECT_GE(left, 3);
    EXPECT_LE(right, 200 - 1 - 3);
    EXPECT_GE(top, 3);
    EXPECT_EQ(std::memcmp(spriteRgb, "\xff\x00\xff", 3), 0);
    EXPECT_EQ(std::memcmp(spriteRgb + spriteRgb_size - 3, "\xff\x00\xff", 3), 0);
}

TEST(EmbeddedPictures, ClosingRingsAreDarkWhereTheWordsPass) {
    ASSERT_NE(testsupport::videoSurface(), nullptr);
    // The closing's rows of yellow words are painted mostly by its rings of
    // radius 0.19 to 0.44 (of 128): a bright band there hides the words.
    Image image(closingPictureJpeg, static_cast<int32_t>(closingPictureJpeg_size));
    ASSERT_NE(image.surface, nullptr);
    double sum = 0;
    int n = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const double r2 = ((x - 128) * (x - 128) + (y - 128) * (y - 128)) / (128.0 * 128.0);
            if (r2 < 0.19 * 0.19 || r2 > 0.44 * 0.44) continue;
            const uint32_t p = testsupport::pixelAt(image.surface, x, y + 1);  // row 0 is the border
            sum += (p >> 16 & 255) + (p >> 8 & 255) + (p & 255);
            n += 3;
        }
    EXPECT_LT(sum / n, 40.0);
}

TEST(EmbeddedPictures, PictureFiveIsDarkAndCalmWhereTheTeddyScatters) {
    ASSERT_NE(testsupport::videoSurface(), nullptr);
    // Steps 18 to 21 put the teddy and its flying faces in the middle and
    // right of the middle: there the backdrop is clearly darker than the
    // picture as a whole, and even (no bright spheres or high-contrast
    // floor), so the shards of any colour stand out against it.
    Image image(picture5Jpeg, static_cast<int32_t>(picture5Jpeg_size));
    ASSERT_NE(image.surface, nullptr);
    double sum = 0, squares = 0;
    int n = 0;
    for (int y = 150; y < 450; ++y)
        for (int x = 300; x < 650; ++x) {
            const uint32_t p = testsupport::pixelAt(image.surface, x, y + 1);  // row 0 is the border
            const double level = ((p >> 16 & 255) + (p >> 8 & 255) + (p & 255)) / 3.0;
            sum += level;
            squares += level * level;
            ++n;
        }
    const double mean = sum / n, spread = std::sqrt(squares / n - mean * mean);
    EXPECT_LT(mean, 0.8 * meanLevel(image.surface));
    EXPECT_LT(spread, 24.0);
}
