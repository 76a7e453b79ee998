// The scenes that frame the 3D part of the production: the opening (a picture
// twisted into two mirrored swirls of rings while the credits appear on the
// beat), the text page (lines revealed one a second over a frozen, vignetted
// copy of the last frame) and the closing (a sinking tower of rings, two
// title lines, a fade to black).
//
// Owns: each scene owns its picture, label and animators for the length of
// the call; what outlives the calls is the TitleState its caller hands in
// (the production keeps one for the whole run).
// Threads: main thread only. The only values another thread writes are the
// animated floats (slideX here, blur levels and spin speeds inside the
// scenes), written by animator ticks on the timer thread.
// Not for: screens other than 32 bits per pixel, or running two of these
// scenes at once (they share the state and the screen).
#pragma once

#include <cstdint>

struct Engine;
struct Song;

// The music row and its cue bookkeeping persist from one call to the next:
// a scene started on a row that already fired its cue waits for the next
// half-pattern boundary.
struct OpeningState {
    int32_t lastCueRow;
    int32_t exitStarted;
    float slideX;  // half the distance between the swirls; animated during the exit
};

struct ClosingState {
    int32_t lastCueRow;
    int32_t exitStarted;
};

// What the title scenes keep from one call to the next, as at program start
// when made.
struct TitleState {
    OpeningState opening = {0, 0, 80.0f};
    ClosingState closing = {0, 0};
    // First row of the rolling band of the text pages; each page starts where
    // the previous one left it.
    int32_t scrollRow = 0;
};

// The closing's title lines, shown one per half pattern after an empty one.
extern const char* const closingTitleLines[2];

// Each returns 0 when it ended by itself, 1 when Space was released and 2
// when Escape was released or the window was closed. Each reads the music row
// of song (the production's, not owned) once a frame.
int32_t runOpening(Engine* engine, Song* song, TitleState& state);
// lines: entries up to a null pointer (an empty string is an invisible line);
// a null list counts as an empty one. The page ends holdSeconds counted
// changes of the second after the list is exhausted.
int32_t runTextPage(Engine* engine, Song* song, TitleState& state, const char* const* lines, int32_t scale,
                    int32_t rowPeriod, int32_t holdSeconds);
int32_t runClosing(Engine* engine, Song* song, TitleState& state);
