// Arbitrary bytes through the memory JPEG decoder: it must never read outside
// the block, write outside its surface, leak, or crash; a failure is a null.
#include <SDL/SDL.h>
#include <cstdint>
#include <cstdlib>

#include "image/image.h"

namespace {

bool openVideo() {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
    return SDL_SetVideoMode(800, 600, 32, 0) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = openVideo();
    if (!ready || size > (1u << 20)) return 0;
    SDL_Surface* surface = loadJpegMemory(data, int32_t(size));
    if (surface) {
        // Touch the corners so a wrongly sized surface shows up as an overrun.
        volatile uint8_t* first = static_cast<uint8_t*>(surface->pixels);
        volatile uint8_t* last = first + (surface->h - 1) * surface->pitch + surface->w * 4 - 1;
        *last = *first;
        SDL_FreeSurface(surface);
    }
    return 0;
}
