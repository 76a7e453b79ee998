// Where the scenes read the music position.
//
// The row comes from the outside world (framework/outside_world.h): the
// playback thread's snapshot in the production, injected rows or a virtual
// playback clock under a test or a tool. Main thread only: read once per frame.
#pragma once

#include <cstdint>

struct Song;

// The current pattern row (a byte) of the song being played; 0 for a null song.
int32_t readRow(Song* song);
