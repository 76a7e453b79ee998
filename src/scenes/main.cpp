// The program's entry point. Until the scenes exist it shows a moving test
// card drawn with the pixel primitives and ends when Space or Escape is
// released (or the window is closed).
#include <SDL/SDL.h>
#include <cmath>
#include <cstdlib>

#include "framework/engine.h"
#include "render/camera.h"
#include "render/raster.h"

namespace {

void drawTestCard(SDL_Surface* s, Camera& camera, int frame) {
    const float t = frame * 0.02f;
    SDL_FillRect(s, nullptr, 0);
    // Colour bars from opaque spans.
    for (int y = 40; y < 200; ++y) {
        for (int bar = 0; bar < 8; ++bar) {
            Color c{int32_t(SDL_MapRGB(s->format, (bar & 1) ? 255 : 0, (bar & 2) ? 255 : 0, (bar & 4) ? 255 : 0)), 255};
            drawSpan(s, y, 40 + bar * 90, 40 + bar * 90 + 88, &c);
        }
    }
    // A fan of lines turning with time.
    for (int i = 0; i < 48; ++i) {
        float a = t + i * 0.1309f;
        Color c{int32_t(SDL_MapRGB(s->format, 255, Uint8(128 + 127 * std::sin(a)), 64)), i % 2 ? 255 : 128};
        drawLineClamped(s, 400, 330, 400 + int(std::cos(a) * 260), 330 + int(std::sin(a) * 260), &c);
    }
    // Translucent rectangles sliding over the bars.
    Color glass{int32_t(SDL_MapRGB(s->format, 40, 120, 255)), 96};
    int gx = 100 + int(200 * (1 + std::sin(t * 1.3f)));
    fillRectColor(s, gx, 20, gx + 160, 220, &glass);
    // Five triangles, one per span effect.
    for (int e = 0; e < 5; ++e) {
        camera.scanlineGlitch = e == 1;
        camera.interlace = e == 2;
        camera.colorSplit = e == 3;
        camera.ghost = e == 4;
        float cx = 90.0f + e * 155.0f, cy = 500.0f, r = 60.0f, a = t * (1 + e * 0.2f);
        ScreenPoint p[3];
        for (int k = 0; k < 3; ++k) p[k] = {cx + r * std::cos(a + k * 2.0944f), cy + r * std::sin(a + k * 2.0944f)};
        Color c{int32_t(SDL_MapRGB(s->format, Uint8(80 + e * 40), 220, Uint8(255 - e * 40))), e == 0 ? 160 : 255};
        fillTriangle(&camera, s, p[0], p[1], p[2], &c);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    {
        Engine engine;
        if (!engine.init(argc, argv, 800, 600, 1)) {
            status = 1;
        } else {
            Camera camera;
            camera.ghostOffset = 8.0f;
            bool running = true;
            for (int frame = 0; running; ++frame) {
                SDL_Event event;
                while (SDL_PollEvent(&event)) {
                    if (event.type == SDL_QUIT) running = false;
                    if (event.type == SDL_KEYUP &&
                        (event.key.keysym.sym == SDLK_ESCAPE || event.key.keysym.sym == SDLK_SPACE))
                        running = false;
                }
                drawTestCard(engine.screen, camera, frame);
                engine.present();
            }
        }
    }
    return status;
}
