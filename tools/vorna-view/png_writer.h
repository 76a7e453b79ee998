// A minimal PNG writer for 32-bit surfaces: 8-bit RGB, no filtering, the
// image data in stored (uncompressed) deflate blocks. Files are large but
// exact and need no compression library. Any thread; touches only its
// arguments.
#pragma once

#include <SDL/SDL.h>

// Writes the surface's colours to path; false when the file cannot be
// written or the surface is not 4 bytes per pixel.
bool writePng(SDL_Surface* surface, const char* path);
