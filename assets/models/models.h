// The embedded models: seven OBJ line tables (entry 0 the model's name, then
// the lines, then null) and the flower's material table. Constant data, read
// by the loader on the main thread at start-up; never written.
#pragma once

#include <cstdint>

#include "geometry/obj_loader.h"

extern const char* const modelSphere[];
extern const char* const modelMagnolia[];
extern const char* const modelTeddy[];
extern const char* const modelGlob[];
extern const char* const modelCow[];
extern const char* const modelOctopus[];
extern const char* const modelSpring[];

// brownskn, bone1, greenskn, brzskin, areola3: the flower's five colours.
extern const MaterialEntry flowerMaterials[5];

// How one table is loaded: the arguments of addTableModel after the library.
struct EmbeddedModel {
    const char* const* table;
    float scale;
    const MaterialEntry* materials;
    int32_t materialCount;
    int32_t flipQuads;
};

// All seven in the order the library is built: sphere, magnolia, teddy,
// glob, cow, OCTOPUS, SPRING.
extern const EmbeddedModel embeddedModels[7];
