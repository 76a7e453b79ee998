// PNG pictures through libpng: 8-bit RGB, default compression. Any thread;
// touches only its arguments.
#pragma once

#include <cstdint>

#include <SDL/SDL.h>

// Writes width x height pixels of 24-bit RGB (width * 3 bytes a row, top row
// first) to path; false when the file cannot be written.
bool writePngRgb(const char* path, const uint8_t* rgb, int width, int height);

// Writes the surface's colours to path; false when the file cannot be
// written or the surface is not 2 to 4 bytes per pixel.
bool writePng(SDL_Surface* surface, const char* path);
