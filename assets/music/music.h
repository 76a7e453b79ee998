// The production's music: "kestrula", a complete XM module (12 channels,
// linear frequencies, speed 7, 125 BPM) made by tools/musicgen.
//
// Owns: constant data in the executable image; nothing to free.
// Thread: read-only, safe from any thread.
// Not for: writing; the player serves it as the file "KESTRULA.XM" through
// its in-memory file callbacks.
#pragma once

extern const unsigned char kestrulaXm[];
extern const unsigned long kestrulaXm_size;
