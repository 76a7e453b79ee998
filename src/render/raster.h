// The lowest drawing layer: pixels, spans, lines, rectangles and the flat
// triangle filler with the camera's span effects. Everything works directly on
// the pixels of an SDL surface in the video format (4 bytes per pixel), takes
// integer coordinates and does no locking of its own.
//
// Main thread only: the triangle filler's edge lists, the two span pattern
// caches and the glitch line counter are static, so none of this is reentrant.
#pragma once

#include <SDL/SDL.h>
#include <cstdint>

struct Camera;

// A pixel value in the surface's format and its opacity (255 opaque).
struct Color {
    int32_t pixel;
    int32_t alpha;
};

// One point of a walked triangle edge: one per row crossed.
struct EdgePoint {
    float x;
    float y;
};

// A projected vertex in screen coordinates.
struct ScreenPoint {
    float x;
    float y;
};

// Points each edge list of the triangle filler holds.
constexpr int kEdgeCapacity = 1024;

bool isInside(const SDL_Surface* surface, int32_t x, int32_t y);
void putPixel(SDL_Surface* surface, int32_t x, int32_t y, uint32_t pixel);
void readPixel(const SDL_Surface* surface, int32_t x, int32_t y, uint32_t* out);
void blendPixel(SDL_Surface* surface, int32_t x, int32_t y, uint32_t pixel, int32_t alpha);
bool drawPixel(SDL_Surface* surface, int32_t x, int32_t y, uint32_t pixel, int32_t alpha);
void putPixelAlpha(SDL_Surface* surface, int32_t x, int32_t y, uint32_t pixel, int32_t alpha);
void splitPixel(const SDL_Surface* surface, uint32_t pixel, int32_t* r, int32_t* g, int32_t* b);
void clampRect(const SDL_Surface* surface, SDL_Rect* rect);

void drawSpan(SDL_Surface* surface, int32_t y, int32_t x0, int32_t x1, const Color* color);
void drawLine(SDL_Surface* surface, int32_t x0, int32_t y0, int32_t x1, int32_t y1, const Color* color);
void drawLineClamped(SDL_Surface* surface, int32_t x0, int32_t y0, int32_t x1, int32_t y1, const Color* color);
void fillRect(SDL_Surface* surface, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t pixel);
void fillRectColor(SDL_Surface* surface, int32_t x0, int32_t y0, int32_t x1, int32_t y1, const Color* color);

// Fills `points` with one point per row from (x0, y0) to (x1, y1) and sets
// *count. At most `capacity` points are stored.
void walkEdge(int32_t x0, int32_t y0, int32_t x1, int32_t y1, EdgePoint* points, int32_t* count,
              int32_t capacity = kEdgeCapacity);

// Fills the rows between edges a and b; returns the offset into b (from
// startB) of the point matched to the last point of a that was processed.
// `color->pixel` may be shifted by the scanline glitch.
int32_t fillEdgePair(const Camera* camera, SDL_Surface* surface, const EdgePoint* edgeA,
                     const EdgePoint* edgeB, int32_t countA, int32_t countB, int32_t startA,
                     int32_t startB, Color* color);

void colorSplitSpan(SDL_Surface* surface, int32_t y, int32_t x0, int32_t x1, const Color* color);

// Fills a flat triangle with the camera's span effects (scanlineGlitch,
// interlace, colorSplit, ghost and ghostOffset are read).
void fillTriangle(const Camera* camera, SDL_Surface* surface, ScreenPoint a, ScreenPoint b,
                  ScreenPoint c, Color* color);

// Float to int conversion that truncates toward zero like a cast, but
// saturates out-of-range values and maps NaN to 0 instead of being undefined.
// Inline: the camera calls it for every corner it projects.
inline int32_t truncToInt(float value) {
    if (value != value) return 0;  // NaN
    if (value >= 2147483520.0f) return INT32_MAX;
    if (value <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(value);
}
