// modelgen: builds the seven models of the production and writes them as OBJ
// text, the form the embedded line tables hold.
//
//   modelgen --write DIR   writes sphere.obj, magnolia.obj, teddy.obj, glob.obj,
//                          cow.obj, octopus.obj, spring.obj and magnolia.mtl
//                          into DIR
//   modelgen --check DIR   regenerates them in memory and fails unless every
//                          file in DIR matches byte for byte
//   either form followed by file names makes only those files
//
// Output must be identical on every build machine and architecture, so the
// geometry uses only + - * / and sqrt (exact in IEEE arithmetic) and this
// file's own sine, cosine and random numbers; no libm transcendental, no clock.
// The organic models (cow, teddy, glob) are sculpted: meshed from blended
// distance fields and reduced edge by edge, which takes most of the run
// (about half a minute); the sweeps (magnolia, octopus, spring) and the
// sphere are built face by face in their final form.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <queue>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// --- Deterministic arithmetic ---------------------------------------------

constexpr double kPi = 3.14159265358979323846;

// Sine by reduction to [-pi/4, pi/4] and Taylor series; accurate to ~1e-15,
// far below the printed precision.
double dsin(double x);
double dcos(double x);

double seriesSin(double x) {
    double x2 = x * x, term = x, sum = x;
    for (int n = 1; n < 12; ++n) {
        term *= -x2 / ((2.0 * n) * (2.0 * n + 1.0));
        sum += term;
    }
    return sum;
}

double seriesCos(double x) {
    double x2 = x * x, term = 1.0, sum = 1.0;
    for (int n = 1; n < 12; ++n) {
        term *= -x2 / ((2.0 * n - 1.0) * (2.0 * n));
        sum += term;
    }
    return sum;
}

double dsin(double x) {
    double turns = x / (kPi / 2.0);
    double q = turns >= 0 ? static_cast<double>(static_cast<long long>(turns + 0.5))
                          : -static_cast<double>(static_cast<long long>(-turns + 0.5));
    double r = x - q * (kPi / 2.0);
    long long k = static_cast<long long>(q) & 3;
    switch (k) {
        case 0: return seriesSin(r);
        case 1: return seriesCos(r);
        case 2: return -seriesSin(r);
        default: return -seriesCos(r);
    }
}

double dcos(double x) { return dsin(x + kPi / 2.0); }

// xorshift32: a fixed, seeded sequence.
struct Random {
    uint32_t state;
    explicit Random(uint32_t seed) : state(seed ? seed : 1) {}
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    double unit() { return (next() >> 8) * (1.0 / 16777216.0); }  // 0 .. 1
    double range(double lo, double hi) { return lo + (hi - lo) * unit(); }
};

struct V3 {
    double x = 0, y = 0, z = 0;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double length(V3 a) { return std::sqrt(dot(a, a)); }
V3 normalized(V3 a) {
    double l = length(a);
    return l > 0 ? a * (1.0 / l) : V3{0, 1, 0};
}
V3 lerp(V3 a, V3 b, double t) { return a + (b - a) * t; }

// --- Meshes ---------------------------------------------------------------

struct FaceRec {
    int n;       // 3 or 4 corners
    int v[4];    // 0-based vertex indices
    int part;    // which part built it
};

// A line that goes out just before face `beforeFace` ("g", "s", "usemtl").
struct Marker {
    size_t beforeFace;
    std::string text;
};

struct Mesh {
    std::vector<V3> vertices;
    std::vector<FaceRec> faces;
    std::vector<Marker> markers;
    int parts = 0;
    int quadBudget = -1;  // -1: bands stay quads; otherwise at most this many quads

    int add(V3 p) {
        vertices.push_back(p);
        return static_cast<int>(vertices.size()) - 1;
    }
    void mark(const std::string& text) { markers.push_back({faces.size(), text}); }
    int triangles() const {
        int t = 0;
        for (const FaceRec& f : faces) t += f.n == 4 ? 2 : 1;
        return t;
    }
};

// Outward normal of a face written counter-clockwise seen from outside.
V3 faceNormal(const Mesh& m, const FaceRec& f) {
    V3 n{};
    for (int i = 0; i < f.n; ++i) {  // Newell's method, exact for triangles
        V3 a = m.vertices[f.v[i]], b = m.vertices[f.v[(i + 1) % f.n]];
        n.x += (a.y - b.y) * (a.z + b.z);
        n.y += (a.z - b.z) * (a.x + b.x);
        n.z += (a.x - b.x) * (a.y + b.y);
    }
    return n;
}

V3 faceCentre(const Mesh& m, const FaceRec& f) {
    V3 c{};
    for (int i = 0; i < f.n; ++i) c = c + m.vertices[f.v[i]];
    return c * (1.0 / f.n);
}

void reverse(FaceRec& f) {
    if (f.n == 3) {
        std::swap(f.v[1], f.v[2]);
    } else {
        std::swap(f.v[1], f.v[3]);
    }
}

enum class Cap { pole, quads, open };

// A swept surface: `rings` rings of `segments` points from ring(i, j), joined
// band by band, closed at each end by a pole point, by a strip of quads across
// the end ring (segments even), or left open. Band faces become quads while
// the mesh's quad budget lasts, otherwise pairs of triangles. The part is then
// turned so that its faces run counter-clockwise seen from outside, judged
// against the centre of each face's ring.
struct Sweep {
    int rings = 2;
    int segments = 8;
    std::function<V3(int, int)> ring;
    Cap startCap = Cap::pole, endCap = Cap::pole;
    V3 startPole{}, endPole{};
    bool splitBands = false;  // every band gets its own copies of its rings
    bool triangleCaps = true;
};

void addFace(Mesh& m, int n, int a, int b, int c, int d = 0) {
    FaceRec f{n, {a, b, c, d}, m.parts};
    m.faces.push_back(f);
}

void build(Mesh& m, const Sweep& s) {
    size_t firstFace = m.faces.size();
    std::vector<V3> centres(static_cast<size_t>(s.rings));
    std::vector<std::vector<V3>> points(static_cast<size_t>(s.rings));
    for (int i = 0; i < s.rings; ++i) {
        V3 c{};
        for (int j = 0; j < s.segments; ++j) {
            V3 p = s.ring(i, j);
            points[i].push_back(p);
            c = c + p;
        }
        centres[i] = c * (1.0 / s.segments);
    }
    // The ring a face belongs to, for the outward test.
    std::vector<int> faceRing;
    auto addRing = [&](int i) {
        int first = static_cast<int>(m.vertices.size());
        for (const V3& p : points[i]) m.add(p);
        return first;
    };
    std::vector<int> shared(static_cast<size_t>(s.rings), -1);
    auto ringStart = [&](int i) {
        if (s.splitBands) return addRing(i);
        if (shared[i] < 0) shared[i] = addRing(i);
        return shared[i];
    };
    auto cap = [&](Cap kind, int ringIndex, V3 pole, bool start) {
        if (kind == Cap::open) return;
        int r = ringStart(ringIndex);
        int n = s.segments;
        // The bands run along ring 0 in rising order and along the last ring
        // in falling order; a cap must run the shared edges the other way.
        if (kind == Cap::pole) {
            int p = m.add(pole);
            for (int j = 0; j < n; ++j) {
                int a = r + j, b = r + (j + 1) % n;
                if (start) std::swap(a, b);
                addFace(m, 3, p, a, b);
                faceRing.push_back(ringIndex);
            }
        } else {
            // A strip of quads across the ring: (k, k+1, n-2-k, n-1-k).
            for (int k = 0; k + 1 < n / 2; ++k) {
                FaceRec f{4, {r + k, r + k + 1, r + n - 2 - k, r + (n - 1 - k) % n}, m.parts};
                if (start) reverse(f);
                m.faces.push_back(f);
                faceRing.push_back(ringIndex);
            }
        }
    };
    cap(s.startCap, 0, s.startPole, true);
    for (int i = 0; i + 1 < s.rings; ++i) {
        int r0 = ringStart(i), r1 = s.splitBands ? addRing(i + 1) : ringStart(i + 1);
        for (int j = 0; j < s.segments; ++j) {
            int jn = (j + 1) % s.segments;
            if (m.quadBudget != 0) {
                addFace(m, 4, r0 + j, r0 + jn, r1 + jn, r1 + j);
                faceRing.push_back(i);
                if (m.quadBudget > 0) --m.quadBudget;
            } else {
                addFace(m, 3, r0 + j, r0 + jn, r1 + jn);
                addFace(m, 3, r0 + j, r1 + jn, r1 + j);
                faceRing.push_back(i);
                faceRing.push_back(i);
            }
        }
    }
    cap(s.endCap, s.rings - 1, s.endPole, false);  // split bands: a fresh copy of the last ring
    double sum = 0;
    for (size_t f = firstFace; f < m.faces.size(); ++f) {
        const FaceRec& face = m.faces[f];
        V3 out = faceCentre(m, face) - centres[static_cast<size_t>(faceRing[f - firstFace])];
        sum += dot(faceNormal(m, face), out);
    }
    if (sum < 0) {
        for (size_t f = firstFace; f < m.faces.size(); ++f) reverse(m.faces[f]);
    }
    ++m.parts;
}

// Moves and scales every vertex so the bounding box becomes [lo, hi] on each
// axis; all factors are positive, so winding is kept.
void fitBox(Mesh& m, V3 lo, V3 hi) {
    V3 mn = m.vertices[0], mx = m.vertices[0];
    for (const V3& p : m.vertices) {
        mn = {std::min(mn.x, p.x), std::min(mn.y, p.y), std::min(mn.z, p.z)};
        mx = {std::max(mx.x, p.x), std::max(mx.y, p.y), std::max(mx.z, p.z)};
    }
    for (V3& p : m.vertices) {
        p.x = lo.x + (p.x - mn.x) * (hi.x - lo.x) / (mx.x - mn.x);
        p.y = lo.y + (p.y - mn.y) * (hi.y - lo.y) / (mx.y - mn.y);
        p.z = lo.z + (p.z - mn.z) * (hi.z - lo.z) / (mx.z - mn.z);
    }
}

// --- Shapes ---------------------------------------------------------------

// A frame (u, v) perpendicular to the unit direction d, u as close to hint as
// the direction allows.
void frameFor(V3 d, V3 hint, V3& u, V3& v) {
    u = hint - d * dot(hint, d);
    if (length(u) < 1e-9) u = cross(d, V3{1, 0, 0});
    if (length(u) < 1e-9) u = cross(d, V3{0, 0, 1});
    u = normalized(u);
    v = cross(d, u);
}

// Half-width of an ellipse at t in 0 .. 1 along its axis, 1 at the middle.
double profile(double t) { return 2.0 * std::sqrt(t * (1.0 - t)); }

// An ellipsoid-like closed body between two poles: ring i sits at t = (i+1) /
// (rings+1) along the axis a -> b with cross radii ru, rv times profile(t) and
// the optional bulge(t, angle) factor.
Sweep spindle(V3 a, V3 b, double ru, double rv, int segments, int rings, V3 hint,
              std::function<double(double, double)> bulge = nullptr) {
    Sweep s;
    s.rings = rings;
    s.segments = segments;
    V3 d = normalized(b - a), u, v;
    frameFor(d, hint, u, v);
    s.ring = [=](int i, int j) {
        double t = (i + 1.0) / (rings + 1.0);
        double ang = 2.0 * kPi * j / segments;
        double k = profile(t);
        if (bulge) k *= bulge(t, ang);
        return lerp(a, b, t) + u * (ru * k * dcos(ang)) + v * (rv * k * dsin(ang));
    };
    s.startPole = a;
    s.endPole = b;
    return s;
}

// A tube along sampled centre points with a parallel-transported frame.
Sweep tube(const std::vector<V3>& centre, std::function<double(double)> radius, int segments, V3 hint,
           double flatten = 1.0) {
    Sweep s;
    s.rings = static_cast<int>(centre.size());
    s.segments = segments;
    std::vector<V3> us, vs;
    V3 u, v;
    for (size_t i = 0; i < centre.size(); ++i) {
        V3 d = i + 1 < centre.size() ? centre[i + 1] - centre[i] : centre[i] - centre[i - 1];
        if (i > 0 && i + 1 < centre.size()) d = centre[i + 1] - centre[i - 1];
        d = normalized(d);
        frameFor(d, i == 0 ? hint : us.back(), u, v);
        us.push_back(u);
        vs.push_back(v);
    }
    int n = s.rings;
    s.ring = [=](int i, int j) {
        double t = n > 1 ? static_cast<double>(i) / (n - 1) : 0.0;
        double ang = 2.0 * kPi * j / segments;
        double r = radius(t);
        return centre[i] + us[i] * (r * dcos(ang)) + vs[i] * (r * flatten * dsin(ang));
    };
    s.startPole = centre.front();
    s.endPole = centre.back();
    return s;
}

// --- Sculpted surfaces ----------------------------------------------------
//
// An organic model is a signed distance (negative inside) made of primitives
// melted together with a soft minimum. It is meshed on a grid by marching
// tetrahedra, reduced by collapsing the shortest edge first (each new point
// pulled back onto the surface) until exactly the wanted number of triangles
// is left, and relaxed so that its triangles come out of even size.

using Field = std::function<double(V3)>;

// Soft union and soft cut: k is the width of the fillet.
double smin(double a, double b, double k) {
    double h = std::max(k - std::fabs(a - b), 0.0) / k;
    return std::min(a, b) - h * h * k * 0.25;
}
double smax(double a, double b, double k) { return -smin(-a, -b, k); }

// An ellipsoid round c with radii r along the axes u, v and u x v (nearly a
// true distance close to the surface, which is all the mesher needs).
double ellipsoid(V3 p, V3 c, V3 r, V3 u = {1, 0, 0}, V3 v = {0, 1, 0}) {
    V3 d = p - c, w = cross(u, v);
    V3 q{dot(d, u) / r.x, dot(d, v) / r.y, dot(d, w) / r.z};
    V3 q2{q.x / r.x, q.y / r.y, q.z / r.z};
    double k0 = length(q), k1 = length(q2);
    return k1 > 0 ? k0 * (k0 - 1.0) / k1 : -std::min(r.x, std::min(r.y, r.z));
}

// A tube from a (radius ra) to b (radius rb): a capsule with tapered sides.
double taper(V3 p, V3 a, V3 b, double ra, double rb) {
    V3 ab = b - a;
    double t = std::clamp(dot(p - a, ab) / dot(ab, ab), 0.0, 1.0);
    return length(p - (a + ab * t)) - (ra + (rb - ra) * t);
}

// A box of half sizes h round c on the axes u, v, u x v, its edges rounded by rr.
double roundBox(V3 p, V3 c, V3 h, double rr, V3 u = {1, 0, 0}, V3 v = {0, 1, 0}) {
    V3 d = p - c, w = cross(u, v);
    V3 q{std::fabs(dot(d, u)) - h.x + rr, std::fabs(dot(d, v)) - h.y + rr, std::fabs(dot(d, w)) - h.z + rr};
    V3 o{std::max(q.x, 0.0), std::max(q.y, 0.0), std::max(q.z, 0.0)};
    return length(o) + std::min(std::max(q.x, std::max(q.y, q.z)), 0.0) - rr;
}

// A tube through the points of a path, tapering from r0 at the first to r1 at the last.
double path(V3 p, std::initializer_list<V3> points, double r0, double r1) {
    double total = 0;
    for (const V3* q = points.begin() + 1; q < points.end(); ++q) total += length(*q - q[-1]);
    double d = 1e9, run = 0;
    for (const V3* q = points.begin() + 1; q < points.end(); ++q) {
        double len = length(*q - q[-1]);
        double ra = r0 + (r1 - r0) * run / total, rb = r0 + (r1 - r0) * (run + len) / total;
        d = std::min(d, taper(p, q[-1], *q, ra, rb));
        run += len;
    }
    return d;
}

V3 gradient(const Field& f, V3 p) {
    const double e = 1e-4;
    return V3{f(p + V3{e, 0, 0}) - f(p - V3{e, 0, 0}), f(p + V3{0, e, 0}) - f(p - V3{0, e, 0}),
              f(p + V3{0, 0, e}) - f(p - V3{0, 0, e})} *
           (0.5 / e);
}

// Pulls p onto the zero surface along the field's gradient.
V3 onSurface(const Field& f, V3 p) {
    for (int i = 0; i < 4; ++i) {
        V3 g = gradient(f, p);
        double g2 = dot(g, g);
        if (g2 < 1e-12) break;
        p = p - g * (f(p) / g2);
    }
    return p;
}

// A closed triangle surface with the triangles round each vertex.
struct Surface {
    std::vector<V3> p;
    std::vector<std::array<int, 3>> t;
    std::vector<char> deadTriangle, deadVertex;
    std::vector<std::vector<int>> around;
    int triangles = 0;

    V3 normal(int tri, int moved = -1, V3 to = {}) const {
        V3 q[3];
        for (int k = 0; k < 3; ++k) q[k] = t[tri][k] == moved ? to : p[t[tri][k]];
        return cross(q[1] - q[0], q[2] - q[0]);
    }
    void neighbours(int v, std::vector<int>& out) const {
        out.clear();
        for (int tri : around[v])
            for (int k = 0; k < 3; ++k)
                if (t[tri][k] != v && std::find(out.begin(), out.end(), t[tri][k]) == out.end())
                    out.push_back(t[tri][k]);
    }
};

// Marching tetrahedra over the grid of step `step` covering lo .. hi; only
// the largest connected piece is kept. Triangles run counter-clockwise seen
// from outside.
Surface meshField(const Field& f, V3 lo, V3 hi, double step) {
    const int nx = static_cast<int>((hi.x - lo.x) / step) + 2, ny = static_cast<int>((hi.y - lo.y) / step) + 2,
              nz = static_cast<int>((hi.z - lo.z) / step) + 2;
    auto index = [&](int i, int j, int k) { return (static_cast<long long>(k) * (ny + 1) + j) * (nx + 1) + i; };
    auto point = [&](int i, int j, int k) { return V3{lo.x + i * step, lo.y + j * step, lo.z + k * step}; };
    std::vector<double> value(static_cast<size_t>((nx + 1)) * (ny + 1) * (nz + 1));
    for (int k = 0; k <= nz; ++k)
        for (int j = 0; j <= ny; ++j)
            for (int i = 0; i <= nx; ++i) value[static_cast<size_t>(index(i, j, k))] = f(point(i, j, k));
    Surface s;
    std::unordered_map<long long, int> edgeVertex;
    const long long total = static_cast<long long>(value.size());
    auto cornerPoint = [&](long long id) {
        long long i = id % (nx + 1), j = id / (nx + 1) % (ny + 1), k = id / ((nx + 1) * static_cast<long long>(ny + 1));
        return point(static_cast<int>(i), static_cast<int>(j), static_cast<int>(k));
    };
    auto cut = [&](long long a, long long b) {
        if (a > b) std::swap(a, b);
        auto [it, fresh] = edgeVertex.try_emplace(a * total + b, static_cast<int>(s.p.size()));
        if (fresh) {
            double va = value[static_cast<size_t>(a)], vb = value[static_cast<size_t>(b)];
            // Never exactly on a grid point: where the surface passes through one,
            // the cuts of its edges would coincide and leave flat triangles.
            s.p.push_back(lerp(cornerPoint(a), cornerPoint(b), std::clamp(va / (va - vb), 0.01, 0.99)));
        }
        return it->second;
    };
    std::vector<std::array<int, 3>> tris;
    auto emit = [&](int a, int b, int c, V3 outward) {
        if (dot(cross(s.p[b] - s.p[a], s.p[c] - s.p[a]), outward) < 0) std::swap(b, c);
        tris.push_back({a, b, c});
    };
    static const int kTets[6][4] = {{0, 1, 3, 7}, {0, 3, 2, 7}, {0, 2, 6, 7}, {0, 6, 4, 7}, {0, 4, 5, 7}, {0, 5, 1, 7}};
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) {
                long long corner[8];
                for (int c = 0; c < 8; ++c) corner[c] = index(i + (c & 1), j + (c >> 1 & 1), k + (c >> 2 & 1));
                for (const auto& tet : kTets) {
                    long long in[4], out[4];
                    int nin = 0, nout = 0;
                    for (int c : tet) {
                        long long id = corner[c];
                        if (value[static_cast<size_t>(id)] < 0)
                            in[nin++] = id;
                        else
                            out[nout++] = id;
                    }
                    if (nin == 0 || nout == 0) continue;
                    V3 ci{}, co{};
                    for (int n = 0; n < nin; ++n) ci = ci + cornerPoint(in[n]);
                    for (int n = 0; n < nout; ++n) co = co + cornerPoint(out[n]);
                    V3 outward = co * (1.0 / nout) - ci * (1.0 / nin);
                    if (nin == 1) {
                        emit(cut(in[0], out[0]), cut(in[0], out[1]), cut(in[0], out[2]), outward);
                    } else if (nout == 1) {
                        emit(cut(out[0], in[0]), cut(out[0], in[1]), cut(out[0], in[2]), outward);
                    } else {
                        int ac = cut(in[0], out[0]), ad = cut(in[0], out[1]), bd = cut(in[1], out[1]),
                            bc = cut(in[1], out[0]);
                        emit(ac, ad, bd, outward);
                        emit(ac, bd, bc, outward);
                    }
                }
            }
    // Keep the largest piece: flood over shared vertices.
    std::vector<std::vector<int>> around(s.p.size());
    for (size_t n = 0; n < tris.size(); ++n)
        for (int v : tris[n]) around[static_cast<size_t>(v)].push_back(static_cast<int>(n));
    std::vector<int> piece(tris.size(), -1);
    int best = -1;
    size_t bestSize = 0;
    for (size_t seed = 0; seed < tris.size(); ++seed) {
        if (piece[seed] >= 0) continue;
        int id = static_cast<int>(seed);
        std::vector<int> stack{id};
        piece[seed] = id;
        size_t size = 0;
        while (!stack.empty()) {
            int n = stack.back();
            stack.pop_back();
            ++size;
            for (int v : tris[static_cast<size_t>(n)])
                for (int m : around[static_cast<size_t>(v)])
                    if (piece[static_cast<size_t>(m)] < 0) {
                        piece[static_cast<size_t>(m)] = id;
                        stack.push_back(m);
                    }
        }
        if (size > bestSize) bestSize = size, best = id;
    }
    s.around.assign(s.p.size(), {});
    for (size_t n = 0; n < tris.size(); ++n) {
        if (piece[n] != best) continue;
        int id = static_cast<int>(s.t.size());
        s.t.push_back(tris[n]);
        for (int v : tris[n]) s.around[static_cast<size_t>(v)].push_back(id);
    }
    s.deadTriangle.assign(s.t.size(), 0);
    s.deadVertex.assign(s.p.size(), 0);
    for (size_t v = 0; v < s.p.size(); ++v) s.deadVertex[v] = s.around[v].empty();
    s.triangles = static_cast<int>(s.t.size());
    return s;
}

// Collapses the edge a-b into a at `to`; false (and nothing changed) when
// that would tear the surface or turn a triangle over.
bool collapse(Surface& s, int a, int b, V3 to) {
    std::vector<int> na, nb, common;
    s.neighbours(a, na);
    s.neighbours(b, nb);
    for (int v : na)
        if (std::find(nb.begin(), nb.end(), v) != nb.end()) common.push_back(v);
    if (common.size() != 2) return false;
    for (int c : common)
        if (s.around[static_cast<size_t>(c)].size() <= 3) return false;
    if (na.size() + nb.size() < 9) return false;  // keeps tiny closed pieces from folding flat
    for (int v : {a, b})
        for (int tri : s.around[static_cast<size_t>(v)]) {
            const auto& t = s.t[static_cast<size_t>(tri)];
            bool hasA = t[0] == a || t[1] == a || t[2] == a, hasB = t[0] == b || t[1] == b || t[2] == b;
            if (hasA && hasB) continue;
            V3 before = s.normal(tri), after = s.normal(tri, v, to);
            if (dot(before, after) <= 0.3 * length(before) * length(after)) return false;
        }
    std::vector<int> keep;
    for (int v : {a, b})
        for (int tri : s.around[static_cast<size_t>(v)]) {
            if (s.deadTriangle[static_cast<size_t>(tri)]) continue;
            auto& t = s.t[static_cast<size_t>(tri)];
            bool hasA = t[0] == a || t[1] == a || t[2] == a, hasB = t[0] == b || t[1] == b || t[2] == b;
            if (hasA && hasB) {
                s.deadTriangle[static_cast<size_t>(tri)] = 1;
                --s.triangles;
                for (int c : t) {
                    if (c == a || c == b) continue;
                    auto& list = s.around[static_cast<size_t>(c)];
                    list.erase(std::find(list.begin(), list.end(), tri));
                }
                continue;
            }
            for (int& c : t)
                if (c == b) c = a;
            if (std::find(keep.begin(), keep.end(), tri) == keep.end()) keep.push_back(tri);
        }
    s.around[static_cast<size_t>(a)] = keep;
    s.around[static_cast<size_t>(b)].clear();
    s.deadVertex[static_cast<size_t>(b)] = 1;
    s.p[static_cast<size_t>(a)] = to;
    return true;
}

// How much finer than elsewhere the triangles should be round a point: 1
// everywhere by default; above 1 keeps more points there, below 1 lets the
// broad surfaces go to larger triangles.
using Weight = std::function<double(V3)>;

// Shortest edge first, until `target` triangles are left. With `detail` above
// zero an edge across a bend of the surface counts as longer, so small
// features (a mouth, a pad) keep more of their points; `weight` scales each
// edge's cost by where its middle lies.
void reduce(Surface& s, const Field& f, int target, double detail = 0.0, const Weight& weight = nullptr) {
    struct Edge {
        double cost, length;
        int a, b;
        bool operator<(const Edge& o) const {
            if (cost != o.cost) return cost > o.cost;  // the queue's top is the cheapest
            return a != o.a ? a > o.a : b > o.b;
        }
    };
    std::priority_queue<Edge> queue;
    std::vector<int> near;
    auto pushEdges = [&](int v) {
        s.neighbours(v, near);
        V3 nv = detail > 0 ? normalized(gradient(f, s.p[static_cast<size_t>(v)])) : V3{};
        for (int n : near) {
            double len = length(s.p[static_cast<size_t>(n)] - s.p[static_cast<size_t>(v)]), cost = len;
            if (detail > 0) cost *= 1.0 + detail * (1.0 - dot(nv, normalized(gradient(f, s.p[static_cast<size_t>(n)]))));
            if (weight) cost *= weight(lerp(s.p[static_cast<size_t>(v)], s.p[static_cast<size_t>(n)], 0.5));
            queue.push({cost, len, std::min(v, n), std::max(v, n)});
        }
    };
    for (size_t v = 0; v < s.p.size(); ++v)
        if (!s.deadVertex[v]) pushEdges(static_cast<int>(v));
    while (s.triangles > target && !queue.empty()) {
        Edge e = queue.top();
        queue.pop();
        if (s.deadVertex[static_cast<size_t>(e.a)] || s.deadVertex[static_cast<size_t>(e.b)]) continue;
        if (length(s.p[static_cast<size_t>(e.a)] - s.p[static_cast<size_t>(e.b)]) != e.length) continue;  // stale
        V3 to = onSurface(f, lerp(s.p[static_cast<size_t>(e.a)], s.p[static_cast<size_t>(e.b)], 0.5));
        if (collapse(s, e.a, e.b, to)) pushEdges(e.a);
    }
}

// Slides every vertex towards the area-weighted centre of its triangles,
// along the surface, where no triangle turns over.
void relax(Surface& s, const Field& f, int passes) {
    for (int pass = 0; pass < passes; ++pass)
        for (size_t v = 0; v < s.p.size(); ++v) {
            if (s.deadVertex[v]) continue;
            V3 centre{}, n{};
            double area = 0;
            for (int tri : s.around[v]) {
                const auto& t = s.t[static_cast<size_t>(tri)];
                V3 fn = s.normal(tri);
                double a = length(fn);
                centre = centre + (s.p[static_cast<size_t>(t[0])] + s.p[static_cast<size_t>(t[1])] + s.p[static_cast<size_t>(t[2])]) * (a / 3.0);
                area += a;
                n = n + fn;
            }
            if (area <= 0) continue;
            n = normalized(n);
            V3 move = centre * (1.0 / area) - s.p[v];
            move = move - n * dot(move, n);
            V3 to = onSurface(f, s.p[v] + move * 0.6);
            bool ok = true;
            for (int tri : s.around[v]) {
                V3 before = s.normal(tri), after = s.normal(tri, static_cast<int>(v), to);
                if (dot(before, after) <= 0.3 * length(before) * length(after)) ok = false;
            }
            if (ok) s.p[v] = to;
        }
}

// Meshes a field and reduces it to exactly `triangles` triangles as one part of m.
void sculpt(Mesh& m, const Field& f, V3 lo, V3 hi, double step, int triangles, int relaxPasses = 6,
            double detail = 0.0, const Weight& weight = nullptr) {
    Surface s = meshField(f, lo, hi, step);
    reduce(s, f, triangles, detail, weight);
    relax(s, f, relaxPasses);
    if (s.triangles != triangles)
        std::fprintf(stderr, "modelgen: a sculpted part has %d triangles, not %d\n", s.triangles, triangles);
    std::vector<int> renumber(s.p.size(), -1);
    for (size_t n = 0; n < s.t.size(); ++n) {
        if (s.deadTriangle[n]) continue;
        for (int v : s.t[n])
            if (renumber[static_cast<size_t>(v)] < 0) renumber[static_cast<size_t>(v)] = m.add(s.p[static_cast<size_t>(v)]);
        addFace(m, 3, renumber[static_cast<size_t>(s.t[n][0])], renumber[static_cast<size_t>(s.t[n][1])],
                renumber[static_cast<size_t>(s.t[n][2])]);
    }
    ++m.parts;
}

// --- Text -----------------------------------------------------------------

std::string fixed(double v, int decimals) {
    if (v > -0.5e-6 && v < 0.5e-6) v = 0.0;  // no "-0.000000"
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

// "5.2573100e-001": seven decimals and a three-digit exponent.
std::string exponent(double v) {
    if (v > -1e-12 && v < 1e-12) return "0.0000000e+000";
    bool negative = v < 0;
    double a = negative ? -v : v;
    int e = 0;
    while (a >= 10.0) {
        a /= 10.0;
        ++e;
    }
    while (a < 1.0) {
        a *= 10.0;
        --e;
    }
    char m[32];
    std::snprintf(m, sizeof m, "%.7f", a);
    if (std::strncmp(m, "10.", 3) == 0) {  // rounding carried into a new digit
        std::snprintf(m, sizeof m, "%.7f", a / 10.0);
        ++e;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s%se%c%03d", negative ? "-" : "", m, e < 0 ? '-' : '+', e < 0 ? -e : e);
    return buf;
}

enum class NumberStyle { plain, exponent, padded };

// Joins pieces with single spaces (appending, rather than chains of operator+).
std::string words(std::initializer_list<std::string> pieces) {
    std::string s;
    for (const std::string& p : pieces) {
        if (!s.empty()) s.push_back(' ');
        s.append(p);
    }
    return s;
}

std::string vertexLine(V3 p, NumberStyle style) {
    if (style == NumberStyle::exponent) return words({"v", exponent(p.x), exponent(p.y), exponent(p.z)});
    if (style == NumberStyle::padded) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "v %11s %11s %11s", fixed(p.x, 6).c_str(), fixed(p.y, 6).c_str(),
                      fixed(p.z, 6).c_str());
        return buf;
    }
    return words({"v", fixed(p.x, 6), fixed(p.y, 6), fixed(p.z, 6)});
}

struct ObjText {
    std::string text;
    void line(const std::string& s) {
        text += s;
        text += '\n';
    }
};

// Writes vertices, then faces with their markers, in the plain "f a b c [d]" form.
void writePlain(ObjText& out, const Mesh& m, NumberStyle style) {
    for (const V3& p : m.vertices) out.line(vertexLine(p, style));
    size_t marker = 0;
    for (size_t f = 0; f < m.faces.size(); ++f) {
        while (marker < m.markers.size() && m.markers[marker].beforeFace == f) out.line(m.markers[marker++].text);
        const FaceRec& face = m.faces[f];
        std::string s = "f";
        for (int i = 0; i < face.n; ++i) {
            s.push_back(' ');
            s.append(std::to_string(face.v[i] + 1));
        }
        out.line(s);
    }
}

// --- The seven models -----------------------------------------------------

// Icosahedron split four ways five times, every new point pushed onto the
// unit sphere and then into banded ridges: 10,242 vertices, 20,480 triangles.
std::string makeSphere() {
    Mesh m;
    double p = (1.0 + std::sqrt(5.0)) / 2.0;
    const double base[12][3] = {{-1, p, 0}, {1, p, 0}, {-1, -p, 0}, {1, -p, 0}, {0, -1, p}, {0, 1, p},
                                {0, -1, -p}, {0, 1, -p}, {p, 0, -1}, {p, 0, 1}, {-p, 0, -1}, {-p, 0, 1}};
    for (const auto& b : base) m.add(normalized(V3{b[0], b[1], b[2]}));
    std::vector<std::array<int, 3>> tris = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                                            {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                                            {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                                            {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
    for (int level = 0; level < 5; ++level) {
        std::vector<std::vector<std::pair<int, int>>> midpoints(m.vertices.size());
        auto mid = [&](int a, int b) {
            int lo = std::min(a, b), hi = std::max(a, b);
            for (auto& e : midpoints[lo])
                if (e.first == hi) return e.second;
            int i = m.add(normalized(lerp(m.vertices[lo], m.vertices[hi], 0.5)));
            midpoints[lo].push_back({hi, i});
            return i;
        };
        std::vector<std::array<int, 3>> next;
        for (auto& t : tris) {
            int ab = mid(t[0], t[1]), bc = mid(t[1], t[2]), ca = mid(t[2], t[0]);
            next.push_back({t[0], ab, ca});
            next.push_back({t[1], bc, ab});
            next.push_back({t[2], ca, bc});
            next.push_back({ab, bc, ca});
        }
        tris.swap(next);
    }
    // Eight broad ridges of latitude, pressed in by up to a tenth between
    // them: bands that catch the one light as stripes of lit and shaded
    // faces, so the ball keeps a structure under blur and noise. The
    // radius is 1 at the equator and the poles (cos of a multiple of 2 pi),
    // so the extents stay those of the unit sphere.
    // cos(8 latitude) from sin(latitude) = y by doubling the angle three
    // times: plain arithmetic, the same on every machine.
    for (V3& v : m.vertices) {
        const double c2 = 1.0 - 2.0 * v.y * v.y, c4 = 2.0 * c2 * c2 - 1.0, c8 = 2.0 * c4 * c4 - 1.0;
        v = v * (1.0 - 0.05 * (1.0 - c8));
    }
    for (auto& t : tris) {
        FaceRec f{3, {t[0], t[1], t[2], 0}, 0};
        // Counter-clockwise seen from outside: the normal points away from the centre.
        if (dot(faceNormal(m, f), faceCentre(m, f)) < 0) reverse(f);
        m.faces.push_back(f);
    }
    ObjText out;
    writePlain(out, m, NumberStyle::exponent);
    return out.text;
}

// A coil along x: 101 rings of 9, five turns of radius 40 over 192 units,
// tube radius 6, each ring joined to the next by 18 triangles. Open ends.
std::string makeSpring() {
    Mesh m;
    m.quadBudget = 0;
    const int rings = 101, around = 9;
    Sweep s;
    s.rings = rings;
    s.segments = around;
    s.startCap = s.endCap = Cap::open;
    s.ring = [](int i, int j) {
        double t = i / 100.0, turn = 2.0 * kPi * 5.0 * t;
        V3 c{-96.0 + 192.0 * t, 40.0 * dcos(turn), 40.0 * dsin(turn)};
        V3 tangent = normalized(V3{192.0, -40.0 * 10.0 * kPi * dsin(turn), 40.0 * 10.0 * kPi * dcos(turn)});
        V3 towardAxis{0, -dcos(turn), -dsin(turn)};
        V3 b = cross(tangent, towardAxis);
        double ang = 2.0 * kPi * j / 9.0;
        return c + towardAxis * (6.0 * dcos(ang)) + b * (6.0 * dsin(ang));
    };
    build(m, s);
    ObjText out;
    out.line("g SPRING");
    writePlain(out, m, NumberStyle::plain);
    return out.text;
}

// A lumpy blob: a sphere pushed far out into rounded lobes and pressed in
// between them, with a few narrow creases cut across it, so that under the
// interlace its lit lobes and shadowed folds still read.
std::string makeGlob() {
    Mesh m;
    m.quadBudget = 0;
    Random rnd(0x61706c6fu);
    struct Bump {
        V3 dir;
        double height, width;
    };
    std::vector<Bump> bumps;
    for (int i = 0; i < 26; ++i) {
        V3 d{rnd.range(-1, 1), rnd.range(-1, 1), rnd.range(-1, 1)};
        // Every other bump a lobe, the rest dents: deep relief, not a ripple.
        double h = i % 2 == 0 ? rnd.range(0.22, 0.45) : rnd.range(-0.28, -0.12);
        bumps.push_back({normalized(d), h, rnd.range(0.5, 0.9)});
    }
    // Creases: great-circle grooves, each over part of the blob only.
    struct Crease {
        V3 axis, centre;
    };
    std::vector<Crease> creases;
    for (int i = 0; i < 7; ++i) {
        V3 a = normalized(V3{rnd.range(-1, 1), rnd.range(-1, 1), rnd.range(-1, 1)});
        V3 c = normalized(V3{rnd.range(-1, 1), rnd.range(-1, 1), rnd.range(-1, 1)});
        creases.push_back({a, normalized(c - a * dot(c, a))});
    }
    auto radius = [&](V3 dir) {
        double r = 1.0;
        for (const Bump& b : bumps) {
            double c = dot(dir, b.dir);
            double dist2 = 2.0 - 2.0 * c;  // squared chord between the directions
            double w2 = b.width * b.width;
            if (dist2 < w2) {
                double k = 1.0 - dist2 / w2;
                r += b.height * k * k * k;
            }
        }
        for (const Crease& c : creases) {
            double off = dot(dir, c.axis) / 0.17;       // across the groove
            double along = (1.0 - dot(dir, c.centre)) / 0.9;  // from the groove's middle
            if (off * off < 1.0 && along < 1.0) {
                double k = (1.0 - off * off) * (1.0 - along);
                r -= 0.1 * k * k * k;
            }
        }
        r += 0.035 * dsin(7.0 * dir.x + 2.0) * dsin(6.0 * dir.y + 1.0) * dsin(5.0 * dir.z + 3.0);
        return r;
    };
    // Meshed and reduced like the sculpted models, so its triangles are of
    // one size all over: no pole where a band of thin triangles bunches up.
    Field blob = [&](V3 p) {
        double r = length(p);
        return r > 1e-9 ? r - 30.0 * radius(p * (1.0 / r)) : -30.0;
    };
    sculpt(m, blob, {-70, -70, -70}, {70, 70, 70}, 0.85, 20000, 6, 2.0);
    fitBox(m, V3{-35.5, -28.6, -31.5}, V3{35.9, 27.75, 31.5});
    ObjText out;
    writePlain(out, m, NumberStyle::plain);
    return out.text;
}

// A toy bear sitting, facing +z: one smooth closed body melted from a round
// belly, a head with a snout, nose, eyes, a stitched mouth and cupped ears,
// arms reaching forward with pads on the paws, and legs stretched out towards
// the viewer with pads on their soles.
std::string makeTeddy() {
    Mesh m;
    Field bear = [](V3 p) {
        double d = ellipsoid(p, {0, -6.0, -1.0}, {9.0, 10.5, 8.0});                   // body
        d = smin(d, ellipsoid(p, {0, -9.5, 0.5}, {9.2, 8.0, 8.0}), 2.0);               // belly
        d = smin(d, ellipsoid(p, {0, 9.5, 0}, {8.0, 7.4, 7.0}), 2.5);                  // head
        d = smin(d, ellipsoid(p, {0, 7.4, 6.0}, {3.9, 3.0, 3.2}), 1.5);                // snout
        d = smin(d, ellipsoid(p, {0, 9.0, 9.0}, {2.2, 1.5, 1.3}), 0.5);                // nose
        for (double s : {-1.0, 1.0}) {
            d = smin(d, ellipsoid(p, {2.9 * s, 11.6, 6.0}, {1.4, 1.5, 1.0}), 0.3);     // eye
            double ear = ellipsoid(p, {6.4 * s, 16.6, -0.5}, {3.3, 3.3, 1.7});
            ear = smax(ear, -ellipsoid(p, {6.6 * s, 16.8, 1.2}, {2.0, 2.0, 1.1}), 0.4);  // the ear's hollow
            d = smin(d, ear, 1.0);
            d = smin(d, path(p, {{6.5 * s, 1.0, 0}, {10.5 * s, -3.5, 3.0}, {12.0 * s, -6.5, 6.5}}, 3.2, 3.4), 1.5);  // arm
            d = smin(d, ellipsoid(p, {12.1 * s, -6.9, 7.3}, {3.3, 3.3, 2.6}), 1.0);    // paw
            d = smin(d, ellipsoid(p, {11.9 * s, -7.2, 9.6}, {1.9, 1.9, 0.7}), 0.35);   // paw pad
            d = smin(d, path(p, {{5.0 * s, -13.0, 0.5}, {6.0 * s, -15.0, 7.0}}, 4.6, 4.0), 1.5);  // leg
            d = smin(d, ellipsoid(p, {6.2 * s, -15.0, 9.6}, {4.0, 4.6, 3.2}), 1.2);    // foot
            d = smin(d, ellipsoid(p, {6.2 * s, -15.3, 12.6}, {2.6, 3.0, 0.8}), 0.4);   // sole pad
        }
        // The mouth: a short stitch down from the nose that parts into a smile.
        double mouth = taper(p, {0, 7.8, 9.6}, {0, 6.0, 9.3}, 0.7, 0.7);
        for (double s : {-1.0, 1.0}) mouth = std::min(mouth, path(p, {{0, 6.0, 9.3}, {1.5 * s, 5.4, 8.8}, {2.8 * s, 6.0, 7.9}}, 0.7, 0.6));
        return smax(d, -mouth, 0.3);
    };
    // Fine triangles where the bear's character is (the face, the ears, the
    // pads), large ones over belly, back, arms and legs: when the scenes
    // scatter the faces, the broad shards still trace the body's outline.
    Weight fine = [](V3 p) {
        auto near = [&](V3 c, double r) {
            V3 d = p - c;
            double q = dot(d, d) / (r * r);
            return q < 1.0 ? (1.0 - q) * (1.0 - q) : 0.0;
        };
        double w = 0.12 + 2.6 * near({0, 8.5, 7.5}, 6.0);                                // the face
        for (double s : {-1.0, 1.0})
            w += 1.0 * near({6.5 * s, 16.7, 0}, 4.5) + 0.7 * near({12.0 * s, -7.0, 9.3}, 3.2) +
                 0.7 * near({6.2 * s, -15.2, 12.4}, 3.6);                               // ears, paw and sole pads
        return w;
    };
    sculpt(m, bear, {-17.5, -21.5, -10.0}, {17.5, 21.5, 15.0}, 0.3, 3192, 2, 3.0, fine);
    fitBox(m, V3{-17.1, -20.9, -14.0}, V3{17.1, 20.9, 14.0});
    ObjText out;
    writePlain(out, m, NumberStyle::padded);
    return out.text;
}

// Gives every panel of a cubic lattice of side `cell` its own copies of the
// vertices it shares with its neighbours: hard edges between panels. Faces
// are drawn flat, so the copies change nothing on screen; they keep the
// table as long as a model built of hard-edged panels.
void splitPanels(Mesh& m, double cell) {
    std::vector<V3> vertices;
    std::unordered_map<long long, int> copy;
    for (FaceRec& f : m.faces) {
        V3 c = faceCentre(m, f);
        long long panel = ((static_cast<long long>(std::floor(c.x / cell)) + 512) * 1024 +
                           (static_cast<long long>(std::floor(c.y / cell)) + 512)) * 1024 +
                          (static_cast<long long>(std::floor(c.z / cell)) + 512);
        for (int i = 0; i < f.n; ++i) {
            long long key = panel * 16777216 + f.v[i];
            auto [it, fresh] = copy.try_emplace(key, static_cast<int>(vertices.size()));
            if (fresh) vertices.push_back(m.vertices[static_cast<size_t>(f.v[i])]);
            f.v[i] = it->second;
        }
    }
    m.vertices.swap(vertices);
}

// The panel size that brings the vertex count nearest to `vertices`.
void splitPanelsTo(Mesh& m, int vertices) {
    double lo = 0.2, hi = 20.0;
    for (int i = 0; i < 40; ++i) {
        Mesh trial = m;
        double mid = std::sqrt(lo * hi);
        splitPanels(trial, mid);
        if (static_cast<int>(trial.vertices.size()) > vertices)
            lo = mid;
        else
            hi = mid;
    }
    splitPanels(m, hi);
}

// A cow facing +x, standing: one melted body (barrel, deep chest, shoulders
// and hips, a neck that carries the long boxy head forward and down, a wide
// flat muzzle with nostrils, legs bent at knee and hock, hooves), with its
// small parts as pieces of their own: eyes, ears out sideways, small curved
// horns, udder with teats, tail with its tuft.
std::string makeCow() {
    Mesh m;
    const V3 faceAxis = normalized(V3{1.0, -0.85, 0}), faceUp = normalized(V3{0.85, 1.0, 0});
    Field body = [=](V3 p) {
        double d = ellipsoid(p, {-0.4, 0.35, 0}, {3.1, 1.3, 1.32});                 // barrel, wide as a cow's
        d = smin(d, ellipsoid(p, {1.9, 0.2, 0}, {1.45, 1.45, 1.2}), 0.6);           // deep chest
        d = smin(d, ellipsoid(p, {2.0, 1.0, 0}, {1.1, 0.7, 0.8}), 0.5);             // withers
        d = smin(d, ellipsoid(p, {-2.75, 0.75, 0}, {1.25, 1.0, 1.25}), 0.5);        // hips
        d = smin(d, ellipsoid(p, {-3.5, 0.85, 0}, {0.75, 0.7, 0.85}), 0.4);         // rump
        d = smin(d, ellipsoid(p, {-0.2, -0.25, 0}, {2.3, 1.25, 1.38}), 0.6);        // belly
        d = smin(d, taper(p, {2.7, 0.75, 0}, {4.1, 0.8, 0}, 0.85, 0.5), 0.5);       // neck
        d = smin(d, ellipsoid(p, {3.2, -0.2, 0}, {0.9, 0.5, 0.3}), 0.3);            // dewlap
        d = smin(d, roundBox(p, {4.85, 0.55, 0}, {0.95, 0.36, 0.46}, 0.28, faceAxis, faceUp), 0.3);  // face
        d = smin(d, ellipsoid(p, {4.3, 1.15, 0}, {0.4, 0.3, 0.55}), 0.25);          // poll
        d = smin(d, ellipsoid(p, {4.55, 0.45, 0}, {0.6, 0.45, 0.45}), 0.3);         // jaw
        d = smin(d, roundBox(p, {5.7, -0.12, 0}, {0.32, 0.34, 0.62}, 0.22, faceAxis, faceUp), 0.2);  // broad muzzle
        for (double s : {-1.0, 1.0}) d = smax(d, -ellipsoid(p, {6.02, -0.02, 0.27 * s}, {0.14, 0.1, 0.1}), 0.06);  // nostrils
        // The hind legs stand wider apart than the forelegs, under the wide barrel.
        for (double s : {-1.0, 1.0}) {
            double z = 0.62 * s, zh = 1.0 * s;
            d = smin(d, path(p, {{2.2, -0.2, z}, {2.4, -1.75, z}, {2.45, -3.2, z}, {2.55, -3.45, z}}, 0.45, 0.2), 0.35);  // foreleg
            d = smin(d, ellipsoid(p, {2.35, -1.75, z}, {0.25, 0.22, 0.22}), 0.15);  // knee
            d = smin(d, ellipsoid(p, {-2.8, -0.3, zh}, {0.8, 1.1, 0.5}), 0.4);      // thigh
            d = smin(d, path(p, {{-2.75, -0.5, zh}, {-3.2, -1.7, zh}, {-2.95, -3.2, zh}, {-2.9, -3.45, zh}}, 0.42, 0.2), 0.3);  // hind leg
            d = smin(d, ellipsoid(p, {-3.22, -1.7, zh}, {0.24, 0.22, 0.2}), 0.12);  // hock
            d = smin(d, roundBox(p, {2.6, -3.5, z}, {0.27, 0.15, 0.22}, 0.08), 0.1);    // hooves
            d = smin(d, roundBox(p, {-2.85, -3.5, zh}, {0.27, 0.15, 0.22}, 0.08), 0.1);
        }
        d = smin(d, ellipsoid(p, {-3.85, 1.2, 0}, {0.3, 0.2, 0.2}), 0.2);          // tail head
        return d;
    };
    sculpt(m, body, {-4.6, -3.8, -1.7}, {6.3, 2.1, 1.7}, 0.07, 4512);
    for (double s : {-1.0, 1.0}) {
        Field eye = [=](V3 p) { return ellipsoid(p, {4.6, 0.98, 0.5 * s}, {0.22, 0.18, 0.16}); };
        sculpt(m, eye, {4.3, 0.7, 0.5 * s - 0.3}, {4.9, 1.3, 0.5 * s + 0.3}, 0.02, 96);
    }
    for (double s : {-1.0, 1.0}) {
        // A leaf-shaped ear reaching out sideways from behind the eye: a broad
        // blade narrowing to a rounded point, hollowed on its front face into
        // a cup that opens forwards and a little down.
        const V3 root{4.2, 1.05, 0.45 * s};
        const V3 along = normalized(V3{0.05, -0.15, s});  // out level, as a cow holds them
        const V3 across = normalized(cross(normalized(V3{1.0, -0.3, 0}), along));
        const V3 front = cross(along, across);
        const V3 blade = root + along * 0.55, point = blade + along * 0.4;
        Field ear = [=](V3 p) {
            double d = smin(ellipsoid(p, blade, {0.55, 0.3, 0.13}, along, across),
                            ellipsoid(p, point, {0.42, 0.15, 0.1}, along, across), 0.12);
            return smax(d, -ellipsoid(p, blade + along * 0.12 + front * 0.14, {0.5, 0.22, 0.11}, along, across), 0.04);
        };
        sculpt(m, ear, {3.5, 0.2, s > 0 ? 0.2 : -2.3}, {4.9, 1.6, s > 0 ? 2.3 : -0.2}, 0.02, 140);
    }
    for (double s : {-1.0, 1.0}) {
        Field horn = [=](V3 p) {
            // Out sideways from the poll, then up and a little forward: from
            // the front the horns spread wider than the head, a cow's crown.
            return path(p, {{4.2, 1.3, 0.3 * s}, {4.2, 1.42, 0.85 * s}, {4.3, 1.75, 1.35 * s}, {4.6, 2.3, 1.5 * s}},
                        0.3, 0.08);
        };
        sculpt(m, horn, {3.8, 0.9, s > 0 ? 0.0 : -1.7}, {5.0, 2.7, s > 0 ? 1.7 : 0.0}, 0.02, 160);
    }
    Field udder = [](V3 p) {
        double d = ellipsoid(p, {-1.9, -1.05, 0}, {0.62, 0.45, 0.55});
        for (double xs : {-1.0, 1.0})
            for (double zs : {-1.0, 1.0})
                d = smin(d, taper(p, {-1.9 + 0.25 * xs, -1.3, 0.22 * zs}, {-1.9 + 0.27 * xs, -1.85, 0.24 * zs}, 0.09, 0.07), 0.12);
        return d;
    };
    sculpt(m, udder, {-2.7, -2.0, -0.7}, {-1.1, -0.5, 0.7}, 0.025, 280);
    Field tail = [](V3 p) {
        double d = path(p, {{-3.95, 1.15, 0}, {-4.25, 0.3, 0}, {-4.35, -0.8, 0}, {-4.3, -1.9, 0}}, 0.12, 0.07);
        return smin(d, ellipsoid(p, {-4.3, -2.15, 0}, {0.17, 0.38, 0.17}), 0.1);
    };
    sculpt(m, tail, {-4.6, -2.7, -0.3}, {-3.7, 1.4, 0.3}, 0.025, 220);
    fitBox(m, V3{-4.45, -3.65, -1.7}, V3{6.0, 2.75, 1.7});
    splitPanelsTo(m, 4583);
    ObjText out;
    writePlain(out, m, NumberStyle::plain);
    return out.text;
}

// Pre-distorts a sweep's rings about their centres by the inverse of the
// scale `fit` that fitBox will apply afterwards, so that round sections
// (arms, eyes, the mantle) come out round rather than squashed to slabs.
void unsquash(Sweep& s, V3 fit) {
    auto ring = s.ring;
    int segments = s.segments;
    s.ring = [ring, segments, fit](int i, int j) {
        V3 c{};
        for (int k = 0; k < segments; ++k) c = c + ring(i, k);
        c = c * (1.0 / segments);
        V3 d = ring(i, j) - c;
        return c + V3{d.x / fit.x, d.y / fit.y, d.z / fit.z};
    };
}

// An octopus facing -y, its mantle rising along +z (and then turned a half
// turn about y, see below): step 5 tips the model by -1.3 about x, which
// turns -y towards the viewer and +z up the screen, so the eyes look out of
// the screen, the mantle stands above them and the arms spread round and
// below. The arms start deep inside the head, so they
// grow out of it without a seam, and taper and curl towards their tips. All
// faces have four corners; each vertex normal is written once per corner.
// Builds the octopus before fitBox; `fit` is how fitBox will scale each
// axis, so that the round sections can be pre-distorted against it, and
// armFaces receives the index of the first arm face.
Mesh octopusBody(V3 fit, size_t& armFaces) {
    Mesh m;
    Random rnd(0x6f63746fu);
    auto bump = [](double t, double c, double w) {
        double u = (t - c) / w;
        return u * u < 1.0 ? (1.0 - u * u) * (1.0 - u * u) : 0.0;
    };
    // Mantle and head: 24 around, 25 rings from the mouth (t = 0) to the top
    // of the mantle, closed with strips of quads at both ends. The head is a
    // broad dome under the eyes; the mantle above it a round sac, widest
    // above its middle and domed at the top, not a cone.
    Sweep mantle;
    mantle.rings = 25;
    mantle.segments = 24;
    mantle.startCap = mantle.endCap = Cap::quads;
    mantle.ring = [bump](int i, int j) {
        double t = (i + 0.5) / 25.0, ang = 2.0 * kPi * j / 24.0;
        // The head gives way to the sac above its middle, and the sac's dome
        // runs out just past the last ring, so the top closes in a small cap
        // rather than a flat lid.
        double fade = t < 0.5 ? 1.0 : t > 0.9 ? 0.0 : 0.5 + 0.5 * dcos(kPi * (t - 0.5) / 0.4);
        double head = fade * (12.5 + 2.0 * bump(t, 0.22, 0.16)) * std::sqrt(dsin(kPi * (0.03 + 0.94 * t)));
        double u = t < 0.62 ? (t - 0.62) / 0.42 : (t - 0.62) / 0.366, sac = u * u < 1.0 ? 18.0 * std::sqrt(1.0 - u * u) : 0.0;
        // A soft maximum (the fourth-power mean of the two), so that the head
        // swells into the mantle with no waist or ring between them.
        double h2 = head * head, s2 = sac * sac;
        double r = std::sqrt(std::sqrt(h2 * h2 + s2 * s2));
        V3 centre{0, 5.0 * t * t, -4.0 + 48.0 * t};  // the mantle leans back, away from the eyes
        return centre + V3{r * dcos(ang), r * dsin(ang) * 0.92, 0};
    };
    unsquash(mantle, fit);
    build(m, mantle);
    // Eyes: large domes bulging from the head's front corners, turned as much
    // towards the viewer of step 5 as out to the sides, so that they read
    // from the front and still break the outline from either side. Each
    // is the outer two thirds of a ball sunk in the head: all four rings go
    // to the part that shows, so it rounds off to a small cap, and the disc
    // closing its inner side lies at the head's surface, under the bulge.
    for (int k = -1; k <= 1; k += 2) {
        V3 dir = normalized(V3{0.7 * k, -0.7, 0.15});
        const size_t eyeFirst = m.faces.size();
        // Offsets from the head's axis are pre-distorted like the rings, so
        // the eye stands 15 out from the axis in the finished model too, not
        // sunk into the head along the axis fitBox shrinks.
        auto unfit = [fit](V3 v) { return V3{v.x / fit.x, v.y / fit.y, v.z / fit.z}; };
        V3 centre = V3{0, 0.4, 9.5} + unfit(dir * 15.0);
        const double radius = 7.0;
        V3 a = centre - unfit(dir * radius), b = centre + unfit(dir * radius);
        Sweep eye;
        eye.rings = 4;
        eye.segments = 12;
        eye.startCap = eye.endCap = Cap::quads;
        eye.ring = [a, b, radius](int i, int j) {
            const double at[4] = {0.35, 0.62, 0.83, 0.96};
            double t = at[i], ang = 2.0 * kPi * j / 12.0;
            V3 d = normalized(b - a), u, v;
            frameFor(d, V3{0, 0, 1}, u, v);
            double r = radius * std::sqrt(dsin(kPi * t));
            return lerp(a, b, t) + u * (r * dcos(ang)) + v * (r * dsin(ang));
        };
        unsquash(eye, fit);
        build(m, eye);
        // The renderer sorts faces by their first corner alone, and each quad
        // becomes the triangles (a, b, c) and (d, a, c). Starting every quad
        // of the eye at its two corners furthest out keeps the eye in front of
        // the head faces round its foot wherever it faces the viewer, instead
        // of being cut into by them.
        for (size_t f = eyeFirst; f < m.faces.size(); ++f) {
            FaceRec& face = m.faces[f];
            int best = 0;
            double bestOut = -1e30;
            for (int r = 0; r < 4; ++r) {
                double out = dot(m.vertices[face.v[r]] - centre, dir) + dot(m.vertices[face.v[(r + 3) % 4]] - centre, dir);
                if (out > bestOut + 1e-9) bestOut = out, best = r;
            }
            int v[4];
            for (int r = 0; r < 4; ++r) v[r] = face.v[(best + r) % 4];
            for (int r = 0; r < 4; ++r) face.v[r] = v[r];
        }
    }
    armFaces = m.faces.size();
    // Eight arms: they leave the underside of the head on its front half,
    // sweep out and down round the viewer's side and curl a little at the tips.
    const int rings[8] = {44, 45, 44, 45, 45, 44, 45, 44};
    for (int k = 0; k < 8; ++k) {
        double a = kPi + 0.2 + k * (kPi - 0.4) / 7.0 + rnd.range(-0.08, 0.08);
        V3 out{dcos(a), dsin(a), 0};
        V3 across = normalized(cross(out, V3{0, 0, 1}));
        double reach = rnd.range(0.9, 1.05), curl = rnd.range(0.5, 0.8), roll = rnd.range(-0.3, 0.3);
        int n = rings[k];
        std::vector<V3> centre;
        double u = 3.0, w = -0.5, heading = -0.4;
        const double step = 0.95 * reach * 55.0 / 44.0;
        for (int i = 0; i < n; ++i) {
            double t = static_cast<double>(i) / (n - 1);
            centre.push_back(out * u + V3{0, 0, w} + across * (roll * t * t * u));
            heading -= 0.025;
            heading += curl * 0.25 * t * t * t;
            u += step * dcos(heading);
            w += step * dsin(heading);
        }
        // Ten sides: round arms, not slabs.
        // Thick at the root and still a finger's width at the tip, so that an
        // arm keeps its body under a wide horizontal blur.
        Sweep s = tube(centre, [](double t) { return 1.2 + 6.4 * (1.0 - t) * (1.0 - 0.45 * t); }, 10, V3{0, 0, 1});
        s.startCap = s.endCap = Cap::quads;
        unsquash(s, fit);
        build(m, s);
    }
    // Step 5 turns the model about y from 0 and ends, on its only sharp
    // frame, after three half patterns (13.44 s at 0.04 rad a 60 ms tick):
    // about 8.96 rad, 2.68 past a whole turn. Built a half turn round, the
    // octopus is then 0.46 rad from upright, mantle up and arms down,
    // instead of standing on its head. A half turn about y keeps the winding.
    for (V3& p : m.vertices) p = V3{-p.x, p.y, -p.z};
    return m;
}

std::string makeOctopus() {
    // A first build measures the extents that fitBox will squeeze into the
    // model's fixed box; the second is pre-distorted against that squeeze.
    const V3 lo{-28.3, -39.8, -33.1}, hi{37.9, 8.8, 44.2};
    size_t armFaces = 0;
    Mesh probe = octopusBody(V3{1, 1, 1}, armFaces);
    V3 mn = probe.vertices[0], mx = probe.vertices[0];
    for (const V3& p : probe.vertices) {
        mn = {std::min(mn.x, p.x), std::min(mn.y, p.y), std::min(mn.z, p.z)};
        mx = {std::max(mx.x, p.x), std::max(mx.y, p.y), std::max(mx.z, p.z)};
    }
    const V3 fit{(hi.x - lo.x) / (mx.x - mn.x), (hi.y - lo.y) / (mx.y - mn.y), (hi.z - lo.z) / (mx.z - mn.z)};
    Mesh m = octopusBody(fit, armFaces);
    fitBox(m, lo, hi);

    // Smooth vertex normals from the faces around each vertex.
    std::vector<V3> normals(m.vertices.size());
    for (const FaceRec& f : m.faces) {
        V3 n = faceNormal(m, f);
        for (int i = 0; i < f.n; ++i) normals[f.v[i]] = normals[f.v[i]] + n;
    }
    ObjText out;
    for (const V3& p : m.vertices) out.line(vertexLine(p, NumberStyle::plain));
    for (const FaceRec& f : m.faces) {
        for (int i = 0; i < 4; ++i) {
            V3 n = normalized(normals[f.v[i]]);
            out.line(words({"vn", fixed(n.x, 4), fixed(n.y, 4), fixed(n.z, 4)}));
        }
    }
    for (size_t f = 0; f < m.faces.size(); ++f) {
        if (f == 0) out.line("g mantle");
        if (f == armFaces) out.line("g tentacles");
        const FaceRec& face = m.faces[f];
        std::string s = "f";
        for (int i = 0; i < 4; ++i) {
            s.push_back(' ');
            s.append(std::to_string(face.v[i] + 1));
            s.append("//");
            s.append(std::to_string(4 * f + i + 1));
        }
        out.line(s);
    }
    return out.text;
}

// A closed blade (a petal, a leaf or one half of a leaf): `rings` rings of
// 2 * across points between two end points, the mid-surface at t (0 .. 1
// along) and x (xa .. xb across, in half-widths) given by `mid`, the blade
// `thick` through along `lift`. The rings stand where they split the blade
// into pieces of equal area, so its triangles come out of even size.
struct Blade {
    std::function<V3(double)> spine;        // the mid line, t = 0 at the base
    std::function<double(double)> width;    // half-width at t
    std::function<V3(double)> acrossAt;     // unit direction across at t
    std::function<V3(double)> liftAt;       // unit normal of the blade at t
    double cup = 0.0;                       // edges lifted by cup * x^2 * width
    double fold = 0.0;                      // a V along the midrib: lifted by fold * |x| * width
    double thick = 0.5;
    double tipRound = 0.0;                  // a closed tip: its last ring bulges out by this much of t
    double xa = -1.0, xb = 1.0;
    int across = 3, rings = 4;
};

Sweep bladeSweep(const Blade& b) {
    // Stations of equal area: the cumulative width, inverted.
    const int samples = 400;
    std::vector<double> area(samples + 1, 0.0);
    for (int i = 1; i <= samples; ++i)
        area[i] = area[i - 1] + b.width((i - 0.5) / samples) * (b.xb - b.xa) / samples;
    std::vector<double> station;
    for (int r = 0; r < b.rings; ++r) {
        double want = area[samples] * (r + 0.5) / b.rings;
        int i = 1;
        while (i < samples && area[i] < want) ++i;
        double f = (want - area[i - 1]) / (area[i] - area[i - 1]);
        station.push_back((i - 1 + f) / samples);
    }
    Sweep s;
    s.rings = b.rings;
    s.segments = 2 * b.across;
    s.ring = [b, station](int i, int j) {
        double t = station[static_cast<size_t>(i)];
        int k = b.across;
        // Top side from xb to xa, then the underside back.
        double x = j <= k ? b.xb + (b.xa - b.xb) * j / k : b.xa + (b.xb - b.xa) * (j - k) / k;
        double side = (j == 0 || j == k) ? 0.0 : (j < k ? 1.0 : -1.0);
        double w = b.width(t);
        double ax = x < 0 ? -x : x;
        V3 lift = b.liftAt(t);
        return b.spine(t) + b.acrossAt(t) * (x * w) + lift * (b.cup * x * x * w + b.fold * ax * w + side * b.thick);
    };
    s.startPole = b.spine(0.0);
    s.endPole = b.spine(1.0);
    return s;
}

// A curve that leaves `from` along the unit direction `out` and turns in
// the plane of out and `toward` by `bend` radians over its length.
std::function<V3(double)> arcPath(V3 from, V3 out, V3 toward, double length, double startAngle, double bend) {
    return [=](double t) {
        const int steps = 48;
        V3 p = from;
        for (int i = 0; i < steps; ++i) {
            double a = startAngle + bend * (i + 0.5) / steps * t;
            p = p + (out * dcos(a) + toward * dsin(a)) * (length * t / steps);
        }
        return p;
    };
}

// A piece of a blade between the stations `at` (0 .. 1 along the spine),
// closed by a pole at the blade's base (t = 0) or tip (t = 1) where asked and
// left open elsewhere, so that two pieces of different colour meet ring to
// ring without a gap.
Sweep bladePiece(const Blade& b, const std::vector<double>& at, bool baseClosed, bool tipClosed) {
    Sweep s;
    s.rings = static_cast<int>(at.size());
    s.segments = 2 * b.across;
    const bool roundTip = tipClosed;
    s.ring = [b, at, roundTip](int i, int j) {
        double t = at[static_cast<size_t>(i)];
        int k = b.across;
        double x = j <= k ? b.xb + (b.xa - b.xb) * j / k : b.xa + (b.xb - b.xa) * (j - k) / k;
        // The last ring before a closed tip bows forward in the middle, and the
        // tip point comes back to meet it: the blade ends in a rounded arc.
        if (roundTip && i + 1 == static_cast<int>(at.size())) t += b.tipRound * (1.0 - x * x);
        double side = (j == 0 || j == k) ? 0.0 : (j < k ? 1.0 : -1.0);
        double w = b.width(t);
        double ax = x < 0 ? -x : x;
        // The blade thins towards its rim: a rounded edge, not a slab.
        double thick = b.thick * (1.0 - 0.55 * ax * ax);
        return b.spine(t) + b.acrossAt(t) * (x * w) + b.liftAt(t) * (b.cup * x * x * w + b.fold * ax * w + side * thick);
    };
    s.startCap = baseClosed ? Cap::pole : Cap::open;
    s.endCap = tipClosed ? Cap::pole : Cap::open;
    s.startPole = b.spine(0.0);
    s.endPole = b.spine(tipClosed ? 1.0 - b.tipRound : 1.0);
    return s;
}

// A magnolia sprig: eight thick spoon-shaped tepals, four inner ones closed
// in a goblet and four outer ones opening away from it,
// creamy white and blushing pink-purple at the base, over three small green
// bud scales, round the pistil and its stamens; it sits on a short green
// stalk on a woody branch that crosses the picture under it, with four small
// oval leaves. The bloom stands in the middle, its axis leaning 25
// degrees towards +z so that the goblet shows its mouth both when it grows
// upright and when it is tipped over to face the viewer. Five materials, each
// selected once, one group per part; the triangles are of even size
// everywhere (none above four times the median area), so its normals read as
// a fine halo.
std::string makeMagnolia() {
    Mesh m;
    m.quadBudget = 125;
    int smoothing = 0;
    auto group = [&](const std::string& name) {
        m.mark(words({"g", name}));
        // The three stem segments keep hard edges: no smoothing line for them.
        if (name.compare(0, 4, "stem") != 0) m.mark(words({"s", std::to_string(smoothing++ % 2 + 1)}));
    };
    const double tilt = 25.0 * kPi / 180.0;
    const V3 axis{0, dcos(tilt), dsin(tilt)};                 // the bloom's axis
    const V3 ex{1, 0, 0}, ez = cross(ex, axis);               // its radial frame
    const V3 head{0, -25.0, 2.0};                              // where the tepals start
    auto radial = [&](double a) { return ex * dcos(a) + ez * dsin(a); };

    // The branch: a zigzag twig from corner to corner of the picture, thicker
    // at its older end, passing under the bloom.
    const std::vector<V3> knots{{-80, -37, -74}, {-40, -34, -40}, {-4, -37.5, -3}, {40, -34, 38}, {84, -36, 76}};
    auto branchAt = [&](double t) {
        double f = t * (knots.size() - 1);
        size_t i = std::min(static_cast<size_t>(f), knots.size() - 2);
        return lerp(knots[i], knots[i + 1], f - i);
    };

    // brownskn: the branch. 120 triangles.
    m.mark("usemtl brownskn");
    group("branch");
    {
        std::vector<V3> centre;
        for (int i = 0; i < 10; ++i) centre.push_back(branchAt(i / 9.0));
        Sweep s = tube(centre, [](double t) { return 1.9 - 0.8 * t; }, 6, V3{0, 1, 0});
        s.startPole = centre.front() + normalized(centre.front() - centre[1]) * 1.5;
        s.endPole = centre.back() + normalized(centre.back() - centre[8]) * 1.0;
        build(m, s);
    }

    // A tepal: spoon-shaped, narrow at its claw and broadest two thirds up,
    // rising from the receptacle and curving in towards the axis, its edges
    // cupped inwards; `blush` is where its pink base gives way to white.
    auto tepal = [&](double angle, double len, double halfWidth, double rise, double bend, double cup, double foot = 2.0) {
        V3 out = radial(angle);
        Blade b;
        b.spine = arcPath(head + out * foot, out, axis, len, rise, bend);
        b.width = [halfWidth](double t) {
            double w = t < 0.68 ? 0.25 + 0.75 * dsin(0.5 * kPi * t / 0.68)
                                : std::sqrt(std::max(0.0, 1.0 - ((t - 0.68) / 0.32) * ((t - 0.68) / 0.32)));
            return halfWidth * (w > 0.05 ? w : 0.05);
        };
        V3 across = cross(axis, out);
        b.acrossAt = [across](double) { return across; };
        b.liftAt = [out, axis, rise, bend, across](double t) {
            double a = rise + bend * t;
            return normalized(cross(out * dcos(a) + axis * dsin(a), across)) * -1.0;
        };
        b.cup = cup;
        b.thick = 1.2;
        b.tipRound = 0.045;
        b.across = 4;
        return b;
    };
    const double blush = 0.32;
    struct Tepal {
        double angle, len, halfWidth, rise, bend, cup;
        int bands;  // of white between the blush and the tip
    };
    // Four inner tepals standing upright and curving in towards their tips
    // into a goblet, and four narrower outer ones on a wider foot that lean
    // out and barely turn in, so that their tips stand apart from the goblet
    // and from each other: separate petals, not one closed bud. All are
    // cupped with their edges turned inwards (a negative cup), so that from
    // outside each is a convex spoon. The last inner one is smaller, so that
    // its fewer faces come out of the same size.
    std::vector<Tepal> tepals;
    for (int k = 0; k < 8; ++k) {
        double a = 2.0 * kPi * k / 8.0 + 0.1;
        if (k % 2 == 0)
            tepals.push_back({a, 30.0, 8.0, 0.62, 0.3, -0.35, 2});
        else if (k < 7)
            tepals.push_back({a, 28.0, 8.3, 0.95, 0.75, -0.35, 2});
        else
            tepals.push_back({a, 24.0, 7.0, 0.95, 0.8, -0.35, 1});
    }

    // bone1: the white of the eight tepals. 304 triangles.
    m.mark("usemtl bone1");
    const size_t whiteFirst = m.vertices.size();
    for (size_t k = 0; k < tepals.size(); ++k) {
        const Tepal& t = tepals[k];
        group("pt" + std::to_string(k + 1) + "dx1");
        Blade b = tepal(t.angle, t.len, t.halfWidth, t.rise, t.bend, t.cup, k % 2 == 0 ? 3.2 : 1.2);
        // The last ring stands close to the tip, where the outline is still
        // wide, so the tip closes in a blunt, rounded arc instead of a point.
        build(m, bladePiece(b, t.bands == 2 ? std::vector<double>{blush, 0.60, 0.84} : std::vector<double>{blush, 0.70}, false,
                            true));
    }

    const size_t whiteEnd = m.vertices.size();

    // greenskn: the flower's stalk in three pieces, four leaves, three bud scales. 720.
    m.mark("usemtl greenskn");
    const V3 foot = branchAt(0.5) + V3{0, 1.5, 0};
    auto stemAt = [&](double t) {  // from the branch (t = 0) up to the receptacle
        V3 top = head - axis * 1.0;
        return lerp(foot, top, t) + V3{-2.0, 0, 0} * dsin(kPi * t);
    };
    const char* stemNames[3] = {"stem", "stem2", "stem3"};
    for (int k = 0; k < 3; ++k) {
        group(stemNames[k]);
        std::vector<V3> centre;
        for (int i = 0; i < 3; ++i) centre.push_back(stemAt((k + (i + 0.5) / 3.0) / 3.0));
        Sweep s = tube(centre, [](double) { return 2.2; }, 4, V3{1, 0, 0});
        s.splitBands = true;
        s.startPole = stemAt(k / 3.0 + 0.005);
        s.endPole = stemAt((k + 1) / 3.0 - 0.005);
        build(m, s);
    }
    for (int k = 0; k < 4; ++k) {
        // Oval leaves at the branch's nodes, alternately to either side,
        // spreading and drooping a little at the tip.
        const double where[4] = {0.13, 0.3, 0.7, 0.87}, lengths[4] = {36.0, 39.0, 37.0, 34.0};
        V3 root = branchAt(where[k]);
        V3 along = normalized(branchAt(where[k] + 0.01) - branchAt(where[k] - 0.01));
        V3 side = normalized(cross(V3{0, 1, 0}, along)) * (k % 2 ? 1.0 : -1.0);
        V3 out = normalized(side * 0.8 + along * 0.6), up{0, 1, 0};
        V3 across = normalized(cross(up, out));
        double len = lengths[k];
        group("leaf" + std::to_string(k + 1));
        Blade b;
        b.spine = arcPath(root + out * 1.5, out, up, len, 0.25, -0.5);
        b.width = [len](double t) {
            double w = dsin(kPi * (t + 0.15 * t * (1.0 - t)));
            return len * 0.27 * (w > 0.04 ? w : 0.04);
        };
        b.acrossAt = [across](double) { return across; };
        b.liftAt = [out, up, across](double t) {
            double e = 0.25 - 0.5 * t;
            return normalized(cross(across, out * dcos(e) + up * dsin(e)));
        };
        b.fold = 0.1;
        b.thick = 0.6;
        b.across = 5;
        b.rings = 6;
        build(m, bladeSweep(b));
    }
    for (int k = 0; k < 3; ++k) {
        group("sepal" + std::to_string(k + 1));
        Blade b = tepal(2.0 * kPi * (k + 0.5) / 3.0, 11.0, 4.0, -0.2, 0.5, 0.1);
        b.across = 2;
        b.rings = 7;
        b.thick = 0.7;
        build(m, bladeSweep(b));
    }

    // brzskin: the pistil and 22 stamens round its foot. 164 triangles.
    m.mark("usemtl brzskin");
    group("pistil");
    build(m, spindle(head + axis * 1.0, head + axis * 14.0, 2.4, 2.4, 4, 4, ex));
    for (int k = 0; k < 22; ++k) {
        group("stamen" + std::to_string(k + 1));
        double a = 2.0 * kPi * k / 22.0 + 0.13 * (k % 2);
        V3 out = radial(a);
        V3 from = head + axis * 2.0 + out * 2.4;
        V3 to = from + out * (2.5 + 0.8 * (k % 3)) + axis * (4.0 + 0.8 * (k % 2));
        build(m, spindle(from, to, 0.6, 0.6, 3, 1, axis));
    }

    // areola3: the blush at the foot of the eight tepals. 64 triangles.
    m.mark("usemtl areola3");
    const size_t blushFirst = m.vertices.size();
    for (size_t k = 0; k < tepals.size(); ++k) {
        const Tepal& t = tepals[k];
        group("pt" + std::to_string(k + 1) + "dx2");
        build(m, bladePiece(tepal(t.angle, t.len, t.halfWidth, t.rise, t.bend, t.cup, k % 2 == 0 ? 3.2 : 1.2), {blush}, true, false));
    }

    // Each blush and its white piece meet on the same ring of points: one
    // set of vertices serves both, so the tepal is a single closed surface.
    {
        std::unordered_map<std::string, int> white;
        auto key = [](const V3& p) { return std::string(reinterpret_cast<const char*>(&p), sizeof p); };
        for (size_t i = whiteFirst; i < whiteEnd; ++i) white.emplace(key(m.vertices[i]), static_cast<int>(i));
        std::vector<int> remap(m.vertices.size());
        std::vector<V3> kept;
        for (size_t i = 0; i < m.vertices.size(); ++i) {
            auto found = i >= blushFirst ? white.find(key(m.vertices[i])) : white.end();
            if (found != white.end()) {
                remap[i] = remap[static_cast<size_t>(found->second)];
                continue;
            }
            remap[i] = static_cast<int>(kept.size());
            kept.push_back(m.vertices[i]);
        }
        for (FaceRec& f : m.faces)
            for (int i = 0; i < f.n; ++i) f.v[i] = remap[static_cast<size_t>(f.v[i])];
        m.vertices = kept;
    }

    fitBox(m, V3{-78.0, -39.75, -77.75}, V3{84.0, 9.25, 77.5});
    ObjText out;
    out.line("mtllib ./magnolia.mtl");
    writePlain(out, m, NumberStyle::plain);
    return out.text;
}

// The flower's library for OBJ viewers; the program itself takes these
// colours from its in-memory material table.
std::string makeMagnoliaLibrary() {
    return "newmtl brownskn\nKa 0.8 0.6 0.6\nKd 0.8 0.6 0.6\n"
           "newmtl bone1\nKa 1.0 1.0 1.0\nKd 1.0 1.0 1.0\n"
           "newmtl greenskn\nKa 0.0 1.0 0.0\nKd 0.0 1.0 0.0\n"
           "newmtl brzskin\nKa 1.0 0.7 0.0\nKd 1.0 0.7 0.0\n"
           "newmtl areola3\nKa 1.0 0.0 1.0\nKd 1.0 0.0 1.0\n";
}

struct Output {
    const char* file;
    std::string (*make)();
};

const Output kOutputs[] = {
    {"sphere.obj", makeSphere}, {"magnolia.obj", makeMagnolia}, {"teddy.obj", makeTeddy},   {"glob.obj", makeGlob},
    {"cow.obj", makeCow},       {"octopus.obj", makeOctopus},   {"spring.obj", makeSpring},
    {"magnolia.mtl", makeMagnoliaLibrary},
};

bool readAll(const std::string& path, std::string& out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || (std::strcmp(argv[1], "--write") != 0 && std::strcmp(argv[1], "--check") != 0)) {
        std::fprintf(stderr, "usage: modelgen --write DIR [FILE...] | --check DIR [FILE...]\n");
        return 2;
    }
    bool check = std::strcmp(argv[1], "--check") == 0;
    int status = 0;
    for (const Output& o : kOutputs) {
        // Named files only, when some are named (the sculpted models are slow).
        bool wanted = argc == 3;
        for (int i = 3; i < argc; ++i) wanted = wanted || std::strcmp(argv[i], o.file) == 0;
        if (!wanted) continue;
        std::string text = o.make();
        std::string path = std::string(argv[2]) + "/" + o.file;
        if (check) {
            std::string committed;
            if (!readAll(path, committed) || committed != text) {
                std::fprintf(stderr, "modelgen: %s differs from what the generator makes\n", path.c_str());
                status = 1;
            }
            continue;
        }
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0) {
            std::fprintf(stderr, "modelgen: can't write %s\n", path.c_str());
            return 1;
        }
    }
    return status;
}
