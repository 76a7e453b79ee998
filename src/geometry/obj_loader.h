// OBJ/MTL loader: the records it reads and builds. The loading operations
// themselves are MeshObject::loadFile and MeshObject::loadTable (declared in
// mesh_object.h, defined in obj_loader.cpp).
//
// Main thread only, at start-up: colours are mapped with the pixel format of
// the current video surface, so the video mode is set before any model loads
// (without a video surface they fall back to the 0xRRGGBB layout). Not for
// per-frame use.
#pragma once

#include <cstdint>

#include "geometry/mesh_object.h"

// One entry of an in-memory material table, laid out as the embedded tables
// hold it. A request selects the first entry whose name occurs inside it.
struct MaterialEntry {
    char name[32];  // zero-terminated
    float red;      // 0 .. 1
    float green;
    float blue;
};

// A colour component in 0 .. 1 as the loader turns it into 8 bits: the whole
// part of c x 255, cut to 16 bits, then to its low 8 (1.2 gives 50). Values
// outside what 16 bits can hold are wrapped the same way, without overflow.
uint8_t materialComponent(float c);

// The pixel value for three components: SDL_MapRGB on the video surface's
// format, or 0xRRGGBB when no video mode is set.
uint32_t materialPixel(float red, float green, float blue);
