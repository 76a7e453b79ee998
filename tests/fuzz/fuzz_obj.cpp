// Arbitrary bytes through the OBJ loader, once as a line table and once as a
// file: every input either loads or throws std::out_of_range, and never
// crashes, reads outside its lines or leaks.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "geometry/obj_loader.h"

namespace {

const MaterialEntry kMaterials[] = {
    {"brownskn", 0.8f, 0.6f, 0.6f}, {"bone1", 1.0f, 1.0f, 1.0f}, {"", 2.5f, -1.0f, 1e30f}};

std::string scratchPath() {
    char name[64];
    std::snprintf(name, sizeof name, "/tmp/fuzz_obj_%d.obj", static_cast<int>(getpid()));
    return name;
}

void checkFaces(const MeshObject& m) {
    // Every face holds a real vertex: touch the corners so a bad copy shows.
    volatile float sum = 0;
    for (int i = 0; i < m.faceCount; ++i) sum = sum + m.faces[i].a.position.x + m.faces[i].c.position.z;
    if (m.faceCount != m.drawCount || static_cast<size_t>(m.faceCount) != m.faceIndices.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16)) return 0;
    // Split at line ends into table entries; the first byte picks the switches.
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines = {"fuzz"};
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    std::vector<const char*> table;
    for (const std::string& l : lines) table.push_back(l.c_str());
    table.push_back(nullptr);
    int32_t flip = size > 0 ? data[0] & 1 : 0;
    const MaterialEntry* materials = size > 0 && (data[0] & 2) ? kMaterials : nullptr;

    // The loader's messages go to standard output; keep the fuzzer's log readable.
    static const bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    (void)quiet;
    try {
        MeshObject m;
        m.loadTable(table.data(), materials, 3, 1.5f, flip);
        checkFaces(m);
    } catch (const std::out_of_range&) {
    }

    static const std::string path = scratchPath();
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        try {
            MeshObject m(path.c_str(), 0.5f, flip);
            checkFaces(m);
        } catch (const std::out_of_range&) {
        }
    }
    return 0;
}
