#include "scenes/music_position.h"

#include "framework/outside_world.h"

int32_t readRow(Song* song) { return outsideWorld().musicRow(song); }
