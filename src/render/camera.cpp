#include "render/camera.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <vector>

#include <emmintrin.h>

#include "framework/compat.h"
#include "geometry/mesh_object.h"
#include "render/effects.h"
#include "render/font.h"
#include "render/raster.h"

namespace {

// Screen coordinates beyond this magnitude drop the whole face: the filler
// does not clip, and its edge lists are sized for the frame.
constexpr float kCoordinateRange = 2048.0f;
// The glyph that marks each visible face in glyph mode.
constexpr int32_t kMarkerGlyph = 55;

// Draw-order scratch for render(): one sort key and one slot per work face.
// Shared by every camera; render() is main-thread only and not reentrant.
std::vector<int32_t> sortKeys;
std::vector<int32_t> drawOrder;
std::vector<int32_t> keyCounts;

// A face that passed the facing and range tests, as drawFaces needs it: the
// corners (and the normal's tip) on the target, the face's own colour and
// its slot in the object's faces and faceLight. One per sort key, same
// scratch rules.
struct DrawItem {
    ScreenPoint a, b, c, tip;
    uint32_t color;
    int32_t face;
};
std::vector<DrawItem> drawItems;
int32_t drawItemCount = 0;  // the items the last transformAndSort kept

// The animators' timer thread stores these members whole; read each once.
float loadShared(float& value) { return AtomicRef<float>(value).load(std::memory_order_relaxed); }
int32_t loadShared(int32_t& value) { return AtomicRef<int32_t>(value).load(std::memory_order_relaxed); }

// Fills drawOrder[0 .. n) with the work slots 0 .. n - 1 ordered ascending by
// sortKeys (farthest first). Equal keys keep model order, so the result is
// the same every frame. Cost: O(n + key range) when the keys span a modest
// range (the usual case: a model is a few hundred units deep), else
// O(n log n).
void orderByKey(int32_t n) {
    int32_t low = sortKeys[0], high = sortKeys[0];
    for (int32_t i = 1; i < n; ++i) {
        low = std::min(low, sortKeys[i]);
        high = std::max(high, sortKeys[i]);
    }
    const int64_t range = int64_t(high) - low + 1;
    if (range > int64_t(n) * 4 + 4096) {
        for (int32_t i = 0; i < n; ++i) drawOrder[i] = i;
        std::sort(drawOrder.begin(), drawOrder.begin() + n, [](int32_t a, int32_t b) {
            return sortKeys[a] < sortKeys[b] || (sortKeys[a] == sortKeys[b] && a < b);
        });
        return;
    }
    keyCounts.assign(size_t(range) + 1, 0);
    for (int32_t i = 0; i < n; ++i) ++keyCounts[size_t(sortKeys[i] - int64_t(low)) + 1];
    for (size_t k = 1; k < keyCounts.size(); ++k) keyCounts[k] += keyCounts[k - 1];
    for (int32_t i = 0; i < n; ++i) drawOrder[keyCounts[size_t(sortKeys[i] - int64_t(low))]++] = i;
}

// A lit channel: trunc toward zero, then clamped into 0 .. 255 (NaN gives 0).
int32_t channelValue(double v) {
    if (!(v > 0)) return 0;
    if (v >= 255) return 255;
    return int32_t(v);
}

// std::trunc of four floats in SSE2: the conversion to int truncates every
// value below 2^23 in magnitude, where the sign is put back (-0.5 gives
// -0.0); larger values, infinities and NaN are whole already and pass.
inline __m128 truncated(__m128 v) {
    const __m128 sign = _mm_set1_ps(-0.0f);
    const __m128 small = _mm_cmplt_ps(_mm_andnot_ps(sign, v), _mm_set1_ps(8388608.0f));  // false for NaN
    const __m128 cut = _mm_or_ps(_mm_cvtepi32_ps(_mm_cvttps_epi32(v)), _mm_and_ps(v, sign));
    return _mm_or_ps(_mm_and_ps(small, cut), _mm_andnot_ps(small, v));
}

// The depth key: z truncated toward zero, saturated, NaN as 0 (as truncToInt,
// inlined for the per-face loop).
int32_t depthKey(float z) {
    if (!(z == z)) return 0;
    if (z >= 2147483520.0f) return INT32_MAX;
    if (z <= -2147483648.0f) return INT32_MIN;
    return int32_t(z);
}

// SDL_MapRGB for a format without a palette, inlined for the per-face loop.
uint32_t mapRgb(const SDL_PixelFormat* f, int32_t r, int32_t g, int32_t b) {
    if (f->palette) return SDL_MapRGB(const_cast<SDL_PixelFormat*>(f), Uint8(r), Uint8(g), Uint8(b));
    return uint32_t(r >> f->Rloss) << f->Rshift | uint32_t(g >> f->Gloss) << f->Gshift |
           uint32_t(b >> f->Bloss) << f->Bshift | f->Amask;
}

}  // namespace

Camera::Camera()
    : ghostOffset(0), fieldOfView(0), planeDistance(0), eyeDistance(0), origin{0, 0, 0}, renderMode(0),
      scanlineGlitch(0), interlace(0), depthSort(0), colorSplit(0), ghost(0), flares(0), showNormals(0),
      normalColor(0), flarePoints(), lightDirection{0, 0, 0}, lightColor(0), diffuse(0), ambientColor(0),
      ambient(0), lightLength(0), target(nullptr), flareSprite(nullptr) {}

Camera::~Camera() {
    for (FlarePoint* p : flarePoints) delete p;
    flarePoints.clear();
    if (flareSprite) freeLayer(flareSprite);
    flareSprite = nullptr;
}

void Camera::init(int32_t fov, float plane, SDL_Surface* surface) {
    ghostOffset = 8.0f;
    fieldOfView = fov;
    planeDistance = plane;
    target = surface;
    // Half the field of view in radians, with 1.57 standing for pi/2.
    const long double halfWidth = surface ? surface->w / 2 : 0;
    eyeDistance = float(plane + halfWidth / std::tan((long double)fov / 180 * 1.57L));
    renderMode = 0;
    scanlineGlitch = 0;
    interlace = 0;
    depthSort = 1;
    colorSplit = 0;
    ghost = 0;
    flares = 0;
    showNormals = 0;
    normalColor = 0;
    lightDirection.set(-1, -1, -1);
    lightColor = 0xFFFFFF;
    diffuse = 0.7f;
    ambientColor = 0xFFFFFF;
    ambient = 0.3f;
    lightLength = 1.7320508f;  // |(-1, -1, -1)|, kept when the direction changes
    if (flareSprite) freeLayer(flareSprite);  // a second init must not leak the first glow
    flareSprite = makeGlowSprite(256, 256);
}

FlarePoint* Camera::addFlarePoint(int32_t x, int32_t y) {
    FlarePoint* point = new FlarePoint{x, y, 0};
    flarePoints.push_back(point);
    return point;
}

int32_t Camera::transformAndSort(MeshObject* object) {
    int32_t count = 0;
    if (object && object->faces && object->faceLight)
        count = std::clamp(loadShared(object->drawCount), 0, object->faceCount);
    if (count <= 0 || !target) {
        drawItemCount = 0;
        return 0;
    }
    const Vector3 position(loadShared(object->position.x), loadShared(object->position.y),
                           loadShared(object->position.z));
    const float ax = loadShared(object->rotation.x), ay = loadShared(object->rotation.y),
                az = loadShared(object->rotation.z);
    const float sinX = std::sin(ax), cosX = std::cos(ax), sinY = std::sin(ay), cosY = std::cos(ay),
                sinZ = std::sin(az), cosZ = std::cos(az);
    const Face* source = object->faces;
    float* light = object->faceLight;
    const bool normals = showNormals != 0;
    if (sortKeys.size() < size_t(count)) {
        sortKeys.resize(size_t(count));
        drawOrder.resize(size_t(count));
    }
    if (drawItems.size() < size_t(count)) drawItems.resize(size_t(count));

    // The projection drawFaces used to make face by face in draw order, made
    // here in model order with the same operations.
    const int32_t w = target->w, h = target->h;
    const float halfW = float(w >> 1), halfH = float(h >> 1);
    const float lensDepth = eyeDistance - planeDistance;
    const float eye = eyeDistance;
    auto project = [&](const Vector3& p) {
        const float m = lensDepth / (eye - p.z);
        return ScreenPoint{p.x * m, p.y * m};
    };
    auto toScreen = [&](ScreenPoint p) { return ScreenPoint{p.x + halfW, halfH - p.y}; };

    const __m128 vSinX = _mm_set1_ps(sinX), vCosX = _mm_set1_ps(cosX), vSinY = _mm_set1_ps(sinY),
                 vCosY = _mm_set1_ps(cosY), vSinZ = _mm_set1_ps(sinZ), vCosZ = _mm_set1_ps(cosZ);
    const __m128 vPosX = _mm_set1_ps(position.x), vPosY = _mm_set1_ps(position.y), vPosZ = _mm_set1_ps(position.z);
    const __m128 vLens = _mm_set1_ps(lensDepth), vEye = _mm_set1_ps(eye);
    const __m128 vHalfW = _mm_set1_ps(halfW), vHalfH = _mm_set1_ps(halfH);
    const __m128 vLowRange = _mm_set1_ps(-kCoordinateRange), vHighRange = _mm_set1_ps(kCoordinateRange);
    const __m128i vWidth = _mm_set1_epi32(w), vHeight = _mm_set1_epi32(h);

    // 2a. Light: each face's normal turned with rotateTruncated's six steps,
    // four faces side by side, then its cosine to the light. A zero normal
    // gives NaN here, which the lighting treats as facing away. Cost:
    // drawCount faces, a quarter of a square root and a division each.
    const __m128 vLightX = _mm_set1_ps(lightDirection.x), vLightY = _mm_set1_ps(lightDirection.y),
                 vLightZ = _mm_set1_ps(lightDirection.z), vLightLength = _mm_set1_ps(lightLength);
    int32_t lit = 0;
    for (; lit + 4 <= count; lit += 4) {
        const Face* f = source + lit;
        const __m128 x = _mm_setr_ps(f[0].normal.x, f[1].normal.x, f[2].normal.x, f[3].normal.x);
        const __m128 y = _mm_setr_ps(f[0].normal.y, f[1].normal.y, f[2].normal.y, f[3].normal.y);
        const __m128 z = _mm_setr_ps(f[0].normal.z, f[1].normal.z, f[2].normal.z, f[3].normal.z);
        const __m128 x1 = truncated(_mm_sub_ps(_mm_mul_ps(x, vCosZ), _mm_mul_ps(y, vSinZ)));
        const __m128 y1 = truncated(_mm_add_ps(_mm_mul_ps(y, vCosZ), _mm_mul_ps(x, vSinZ)));
        const __m128 x2 = truncated(_mm_add_ps(_mm_mul_ps(x1, vCosY), _mm_mul_ps(z, vSinY)));
        const __m128 z1 = truncated(_mm_sub_ps(_mm_mul_ps(z, vCosY), _mm_mul_ps(x1, vSinY)));
        const __m128 y2 = truncated(_mm_sub_ps(_mm_mul_ps(y1, vCosX), _mm_mul_ps(z1, vSinX)));
        const __m128 z2 = truncated(_mm_add_ps(_mm_mul_ps(z1, vCosX), _mm_mul_ps(y1, vSinX)));
        const __m128 dot = _mm_add_ps(_mm_add_ps(_mm_mul_ps(x2, vLightX), _mm_mul_ps(y2, vLightY)),
                                      _mm_mul_ps(z2, vLightZ));
        const __m128 length =
            _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(x2, x2), _mm_mul_ps(y2, y2)), _mm_mul_ps(z2, z2)));
        _mm_storeu_ps(light + lit, _mm_div_ps(dot, _mm_mul_ps(length, vLightLength)));
    }
    for (; lit < count; ++lit) {
        Vector3 n = source[lit].normal;
        n.rotateTruncated(sinX, cosX, sinY, cosY, sinZ, cosZ);
        light[lit] = (n.x * lightDirection.x + n.y * lightDirection.y + n.z * lightDirection.z) /
                     (std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z) * lightLength);
    }

    // 2b. Transform and project; only the faces that will be drawn go
    // on to the sort, which keeps model order among equal keys either way.
    // Cost: drawCount faces, one packed division each.
    int32_t kept = 0;
    for (int32_t i = 0; i < count; ++i) {
        const Face& face = source[i];
        Vector3 tip;
        if (normals) {
            tip = Vector3(face.a.position.x + face.normal.x, face.a.position.y + face.normal.y,
                          face.a.position.z + face.normal.z);
            tip.rotateTruncated(sinX, cosX, sinY, cosY, sinZ, cosZ);
            tip.add(position.x, position.y, position.z);
        }
        // The three corners side by side in SSE lanes 0 .. 2: Vector3::rotate's
        // six steps, the move by position and the projection, lane by lane
        // with the same operations in the same order.
        const Vector3 &pa = face.a.position, &pb = face.b.position, &pc = face.c.position;
        const __m128 x = _mm_setr_ps(pa.x, pb.x, pc.x, 0.0f), y = _mm_setr_ps(pa.y, pb.y, pc.y, 0.0f),
                     z = _mm_setr_ps(pa.z, pb.z, pc.z, 0.0f);
        const __m128 x1 = _mm_sub_ps(_mm_mul_ps(x, vCosZ), _mm_mul_ps(y, vSinZ));
        const __m128 y1 = _mm_add_ps(_mm_mul_ps(y, vCosZ), _mm_mul_ps(x, vSinZ));
        const __m128 x2 = _mm_add_ps(_mm_mul_ps(x1, vCosY), _mm_mul_ps(z, vSinY));
        const __m128 z1 = _mm_sub_ps(_mm_mul_ps(z, vCosY), _mm_mul_ps(x1, vSinY));
        const __m128 y2 = _mm_sub_ps(_mm_mul_ps(y1, vCosX), _mm_mul_ps(z1, vSinX));
        const __m128 z2 = _mm_add_ps(_mm_mul_ps(z1, vCosX), _mm_mul_ps(y1, vSinX));
        const __m128 wz = _mm_add_ps(z2, vPosZ);
        const __m128 m = _mm_div_ps(vLens, _mm_sub_ps(vEye, wz));
        const __m128 px = _mm_mul_ps(_mm_add_ps(x2, vPosX), m), py = _mm_mul_ps(_mm_add_ps(y2, vPosY), m);
        alignas(16) float sx[4], sy[4], sz[4];
        _mm_store_ps(sx, px);
        _mm_store_ps(sy, py);
        _mm_store_ps(sz, wz);

        const ScreenPoint a{sx[0], sy[0]}, b{sx[1], sy[1]}, c{sx[2], sy[2]};
        if (!((b.x - c.x) * (a.y - c.y) - (a.x - c.x) * (b.y - c.y) <= 0)) continue;  // faces away (or NaN)
        // toScreen, onTarget and the coordinate range for the three corners
        // side by side. No corner is NaN here (the test above fails for any),
        // and where truncToInt saturates the packed truncation gives INT32_MIN:
        // off the target either way.
        const __m128 screenX = _mm_add_ps(px, vHalfW), screenY = _mm_sub_ps(vHalfH, py);
        const __m128i ix = _mm_cvttps_epi32(screenX), iy = _mm_cvttps_epi32(screenY);
        const __m128i minusOne = _mm_set1_epi32(-1);
        const __m128i onSurface =
            _mm_and_si128(_mm_and_si128(_mm_cmpgt_epi32(ix, minusOne), _mm_cmplt_epi32(ix, vWidth)),
                          _mm_and_si128(_mm_cmpgt_epi32(iy, minusOne), _mm_cmplt_epi32(iy, vHeight)));
        if ((_mm_movemask_ps(_mm_castsi128_ps(onSurface)) & 7) == 0) continue;
        const __m128 inRange = _mm_and_ps(_mm_and_ps(_mm_cmpge_ps(screenX, vLowRange), _mm_cmple_ps(screenX, vHighRange)),
                                          _mm_and_ps(_mm_cmpge_ps(screenY, vLowRange), _mm_cmple_ps(screenY, vHighRange)));
        if ((_mm_movemask_ps(inRange) & 7) != 7) continue;
        alignas(16) float screenXs[4], screenYs[4];
        _mm_store_ps(screenXs, screenX);
        _mm_store_ps(screenYs, screenY);
        DrawItem& item = drawItems[size_t(kept)];
        item.a = ScreenPoint{screenXs[0], screenYs[0]};
        item.b = ScreenPoint{screenXs[1], screenYs[1]};
        item.c = ScreenPoint{screenXs[2], screenYs[2]};
        item.tip = normals ? toScreen(project(tip)) : ScreenPoint{0, 0};
        item.color = face.color;
        item.face = i;
        sortKeys[size_t(kept)] = depthKey(sz[0]);
        ++kept;
    }

    // 3. Sort: ascending by the whole part of vertex A's z, farthest first.
    if (kept > 0 && depthSort) {
        orderByKey(kept);
    } else {
        for (int32_t i = 0; i < kept; ++i) drawOrder[size_t(i)] = i;
    }
    drawItemCount = kept;
    return kept;
}

void Camera::drawFaces(MeshObject* object, int32_t count) {
    if (!target || !object || !object->faceLight) return;
    count = std::min(count, drawItemCount);
    SDL_Surface* surface = target;
    const bool normals = showNormals != 0;
    const float* light = object->faceLight;
    const SDL_Surface* video = SDL_GetVideoSurface();
    const SDL_PixelFormat* mapFormat = video ? video->format : surface->format;
    const bool perFace = object->perFaceColor != 0;
    const float shading = object->shading;
    const int32_t alpha = object->alpha;
    const int32_t glyphMode = renderMode;
    uint32_t cachedRgb = 0xFFFFFFFFu, cachedPixel = 0;
    // The face colour's channels, split again only when the colour changes.
    bool haveSplit = false;
    uint32_t splitColor = 0;
    int32_t splitR = 0, splitG = 0, splitB = 0;

    // 4. Draw. Cost: the faces kept by transformAndSort, a lit colour and a fill each.
    for (int32_t k = 0; k < count; ++k) {
        const int32_t slot = drawOrder[size_t(k)];
        if (slot < 0 || slot >= drawItemCount) continue;
        const DrawItem& item = drawItems[size_t(slot)];
        if (item.face >= object->faceCount) continue;
        ScreenPoint a = item.a, b = item.b, c = item.c;

        const uint32_t faceColor = perFace ? item.color : object->color;
        if (!haveSplit || faceColor != splitColor) {
            splitPixel(surface, faceColor, &splitR, &splitG, &splitB);
            splitColor = faceColor;
            haveSplit = true;
        }
        int32_t r = splitR, g = splitG, bl = splitB;
        if (shading > 0) {
            const double cosine = light[item.face];
            double lr = 0, lg = 0, lb = 0;
            if (cosine > 0) {  // false for NaN: lit by ambient only
                const double strength = cosine * shading * diffuse * 0.5;
                // bits 0-7 of the light colour feed red: it is read as 0xBBGGRR
                lr = 2.0 * (lightColor & 0xFF) * strength;
                lg = 2.0 * ((lightColor >> 8) & 0xFF) * strength;
                lb = 2.0 * ((lightColor >> 16) & 0xFF) * strength;
            }
            r = channelValue(r * double(ambient) + lr);
            g = channelValue(g * double(ambient) + lg);
            bl = channelValue(bl * double(ambient) + lb);
        } else {
            r = std::clamp(r, 0, 255);
            g = std::clamp(g, 0, 255);
            bl = std::clamp(bl, 0, 255);
        }
        const uint32_t rgb = uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(bl);
        if (rgb != cachedRgb) {  // neighbouring faces often share a lit colour
            cachedRgb = rgb;
            cachedPixel = mapRgb(mapFormat, r, g, bl);
        }

        if (glyphMode == 0) {
            Color fill{int32_t(cachedPixel), alpha};
            fillTriangle(this, surface, a, b, c, &fill);
            if (normals) {
                const uint32_t tints[3] = {0xFF0000, 0x0000FF, 0xFFFF00};
                const Color line{int32_t(normalColor ? normalColor : tints[rand() % 3]), 64};
                drawLineClamped(surface, truncToInt(a.x), truncToInt(a.y), truncToInt(item.tip.x),
                                truncToInt(item.tip.y), &line);
            }
        } else {
            drawGlyph(surface, kMarkerGlyph, truncToInt(a.x), truncToInt(a.y), cachedPixel);
        }
    }
}

void Camera::render(MeshObject* object) {
    if (!target) return;
    SDL_Surface* surface = target;

    // 1. What lies under each flare point before the model is drawn.
    if (flares && !flarePoints.empty())
        for (FlarePoint* p : flarePoints) readPixel(surface, p->x, p->y, &p->saved);

    const int32_t count = transformAndSort(object);
    if (count > 0) drawFaces(object, count);

    // 5. Flares where the pixel under the point did not change this frame. A
    // point off the target cannot be covered, so it always shows. A flare
    // drawn over a later point counts as covering it.
    if (flares && flareSprite && flareSprite->surface) {
        const int32_t halfW = flareSprite->surface->w / 2, halfH = flareSprite->surface->h / 2;
        for (FlarePoint* p : flarePoints) {
            uint32_t now = p->saved;
            readPixel(surface, p->x, p->y, &now);
            if (now == p->saved) blendLayer(surface, flareSprite, p->x - halfW, p->y - halfH);
        }
    }
}
