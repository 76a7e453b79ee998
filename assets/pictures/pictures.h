// The production's pictures as constant data in the executable (painted by
// tools/picturegen, committed beside this header, embedded into vorna_assets).
//
// Read-only for the whole run and safe to read from any thread. The JPEG
// blocks are decoded with Image(data, size); the two raw pictures are rows of
// red, green, blue bytes with no header, copied pixel by pixel.
#pragma once

// Backdrops, three-component baseline JPEGs: 800x600, except picture 3 at 1024x768.
extern const unsigned char picture1Jpeg[];  // nebula: behind the sphere, first interlude
extern const unsigned long picture1Jpeg_size;
extern const unsigned char picture2Jpeg[];  // dusk pasture: behind the cow
extern const unsigned long picture2Jpeg_size;
extern const unsigned char picture3Jpeg[];  // Julia set: behind the spring (only 800x600 shows)
extern const unsigned long picture3Jpeg_size;
extern const unsigned char picture4Jpeg[];  // moonlit lake: behind the magnolia
extern const unsigned long picture4Jpeg_size;
extern const unsigned char picture5Jpeg[];  // mirror spheres at dusk: behind the teddy
extern const unsigned long picture5Jpeg_size;
extern const unsigned char picture6Jpeg[];  // ringed planet: the interlude after the greetings
extern const unsigned long picture6Jpeg_size;
extern const unsigned char picture7Jpeg[];  // aurora: decoded at start, shown by no scene
extern const unsigned long picture7Jpeg_size;

// The 256x256 JPEGs that the opening and the closing cut into rings around their centre.
extern const unsigned char openingPictureJpeg[];
extern const unsigned long openingPictureJpeg_size;
extern const unsigned char closingPictureJpeg[];
extern const unsigned long closingPictureJpeg_size;

// The 200x95 banner ("^vorna"); pure blue (0, 0, 255) is transparent.
extern const unsigned char bannerRgb[];
extern const unsigned long bannerRgb_size;
// The 64x51 sprite (a small star); magenta (255, 0, 255) is transparent.
extern const unsigned char spriteRgb[];
extern const unsigned long spriteRgb_size;

namespace pictures {
constexpr int bannerWidth = 200;
constexpr int bannerHeight = 95;
constexpr int spriteWidth = 64;
constexpr int spriteHeight = 51;
constexpr int ringPictureSize = 256;
}  // namespace pictures
