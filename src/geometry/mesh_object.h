// MeshObject: one drawable model and its place in the scene. It owns its name,
// the loaded vertices and index triples, and two face arrays: `faces` (the
// model, written only by the loader and the scatter effect) and `faceLight`
// (renderer scratch, meaningless between frames).
//
// Threads: created, loaded and drawn on the main thread. Animators on SDL's
// timer thread move `position`, `rotation` and `drawCount`, one aligned 32-bit
// value at a time through std::atomic_ref; those members therefore stay plain
// naturally aligned 32-bit fields. Nothing else may be touched off the main
// thread, and nothing here locks.
//
// Not for: sharing vertices between faces (every face carries its own corner
// copies), or copying objects (the library owns each one exactly once).
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/vector3.h"

struct MaterialEntry;

struct FaceVertex {
    Vector3 position;
    float spare;  // never read
    Vector3 tip;  // corner A of a work face only: the transformed point A + normal
};

struct Face {
    FaceVertex a;
    FaceVertex b;
    FaceVertex c;
    Vector3 normal;     // (B - C) x (A - C), unnormalised, model space
    uint32_t spare[4];  // never read
    int32_t index;      // 0 after loading; in a work face, its slot in `faces`
    uint32_t color;     // the material colour current when the face was read
};

struct MeshObject {
    char* name;  // owned; entry 0 of a table or the path of a file
    Vector3 position;
    Vector3 rotation;  // radians about x, y, z; applied z, then y, then x
    int32_t flipQuads;
    float loadScale;
    uint32_t color;        // pixel value in the video surface's format
    int32_t perFaceColor;  // nonzero: draw each face in its own colour
    std::vector<Vector3*> vertices;     // owned, already scaled
    std::vector<Vector3*> faceIndices;  // owned, 0-based vertex indices held as floats
    float* faceLight;                   // owned, faceCount entries
    int32_t faceCount;
    int32_t drawCount;  // faces drawn from the start of the arrays, 0 .. faceCount
    Face* faces;        // owned, faceCount entries
    int32_t alpha;      // 255 opaque, 0 .. 254 blended
    float shading;      // strength of the directional light; <= 0 draws unlit

    MeshObject();
    // Loads the OBJ file at path. If the load throws, everything the object
    // holds is released before the error passes on.
    MeshObject(const char* path, float scale, int32_t flipQuads);
    ~MeshObject();
    MeshObject(const MeshObject&) = delete;
    MeshObject& operator=(const MeshObject&) = delete;

    void setPosition(float x, float y, float z);
    // With onlyNonZero set, a zero argument leaves that component as it is.
    void setPosition(float x, float y, float z, int32_t onlyNonZero);
    void setRotation(float ax, float ay, float az);
    void rotateBy(float dx, float dy, float dz);
    void setColor(uint32_t pixel);
    void setAllFaceColors(uint32_t pixel);

    void allocateFaces();
    void computeNormals();
    void releaseFaces();

    // OBJ text from a file (materials from an MTL file under "obj/") or from
    // a line table (entry 0 the name, then the lines, then null) with an
    // in-memory material table. Either one loads, or throws std::out_of_range
    // for a face index outside the vertices; obj_loader.cpp holds both.
    void loadFile(const char* path, float scale, int32_t flipQuads);
    void loadTable(const char* const* table, const MaterialEntry* materials, int32_t materialCount, float scale,
                   int32_t flipQuads);

    // Deletes the vertices and index triples and empties both arrays.
    void releaseModelData();
    // Replaces the owned name with a copy of text (null clears it).
    void setName(const char* text);
};
