#include "scenes/music_position.h"

#include "music/player.h"

Song* demoSong = nullptr;

namespace {
int32_t snapshotRow(Song* song) {
    return song ? positionSnapshot.row.load(std::memory_order_relaxed) : 0;
}
RowSource rowSource = snapshotRow;
}  // namespace

void setRowSource(RowSource source) { rowSource = source ? source : snapshotRow; }

int32_t readRow(Song* song) { return rowSource(song); }
