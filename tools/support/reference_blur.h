// The frame blur written straight from its formula, one byte at a time: the
// reference the fast blur must match byte for byte (tests) and the baseline
// its speed is compared with (vorna-bench). `alpha` is the 16-bit filter
// coefficient; 4 bytes per pixel.
#pragma once

#include <cstdint>

namespace reference {

inline void blur(uint8_t* px, int pitch, int w, int h, int32_t alpha, bool horizontal, bool vertical) {
    auto step = [alpha](uint8_t& b, int32_t& z) {
        z = z + ((((int32_t)b << 7) - z) * alpha >> 16);
        b = (uint8_t)(z >> 7);
    };
    if (horizontal) {
        for (int y = 0; y < h; ++y) {
            uint8_t* row = px + y * pitch;
            int32_t z[4] = {row[0] << 7, row[1] << 7, row[2] << 7, row[3] << 7};
            for (int o = 4; o < w * 4; o += 4)
                for (int c = 0; c < 4; ++c) step(row[o + c], z[c]);
            for (int o = w * 4 - 8; o >= 0; o -= 4)
                for (int c = 0; c < 4; ++c) step(row[o + c], z[c]);
        }
    }
    if (vertical) {
        // Upward from the second-to-last row: the last row is left as it is.
        for (int x = 0; x < w; ++x) {
            int32_t z[4];
            for (int c = 0; c < 4; ++c) z[c] = px[x * 4 + c] << 7;
            for (int y = h - 2; y >= 0; --y)
                for (int c = 0; c < 4; ++c) step(px[y * pitch + x * 4 + c], z[c]);
        }
    }
}

}  // namespace reference
