// Image: construction, colour keys, colour shifts and loading by file name.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "image/image.h"
#include "jpeg_fixtures.h"
#include "support/sdl_test.h"

using testsupport::pixelAt;
using testsupport::setPixelAt;

namespace {

uint32_t rgb(int r, int g, int b) {
    return SDL_MapRGB(testsupport::videoSurface()->format, Uint8(r), Uint8(g), Uint8(b));
}

class ImageTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(testsupport::videoSurface(), nullptr); }
};

// A scratch folder removed with everything in it when the test ends.
struct TempDir {
    std::string path;
    TempDir() {
        char pattern[] = "/tmp/vorna-image-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string file(const char* name) const { return path + "/" + name; }
};

}  // namespace

TEST_F(ImageTest, ShiftColorsClampsAndSparesKeyPixels) {
    Image image(3, 1);
    ASSERT_NE(image.surface, nullptr);
    const uint32_t magenta = rgb(255, 0, 255);
    ASSERT_EQ(image.colorKey, magenta);
    setPixelAt(image.surface, 0, 0, rgb(250, 5, 100));
    setPixelAt(image.surface, 1, 0, magenta);
    setPixelAt(image.surface, 2, 0, rgb(0, 250, 3));

    image.shiftColors(10, 0, -300);
    EXPECT_EQ(pixelAt(image.surface, 0, 0), rgb(255, 5, 0));
    EXPECT_EQ(pixelAt(image.surface, 1, 0), magenta);
    EXPECT_EQ(pixelAt(image.surface, 2, 0), rgb(10, 250, 0));

    image.shiftAllColors(-20, 10, 40);
    EXPECT_EQ(pixelAt(image.surface, 0, 0), rgb(235, 15, 40));
    EXPECT_EQ(pixelAt(image.surface, 1, 0), rgb(235, 10, 255));

    // Offsets far outside a channel's range still clamp instead of wrapping.
    image.brighten(2147483647);
    EXPECT_EQ(pixelAt(image.surface, 2, 0), rgb(255, 255, 255));
    image.shiftAllColors(-2147483647 - 1, 0, 0);
    EXPECT_EQ(pixelAt(image.surface, 2, 0), rgb(0, 255, 255));
}

TEST_F(ImageTest, ShiftHonoursAnotherKey) {
    Image image(2, 2);
    image.setColorKey(rgb(0, 0, 255));
    image.fill(rgb(0, 0, 255));
    setPixelAt(image.surface, 1, 1, rgb(1, 2, 3));
    image.shiftColors(0, 80, -64);
    EXPECT_EQ(pixelAt(image.surface, 0, 0), rgb(0, 0, 255));
    EXPECT_EQ(pixelAt(image.surface, 1, 1), rgb(1, 82, 0));
}

TEST_F(ImageTest, OperationsWithoutSurfaceDoNothing) {
    Image empty;
    EXPECT_EQ(empty.surface, nullptr);
    EXPECT_EQ(empty.failed, 0);
    const uint32_t before = empty.colorKey;
    empty.setColorKey(rgb(1, 2, 3));
    EXPECT_EQ(empty.colorKey, before);
    empty.fill(rgb(1, 1, 1));
    empty.clearToColorKey();
    empty.shiftColors(1, 1, 1);
    empty.brighten(3);
    EXPECT_EQ(empty.surface, nullptr);

    Image copy(empty);
    EXPECT_EQ(copy.surface, nullptr);
}

TEST_F(ImageTest, SetColorKeyAppliesToSurface) {
    Image image(4, 4);
    EXPECT_EQ(image.surface->flags & SDL_SRCCOLORKEY, 0u) << "a blank image stores its key without applying it";
    image.setColorKey(rgb(0, 0, 255));
    EXPECT_EQ(image.colorKey, rgb(0, 0, 255));
    EXPECT_NE(image.surface->flags & SDL_SRCCOLORKEY, 0u);
    EXPECT_EQ(image.surface->format->colorkey, rgb(0, 0, 255));
}

TEST_F(ImageTest, ClearToColorKeyMakesEveryPixelTransparent) {
    Image image(5, 3);
    image.fill(rgb(9, 9, 9));
    image.clearToColorKey();
    EXPECT_NE(image.surface->flags & SDL_SRCCOLORKEY, 0u);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(pixelAt(image.surface, x, y), image.colorKey);
}

TEST_F(ImageTest, FillByPointerMatchesFillByValue) {
    Image a(2, 2), b(2, 2);
    const uint32_t value = rgb(12, 34, 56);
    a.fill(value);
    b.fill(&value);
    EXPECT_EQ(pixelAt(a.surface, 1, 1), value);
    EXPECT_EQ(pixelAt(b.surface, 1, 1), value);
}

TEST_F(ImageTest, CopySkipsPixelsOfTheSourceKey) {
    Image source(3, 1);
    const uint32_t key = rgb(0, 0, 255);
    source.setColorKey(key);
    setPixelAt(source.surface, 0, 0, rgb(200, 100, 50));
    setPixelAt(source.surface, 1, 0, key);
    setPixelAt(source.surface, 2, 0, rgb(1, 2, 3));

    Image copy(source);
    ASSERT_NE(copy.surface, nullptr);
    EXPECT_NE(copy.surface, source.surface);
    EXPECT_EQ(copy.surface->w, 3);
    EXPECT_EQ(copy.colorKey, key);
    EXPECT_NE(copy.surface->flags & SDL_SRCCOLORKEY, 0u);
    EXPECT_EQ(pixelAt(copy.surface, 0, 0), rgb(200, 100, 50));
    EXPECT_EQ(pixelAt(copy.surface, 1, 0) & 0xFFFFFF, 0u) << "key pixel not copied: blank stays black";
    EXPECT_EQ(pixelAt(copy.surface, 2, 0), rgb(1, 2, 3));

    // Without a key on the source everything is copied.
    Image plain(2, 1);
    setPixelAt(plain.surface, 0, 0, rgb(255, 0, 255));
    Image plainCopy(plain);
    EXPECT_EQ(pixelAt(plainCopy.surface, 0, 0), rgb(255, 0, 255));
}

TEST_F(ImageTest, CreateReplacesTheSurface) {
    Image image(4, 4);
    image.create(7, 2);
    ASSERT_NE(image.surface, nullptr);
    EXPECT_EQ(image.surface->w, 7);
    EXPECT_EQ(image.surface->h, 2);
    EXPECT_EQ(pixelAt(image.surface, 6, 1) & 0xFFFFFF, 0u);

    Image empty;
    empty.create(3, 3);
    ASSERT_NE(empty.surface, nullptr);
    EXPECT_EQ(empty.surface->w, 3);
}

TEST_F(ImageTest, LoaderIsChosenByName) {
    TempDir dir;
    const jpegfixtures::Bytes jpeg = jpegfixtures::encode(jpegfixtures::gradientPicture(20, 10), JCS_RGB);

    // JPEG wins when the name holds both.
    const std::string both = dir.file("photo.bmp.jpg");
    ASSERT_TRUE(jpegfixtures::writeFile(both.c_str(), jpeg));
    Image fromBoth(both.c_str());
    ASSERT_NE(fromBoth.surface, nullptr);
    EXPECT_EQ(fromBoth.failed, 0);
    EXPECT_EQ(fromBoth.surface->w, 21) << "decoded as JPEG: one column larger";
    EXPECT_EQ(fromBoth.surface->format->BitsPerPixel, 32);

    // A BMP through SDL, converted to the display format, at its own size.
    testsupport::SurfaceGuard bmpSource(testsupport::makeSurface(5, 3));
    testsupport::setPixelAt(bmpSource, 4, 2, rgb(10, 200, 30));
    const std::string bmp = dir.file("sprite.bmp");
    ASSERT_EQ(SDL_SaveBMP(bmpSource.surface, bmp.c_str()), 0);
    Image fromBmp(bmp.c_str(), rgb(0, 0, 255));
    ASSERT_NE(fromBmp.surface, nullptr);
    EXPECT_EQ(fromBmp.surface->w, 5);
    EXPECT_EQ(fromBmp.surface->h, 3);
    EXPECT_EQ(pixelAt(fromBmp.surface, 4, 2), rgb(10, 200, 30));
    EXPECT_EQ(fromBmp.colorKey, rgb(0, 0, 255));
    EXPECT_NE(fromBmp.surface->flags & SDL_SRCCOLORKEY, 0u);

    // The same BMP bytes under a name with "jpg" go to the JPEG decoder and fail.
    const std::string bmpNamedJpg = dir.file("sprite.bmp.jpg");
    ASSERT_EQ(SDL_SaveBMP(bmpSource.surface, bmpNamedJpg.c_str()), 0);
    testing::internal::CaptureStderr();
    Image misnamed(bmpNamedJpg.c_str(), rgb(0, 0, 255));
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
    EXPECT_EQ(misnamed.surface, nullptr);
    EXPECT_EQ(misnamed.failed, 1);
    EXPECT_EQ(misnamed.colorKey, rgb(255, 0, 255)) << "the key stays magenta on failure";

    // Neither substring: nothing, silently, even though the file exists.
    const std::string other = dir.file("picture.png");
    ASSERT_TRUE(jpegfixtures::writeFile(other.c_str(), jpeg));
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    Image unknown(other.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(unknown.surface, nullptr);
    EXPECT_EQ(unknown.failed, 1);
}

TEST_F(ImageTest, MissingJpegFileIsReported) {
    const std::string name = "/tmp/vorna-no-such-dir/missing.jpg";
    testing::internal::CaptureStderr();
    Image image(name.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "can't open " + name + "\n");
    EXPECT_EQ(image.surface, nullptr);
    EXPECT_EQ(image.failed, 1);
}

TEST_F(ImageTest, MemoryPictureIsConvertedToDisplayFormat) {
    const jpegfixtures::Bytes jpeg = jpegfixtures::encode(jpegfixtures::gradientPicture(32, 16), JCS_RGB);
    Image image(jpeg.data(), int32_t(jpeg.size()));
    ASSERT_NE(image.surface, nullptr);
    EXPECT_EQ(image.failed, 0);
    EXPECT_EQ(image.surface->w, 33);
    EXPECT_EQ(image.surface->h, 17);
    const SDL_PixelFormat* video = testsupport::videoSurface()->format;
    EXPECT_EQ(image.surface->format->Rmask, video->Rmask);
    EXPECT_EQ(image.surface->format->Bmask, video->Bmask);
    EXPECT_EQ(image.surface->flags & SDL_SRCCOLORKEY, 0u);
}
