// Camera: projection, the single directional light, the renderer's effect
// switches and the flare points of one scene, and render(), the painter's
// pipeline that turns one mesh object into flat-filled triangles on `target`.
//
// Owned by the scene runner, used on the main thread only. render() is not
// reentrant: the triangle filler keeps static edge lists and span caches, and
// the draw order is kept in scratch shared by every camera. The animators'
// timer thread may move the object's position, rotation and drawCount and the
// camera's ghostOffset while render() runs; each is read once, as a whole.
//
// Not for: depth-correct scenes (faces are ordered by the z of one corner,
// with no depth buffer), clipping (faces near or behind the eye are dropped
// by the range guard, not cut), or targets in another depth than the video's.
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

    // Resets every switch and the light; builds the 256x256 flare glow.
    // fieldOfView is horizontal, in degrees; eyeDistance follows from it and
    // the target's width.
    void init(int32_t fieldOfView, float planeDistance, SDL_Surface* target);
    // The camera owns the returned point.
    FlarePoint* addFlarePoint(int32_t x, int32_t y);
    // Transforms, lights, sorts (farthest first) and draws object's first
    // drawCount faces, then the normals overlay and the flares. Neither locks
    // nor clears the target.
    void render(MeshObject* object);

    // The two halves of render() between the flare steps, apart so that
    // each can be timed. transformAndSort fills the object's faceLight,
    // projects every face, keeps those that face the eye within range, and
    // orders them; it returns how many it kept. The work faces are not
    // written: their content never outlives a frame, and the kept faces go
    // to a compact scratch instead. drawFaces draws the kept faces in that
    // order and must follow a transformAndSort of the same object.
    int32_t transformAndSort(MeshObject* object);
    void drawFaces(MeshObject* object, int32_t count);
};
