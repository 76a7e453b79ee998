// The calls from the production to its page (web/page.js): the canvas, the
// title, the cursor, the sound output and the end. Each is a thin step into
// the page's script, which owns the browser objects.
//
// Threads: the page has one. Not for: drawing or mixing; the production
// does both in its own code and hands the page finished pixels and samples.
#pragma once

#include <cstdint>

// Defined in JavaScript through EM_JS, hence C names.
extern "C" {
void pageSetCanvasSize(int width, int height);
void pageSetTitle(const char* title);
void pageShowCursor(int shown);
// `rgba` holds width x height pixels as the canvas takes them (R, G, B, A
// bytes); `workMs` is the production's own time on the frame (from the end of
// the previous yield to this present).
void pagePresent(const uint32_t* rgba, int width, int height, double workMs);
// Step `number` of the running order starts.
void pageStep(int number);
// Starts the page's sound output at `rate` frames a second; its audio
// callback then asks vorna_audio_fill for samples. 0 when the page has none.
int pageAudioOpen(int rate);
void pageAudioClose();
// The stream frame being heard now (frames handed to the sound output since
// it started, placed on its clock), or -1 before the first was handed over.
double pageHeardFrame();
// The seed the page was asked for (?seed=N), or -1 for one from the time.
long long pageSeed();
// The production has ended with this exit status.
void pageEnded(int status);
}
