// vorna-musicgen: synthesises the instruments, composes "kestrula" and writes
// it as a standard XM module.
//
//   vorna-musicgen --write OUT.xm        write the module
//   vorna-musicgen --check FILE.xm       fail unless FILE.xm is exactly what we write
//
// To hear and measure the module, render it with xm-render (our player) and
// read the figures with vorna-music-report.
//
// Runs at asset-generation time only; deterministic on every build.
#include <cstdio>
#include <string>
#include <vector>

#include "composition.h"
#include "support/file_bytes.h"
#include "xm_writer.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: vorna-musicgen --write OUT.xm | --check FILE.xm\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string mode = argv[1];
    const musicgen::Module module = musicgen::composeKestrula();

    if (mode == "--write") {
        const std::vector<uint8_t> bytes = musicgen::writeXm(module);
        if (!writeFileBytes(argv[2], bytes.data(), bytes.size())) {
            std::fprintf(stderr, "vorna-musicgen: can't write %s\n", argv[2]);
            return 1;
        }
        std::printf("wrote %s: %zu bytes\n", argv[2], bytes.size());
        return 0;
    }
    if (mode == "--check") {
        const std::vector<uint8_t> bytes = musicgen::writeXm(module);
        std::vector<uint8_t> committed;
        if (!readFileBytes(argv[2], committed)) {
            std::fprintf(stderr, "vorna-musicgen: can't read %s\n", argv[2]);
            return 1;
        }
        if (committed != bytes) {
            size_t at = 0;
            while (at < bytes.size() && at < committed.size() && bytes[at] == committed[at]) ++at;
            std::fprintf(stderr, "vorna-musicgen: %s differs from the generated module at byte %zu (%zu vs %zu bytes)\n",
                         argv[2], at, committed.size(), bytes.size());
            return 1;
        }
        std::printf("%s matches the generated module (%zu bytes)\n", argv[2], bytes.size());
        return 0;
    }
    return usage();
}
