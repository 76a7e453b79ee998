// The triangle filler as first written: each edge walked into a list of one
// point per row, the lists paired row by row by fillEdgePair. The reference
// the direct row walk of fillTriangle must match pixel for pixel (tests) and
// the baseline its speed is compared with (vorna-bench). Main thread only.
#pragma once

#include <SDL/SDL.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "render/raster.h"

namespace reference {

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
    if (n1 > 0) k = fillEdgePair(camera, surface, topMiddle.data(), topBottom.data(), n1, n2, 0, 0, color);
    if (n3 < n2 - k)
        fillEdgePair(camera, surface, topBottom.data(), middleBottom.data(), n2 - k, n3, k, 0, color);
    else
        fillEdgePair(camera, surface, middleBottom.data(), topBottom.data(), n3, n2, 0, k, color);
}

}  // namespace reference
