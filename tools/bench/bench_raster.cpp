// Fill rates of the span writers, the line walker and the triangle filler on an 800x600 frame.
#include <SDL/SDL.h>
#include <cmath>
#include <cstdio>

#include "bench.h"
#include "render/camera.h"
#include "render/raster.h"

namespace {

void spanRate(const char* label, int alpha) {
    SDL_Surface* s = bench::videoFrame();
    int colour = 0;
    double t = bench::timeIt([&] {
        Color c{0x204080 + (colour++ & 15), alpha};
        for (int y = 0; y < 600; ++y) drawSpan(s, y, 0, 800, &c);
    });
    std::printf("%-28s %8.1f Mpixel/s  (%.3f ms per 800x600 frame)\n", label, 800.0 * 600 / t / 1e6, t * 1e3);
}

// Right triangles of about `area` pixels scattered over the frame.
void triangleRate(const char* label, double area, int alpha) {
    SDL_Surface* s = bench::videoFrame();
    Camera camera;
    const float leg = float(std::sqrt(2 * area));
    const int count = 2000;
    int shift = 0;
    double t = bench::timeIt([&] {
        for (int i = 0; i < count; ++i) {
            float x = float((i * 97 + shift) % 700) + 10, y = float((i * 61) % 500) + 10;
            Color c{0x30A0F0 + (i & 7), alpha};
            fillTriangle(&camera, s, {x, y}, {x + leg, y}, {x, y + leg}, &c);
        }
        ++shift;
    });
    std::printf("%-28s %10.0f triangles/s  %8.1f Mpixel/s\n", label, count / t, count * area / t / 1e6);
}

// 2000 lines of about 300 pixels in all directions, with both ends on the
// frame or (offFrame) reaching past its edges.
void lineRate(const char* label, int alpha, bool offFrame) {
    SDL_Surface* s = bench::videoFrame();
    const int count = 2000;
    const int margin = offFrame ? 200 : 0;
    int shift = 0;
    double t = bench::timeIt([&] {
        for (int i = 0; i < count; ++i) {
            const double turn = (i * 37 + shift) % 360 * 3.14159265 / 180;
            const int x = 250 + (i * 53) % 300, y = 150 + (i * 29) % 300;
            const int ex = x + int((150 + margin) * std::cos(turn)), ey = y + int((150 + margin) * std::sin(turn));
            Color c{0x30A0F0 + (i & 7), alpha};
            drawLine(s, x - (ex - x), y - (ey - y), ex, ey, &c);
        }
        ++shift;
    });
    std::printf("%-28s %10.0f lines/s\n", label, count / t);
}

}  // namespace

VORNA_BENCH("raster/lines") {
    lineRate("drawLine translucent", 128, false);
    lineRate("drawLine opaque, clipped", 255, true);
    lineRate("drawLine translucent, clipped", 128, true);
}

VORNA_BENCH("raster/spans") {
    spanRate("opaque span fill", 255);
    spanRate("translucent span blend", 128);
}

VORNA_BENCH("raster/triangles") {
    triangleRate("fillTriangle 5 px", 5, 255);
    triangleRate("fillTriangle 500 px", 500, 255);
    triangleRate("fillTriangle 50,000 px", 50000, 255);
    triangleRate("fillTriangle 500 px alpha", 500, 128);
}
