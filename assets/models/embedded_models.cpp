#include "models/models.h"

const MaterialEntry flowerMaterials[5] = {
    {"brownskn", 0.8f, 0.6f, 0.6f},
    {"bone1", 1.0f, 1.0f, 1.0f},
    {"greenskn", 0.0f, 1.0f, 0.0f},
    {"brzskin", 1.0f, 0.7f, 0.0f},
    {"areola3", 1.0f, 0.0f, 1.0f},
};

// The octopus is the one model written with normal indices; flipQuads 1 keeps
// its quads in the winding of the file.
const EmbeddedModel embeddedModels[7] = {
    {modelSphere, 100.0f, nullptr, 0, 0},
    {modelMagnolia, 4.0f, flowerMaterials, 5, 0},
    {modelTeddy, 8.0f, nullptr, 0, 0},
    {modelGlob, 8.0f, nullptr, 0, 0},
    {modelCow, 40.0f, nullptr, 0, 0},
    {modelOctopus, 10.0f, nullptr, 0, 1},
    {modelSpring, 6.0f, nullptr, 0, 0},
};
