// vorna-view: draws one model with the production's own Camera::render into
// an 800x600 picture and saves it, so models and renderer can be looked at
// outside the demo. The model is an embedded one, found by name as the
// timeline finds it, or an OBJ file. Runs on SDL's dummy video driver unless
// another is asked for; needs no window.
#include <SDL/SDL.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>

#include "geometry/model_library.h"
#include "models/models.h"
#include "support/png_writer.h"
#include "render/camera.h"

namespace {

void usage() {
    std::printf(
        "usage: vorna-view [options] MODEL\n"
        "  MODEL is an embedded model found by a part of its name (sphere, magnolia,\n"
        "  teddy, glob, cow, OCTO, SPRING) or the path of an OBJ file.\n"
        "options:\n"
        "  -o FILE            picture to write, .png or .bmp (default vorna-view.png)\n"
        "  --rotate X,Y,Z     rotation in radians, applied z, y, x (default 0,0,0)\n"
        "  --position X,Y,Z   position (default 0,0,0; the eye is at z = 976)\n"
        "  --color RRGGBB     object colour in hex (default FFFFFF)\n"
        "  --background RRGGBB  (default 000000)\n"
        "  --per-face-color   draw each face in its own (material) colour\n"
        "  --alpha N          0 .. 255 (default 255)\n"
        "  --shading F        light strength (default 1; 0 draws unlit)\n"
        "  --draw-count N     draw only the first N faces\n"
        "  --scale F          OBJ file scale (default 1)\n"
        "  --flip-quads       OBJ file quads split the other way\n"
        "  camera switches: --glyphs --normals --normal-color RRGGBB --interlace --ghost\n"
        "  --ghost-offset F --color-split --scanline-glitch --no-sort --flare X,Y (repeatable)\n"
        "  --repeat N         render N more times and print the time per call\n"
        "  --list             print the embedded models and exit\n");
}

bool parseTriple(const char* text, Vector3* v) {
    return text && std::sscanf(text, "%f,%f,%f", &v->x, &v->y, &v->z) == 3;
}

bool parseHex(const char* text, uint32_t* out) {
    if (!text) return false;
    char* end = nullptr;
    unsigned long v = std::strtoul(text[0] == '#' ? text + 1 : text, &end, 16);
    if (!end || *end || v > 0xFFFFFF) return false;
    *out = uint32_t(v);
    return true;
}

bool endsWith(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

bool isFile(const char* path) {
    FILE* f = std::fopen(path, "r");
    if (!f) return false;
    std::fclose(f);
    return true;
}

void printModel(const MeshObject* m) {
    float lo[3] = {FLT_MAX, FLT_MAX, FLT_MAX}, hi[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
    for (const Vector3* v : m->vertices) {
        const float c[3] = {v->x, v->y, v->z};
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], c[k]);
            hi[k] = std::max(hi[k], c[k]);
        }
    }
    std::printf("%s: %d faces, %zu vertices", m->name ? m->name : "(unnamed)", m->faceCount, m->vertices.size());
    if (!m->vertices.empty())
        std::printf(", extents %.1f .. %.1f; %.1f .. %.1f; %.1f .. %.1f", lo[0], hi[0], lo[1], hi[1], lo[2], hi[2]);
    std::printf("\n");
}

double seconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

// The command line.
struct ViewOptions {
    const char* out = "vorna-view.png";
    const char* modelName = nullptr;
    Vector3 rotation, position;
    uint32_t color = 0xFFFFFF, background = 0, normalColor = 0;
    int perFaceColor = 0, alpha = 255, drawCount = -1, flipQuads = 0, repeat = 0, list = 0;
    float shading = 1.0f, scale = 1.0f, ghostOffset = 8.0f;
    int glyphs = 0, normals = 0, interlace = 0, ghost = 0, colorSplit = 0, glitch = 0, noSort = 0;
    int flareX[16], flareY[16], flareCount = 0;
};

// Fills o from the command line: -1 to go on, else the exit status (help, or a fault already reported).
int parseOptions(int argc, char** argv, ViewOptions* o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = true, used = true;
        if (a == "-o") ok = next && (o->out = next);
        else if (a == "--rotate") ok = parseTriple(next, &o->rotation);
        else if (a == "--position") ok = parseTriple(next, &o->position);
        else if (a == "--color") ok = parseHex(next, &o->color);
        else if (a == "--background") ok = parseHex(next, &o->background);
        else if (a == "--normal-color") ok = parseHex(next, &o->normalColor);
        else if (a == "--alpha")
            ok = next && std::sscanf(next, "%d", &o->alpha) == 1 && o->alpha >= 0 && o->alpha <= 255;
        else if (a == "--shading") ok = next && std::sscanf(next, "%f", &o->shading) == 1;
        else if (a == "--draw-count") ok = next && std::sscanf(next, "%d", &o->drawCount) == 1 && o->drawCount >= 0;
        else if (a == "--scale") ok = next && std::sscanf(next, "%f", &o->scale) == 1;
        else if (a == "--ghost-offset") ok = next && std::sscanf(next, "%f", &o->ghostOffset) == 1;
        else if (a == "--repeat") ok = next && std::sscanf(next, "%d", &o->repeat) == 1 && o->repeat >= 0;
        else if (a == "--flare") {
            const int k = o->flareCount;
            ok = next && k < 16 && std::sscanf(next, "%d,%d", &o->flareX[k], &o->flareY[k]) == 2;
            if (ok) ++o->flareCount;
        } else {
            used = false;
            if (a == "--per-face-color") o->perFaceColor = 1;
            else if (a == "--flip-quads") o->flipQuads = 1;
            else if (a == "--glyphs") o->glyphs = 1;
            else if (a == "--normals") o->normals = 1;
            else if (a == "--interlace") o->interlace = 1;
            else if (a == "--ghost") o->ghost = 1;
            else if (a == "--color-split") o->colorSplit = 1;
            else if (a == "--scanline-glitch") o->glitch = 1;
            else if (a == "--no-sort") o->noSort = 1;
            else if (a == "--list") o->list = 1;
            else if (a == "-h" || a == "--help") {
                usage();
                return 0;
            } else if (!a.empty() && a[0] == '-') {
                std::fprintf(stderr, "vorna-view: unknown option %s\n", a.c_str());
                return 2;
            } else if (o->modelName) {
                std::fprintf(stderr, "vorna-view: one model at a time (%s and %s)\n", o->modelName, a.c_str());
                return 2;
            } else {
                o->modelName = argv[i];
            }
        }
        if (!ok) {
            std::fprintf(stderr, "vorna-view: %s needs a valid value\n", a.c_str());
            return 2;
        }
        if (used) ++i;
    }
    if (!o->modelName && !o->list) {
        usage();
        return 2;
    }
    return -1;
}

// The model named on the command line, in the library (the embedded ones or
// an OBJ file); null with the reason printed. With --list, prints them all.
MeshObject* loadModel(ModelLibrary& library, const ViewOptions& o) {
    try {
        if (o.list || !isFile(o.modelName) || !endsWith(o.modelName, ".obj")) {
            for (const EmbeddedModel& m : embeddedModels)
                addTableModel(library, m.table, m.scale, m.materials, m.materialCount, m.flipQuads);
            if (o.list) {
                for (const MeshObject* m : library.models) printModel(m);
                return nullptr;
            }
            MeshObject* object = findModel(library, o.modelName);
            if (!object) std::fprintf(stderr, "vorna-view: no model named like \"%s\"\n", o.modelName);
            return object;
        }
        return addFileModel(library, o.modelName, o.scale, o.flipQuads);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vorna-view: %s does not load: %s\n", o.modelName, e.what());
        return nullptr;
    }
}

// The model's state and the camera's switches as the options ask.
void setUp(MeshObject* object, Camera& camera, const ViewOptions& o, SDL_Surface* frame) {
    const SDL_PixelFormat* vf = SDL_GetVideoSurface()->format;
    object->position = o.position;
    object->rotation = o.rotation;
    object->color =
        SDL_MapRGB(const_cast<SDL_PixelFormat*>(vf), Uint8(o.color >> 16), Uint8(o.color >> 8), Uint8(o.color));
    object->perFaceColor = o.perFaceColor;
    object->alpha = o.alpha;
    object->shading = o.shading;
    object->drawCount = o.drawCount < 0 ? object->faceCount : std::min(o.drawCount, object->faceCount);

    camera.init(45, 10.0f, frame);
    camera.renderMode = o.glyphs;
    camera.showNormals = o.normals;
    camera.normalColor = o.normalColor;
    camera.interlace = o.interlace;
    camera.ghost = o.ghost;
    camera.ghostOffset = o.ghostOffset;
    camera.colorSplit = o.colorSplit;
    camera.scanlineGlitch = o.glitch;
    camera.depthSort = !o.noSort;
    camera.flares = o.flareCount > 0;
    for (int k = 0; k < o.flareCount; ++k) camera.addFlarePoint(o.flareX[k], o.flareY[k]);
}

// --repeat: both halves of a render timed on a spare frame, so the picture stays one render.
void timeRenders(Camera& camera, MeshObject* object, SDL_Surface* frame, int repeat) {
    SDL_Surface* spare = SDL_ConvertSurface(frame, frame->format, SDL_SWSURFACE);
    camera.target = spare;
    double prepare = 0, draw = 0;
    for (int k = 0; k < repeat; ++k) {
        const double t0 = seconds();
        const int32_t n = camera.transformAndSort(object);
        const double t1 = seconds();
        camera.drawFaces(object, n);
        prepare += t1 - t0;
        draw += seconds() - t1;
    }
    std::printf("per render: transform+sort %.3f ms, draw %.3f ms (%d calls, CPU time)\n", prepare / repeat * 1e3,
                draw / repeat * 1e3, repeat);
    camera.target = frame;
    SDL_FreeSurface(spare);
}

}  // namespace

int main(int argc, char** argv) {
    ViewOptions o;
    const int parsed = parseOptions(argc, argv, &o);
    if (parsed >= 0) return parsed;

    if (!std::getenv("SDL_VIDEODRIVER")) setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_VIDEO) != 0 || !SDL_SetVideoMode(800, 600, 32, SDL_SWSURFACE)) {
        std::fprintf(stderr, "vorna-view: no 32-bit video surface: %s\n", SDL_GetError());
        return 1;
    }
    const SDL_PixelFormat* vf = SDL_GetVideoSurface()->format;
    SDL_Surface* frame = SDL_CreateRGBSurface(SDL_SWSURFACE, 800, 600, 32, vf->Rmask, vf->Gmask, vf->Bmask, 0);

    // Model colours are mapped with the video format, so the library is
    // built after the video mode is set, as the demo builds it.
    ModelLibrary library;
    MeshObject* object = loadModel(library, o);
    int status = o.list ? 0 : 1;
    if (object) {
        printModel(object);
        Camera camera;
        setUp(object, camera, o, frame);
        const Uint32 fill =
            SDL_MapRGB(frame->format, Uint8(o.background >> 16), Uint8(o.background >> 8), Uint8(o.background));
        SDL_FillRect(frame, nullptr, fill);
        camera.render(object);
        if (o.repeat > 0) timeRenders(camera, object, frame, o.repeat);

        const std::string path = o.out;
        const bool saved = endsWith(path, ".bmp") ? SDL_SaveBMP(frame, o.out) == 0 : writePng(frame, o.out);
        if (saved) {
            std::printf("wrote %s\n", o.out);
            status = 0;
        } else {
            std::fprintf(stderr, "vorna-view: cannot write %s\n", o.out);
        }
    }
    destroyLibrary(library);
    SDL_FreeSurface(frame);
    SDL_Quit();
    return status;
}
