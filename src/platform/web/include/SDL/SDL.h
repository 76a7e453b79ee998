// The web build's SDL 1.2: the calls and types the production uses, with
// SDL 1.2's meaning, implemented in platform/web/sdl_web.cpp on top of the
// page (a 2D canvas for the present, the page's key events, the browser's
// clock). Native builds never see this header; they use the system's SDL.
//
// Owns: nothing here (declarations). Threads: the page has one thread; every
// call runs on it. Not for: anything the production does not call. A call
// missing here is missing on purpose: add it with its SDL 1.2 meaning.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t Uint8;
typedef uint16_t Uint16;
typedef uint32_t Uint32;
typedef int16_t Sint16;
typedef int32_t Sint32;

typedef enum { SDL_FALSE = 0, SDL_TRUE = 1 } SDL_bool;

#define SDL_INIT_TIMER 0x00000001u
#define SDL_INIT_AUDIO 0x00000010u
#define SDL_INIT_VIDEO 0x00000020u

#define SDL_SWSURFACE 0x00000000u
#define SDL_SRCCOLORKEY 0x00001000u
#define SDL_RLEACCEL 0x00004000u
#define SDL_FULLSCREEN 0x80000000u

#define SDL_DISABLE 0
#define SDL_ENABLE 1
#define SDL_QUERY -1

typedef struct SDL_Rect {
    Sint16 x, y;
    Uint16 w, h;
} SDL_Rect;

typedef struct SDL_PixelFormat {
    void* palette;  // always null: no paletted surfaces here
    Uint8 BitsPerPixel;
    Uint8 BytesPerPixel;
    Uint8 Rloss, Gloss, Bloss, Aloss;
    Uint8 Rshift, Gshift, Bshift, Ashift;
    Uint32 Rmask, Gmask, Bmask, Amask;
    Uint32 colorkey;
    Uint8 alpha;
} SDL_PixelFormat;

typedef struct SDL_Surface {
    Uint32 flags;
    SDL_PixelFormat* format;
    int w, h;
    Uint16 pitch;
    void* pixels;
    SDL_Rect clip_rect;
    int refcount;
} SDL_Surface;

// Software surfaces only: nothing ever needs locking.
#define SDL_MUSTLOCK(surface) 0

typedef struct SDL_VideoInfo {
    Uint32 hw_available : 1;
    Uint32 wm_available : 1;
    Uint32 video_mem;
    SDL_PixelFormat* vfmt;
    int current_w, current_h;
} SDL_VideoInfo;

typedef enum {
    SDLK_UNKNOWN = 0,
    SDLK_BACKSPACE = 8,
    SDLK_TAB = 9,
    SDLK_RETURN = 13,
    SDLK_ESCAPE = 27,
    SDLK_SPACE = 32,
    SDLK_0 = 48, SDLK_1, SDLK_2, SDLK_3, SDLK_4, SDLK_5, SDLK_6, SDLK_7, SDLK_8, SDLK_9,
    SDLK_a = 97, SDLK_b, SDLK_c, SDLK_d, SDLK_e, SDLK_f, SDLK_g, SDLK_h, SDLK_i, SDLK_j, SDLK_k, SDLK_l,
    SDLK_m, SDLK_n, SDLK_o, SDLK_p, SDLK_q, SDLK_r, SDLK_s, SDLK_t, SDLK_u, SDLK_v, SDLK_w, SDLK_x,
    SDLK_y, SDLK_z,
    SDLK_DELETE = 127,
    SDLK_UP = 273, SDLK_DOWN, SDLK_RIGHT, SDLK_LEFT, SDLK_INSERT, SDLK_HOME, SDLK_END, SDLK_PAGEUP,
    SDLK_PAGEDOWN,
    SDLK_F1 = 282, SDLK_F2, SDLK_F3, SDLK_F4, SDLK_F5, SDLK_F6, SDLK_F7, SDLK_F8, SDLK_F9, SDLK_F10,
    SDLK_F11, SDLK_F12,
    SDLK_LAST = 323
} SDLKey;

typedef enum { KMOD_NONE = 0 } SDLMod;

typedef struct SDL_keysym {
    Uint8 scancode;
    SDLKey sym;
    SDLMod mod;
    Uint16 unicode;
} SDL_keysym;

#define SDL_RELEASED 0
#define SDL_PRESSED 1

enum { SDL_NOEVENT = 0, SDL_KEYDOWN = 2, SDL_KEYUP = 3, SDL_QUIT = 12 };

typedef struct SDL_KeyboardEvent {
    Uint8 type;
    Uint8 which;
    Uint8 state;
    SDL_keysym keysym;
} SDL_KeyboardEvent;

typedef union SDL_Event {
    Uint8 type;
    SDL_KeyboardEvent key;
} SDL_Event;

typedef struct SDL_RWops SDL_RWops;

typedef struct _SDL_TimerID* SDL_TimerID;
typedef Uint32 (*SDL_NewTimerCallback)(Uint32 interval, void* param);

int SDL_Init(Uint32 flags);
int SDL_InitSubSystem(Uint32 flags);
void SDL_QuitSubSystem(Uint32 flags);
void SDL_Quit(void);

const SDL_VideoInfo* SDL_GetVideoInfo(void);
char* SDL_VideoDriverName(char* name, int length);
SDL_Surface* SDL_SetVideoMode(int width, int height, int bitsPerPixel, Uint32 flags);
SDL_Surface* SDL_GetVideoSurface(void);
void SDL_WM_SetCaption(const char* title, const char* icon);
int SDL_ShowCursor(int toggle);
void SDL_UpdateRect(SDL_Surface* screen, Sint32 x, Sint32 y, Uint32 w, Uint32 h);

SDL_Surface* SDL_CreateRGBSurface(Uint32 flags, int width, int height, int depth, Uint32 Rmask, Uint32 Gmask,
                                  Uint32 Bmask, Uint32 Amask);
SDL_Surface* SDL_DisplayFormat(SDL_Surface* surface);
void SDL_FreeSurface(SDL_Surface* surface);
int SDL_LockSurface(SDL_Surface* surface);
void SDL_UnlockSurface(SDL_Surface* surface);
int SDL_FillRect(SDL_Surface* dst, SDL_Rect* rect, Uint32 color);
int SDL_UpperBlit(SDL_Surface* src, SDL_Rect* srcrect, SDL_Surface* dst, SDL_Rect* dstrect);
#define SDL_BlitSurface SDL_UpperBlit
int SDL_SetColorKey(SDL_Surface* surface, Uint32 flag, Uint32 key);
Uint32 SDL_MapRGB(const SDL_PixelFormat* format, Uint8 r, Uint8 g, Uint8 b);
void SDL_GetRGB(Uint32 pixel, const SDL_PixelFormat* format, Uint8* r, Uint8* g, Uint8* b);

// The page has no files: these answer null, as for a file that is missing.
SDL_RWops* SDL_RWFromFile(const char* file, const char* mode);
SDL_Surface* SDL_LoadBMP_RW(SDL_RWops* src, int freesrc);

int SDL_PollEvent(SDL_Event* event);
int SDL_PushEvent(SDL_Event* event);
Uint8* SDL_GetKeyState(int* numkeys);

Uint32 SDL_GetTicks(void);
void SDL_Delay(Uint32 ms);
SDL_TimerID SDL_AddTimer(Uint32 interval, SDL_NewTimerCallback callback, void* param);
SDL_bool SDL_RemoveTimer(SDL_TimerID id);

#ifdef __cplusplus
}
#endif
