// The triangle filler as first written: each edge walked into a list of one
// point per row (walkEdge), the lists paired row by row and every span drawn
// pixel by pixel with the camera's effects. The reference
// the direct row walk of fillTriangle must match pixel for pixel (tests) and
// the baseline its speed is compared with (vorna-bench). Main thread only.
#pragma once

#include <SDL/SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <vector>

#include "render/camera.h"
#include "render/raster.h"

namespace reference {

// The scanline glitch's line counter of the reference, 0 .. 2; a test
// brings it in step with the filler's own before comparing.
inline int32_t glitchLine = 0;

// fillEdgePair as first written: every row of A looked up in B, then the
// span with the camera's effects, pixel by pixel through the public
// pixel operations.
inline int32_t fillEdgePair(const Camera* camera, SDL_Surface* surface, const EdgePoint* edgeA,
                            const EdgePoint* edgeB, int32_t countA, int32_t countB, int32_t startA, int32_t startB,
                            Color* color) {
    if (countA <= 0) return 0;
    const int32_t w = surface->w, h = surface->h;
    int32_t j = 0;
    for (int32_t i = 0; i < countA; ++i) {
        const EdgePoint& p = edgeA[startA + i];
        int32_t found = -1;
        for (int32_t k = 0; startB + k < countB; ++k)
            if (edgeB[startB + k].y == p.y) {
                found = k;
                break;
            }
        if (found < 0) continue;
        j = found;
        const EdgePoint& q = edgeB[startB + found];
        const int32_t y = int32_t(p.y);
        if (!(y > 0 && y < h) || int32_t(q.y) >= h) continue;
        const int32_t xa = std::min(int32_t(p.x), w - 1), xb = std::min(int32_t(q.x), w - 1);
        if (camera->scanlineGlitch) {
            Color line{color->pixel, 255};
            if (y & 1)
                line.pixel = rand() % 90 < 71 ? 0x0000FF : 0xFF00FF;
            else
                color->pixel = int32_t(uint32_t(color->pixel) >> (y & 31));
            glitchLine = (glitchLine + 1) % 3;
            drawLineClamped(surface, xa, y + glitchLine, xb, y - glitchLine, &line);
        }
        if (camera->interlace && (y & 1)) continue;
        const int32_t lo = std::min(xa, xb), hi = std::max(xa, xb);
        if (camera->ghost) {
            const int64_t d = truncToInt(camera->ghostOffset);
            const int32_t end = std::clamp(hi, 0, w - 1);
            for (int32_t x = std::max(lo, 0); x <= end; ++x) {
                if (x - d >= INT32_MIN) drawPixel(surface, int32_t(x - d), y, 0xFFCCAA, 64);
                if (x + d <= INT32_MAX) drawPixel(surface, int32_t(x + d), y, 0xCCFFAA, 64);
                drawPixel(surface, x, y, uint32_t(color->pixel), 155);
            }
        } else if (camera->colorSplit) {
            colorSplitSpan(surface, y, lo, hi, color);
        } else {
            const int32_t from = std::max(lo, 0), to = std::clamp(hi, 0, w - 1);
            if (to - from > 0) {
                if (color->alpha == 255) {
                    for (int32_t x = from; x < to; ++x) putPixel(surface, x, y, uint32_t(color->pixel));
                } else {
                    for (int32_t x = from; x <= to; ++x)
                        if (!drawPixel(surface, x, y, uint32_t(color->pixel), color->alpha)) break;
                }
            }
            if (camera->scanlineGlitch) putPixel(surface, xa, y, 0x0000FF);
        }
    }
    return j;
}

// One edge's points on the rows 0 .. last. The lists hold every point of the
// longest edge the clamp below allows, then drop the rows outside.
inline int32_t walkKept(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t last, std::vector<EdgePoint>* out) {
    constexpr int32_t kCapacity = 2 * 65536 + 2;
    static std::vector<EdgePoint> all(kCapacity);
    int32_t n = 0;
    walkEdge(x0, y0, x1, y1, all.data(), &n, kCapacity);
    out->clear();
    for (int32_t i = 0; i < n; ++i)
        if (all[size_t(i)].y >= 0 && all[size_t(i)].y <= float(last)) out->push_back(all[size_t(i)]);
    return int32_t(out->size());
}

inline void fillTriangle(const Camera* camera, SDL_Surface* surface, ScreenPoint a, ScreenPoint b, ScreenPoint c,
                         Color* color) {
    if (std::isnan(a.x) || std::isnan(a.y) || std::isnan(b.x) || std::isnan(b.y) || std::isnan(c.x) ||
        std::isnan(c.y))
        return;
    const ScreenPoint* m = (b.y > a.y) ? &a : &b;
    const ScreenPoint* top = (c.y > m->y) ? m : &c;
    const ScreenPoint *middle, *bottom;
    if (top == &a) {
        middle = (c.y > b.y) ? &b : &c;
        bottom = middle == &b ? &c : &b;
    } else if (top == &b) {
        middle = (c.y > a.y) ? &a : &c;
        bottom = middle == &a ? &c : &a;
    } else {
        middle = (b.y > a.y) ? &a : &b;
        bottom = middle == &a ? &b : &a;
    }
    auto whole = [](float v) { return truncToInt(v < -65536.0f ? -65536.0f : (v > 65536.0f ? 65536.0f : v)); };
    const int32_t tx = whole(top->x), ty = whole(top->y);
    const int32_t mx = whole(middle->x), my = whole(middle->y);
    const int32_t bx = whole(bottom->x), by = whole(bottom->y);
    if (ty == 0 && my == 0) return;
    const int32_t last = (surface->h < kEdgeCapacity ? surface->h : kEdgeCapacity) - 1;
    std::vector<EdgePoint> topMiddle, topBottom, middleBottom;
    const int32_t n1 = walkKept(tx, ty, mx, my, last, &topMiddle);
    const int32_t n2 = walkKept(tx, ty, bx, by, last, &topBottom);
    const int32_t n3 = walkKept(mx, my, bx, by, last, &middleBottom);
    topMiddle.resize(topMiddle.size() + 1);  // no list is handed over empty
    topBottom.resize(topBottom.size() + 1);
    middleBottom.resize(middleBottom.size() + 1);
    int32_t k = 0;
    if (n1 > 0) k = reference::fillEdgePair(camera, surface, topMiddle.data(), topBottom.data(), n1, n2, 0, 0, color);
    if (n3 < n2 - k)
        reference::fillEdgePair(camera, surface, topBottom.data(), middleBottom.data(), n2 - k, n3, k, 0, color);
    else
        reference::fillEdgePair(camera, surface, middleBottom.data(), topBottom.data(), n3, n2, 0, k, color);
}

}  // namespace reference

namespace reference {

// drawLine as first written: the fast passes of horizontal and vertical
// lines, then the 16.16 DDA in 64-bit arithmetic with a test per point,
// through the public pixel operations.
inline void drawLine(SDL_Surface* surface, int32_t x0, int32_t y0, int32_t x1, int32_t y1, const Color* color) {
    const uint32_t pixel = uint32_t(color->pixel);
    const bool opaque = color->alpha == 255;
    if (y0 == y1) drawSpan(surface, y0, std::min(x0, x1), std::max(x0, x1), color);
    if (x0 == x1 && x0 >= 0) {
        const int32_t top = std::max(std::min(y0, y1), 0), bottom = std::max(std::max(y0, y1), 0);
        for (int32_t y = top; y <= bottom; ++y) {
            if (x0 >= surface->w || y >= surface->h) break;
            if (opaque)
                putPixel(surface, x0, y, pixel);
            else
                blendPixel(surface, x0, y, pixel, color->alpha);
        }
    }
    const int64_t dx = int64_t(x1) - x0, dy = int64_t(y1) - y0;
    const bool xMajor = (dy < 0 ? -dy : dy) <= (dx < 0 ? -dx : dx);
    const int64_t majorStart = xMajor ? x0 : y0, majorEnd = xMajor ? x1 : y1;
    const int64_t majorDelta = xMajor ? dx : dy, minorDelta = xMajor ? dy : dx;
    const int64_t slope = majorDelta != 0 ? (minorDelta * 65536) / majorDelta : 0;
    const int64_t step = majorDelta > 0 ? 1 : -1;
    int64_t minor = int64_t(xMajor ? y0 : x0) * 65536 + 0x8000;
    for (int64_t major = majorStart;; major += step) {
        const int64_t m = minor >> 16;
        const int64_t px = xMajor ? major : m, py = xMajor ? m : major;
        if (px >= 0 && py >= 0 && px < surface->w && py < surface->h) {
            if (opaque)
                putPixel(surface, int32_t(px), int32_t(py), pixel);
            else
                blendPixel(surface, int32_t(px), int32_t(py), pixel, color->alpha);
        }
        if (major == majorEnd) break;
        minor += step > 0 ? slope : -slope;
    }
}

}  // namespace reference
