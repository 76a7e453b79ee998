// Serialises a Module as a standard FastTracker II extended module (version
// 0x0104): song header, packed patterns, full instrument and sample headers,
// delta-encoded sample data.
//
// Owns: nothing; returns the file as bytes.
// Thread: single-threaded generator.
// Not for: reading modules (the player's loader does that).
#pragma once

#include <cstdint>
#include <vector>

#include "module.h"

namespace musicgen {

std::vector<uint8_t> writeXm(const Module& module);

// One pattern's packed cell data, exactly as it follows the pattern header.
std::vector<uint8_t> packPattern(const Pattern& pattern);

}  // namespace musicgen
