// Whole-file reads and writes for the generator tools: a file's bytes in,
// bytes out, and false on any failure (the caller says what failed).
// Any thread; no state. Not for the production, which reads nothing from disk.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

// Appends the whole file to out.
inline bool readFileBytes(const char* path, std::vector<uint8_t>& out) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return true;
}

// Replaces the file with size bytes; false also when the close fails.
inline bool writeFileBytes(const char* path, const void* data, size_t size) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}
