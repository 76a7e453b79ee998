#include "scenes/title_scenes.h"

#include <SDL/SDL.h>

#include <cmath>
#include <cstdlib>

#include "framework/animator.h"
#include "framework/engine.h"
#include "framework/text_label.h"
#include "image/image.h"
#include "pictures/pictures.h"
#include "render/effects.h"
#include "render/raster.h"
#include "scenes/music_position.h"

const char* const closingTitleLines[2] = {"thanks for watching!", "^vorna signing off"};

namespace {

constexpr int32_t kRingCount = 128;
constexpr uint32_t kTitleYellow = 0xFFFF00;  // raw 0xRRGGBB: the display runs at 32 bits
constexpr uint32_t kPageWhite = 0xFFFFFF;
constexpr int32_t kTitleScale = 4;

const char* const openingLines[] = {"", "*** VORNA ***", "presents", "software rendered", "production", nullptr};
const char* const closingLines[] = {"", closingTitleLines[0], closingTitleLines[1], "", "", nullptr};

// Drains every pending event. A released Escape or a closed window stops the
// production (2), a released Space skips the scene (1); either ends the scene
// after the current frame.
bool drainEvents(int32_t* result) {
    bool ending = false;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) {
            // Full screen with the cursor hidden, the window manager's close
            // key is the viewer's way out: it must not only end this scene.
            *result = 2;
            ending = true;
        } else if (event.type == SDL_KEYUP) {
            if (event.key.keysym.sym == SDLK_ESCAPE) {
                *result = 2;
                ending = true;
            } else if (event.key.keysym.sym == SDLK_SPACE) {
                *result = 1;
                ending = true;
            }
        }
    }
    return ending;
}

// The line cursor of the opening and the closing: it moves on at every
// half-pattern boundary not cued yet.
struct TextCues {
    const char* const* lines;
    int32_t cursor;
    int32_t* lastCueRow;  // the caller's, shared with later calls

    // True when the boundary found the list exhausted: the scene's exit begins.
    bool update(int32_t row) {
        if (row % 32 != 0 || row == *lastCueRow) return false;
        *lastCueRow = row;
        if (!lines[cursor]) return true;
        ++cursor;
        return false;
    }

    void draw(TextLabel* label) const {
        const char* line = lines[cursor];
        if (!line) return;
        label->y = 200 + 8 * label->scale;
        label->print("%s", line);
    }
};

// Keeps a turning angle in 0 .. 360 and gives it as a ring offset, 0 .. 359.
float wrapSpin(float spin) {
    if (spin >= 360.0f) spin -= 360.0f;
    if (spin < 0.0f) spin += 360.0f;
    return spin;
}

int32_t ringOffset(float spin) {
    const int32_t rotation = static_cast<int32_t>(spin);
    // A tiny negative angle wrapped up by 360 can round to 360.0 exactly.
    return rotation >= 360 ? rotation - 360 : rotation;
}

RingSampler* captureRings(SDL_Surface* picture) {
    RingSampler* rings = new RingSampler[kRingCount];
    const int32_t cx = picture ? picture->w / 2 : 0;
    const int32_t cy = picture ? picture->h / 2 : 0;
    for (int32_t k = 0; k < kRingCount; ++k) captureRing(picture, &rings[k], cx, cy, k);
    return rings;
}

}  // namespace

int32_t runOpening(Engine* engine, Song* song, TitleState& state) {
    if (!engine || !engine->screen) return 0;
    SDL_Surface* screen = engine->screen;
    TextLabel label(screen);
    label.setFont(kTitleYellow, kTitleScale);
    label.centered = 1;
    Image picture(openingPictureJpeg, static_cast<int32_t>(openingPictureJpeg_size));
    RingSampler* rings = captureRings(picture.surface);

    SDL_FillRect(screen, nullptr, 0);

    float blurLevel = 256.0f;
    float blurStep = 2.0f;
    Animator blur;
    blur.makeFloat(&blurLevel, 6.0f, &blurStep, 256.0f, 200, 1);

    float slideStep = 4.0f;
    Animator slide;

    TextCues cues{openingLines, 0, &state.opening.lastCueRow};
    float angle1 = 0.01f;
    float angle2 = 0.1f;
    float spin = 1.0f;
    int32_t result = 0;
    const float cx = static_cast<float>(screen->w / 2);
    const float cy = static_cast<float>(screen->h / 2);

    bool done = false;
    while (!done) {
        done = drainEvents(&result);
        spin = wrapSpin(spin - 0.4f);
        const int32_t row = readRow(song);
        angle2 += 0.1f;
        angle1 += 0.01f;
        const int32_t rotation = ringOffset(spin);

        const float slideX = loadAnimated(state.opening.slideX);
        const float a = 40.0f * std::cos(angle1);
        const float b = 80.0f * std::sin(angle1);
        const float c = 10.0f * std::sin(angle2 + 0.5f);
        const float d = 10.0f * std::sin(angle2);
        // Cost: 2 x 128 rings of 360 pixels.
        for (int32_t k = 0; k < kRingCount; ++k) {
            rings[k].offset = rotation;
            const float kf = static_cast<float>(k);
            const float lift = static_cast<float>(k >> 2);
            drawRing(screen, static_cast<int32_t>(cx + slideX + b + kf + c), static_cast<int32_t>(cy + a - lift), &rings[k]);
            drawRing(screen, static_cast<int32_t>(cx - slideX - b - kf + d), static_cast<int32_t>(cy - a - lift), &rings[k]);
        }

        TextLabel::blur(screen, static_cast<int32_t>(loadAnimated(blurLevel)), 1, 0);
        fillRect(screen, 4, 4, 16, 16, 0);

        // The exit begins once: a later boundary during the slide must not
        // start a second animator on slideX and throw the swirls back.
        if (cues.update(row) && !state.opening.exitStarted) {
            storeAnimated(state.opening.slideX, 80.0f);
            slide.makeFloat(&state.opening.slideX, 600.0f, &slideStep, 80.0f, 10, 1);
            state.opening.exitStarted = 1;
        }
        // The slide lands exactly on 600 and stays there.
        if (state.opening.exitStarted && loadAnimated(state.opening.slideX) >= 600.0f) done = true;

        cues.draw(&label);
        engine->present();
    }

    // The slide's step lives in this frame, so its timer goes with the scene;
    // slideX itself keeps where the slide left it.
    slide.stop();
    blur.stop();
    delete[] rings;
    return result;
}

int32_t runTextPage(Engine* engine, Song* song, TitleState& state, const char* const* lines, int32_t scale,
                    int32_t rowPeriod, int32_t holdSeconds) {
    if (!engine || !engine->screen) return 0;
    static const char* const noLines[] = {nullptr};
    if (!lines) lines = noLines;
    // A period of 0 would divide by zero; it reads as "every row".
    const int32_t period = rowPeriod == 0 ? 1 : rowPeriod;

    SDL_Surface* screen = engine->screen;
    Image page(screen->w, screen->h);
    if (page.surface) SDL_BlitSurface(screen, nullptr, page.surface, nullptr);
    const Color shade{0, 190};
    vignette(page.surface, &shade);

    TextLabel label(page.surface);
    label.setFont(kPageWhite, scale);
    label.centered = 1;

    engine->resetClock();
    int32_t lastSecond = 0;
    int32_t shown = 0;
    bool closing = false;
    int32_t pulse = 0;
    int32_t result = 0;
    const int32_t lineHeight = 8 * scale;

    bool done = false;
    while (!done) {
        done = drainEvents(&result);

        const int32_t row = readRow(song);
        if (row % 32 == 0) pulse = 16;

        bool closingStep = false;
        if (row % period == 0) {
            const int32_t second = engine->secondsElapsed();
            if (second != lastSecond) {
                lastSecond = second;
                if (lines[shown]) ++shown;
                state.scrollRow = label.y;
            }
            if (!lines[shown]) closingStep = true;
        }
        if (!closingStep && closing) closingStep = true;
        if (closingStep) {
            // Only changes of the second not already taken by a reveal count.
            const int32_t second = engine->secondsElapsed();
            if (second != lastSecond) {
                lastSecond = second;
                --holdSeconds;
            }
            closing = true;
            // At or below zero rather than at zero: a page asked to hold for no
            // time ends instead of counting down forever.
            if (holdSeconds <= 0) done = true;
        }

        ++state.scrollRow;
        if (state.scrollRow >= screen->h - 16) state.scrollRow = 0;
        stretchRowsBand(page.surface, screen, state.scrollRow, 16);

        // Decays from 16 to 3, one radius a frame.
        if (pulse > 2) {
            TextLabel::blur(screen, pulse, 0, 1);
            --pulse;
        }

        // The text lands on the page and reaches the screen with the next copy.
        label.x = 0;
        label.y = 100;
        for (int32_t i = 0; i <= shown && lines[i]; ++i) {
            label.print("%s", lines[i]);
            label.y += lineHeight;
        }
        engine->present();
    }
    return result;
}

int32_t runClosing(Engine* engine, Song* song, TitleState& state) {
    if (!engine || !engine->screen) return 0;
    SDL_Surface* screen = engine->screen;
    TextLabel label(screen);
    label.setFont(kTitleYellow, kTitleScale);
    label.centered = 1;
    Image picture(closingPictureJpeg, static_cast<int32_t>(closingPictureJpeg_size));
    RingSampler* rings = captureRings(picture.surface);

    float speed = 1.0f;
    float speedStep = 0.01f;
    Animator spinDown;
    spinDown.makeFloat(&speed, 0.0f, &speedStep, 1.0f, 200, 1);
    float blurLevel = 256.0f;
    float blurStep = 2.2f;
    Animator blur;
    blur.makeFloat(&blurLevel, 6.0f, &blurStep, 256.0f, 200, 1);

    TextCues cues{closingLines, 0, &state.closing.lastCueRow};
    float drift = 0.01f;
    float spin = 1.0f;
    int32_t result = 0;
    const int32_t w = screen->w;
    const int32_t h = screen->h;

    bool done = false;
    while (!done) {
        done = drainEvents(&result);
        spin = wrapSpin(spin - loadAnimated(speed));
        const int32_t row = readRow(song);

        // Cost: 512 pixels of black dust.
        for (int32_t i = 0; i < 512; ++i) {
            const int32_t y = rand() % h;
            const int32_t x = rand() % w;
            putPixel(screen, x, y, 0);
        }

        drift += 0.01f;
        const int32_t rotation = ringOffset(spin);
        // Cost: 128 rings of 360 pixels.
        for (int32_t k = 0; k < kRingCount; ++k) {
            rings[k].offset = rotation;
            drawRing(screen, w / 2, static_cast<int32_t>(static_cast<float>(h / 2) + drift - static_cast<float>(k >> 1)),
                     &rings[k]);
        }

        TextLabel::blur(screen, static_cast<int32_t>(loadAnimated(blurLevel)), 1, 0);
        fillRect(screen, 4, 4, 16, 16, 0);

        if (cues.update(row)) state.closing.exitStarted = 1;
        // The tower stops turning about 20 seconds in.
        if (state.closing.exitStarted && spinDown.finished.load()) done = true;

        cues.draw(&label);
        engine->present();
    }

    if (result != 2) {
        // Two blends per row (the rectangle's rows are drawn twice), so each
        // step darkens by (1 - a / 255) squared.
        for (int32_t a = 0; a < 128; a += 2) {
            const Color fade{0, a};
            fillRectColor(screen, 0, 0, w - 1, h - 1, &fade);
            engine->present();
        }
    }

    spinDown.stop();
    blur.stop();
    delete[] rings;
    return result;
}
