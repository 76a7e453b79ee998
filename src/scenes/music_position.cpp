#include "scenes/music_position.h"

Song* demoSong = nullptr;

namespace {
// Until the playback thread publishes its snapshot, the row stands still at 0.
int32_t snapshotRow(Song*) { return 0; }
RowSource rowSource = snapshotRow;
}  // namespace

void setRowSource(RowSource source) { rowSource = source ? source : snapshotRow; }

int32_t readRow(Song* song) { return rowSource(song); }
