// Geometry figures: building the model library from the embedded tables (the
// whole start-up load, about 106,000 lines) and the memory the loaded library
// holds.
#include <SDL/SDL.h>
#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>

#include "bench.h"
#include "geometry/model_library.h"
#include "models/models.h"

namespace {

size_t heapInUse() {
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

long maxResidentKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void buildLibrary(ModelLibrary& library) {
    for (const EmbeddedModel& e : embeddedModels) {
        addTableModel(library, e.table, e.scale, e.materials, e.materialCount, e.flipQuads);
    }
}

}  // namespace

VORNA_BENCH("geometry/library build") {
    // Colours are mapped in the video format, as at start-up.
    if (SDL_Init(SDL_INIT_VIDEO) == 0) SDL_SetVideoMode(800, 600, 32, 0);
    long rssBefore = maxResidentKb();
    size_t heapBefore = heapInUse();
    ModelLibrary first;
    double start = bench::nowSeconds();
    buildLibrary(first);
    double firstLoad = bench::nowSeconds() - start;
    size_t held = heapInUse() - heapBefore;
    long rssGrowth = maxResidentKb() - rssBefore;
    int faces = 0;
    size_t lines = 0;
    for (const MeshObject* m : first.models) faces += m->faceCount;
    for (const EmbeddedModel& e : embeddedModels)
        for (size_t i = 1; e.table[i]; ++i) ++lines;
    destroyLibrary(first);

    double perBuild = bench::timeIt([] {
        ModelLibrary library;
        buildLibrary(library);
        bench::keep(library.models.size());
        destroyLibrary(library);
    });
    std::printf("  %zu lines, %d faces: first build %.1f ms, %.1f ms per build (aim: 50 ms or less)\n", lines, faces,
                firstLoad * 1e3, perBuild * 1e3);
    std::printf("  loaded library holds %.1f MiB of heap; peak resident set grew %.1f MiB during the first build\n",
                held / 1048576.0, rssGrowth / 1024.0);

    for (const EmbeddedModel& e : embeddedModels) {
        double t = bench::timeIt(
            [&e] {
                MeshObject m;
                m.loadTable(e.table, e.materials, e.materialCount, e.scale, e.flipQuads);
                bench::keep(m.faceCount);
            },
            0.05);
        std::printf("  %-9s %.2f ms\n", e.table[0], t * 1e3);
    }
}
