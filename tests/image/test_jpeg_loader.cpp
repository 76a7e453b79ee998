// The JPEG loaders: where decoded pixels land, how bad input is turned away,
// and the memory source's behaviour past the end of its block.
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

#include "image/image.h"
#include "image/jpeg_source.h"
#include "jpeg_fixtures.h"
#include "support/sdl_test.h"

using namespace jpegfixtures;
using testsupport::pixelAt;

namespace {

// Bytes blue, green, red of a surface pixel.
struct Bgr {
    int b, g, r;
};

Bgr bytesAt(const SDL_Surface* s, int x, int y) {
    const Uint8* p = static_cast<const Uint8*>(s->pixels) + y * s->pitch + x * s->format->BytesPerPixel;
    return {p[0], p[1], p[2]};
}

class JpegLoader : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(testsupport::videoSurface(), nullptr); }
};

// The offset of the segment with this marker, or npos.
size_t findMarker(const Bytes& block, unsigned char marker) {
    for (size_t i = 2; i + 3 < block.size();) {
        if (block[i] != 0xFF) return std::string::npos;
        if (block[i + 1] == marker) return i;
        i += 2 + (size_t(block[i + 2]) << 8 | block[i + 3]);
    }
    return std::string::npos;
}

}  // namespace

TEST_F(JpegLoader, PictureLandsOneRowDownWithBlackBorder) {
    const Bytes block = encode(gradientPicture(320, 200), JCS_RGB);
    const Picture reference = referenceDecode(block);
    testsupport::SurfaceGuard s(loadJpegMemory(block.data(), int32_t(block.size())));
    ASSERT_NE(s.surface, nullptr);
    ASSERT_EQ(s->w, 321);
    ASSERT_EQ(s->h, 201);
    for (int x = 0; x < 321; ++x) {
        Bgr top = bytesAt(s, x, 0);
        ASSERT_EQ(top.r | top.g | top.b, 0) << "row 0 at x=" << x;
    }
    for (int y = 0; y < 201; ++y) {
        Bgr right = bytesAt(s, 320, y);
        ASSERT_EQ(right.r | right.g | right.b, 0) << "last column at y=" << y;
    }
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) {
            const unsigned char* want = &reference.samples[(size_t(y) * 320 + x) * 3];
            Bgr got = bytesAt(s, x, y + 1);
            ASSERT_EQ(got.r, want[0]) << x << "," << y;
            ASSERT_EQ(got.g, want[1]) << x << "," << y;
            ASSERT_EQ(got.b, want[2]) << x << "," << y;
        }
}

TEST_F(JpegLoader, PureRedIsStoredBlueGreenRed) {
    const Bytes block = encode(flatPicture(16, 16, 3, {255, 0, 0}), JCS_RGB, 100);
    testsupport::SurfaceGuard s(loadJpegMemory(block.data(), int32_t(block.size())));
    ASSERT_NE(s.surface, nullptr);
    const Uint8* p = static_cast<const Uint8*>(s->pixels) + s->pitch;  // picture pixel (0, 0)
    EXPECT_LE(p[0], 2);
    EXPECT_LE(p[1], 2);
    EXPECT_GE(p[2], 253);
}

TEST_F(JpegLoader, TruncatedBlockStillGivesFullPictureAndWarns) {
    const Bytes block = encode(gradientPicture(320, 200), JCS_RGB);
    testing::internal::CaptureStderr();
    SDL_Surface* s = loadJpegMemory(block.data(), int32_t(block.size() / 2));
    const std::string printed = testing::internal::GetCapturedStderr();
    testsupport::SurfaceGuard guard(s);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->w, 321);
    EXPECT_EQ(s->h, 201);
    EXPECT_NE(printed.find("Premature end of JPEG file"), std::string::npos) << printed;
    // The rows before the cut are decoded as usual.
    const Picture reference = referenceDecode(block);
    Bgr got = bytesAt(s, 10, 1);
    EXPECT_EQ(got.r, reference.samples[30]);
}

TEST_F(JpegLoader, BadInputYieldsNoSurface) {
    const Bytes good = encode(gradientPicture(40, 30), JCS_RGB);

    struct Case {
        const char* name;
        Bytes block;
    };
    std::vector<Case> cases;
    cases.push_back({"not a jpeg", Bytes{'B', 'M', 1, 2, 3, 4, 5, 6}});
    cases.push_back({"only a start marker", Bytes{0xFF, 0xD8}});
    // A second frame header after the entropy data: the failure comes while
    // finishing, after the surface has been made (leak checkers watch it go).
    Bytes twoFrames = good;
    const size_t sof = findMarker(good, 0xC0);
    ASSERT_NE(sof, std::string::npos);
    const size_t sofLength = 2 + (size_t(good[sof + 2]) << 8 | good[sof + 3]);
    twoFrames.insert(twoFrames.end() - 2, good.begin() + long(sof), good.begin() + long(sof + sofLength));
    cases.push_back({"two frame headers", twoFrames});

    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        Image image(c.block.data(), int32_t(c.block.size()));
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(image.surface, nullptr) << c.name;
        EXPECT_EQ(image.failed, 1) << c.name;
        EXPECT_FALSE(printed.empty()) << c.name << ": the library's message is printed";
    }
}

TEST_F(JpegLoader, NegativeSizeOrNullDataIsRefused) {
    const Bytes good = encode(gradientPicture(8, 8), JCS_RGB);
    EXPECT_EQ(loadJpegMemory(good.data(), -1), nullptr);
    EXPECT_EQ(loadJpegMemory(nullptr, 100), nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(loadJpegMemory(good.data(), 0), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr(), "") << "an empty block is reported by the library";
}

TEST_F(JpegLoader, GrayscaleIsWidenedToRgb) {
    Picture gray{24, 8, 1, {}};
    for (int i = 0; i < 24 * 8; ++i) gray.samples.push_back(static_cast<unsigned char>(i % 24 * 10));
    const Bytes block = encode(gray, JCS_GRAYSCALE, 100);
    testsupport::SurfaceGuard s(loadJpegMemory(block.data(), int32_t(block.size())));
    ASSERT_NE(s.surface, nullptr);
    ASSERT_EQ(s->w, 25);
    for (int x = 0; x < 24; ++x) {
        Bgr p = bytesAt(s, x, 5);
        EXPECT_EQ(p.r, p.g);
        EXPECT_EQ(p.g, p.b);
        EXPECT_NEAR(p.r, x * 10, 3);
    }
    EXPECT_EQ(pixelAt(s, 24, 5) & 0xFFFFFF, 0u);
}

TEST_F(JpegLoader, CmykFailsCleanly) {
    const Bytes block = encode(flatPicture(16, 16, 4, {10, 20, 30, 40}), JCS_CMYK);
    testing::internal::CaptureStderr();
    Image image(block.data(), int32_t(block.size()));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(image.surface, nullptr);
    EXPECT_EQ(image.failed, 1);
}

TEST_F(JpegLoader, CutInsideSkippedSegmentDoesNotReadPastBlock) {
    const std::string comment(3000, 'c');
    const Bytes block = encode(gradientPicture(16, 16), JCS_RGB, 90, comment.data(), int(comment.size()));
    // Each cut is tried twice: as a copy of the prefix alone, so that reading
    // past it is caught by the sanitizers, and in place, with the rest of a
    // valid picture right behind the cut, so that a reader that ran past the
    // size it was given would decode a picture instead of failing.
    for (size_t cut : {size_t(30), size_t(1000), size_t(3010)}) {
        const Bytes prefix(block.begin(), block.begin() + long(cut));
        for (const uint8_t* bytes : {prefix.data(), block.data()}) {
            testing::internal::CaptureStderr();
            SDL_Surface* s = loadJpegMemory(bytes, int32_t(cut));
            const std::string messages = testing::internal::GetCapturedStderr();
            EXPECT_EQ(s, nullptr) << "cut at " << cut;
            EXPECT_FALSE(messages.empty()) << "cut at " << cut << ": the failure is reported";
            if (s) SDL_FreeSurface(s);
        }
    }
}

TEST(JpegMemorySource, SkipPastTheEndServesEndMarkers) {
    jpeg_decompress_struct d;
    jpeg_error_mgr errors;
    d.err = jpeg_std_error(&errors);
    errors.emit_message = [](j_common_ptr info, int level) {
        if (level < 0) info->err->num_warnings++;
    };
    jpeg_create_decompress(&d);
    const unsigned char block[10] = {0xFF, 0xD8, 1, 2, 3, 4, 5, 6, 7, 8};
    jpegMemorySource(&d, block, sizeof block);
    jpeg_source_mgr* source = d.src;
    EXPECT_EQ(source->bytes_in_buffer, 10u);

    source->skip_input_data(&d, 0);
    source->skip_input_data(&d, -5);
    EXPECT_EQ(source->next_input_byte, block);

    source->skip_input_data(&d, 4);
    EXPECT_EQ(source->next_input_byte, block + 4);
    EXPECT_EQ(source->bytes_in_buffer, 6u);
    EXPECT_EQ(errors.num_warnings, 0);

    // 6 left, skip 9: the end of the block, then two served markers, then one byte in.
    source->skip_input_data(&d, 9);
    EXPECT_EQ(source->bytes_in_buffer, 1u);
    EXPECT_EQ(source->next_input_byte[0], JPEG_EOI);
    EXPECT_EQ(errors.num_warnings, 2);

    // Installing again reuses the record and restarts at the new block.
    jpeg_source_mgr* first = d.src;
    jpegMemorySource(&d, block + 2, 3);
    EXPECT_EQ(d.src, first);
    EXPECT_EQ(d.src->next_input_byte, block + 2);
    EXPECT_EQ(d.src->bytes_in_buffer, 3u);
    jpeg_destroy_decompress(&d);
}
