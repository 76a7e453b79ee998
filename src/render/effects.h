// 2D image effects laid over frames and pictures: sprites with a per-pixel
// alpha map (the flare glow), a radial grey glow and a vignette ramp, falling
// sparks, pictures sampled into rotating rings, a band of repeated rows, a
// horizontally squeezed colour-keyed blit and a travelling band of rows
// shifted sideways.
//
// Main thread only. Layers and spark arrays are owned by whoever made them
// (freeLayer, freeSparks); a RingSampler only borrows its picture. glitchBand
// keeps the band's row in static state, so it is not reentrant. Everything
// assumes the display's 32-bit pixel format; the direct-access effects
// (rings, row band, keyed blit, glitch band) do nothing on other depths.
#pragma once

#include <SDL/SDL.h>
#include <cstdint>

#include "render/raster.h"

struct AlphaLayer {
    SDL_Surface* surface;  // owned, video depth
    uint8_t* alphaMap;     // owned, width x height bytes row-major, or null
};

// A blank layer in the video depth; the alpha map is zero-filled when
// withAlpha is nonzero, else null. The surface may be null if SDL fails.
AlphaLayer* makeLayer(int32_t width, int32_t height, int32_t withAlpha);
void freeLayer(AlphaLayer* layer);
// Blends the layer onto target with its top-left corner at (x, y), clipped to
// the target. A layer without an alpha map is drawn opaque.
void blendLayer(SDL_Surface* target, const AlphaLayer* layer, int32_t x, int32_t y);

// The flare glow: a white disc whose alpha equals its brightness,
// (1 - d)^2 x 255, falling to 0 at the rim.
AlphaLayer* makeGlowSprite(int32_t width, int32_t height);
// Grey disc centred at (c, c), c = min(w, h) / 2, written with color->alpha.
void radialGlow(SDL_Surface* surface, const Color* color);
// Radial grey ramp, black at the centre, written with color->alpha; pixels
// where the ramp would pass 254 are left alone.
void vignette(SDL_Surface* surface, const Color* color);

struct Spark {
    uint8_t active;
    int32_t life;
    int32_t unused0;  // stays zero
    int32_t unused1;  // stays zero
    int32_t x;
    int32_t y;
};

struct SparkSystem {
    int32_t count;
    uint8_t fade;
    Spark* sparks;  // owned, `count` records
};

void makeSparks(SparkSystem* system, int32_t count);
// Activates up to n idle sparks near (x, y); an emission that finds no idle
// spark is dropped.
void emitSparks(SparkSystem* system, int32_t x, int32_t y, int32_t n);
// Draws every active spark, fades it and lets it fall two pixels.
void updateSparks(SparkSystem* system, SDL_Surface* surface);
void freeSparks(SparkSystem* system);

constexpr int kRingEntries = 360;

struct RingEntry {
    int32_t dx;
    int32_t dy;
    uint32_t pixel;
};

// One circle of a picture's colours; a plain record of fixed size.
struct RingSampler {
    SDL_Surface* surface;  // the picture sampled, not owned
    int32_t unused0;
    int32_t unused1;
    int32_t unused2;
    int32_t centerX;  // set by the scene, read by no ring operation
    int32_t centerY;
    int32_t unused3;
    int32_t flag;
    RingEntry entries[kRingEntries];
    int32_t radius;
    int32_t offset;  // rotation in entries, 0 .. 359
    int32_t width;
    int32_t height;
};

// Samples the picture at 360 points of the circle of `radius` around (cx, cy);
// points off the picture stay black.
void captureRing(SDL_Surface* picture, RingSampler* ring, int32_t cx, int32_t cy, int32_t radius);
// Plots the ring around (cx, cy), each point coloured with the sample
// `offset` places further along.
void drawRing(SDL_Surface* surface, int32_t cx, int32_t cy, const RingSampler* ring);
void setRingCenter(RingSampler* ring, int32_t x, int32_t y);
void setRingFlag(RingSampler* ring, int32_t value);

// Copies source to target (same size) with, from startRow on, a band of rows
// repeated in blocks of 1, 2, .. maxRepeat, .. 2, 1.
void stretchRowsBand(SDL_Surface* source, SDL_Surface* target, int32_t startRow, int32_t maxRepeat);
// Draws the sprite squeezed or stretched to `width` columns, centred on its
// own width, skipping colour-key pixels and anything off the target.
void blitScaledKeyed(SDL_Surface* sprite, SDL_Surface* target, int32_t x, int32_t y, int32_t width);
// Moves the travelling band and rotates its rows to the right, in place.
void glitchBand(SDL_Surface* surface);
