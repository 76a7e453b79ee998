// "kestrula": the production's soundtrack, fourteen 64-row patterns, one per
// order, on twelve channels.
//
// Owns: nothing; returns a complete Module (patterns, orders, instruments).
// Thread: single-threaded generator.
// Not for: anything at run time.
//
// The hook is two bars, syncopated 3+3+4+2+4 then 3+3+10 sixteenths:
//   A5 C6 E6 D6 C6 | E6 C6 A5 (the long A5 glides in and sways).
// Form (4 rows a beat, 16 a bar, 4 bars a pattern, chords one a bar):
//   order  0 intro: pads swell in; row 32 the bell hints at the hook     Am F C G
//          1 intro: hats and arp; the bell states the hook; bass at 32   Am F C G
//          2 build: kick, rolling bass, claps, snare roll, riser         Am F C G
//        3-6 full: the hook on the lead, a new ending each time          Am F C G / Am F G E
//          7 breakdown: the hook on the bell over pads, no drums         F G Em Am
//          8 build: snare roll and riser                                 F G E E
//       9-12 full, bigger: harmony in thirds or the bell an octave up,   F G Am Am / F G E Am
//            a percussion layer, ghost snares, a fill every fourth bar
//         13 bridge: the hook on the bell, roll into the restart         Am F Dm E
//   restart at order 3: pattern 13 ends like pattern 2, so the loop is seamless.
// Every 32-row boundary of the intro brings in a new part, matching the
// opening title's cues. Only effects 3, 4, 8, C (set to a restated value or
// a cut) and F (the module's own speed and tempo) and the volume column's
// volumes and slides are used: nothing that moves the rows.
#pragma once

#include "module.h"

namespace musicgen {

Module composeKestrula();

}  // namespace musicgen
