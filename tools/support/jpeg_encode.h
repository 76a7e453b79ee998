// JPEG blocks made in memory with the library's compressor: the generators'
// pictures and the image tests' fixtures. Header only; the user links libjpeg.
// Not for: the production, which only decodes (image/jpeg_source.h).
#pragma once

#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace jpegencode {

using Bytes = std::vector<unsigned char>;

struct Settings {
    int quality = 95;
    // Every component at full resolution, so that colours survive as exactly
    // as JPEG allows; off: the library's default chroma subsampling.
    bool fullChroma = true;
    // Optimised Huffman tables and the slow exact DCT: the smallest block.
    bool optimize = false;
    const char* comment = nullptr;  // a COM marker of commentBytes bytes, when set
    int commentBytes = 0;
};

// samples: width x height x components bytes, rows top down, in colour space `space`.
inline Bytes encode(const unsigned char* samples, int width, int height, int components, J_COLOR_SPACE space,
                    const Settings& settings = {}) {
    jpeg_compress_struct c;
    jpeg_error_mgr errors;
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&c, &out, &outSize);
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = components;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, settings.quality, TRUE);
    if (settings.fullChroma)
        for (int i = 0; i < c.num_components; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    if (settings.optimize) {
        c.optimize_coding = TRUE;
        c.dct_method = JDCT_ISLOW;
    }
    jpeg_start_compress(&c, TRUE);
    if (settings.comment)
        jpeg_write_marker(&c, JPEG_COM, reinterpret_cast<const JOCTET*>(settings.comment),
                          unsigned(settings.commentBytes));
    // The library reads rows through non-const pointers; copy each so the caller's samples stay const.
    std::vector<unsigned char> row(size_t(width) * size_t(components));
    while (c.next_scanline < c.image_height) {
        const unsigned char* from = samples + size_t(c.next_scanline) * row.size();
        row.assign(from, from + row.size());
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes bytes(out, out + outSize);
    std::free(out);
    return bytes;
}

}  // namespace jpegencode
