// Where the scenes read the music position.
//
// The production reads the playback thread's snapshot; a test or a recorder
// may install a source of its own (for example injected rows or a virtual
// playback clock). Main thread only: the source is installed before the
// scenes run and read once per frame.
#pragma once

#include <cstdint>

struct Song;

using RowSource = int32_t (*)(Song* song);

// Installs a row source; null restores the playback snapshot.
void setRowSource(RowSource source);

// The current pattern row (a byte) of the song being played; 0 for a null song.
int32_t readRow(Song* song);
