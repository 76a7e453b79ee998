// The web build's SDL 1.2 calls (include/SDL/SDL.h) over the page: software
// surfaces in the wasm heap, blits with colour keys and format conversion,
// the present as a copy to the page's canvas followed by one yield to the
// browser, the page's keys as SDL events, and timers that keep their periods
// on a queue fired on the page's one thread.
//
// Owns: the video surface, the event queue, the key state and the timers.
// Threads: one (the page's); timers and key events run between frames, when
// the production yields. Not for: anything the production does not call.
#include <SDL/SDL.h>
#include <emscripten.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>

#include "platform/web/page.h"

namespace {

// ---- Pixel formats --------------------------------------------------------

void describeMask(Uint32 mask, Uint8& shift, Uint8& loss) {
    shift = 0;
    loss = 8;
    if (!mask) return;
    while (!(mask & 1)) mask >>= 1, ++shift;
    while (mask & 1) mask >>= 1, --loss;
}

SDL_PixelFormat* makeFormat(int depth, Uint32 r, Uint32 g, Uint32 b, Uint32 a) {
    if (depth != 24 && depth != 32) return nullptr;  // the production draws only these
    if (!r && !g && !b) r = 0xFF0000, g = 0x00FF00, b = 0x0000FF;  // SDL's default for 24 and 32 bits
    auto* f = static_cast<SDL_PixelFormat*>(std::calloc(1, sizeof(SDL_PixelFormat)));
    f->BitsPerPixel = Uint8(depth);
    f->BytesPerPixel = Uint8(depth / 8);
    f->Rmask = r, f->Gmask = g, f->Bmask = b, f->Amask = a;
    describeMask(r, f->Rshift, f->Rloss);
    describeMask(g, f->Gshift, f->Gloss);
    describeMask(b, f->Bshift, f->Bloss);
    describeMask(a, f->Ashift, f->Aloss);
    f->alpha = 255;
    return f;
}

Uint32 readPixel(const Uint8* p, int bytes) {
    if (bytes == 4) {
        Uint32 v;
        std::memcpy(&v, p, 4);
        return v;
    }
    return Uint32(p[0]) | Uint32(p[1]) << 8 | Uint32(p[2]) << 16;
}

void writePixel(Uint8* p, int bytes, Uint32 v) {
    if (bytes == 4) {
        std::memcpy(p, &v, 4);
        return;
    }
    p[0] = Uint8(v), p[1] = Uint8(v >> 8), p[2] = Uint8(v >> 16);
}

bool sameFormat(const SDL_PixelFormat* a, const SDL_PixelFormat* b) {
    return a->BytesPerPixel == b->BytesPerPixel && a->Rmask == b->Rmask && a->Gmask == b->Gmask &&
           a->Bmask == b->Bmask && a->Amask == b->Amask;
}

// ---- Video ----------------------------------------------------------------

SDL_Surface* screen = nullptr;
SDL_PixelFormat* displayFormat = nullptr;
SDL_VideoInfo videoInfo{};
Uint32* canvasPixels = nullptr;  // the screen as the canvas wants it: R, G, B, A bytes

// ---- Events and keys --------------------------------------------------------

std::deque<SDL_Event> events;
constexpr size_t kMaxEvents = 128;  // SDL's queue holds this many too; more are dropped
Uint8 keyState[SDLK_LAST];

// ---- Timers -----------------------------------------------------------------

struct Timer {
    SDL_NewTimerCallback callback;
    void* param;
    Uint32 interval;
    double dueMs;
};
std::map<intptr_t, Timer> timers;
intptr_t nextTimerId = 1;
double startMs = 0;

// Fires every tick due by now, earliest first. A timer keeps its period from
// its last due time, so its ticks per second do not depend on how often the
// production yields; after a long stall (a hidden tab) it starts afresh
// rather than firing the whole stall's ticks at once.
void fireTimers() {
    const double now = emscripten_get_now();
    for (;;) {
        // Cost: one pass over the live timers (a handful) per tick fired.
        auto next = timers.end();
        for (auto it = timers.begin(); it != timers.end(); ++it)
            if (it->second.dueMs <= now && (next == timers.end() || it->second.dueMs < next->second.dueMs)) next = it;
        if (next == timers.end()) return;
        const intptr_t id = next->first;
        const Timer timer = next->second;
        const Uint32 again = timer.callback(timer.interval, timer.param);
        auto still = timers.find(id);  // the callback may have removed its own timer
        if (still == timers.end()) continue;
        if (again == 0) {
            timers.erase(still);
            continue;
        }
        still->second.interval = again;
        still->second.dueMs = now - timer.dueMs > 1000 ? now + again : timer.dueMs + again;
    }
}

double workStartMs = 0;  // when the production last had its turn back

// The one place the production gives the page its turn: the present.
void yieldToPage(double ms) {
    emscripten_sleep(unsigned(ms));
    fireTimers();
    workStartMs = emscripten_get_now();
}

}  // namespace

// ---- Called by the page -----------------------------------------------------

extern "C" {

EMSCRIPTEN_KEEPALIVE void vorna_key(int sym, int down) {
    if (sym <= 0 || sym >= SDLK_LAST) return;
    keyState[sym] = down ? 1 : 0;
    if (events.size() >= kMaxEvents) return;
    SDL_Event event{};
    event.key.type = Uint8(down ? SDL_KEYDOWN : SDL_KEYUP);
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = SDLKey(sym);
    events.push_back(event);
}

// ---- SDL 1.2 ------------------------------------------------------------------

int SDL_Init(Uint32) {
    startMs = emscripten_get_now();
    if (!displayFormat) displayFormat = makeFormat(32, 0, 0, 0, 0);
    videoInfo.vfmt = displayFormat;
    videoInfo.current_w = 800;
    videoInfo.current_h = 600;
    return 0;
}
int SDL_InitSubSystem(Uint32 flags) { return SDL_Init(flags); }
void SDL_QuitSubSystem(Uint32) {}

void SDL_Quit(void) {
    timers.clear();
    events.clear();
    std::memset(keyState, 0, sizeof keyState);
    SDL_FreeSurface(screen);
    screen = nullptr;
    std::free(canvasPixels);
    canvasPixels = nullptr;
}

const SDL_VideoInfo* SDL_GetVideoInfo(void) { return displayFormat ? &videoInfo : nullptr; }

char* SDL_VideoDriverName(char* name, int length) {
    if (!name || length <= 0) return nullptr;
    std::strncpy(name, "web", size_t(length));
    name[length - 1] = 0;
    return name;
}

SDL_Surface* SDL_SetVideoMode(int width, int height, int, Uint32) {
    SDL_FreeSurface(screen);
    std::free(canvasPixels);
    // Always 32 bits: the canvas is 8 bits a channel, and so is every drawing path.
    screen = SDL_CreateRGBSurface(0, width, height, 32, 0, 0, 0, 0);
    canvasPixels = static_cast<Uint32*>(std::malloc(size_t(width) * size_t(height) * 4));
    if (!screen || !canvasPixels) return nullptr;
    pageSetCanvasSize(width, height);
    return screen;
}

SDL_Surface* SDL_GetVideoSurface(void) { return screen; }
void SDL_WM_SetCaption(const char* title, const char*) { pageSetTitle(title); }

int SDL_ShowCursor(int toggle) {
    static int shown = 1;
    const int was = shown;
    if (toggle == SDL_ENABLE || toggle == SDL_DISABLE) {
        shown = toggle;
        pageShowCursor(shown);
    }
    return was;
}

// The present: the whole screen goes to the canvas whatever the rectangle
// (the production always presents the whole window), then the page has its
// turn: it paints, runs the audio callback and delivers keys.
void SDL_UpdateRect(SDL_Surface* surface, Sint32, Sint32, Uint32, Uint32) {
    if (surface && surface == screen && canvasPixels) {
        // Cost: one pass over the screen's pixels.
        const int w = screen->w, h = screen->h;
        for (int y = 0; y < h; ++y) {
            const Uint32* from = reinterpret_cast<const Uint32*>(static_cast<Uint8*>(screen->pixels) + y * screen->pitch);
            Uint32* to = canvasPixels + size_t(y) * size_t(w);
            for (int x = 0; x < w; ++x) {
                const Uint32 p = from[x];  // 0x00RRGGBB
                to[x] = ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16) | 0xFF000000u;
            }
        }
        pagePresent(canvasPixels, w, h, emscripten_get_now() - workStartMs);
    }
    yieldToPage(0);
}

SDL_Surface* SDL_CreateRGBSurface(Uint32 flags, int width, int height, int depth, Uint32 r, Uint32 g, Uint32 b,
                                  Uint32 a) {
    if (width < 0 || height < 0) return nullptr;
    SDL_PixelFormat* format = makeFormat(depth, r, g, b, a);
    if (!format) return nullptr;
    auto* s = static_cast<SDL_Surface*>(std::calloc(1, sizeof(SDL_Surface)));
    s->flags = flags & ~SDL_SRCCOLORKEY;
    s->format = format;
    s->w = width;
    s->h = height;
    s->pitch = Uint16((width * format->BytesPerPixel + 3) & ~3);  // rows start on four bytes, as in SDL
    s->pixels = std::calloc(size_t(s->pitch) * size_t(height ? height : 1), 1);
    s->clip_rect = SDL_Rect{0, 0, Uint16(width), Uint16(height)};
    s->refcount = 1;
    if (!s->pixels) {
        SDL_FreeSurface(s);
        return nullptr;
    }
    return s;
}

SDL_Surface* SDL_DisplayFormat(SDL_Surface* surface) {
    if (!surface) return nullptr;
    SDL_Surface* copy = SDL_CreateRGBSurface(0, surface->w, surface->h, 32, 0, 0, 0, 0);
    if (!copy) return nullptr;
    const Uint32 flags = surface->flags;
    surface->flags &= ~SDL_SRCCOLORKEY;  // every pixel is copied, the key's too
    SDL_UpperBlit(surface, nullptr, copy, nullptr);
    surface->flags = flags;
    if (flags & SDL_SRCCOLORKEY) {
        Uint8 kr, kg, kb;
        SDL_GetRGB(surface->format->colorkey, surface->format, &kr, &kg, &kb);
        SDL_SetColorKey(copy, flags & (SDL_SRCCOLORKEY | SDL_RLEACCEL), SDL_MapRGB(copy->format, kr, kg, kb));
    }
    return copy;
}

void SDL_FreeSurface(SDL_Surface* surface) {
    if (!surface || --surface->refcount > 0) return;
    std::free(surface->pixels);
    std::free(surface->format);
    std::free(surface);
}

int SDL_LockSurface(SDL_Surface*) { return 0; }
void SDL_UnlockSurface(SDL_Surface*) {}

namespace {
// Intersects `rect` with `clip` in place; false when nothing is left.
bool clipTo(SDL_Rect& rect, const SDL_Rect& clip) {
    const int x0 = rect.x > clip.x ? rect.x : clip.x;
    const int y0 = rect.y > clip.y ? rect.y : clip.y;
    const int x1 = rect.x + rect.w < clip.x + clip.w ? rect.x + rect.w : clip.x + clip.w;
    const int y1 = rect.y + rect.h < clip.y + clip.h ? rect.y + rect.h : clip.y + clip.h;
    rect.x = Sint16(x0), rect.y = Sint16(y0);
    rect.w = Uint16(x1 > x0 ? x1 - x0 : 0), rect.h = Uint16(y1 > y0 ? y1 - y0 : 0);
    return rect.w && rect.h;
}
}  // namespace

int SDL_FillRect(SDL_Surface* dst, SDL_Rect* rect, Uint32 color) {
    if (!dst) return -1;
    SDL_Rect area = dst->clip_rect;
    if (rect) {
        if (!clipTo(*rect, dst->clip_rect)) return 0;
        area = *rect;
    }
    const int bytes = dst->format->BytesPerPixel;
    // Cost: one write per pixel of the clipped rectangle.
    for (int y = area.y; y < area.y + area.h; ++y) {
        Uint8* row = static_cast<Uint8*>(dst->pixels) + y * dst->pitch + area.x * bytes;
        for (int x = 0; x < area.w; ++x) writePixel(row + x * bytes, bytes, color);
    }
    return 0;
}

int SDL_UpperBlit(SDL_Surface* src, SDL_Rect* srcrect, SDL_Surface* dst, SDL_Rect* dstrect) {
    if (!src || !dst) return -1;
    int sx = 0, sy = 0, w = src->w, h = src->h;
    int dx = dstrect ? dstrect->x : 0, dy = dstrect ? dstrect->y : 0;
    if (srcrect) {
        // The source rectangle is clipped to the source; what it loses on the
        // left or top moves the destination along with it.
        sx = srcrect->x, w = srcrect->w;
        if (sx < 0) w += sx, dx -= sx, sx = 0;
        if (w > src->w - sx) w = src->w - sx;
        sy = srcrect->y, h = srcrect->h;
        if (sy < 0) h += sy, dy -= sy, sy = 0;
        if (h > src->h - sy) h = src->h - sy;
    }
    // Then the destination is clipped to the destination's clip rectangle.
    const SDL_Rect& clip = dst->clip_rect;
    if (int cut = clip.x - dx; cut > 0) w -= cut, sx += cut, dx += cut;
    if (int cut = dx + w - (clip.x + clip.w); cut > 0) w -= cut;
    if (int cut = clip.y - dy; cut > 0) h -= cut, sy += cut, dy += cut;
    if (int cut = dy + h - (clip.y + clip.h); cut > 0) h -= cut;
    if (dstrect) dstrect->w = dstrect->h = 0;
    if (w <= 0 || h <= 0) return 0;
    if (dstrect) dstrect->x = Sint16(dx), dstrect->y = Sint16(dy), dstrect->w = Uint16(w), dstrect->h = Uint16(h);

    const SDL_PixelFormat* sf = src->format;
    const SDL_PixelFormat* df = dst->format;
    const int sb = sf->BytesPerPixel, db = df->BytesPerPixel;
    const bool keyed = (src->flags & SDL_SRCCOLORKEY) != 0;
    const Uint32 rgbMask = sf->Rmask | sf->Gmask | sf->Bmask;
    const Uint32 key = sf->colorkey & rgbMask;
    const bool same = sameFormat(sf, df);
    // Cost: one read and at most one write per pixel of the clipped rectangle.
    for (int y = 0; y < h; ++y) {
        const Uint8* from = static_cast<const Uint8*>(src->pixels) + (sy + y) * src->pitch + sx * sb;
        Uint8* to = static_cast<Uint8*>(dst->pixels) + (dy + y) * dst->pitch + dx * db;
        if (same && !keyed) {
            std::memmove(to, from, size_t(w) * size_t(sb));  // a surface may be blitted onto itself
            continue;
        }
        for (int x = 0; x < w; ++x) {
            Uint32 p = readPixel(from + x * sb, sb);
            if (keyed && (p & rgbMask) == key) continue;
            if (!same) {
                Uint8 r, g, b;
                SDL_GetRGB(p, sf, &r, &g, &b);
                p = SDL_MapRGB(df, r, g, b);
            }
            writePixel(to + x * db, db, p);
        }
    }
    return 0;
}

int SDL_SetColorKey(SDL_Surface* surface, Uint32 flag, Uint32 key) {
    if (!surface) return -1;
    if (flag & SDL_SRCCOLORKEY) {
        surface->flags |= SDL_SRCCOLORKEY | (flag & SDL_RLEACCEL);
        surface->format->colorkey = key;
    } else {
        surface->flags &= ~(SDL_SRCCOLORKEY | SDL_RLEACCEL);
        surface->format->colorkey = 0;
    }
    return 0;
}

Uint32 SDL_MapRGB(const SDL_PixelFormat* f, Uint8 r, Uint8 g, Uint8 b) {
    return Uint32(r >> f->Rloss) << f->Rshift | Uint32(g >> f->Gloss) << f->Gshift |
           Uint32(b >> f->Bloss) << f->Bshift | f->Amask;
}

void SDL_GetRGB(Uint32 pixel, const SDL_PixelFormat* f, Uint8* r, Uint8* g, Uint8* b) {
    *r = Uint8(((pixel & f->Rmask) >> f->Rshift) << f->Rloss);
    *g = Uint8(((pixel & f->Gmask) >> f->Gshift) << f->Gloss);
    *b = Uint8(((pixel & f->Bmask) >> f->Bshift) << f->Bloss);
}

SDL_RWops* SDL_RWFromFile(const char*, const char*) { return nullptr; }
SDL_Surface* SDL_LoadBMP_RW(SDL_RWops*, int) { return nullptr; }

int SDL_PollEvent(SDL_Event* event) {
    if (events.empty()) return 0;
    if (event) {
        *event = events.front();
        events.pop_front();
    }
    return 1;
}

int SDL_PushEvent(SDL_Event* event) {
    if (!event || events.size() >= kMaxEvents) return -1;
    events.push_back(*event);
    return 0;
}

Uint8* SDL_GetKeyState(int* numkeys) {
    if (numkeys) *numkeys = SDLK_LAST;
    return keyState;
}

Uint32 SDL_GetTicks(void) { return Uint32(emscripten_get_now() - startMs); }
void SDL_Delay(Uint32 ms) { yieldToPage(ms); }

SDL_TimerID SDL_AddTimer(Uint32 interval, SDL_NewTimerCallback callback, void* param) {
    if (!callback) return nullptr;
    const Uint32 period = interval ? interval : 1;
    const intptr_t id = nextTimerId++;
    timers[id] = Timer{callback, param, period, emscripten_get_now() + period};
    return reinterpret_cast<SDL_TimerID>(id);
}

SDL_bool SDL_RemoveTimer(SDL_TimerID id) {
    return timers.erase(reinterpret_cast<intptr_t>(id)) ? SDL_TRUE : SDL_FALSE;
}

}  // extern "C"
