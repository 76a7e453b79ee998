#include "render/camera.h"

Camera::Camera()
    : ghostOffset(0), fieldOfView(0), planeDistance(0), eyeDistance(0), origin{0, 0, 0}, renderMode(0),
      scanlineGlitch(0), interlace(0), depthSort(0), colorSplit(0), ghost(0), flares(0), showNormals(0),
      normalColor(0), flarePoints(), lightDirection{0, 0, 0}, lightColor(0), diffuse(0), ambientColor(0),
      ambient(0), lightLength(0), target(nullptr), flareSprite(nullptr) {}

Camera::~Camera() {
    for (FlarePoint* p : flarePoints) delete p;
}
