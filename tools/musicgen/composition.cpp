#include "composition.h"

#include <sstream>
#include <stdexcept>
#include <string>

#include "instruments.h"

namespace musicgen {

namespace {

constexpr int kRows = 64;
constexpr int kChannels = 8;
enum Channel { chKick, chSnare, chHats, chBass, chPad, chArp, chLead, chFx };

constexpr uint8_t kSetVolume = 0x0C;  // effect C
constexpr uint8_t kSetSpeed = 0x0F;   // effect F

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

// The pitch of a chord root placed in [low, low + 11].
int placed(int pitchClass, int low) { return low + ((pitchClass - low) % 12 + 12) % 12; }

using Bars = Chord[4];

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

// ------------------------------------------------------------------ drums

void kicks(Writer& w, int from, int to, double vol) {
    for (int r = from; r < to; r += 4) w.note(r, chKick, kDrumNote, kKick, vol);
}

void claps(Writer& w, int from, int to, double vol) {
    for (int r = from; r < to; ++r)
        if (r % 16 == 4 || r % 16 == 12) w.note(r, chSnare, kDrumNote, kClap, vol);
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

void snareFill(Writer& w, double vol) {
    for (int r = 60; r < 64; ++r) w.note(r, chSnare, kDrumNote, kSnare, vol * (0.7 + 0.1 * (r - 60)));
}

constexpr int kClosedHat = kDrumNote - 12, kOpenHat = kDrumNote;

void offbeatHats(Writer& w, int from, int to, double vol) {
    for (int r = from; r < to; ++r)
        if (r % 4 == 2) w.note(r, chHats, kOpenHat, kHats, vol);
}

void sixteenthHats(Writer& w, int from, int to, double vol) {
    static const double accent[4] = {0.6, 0.45, 1.0, 0.55};
    for (int r = from; r < to; ++r) w.note(r, chHats, r % 4 == 2 ? kOpenHat : kClosedHat, kHats, vol * accent[r % 4]);
}

void riser(Writer& w, int from, double vol0, double vol1) {
    const int length = kRows - from;
    const int step = length > 16 ? 2 : 1;
    for (int r = from; r < kRows; r += step) {
        const double t = static_cast<double>(r - from) / length;
        w.note(r, chFx, noteByte(48) + static_cast<int>(t * 26), kRiser, vol0 + (vol1 - vol0) * t);
    }
}

// ------------------------------------------------------------------ harmony

int bassRoot(const Chord& c) { return noteByte(placed(c.pitchClass, 28)); }  // E1 .. D#2

// Sixteenths between the kicks, an octave jump for the roll.
void rollingBass(Writer& w, const Bars& bars, double vol, bool gallop) {
    for (int r = 0; r < kRows; ++r) {
        const int n = bassRoot(bars[r / 16]);
        switch (r % 4) {
            case 0: break;
            case 1: w.note(r, chBass, gallop ? n + 12 : n, kBass, vol); break;
            case 2: w.note(r, chBass, gallop ? n : n + 12, kBass, vol * 0.8); break;
            case 3: w.note(r, chBass, n, kBass, vol * 0.9); break;
        }
    }
}

void longBass(Writer& w, const Bars& bars, int from, double vol) {
    for (int r = from; r < kRows; r += 8) w.note(r, chBass, bassRoot(bars[r / 16]), kBass, r % 16 ? vol * 0.8 : vol);
}

// Minor chords below C-4, major chords written an octave up (the pad's keymap).
int padNote(const Chord& c) {
    const int root = c.minor ? placed(c.pitchClass, 48) : placed(c.pitchClass, 52);
    return noteByte(c.minor ? root : root + 12);
}

// With pump, the volume ducks under every kick and swells back: the
// sidechain sound of the era, written in the volume column.
void pads(Writer& w, const Bars& bars, double vol, bool pump) {
    static const double duck[4] = {0.42, 0.7, 0.88, 1.0};
    for (int r = 0; r < kRows; ++r) {
        const double v = pump ? vol * duck[r % 4] : vol;
        if (r % 16 == 0)
            w.note(r, chPad, padNote(bars[r / 16]), kPad, v);
        else if (pump)
            w.volume(r, chPad, v);
    }
}

void arpeggio(Writer& w, const Bars& bars, int from, int to, double vol) {
    static const int order[16] = {0, 1, 2, 3, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 4, 2};
    static const double accent[4] = {1.0, 0.62, 0.8, 0.62};
    for (int r = from; r < to; ++r) {
        const Chord& c = bars[r / 16];
        const int third = c.minor ? 3 : 4;
        const int tones[6] = {0, third, 7, 12, 12 + third, 19};
        const int root = placed(c.pitchClass, 65);
        w.note(r, chArp, noteByte(root + tones[order[r % 16]]), kPluck, vol * accent[r % 4]);
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

// Long notes are released a row early so the phrase breathes; short ones
// run legato into the next.
void playMelody(Writer& w, int ch, int instrument, const std::vector<Note>& notes, double vol, int delay = 0,
                int from = 0, int to = kRows) {
    int row = 0;
    for (size_t i = 0; i < notes.size(); ++i) {
        const Note& n = notes[i];
        const int at = row + delay;
        row += n.rows;
        if (at < from || at >= to) continue;
        if (n.midi < 0) {
            w.off(at, ch);
            continue;
        }
        w.note(at, ch, noteByte(n.midi), instrument, vol);
        if (n.rows >= 4 && at + n.rows - 1 < to) w.off(at + n.rows - 1, ch);
    }
}

const char* const kThemeA = "E5:2 A5:2 B5:2 C6:6 B5:2 A5:2  C6:4 A5:4 F5:6 G5:2  "
                            "E5:2 G5:2 C6:2 E6:6 D6:2 C6:2  D6:6 B5:4 G5:2 B5:2 D6:2";
const char* const kThemeB = "A5:4 G5:2 A5:2 C6:4 E6:4  F6:6 E6:2 C6:4 A5:4  "
                            "B5:4 D6:4 G6:4 F6:2 E6:2  E6:6 D6:2 B5:4 G#5:4";
const char* const kThemeC = "C6:2 F6:2 A6:4 G6:2 F6:2 E6:2 F6:2  D6:2 G6:2 B6:4 A6:2 G6:2 D6:4  "
                            "E6:4 A6:6 G6:2 E6:4  C6:2 D6:2 E6:8 A5:4";
const char* const kThemeD = "A5:4 C6:4 F6:6 E6:2  D6:4 B5:4 G5:4 B5:2 D6:2  "
                            "E6:6 D6:2 B5:4 G#5:4  A5:12 -:4";
const char* const kBreakdown = "A5:6 G5:2 F5:4 C6:4  B5:6 A5:2 G5:4 D6:4  "
                               "E6:6 D6:2 B5:4 G5:4  A5:8 E5:4 A5:4";
const char* const kIntroBell = "-:32  E5:4 G5:4 C6:8  D6:4 B5:4 G5:8";
const char* const kBridgeBell = "E5:2 A5:2 B5:2 C6:6 B5:2 A5:2  -:16  -:16  E6:6 D6:2 B5:4 G#5:4";

// ------------------------------------------------------------------ sections

struct Levels {
    double kick = 64, clap = 54, hats = 46, bass = 36, pad = 38, arp = 30, lead = 44, bell = 36, echo = 14;
};

void fullSection(Writer& w, const Bars& bars, const char* theme, bool crash, bool fill, bool gallop, const Levels& l) {
    kicks(w, 0, kRows, l.kick);
    claps(w, 0, fill ? 60 : kRows, l.clap);
    if (fill) snareFill(w, l.clap);
    sixteenthHats(w, 0, kRows, l.hats);
    rollingBass(w, bars, l.bass, gallop);
    pads(w, bars, l.pad, true);
    arpeggio(w, bars, 0, kRows, l.arp);
    const std::vector<Note> lead = melody(theme);
    playMelody(w, chLead, kLead, lead, l.lead);
    if (crash) w.note(0, chFx, kDrumNote, kCrash, 40);
    playMelody(w, chFx, kLead, lead, l.echo, 3, crash ? 16 : 3);
}

// The lead-in shared by both builds and the bridge: on the last beat the
// kick drops out and pad and bass are cut (C00), leaving arp, roll and riser.
void dropIn(Writer& w) {
    for (int ch : {chPad, chBass})
        for (int r = 60; r < kRows; ++r) w.p.at(r, ch) = Cell{};
    w.effect(60, chPad, kSetVolume, 0);
    w.effect(60, chBass, kSetVolume, 0);
}

Pattern blank() { return Pattern(kRows, kChannels); }

Pattern intro1(const Levels& l) {
    Pattern p = blank();
    Writer w{p};
    const Bars bars = {chord("Am"), chord("F"), chord("C"), chord("G")};
    w.effect(0, chKick, kSetSpeed, 7);
    w.effect(0, chSnare, kSetSpeed, 125);
    pads(w, bars, l.pad, false);
    // The first chord swells in from nothing in steps of effect C.
    for (int r = 0; r < 16; r += 2) w.effect(r, chPad, kSetVolume, static_cast<int>(l.pad * (r + 2) / 16.0));
    for (int r = 0; r < 16; ++r) p.at(r, chPad).volume = r == 0 ? 0x10 : 0;
    const std::vector<Note> bell = melody(kIntroBell);
    playMelody(w, chLead, kBell, bell, l.bell);
    playMelody(w, chFx, kBell, bell, l.echo, 3);
    return p;
}

Pattern intro2(const Levels& l) {
    Pattern p = blank();
    Writer w{p};
    const Bars bars = {chord("Am"), chord("F"), chord("C"), chord("G")};
    pads(w, bars, l.pad, false);
    offbeatHats(w, 0, kRows, l.hats * 0.7);
    arpeggio(w, bars, 0, kRows, l.arp * 0.6);
    const std::vector<Note> theme = melody(kThemeA);
    playMelody(w, chLead, kBell, theme, l.bell);
    playMelody(w, chFx, kBell, theme, l.echo, 3);
    longBass(w, bars, 32, l.bass * 0.8);
    return p;
}

Pattern build1(const Levels& l) {
    Pattern p = blank();
    Writer w{p};
    const Bars bars = {chord("Am"), chord("F"), chord("C"), chord("G")};
    kicks(w, 0, 60, l.kick * 0.92);
    sixteenthHats(w, 0, kRows, l.hats * 0.9);
    rollingBass(w, bars, l.bass * 0.9, false);
    pads(w, bars, l.pad, true);
    arpeggio(w, bars, 0, kRows, l.arp * 0.9);
    claps(w, 32, 48, l.clap * 0.9);
    snareRoll(w, 48, 16, l.clap);
    riser(w, 48, 12, 40);
    dropIn(w);
    return p;
}

Pattern breakdown(const Levels& l) {
    Pattern p = blank();
    Writer w{p};
    const Bars bars = {chord("F"), chord("G"), chord("Em"), chord("Am")};
    w.note(0, chHats, kDrumNote, kCrash, 40);
    offbeatHats(w, 48, kRows, l.hats * 0.6);
    pads(w, bars, l.pad * 1.15, false);
    longBass(w, bars, 0, l.bass * 0.8);
    arpeggio(w, bars, 0, kRows, l.arp * 0.7);
    const std::vector<Note> bell = melody(kBreakdown);
    playMelody(w, chLead, kBell, bell, l.bell * 1.1);
    playMelody(w, chFx, kBell, bell, l.echo * 1.1, 3);
    return p;
}

Pattern build2(const Levels& l) {
    Pattern p = blank();
    Writer w{p};
    const Bars bars = {chord("F"), chord("G"), chord("E"), chord("E")};
    kicks(w, 0, 60, l.kick * 0.95);
    claps(w, 0, 32, l.clap * 0.9);
    sixteenthHats(w, 0, kRows, l.hats);
    rollingBass(w, bars, l.bass * 0.9, false);
    pads(w, bars, l.pad, true);
    arpeggio(w, bars, 0, kRows, l.arp);
    snareRoll(w, 32, 14, l.clap);
    riser(w, 32, 10, 40);
    dropIn(w);
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
    pads(w, bars, l.pad, true);
    arpeggio(w, bars, 0, kRows, l.arp);
    const std::vector<Note> bell = melody(kBridgeBell);
    playMelody(w, chLead, kBell, bell, l.bell);
    playMelody(w, chFx, kBell, bell, l.echo, 3, 0, 48);
    snareRoll(w, 48, 16, l.clap);
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
    m.orders = {0, 1, 2, 3, 4, 3, 4, 5, 6, 7, 8, 7, 8, 9};
    m.restart = 3;
    m.instruments = makeInstruments();

    const Levels l;
    const Bars a = {chord("Am"), chord("F"), chord("C"), chord("G")};
    const Bars b = {chord("Am"), chord("F"), chord("G"), chord("E")};
    const Bars c = {chord("F"), chord("G"), chord("Am"), chord("Am")};
    const Bars d = {chord("F"), chord("G"), chord("E"), chord("Am")};

    m.patterns.push_back(intro1(l));
    m.patterns.push_back(intro2(l));
    m.patterns.push_back(build1(l));
    for (int i = 0; i < 2; ++i) {
        m.patterns.push_back(blank());
        Writer w{m.patterns.back()};
        if (i == 0)
            fullSection(w, a, kThemeA, true, false, false, l);
        else
            fullSection(w, b, kThemeB, false, true, false, l);
    }
    m.patterns.push_back(breakdown(l));
    m.patterns.push_back(build2(l));
    for (int i = 0; i < 2; ++i) {
        m.patterns.push_back(blank());
        Writer w{m.patterns.back()};
        if (i == 0)
            fullSection(w, c, kThemeC, true, false, true, l);
        else
            fullSection(w, d, kThemeD, false, true, true, l);
    }
    m.patterns.push_back(bridge(l));
    return m;
}

}  // namespace musicgen
