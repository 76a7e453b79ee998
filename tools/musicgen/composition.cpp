#include "composition.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>

#include "instruments.h"

namespace musicgen {

namespace {

constexpr int kRows = 64;
constexpr int kChannels = 12;
enum Channel { chKick, chSnare, chHats, chPerc, chBass, chPad1, chPad2, chPad3, chArp, chLead, chEcho, chCounter };

constexpr uint8_t kTonePorta = 0x03;  // effect 3
constexpr uint8_t kVibrato = 0x04;    // effect 4
constexpr uint8_t kPanning = 0x08;    // effect 8
constexpr uint8_t kSetVolume = 0x0C;  // effect C
constexpr uint8_t kExtended = 0x0E;   // effect E, sub-command in the high nibble
constexpr int kRetrigTwice = 0x94;    // E94: at speed 7, a second hit on tick 4
constexpr uint8_t kSetSpeed = 0x0F;   // effect F

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

struct Chord {
    int pitchClass;
    bool minor;
};

Chord chord(const std::string& name) {
    const bool minor = name.size() > 1 && name.back() == 'm';
    const int midi = parseMidi(name.substr(0, minor ? name.size() - 1 : name.size()) + "4");
    return {midi % 12, minor};
}

// The pitch of a pitch class placed in [low, low + 11].
int placed(int pitchClass, int low) { return low + ((pitchClass - low) % 12 + 12) % 12; }

using Bars = std::array<Chord, 4>;

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
};

Pattern blank() { return Pattern(kRows, kChannels); }

// ------------------------------------------------------------------ levels

struct Levels {
    double kick = 50, clap = 54, snare = 48, hats = 64, perc = 44, bass = 32, pad = 36, arp = 36, lead = 55,
           bell = 40, echo = 15, counter = 34;
};

// ------------------------------------------------------------------ drums

void kicks(Writer& w, int from, int to, double vol) {
    for (int r = from; r < to; r += 4) w.note(r, chKick, kDrumNote, kKick, vol);
}

void claps(Writer& w, int from, int to, double vol) {
    for (int r = from; r < to; ++r)
        if (r % 16 == 4 || r % 16 == 12) w.note(r, chSnare, kDrumNote, kClap, vol);
}

// Ghost claps on the last sixteenth of the second beat and the third
// sixteenth of the fourth: the groove of the first section's second half.
void ghostClaps(Writer& w, double vol) {
    for (int r = 0; r < kRows; ++r)
        if (r % 16 == 7 || r % 16 == 14) w.note(r, chSnare, kDrumNote, kClap, vol);
}

// Ghost snares just before the backbeat and on the last sixteenth of a bar.
void ghostSnares(Writer& w, int from, int to, double vol) {
    for (int r = from; r < to; ++r)
        if (r % 16 == 10 || r % 16 == 15) w.note(r, chSnare, kDrumNote, kSnare, vol);
}

// Snare hits from `from` to the end of the pattern, thickening from
// quarters through eighths to sixteenths and rising in volume.
void snareRoll(Writer& w, int from, double vol0, double vol1) {
    for (int r = from; r < kRows; ++r) {
        const int left = kRows - r;
        const int step = left > 16 ? 4 : (left > 8 ? 2 : 1);
        if ((r - from) % step != 0 && left > 8) continue;
        const double t = static_cast<double>(r - from) / (kRows - 1 - from);
        w.note(r, chSnare, kDrumNote, kSnare, vol0 + (vol1 - vol0) * t);
    }
}

// The last two beats of the pattern: a snare run.
void snareFill(Writer& w, double vol) {
    for (int r = 56; r < 64; ++r) {
        Cell& c = w.cell(r, chSnare);
        c = Cell{};
        if (r < 60 && r % 2) continue;
        w.note(r, chSnare, kDrumNote, kSnare, vol * (0.55 + 0.06 * (r - 56)));
    }
}

// The last two beats: the kick turned into falling toms, claps between.
void tomFill(Writer& w, double vol) {
    static const int toms[4] = {kDrumNote + 12, kDrumNote + 9, kDrumNote + 5, kDrumNote + 2};
    for (int r = 56; r < 64; ++r) {
        w.cell(r, chKick) = Cell{};
        w.cell(r, chSnare) = Cell{};
    }
    for (int k = 0; k < 4; ++k) w.note(56 + 2 * k, chKick, toms[k], kKick, vol * (0.62 + 0.05 * k));
    w.note(61, chSnare, kDrumNote, kSnare, vol * 0.5);
    w.note(63, chSnare, kDrumNote, kSnare, vol * 0.65);
}

constexpr int kClosedHat = kDrumNote - 12, kOpenHat = kDrumNote;

void offbeatHats(Writer& w, int from, int to, double vol) {
    for (int r = from; r < to; ++r)
        if (r % 4 == 2) w.note(r, chHats, kOpenHat, kHats, vol);
}

void sixteenthHats(Writer& w, int from, int to, double vol) {
    static const double accent[4] = {0.7, 0.5, 1.0, 0.62};
    for (int r = from; r < to; ++r) w.note(r, chHats, r % 4 == 2 ? kOpenHat : kClosedHat, kHats, vol * accent[r % 4]);
}

// The first half of the first full section: open hats on the offbeats and a
// closed one on each beat, room left for the section to grow into.
void thinHats(Writer& w, double vol) {
    for (int r = 0; r < kRows; r += 2) w.note(r, chHats, r % 4 == 2 ? kOpenHat : kClosedHat, kHats, r % 4 ? vol : vol * 0.5);
}

// The climax: sixteenths with an open hat pushed onto the last sixteenth of
// the second and fourth beats of each bar, and a doubled hit (E94) leading
// into every bar.
void drivingHats(Writer& w, double vol) {
    sixteenthHats(w, 0, kRows, vol);
    for (int r = 0; r < kRows; ++r) {
        const int s = r % 16;
        if (s == 7 || s == 15) w.note(r, chHats, kOpenHat, kHats, vol * 0.8);
        if (s == 15) w.effect(r, chHats, kExtended, kRetrigTwice);
    }
}

// The second full section's extra layer: closed hats in threes against the
// beat, panned away from the main hats.
void percLayer(Writer& w, double vol) {
    for (int r = 2; r < kRows; ++r) {
        const int s = r % 16;
        if (s != 2 && s != 5 && s != 8 && s != 11 && s != 14) continue;
        w.note(r, chPerc, kClosedHat, kHats, s == 8 ? vol : vol * 0.7);
        w.effect(r, chPerc, kPanning, 200);
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

void crash(Writer& w, double vol) { w.note(0, chPerc, kDrumNote, kCrash, vol); }

// ------------------------------------------------------------------ harmony

// Bass roots C2 .. B2: the sub below 60 Hz is left to the kick.
int bassRoot(const Chord& c) { return noteByte(placed(c.pitchClass, 36)); }

// Sixteenths between the kicks on the root, accented on the offbeat, or with
// the gallop on the first sixteenth after the kick. The bass stays below C3:
// an octave jump would land in the pads' lowest voice and thicken the mud.
void rollingBass(Writer& w, const Bars& bars, double vol, bool gallop) {
    static const double offbeat[4] = {0, 0.78, 1.0, 0.86}, galloping[4] = {0, 1.0, 0.8, 0.9};
    const double* accent = gallop ? galloping : offbeat;
    for (int r = 0; r < kRows; ++r) {
        const int s = r % 4;
        if (s == 0) continue;
        w.note(r, chBass, bassRoot(bars[r / 16]), kBass, vol * accent[s]);
    }
}

void longBass(Writer& w, const Bars& bars, int from, double vol) {
    for (int r = from; r < kRows; r += 8) w.note(r, chBass, bassRoot(bars[r / 16]), kBass, r % 16 ? vol * 0.75 : vol);
}

// Triads in open position: a close triad between G3 and C5, each chord taking
// the inversion nearest the last so the voices move by step, with its middle
// voice lifted an octave, so the chord spans more than an octave above the
// bass instead of sitting in a block on top of it.
using Voicing = std::array<int, 3>;

Voicing voiceLead(const Chord& c, const Voicing& last) {
    const int third = c.minor ? 3 : 4;
    const int classes[3] = {c.pitchClass, (c.pitchClass + third) % 12, (c.pitchClass + 7) % 12};
    Voicing best{};
    int bestCost = 1 << 30;
    for (int low = 55; low <= 63; ++low) {
        Voicing v{};
        for (int k = 0; k < 3; ++k) v[static_cast<size_t>(k)] = placed(classes[k], low);
        std::sort(v.begin(), v.end());
        if (v[2] > 72) continue;
        v[1] += 12;
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
// sidechain sound of the era, written in the volume column. The lowest voice
// is panned left, the one above it right, and the lifted voice stays centre.
Voicing pads(Writer& w, const Bars& bars, double vol, bool pump, Voicing last, bool deep = false) {
    static const double light[4] = {0.4, 0.68, 0.88, 1.0}, heavy[4] = {0.25, 0.6, 0.86, 1.0};
    const double* duck = deep ? heavy : light;
    static const int panning[3] = {0x48, 0x80, 0xB8};
    for (int bar = 0; bar < 4; ++bar) {
        last = voiceLead(bars[static_cast<size_t>(bar)], last);
        for (int k = 0; k < 3; ++k) {
            const int ch = chPad1 + k;
            const double v = vol * (k == 1 ? 0.9 : 1.0);
            for (int r = bar * 16; r < bar * 16 + 16; ++r) {
                const double level = pump ? v * duck[r % 4] : v;
                if (r % 16 == 0) {
                    w.note(r, ch, noteByte(last[static_cast<size_t>(k)]), kPad, level);
                    w.effect(r, ch, kPanning, panning[k]);
                } else if (pump)
                    w.volume(r, ch, level);
            }
        }
    }
    return last;
}

// Arp contours, one per section, as indices into root, third, fifth, octave,
// tenth, twelfth; -1 rests (the thinned eighths under the lead).
using Contour = std::array<int, 16>;
const Contour kArpIntro = {0, 2, 1, 2, 3, 2, 1, 2, 0, 2, 1, 2, 4, 3, 2, 1};
const Contour kArpFullA = {0, -1, 2, 3, -1, 2, 1, -1, 3, -1, 4, 3, -1, 2, 3, -1};
const Contour kArpBreak = {0, -1, 2, -1, 3, -1, 4, -1, 5, -1, 4, -1, 3, -1, 2, -1};
const Contour kArpFullB = {3, -1, 2, -1, 0, -1, 2, 3, -1, 4, -1, 3, 2, -1, 1, -1};
const Contour kArpBuild = {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 4, 2, 3, 4, 5};

// An octave under the lead: roots from F3 to E4.
void arpeggio(Writer& w, const Bars& bars, const Contour& contour, int from, int to, double vol) {
    static const double accent[4] = {1.0, 0.6, 0.82, 0.64};
    for (int r = from; r < to; ++r) {
        const int step = contour[static_cast<size_t>(r % 16)];
        if (step < 0) continue;
        const Chord& c = bars[static_cast<size_t>(r / 16)];
        const int third = c.minor ? 3 : 4;
        const int tones[6] = {0, third, 7, 12, 12 + third, 19};
        const int root = placed(c.pitchClass, 53);
        w.note(r, chArp, noteByte(root + tones[step]), kPluck, vol * accent[r % 4]);
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
std::vector<Note> diatonic(const std::vector<Note>& line, int degrees, const Bars& bars) {
    static const int scale[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    std::vector<Note> out;
    int row = 0;
    for (const Note& n : line) {
        Note m = n;
        if (n.midi >= 0) {
            const int pc = n.midi % 12 == 8 ? 7 : n.midi % 12;  // G# counts as G
            int degree = 0;
            while (scale[degree] != pc) ++degree;
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
            const Chord& c = bars[static_cast<size_t>(row / 16)];
            if (target == 7 && c.pitchClass == 4 && !c.minor) m.midi += 1;
        }
        out.push_back(m);
        row += n.rows;
    }
    return out;
}

// The line an octave up, except the notes that would pass E7: a bell up
// there only whistles, so those stay in unison.
std::vector<Note> octaveUp(std::vector<Note> line) {
    for (Note& n : line)
        if (n.midi >= 0 && n.midi + 12 <= parseMidi("E7")) n.midi += 12;
    return line;
}

// How a line is played: accents by where a note falls and how long it is;
// long notes glide in from the note before (effect 3), sway from their
// fourth row on (effect 4) and fall away over their last two rows (a volume
// slide in the volume column); a rest is a key-off.
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
        if (at < how.from || at >= how.to) {
            previous = n.midi;
            continue;
        }
        if (n.midi < 0) {
            w.off(at, ch);
            previous = -1;
            continue;
        }
        const double v = vol * accent(at, n.rows);
        const bool glide = how.glide && n.rows >= 6 && previous >= 0 && std::abs(previous - n.midi) <= 5 &&
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
        if (how.vibrato && n.rows >= 6)
            for (int r = at + 3; r < end && r < kRows && r < how.to; ++r) w.effect(r, ch, kVibrato, r == at + 3 ? 0x52 : 0);
        if (n.rows >= 6)
            for (int r = end - 2; r < end && r < kRows && r < how.to; ++r) w.cell(r, ch).volume = kSlideDown + 1;
        previous = n.midi;
    }
}

// The lead and its echo: three rows later, quieter, panned to the other side.
void leadWithEcho(Writer& w, int instrument, const std::vector<Note>& line, double vol, double echo, int from = 0,
                  int to = kRows) {
    Phrasing lead;
    lead.from = from;
    lead.to = to;
    playLine(w, chLead, instrument, line, vol, lead);
    Phrasing e;
    e.glide = false;
    e.vibrato = false;
    e.panning = instrument == kBell ? 190 : 176;
    e.delay = 3;
    e.from = from + 3;
    e.to = to;
    playLine(w, chEcho, instrument, line, echo, e);
}

const char* const kHookA = "A5:3 C6:3 E6:4 D6:2 C6:4  E6:3 C6:3 A5:10  ";
const char* const kFull1 = "G5:3 C6:3 E6:4 D6:2 C6:4  D6:3 B5:3 G5:10";
const char* const kFull2 = "A5:3 C6:3 E6:4 D6:2 C6:4  E6:3 C6:3 F6:6 E6:4  D6:3 B5:3 G5:4 A5:2 B5:4  G#5:3 B5:3 E6:10";
// The answer in the second half of the first full section: longer notes in a
// dotted rhythm (6+2+8) instead of the hook's 3+3+4+2+4, opening on an F
// that leans onto the E of the A minor chord.
const char* const kAnswer1 = "F6:6 E6:10  A5:8 C6:8  G6:8 E6:8  D6:12 B5:4";
const char* const kAnswer2 = "F6:6 E6:2 C6:8  F5:6 A5:2 C6:8  D6:6 C6:2 B5:8  G#5:4 B5:4 E6:8";
const char* const kBreak = "A5:3 C6:3 E6:4 D6:2 C6:4  D6:3 B5:3 G5:10  G5:3 B5:3 E6:4 D6:2 B5:4  C6:3 B5:3 A5:10";
const char* const kHigh1 = "A5:3 C6:3 E6:4 D6:2 C6:4  D6:3 E6:3 G6:10  A6:3 G6:3 E6:4 D6:2 C6:4  E6:3 C6:3 A5:10";
const char* const kHigh2 = "A5:3 C6:3 E6:4 D6:2 C6:4  D6:3 B5:3 G5:4 A5:2 B5:4  G#5:3 B5:3 E6:4 D6:2 B5:4  C6:3 B5:3 A5:10";
const char* const kHigh3 = "C6:3 E6:3 A6:4 G6:2 E6:4  D6:3 B5:3 G5:10  A5:3 C6:3 E6:4 G6:2 E6:4  D6:3 C6:3 A5:10";
const char* const kHigh4 = "A5:3 C6:3 E6:4 D6:2 C6:4  D6:3 G6:3 B6:6 A6:4  G#6:3 E6:3 B5:4 D6:2 E6:4  C6:3 B5:3 A5:6 -:4";
const char* const kIntroHint = "-:32  G5:3 C6:3 E6:10  D6:3 B5:3 G5:10";
const char* const kIntroHook = "A5:3 C6:3 E6:4 D6:2 C6:4  E6:3 C6:3 A5:10  G5:3 C6:3 E6:10  D6:3 B5:3 G5:10";
const char* const kBridgeHook = "A5:3 C6:3 E6:4 D6:2 C6:4  E6:3 C6:3 A5:10  D6:3 F6:3 A6:10  -:16";

// ------------------------------------------------------------------ sections

const Voicing kStartVoicing = {57, 72, 64};  // A3 C5 E4: the middle voice lifted

// The lead-in shared by both builds and the bridge: on the last beat the
// kick drops out and pads and bass are cut (C00), leaving arp, roll and riser.
void dropIn(Writer& w) {
    for (int ch : {chPad1, chPad2, chPad3, chBass})
        for (int r = 60; r < kRows; ++r) w.p.at(r, ch) = Cell{};
    for (int ch : {chPad1, chPad2, chPad3, chBass}) w.effect(60, ch, kSetVolume, 0);
}

enum class Fill { none, snare, toms, flam };

// The first full section: thin hats in its first half, sixteenths and ghost
// claps in its second.
Pattern fullA(const Bars& bars, const std::string& theme, bool withCrash, Fill fill, bool secondHalf,
              const Levels& l) {
    Pattern p = blank();
    Writer w{p};
    kicks(w, 0, kRows, l.kick);
    if (secondHalf) ghostClaps(w, l.clap * 0.3);
    claps(w, 0, kRows, l.clap);
    if (secondHalf)
        sixteenthHats(w, 0, kRows, l.hats);
    else
        thinHats(w, l.hats * 0.9);
    rollingBass(w, bars, l.bass, false);
    pads(w, bars, l.pad, true, kStartVoicing);
    arpeggio(w, bars, kArpFullA, 0, kRows, l.arp);
    leadWithEcho(w, kLead, melody(theme), l.lead, l.echo, 0, fill == Fill::none ? kRows : 60);
    if (withCrash) crash(w, 40);
    if (fill == Fill::snare) snareFill(w, l.snare);
    if (fill == Fill::toms) tomFill(w, l.kick);
    if (fill == Fill::flam) {
        w.note(62, chSnare, kDrumNote, kSnare, l.snare * 0.5);
        w.note(63, chSnare, kDrumNote, kSnare, l.snare * 0.7);
    }
    return p;
}

// The second full section: louder drums, ghost snares, driving hats, the
// percussion layer, a deeper pump on the pads, a fill at the end of every
// fourth bar, and a second voice on the hook.
Pattern fullB(const Bars& bars, const std::string& theme, bool thirds, bool withCrash, Fill fill, const Levels& l) {
    Pattern p = blank();
    Writer w{p};
    kicks(w, 0, kRows, l.kick * 1.18);
    claps(w, 0, kRows, l.clap * 1.15);
    ghostSnares(w, 0, kRows, l.snare * 0.42);
    drivingHats(w, l.hats * 1.15);
    percLayer(w, l.perc);
    rollingBass(w, bars, l.bass * 1.35, true);
    pads(w, bars, l.pad * 1.25, true, kStartVoicing, true);
    arpeggio(w, bars, kArpFullB, 0, kRows, l.arp);
    const std::vector<Note> line = melody(theme);
    const int to = fill == Fill::none ? kRows : 60;
    leadWithEcho(w, kLead, line, l.lead * 1.1, l.echo, 0, to);
    Phrasing second;
    second.to = to;
    second.panning = 176;
    if (thirds) {
        second.vibrato = false;
        playLine(w, chCounter, kLead, diatonic(line, -2, bars), l.counter, second);
    } else {
        second.glide = false;
        playLine(w, chCounter, kBell, octaveUp(line), l.bell * 0.8, second);
    }
    if (withCrash) w.note(0, chPerc, kDrumNote, kCrash, 44);
    if (fill == Fill::snare) snareFill(w, l.snare * 1.05);
    if (fill == Fill::toms) tomFill(w, l.kick);
    return p;
}

Pattern intro1(const Levels& l) {
    Pattern p = blank();
    Writer w{p};
    const Bars bars = {chord("Am"), chord("F"), chord("C"), chord("G")};
    w.effect(0, chKick, kSetSpeed, 7);
    w.effect(0, chSnare, kSetSpeed, 125);
    pads(w, bars, l.pad, false, kStartVoicing);
    // The first chord swells in from nothing in steps of the volume column.
    for (int k = 0; k < 3; ++k)
        for (int r = 0; r < 16; r += 2) w.volume(r, chPad1 + k, l.pad * (r + 2) / 16.0);
    Phrasing bell;
    bell.glide = false;
    bell.vibrato = false;
    playLine(w, chLead, kBell, melody(kIntroHint), l.bell * 0.9, bell);
    Phrasing echo = bell;
    echo.delay = 3;
    echo.panning = 190;
    playLine(w, chEcho, kBell, melody(kIntroHint), l.echo, echo);
    return p;
}

Pattern intro2(const Levels& l) {
    Pattern p = blank();
    Writer w{p};
    const Bars bars = {chord("Am"), chord("F"), chord("C"), chord("G")};
    pads(w, bars, l.pad, false, kStartVoicing);
    offbeatHats(w, 0, kRows, l.hats * 0.6);
    arpeggio(w, bars, kArpIntro, 0, kRows, l.arp * 0.6);
    leadWithEcho(w, kBell, melody(kIntroHook), l.bell, l.echo);
    longBass(w, bars, 32, l.bass * 0.8);
    w.note(62, chSnare, kDrumNote, kSnare, l.snare * 0.3);
    w.note(63, chSnare, kDrumNote, kSnare, l.snare * 0.45);
    return p;
}

Pattern build(const Bars& bars, int rollFrom, const Levels& l) {
    Pattern p = blank();
    Writer w{p};
    kicks(w, 0, 60, l.kick * 0.92);
    sixteenthHats(w, 0, kRows, l.hats * 0.9);
    rollingBass(w, bars, l.bass * 0.9, false);
    pads(w, bars, l.pad, true, kStartVoicing);
    arpeggio(w, bars, kArpBuild, 0, kRows, l.arp * 0.9);
    claps(w, rollFrom - 16 < 0 ? 0 : rollFrom - 16, rollFrom, l.clap * 0.9);
    snareRoll(w, rollFrom, 16, l.snare * 1.1);
    riser(w, rollFrom, 12, 40);
    dropIn(w);
    return p;
}

Pattern breakdown(const Levels& l) {
    Pattern p = blank();
    Writer w{p};
    const Bars bars = {chord("F"), chord("G"), chord("Em"), chord("Am")};
    crash(w, 40);
    offbeatHats(w, 48, kRows, l.hats * 0.55);
    pads(w, bars, l.pad * 1.2, false, kStartVoicing);
    longBass(w, bars, 0, l.bass * 0.8);
    arpeggio(w, bars, kArpBreak, 0, kRows, l.arp * 0.8);
    leadWithEcho(w, kBell, melody(kBreak), l.bell * 1.1, l.echo * 1.1);
    // A counter line on the pluck answers the bell in the last bar.
    w.note(56, chCounter, noteByte(parseMidi("E5")), kPluck, l.arp * 0.7);
    w.note(58, chCounter, noteByte(parseMidi("G5")), kPluck, l.arp * 0.6);
    w.note(60, chCounter, noteByte(parseMidi("B5")), kPluck, l.arp * 0.7);
    w.note(62, chCounter, noteByte(parseMidi("C6")), kPluck, l.arp * 0.8);
    return p;
}

Pattern bridge(const Levels& l) {
    Pattern p = blank();
    Writer w{p};
    const Bars bars = {chord("Am"), chord("F"), chord("Dm"), chord("E")};
    kicks(w, 0, 60, l.kick);
    claps(w, 0, 48, l.clap);
    sixteenthHats(w, 0, kRows, l.hats);
    rollingBass(w, bars, l.bass * 0.9, true);
    pads(w, bars, l.pad, true, kStartVoicing);
    arpeggio(w, bars, kArpFullA, 0, kRows, l.arp);
    leadWithEcho(w, kBell, melody(kBridgeHook), l.bell, l.echo, 0, 48);
    snareRoll(w, 48, 16, l.snare * 1.1);
    riser(w, 48, 12, 40);
    dropIn(w);
    return p;
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
    for (int i = 0; i < 14; ++i) m.orders.push_back(static_cast<uint8_t>(i));
    m.restart = 3;
    m.instruments = makeInstruments();

    const Levels l;
    const Bars a = {chord("Am"), chord("F"), chord("C"), chord("G")};
    const Bars b = {chord("Am"), chord("F"), chord("G"), chord("E")};
    const Bars c = {chord("F"), chord("G"), chord("Am"), chord("Am")};
    const Bars d = {chord("F"), chord("G"), chord("E"), chord("Am")};

    m.patterns.push_back(intro1(l));
    m.patterns.push_back(intro2(l));
    m.patterns.push_back(build(a, 48, l));
    m.patterns.push_back(fullA(a, std::string(kHookA) + kFull1, true, Fill::flam, false, l));
    m.patterns.push_back(fullA(b, kFull2, false, Fill::snare, false, l));
    m.patterns.push_back(fullA(a, kAnswer1, false, Fill::toms, true, l));
    m.patterns.push_back(fullA(b, kAnswer2, false, Fill::snare, true, l));
    m.patterns.push_back(breakdown(l));
    m.patterns.push_back(build({chord("F"), chord("G"), chord("E"), chord("E")}, 32, l));
    m.patterns.push_back(fullB(c, kHigh1, true, true, Fill::toms, l));
    m.patterns.push_back(fullB(d, kHigh2, false, false, Fill::snare, l));
    m.patterns.push_back(fullB(c, kHigh3, true, false, Fill::toms, l));
    m.patterns.push_back(fullB(d, kHigh4, false, false, Fill::snare, l));
    m.patterns.push_back(bridge(l));
    return m;
}

}  // namespace musicgen
