// Small JPEG blocks made on the spot (support/jpeg_encode.h), and a
// plain reference decode of them, for the image loader tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "support/jpeg_encode.h"

namespace jpegfixtures {

using Bytes = std::vector<unsigned char>;

// Samples of one picture: width x height x components bytes, rows top down.
struct Picture {
    int width;
    int height;
    int components;
    std::vector<unsigned char> samples;
};

// A picture whose channels vary along both axes, so misplaced rows or columns show.
inline Picture gradientPicture(int width, int height) {
    Picture p{width, height, 3, std::vector<unsigned char>(size_t(width) * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned char* s = &p.samples[(size_t(y) * width + x) * 3];
            s[0] = static_cast<unsigned char>(x * 255 / (width > 1 ? width - 1 : 1));
            s[1] = static_cast<unsigned char>(y * 255 / (height > 1 ? height - 1 : 1));
            s[2] = static_cast<unsigned char>((x + 2 * y) & 0xFF);
        }
    return p;
}

inline Picture flatPicture(int width, int height, int components, std::vector<unsigned char> value) {
    Picture p{width, height, components, {}};
    for (int i = 0; i < width * height; ++i) p.samples.insert(p.samples.end(), value.begin(), value.end());
    return p;
}

// Encodes at full chroma resolution so colours survive as exactly as JPEG allows.
inline Bytes encode(const Picture& p, J_COLOR_SPACE space, int quality = 95, const char* comment = nullptr,
                    int commentBytes = 0) {
    jpegencode::Settings settings;
    settings.quality = quality;
    settings.comment = comment;
    settings.commentBytes = commentBytes;
    return jpegencode::encode(p.samples.data(), p.width, p.height, p.components, space, settings);
}

// The library's own RGB decode of a valid block, for exact comparison.
inline Picture referenceDecode(const Bytes& block) {
    jpeg_decompress_struct d;
    jpeg_error_mgr errors;
    d.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, block.data(), static_cast<unsigned long>(block.size()));
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    Picture p{int(d.output_width), int(d.output_height), d.output_components,
              std::vector<unsigned char>(size_t(d.output_width) * d.output_height * d.output_components)};
    while (d.output_scanline < d.output_height) {
        JSAMPROW rows[1] = {&p.samples[size_t(d.output_scanline) * p.width * p.components]};
        jpeg_read_scanlines(&d, rows, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return p;
}

inline bool writeFile(const char* path, const Bytes& bytes) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace jpegfixtures
