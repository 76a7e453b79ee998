// Vector3: the one geometric value type, three single-precision floats.
// A plain value without invariants, used from any thread that owns the record
// holding it.
#pragma once

struct Vector3 {
    float x;
    float y;
    float z;
};
