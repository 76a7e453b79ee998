#include "image/image.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "image/jpeg_source.h"

namespace {

constexpr Uint32 kKeyFlags = SDL_SRCCOLORKEY | SDL_RLEACCEL;

// SDL 1.2 keeps a surface's pitch in 16 bits and sizes its pixel block with an
// int product, so larger pictures would get a wrapped, too small buffer. The
// byte budget also bounds what one hostile header can make us allocate.
constexpr unsigned long kMaxPitch = 65532;
constexpr unsigned long kMaxSurfaceBytes = 256UL << 20;
// The library's own working memory (whole-image buffers of progressive files).
constexpr long kMaxDecoderMemory = 256L << 20;

const SDL_PixelFormat* videoFormat() {
    SDL_Surface* video = SDL_GetVideoSurface();
    return video ? video->format : nullptr;
}

uint32_t magentaKey() {
    const SDL_PixelFormat* format = videoFormat();
    return format ? SDL_MapRGB(const_cast<SDL_PixelFormat*>(format), 255, 0, 255) : 0;
}

SDL_Surface* blankSurface(int32_t width, int32_t height) {
    const SDL_PixelFormat* format = videoFormat();
    if (!format || width <= 0 || height <= 0) return nullptr;
    SDL_Surface* surface = SDL_CreateRGBSurface(SDL_SWSURFACE, width, height, format->BitsPerPixel, 0, 0, 0, 0);
    if (surface) SDL_FillRect(surface, nullptr, 0);
    return surface;
}

SDL_Surface* toDisplayFormat(SDL_Surface* surface) {
    if (!surface) return nullptr;
    SDL_Surface* converted = SDL_DisplayFormat(surface);
    SDL_FreeSurface(surface);
    return converted;
}

// Everything the decoder touches after setjmp lives here, behind a pointer,
// so no local of the jumping function changes between setjmp and longjmp.
struct JpegDecode {
    jpeg_decompress_struct decompressor;
    JpegErrorManager errors;
    SDL_Surface* surface;
    FILE* file;
    const unsigned char* data;
    size_t size;
};

// Moves one decoded row into the surface: RGB samples to blue, green, red bytes.
// Cost: one pass over the row's width.
void transferRow(const JSAMPLE* samples, int components, Uint8* row, int bytesPerPixel, JDIMENSION width) {
    for (JDIMENSION x = 0; x < width; ++x) {
        row[0] = samples[2];
        row[1] = samples[1];
        row[2] = samples[0];
        samples += components;
        row += bytesPerPixel;
    }
}

// Plain C-style on purpose: the library's fatal errors longjmp back into this
// frame, so nothing with a destructor may live here. Returns the surface or
// null; on every path the decompressor is destroyed.
SDL_Surface* decodeJpeg(JpegDecode* job) {
    std::memset(&job->decompressor, 0, sizeof job->decompressor);
    job->surface = nullptr;
    job->decompressor.err = jpeg_std_error(&job->errors.manager);
    job->errors.manager.error_exit = jpegErrorExit;
    if (setjmp(job->errors.jumpPoint)) {
        // A half-built picture is released rather than handed on as success.
        jpeg_destroy_decompress(&job->decompressor);
        if (job->surface) SDL_FreeSurface(job->surface);
        job->surface = nullptr;
        return nullptr;
    }
    jpeg_create_decompress(&job->decompressor);
    job->decompressor.mem->max_memory_to_use = kMaxDecoderMemory;
    if (job->file)
        jpeg_stdio_src(&job->decompressor, job->file);
    else
        jpegMemorySource(&job->decompressor, job->data, job->size);

    jpeg_read_header(&job->decompressor, TRUE);
    // Always ask for RGB: grayscale is widened by the library, and a colour
    // space it cannot turn into RGB (CMYK, YCCK) fails here through the error
    // exit instead of handing us rows of the wrong width.
    job->decompressor.out_color_space = JCS_RGB;
    jpeg_start_decompress(&job->decompressor);

    const SDL_PixelFormat* format = videoFormat();
    const int components = job->decompressor.output_components;
    const JDIMENSION width = job->decompressor.output_width;
    const JDIMENSION height = job->decompressor.output_height;
    if (!format || format->BytesPerPixel < 3 || components != 3) {
        jpeg_destroy_decompress(&job->decompressor);
        return nullptr;
    }
    const unsigned long pitch = ((width + 1UL) * format->BytesPerPixel + 3UL) & ~3UL;
    if (pitch > kMaxPitch || pitch * (height + 1UL) > kMaxSurfaceBytes) {
        jpeg_destroy_decompress(&job->decompressor);
        return nullptr;
    }
    job->surface = blankSurface(static_cast<int32_t>(width + 1), static_cast<int32_t>(height + 1));
    if (!job->surface) {
        jpeg_destroy_decompress(&job->decompressor);
        return nullptr;
    }

    JSAMPARRAY buffer = job->decompressor.mem->alloc_sarray(
        reinterpret_cast<j_common_ptr>(&job->decompressor), JPOOL_IMAGE, width * components, 1);
    Uint8* pixels = static_cast<Uint8*>(job->surface->pixels);
    const int bytesPerPixel = job->surface->format->BytesPerPixel;
    // Cost: one pass over every decoded pixel.
    while (job->decompressor.output_scanline < height) {
        jpeg_read_scanlines(&job->decompressor, buffer, 1);
        // The row index after the read: picture row 0 lands on surface row 1.
        Uint8* row = pixels + job->decompressor.output_scanline * job->surface->pitch;
        transferRow(buffer[0], components, row, bytesPerPixel, width);
    }
    jpeg_finish_decompress(&job->decompressor);
    jpeg_destroy_decompress(&job->decompressor);
    SDL_Surface* surface = job->surface;
    job->surface = nullptr;
    return surface;
}

}  // namespace

SDL_Surface* loadJpegFile(const char* fileName) {
    if (!fileName) return nullptr;
    FILE* file = std::fopen(fileName, "rb");
    if (!file) {
        std::fprintf(stderr, "can't open %s\n", fileName);
        return nullptr;
    }
    JpegDecode job;
    job.file = file;
    job.data = nullptr;
    job.size = 0;
    SDL_Surface* surface = decodeJpeg(&job);
    std::fclose(file);
    return surface;
}

SDL_Surface* loadJpegMemory(const unsigned char* data, int32_t size) {
    // A negative count would turn into a huge unsigned one and read past the block.
    if (!data || size < 0) return nullptr;
    JpegDecode job;
    job.file = nullptr;
    job.data = data;
    job.size = static_cast<size_t>(size);
    return decodeJpeg(&job);
}

SDL_Surface* loadImageFile(const char* fileName) {
    if (!fileName) return nullptr;
    SDL_Surface* surface = nullptr;
    if (std::strstr(fileName, "jpg")) {
        surface = loadJpegFile(fileName);
    } else if (std::strstr(fileName, "bmp")) {
        SDL_RWops* stream = SDL_RWFromFile(fileName, "rb");
        if (stream) surface = SDL_LoadBMP_RW(stream, 1);
    }
    return toDisplayFormat(surface);
}

Image::Image() : failed(0), surface(nullptr), colorKey(magentaKey()) {}

Image::Image(int32_t width, int32_t height) : Image() {
    surface = blankSurface(width, height);
}

Image::Image(const Image& other) : Image() {
    if (!other.surface) return;
    surface = blankSurface(other.surface->w, other.surface->h);
    if (!surface) return;
    colorKey = other.colorKey;
    SDL_SetColorKey(surface, kKeyFlags, colorKey);
    SDL_UpperBlit(other.surface, nullptr, surface, nullptr);
}

Image::Image(const char* fileName, uint32_t key) : Image() {
    surface = loadImageFile(fileName);
    if (surface) {
        colorKey = key;
        SDL_SetColorKey(surface, kKeyFlags, colorKey);
    } else {
        failed = 1;
    }
}

Image::Image(const char* fileName) : Image() {
    surface = loadImageFile(fileName);
    if (!surface) failed = 1;
}

Image::Image(const unsigned char* data, int32_t size) : Image() {
    surface = toDisplayFormat(loadJpegMemory(data, size));
    if (!surface) failed = 1;
}

Image::~Image() {
    if (surface) SDL_FreeSurface(surface);
}

void Image::setColorKey(uint32_t key) {
    if (!surface) return;
    colorKey = key;
    SDL_SetColorKey(surface, kKeyFlags, colorKey);
}

void Image::fill(uint32_t pixel) {
    if (surface) SDL_FillRect(surface, nullptr, pixel);
}

void Image::fill(const uint32_t* pixel) {
    if (surface && pixel) SDL_FillRect(surface, nullptr, *pixel);
}

void Image::clearToColorKey() {
    if (!surface) return;
    SDL_SetColorKey(surface, kKeyFlags, colorKey);
    SDL_FillRect(surface, nullptr, colorKey);
}

namespace {

// Wide enough that any 32-bit offset added to a channel cannot overflow.
Uint8 clampChannel(int64_t value) {
    return Uint8(value < 0 ? 0 : (value > 255 ? 255 : value));
}

// Cost: one SDL_GetRGB and one SDL_MapRGB per visited pixel, width x height.
void shiftPixels(SDL_Surface* surface, int32_t dr, int32_t dg, int32_t db, bool skipKey, uint32_t key) {
    SDL_PixelFormat* format = surface->format;
    const int bytesPerPixel = format->BytesPerPixel;
    const int rowBytes = surface->w * bytesPerPixel;
    for (int y = 0; y < surface->h; ++y) {
        // Row by row through the pitch: a packed walk would drift at depths
        // whose rows carry padding.
        Uint8* p = static_cast<Uint8*>(surface->pixels) + y * surface->pitch;
        for (int x = 0; x < rowBytes; x += bytesPerPixel) {
            uint32_t value = 0;
            for (int b = 0; b < bytesPerPixel; ++b) value |= uint32_t(p[x + b]) << (8 * b);
            if (skipKey && value == key) continue;
            Uint8 r, g, b;
            SDL_GetRGB(value, format, &r, &g, &b);
            value = SDL_MapRGB(format, clampChannel(int64_t(r) + dr), clampChannel(int64_t(g) + dg),
                               clampChannel(int64_t(b) + db));
            for (int k = 0; k < bytesPerPixel; ++k) p[x + k] = Uint8(value >> (8 * k));
        }
    }
}

}  // namespace

void Image::shiftColors(int32_t dr, int32_t dg, int32_t db) {
    if (surface) shiftPixels(surface, dr, dg, db, true, colorKey);
}

void Image::shiftAllColors(int32_t dr, int32_t dg, int32_t db) {
    if (surface) shiftPixels(surface, dr, dg, db, false, colorKey);
}

void Image::brighten(int32_t d) {
    shiftAllColors(d, d, d);
}

void Image::create(int32_t width, int32_t height) {
    // Replacing the picture must not leak the one held so far.
    SDL_Surface* fresh = blankSurface(width, height);
    if (surface) SDL_FreeSurface(surface);
    surface = fresh;
}
