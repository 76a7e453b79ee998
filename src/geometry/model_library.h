// ModelLibrary: every mesh object of the run, in the order they were added.
// It owns the objects (deleted by destroyLibrary); the objects themselves are
// changed by the scenes, the array never is after start-up.
//
// Main thread only: built once before the first 3D scene, looked up when a
// scene starts (a linear substring scan, not for per-frame use), destroyed at
// the end of the run.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/mesh_object.h"
#include "geometry/obj_loader.h"

struct ModelLibrary {
    std::vector<MeshObject*> models;  // owned; null entries are skipped
};

// Loads a line table into a new object and appends it, also when it yields
// no faces. A load that throws appends nothing, deletes the object and lets
// the error pass on.
MeshObject* addTableModel(ModelLibrary& library, const char* const* table, float scale,
                          const MaterialEntry* materials, int32_t materialCount, int32_t flipQuads);

// Loads an OBJ file into a new object and appends it; on a throwing load the
// object is deleted, nothing is appended and the error passes on.
MeshObject* addFileModel(ModelLibrary& library, const char* path, float scale, int32_t flipQuads);

// The first object, in insertion order, whose name contains pattern ("" finds
// the first named object); null when none does or pattern is null.
MeshObject* findModel(const ModelLibrary& library, const char* pattern);

// Deletes every object and releases the array; the library is empty after.
void destroyLibrary(ModelLibrary& library);
