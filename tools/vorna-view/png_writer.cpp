#include "png_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

uint32_t crcTable[256];

void buildCrcTable() {
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        crcTable[n] = c;
    }
}

uint32_t crc(const uint8_t* data, size_t n, uint32_t c = 0xFFFFFFFFu) {
    for (size_t i = 0; i < n; ++i) c = crcTable[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c;
}

void putBig32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v >> 24));
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

// One chunk: length, type, data, CRC over type and data.
void putChunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& data) {
    putBig32(out, uint32_t(data.size()));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBig32(out, crc(out.data() + typeAt, 4 + data.size()) ^ 0xFFFFFFFFu);
}

}  // namespace

bool writePng(SDL_Surface* surface, const char* path) {
    if (!surface || surface->format->BytesPerPixel != 4) return false;
    buildCrcTable();
    const int w = surface->w, h = surface->h;
    const SDL_PixelFormat* f = surface->format;

    // Raw scanlines: filter byte 0, then R, G, B.
    std::vector<uint8_t> raw;
    raw.reserve(size_t(h) * (size_t(w) * 3 + 1));
    if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);
        const uint32_t* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(surface->pixels) +
                                                                size_t(y) * surface->pitch);
        for (int x = 0; x < w; ++x) {
            Uint8 r, g, b;
            SDL_GetRGB(row[x], const_cast<SDL_PixelFormat*>(f), &r, &g, &b);
            raw.push_back(r);
            raw.push_back(g);
            raw.push_back(b);
        }
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);

    // zlib stream of stored blocks of at most 65535 bytes, then Adler-32.
    std::vector<uint8_t> z{0x78, 0x01};
    uint32_t s1 = 1, s2 = 0;
    for (size_t at = 0; at < raw.size() || raw.empty();) {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        const bool last = at + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(uint8_t(n));
        z.push_back(uint8_t(n >> 8));
        z.push_back(uint8_t(~n));
        z.push_back(uint8_t(~n >> 8));
        for (size_t i = 0; i < n; ++i) {
            s1 = (s1 + raw[at + i]) % 65521;
            s2 = (s2 + s1) % 65521;
        }
        z.insert(z.end(), raw.begin() + long(at), raw.begin() + long(at + n));
        at += n;
        if (last) break;
    }
    putBig32(z, s2 << 16 | s1);

    std::vector<uint8_t> file{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    putBig32(header, uint32_t(w));
    putBig32(header, uint32_t(h));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter set, no interlace
    putChunk(file, "IHDR", header);
    putChunk(file, "IDAT", z);
    putChunk(file, "IEND", {});

    FILE* out = std::fopen(path, "wb");
    if (!out) return false;
    const bool ok = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && ok;
}
