#include "geometry/scatter_effect.h"

#include <SDL/SDL.h>

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "framework/compat.h"

static_assert(std::is_trivially_copyable_v<Face>, "saved faces are copied as bytes");

namespace {

// Float to int, truncating toward zero, saturating instead of overflowing.
int32_t truncSaturated(double v) {
    if (!(v > std::numeric_limits<int32_t>::min())) return std::isnan(v) ? 0 : std::numeric_limits<int32_t>::min();
    if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(v);
}

// One coordinate one step toward its saved value, never past it.
[[maybe_unused]] inline float approach(float p, float q, float s) {
    if (p < q) {
        p = p + s;
        if (p > q) p = q;
    } else if (p > q) {
        p = p - s;
        if (p < q) p = q;
    }
    return p;
}

#if defined(__SSE2__)

static_assert(offsetof(FaceVertex, position) == 0 && offsetof(FaceVertex, spare) == 12,
              "a corner's position and spare word are read as one 16-byte group");

inline __m128 select(__m128 mask, __m128 ifSet, __m128 ifClear) {
    return _mm_or_ps(_mm_and_ps(mask, ifSet), _mm_andnot_ps(mask, ifClear));
}

// The same rule as approach() on x, y and z of one corner at once; the fourth
// lane (the corner's spare word) is carried through untouched. Returns the
// lanes that still differ from the saved corner.
inline __m128 approachCorner(FaceVertex& corner, const float* home, __m128 s, __m128 xyz) {
    float* at = reinterpret_cast<float*>(&corner);
    const __m128 p = _mm_loadu_ps(at);
    const __m128 q = _mm_loadu_ps(home);
    const __m128 up = _mm_add_ps(p, s);
    const __m128 down = _mm_sub_ps(p, s);
    const __m128 raised = select(_mm_cmpgt_ps(up, q), q, up);
    const __m128 lowered = select(_mm_cmplt_ps(down, q), q, down);
    __m128 r = select(_mm_cmplt_ps(p, q), raised, select(_mm_cmpgt_ps(p, q), lowered, p));
    r = select(xyz, r, p);
    // A corner already home is not written back: a settled object then costs
    // reads only, with no dirty cache lines to flush.
    if (_mm_movemask_ps(_mm_cmpneq_ps(r, p)) != 0) _mm_storeu_ps(at, r);
    return _mm_and_ps(_mm_cmpneq_ps(r, q), xyz);
}

#endif

// Red, green and blue of a pixel value in the video format (0xRRGGBB when
// there is no video surface yet).
void splitPixel(const SDL_PixelFormat* f, uint32_t v, int32_t rgb[3]) {
    if (!f) {
        rgb[0] = (v >> 16) & 0xFF;
        rgb[1] = (v >> 8) & 0xFF;
        rgb[2] = v & 0xFF;
        return;
    }
    rgb[0] = static_cast<int32_t>(((v & f->Rmask) >> f->Rshift) << f->Rloss) & 0xFF;
    rgb[1] = static_cast<int32_t>(((v & f->Gmask) >> f->Gshift) << f->Gloss) & 0xFF;
    rgb[2] = static_cast<int32_t>(((v & f->Bmask) >> f->Bshift) << f->Bloss) & 0xFF;
}

int32_t fadeChannel(int32_t cur, int32_t tgt) {
    if (cur < tgt) return tgt < cur + 8 ? tgt : cur + 8;
    if (cur > tgt) return cur - 8 < tgt ? tgt : cur - 8;
    return cur;
}

}  // namespace

ScatterEffect::ScatterEffect(MeshObject* target)
    : settled(0),
      object(target),
      step(0.1f, 0.1f, 1.0f),
      faceCount(0),
      faces(nullptr),
      saved(nullptr),
      color(target ? target->color : 0),
      targetColor(color),
      home(nullptr) {
    if (target && target->faceCount > 0 && target->faces) {
        faceCount = target->faceCount;
        faces = target->faces;
        const size_t n = static_cast<size_t>(faceCount);
        saved = new Face[n];
        std::memcpy(static_cast<void*>(saved), faces, sizeof(Face) * n);
        home = new float[n * 12]();
        for (size_t i = 0; i < n; ++i) {
            const Vector3* corners[3] = {&saved[i].a.position, &saved[i].b.position, &saved[i].c.position};
            for (size_t k = 0; k < 3; ++k) {
                home[i * 12 + k * 4 + 0] = corners[k]->x;
                home[i * 12 + k * 4 + 1] = corners[k]->y;
                home[i * 12 + k * 4 + 2] = corners[k]->z;
            }
        }
    }
}

ScatterEffect::~ScatterEffect() {
    delete[] saved;
    delete[] home;
}

void ScatterEffect::setStep(float s) { step.set(s, s, s); }

void ScatterEffect::setColor(uint32_t pixel) { color = pixel; }

void ScatterEffect::setTargetColor(uint32_t pixel) { targetColor = pixel; }

void ScatterEffect::displaceFace(Face& face, int32_t low, int32_t span) {
    float d[3];
    for (float& v : d) v = span >= 1 ? static_cast<float>(int64_t{low} + std::rand() % span) : 0.0f;
    translateFace(face, d[0], d[1], d[2]);
}

void ScatterEffect::explode() {
    for (int32_t i = 0; i < faceCount; ++i) displaceFace(faces[i], -2000, 4000);
}

void ScatterEffect::jitter(float s, float amount) {
    setStep(s);
    const int32_t farLow = truncSaturated(-20.0 * amount), farSpan = truncSaturated(40.0 * amount);
    const int32_t nearLow = truncSaturated(-5.0 * amount), nearSpan = truncSaturated(10.0 * amount);
    for (int32_t i = 0; i < faceCount; ++i) {
        // About 9 faces in 100 jump four times as far as the rest.
        if (std::rand() % 100 > 90) displaceFace(faces[i], farLow, farSpan);
        else displaceFace(faces[i], nearLow, nearSpan);
    }
}

namespace {

void buildStairs(ScatterEffect& e, float stepSize, float rise) {
    e.setStep(stepSize);
    if (e.object) {
        // The rotation may be under an animator's hand on the timer thread.
        for (float* angle : {&e.object->rotation.x, &e.object->rotation.y, &e.object->rotation.z})
            AtomicRef<float>(*angle).store(0.0f, std::memory_order_relaxed);
    }
    float y = 0.0f;
    for (int32_t i = 0; i < e.faceCount; ++i) {
        translateFace(e.faces[i], 0.0f, y, 0.0f);
        y += rise;
    }
}

}  // namespace

void ScatterEffect::stairs() { buildStairs(*this, 12.0f, 0.2f); }

void ScatterEffect::gentleStairs() { buildStairs(*this, 2.0f, 0.4f); }

void ScatterEffect::update() {
    int32_t allHome = 1;
    // Cost: nine coordinates of every face, two comparisons each; no allocation.
#if defined(__SSE2__)
    const __m128 xyz = _mm_castsi128_ps(_mm_set_epi32(0, -1, -1, -1));
    const __m128 sa = _mm_set_ps(0.0f, step.x, step.x, step.x);
    const __m128 sb = _mm_set_ps(0.0f, step.y, step.y, step.y);
    const __m128 sc = _mm_set_ps(0.0f, step.z, step.z, step.z);
    __m128 away = _mm_setzero_ps();
    for (int32_t i = 0; i < faceCount; ++i) {
        Face& f = faces[i];
        const float* q = home + static_cast<size_t>(i) * 12;
        away = _mm_or_ps(away, approachCorner(f.a, q, sa, xyz));
        away = _mm_or_ps(away, approachCorner(f.b, q + 4, sb, xyz));
        away = _mm_or_ps(away, approachCorner(f.c, q + 8, sc, xyz));
    }
    if (_mm_movemask_ps(away) != 0) allHome = 0;
#else
    for (int32_t i = 0; i < faceCount; ++i) {
        Face& f = faces[i];
        const Face& back = saved[i];
        FaceVertex* corners[3] = {&f.a, &f.b, &f.c};
        const FaceVertex* homes[3] = {&back.a, &back.b, &back.c};
        const float steps[3] = {step.x, step.y, step.z};
        for (int k = 0; k < 3; ++k) {
            Vector3& p = corners[k]->position;
            const Vector3& q = homes[k]->position;
            p.x = approach(p.x, q.x, steps[k]);
            p.y = approach(p.y, q.y, steps[k]);
            p.z = approach(p.z, q.z, steps[k]);
            if (p.x != q.x || p.y != q.y || p.z != q.z) allHome = 0;
        }
    }
#endif
    settled = allHome;

    if (color == targetColor) return;
    const SDL_Surface* video = SDL_GetVideoSurface();
    const SDL_PixelFormat* format = video ? video->format : nullptr;
    int32_t cur[3], tgt[3];
    splitPixel(format, color, cur);
    splitPixel(format, targetColor, tgt);
    for (int c = 0; c < 3; ++c) cur[c] = fadeChannel(cur[c], tgt[c]);
    color = format ? SDL_MapRGB(const_cast<SDL_PixelFormat*>(format), static_cast<Uint8>(cur[0]),
                                static_cast<Uint8>(cur[1]), static_cast<Uint8>(cur[2]))
                   : (static_cast<uint32_t>(cur[0]) << 16) | (static_cast<uint32_t>(cur[1]) << 8) |
                         static_cast<uint32_t>(cur[2]);
    if (object) object->setColor(color);
}
