// Camera: projection, the single directional light, the renderer's effect
// switches and the flare points of one scene. Owned by the scene runner, used
// on the main thread only. render() is not reentrant (the triangle filler keeps
// static edge lists and span caches).
#pragma once

#include <SDL/SDL.h>
#include <cstdint>
#include <vector>

#include "geometry/vector3.h"

struct AlphaLayer;
struct MeshObject;

struct FlarePoint {
    int32_t x;
    int32_t y;
    uint32_t saved;  // the target pixel read back before the model is drawn
};

struct Camera {
    float ghostOffset;
    int32_t fieldOfView;
    float planeDistance;
    float eyeDistance;
    Vector3 origin;
    int32_t renderMode;
    int32_t scanlineGlitch;
    int32_t interlace;
    int32_t depthSort;
    int32_t colorSplit;
    int32_t ghost;
    int32_t flares;
    int32_t showNormals;
    uint32_t normalColor;
    std::vector<FlarePoint*> flarePoints;  // owned
    Vector3 lightDirection;
    uint32_t lightColor;
    float diffuse;
    uint32_t ambientColor;
    float ambient;
    float lightLength;
    SDL_Surface* target;      // not owned
    AlphaLayer* flareSprite;  // owned

    Camera();
    ~Camera();
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;

    void init(int32_t fieldOfView, float planeDistance, SDL_Surface* target);
    FlarePoint* addFlarePoint(int32_t x, int32_t y);
    void render(MeshObject* object);
};
