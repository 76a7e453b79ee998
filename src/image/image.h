// Images: an SDL surface in the display's pixel format with a failed flag and
// a colour key, and the loaders behind it (JPEG from memory or a file, BMP from
// a file).
//
// An Image owns its surface and frees it when it goes; copies are deep. Every
// constructor reads the video surface's format, so the video mode must be set
// before the first Image is made. Main thread only: none of this locks, and the
// JPEG decoder's error path uses setjmp/longjmp. Not for the screen itself (the
// engine owns that surface) and not for 8- or 16-bit displays: the JPEG pixel
// transfer writes blue, green, red bytes, which holds at 24 and 32 bits only.
#pragma once

#include <SDL/SDL.h>
#include <cstdint>

struct Image {
    int32_t failed;
    SDL_Surface* surface;
    uint32_t colorKey;

    Image();
    Image(int32_t width, int32_t height);
    Image(const Image& other);
    Image(const char* fileName, uint32_t key);
    explicit Image(const char* fileName);
    Image(const unsigned char* data, int32_t size);
    ~Image();
    Image& operator=(const Image&) = delete;

    void setColorKey(uint32_t key);
    void fill(uint32_t pixel);
    // The by-reference form, taken through a pointer: a second overload on
    // `const uint32_t&` would make every fill(lvalue) call ambiguous.
    void fill(const uint32_t* pixel);
    void clearToColorKey();
    void shiftColors(int32_t dr, int32_t dg, int32_t db);
    void shiftAllColors(int32_t dr, int32_t dg, int32_t db);
    void brighten(int32_t d);
    void create(int32_t width, int32_t height);
};

// A display-format surface from a file whose name contains "jpg" (JPEG) or,
// failing that, "bmp" (BMP through SDL); null otherwise or on failure.
SDL_Surface* loadImageFile(const char* fileName);

// A surface of the video depth, one row and one column larger than the picture
// (row 0 and the last column black), or null on failure. Not yet converted to
// the display format.
SDL_Surface* loadJpegFile(const char* fileName);
SDL_Surface* loadJpegMemory(const unsigned char* data, int32_t size);
