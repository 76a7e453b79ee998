// The scatter effect's return rule written out coordinate by coordinate, with
// its branches: the reference the fast update must match (tests) and the
// baseline its speed is compared with (vorna-bench).
#pragma once

#include <cstdint>

#include "geometry/mesh_object.h"

namespace reference {

// Moves every corner of faces[0 .. n) one step toward its home in `saved`
// (step.x for corner A, .y for B, .z for C), landing exactly on it instead of
// passing it. Returns 1 when every coordinate is home afterwards.
inline int32_t scatterReturn(Face* faces, const Face* saved, int32_t n, Vector3 step) {
    int32_t allHome = 1;
    for (int32_t i = 0; i < n; ++i) {
        FaceVertex* corners[3] = {&faces[i].a, &faces[i].b, &faces[i].c};
        const FaceVertex* homes[3] = {&saved[i].a, &saved[i].b, &saved[i].c};
        const float steps[3] = {step.x, step.y, step.z};
        for (int k = 0; k < 3; ++k) {
            float* p[3] = {&corners[k]->position.x, &corners[k]->position.y, &corners[k]->position.z};
            const float q[3] = {homes[k]->position.x, homes[k]->position.y, homes[k]->position.z};
            for (int j = 0; j < 3; ++j) {
                if (*p[j] < q[j]) {
                    *p[j] = *p[j] + steps[k];
                    if (*p[j] > q[j]) *p[j] = q[j];
                } else if (*p[j] > q[j]) {
                    *p[j] = *p[j] - steps[k];
                    if (*p[j] < q[j]) *p[j] = q[j];
                }
                if (*p[j] != q[j]) allHome = 0;
            }
        }
    }
    return allHome;
}

}  // namespace reference
