// "kestrula": the production's soundtrack, written as ten 64-row patterns.
//
// Owns: nothing; returns a complete Module (patterns, orders, instruments).
// Thread: single-threaded generator.
// Not for: anything at run time.
//
// Form (4 rows a beat, 16 a bar, 4 bars a pattern, chords one a bar):
//   order  0 P0 intro: pad swells in, a bell motif at row 32     Am F C G
//          1 P1 intro: the theme on the bell, hats, arp, bass     Am F C G
//          2 P2 build: kick, rolling bass, claps, snare roll      Am F C G
//        3-6 P3 P4 P3 P4 full: lead theme and its answer           Am F C G / Am F G E
//          7 P5 breakdown: bell melody with echo                   F G Em Am
//          8 P6 build: snare roll and noise riser                  F G E E
//       9-12 P7 P8 P7 P8 full, higher lead                         F G Am Am / F G E Am
//         13 P9 bridge: drums and bell, roll into the restart      Am F Dm E
//   restart at order 3: P9 ends like P2, so the loop is seamless.
// Every 32-row boundary of the intro brings in a new part, matching the
// opening title's cues.
#pragma once

#include "module.h"

namespace musicgen {

Module composeKestrula();

}  // namespace musicgen
