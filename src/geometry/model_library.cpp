#include "geometry/model_library.h"

#include <cstring>

MeshObject* addTableModel(ModelLibrary& library, const char* const* table, float scale,
                          const MaterialEntry* materials, int32_t materialCount, int32_t flipQuads) {
    MeshObject* object = new MeshObject();
    try {
        object->loadTable(table, materials, materialCount, scale, flipQuads);
    } catch (...) {
        delete object;
        throw;
    }
    library.models.push_back(object);
    return object;
}

MeshObject* addFileModel(ModelLibrary& library, const char* path, float scale, int32_t flipQuads) {
    MeshObject* object = new MeshObject(path, scale, flipQuads);  // releases itself when it throws
    library.models.push_back(object);
    return object;
}

MeshObject* findModel(const ModelLibrary& library, const char* pattern) {
    if (!pattern) return nullptr;
    for (MeshObject* object : library.models) {
        if (object && object->name && std::strstr(object->name, pattern)) return object;
    }
    return nullptr;
}

void destroyLibrary(ModelLibrary& library) {
    for (MeshObject* object : library.models) delete object;
    std::vector<MeshObject*>().swap(library.models);
}
