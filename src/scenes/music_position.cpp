#include "scenes/music_position.h"

#include <time.h>

#include <cstdio>
#include <cstdlib>

#include "framework/outside_world.h"
#include "music/player.h"

namespace {

// VORNA_ROW_LOG=path: one line for every row the scenes see change,
// "REALTIME_US ORDER ROW STREAM_FRAME", so that a test can tell when each
// row was shown against when its first sample was heard.
struct RowLog {
    FILE* file = nullptr;
    bool opened = false;
    int32_t lastRow = -1;
    int lastOrder = -1;
};
RowLog rowLog;

void logRow(int32_t row) {
    if (!rowLog.opened) {
        rowLog.opened = true;
        const char* path = std::getenv("VORNA_ROW_LOG");
        if (path && *path) rowLog.file = std::fopen(path, "w");
    }
    if (!rowLog.file) return;
    const int order = positionSnapshot.order.load(std::memory_order_relaxed);
    if (row == rowLog.lastRow && order == rowLog.lastOrder) return;
    rowLog.lastRow = row;
    rowLog.lastOrder = order;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::fprintf(rowLog.file, "%lld %d %d %llu\n", (long long)now.tv_sec * 1000000 + now.tv_nsec / 1000, order, int(row),
                 (unsigned long long)positionSnapshot.frame.load(std::memory_order_relaxed));
    std::fflush(rowLog.file);
}

}  // namespace

int32_t readRow(Song* song) {
    const int32_t row = outsideWorld().musicRow(song);
    logRow(row);
    return row;
}
