// The OBJ subset the production's models use: "v" positions, "f" faces in
// four forms, "usemtl" selections and the "mtllib" statement; every other
// statement is skipped. Lines are matched with a small scanf-like reader
// (scanFields below) that keeps scanf's matching rules but saturates integers
// and never reads past the terminating zero of a line.
#include "geometry/obj_loader.h"

#include <SDL/SDL.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// --- Field reader ----------------------------------------------------------

// Results of one scanFields call: the conversions in format order, split by kind.
struct Fields {
    int count = 0;
    int ints[12] = {};
    float floats[5] = {};
};

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

const char* skipSpace(const char* s) {
    while (isSpace(*s)) ++s;
    return s;
}

// scanf's %d without its undefined overflow: out-of-range values saturate.
const char* readInt(const char* s, int& out) {
    const char* p = s;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (*p < '0' || *p > '9') return nullptr;
    long long v = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (v < 4294967296LL) v = v * 10 + (*p - '0');
    }
    if (negative) v = -v;
    if (v > 2147483647LL) v = 2147483647LL;
    if (v < -2147483647LL - 1) v = -2147483647LL - 1;
    out = static_cast<int>(v);
    return p;
}

// Powers of ten that a double holds exactly.
constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// scanf's %f. Plain decimals with at most 15 significant digits and a small
// exponent (every number the embedded models hold) are read directly, since
// the start-up load reads a few hundred thousand of them; anything else
// (hex, inf, nan, long mantissas) goes through strtof.
const char* readFloat(const char* s, float& out) {
    const char* p = s;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    long long mantissa = 0;
    int digits = 0;  // significant digits taken into the mantissa
    int scale = 0;   // decimal exponent correction from the point position
    bool any = false, simple = true;
    for (; *p >= '0' && *p <= '9'; ++p) {
        any = true;
        if (mantissa == 0 && *p == '0') continue;
        if (digits < 15) {
            mantissa = mantissa * 10 + (*p - '0');
            ++digits;
        } else {
            simple = false;
        }
    }
    if (*p == '.') {
        ++p;
        for (; *p >= '0' && *p <= '9'; ++p) {
            any = true;
            if (mantissa == 0 && *p == '0') {
                --scale;
                continue;
            }
            if (digits < 15) {
                mantissa = mantissa * 10 + (*p - '0');
                ++digits;
                --scale;
            } else {
                simple = false;
            }
        }
    }
    if (!any) simple = false;
    if (simple && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        bool expNegative = false;
        if (*q == '+' || *q == '-') expNegative = *q++ == '-';
        if (*q >= '0' && *q <= '9') {
            int e = 0;
            for (; *q >= '0' && *q <= '9'; ++q) {
                if (e < 10000) e = e * 10 + (*q - '0');
            }
            scale += expNegative ? -e : e;
            p = q;
        }
    }
    if (simple && (*p == 'x' || *p == 'X' || *p == 'n' || *p == 'N' || *p == 'i' || *p == 'I')) simple = false;
    if (simple && mantissa == 0) {
        out = negative ? -0.0f : 0.0f;
        return p;
    }
    if (simple && scale >= -22 && scale <= 22) {
        double v = static_cast<double>(mantissa);
        v = scale >= 0 ? v * kPow10[scale] : v / kPow10[-scale];
        out = static_cast<float>(negative ? -v : v);
        return p;
    }
    char* end = nullptr;
    float v = std::strtof(s, &end);
    if (end == s) return nullptr;
    out = v;
    return end;
}

// Matches line against a format made of "%c", "%d", "%f" and spaces, with
// scanf's rules: a space skips any white space, %d and %f skip leading white
// space, %c takes the next character whatever it is. Returns the number of
// conversions made before the first failure.
Fields scanFields(const char* line, const char* format) {
    Fields f;
    int ints = 0, floats = 0;
    const char* s = line;
    for (const char* q = format; *q; ++q) {
        if (*q == ' ') {
            s = skipSpace(s);
            continue;
        }
        ++q;  // the conversion letter after '%'
        if (*q == 'c') {
            if (*s == '\0') break;
            ++s;
        } else if (*q == 'd') {
            const char* next = readInt(skipSpace(s), f.ints[ints]);
            if (!next) break;
            ++ints;
            s = next;
        } else {
            const char* next = readFloat(skipSpace(s), f.floats[floats]);
            if (!next) break;
            ++floats;
            s = next;
        }
        ++f.count;
    }
    return f;
}

bool startsWith(const char* line, const char* prefix) { return std::strncmp(line, prefix, std::strlen(prefix)) == 0; }

// The line without a trailing "\n" or "\r\n".
std::string withoutLineEnd(const char* text) {
    size_t n = std::strlen(text);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r')) --n;
    return std::string(text, n);
}

// Reads a stream in pieces of at most 254 characters; a longer line arrives
// as several pieces, each handled as a line of its own.
template <typename Handle>
void forEachLine(FILE* file, Handle&& handle) {
    char buffer[255];
    while (std::fgets(buffer, sizeof buffer, file)) handle(buffer);
}

struct FileCloser {
    FILE* file;
    ~FileCloser() {
        if (file) std::fclose(file);
    }
};

// --- One load ----------------------------------------------------------------

struct Material {
    std::string name;
    uint32_t color = 0;
};

enum class LineKind { vertex, face, comment, useMaterial, materialLibrary, other };

LineKind classify(const char* line) {
    if (line[0] == 'v' && line[1] == ' ') return LineKind::vertex;
    if (line[0] == 'f' && line[1] == ' ') return LineKind::face;
    if (line[0] == '#') return LineKind::comment;
    if (startsWith(line, "use")) return LineKind::useMaterial;
    if (startsWith(line, "mtl")) return LineKind::materialLibrary;
    return LineKind::other;
}

// Loader state shared by the file and the table entry points.
class ObjReader {
public:
    ObjReader(MeshObject& object, float scale, int32_t flipQuads) : object_(object), scale_(scale), flip_(flipQuads) {}

    uint32_t currentColor = 0;
    bool materialsOn = false;

    void vertexLine(const char* line) {
        // A missing coordinate reads as 0 rather than whatever was on the stack.
        Fields f = scanFields(line, "%c %f %f %f");
        object_.vertices.push_back(new Vector3(f.floats[0] * scale_, f.floats[1] * scale_, f.floats[2] * scale_));
    }

    void faceLine(const char* line) {
        Fields f = scanFields(line, "%c %f %f %f %f");
        if (f.count == 4 || f.count == 5) {
            float a = f.floats[0] - 1.0f, b = f.floats[1] - 1.0f, c = f.floats[2] - 1.0f;
            if (f.count == 4) {
                triangle(a, b, c);
            } else {
                quad(a, b, c, f.floats[3] - 1.0f, flip_ != 0);
            }
            return;
        }
        f = scanFields(line, "%c%c%d%c%c%d%c%d%c%c%d%c%d%c%c%d%c%d%c%c%d");
        if (f.count == 21) {
            // a//n corners: the normal indices sit at ints[1], [3], [5], [7].
            // The split sense is the reverse of the plain form's.
            quad(index(f.ints[0]), index(f.ints[2]), index(f.ints[4]), index(f.ints[6]), flip_ == 0);
            return;
        }
        f = scanFields(line, "%c%c%d%c%d%c%d%c%d%c%d%c%d%c%d%c%d%c%d");
        if (f.count == 19) {
            // a/t/n corners; a fourth corner in this form is dropped.
            triangle(index(f.ints[0]), index(f.ints[3]), index(f.ints[6]));
            return;
        }
        f = scanFields(line, "%c%c%d%c%c%d%c%d%c%c%d%c%d%c%c%d");
        if (f.count == 16) triangle(index(f.ints[0]), index(f.ints[2]), index(f.ints[4]));
        // Any other form (a/t corners, for one) is skipped.
    }

    // The name requested by a "usemtl" line, or false when the line names none.
    static bool requestedName(const char* line, std::string& name) {
        const char* at = std::strstr(line, "usemtl ");
        if (!at) return false;
        name = withoutLineEnd(at + 7);
        return true;
    }

    // Turns the gathered triangles into faces. Throws std::out_of_range for
    // an index outside the vertices; the object keeps what was built so far
    // and its owner releases it.
    void build() {
        object_.faceCount = triangles_;
        object_.drawCount = triangles_;
        object_.allocateFaces();
        const size_t vertexCount = object_.vertices.size();
        // One pass over the triangles, three bounds-checked lookups each.
        for (int32_t i = 0; i < triangles_; ++i) {
            const Vector3& corners = *object_.faceIndices.at(static_cast<size_t>(i));
            Face& face = object_.faces[i];
            face.a.position = vertexAt(corners.x, vertexCount);
            face.b.position = vertexAt(corners.y, vertexCount);
            face.c.position = vertexAt(corners.z, vertexCount);
            face.color = materialsOn ? colors_[static_cast<size_t>(i)] : 0;
        }
        object_.computeNormals();
    }

private:
    MeshObject& object_;
    float scale_;
    int32_t flip_;
    int32_t triangles_ = 0;
    // One colour per triangle from the first face on, so colours and faces
    // stay paired even when the library line comes after some faces.
    std::vector<uint32_t> colors_;

    // 1-based text index to the stored 0-based float; done in double so the
    // most negative int does not overflow.
    static float index(int oneBased) { return static_cast<float>(static_cast<double>(oneBased) - 1.0); }

    void triangle(float a, float b, float c) {
        object_.faceIndices.push_back(new Vector3(a, b, c));
        colors_.push_back(currentColor);
        ++triangles_;
    }

    // Both splits share the diagonal a-c; `reversed` picks the one that turns
    // the winding of the text around.
    void quad(float a, float b, float c, float d, bool reversed) {
        if (reversed) {
            triangle(a, d, c);
            triangle(b, a, c);
        } else {
            triangle(a, b, c);
            triangle(d, a, c);
        }
    }

    const Vector3& vertexAt(float stored, size_t vertexCount) const {
        // Tested as a float first: converting NaN or a huge value to an
        // integer would be undefined.
        double whole = std::trunc(static_cast<double>(stored));
        if (!(whole >= 0.0 && whole < static_cast<double>(vertexCount))) throw std::out_of_range("face index");
        return *object_.vertices.at(static_cast<size_t>(whole));
    }
};

// Starts a load the same way for both entry points.
void beginLoad(MeshObject& object, const char* name, float scale, int32_t flipQuads) {
    object.flipQuads = flipQuads;
    object.releaseFaces();
    // A second load starts from an empty model; appending to the old
    // vertices would pair the new faces with the old index triples.
    object.releaseModelData();
    object.loadScale = scale;
    object.setName(name);
}

// Reads an MTL library: "newmtl" declares, "Ka" colours the last declared.
// Returns false when the file does not open.
bool readMaterialLibrary(const std::string& path, std::vector<Material>& materials) {
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return false;
    FileCloser closer{file};
    forEachLine(file, [&](const char* piece) {
        std::string line = withoutLineEnd(piece);
        if (startsWith(line.c_str(), "newmtl ")) {
            materials.push_back(Material{line.substr(7), 0});
        } else if (startsWith(line.c_str(), "Ka")) {
            Fields f = scanFields(line.c_str(), "%c%c %f %f %f");
            if (f.count == 5 && !materials.empty()) {
                materials.back().color = materialPixel(f.floats[0], f.floats[1], f.floats[2]);
            }
        }
    });
    return true;
}

}  // namespace

uint8_t materialComponent(float c) {
    float whole = std::trunc(c * 255.0f);
    if (!std::isfinite(whole)) return 0;
    // Wrap to 16 bits first, as a 16-bit integer would, then keep the low byte.
    double wrapped = std::fmod(static_cast<double>(whole), 65536.0);
    return static_cast<uint8_t>(static_cast<int32_t>(wrapped) & 0xFF);
}

uint32_t materialPixel(float red, float green, float blue) {
    uint8_t r = materialComponent(red), g = materialComponent(green), b = materialComponent(blue);
    SDL_Surface* video = SDL_GetVideoSurface();
    if (video && video->format) return SDL_MapRGB(video->format, r, g, b);
    return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | b;
}

void MeshObject::loadTable(const char* const* table, const MaterialEntry* materials, int32_t materialCount,
                           float scale, int32_t flipQuads) {
    beginLoad(*this, table ? table[0] : nullptr, scale, flipQuads);
    ObjReader reader(*this, scale, flipQuads);
    // Bounds the load: one pass over the table, a constant amount of work per line.
    for (size_t i = 1; table && table[0] && table[i]; ++i) {
        const char* line = table[i];
        switch (classify(line)) {
            case LineKind::vertex:
                reader.vertexLine(line);
                break;
            case LineKind::face:
                reader.faceLine(line);
                break;
            case LineKind::useMaterial: {
                std::string requested;
                if (!ObjReader::requestedName(line, requested)) break;
                if (!materials) {
                    std::fputs("mp is null :/\n", stdout);
                    break;
                }
                // The first entry whose name occurs inside the request; no
                // match keeps the current colour.
                for (int32_t m = 0; m < materialCount; ++m) {
                    const MaterialEntry& entry = materials[m];
                    std::string entryName(entry.name, strnlen(entry.name, sizeof entry.name));
                    if (requested.find(entryName) != std::string::npos) {
                        reader.currentColor = materialPixel(entry.red, entry.green, entry.blue);
                        break;
                    }
                }
                break;
            }
            case LineKind::materialLibrary:
                reader.materialsOn = true;
                break;
            case LineKind::comment:
            case LineKind::other:
                break;
        }
    }
    reader.build();
}

void MeshObject::loadFile(const char* path, float scale, int32_t flipQuads) {
    beginLoad(*this, path, scale, flipQuads);
    if (!path) return;
    FILE* file = std::fopen(path, "r");
    if (!file) return;  // an unreadable file leaves an empty object, silently
    FileCloser closer{file};
    ObjReader reader(*this, scale, flipQuads);
    std::vector<Material> materials;
    forEachLine(file, [&](const char* line) {
        switch (classify(line)) {
            case LineKind::vertex:
                reader.vertexLine(line);
                break;
            case LineKind::face:
                reader.faceLine(line);
                break;
            case LineKind::useMaterial: {
                std::string requested;
                if (!ObjReader::requestedName(line, requested)) break;
                // Every material whose name contains the request, in order:
                // the last one wins.
                for (const Material& m : materials) {
                    if (m.name.find(requested) != std::string::npos) reader.currentColor = m.color;
                }
                break;
            }
            case LineKind::materialLibrary: {
                const char* at = std::strstr(line, "mtllib ");
                if (!at) break;
                std::string library = withoutLineEnd(at + 7);
                if (library.compare(0, 2, "./") == 0) library.erase(0, 2);
                std::string mtlPath = "obj/" + library;
                std::printf("parsing materials from [%s]\n", mtlPath.c_str());
                size_t before = materials.size();
                // One declared material is enough to colour a model.
                if (readMaterialLibrary(mtlPath, materials) && materials.size() > before) {
                    reader.materialsOn = true;
                } else {
                    std::fputs("error parsing materials for object!\n", stderr);
                }
                break;
            }
            case LineKind::comment:
            case LineKind::other:
                break;
        }
    });
    reader.build();
}
