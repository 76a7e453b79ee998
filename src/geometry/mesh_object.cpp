#include "geometry/mesh_object.h"

#include <atomic>
#include <cstring>

#include "framework/compat.h"

Face& translateFace(Face& face, float dx, float dy, float dz) {
    face.a.position.add(dx, dy, dz);
    face.b.position.add(dx, dy, dz);
    face.c.position.add(dx, dy, dz);
    return face;
}

Face& scaleFace(Face& face, float sx, float sy, float sz) {
    face.a.position.scale(sx, sy, sz);
    face.b.position.scale(sx, sy, sz);
    face.c.position.scale(sx, sy, sz);
    return face;
}

void rotateFace(Face& face, float sinX, float cosX, float sinY, float cosY, float sinZ, float cosZ) {
    face.a.position.rotate(sinX, cosX, sinY, cosY, sinZ, cosZ);
    face.b.position.rotate(sinX, cosX, sinY, cosY, sinZ, cosZ);
    face.c.position.rotate(sinX, cosX, sinY, cosY, sinZ, cosZ);
}

Face& computeNormal(Face& face) {
    const Vector3& a = face.a.position;
    const Vector3& b = face.b.position;
    const Vector3& c = face.c.position;
    float ux = b.x - c.x, uy = b.y - c.y, uz = b.z - c.z;
    float vx = a.x - c.x, vy = a.y - c.y, vz = a.z - c.z;
    face.normal.set(uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx);
    return face;
}

MeshObject::MeshObject()
    : name(nullptr),
      position(),
      rotation(),
      flipQuads(0),
      loadScale(1.0f),
      color(0),
      perFaceColor(0),
      faceLight(nullptr),
      faceCount(0),
      drawCount(0),
      faces(nullptr),
      alpha(255),
      shading(1.0f) {}

MeshObject::MeshObject(const char* path, float scale, int32_t flipQuads) : MeshObject() {
    try {
        loadFile(path, scale, flipQuads);
    } catch (...) {
        // A throwing constructor never reaches the destructor, so everything
        // the failed load built (faces and name included) goes here.
        releaseFaces();
        releaseModelData();
        setName(nullptr);
        throw;
    }
}

MeshObject::~MeshObject() {
    releaseFaces();
    setName(nullptr);
    releaseModelData();
}

namespace {
// Position and rotation may be moved by an animator on the timer thread at
// the same moment: every component is stored and read as one whole value.
void storeWhole(float& field, float value) { AtomicRef<float>(field).store(value, std::memory_order_relaxed); }
float loadWhole(float& field) { return AtomicRef<float>(field).load(std::memory_order_relaxed); }
}  // namespace

void MeshObject::setPosition(float x, float y, float z) {
    storeWhole(position.x, x);
    storeWhole(position.y, y);
    storeWhole(position.z, z);
}

void MeshObject::setPosition(float x, float y, float z, int32_t onlyNonZero) {
    if (!onlyNonZero) {
        setPosition(x, y, z);
        return;
    }
    if (x != 0.0f) storeWhole(position.x, x);
    if (y != 0.0f) storeWhole(position.y, y);
    if (z != 0.0f) storeWhole(position.z, z);
}

void MeshObject::setRotation(float ax, float ay, float az) {
    storeWhole(rotation.x, ax);
    storeWhole(rotation.y, ay);
    storeWhole(rotation.z, az);
}

void MeshObject::rotateBy(float dx, float dy, float dz) {
    storeWhole(rotation.x, loadWhole(rotation.x) + dx);
    storeWhole(rotation.y, loadWhole(rotation.y) + dy);
    storeWhole(rotation.z, loadWhole(rotation.z) + dz);
}

void MeshObject::setColor(uint32_t pixel) { color = pixel; }

void MeshObject::setAllFaceColors(uint32_t pixel) {
    for (int32_t i = 0; i < faceCount; ++i) faces[i].color = pixel;
}

void MeshObject::allocateFaces() {
    // Value-initialised so the spare words and tips never hold stale bytes.
    size_t n = faceCount > 0 ? static_cast<size_t>(faceCount) : 0;
    faces = new Face[n]();
    faceLight = new float[n]();
}

void MeshObject::computeNormals() {
    for (int32_t i = 0; i < faceCount; ++i) {
        computeNormal(faces[i]);
        faces[i].index = 0;
    }
}

void MeshObject::releaseFaces() {
    delete[] faces;
    delete[] faceLight;
    faces = nullptr;
    faceLight = nullptr;
    faceCount = 0;
    drawCount = 0;
}

void MeshObject::releaseModelData() {
    for (Vector3* v : vertices) delete v;
    for (Vector3* v : faceIndices) delete v;
    std::vector<Vector3*>().swap(vertices);
    std::vector<Vector3*>().swap(faceIndices);
}

void MeshObject::setName(const char* text) {
    delete[] name;
    name = nullptr;
    if (!text) return;
    size_t n = std::strlen(text);
    name = new char[n + 1];
    std::memcpy(name, text, n + 1);
}
