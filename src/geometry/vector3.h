// Vector3: the one geometric value type, three single-precision floats, and
// the fixed rotation rule (about z, then y, then x) that every rotation in the
// program goes through. There is no matrix type: callers that rotate many
// points pass the six sines and cosines, computed once.
//
// A plain value without invariants; it belongs to whatever record holds it and
// is touched by that record's thread. Members moved by animators on the timer
// thread are written and read through std::atomic_ref one float at a time, so
// the layout must stay three plain, naturally aligned floats: never add members.
#pragma once

#include <cmath>

struct Vector3 {
    float x;
    float y;
    float z;

    Vector3() : x(0.0f), y(0.0f), z(0.0f) {}
    Vector3(float x, float y, float z) : x(x), y(y), z(z) {}

    Vector3& set(float nx, float ny, float nz) {
        x = nx;
        y = ny;
        z = nz;
        return *this;
    }
    void setX(float v) { x = v; }
    void setY(float v) { y = v; }
    void setZ(float v) { z = v; }

    Vector3& add(float dx, float dy, float dz) {
        x += dx;
        y += dy;
        z += dz;
        return *this;
    }

    // Component by component; this is not a dot product.
    Vector3& scale(float sx, float sy, float sz) {
        x *= sx;
        y *= sy;
        z *= sz;
        return *this;
    }

    Vector3& rotate(float ax, float ay, float az) {
        return rotate(std::sin(ax), std::cos(ax), std::sin(ay), std::cos(ay), std::sin(az), std::cos(az));
    }

    // z first, then y, then x: the order is part of the look of every scene.
    Vector3& rotate(float sinX, float cosX, float sinY, float cosY, float sinZ, float cosZ) {
        float x1 = x * cosZ - y * sinZ;
        float y1 = y * cosZ + x * sinZ;
        float x2 = x1 * cosY + z * sinY;
        float z1 = z * cosY - x1 * sinY;
        float y2 = y1 * cosX - z1 * sinX;
        float z2 = z1 * cosX + y1 * sinX;
        x = x2;
        y = y2;
        z = z2;
        return *this;
    }

    // The same six steps, each result cut to a whole number before the next
    // step uses it, so rotated normals carry integer components. std::trunc
    // keeps this defined for values that an int could not hold.
    void rotateTruncated(float sinX, float cosX, float sinY, float cosY, float sinZ, float cosZ) {
        float x1 = std::trunc(x * cosZ - y * sinZ);
        float y1 = std::trunc(y * cosZ + x * sinZ);
        float x2 = std::trunc(x1 * cosY + z * sinY);
        float z1 = std::trunc(z * cosY - x1 * sinY);
        float y2 = std::trunc(y1 * cosX - z1 * sinX);
        float z2 = std::trunc(z1 * cosX + y1 * sinX);
        x = x2;
        y = y2;
        z = z2;
    }
};

struct Face;

// Operations on the three corners of one face at once (the face type lives in
// mesh_object.h). All but rotateFace return the face they were given.
Face& translateFace(Face& face, float dx, float dy, float dz);
Face& scaleFace(Face& face, float sx, float sy, float sz);
// Rotates the three corner positions only; the normal is left as it is.
void rotateFace(Face& face, float sinX, float cosX, float sinY, float cosY, float sinZ, float cosZ);
// normal = (B - C) x (A - C), not normalised: it points to the side from
// which A, B, C run clockwise.
Face& computeNormal(Face& face);
