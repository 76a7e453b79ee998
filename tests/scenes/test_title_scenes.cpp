// The opening, text page and closing driven frame by frame: the music row, the
// wall clock and the animator timers are all virtual and advance only when the
// scene reads its row, so every run is quick and repeatable. What a frame
// showed is read back from the screen at the next frame's row read, before
// anything of the new frame is drawn.
#include "scenes/title_scenes.h"

#include <SDL/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "framework/animator.h"
#include "framework/engine.h"
#include "framework/outside_world.h"
#include "framework/text_label.h"
#include "scenes/music_position.h"
#include "support/virtual_world.h"

namespace {

// ---- the virtual world: ticks run on the main thread, on demand ----

// Fires every tick due within the next `ms`, earliest first.
void advanceTimers(Uint32 ms) {
    TimerQueue& timers = virtualworld::timers();
    timers.fireUntil(timers.nowUs + uint64_t(ms) * 1000);
}

int liveTimers() { return int(virtualworld::timers().live()); }

// The wall clock shows 5000 s plus whole virtual seconds.
void setVirtualSecond(int64_t second) { virtualworld::clock().nowUs = uint64_t(second) * 1000000; }

// ---- one world step per frame, taken when the scene reads its row ----

std::function<int32_t(int)> frameStep;
int hookCalls = 0;
constexpr int kFrameLimit = 400;

void pushKey(Uint8 type, SDLKey key) {
    SDL_Event event;
    std::memset(&event, 0, sizeof event);
    event.type = type;
    event.key.type = type;
    event.key.state = type == SDL_KEYUP ? SDL_RELEASED : SDL_PRESSED;
    event.key.keysym.sym = key;
    SDL_PushEvent(&event);
}

int32_t rowHook(Song*) {
    const int call = hookCalls++;
    if (call == kFrameLimit) {
        ADD_FAILURE() << "the scene did not end within " << kFrameLimit << " frames";
        pushKey(SDL_KEYUP, SDLK_ESCAPE);
    }
    return call >= kFrameLimit ? 1 : frameStep(call);
}

Engine* sharedEngine() {
    static Engine* engine = [] {
        Engine* e = new Engine;  // lives for the whole test program
        e->init(0, nullptr, 800, 600, 0);
        return e;
    }();
    return engine;
}

// ---- reading text back from the screen ----

// The pixels one centred line leaves on an empty surface, in screen order.
struct LineImage {
    std::vector<int32_t> x, y;
    std::vector<uint32_t> pixel;
};

LineImage renderLine(const char* text, uint32_t color, int32_t scale, int32_t top) {
    const SDL_PixelFormat* f = SDL_GetVideoSurface()->format;
    SDL_Surface* scratch = SDL_CreateRGBSurface(SDL_SWSURFACE, 800, 600, 32, f->Rmask, f->Gmask, f->Bmask, 0);
    const uint32_t sentinel = 0x010203;
    SDL_FillRect(scratch, nullptr, sentinel);
    {
        TextLabel label(scratch);
        label.setFont(color, scale);
        label.centered = 1;
        label.y = top;
        label.print("%s", text);
    }
    LineImage image;
    for (int32_t y = 0; y < scratch->h; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(scratch->pixels) + y * scratch->pitch);
        for (int32_t x = 0; x < scratch->w; ++x) {
            if (row[x] == sentinel) continue;
            image.x.push_back(x);
            image.y.push_back(y);
            image.pixel.push_back(row[x]);
        }
    }
    SDL_FreeSurface(scratch);
    return image;
}

uint32_t screenPixel(const SDL_Surface* s, int32_t x, int32_t y) {
    return *reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(s->pixels) + y * s->pitch + x * 4);
}

bool showsLine(const SDL_Surface* screen, const LineImage& line) {
    if (line.pixel.empty()) return false;
    for (size_t i = 0; i < line.pixel.size(); ++i) {
        if (screenPixel(screen, line.x[i], line.y[i]) != line.pixel[i]) return false;
    }
    return true;
}

// Index of the one candidate the screen shows in full, -1 for none, -2 for several.
int shownLine(const SDL_Surface* screen, const std::vector<LineImage>& candidates) {
    int found = -1;
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (!showsLine(screen, candidates[i])) continue;
        if (found != -1) return -2;
        found = static_cast<int>(i);
    }
    return found;
}

int brightestChannel(const SDL_Surface* screen) {
    int best = 0;
    for (int32_t y = 0; y < screen->h; ++y) {
        for (int32_t x = 0; x < screen->w; ++x) {
            Uint8 r, g, b;
            SDL_GetRGB(screenPixel(screen, x, y), screen->format, &r, &g, &b);
            best = std::max({best, int(r), int(g), int(b)});
        }
    }
    return best;
}

class TitleScenes : public ::testing::Test {
protected:
    Engine* engine = nullptr;
    TitleState titles;  // as at program start

    void SetUp() override {
        engine = sharedEngine();
        ASSERT_NE(engine->screen, nullptr);
        SDL_Event stale;
        while (SDL_PollEvent(&stale)) {
        }
        virtualworld::reset(5000);
        hookCalls = 0;
        OutsideWorld world = virtualworld::over(realWorld());
        world.musicRow = rowHook;
        installOutsideWorld(world);
        SDL_FillRect(engine->screen, nullptr, 0);
    }

    void TearDown() override {
        // Every timer a scene started is gone when it returns.
        EXPECT_EQ(liveTimers(), 0);
        installOutsideWorld(realWorld());
        frameStep = nullptr;
    }

    std::vector<LineImage> titleCandidates(std::initializer_list<const char*> texts) {
        std::vector<LineImage> out;
        for (const char* t : texts) out.push_back(renderLine(t, 0xFFFF00, 4, 232));
        return out;
    }
};

// ---- the opening ----

TEST_F(TitleScenes, OpeningCuesOneLinePerHalfPatternFromRow32ThenSlidesOut) {
    const std::vector<LineImage> lines =
        titleCandidates({"*** VORNA ***", "presents", "software rendered", "production"});
    // Each row is read on two frames running, so every boundary is seen twice.
    auto rowAt = [](int frame) { return (8 * (frame / 2)) % 64; };
    std::vector<int> seen;        // seen[f]: the line frame f left on the screen
    std::vector<float> slideSeen;  // slideX as frame f starts
    frameStep = [&](int frame) {
        if (frame > 0) seen.push_back(shownLine(engine->screen, lines));
        advanceTimers(100);
        slideSeen.push_back(loadAnimated(titles.opening.slideX));
        return rowAt(frame);
    };
    const int32_t before = engine->frames;
    EXPECT_EQ(runOpening(engine, nullptr, titles), 0);
    const int frames = engine->frames - before;
    seen.push_back(shownLine(engine->screen, lines));
    ASSERT_EQ(static_cast<int>(seen.size()), frames);
    ASSERT_GE(frames, 49);

    // Rows 0 .. 28: nothing; then one line per half pattern, each shown for 8 frames.
    for (int f = 0; f < 49; ++f) {
        const int expected = f < 8 ? -1 : f < 40 ? (f - 8) / 8 : -1;
        EXPECT_EQ(seen[f], expected) << "frame " << f << " at row " << rowAt(f);
    }
    // The sixth boundary (frame 48) starts the slide; the swirls stay 160
    // apart until then, and the scene ends on the first frame that finds
    // them 1200 apart.
    for (int f = 0; f <= 48; ++f) EXPECT_EQ(slideSeen[f], 80.0f) << f;
    for (int f = 49; f < frames - 1; ++f) {
        EXPECT_GT(slideSeen[f], slideSeen[f - 1]) << f;
        EXPECT_LT(slideSeen[f], 600.0f) << f;
    }
    EXPECT_EQ(slideSeen[frames - 1], 600.0f);
    EXPECT_EQ(titles.opening.exitStarted, 1);
    EXPECT_EQ(loadAnimated(titles.opening.slideX), 600.0f);
}

TEST_F(TitleScenes, OpeningEndsOnReleasedKeysAndTheClosedWindowOnly) {
    struct Case {
        Uint8 type;
        SDLKey key;
        int32_t result;
    };
    // Closing the window stops the production like Escape.
    for (const Case c : {Case{SDL_KEYUP, SDLK_ESCAPE, 2}, Case{SDL_KEYUP, SDLK_SPACE, 1}, Case{SDL_QUIT, SDLK_a, 2}}) {
        hookCalls = 0;
        titles.opening = {0, 0, 80.0f};
        frameStep = [&](int frame) {
            if (frame == 1) pushKey(SDL_KEYDOWN, c.key);  // a press does nothing
            if (frame == 1) pushKey(SDL_KEYUP, SDLK_a);   // nor does another key
            if (frame == 3) pushKey(c.type, c.key);
            advanceTimers(50);
            return 8;
        };
        const int32_t before = engine->frames;
        EXPECT_EQ(runOpening(engine, nullptr, titles), c.result);
        // The release is seen at the start of frame 4, which still presents.
        EXPECT_EQ(engine->frames - before, 5);
        EXPECT_EQ(liveTimers(), 0);
    }
}

// ---- the text page ----

// White pixels in the middle of line slot i of a page at scale 4 (a slot is
// 32 rows from y = 100). The rolling band repeats a row at most 15 rows
// further down, so a line cannot leak into the middle of the slot below.
bool slotHasText(const SDL_Surface* screen, int slot) {
    const int32_t top = 100 + 32 * slot;
    for (int32_t y = top + 12; y < top + 28; ++y) {
        for (int32_t x = 0; x < screen->w; ++x) {
            if ((screenPixel(screen, x, y) & 0xFFFFFF) == 0xFFFFFF) return true;
        }
    }
    return false;
}

int visibleLines(const SDL_Surface* screen, int slots) {
    int n = 0;
    while (n < slots && slotHasText(screen, n)) ++n;
    for (int i = n; i < slots; ++i) EXPECT_FALSE(slotHasText(screen, i)) << "slot " << i << " out of order";
    return n;
}

TEST_F(TitleScenes, TextPageRevealsAtMostOneLinePerSecond) {
    const char* const lines[] = {"ONE", "TWO", "THREE", "FOUR", nullptr};
    // Every frame lands on the row period (and never on a half-pattern
    // boundary, so no blur pulse smears the page); the second changes every
    // third frame.
    const int32_t rows[] = {8, 16, 24, 40, 48, 56};
    std::vector<int> visible;  // visible[h]: lines on the screen at row read h
    frameStep = [&](int frame) {
        visible.push_back(visibleLines(engine->screen, 5));
        if (frame == 30) pushKey(SDL_KEYUP, SDLK_SPACE);
        setVirtualSecond(frame / 3);
        return rows[frame % 6];
    };
    EXPECT_EQ(runTextPage(engine, nullptr, titles, lines, 4, 8, 4), 1);
    ASSERT_EQ(visible.size(), 32u);

    // Line 0 stands from the start; a line printed on the page in frame f
    // reaches the screen in frame f + 1 and is read back at frame f + 2.
    std::vector<int> rises;
    EXPECT_EQ(visible[0], 0);
    for (size_t h = 1; h < visible.size(); ++h) {
        EXPECT_LE(visible[h] - visible[h - 1], 1) << "two lines at once, frame " << h;
        EXPECT_GE(visible[h], visible[h - 1]) << h;
        if (visible[h] > visible[h - 1]) rises.push_back(static_cast<int>(h));
    }
    EXPECT_EQ(rises, (std::vector<int>{2, 5, 8, 11}));
    EXPECT_EQ(visible.back(), 4);
}

TEST_F(TitleScenes, TextPageWithOnlyTheEndHoldsForCountedChangesOfTheSecond) {
    const char* const nothing[] = {nullptr};
    struct Frame {
        int32_t row;
        time_t second;
    };
    // rowPeriod 8. A change of the second counts only when the page is
    // already holding and the change is first seen off the period: on the
    // period it is taken by the reveal step, which has nothing to reveal.
    const Frame script[] = {
        {9, 0},   // off the period: the hold has not begun
        {9, 1},   // a change before the hold: not counted
        {16, 1},  // first period row: taken by the reveal step; the hold begins
        {17, 2},  // counted: 2 to go
        {24, 3},  // taken by the reveal step
        {25, 3},
        {25, 4},  // counted: 1 to go
        {33, 5},  // counted: done
    };
    constexpr int scriptFrames = sizeof script / sizeof script[0];
    bool anyText = false;
    frameStep = [&](int frame) {
        for (int s = 0; s < 5; ++s) anyText = anyText || slotHasText(engine->screen, s);
        const Frame f = script[frame < scriptFrames ? frame : scriptFrames - 1];
        setVirtualSecond(f.second);
        return f.row;
    };
    const int32_t before = engine->frames;
    EXPECT_EQ(runTextPage(engine, nullptr, titles, nothing, 4, 8, 3), 0);
    EXPECT_EQ(engine->frames - before, scriptFrames);
    EXPECT_FALSE(anyText);
}

TEST_F(TitleScenes, TextPageWithoutTimeToHoldEndsWhenTheListRunsOut) {
    const char* const one[] = {"ONE", nullptr};
    frameStep = [&](int frame) {
        setVirtualSecond(frame);  // a reveal on every frame's change of the second
        return 8;
    };
    const int32_t before = engine->frames;
    // Frame 1 reveals the end of the list and would then count down from 0
    // forever; it ends instead. A zero row period means every row.
    EXPECT_EQ(runTextPage(engine, nullptr, titles, one, 4, 0, 0), 0);
    EXPECT_EQ(engine->frames - before, 2);
}

// ---- the closing ----

TEST_F(TitleScenes, ClosingShowsItsTitleLinesAndEndsWhenTheTowerHasStopped) {
    for (const char* line : closingTitleLines) {
        EXPECT_GT(std::strlen(line), 0u);
        EXPECT_LE(std::strlen(line) * 32, 800u) << line << " does not fit at scale 4";
    }
    const std::vector<LineImage> lines = titleCandidates({closingTitleLines[0], closingTitleLines[1]});
    // A boundary every other frame: the lines run out (the sixth boundary) at
    // frame 12, long before the spin-down (101 ticks of 200 ms) arrives.
    std::vector<int> seen;
    int brightBefore = 0;
    frameStep = [&](int frame) {
        if (frame > 0) seen.push_back(shownLine(engine->screen, lines));
        if (frame == 39) brightBefore = brightestChannel(engine->screen);
        advanceTimers(500);
        return (16 * frame) % 64;
    };
    const int32_t before = engine->frames;
    EXPECT_EQ(runClosing(engine, nullptr, titles), 0);
    const int frames = engine->frames - before;
    // 20.2 s of spin-down at 0.5 s a frame: the timer arrives in frame 40.
    ASSERT_EQ(hookCalls, 41);
    EXPECT_EQ(frames, 41 + 64);
    ASSERT_EQ(seen.size(), 40u);
    for (int f = 0; f < 40; ++f) {
        const int expected = (f == 2 || f == 3) ? 0 : (f == 4 || f == 5) ? 1 : -1;
        EXPECT_EQ(seen[f], expected) << "frame " << f;
    }
    EXPECT_EQ(titles.closing.exitStarted, 1);
    // The fade leaves the tower nearly black.
    EXPECT_GT(brightBefore, 100);
    EXPECT_LE(brightestChannel(engine->screen), 2);
}

TEST_F(TitleScenes, ClosingWaitsForTheLinesWhenTheTowerStopsFirst) {
    // The spin-down arrives in frame 4 (5 s a frame); boundaries begin at frame 6.
    frameStep = [&](int frame) {
        advanceTimers(5000);
        return frame < 6 ? 8 : (frame % 2) * 32;
    };
    const int32_t before = engine->frames;
    EXPECT_EQ(runClosing(engine, nullptr, titles), 0);
    // Boundaries at frames 7 .. 12; the sixth finds the list exhausted.
    EXPECT_EQ(hookCalls, 13);
    EXPECT_EQ(engine->frames - before, 13 + 64);
}

TEST_F(TitleScenes, ClosingFadesAfterSpaceButNotAfterEscapeOrTheClosedWindow) {
    struct Case {
        Uint8 type;
        SDLKey key;
        int32_t result;
        int fadeFrames;
    };
    for (const Case c : {Case{SDL_KEYUP, SDLK_ESCAPE, 2, 0}, Case{SDL_KEYUP, SDLK_SPACE, 1, 64},
                         Case{SDL_QUIT, SDLK_a, 2, 0}}) {
        hookCalls = 0;
        int brightBefore = 0;
        frameStep = [&](int frame) {
            if (frame == 3) pushKey(c.type, c.key);
            if (frame == 3) brightBefore = brightestChannel(engine->screen);
            advanceTimers(200);
            return 8;
        };
        const int32_t before = engine->frames;
        EXPECT_EQ(runClosing(engine, nullptr, titles), c.result);
        // The release is seen at the start of frame 4, which still presents.
        EXPECT_EQ(engine->frames - before, 5 + c.fadeFrames);
        // Lit means well above what the fade leaves: the closing's rings are
        // dark by design, so its brightest pixel is no more than a third of full.
        const int brightAfter = brightestChannel(engine->screen);
        EXPECT_GT(brightBefore, 40);
        if (c.fadeFrames) {
            EXPECT_LE(brightAfter, 2);
        } else {
            EXPECT_GT(brightAfter, 40);
        }
        EXPECT_EQ(liveTimers(), 0);
    }
}

}  // namespace
