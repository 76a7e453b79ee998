#include "scenes/music_position.h"

#include "music/playback_thread.h"

namespace {
int32_t snapshotRow(Song* song) { return getRow(song); }
RowSource rowSource = snapshotRow;
}  // namespace

void setRowSource(RowSource source) { rowSource = source ? source : snapshotRow; }

int32_t readRow(Song* song) { return rowSource(song); }
