// Camera::render of each embedded model, placed and rotated as its first
// timeline scene places it, into an 800x600 frame: transform + sort and draw
// timed apart, then the whole call. Figures are CPU time of this thread
// (robust on a shared machine) with wall time beside the whole call.
#include <SDL/SDL.h>
#include <time.h>

#include <cstdio>

#include "bench.h"
#include "geometry/model_library.h"
#include "models/models.h"
#include "render/camera.h"

namespace {

struct Placement {
    const char* pattern;  // as findModel takes it
    uint32_t color;
    Vector3 position;
    Vector3 rotation;
    int perFaceColor;
};

// Rows 3, 4, 5, 9, 15, 17 and 18 of the timeline.
const Placement placements[] = {
    {"sphere", 0xFFFFFF, {0, 0, 450}, {0, 0, -0.01f}, 0},
    {"glob", 0xFFFFFF, {0, -40, 450}, {0, 0, -0.01f}, 0},
    {"OCTO", 0x0066FF, {100, 0, -270}, {-1.3f, 5.2f, -0.01f}, 0},
    {"magnolia", 0xFFFFFF, {13.35f, 0, 330}, {1.6f, 0, -0.01f}, 1},
    {"cow", 0x00AAAA, {0, 0, 400}, {0.2f, -1.55f, 0}, 0},
    {"SPRING", 0x00AAAA, {0, 50, 180}, {0.2f, -1.55f, 0}, 0},
    {"teddy", 0xFFBB00, {100, 0, 120}, {0, 0, 0}, 0},
};

double threadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Mean thread CPU seconds per call over at least 0.3 s of CPU time.
template <typename F>
double cpuTimeIt(F&& fn) {
    fn();  // warm-up
    int calls = 0;
    const double start = threadSeconds();
    double elapsed = 0;
    do {
        fn();
        ++calls;
        elapsed = threadSeconds() - start;
    } while (elapsed < 0.3);
    return elapsed / calls;
}

ModelLibrary& library() {
    static ModelLibrary models = [] {
        bench::videoFrame();  // colours are mapped with the video format
        ModelLibrary l;
        for (const EmbeddedModel& m : embeddedModels)
            addTableModel(l, m.table, m.scale, m.materials, m.materialCount, m.flipQuads);
        return l;
    }();
    return models;
}

void renderFigures(const Placement& p, const char* label, void (*configure)(Camera&)) {
    MeshObject* object = findModel(library(), p.pattern);
    if (!object) {
        std::printf("%-22s model not found\n", label);
        return;
    }
    object->color = p.color;
    object->position = p.position;
    object->rotation = p.rotation;
    object->perFaceColor = p.perFaceColor;
    object->drawCount = object->faceCount;
    SDL_Surface* s = bench::videoFrame();
    Camera camera;
    camera.init(45, 10.0f, s);
    if (configure) configure(camera);
    SDL_FillRect(s, nullptr, 0);

    const double prepare = cpuTimeIt([&] { bench::keep(camera.transformAndSort(object)); });
    const int32_t count = camera.transformAndSort(object);
    const double draw = cpuTimeIt([&] { camera.drawFaces(object, count); });
    const double whole = cpuTimeIt([&] { camera.render(object); });
    const double wall = bench::timeIt([&] { camera.render(object); });
    std::printf("| %s | %d | %.3f | %.3f | %.3f | %.3f |\n", label, object->faceCount, prepare * 1e3, draw * 1e3,
                whole * 1e3, wall * 1e3);
}

// The header of the rows above, ready for the README.
void tableHeader() {
    std::printf("| model | faces | transform+sort (CPU ms) | draw (CPU ms) | render (CPU ms) | render (wall ms) |\n"
                "|---|---:|---:|---:|---:|---:|\n");
}

}  // namespace

VORNA_BENCH("camera/models") {
    tableHeader();
    for (const Placement& p : placements) renderFigures(p, p.pattern, nullptr);
}

// The sphere and the cow with the effect switches their scenes turn on.
VORNA_BENCH("camera/scene-switches") {
    tableHeader();
    renderFigures(placements[0], "sphere interlace+ghost", [](Camera& c) {
        c.interlace = 1;
        c.ghost = 1;
        c.ghostOffset = 2.0f;
    });
    renderFigures(placements[4], "cow normals", [](Camera& c) {
        c.showNormals = 1;
        c.normalColor = 0xFF0000;
    });
    renderFigures(placements[0], "sphere unsorted", [](Camera& c) { c.depthSort = 0; });
}
