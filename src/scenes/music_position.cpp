#include "scenes/music_position.h"

#include "framework/outside_world.h"

Song* demoSong = nullptr;

int32_t readRow(Song* song) { return outsideWorld().musicRow(song); }
