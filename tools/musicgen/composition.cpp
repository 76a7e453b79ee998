#include "composition.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "instruments.h"

namespace musicgen {

namespace {

constexpr int kRows = 64;
enum Channel {
    chKick,
    chSnare,
    chClap,
    chHats,
    chPerc,
    chBass,
    chSub,
    chPad1,
    chPad2,
    chPad3,
    chArp,
    chLead,
    chEcho,
    chCounter,
    kChannels
};

constexpr uint8_t kArpeggio = 0x00;     // effect 0: a chord stab from one note
constexpr uint8_t kTonePorta = 0x03;    // effect 3
constexpr uint8_t kVibrato = 0x04;      // effect 4
constexpr uint8_t kPanning = 0x08;      // effect 8
constexpr uint8_t kSampleOffset = 0x09; // effect 9: start x 256 frames into the sample
constexpr uint8_t kSetVolume = 0x0C;    // effect C
constexpr uint8_t kExtended = 0x0E;     // effect E, sub-command in the high nibble
constexpr uint8_t kSetSpeed = 0x0F;     // effect F
constexpr int kRetrig = 0x90;           // E9y: a new hit every y ticks
constexpr int kFineUp = 0xA0;           // EAy: fine volume slide up
constexpr int kFineDown = 0xB0;         // EBy: fine volume slide down
constexpr int kNoteDelay = 0xD0;        // EDy: the note starts on tick y of 7

// Volume column: 0x10 + v sets, 0x60 + y slides down y a tick.
constexpr uint8_t kSlideDown = 0x60;

// MIDI-style numbers (C4 = 60 = 261.6 Hz) to XM note bytes (C-4 = 49).
int noteByte(int midi) { return midi - 11; }

int parseMidi(const std::string& name) {
    static const int classes[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (name.empty() || name[0] < 'A' || name[0] > 'G') throw std::runtime_error("bad note " + name);
    int pc = classes[name[0] - 'A'];
    size_t i = 1;
    if (i < name.size() && name[i] == '#') {
        ++pc;
        ++i;
    }
    const int octave = std::stoi(name.substr(i));
    return pc + (octave + 1) * 12;
}

// ------------------------------------------------------------------ chords

// A chord's colour decides which three tones the pads hold above the bass:
// with a seventh or a ninth the root is left to the bass and the pads take
// the colour tone instead.
enum class Colour { triad, sus2, sus4, seventh, major7, add9 };

struct Chord {
    int pitchClass = 9;
    bool minor = true;
    Colour colour = Colour::triad;

    int third() const {
        if (colour == Colour::sus2) return 2;
        if (colour == Colour::sus4) return 5;
        return minor ? 3 : 4;
    }
    // The pads' three pitch classes.
    std::array<int, 3> padClasses() const {
        const int r = pitchClass;
        switch (colour) {
        case Colour::seventh: return {(r + third()) % 12, (r + 7) % 12, (r + 10) % 12};
        case Colour::major7: return {(r + third()) % 12, (r + 7) % 12, (r + 11) % 12};
        case Colour::add9: return {(r + third()) % 12, (r + 7) % 12, (r + 2) % 12};
        default: return {r, (r + third()) % 12, (r + 7) % 12};
        }
    }
};

// "Am", "F", "Dm7", "G7", "Fmaj7", "Amadd9", "Esus4", "Gsus2", "F#".
Chord chord(const std::string& name) {
    size_t i = 1;
    if (i < name.size() && name[i] == '#') ++i;
    Chord c;
    c.pitchClass = parseMidi(name.substr(0, i) + "4") % 12;
    std::string rest = name.substr(i);
    c.minor = !rest.empty() && rest[0] == 'm' && rest.compare(0, 4, "maj7") != 0;
    if (c.minor) rest = rest.substr(1);
    if (rest == "7") c.colour = Colour::seventh;
    else if (rest == "maj7") c.colour = Colour::major7;
    else if (rest == "add9") c.colour = Colour::add9;
    else if (rest == "sus4") c.colour = Colour::sus4;
    else if (rest == "sus2") c.colour = Colour::sus2;
    else if (!rest.empty()) throw std::runtime_error("bad chord " + name);
    return c;
}

// The chords of one pattern: four (a bar each) or eight (half a bar each).
struct Bars {
    std::vector<Chord> chords;
    const Chord& at(int row) const { return chords[static_cast<size_t>(row) * chords.size() / kRows]; }
    int rowsPerChord() const { return kRows / static_cast<int>(chords.size()); }
};

Bars bars(const std::string& text) {
    Bars b;
    std::istringstream in(text);
    std::string name;
    while (in >> name) b.chords.push_back(chord(name));
    if (b.chords.size() != 4 && b.chords.size() != 8) throw std::runtime_error("need 4 or 8 chords: " + text);
    return b;
}

// The pitch of a pitch class placed in [low, low + 11].
int placed(int pitchClass, int low) { return low + ((pitchClass - low) % 12 + 12) % 12; }

// ------------------------------------------------------------------ writer

struct Writer {
    Pattern& p;

    Cell& cell(int row, int ch) {
        if (row < 0 || row >= p.rows || ch < 0 || ch >= p.channels) throw std::runtime_error("cell out of range");
        return p.at(row, ch);
    }
    static uint8_t level(double v) {
        const int i = static_cast<int>(v + 0.5);
        return static_cast<uint8_t>(i < 0 ? 0 : (i > 64 ? 64 : i));
    }
    void note(int row, int ch, int xmNote, int instrument, double volume) {
        Cell& c = cell(row, ch);
        c.note = static_cast<uint8_t>(xmNote);
        c.instrument = static_cast<uint8_t>(instrument);
        c.volume = static_cast<uint8_t>(0x10 + level(volume));
    }
    void volume(int row, int ch, double volume) { cell(row, ch).volume = static_cast<uint8_t>(0x10 + level(volume)); }
    void off(int row, int ch) {
        Cell& c = cell(row, ch);
        c.note = kKeyOff;
        c.instrument = 0;
        c.volume = 0;
    }
    void effect(int row, int ch, uint8_t fx, int param) {
        Cell& c = cell(row, ch);
        c.effect = fx;
        c.param = static_cast<uint8_t>(param);
    }
    void clear(int from, int to, int ch) {
        for (int r = from; r < to; ++r) cell(r, ch) = Cell{};
    }
};

// ------------------------------------------------------------------ levels

struct Levels {
    double kick = 63, clap = 64, snare = 54, hats = 54, perc = 36, bass = 33, sub = 33, pad = 19, arp = 22,
           lead = 40, bell = 34, echo = 13, counter = 24;
};

// ------------------------------------------------------------------ drums

constexpr int kClosedHat = kDrumNote - 12, kOpenHat = kDrumNote;

// Kick patterns, one bar of sixteenths each ('x' a kick, 'g' a softer one).
// The full sections vary them by bar; `drop` leaves the kick out of one
// whole bar (the breath before a fill or a turn).
const char* const kFourFloor = "x...x...x...x...";
const char* const kPushed = "x...x...x...x.g.";    // a sixteenth kick before the next bar
const char* const kBroken = "x.....x.x.....g.";    // the second theme: 3 + 3 + 2
const char* const kHalfTime = "x.......x.......";  // the outro
const char* const kDriving = "x...x..gx...x.gg";   // the top of the climax

void kickBar(Writer& w, int bar, const char* shape, double vol) {
    for (int s = 0; s < 16; ++s) {
        if (shape[s] == '.') continue;
        w.note(bar * 16 + s, chKick, kDrumNote, kKick, shape[s] == 'x' ? vol : vol * 0.62);
    }
}

// The backbeat: a clap, and in the full sections a snare layered under it;
// without the clap, the snare alone.
void backbeat(Writer& w, int from, int to, double vol, bool layered = false, bool clap = true) {
    for (int r = from; r < to; ++r) {
        if (r % 16 != 4 && r % 16 != 12) continue;
        if (clap) w.note(r, chClap, kDrumNote, kClap, vol);
        if (layered) w.note(r, chSnare, kDrumNote, kSnare, vol * 0.8);
    }
}

// Ghost snares before the backbeat, started late into the sample (9xx) so
// they sound short and thin.
void ghostSnares(Writer& w, int from, int to, double vol) {
    for (int r = from; r < to; ++r) {
        const int s = r % 16;
        if (s != 10 && s != 15 && s != 7) continue;
        w.note(r, chSnare, kDrumNote, kSnare, s == 7 ? vol * 0.7 : vol);
        w.effect(r, chSnare, kSampleOffset, 0x10);
    }
}

// Sixteenth hats: open on the offbeat eighths, closed elsewhere. With swing
// the second and fourth sixteenths of every beat come two ticks late (ED2)
// and soft, as ghost notes.
void hats16(Writer& w, int from, int to, double vol, bool swing, bool open = true) {
    static const double accent[4] = {0.72, 0.42, 1.0, 0.5};
    for (int r = from; r < to; ++r) {
        const int s = r % 4;
        w.note(r, chHats, s == 2 && open ? kOpenHat : kClosedHat, kHats, vol * accent[s]);
        if (swing && (s == 1 || s == 3)) w.effect(r, chHats, kExtended, kNoteDelay | 2);
    }
}

void offbeatHats(Writer& w, int from, int to, double vol) {
    for (int r = from; r < to; ++r)
        if (r % 4 == 2) w.note(r, chHats, kOpenHat, kHats, vol);
}

// The climax's extra layer: closed hats in threes against the beat, panned
// away from the main hats.
void percLayer(Writer& w, double vol) {
    for (int r = 2; r < kRows; ++r) {
        const int s = r % 16;
        if (s != 2 && s != 5 && s != 8 && s != 11 && s != 14) continue;
        w.note(r, chPerc, kClosedHat, kHats, s == 8 ? vol : vol * 0.7);
        w.effect(r, chPerc, kPanning, 200);
    }
}

void crash(Writer& w, int row, double vol) { w.note(row, chPerc, kDrumNote, kCrash, vol); }

// Snare hits from `from` to the end, thickening from quarters through
// eighths to sixteenths and rising in volume.
void snareRoll(Writer& w, int from, double vol0, double vol1) {
    for (int r = from; r < kRows; ++r) {
        const int left = kRows - r;
        const int step = left > 16 ? 4 : (left > 8 ? 2 : 1);
        if ((r - from) % step != 0 && left > 8) continue;
        const double t = static_cast<double>(r - from) / (kRows - 1 - from);
        w.note(r, chSnare, kDrumNote, kSnare, vol0 + (vol1 - vol0) * t);
    }
}

void riser(Writer& w, int from, double vol0, double vol1) {
    const int length = kRows - from;
    const int step = length > 16 ? 2 : 1;
    for (int r = from; r < kRows; r += step) {
        const double t = static_cast<double>(r - from) / length;
        w.note(r, chPerc, noteByte(48) + static_cast<int>(t * 26), kRiser, vol0 + (vol1 - vol0) * t);
    }
}

// The fills, one per phrase end and each used once: the last two beats
// (rows 56 to 63) on the kick channel ('K' kick, '1' to '4' toms from high
// to low) and the snare channel ('S' snare, 's' ghost, 'C' clap, 'R' a snare
// that retriggers every other tick, 'o' a thin snare started late).
struct Fill {
    const char* kick;
    const char* snare;
};
const Fill kFills[] = {
    {"K.......", "..S.SSSS"},  // 0: a snare run
    {"1.2.3.4.", ".s.s.S.S"},  // 1: falling toms
    {"4.3.2.1.", "......SS"},  // 2: rising toms
    {"K..K..K.", "..C..C.R"},  // 3: a stutter in threes
    {"........", "SsSsRRRR"},  // 4: a retriggered roll, no kick
    {"K.1.2.K.", ".o.o.o.S"},  // 5: toms between thin snares
    {"1.1.3.3.", ".S.S.RRR"},  // 6: paired toms into a roll
    {"K.K.KKKK", "S...S.S."},  // 7: a kick run
    {"4321....", "....RRRR"},  // 8: a tom cascade, then the roll
};
constexpr int kFillCount = static_cast<int>(sizeof kFills / sizeof kFills[0]);

void fill(Writer& w, int index, double kick, double snare) {
    if (index < 0 || index >= kFillCount) throw std::runtime_error("no such fill");
    const Fill& f = kFills[index];
    static const int toms[4] = {kDrumNote + 12, kDrumNote + 9, kDrumNote + 5, kDrumNote + 2};
    for (int ch : {chKick, chSnare, chClap}) w.clear(56, 64, ch);
    for (int k = 0; k < 8; ++k) {
        const int r = 56 + k;
        const double rise = 0.7 + 0.04 * k;
        const char kc = f.kick[k];
        if (kc == 'K') w.note(r, chKick, kDrumNote, kKick, kick * 0.9);
        if (kc >= '1' && kc <= '4') w.note(r, chKick, toms[kc - '1'], kKick, kick * rise);
        switch (f.snare[k]) {
        case 'S': w.note(r, chSnare, kDrumNote, kSnare, snare * rise); break;
        case 's': w.note(r, chSnare, kDrumNote, kSnare, snare * 0.45); break;
        case 'C': w.note(r, chClap, kDrumNote, kClap, snare * rise); break;
        case 'o':
            w.note(r, chSnare, kDrumNote, kSnare, snare * 0.6);
            w.effect(r, chSnare, kSampleOffset, 0x0C);
            break;
        case 'R':
            w.note(r, chSnare, kDrumNote, kSnare, snare * rise);
            w.effect(r, chSnare, kExtended, kRetrig | 2);
            break;
        default: break;
        }
    }
}

// ------------------------------------------------------------------ bass

// Bass roots C2 .. B2.
int bassRoot(const Chord& c) { return placed(c.pitchClass, 36); }

enum class BassStyle {
    whole,    // one long note a chord
    pulse,    // eighths off the kick, an octave jump on the last one of a bar
    rolling,  // sixteenths between the kicks, octave jumps on the offbeats
    synco,    // the second theme: off the broken kick, the octave on the 2
    octaves,  // the top of the climax: root on the offbeat, its octave after
};

// The note that leads into a chord change: a semitone below the next root
// when the bass climbs to it, a whole tone above when it falls, or the next
// chord's fifth when the root stays.
int approach(int from, int to) {
    if (to == from) return to + 7 - 12;
    return to > from ? to - 1 : to + 2;
}

// `next` is the first chord of the following pattern, so the last bar leads
// into it too. Ghost notes start late in the sample (9xx): past the filter's
// opening, so they are darker as well as softer.
void bassLine(Writer& w, const Bars& b, const Chord& next, BassStyle style, double vol) {
    static const char* const shapes[] = {
        "x...............",  // whole
        "..x...x...x...o.",  // pulse: 'o' the octave
        ".gx..gxo.gx..gxo",  // rolling: 'g' ghost
        "..x..x.o..x..x..",  // synco: between the broken kicks
        "..xo..xo..xo..xo",  // octaves
    };
    const char* shape = shapes[static_cast<int>(style)];
    const int span = b.rowsPerChord();
    for (int r = 0; r < kRows; ++r) {
        const Chord& c = b.at(r);
        const int root = bassRoot(c);
        const bool lastOfChord = (r + 1) % span == 0;
        const Chord& following = r + 1 < kRows ? b.at(r + 1) : next;
        const int nextRoot = bassRoot(following);
        const char k = style == BassStyle::whole ? (r % span == 0 ? 'x' : '.') : shape[r % 16];
        if (lastOfChord && style != BassStyle::whole && (r + 1) % 16 == 0) {
            // The last sixteenth of a bar leads into the next chord.
            w.note(r, chBass, noteByte(approach(root, nextRoot)), kBass, vol * 0.8);
            continue;
        }
        if (k == '.') continue;
        if (k == 'x') w.note(r, chBass, noteByte(root), kBass, vol);
        if (k == 'o') w.note(r, chBass, noteByte(root + 12), kBass, vol * 0.85);
        if (k == 'g') {
            w.note(r, chBass, noteByte(root), kBass, vol * 0.55);
            w.effect(r, chBass, kSampleOffset, 0x04);
        }
    }
}

// The sub holds the root a chord at a time and ducks under every kick
// already written (the volume column pulls it down on the kick's row and
// lets it back over the next), so the two never sound at once at full weight.
void subLine(Writer& w, const Bars& b, double vol, bool duck) {
    const int span = b.rowsPerChord();
    for (int r = 0; r < kRows; ++r) {
        const bool kick = duck && w.cell(r, chKick).note != 0;
        const bool after = duck && r > 0 && w.cell(r - 1, chKick).note != 0;
        const double level = vol * (kick ? 0.1 : (after ? 0.45 : 1.0));
        if (r % span == 0)
            w.note(r, chSub, noteByte(bassRoot(b.at(r))), kSub, level);
        else if (kick || after || (r > 1 && w.cell(r - 2, chKick).note != 0))
            w.volume(r, chSub, level);
    }
}

// ------------------------------------------------------------------ pads

// Three pad voices between G3 and E5. Each new chord takes the voicing
// nearest the last one, so the voices move by step, and the last voicing
// carries into the next pattern.
using Voicing = std::array<int, 3>;

Voicing voiceLead(const Chord& c, const Voicing& last) {
    const std::array<int, 3> classes = c.padClasses();
    Voicing best{};
    int bestCost = 1 << 30;
    for (int o0 = 0; o0 < 2; ++o0)
        for (int o1 = 0; o1 < 2; ++o1)
            for (int o2 = 0; o2 < 2; ++o2) {
                Voicing v = {placed(classes[0], 55) + 12 * o0, placed(classes[1], 55) + 12 * o1,
                             placed(classes[2], 55) + 12 * o2};
                std::sort(v.begin(), v.end());
                if (v[2] > 76 || v[0] == v[1] || v[1] == v[2] || v[2] - v[0] > 14) continue;
                int cost = 0;
                for (size_t k = 0; k < 3; ++k) cost += std::abs(v[k] - last[k]);
                if (cost < bestCost) {
                    bestCost = cost;
                    best = v;
                }
            }
    return best;
}

// With pump, the volume ducks under every kick and swells back: the
// sidechain sound of the era, written in the volume column. The voices are
// panned left, centre and right. With `fadeFrom`, the pads fade out from
// that row on, one step a row (a fine volume slide, EB1).
void pads(Writer& w, const Bars& b, double vol, bool pump, Voicing& voicing, int fadeFrom = kRows,
          bool wide = false) {
    static const double duck[4] = {0.3, 0.66, 0.88, 1.0};
    static const int usual[3] = {0x2C, 0x80, 0xD4}, spread[3] = {0x10, 0x80, 0xF0};
    const int* panning = wide ? spread : usual;
    const int span = b.rowsPerChord();
    for (int r = 0; r < kRows; ++r) {
        if (r % span == 0) voicing = voiceLead(b.at(r), voicing);
        for (int k = 0; k < 3; ++k) {
            const int ch = chPad1 + k;
            const double v = vol * (k == 1 ? 0.9 : 1.0);
            const double level = pump ? v * duck[r % 4] : v;
            if (r % span == 0) {
                w.note(r, ch, noteByte(voicing[static_cast<size_t>(k)]), kPad, level);
                w.effect(r, ch, kPanning, panning[k]);
            } else if (r >= fadeFrom) {
                w.effect(r, ch, kExtended, kFineDown | 1);
            } else if (pump) {
                w.volume(r, ch, level);
            }
        }
    }
}

// ------------------------------------------------------------------ arp

// Arp contours as indices into root, third, fifth, octave, tenth, twelfth;
// -1 rests.
using Contour = std::array<int, 16>;
const Contour kArpIntro = {0, 2, 1, 2, 3, 2, 1, 2, 0, 2, 1, 2, 4, 3, 2, 1};
const Contour kArpFullA = {0, -1, 2, 3, -1, 2, 1, -1, 3, -1, 4, 3, -1, 2, 3, -1};
const Contour kArpBreak = {0, -1, 2, -1, 3, -1, 4, -1, 5, -1, 4, -1, 3, -1, 2, -1};
const Contour kArpFullB = {3, -1, 2, -1, 0, -1, 2, 3, -1, 4, -1, 3, 2, -1, 1, -1};
const Contour kArpBuild = {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 4, 2, 3, 4, 5};

// An octave under the lead: roots from F3 to E4.
void arpeggio(Writer& w, const Bars& b, const Contour& contour, int from, int to, double vol) {
    static const double accent[4] = {1.0, 0.6, 0.82, 0.64};
    for (int r = from; r < to; ++r) {
        const int step = contour[static_cast<size_t>(r % 16)];
        if (step < 0) continue;
        const Chord& c = b.at(r);
        const int third = c.third();
        const int tones[6] = {0, third, 7, 12, 12 + third, 19};
        const int root = placed(c.pitchClass, 53);
        w.note(r, chArp, noteByte(root + tones[step]), kPluck, vol * accent[r % 4]);
    }
}

// Chord stabs on the pluck: one note with the arpeggio effect (0xy) running
// through third and fifth at the tick rate, on the offbeats of a 3 + 3 + 2.
void stabs(Writer& w, const Bars& b, double vol) {
    for (int r = 0; r < kRows; ++r) {
        const int s = r % 16;
        if (s != 3 && s != 6 && s != 14) continue;
        const Chord& c = b.at(r);
        w.note(r, chArp, noteByte(placed(c.pitchClass, 60)), kPluck, s == 14 ? vol * 0.7 : vol);
        w.effect(r, chArp, kArpeggio, (c.third() << 4) | 7);
    }
}

// ------------------------------------------------------------------ melody

struct Note {
    int midi;  // -1 rest
    int rows;
};

std::vector<Note> melody(const std::string& text) {
    std::vector<Note> notes;
    std::istringstream in(text);
    std::string token;
    int total = 0;
    while (in >> token) {
        const size_t colon = token.find(':');
        const std::string name = token.substr(0, colon);
        const int rows = std::stoi(token.substr(colon + 1));
        notes.push_back({name == "-" ? -1 : parseMidi(name), rows});
        total += rows;
    }
    if (total != kRows) throw std::runtime_error("melody does not fill the pattern: " + text);
    return notes;
}

// The same line shifted by diatonic degrees in A minor (G# over E major).
std::vector<Note> diatonic(const std::vector<Note>& line, int degrees, const Bars& b) {
    static const int scale[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    std::vector<Note> out;
    int row = 0;
    for (const Note& n : line) {
        Note m = n;
        if (n.midi >= 0) {
            const int pc = n.midi % 12 == 8 ? 7 : n.midi % 12;  // G# counts as G
            int degree = 0;
            while (degree < 7 && scale[degree] != pc) ++degree;
            if (degree == 7) throw std::runtime_error("note outside A minor in a harmonised line");
            const int octave = n.midi / 12 - (pc >= 9 ? 0 : 1);  // octaves counted from A
            int d = degree + degrees;
            int o = octave;
            while (d < 0) {
                d += 7;
                --o;
            }
            while (d >= 7) {
                d -= 7;
                ++o;
            }
            const int target = scale[d];
            m.midi = (o + (target >= 9 ? 0 : 1)) * 12 + target;
            const Chord& c = b.at(row);
            if (target == 7 && c.pitchClass == 4 && !c.minor) m.midi += 1;
        }
        out.push_back(m);
        row += n.rows;
    }
    return out;
}

// The line an octave up, except the notes that would pass C7 (D7 in the
// climax a tone up): a bell up there only whistles, so those stay in unison.
std::vector<Note> octaveUp(std::vector<Note> line) {
    for (Note& n : line)
        if (n.midi >= 0 && n.midi + 12 <= parseMidi("C7")) n.midi += 12;
    return line;
}

// How a line is played: accents by where a note falls and how long it is;
// long notes glide in from the note before (effect 3), swell by a fine
// volume slide (EA), sway from their fourth row on (effect 4) and fall away
// over their last two rows (a volume slide in the volume column); a rest is
// a key-off.
struct Phrasing {
    bool glide = true;
    bool vibrato = true;
    int panning = -1;  // effect 8 on every note, -1 none
    int from = 0, to = kRows;
    int delay = 0;
};

double accent(int row, int rows) {
    double a = row % 16 == 0 ? 1.0 : (row % 4 == 0 ? 0.9 : 0.94);
    if (rows <= 2) a *= 0.74;  // passing notes are ghosted
    return a;
}

void playLine(Writer& w, int ch, int instrument, const std::vector<Note>& notes, double vol, const Phrasing& how) {
    int row = 0;
    int previous = -1;
    for (const Note& n : notes) {
        const int at = row + how.delay;
        row += n.rows;
        const int end = at + n.rows;  // first row of the next note
        if (at < how.from || at >= how.to || at >= kRows) {
            previous = n.midi;
            continue;
        }
        if (n.midi < 0) {
            w.off(at, ch);
            previous = -1;
            continue;
        }
        const bool longNote = n.rows >= 6;
        const double v = vol * accent(at, n.rows) * (longNote && how.vibrato ? 0.85 : 1.0);
        const bool glide = how.glide && longNote && previous >= 0 && std::abs(previous - n.midi) <= 5 &&
                           previous != n.midi;
        if (glide) {
            Cell& c = w.cell(at, ch);
            c.note = static_cast<uint8_t>(noteByte(n.midi));
            c.instrument = 0;
            c.volume = static_cast<uint8_t>(0x10 + Writer::level(v));
            w.effect(at, ch, kTonePorta, 0x18);
        } else {
            w.note(at, ch, noteByte(n.midi), instrument, v);
            if (how.panning >= 0) w.effect(at, ch, kPanning, how.panning);
        }
        if (how.vibrato && longNote) {
            for (int r = at + 1; r < at + 3 && r < kRows && r < how.to; ++r) w.effect(r, ch, kExtended, kFineUp | 3);
            for (int r = at + 3; r < end && r < kRows && r < how.to; ++r)
                w.effect(r, ch, kVibrato, r == at + 3 ? 0x52 : 0);
        }
        if (longNote)
            for (int r = end - 2; r < end && r < kRows && r < how.to; ++r) w.cell(r, ch).volume = kSlideDown + 1;
        previous = n.midi;
    }
}

// The lead and its echo: three rows later, quieter, panned to the other side;
// an echo of level 0 is left out.
void leadWithEcho(Writer& w, int instrument, const std::vector<Note>& line, double vol, double echo, int from = 0,
                  int to = kRows) {
    Phrasing lead;
    lead.from = from;
    lead.to = to;
    playLine(w, chLead, instrument, line, vol, lead);
    if (echo <= 0) return;
    Phrasing e;
    e.glide = false;
    e.vibrato = false;
    e.panning = instrument == kBell ? 200 : 192;
    e.delay = 3;
    e.from = from + 3;
    e.to = to;
    playLine(w, chEcho, instrument, line, echo, e);
}

// ------------------------------------------------------------------ the lines

// The hook, two bars: A5 C6 E6 D6 C6 | E6 C6 A5, 3+3+4+2+4 then 3+3+10.
const char* const kHookFull1 =
    "A5:3 C6:3 E6:4 D6:2 C6:4  E6:3 C6:3 A5:10  G5:3 C6:3 E6:4 D6:2 C6:4  D6:3 B5:3 G5:10";
const char* const kFull2 = "A5:3 C6:3 E6:4 D6:2 C6:4  E6:3 C6:3 F6:6 E6:4  D6:3 B5:3 G5:4 A5:2 B5:4  G#5:3 B5:3 E6:10";
// The answer: longer notes in a dotted rhythm (6+2+8), opening on an F that
// leans onto the E of the A minor chord.
const char* const kAnswer1 = "F6:6 E6:10  A5:8 C6:8  G6:8 E6:8  D6:12 B5:4";
const char* const kAnswer2 = "F6:6 E6:2 C6:8  F5:6 A5:2 C6:8  D6:6 C6:2 B5:8  G#5:4 B5:4 E6:8";
const char* const kTurn1 = "A5:3 C6:3 E6:4 D6:2 C6:4  D6:3 E6:3 G6:10  A6:3 G6:3 E6:4 D6:2 C6:4  E6:3 C6:3 A5:10";
const char* const kTurn2 = "A5:3 C6:3 E6:4 D6:2 C6:4  D6:3 B5:3 G5:4 A5:2 B5:4  G#5:3 B5:3 E6:4 D6:2 B5:4  C6:3 B5:3 A5:10";
const char* const kBreak1 = "A5:3 C6:3 E6:4 D6:2 C6:4  D6:3 B5:3 G5:10  G5:3 B5:3 E6:4 D6:2 B5:4  C6:3 B5:3 A5:10";
const char* const kBreak2 = "F6:3 E6:3 D6:4 C6:2 A5:4  C6:3 E6:3 A5:10  A5:3 C6:3 E6:4 G6:2 E6:4  D6:3 B5:3 G#5:10";
// The second theme, legato, 6+6+4 then 2+2+4+8, over its own progression.
const char* const kThemeB1 = "F5:6 E5:6 D5:4  D5:2 E5:2 G5:4 B5:8  C6:6 B5:6 G5:4  A5:12 -:4";
const char* const kThemeB2 = "A5:6 G5:6 E5:4  G5:2 A5:2 B5:4 E6:8  F6:6 E6:6 D6:4  E6:4 D6:4 B5:4 G#5:4";
const char* const kThemeB3 = "A5:6 C6:6 D6:4  D6:2 E6:2 F6:4 D6:8  E6:6 D6:6 B5:4  C6:4 B5:4 A5:8";
const char* const kThemeB4 = "C6:6 A5:6 F5:4  G5:2 A5:2 B5:4 D6:8  E6:8 D6:4 B5:4  G#5:4 B5:4 E6:8";
const char* const kHigh3 = "C6:3 E6:3 A6:4 G6:2 E6:4  D6:3 B5:3 G5:10  A5:3 C6:3 E6:4 G6:2 E6:4  D6:3 C6:3 A5:10";
const char* const kHigh4 = "A5:3 C6:3 E6:4 D6:2 C6:4  D6:3 G6:3 B6:6 A6:4  G#6:3 E6:3 B5:4 D6:2 E6:4  C6:3 B5:3 A5:6 -:4";
const char* const kIntroHint = "-:32  G5:3 C6:3 E6:10  D6:3 B5:3 G5:10";
const char* const kIntroHook = "A5:3 C6:3 E6:4 D6:2 C6:4  E6:3 C6:3 A5:10  G5:3 C6:3 E6:10  D6:3 B5:3 G5:10";
const char* const kIntroLead = "-:32  A5:3 C6:3 E6:4 D6:2 C6:4  E6:3 C6:3 A5:10";
// The outro: the hook in long notes, then the cadence onto A at row 32.
const char* const kOutro1 = "A5:6 C6:6 E6:4  D6:8 C6:8  B5:6 G5:6 E5:4  A5:16";
const char* const kOutro2 = "F5:6 A5:6 D6:4  B5:8 G#5:8  A5:32";
const char* const kCoda1 = "-:8 E6:8 C6:8 A5:8  -:16 E6:8 A5:8";
const char* const kCoda2 = "-:16 E6:4 D6:4 B5:8  C6:6 B5:2 A5:8  A4:8 -:8";

// ------------------------------------------------------------------ the plan

// What each order position plays. The sections follow the scenes of a
// fixed-seed run (each order lasts 8.96 s): the opening under orders 0-3,
// the first 3D scene from the middle of order 3, the text page at order 10,
// the greetings at 15.5, the cows from 18, the closing at 26.5.
enum class Part {
    intro1,     // pads swell in; the bell hints at the hook at row 32
    intro2,     // hats and arp; the bell states the hook; bass at row 32
    intro3,     // kick and sub enter; the lead at row 32
    build,      // snare roll and riser from `rollFrom`, a double kick into the drop
    full,       // a full section: drums, bass, sub, pads, arp or stabs, lead
    breakdown,  // no drums: pads, sub, long bass, the bell
    outro,      // half-time drums thinning, the hook in long notes
    cadence,    // the final cadence onto A minor at row 32, then pads alone
    coda,       // pads and bell, fading to the loop
};

enum class Second { none, thirds, bellOctave };

// How hard a full section plays: `thin` opens the first theme without clap,
// open hats or echo; `settled` has them all but the echo; `peak` is the top
// of the climax, with its own kick, clap and bass.
enum class Energy { normal, thin, settled, peak };

struct Order {
    Part part;
    const char* chords;
    const char* line;  // the lead's line, or the bell's in the breakdown and coda
    int transpose;     // semitones: the last climax sits a tone up
    int fill;          // index into kFills, -1 none
    Second second;
    bool theme2;       // the second theme's groove: broken kick, swing, stabs
    int rollFrom;      // builds only
    Energy energy;
};

const Order kPlan[] = {
    // 0-3: the opening title
    {Part::intro1, "Am F C G", kIntroHint, 0, -1, Second::none, false, 0, Energy::normal},
    {Part::intro2, "Am F C G", kIntroHook, 0, -1, Second::none, false, 0, Energy::normal},
    {Part::intro3, "Amadd9 Fmaj7 C G", kIntroLead, 0, -1, Second::none, false, 0, Energy::normal},
    {Part::build, "Am Am F F G G Esus4 E", nullptr, 0, -1, Second::none, false, 32, Energy::normal},
    // 4-9: the first full section under the sphere and the glob
    {Part::full, "Am F C G", kHookFull1, 0, -1, Second::none, false, 0, Energy::thin},
    {Part::full, "Am F G E", kFull2, 0, 0, Second::none, false, 0, Energy::thin},
    {Part::full, "Am7 F C G", kAnswer1, 0, -1, Second::none, false, 0, Energy::settled},
    {Part::full, "Am F G E", kAnswer2, 0, 1, Second::none, false, 0, Energy::settled},
    {Part::full, "Fmaj7 G Am Am7", kTurn1, 0, -1, Second::bellOctave, false, 0, Energy::normal},
    {Part::full, "Fmaj7 G E Am", kTurn2, 0, 2, Second::thirds, false, 0, Energy::normal},
    // 10-11: the breakdown under the first text page and the magnolia
    {Part::breakdown, "Fmaj7 G Em7 Amadd9", kBreak1, 0, -1, Second::none, false, 0, Energy::normal},
    {Part::breakdown, "Dm7 Am7 Fmaj7 Esus4", kBreak2, 0, -1, Second::none, false, 0, Energy::normal},
    // 12-16: the second theme, leaving the loop for ii-V-I in C
    {Part::build, "Dm7 Dm7 G7 G7 Cmaj7 Cmaj7 E7 E7", nullptr, 0, -1, Second::none, false, 16, Energy::normal},
    {Part::full, "Dm7 G7 Cmaj7 Am7", kThemeB1, 0, -1, Second::none, true, 0, Energy::normal},
    {Part::full, "Fmaj7 Fmaj7 Em7 Em7 Dm7 Dm7 Esus4 E", kThemeB2, 0, 3, Second::none, true, 0, Energy::normal},
    {Part::full, "Dm7 G7 Cmaj7 Am7", kThemeB3, 0, -1, Second::bellOctave, true, 0, Energy::normal},
    {Part::full, "Fmaj7 G Esus4 E", kThemeB4, 0, 4, Second::none, true, 0, Energy::normal},
    // 17: the lift into B minor under the last pictures
    {Part::build, "F F G G Gsus2 A F#sus4 F#", nullptr, 0, -1, Second::none, false, 32, Energy::normal},
    // 18-24: the last climax, a tone up, under the cows, the spring, the teddy
    {Part::full, "Am F C G", kHookFull1, 2, -1, Second::thirds, false, 0, Energy::normal},
    {Part::full, "Am F G E", kFull2, 2, 5, Second::bellOctave, false, 0, Energy::normal},
    {Part::full, "Dm7 G7 Cmaj7 Am7", kThemeB1, 2, -1, Second::bellOctave, true, 0, Energy::normal},
    {Part::full, "Fmaj7 Fmaj7 Em7 Em7 Dm7 Dm7 Esus4 E", kThemeB2, 2, 6, Second::thirds, true, 0, Energy::normal},
    {Part::full, "Am F C G", kHigh3, 2, -1, Second::thirds, false, 0, Energy::peak},
    {Part::full, "Am F G E", kHigh4, 2, 7, Second::bellOctave, false, 0, Energy::peak},
    {Part::full, "Fmaj7 G Em7 Am", kBreak1, 2, 8, Second::thirds, false, 0, Energy::normal},
    // 25-26: the outro, back home in A minor; the cadence meets the closing
    {Part::outro, "Fmaj7 G Em7 Am", kOutro1, 0, -1, Second::none, false, 0, Energy::normal},
    {Part::cadence, "Dm7 E7 Amadd9 Amadd9", kOutro2, 0, -1, Second::none, false, 0, Energy::normal},
    // 27-28: the coda under the closing title, fading into the loop
    {Part::coda, "Amadd9 Fmaj7 Amadd9 Fmaj7", kCoda1, 0, -1, Second::none, false, 0, Energy::normal},
    {Part::coda, "Fmaj7 E7 Am Am", kCoda2, 0, -1, Second::none, false, 0, Energy::normal},
};
constexpr int kOrders = static_cast<int>(sizeof kPlan / sizeof kPlan[0]);
constexpr int kRestart = 0;  // the coda fades into the intro's swell

// ------------------------------------------------------------------ sections

struct Context {
    Levels l;
    Voicing voicing = {57, 60, 64};  // A3 C4 E4
};

// On the last beat before a drop the pads and bass are cut (C00) and the
// kick doubles on the last two sixteenths.
void dropIn(Writer& w, double kick) {
    for (int ch : {chPad1, chPad2, chPad3, chBass, chSub}) {
        w.clear(60, kRows, ch);
        w.effect(60, ch, kSetVolume, 0);
    }
    w.clear(56, kRows, chKick);
    w.note(62, chKick, kDrumNote, kKick, kick * 0.8);
    w.note(63, chKick, kDrumNote, kKick, kick * 0.95);
}

void intro1(Writer& w, Context& ctx, const Bars& b, const Order& o) {
    const Levels& l = ctx.l;
    w.effect(0, chKick, kSetSpeed, 7);
    w.effect(0, chSnare, kSetSpeed, 125);
    pads(w, b, l.pad * 1.2, false, ctx.voicing);
    // The first chord swells in from nothing in steps of the volume column.
    for (int k = 0; k < 3; ++k)
        for (int r = 0; r < 16; r += 2) w.volume(r, chPad1 + k, l.pad * 1.2 * (r + 2) / 16.0);
    Phrasing bell;
    bell.glide = false;
    bell.vibrato = false;
    playLine(w, chLead, kBell, melody(o.line), l.bell * 0.9, bell);
    Phrasing echo = bell;
    echo.delay = 3;
    echo.panning = 190;
    playLine(w, chEcho, kBell, melody(o.line), l.echo, echo);
}

void intro2(Writer& w, Context& ctx, const Bars& b, const Order& o, const Chord& next) {
    const Levels& l = ctx.l;
    pads(w, b, l.pad * 1.2, false, ctx.voicing);
    offbeatHats(w, 0, kRows, l.hats * 0.6);
    arpeggio(w, b, kArpIntro, 0, kRows, l.arp * 0.7);
    leadWithEcho(w, kBell, melody(o.line), l.bell, l.echo);
    bassLine(w, b, next, BassStyle::whole, l.bass * 0.8);
    w.clear(0, 32, chBass);
    w.note(62, chSnare, kDrumNote, kSnare, l.snare * 0.3);
    w.note(63, chSnare, kDrumNote, kSnare, l.snare * 0.45);
}

void intro3(Writer& w, Context& ctx, const Bars& b, const Order& o, const Chord& next) {
    const Levels& l = ctx.l;
    for (int bar = 0; bar < 4; ++bar) kickBar(w, bar, bar == 3 ? kPushed : kFourFloor, l.kick * 0.75);
    hats16(w, 0, kRows, l.hats * 0.7, true);
    backbeat(w, 32, kRows, l.clap * 0.8);
    bassLine(w, b, next, BassStyle::pulse, l.bass * 0.85);
    subLine(w, b, l.sub * 0.8, true);
    w.clear(0, 32, chSub);
    pads(w, b, l.pad, true, ctx.voicing);
    arpeggio(w, b, kArpIntro, 0, kRows, l.arp * 0.7);
    leadWithEcho(w, kLead, melody(o.line), l.lead * 0.8, l.echo);
}

void build(Writer& w, Context& ctx, const Bars& b, const Order& o, const Chord& next) {
    const Levels& l = ctx.l;
    for (int bar = 0; bar < 4; ++bar) kickBar(w, bar, kFourFloor, l.kick * 0.85);
    hats16(w, 0, kRows, l.hats * 0.8, false);
    bassLine(w, b, next, BassStyle::rolling, l.bass * 0.85);
    subLine(w, b, l.sub * 0.8, true);
    pads(w, b, l.pad, true, ctx.voicing);
    arpeggio(w, b, kArpBuild, 0, kRows, l.arp * 0.85);
    backbeat(w, o.rollFrom > 16 ? o.rollFrom - 16 : 0, o.rollFrom, l.clap * 0.85);
    snareRoll(w, o.rollFrom, 12, l.snare * 1.1);
    riser(w, o.rollFrom, 10, 34);
    dropIn(w, l.kick);
}

void full(Writer& w, Context& ctx, const Bars& b, const Order& o, const Chord& next, bool firstOfSection) {
    const Levels& l = ctx.l;
    const bool climax = o.transpose != 0;
    const bool peak = o.energy == Energy::peak, thin = o.energy == Energy::thin;
    const double lift = climax ? 1.2 : 1.0;
    for (int bar = 0; bar < 4; ++bar) {
        const char* shape = o.theme2 ? kBroken : (bar == 1 || bar == 3 ? kPushed : kFourFloor);
        if (peak) shape = bar == 3 ? kPushed : kDriving;
        // The third bar of the turn drops its kick: a breath before the fill.
        if (o.fill == 2 && bar == 2) continue;
        kickBar(w, bar, shape, l.kick * lift);
    }
    if (climax || o.theme2) ghostSnares(w, 0, kRows, l.snare * 0.36);
    backbeat(w, 0, kRows, l.clap * lift, true, !thin);
    // At the top of the climax a second clap pushes into every other bar.
    if (peak)
        for (int r = 30; r < kRows; r += 32) w.note(r, chClap, kDrumNote, kClap, l.clap * 0.6);
    hats16(w, 0, kRows, l.hats * lift, o.theme2 || o.second != Second::none, !thin);
    if (climax) percLayer(w, l.perc);
    if (o.fill >= 0) fill(w, o.fill, l.kick, l.snare * 1.1);
    const BassStyle style = o.theme2 ? BassStyle::synco
                            : peak   ? BassStyle::octaves
                            : climax ? BassStyle::rolling
                                     : BassStyle::pulse;
    bassLine(w, b, next, style, l.bass * lift);
    subLine(w, b, l.sub * lift, true);
    pads(w, b, l.pad * lift, true, ctx.voicing, kRows, climax);
    if (o.theme2)
        stabs(w, b, l.arp * 1.1);
    else
        arpeggio(w, b, climax ? kArpFullB : kArpFullA, 0, kRows, l.arp);
    // In the climax the arp bounces between left and right, a note each.
    if (climax && !o.theme2) {
        bool left = true;
        for (int r = 0; r < kRows; ++r)
            if (w.cell(r, chArp).note != 0) {
                w.effect(r, chArp, kPanning, left ? 0x30 : 0xD0);
                left = !left;
            }
    }
    const std::vector<Note> line = melody(o.line);
    const int to = o.fill >= 0 ? 60 : kRows;
    const bool echo = o.energy != Energy::thin && o.energy != Energy::settled;
    leadWithEcho(w, kLead, line, l.lead * lift, echo ? l.echo : 0, 0, to);
    Phrasing second;
    second.to = to;
    second.panning = 64;
    if (o.second == Second::thirds) {
        second.vibrato = false;
        playLine(w, chCounter, kLead, diatonic(line, -2, b), l.counter, second);
    } else if (o.second == Second::bellOctave) {
        second.glide = false;
        second.vibrato = false;
        playLine(w, chCounter, kBell, octaveUp(line), l.bell * 0.7, second);
    }
    if (firstOfSection) crash(w, 0, 40);
}

void breakdown(Writer& w, Context& ctx, const Bars& b, const Order& o, const Chord& next, bool second) {
    const Levels& l = ctx.l;
    if (!second) crash(w, 0, 34);
    if (second) offbeatHats(w, 32, kRows, l.hats * 0.5);
    pads(w, b, l.pad * 0.9, false, ctx.voicing);
    bassLine(w, b, next, BassStyle::whole, l.bass * 0.45);
    subLine(w, b, l.sub * 0.35, false);
    arpeggio(w, b, kArpBreak, 0, kRows, l.arp * 0.7);
    leadWithEcho(w, kBell, melody(o.line), l.bell * 0.9, l.echo);
    if (second) {
        // A counter line on the pluck answers the bell in the last bar.
        w.note(56, chCounter, noteByte(parseMidi("E5")), kPluck, l.arp * 0.7);
        w.note(58, chCounter, noteByte(parseMidi("G#5")), kPluck, l.arp * 0.6);
        w.note(60, chCounter, noteByte(parseMidi("B5")), kPluck, l.arp * 0.7);
        w.note(62, chCounter, noteByte(parseMidi("D6")), kPluck, l.arp * 0.8);
    }
}

void outro(Writer& w, Context& ctx, const Bars& b, const Order& o, const Chord& next) {
    const Levels& l = ctx.l;
    for (int bar = 0; bar < 4; ++bar) kickBar(w, bar, kHalfTime, l.kick * 0.9);
    for (int r = 8; r < kRows; r += 16) w.note(r, chClap, kDrumNote, kClap, l.clap * 0.9);
    offbeatHats(w, 0, kRows, l.hats * 0.6);
    bassLine(w, b, next, BassStyle::pulse, l.bass * 0.8);
    subLine(w, b, l.sub * 0.85, true);
    pads(w, b, l.pad, true, ctx.voicing);
    arpeggio(w, b, kArpBreak, 0, kRows, l.arp * 0.8);
    leadWithEcho(w, kLead, melody(o.line), l.lead * 0.9, l.echo);
    Phrasing bell;
    bell.glide = false;
    bell.vibrato = false;
    bell.panning = 72;
    playLine(w, chCounter, kBell, octaveUp(melody(o.line)), l.bell * 0.6, bell);
}

void cadence(Writer& w, Context& ctx, const Bars& b, const Order& o, const Chord& next) {
    const Levels& l = ctx.l;
    kickBar(w, 0, kHalfTime, l.kick * 0.85);
    kickBar(w, 1, "x.......x...x.x.", l.kick * 0.85);
    w.note(8, chClap, kDrumNote, kClap, l.clap * 0.8);
    w.note(24, chClap, kDrumNote, kClap, l.clap * 0.8);
    offbeatHats(w, 0, 32, l.hats * 0.5);
    // The cadence: kick, crash and the tonic together on row 32, then only
    // the chord ringing out.
    w.note(32, chKick, kDrumNote, kKick, l.kick);
    crash(w, 32, 44);
    bassLine(w, b, next, BassStyle::whole, l.bass * 0.8);
    subLine(w, b, l.sub * 0.8, false);
    pads(w, b, l.pad, false, ctx.voicing, 48);
    leadWithEcho(w, kLead, melody(o.line), l.lead * 0.9, l.echo);
    Phrasing bell;
    bell.glide = false;
    bell.vibrato = false;
    playLine(w, chCounter, kBell, octaveUp(melody(o.line)), l.bell * 0.6, bell);
    w.off(48, chBass);
}

void coda(Writer& w, Context& ctx, const Bars& b, const Order& o, bool last) {
    const Levels& l = ctx.l;
    pads(w, b, l.pad * (last ? 0.9 : 1.0), false, ctx.voicing, last ? 33 : kRows);
    subLine(w, b, l.sub * 0.4, false);
    if (!last) arpeggio(w, b, kArpBreak, 0, kRows, l.arp * 0.55);
    Phrasing bell;
    bell.glide = false;
    bell.vibrato = false;
    playLine(w, chLead, kBell, melody(o.line), l.bell * 0.7, bell);
    Phrasing echo = bell;
    echo.delay = 3;
    echo.panning = 190;
    playLine(w, chEcho, kBell, melody(o.line), l.echo, echo);
    if (last) {
        // The last chord is the tonic: the sub leaves at row 40, the pads
        // fade from the chord's second row, the last held row 48 keeps them
        // fading instead of striking again, and the bell rings on alone,
        // an octave down on row 48, dying away from row 53. Every channel is keyed off at row 56, so
        // the pass ends in silence and the intro swells in from it.
        constexpr int kTonic = 32, kAlone = 53, kSilent = 56;
        w.off(40, chSub);
        w.clear(41, kRows, chSub);
        for (int ch : {chPad1, chPad2, chPad3})
            for (int r = kTonic + 16; r < kSilent; ++r) {
                w.cell(r, ch) = Cell{};
                w.effect(r, ch, kExtended, kFineDown | 1);
            }
        for (int ch : {chLead, chEcho})
            for (int r = kAlone; r < kSilent; ++r) w.cell(r, ch).volume = kSlideDown + 1;
        for (int ch = 0; ch < kChannels; ++ch) {
            w.clear(kSilent, kRows, ch);
            w.off(kSilent, ch);
        }
    }
}

// Moves every pitched note of the tonal channels by `semitones`.
void transpose(Pattern& p, int semitones) {
    if (!semitones) return;
    for (int r = 0; r < p.rows; ++r)
        for (int ch : {chBass, chSub, chPad1, chPad2, chPad3, chArp, chLead, chEcho, chCounter}) {
            Cell& c = p.at(r, ch);
            if (c.note >= 1 && c.note <= 96) c.note = static_cast<uint8_t>(c.note + semitones);
        }
}

}  // namespace

Module composeKestrula() {
    Module m;
    m.name = "kestrula";
    m.tracker = "vorna musicgen";
    m.channels = kChannels;
    m.speed = 7;
    m.bpm = 125;
    m.linear = true;
    m.restart = kRestart;
    m.instruments = makeInstruments();

    Context ctx;
    for (int i = 0; i < kOrders; ++i) {
        const Order& o = kPlan[i];
        const Bars b = bars(o.chords);
        const Order& following = kPlan[(i + 1) % kOrders];
        Chord next = bars(following.chords).chords[0];
        next.pitchClass = (next.pitchClass + following.transpose - o.transpose + 12) % 12;
        // A crash marks where a new section begins.
        const bool newSection = i > 0 && (kPlan[i - 1].part != o.part || kPlan[i - 1].theme2 != o.theme2 ||
                                          kPlan[i - 1].transpose != o.transpose);
        Pattern p(kRows, kChannels);
        Writer w{p};
        // The pads voice-lead in the key they sound in.
        if (i > 0 && o.transpose != kPlan[i - 1].transpose)
            for (int& v : ctx.voicing) v -= o.transpose - kPlan[i - 1].transpose;
        switch (o.part) {
        case Part::intro1: intro1(w, ctx, b, o); break;
        case Part::intro2: intro2(w, ctx, b, o, next); break;
        case Part::intro3: intro3(w, ctx, b, o, next); break;
        case Part::build: build(w, ctx, b, o, next); break;
        case Part::full: full(w, ctx, b, o, next, newSection); break;
        case Part::breakdown: breakdown(w, ctx, b, o, next, kPlan[i - 1].part == Part::breakdown); break;
        case Part::outro: outro(w, ctx, b, o, next); break;
        case Part::cadence: cadence(w, ctx, b, o, next); break;
        case Part::coda: coda(w, ctx, b, o, i + 1 == kOrders); break;
        }
        transpose(p, o.transpose);
        m.patterns.push_back(std::move(p));
        m.orders.push_back(static_cast<uint8_t>(i));
    }
    return m;
}

}  // namespace musicgen
