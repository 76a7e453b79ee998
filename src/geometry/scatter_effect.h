// ScatterEffect: throws the faces of one mesh object apart and glides them
// back, one fixed step per frame and coordinate, toward a copy of the faces
// taken when the effect was made; also fades the object's colour toward a
// target colour.
//
// Owns: the saved copy of the faces. Not the object, nor its faces array.
// Threads: main thread only; random offsets come from the C library's rand().
// Not for: objects whose faces or faceCount change while the effect lives
// (it keeps a pointer to the array it saw), and not for restoring a shape:
// destroying the effect leaves the faces wherever they are.
#pragma once

#include <cstdint>

#include "geometry/mesh_object.h"
#include "geometry/vector3.h"

struct ScatterEffect {
    int32_t settled;     // 1 after an update that left every corner on its saved place
    MeshObject* object;  // not owned
    Vector3 step;        // per update: x for corner A, y for B, z for C
    int32_t faceCount;
    Face* faces;  // the object's array, not owned
    Face* saved;  // owned copy: the shape to return to
    uint32_t color;
    uint32_t targetColor;
    // Owned: the saved corner positions packed 4 floats per corner (the
    // fourth unused), 48 bytes a face instead of the 120 of a Face, so that
    // the per-frame pass reads a third as much of the saved shape.
    float* home;

    explicit ScatterEffect(MeshObject* object);
    ~ScatterEffect();
    ScatterEffect(const ScatterEffect&) = delete;
    ScatterEffect& operator=(const ScatterEffect&) = delete;

    void setStep(float s);
    void setColor(uint32_t pixel);
    void setTargetColor(uint32_t pixel);
    void explode();
    // Spans below 1 (amount below 0.1) displace nothing on that axis.
    void jitter(float s, float amount);
    void stairs();
    void gentleStairs();
    void update();

    // Adds low + rand() % span to x, then y, then z of all three corners;
    // a span below 1 leaves that axis alone and draws no random number.
    static void displaceFace(Face& face, int32_t low, int32_t span);
};
