#include "support/png_writer.h"

#include <png.h>

#include <cstring>
#include <vector>

bool writePngRgb(const char* path, const uint8_t* rgb, int width, int height) {
    if (!rgb || width <= 0 || height <= 0) return false;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_RGB;
    const int ok = png_image_write_to_file(&image, path, 0, rgb, width * 3, nullptr);
    png_image_free(&image);
    return ok != 0;
}

bool writePng(SDL_Surface* surface, const char* path) {
    if (!surface || surface->format->BytesPerPixel < 2) return false;
    const int w = surface->w, h = surface->h, bytes = surface->format->BytesPerPixel;
    std::vector<uint8_t> rgb(size_t(w) * size_t(h) * 3);
    if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
    uint8_t* out = rgb.data();
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(surface->pixels) + size_t(y) * surface->pitch;
        for (int x = 0; x < w; ++x, out += 3) {
            Uint32 p = 0;
            std::memcpy(&p, row + size_t(x) * bytes, size_t(bytes));
            SDL_GetRGB(p, surface->format, out, out + 1, out + 2);
        }
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    return writePngRgb(path, rgb.data(), w, h);
}
