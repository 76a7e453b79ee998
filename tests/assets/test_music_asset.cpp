// The embedded soundtrack: its bytes walked as a standard XM file (with a
// reader written here from the published layout, independent of both the
// generator's writer and the player's loader), then loaded and played through
// the production's player for one whole pass and a little beyond the loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "figures.h"
#include "music/music.h"
#include "music/module_file.h"
#include "music/player.h"
#include "music/xm_loader.h"

namespace {

struct Reader {
    const unsigned char* p;
    size_t size;
    size_t at = 0;
    bool overrun = false;
    uint32_t byte() {
        if (at >= size) {
            overrun = true;
            return 0;
        }
        return p[at++];
    }
    uint32_t u16() {
        const uint32_t lo = byte();
        return lo | (byte() << 8);
    }
    uint32_t u32() {
        const uint32_t lo = u16();
        return lo | (u16() << 16);
    }
    void skip(size_t n) {
        if (at + n > size) overrun = true;
        at = std::min(size, at + n);
    }
};

// What the walk over the file found.
struct Walk {
    bool ok = false;
    std::string failure;
    size_t end = 0;
    size_t sampleBytes = 0;
    std::set<int> effects;              // effect numbers, E as 0xE0 + sub-command
    std::set<int> speedTempo;           // parameters of F
    std::set<int> volumeColumnCommands; // high nibbles outside the volume settings
    int maxEffectC = 0;
    int maxInstrumentUsed = 0;
    int maxNote = 0;
    int patternsWithBadSize = 0;
    std::vector<int> rows;
    int instrumentsWithSustainOrLoop = 0;
    int forwardLoops = 0, pingPongLoops = 0, eightBit = 0, sixteenBit = 0;
    int minPanning = 255, maxPanning = 0;
};

#define WALK_FAIL(msg)      \
    do {                    \
        w.failure = msg;    \
        return w;           \
    } while (0)

Walk walkXm(const unsigned char* data, size_t size) {
    Walk w;
    Reader r{data, size};
    r.at = 60;
    const uint32_t headerSize = r.u32();
    r.at = 68;
    const uint32_t channels = r.u16();
    const uint32_t patterns = r.u16();
    const uint32_t instruments = r.u16();
    r.at = 60 + headerSize;
    for (uint32_t pi = 0; pi < patterns; ++pi) {
        const size_t start = r.at;
        if (r.u32() != 9) WALK_FAIL("pattern header length is not 9");
        if (r.byte() != 0) WALK_FAIL("pattern packing type is not 0");
        const uint32_t rows = r.u16();
        const uint32_t packed = r.u16();
        w.rows.push_back(static_cast<int>(rows));
        const size_t dataStart = r.at;
        if (dataStart != start + 9) WALK_FAIL("pattern header is not 9 bytes");
        for (uint32_t c = 0; c < rows * channels && packed; ++c) {
            uint32_t f[5] = {0, 0, 0, 0, 0};
            const uint32_t b = r.byte();
            if (b & 0x80) {
                for (int k = 0; k < 5; ++k)
                    if (b & (1u << k)) f[k] = r.byte();
            } else {
                f[0] = b;
                for (int k = 1; k < 5; ++k) f[k] = r.byte();
            }
            w.maxNote = std::max<int>(w.maxNote, static_cast<int>(f[0]));
            w.maxInstrumentUsed = std::max<int>(w.maxInstrumentUsed, static_cast<int>(f[1]));
            if (f[2] != 0 && (f[2] < 0x10 || f[2] > 0x50)) w.volumeColumnCommands.insert(static_cast<int>(f[2] >> 4));
            if (f[3] == 0x0E) w.effects.insert(static_cast<int>(0xE0 | (f[4] >> 4)));
            else if (f[3] || f[4]) w.effects.insert(static_cast<int>(f[3]));
            if (f[3] == 0x0F) w.speedTempo.insert(static_cast<int>(f[4]));
            if (f[3] == 0x0C) w.maxEffectC = std::max<int>(w.maxEffectC, static_cast<int>(f[4]));
        }
        if (r.at - dataStart != packed) ++w.patternsWithBadSize;
        r.at = dataStart + packed;
    }
    for (uint32_t ii = 0; ii < instruments; ++ii) {
        const size_t start = r.at;
        const uint32_t size = r.u32();
        r.skip(23);
        const uint32_t samples = r.u16();
        if (samples == 0 || samples > 16) WALK_FAIL("instrument without samples or with more than 16");
        if (size != 263) WALK_FAIL("instrument header is not 263 bytes");
        if (r.u32() != 40) WALK_FAIL("sample header size is not 40");
        for (int k = 0; k < 96; ++k)
            if (r.byte() >= samples) WALK_FAIL("keymap names a missing sample");
        uint32_t vx[12], vy[12];
        for (int k = 0; k < 12; ++k) {
            vx[k] = r.u16();
            vy[k] = r.u16();
        }
        r.skip(48);  // panning envelope
        const uint32_t volPoints = r.byte(), panPoints = r.byte();
        const uint32_t sustain = r.byte(), loopStart = r.byte(), loopEnd = r.byte();
        r.skip(3);
        const uint32_t volType = r.byte(), panType = r.byte();
        if (volPoints > 12 || panPoints > 12) WALK_FAIL("envelope with more than 12 points");
        for (uint32_t k = 1; k < volPoints; ++k)
            if (vx[k] <= vx[k - 1] || vy[k] > 64) WALK_FAIL("volume envelope out of order or above 64");
        if ((volType & 1) && (volType & 6)) {
            if (((volType & 2) && sustain >= volPoints) || ((volType & 4) && (loopStart > loopEnd || loopEnd >= volPoints)))
                WALK_FAIL("envelope sustain or loop beyond its points");
            ++w.instrumentsWithSustainOrLoop;
        }
        (void)panType;
        r.at = start + size;
        std::vector<uint32_t> lengths;
        for (uint32_t s = 0; s < samples; ++s) {
            const uint32_t length = r.u32(), ls = r.u32(), ll = r.u32();
            r.skip(2);
            const uint32_t type = r.byte();
            const uint32_t panning = r.byte();
            r.skip(24);
            if ((type & 0x10) && (length % 2 || ls % 2 || ll % 2)) WALK_FAIL("16-bit sample with odd byte counts");
            if ((type & 3) && (ll == 0 || ls + ll > length)) WALK_FAIL("loop outside the sample");
            if ((type & 3) == 1) ++w.forwardLoops;
            if ((type & 3) == 2) ++w.pingPongLoops;
            ++((type & 0x10) ? w.sixteenBit : w.eightBit);
            w.minPanning = std::min<int>(w.minPanning, static_cast<int>(panning));
            w.maxPanning = std::max<int>(w.maxPanning, static_cast<int>(panning));
            lengths.push_back(length);
        }
        for (uint32_t length : lengths) {
            r.skip(length);
            w.sampleBytes += length;
        }
    }
    if (r.overrun) WALK_FAIL("the file ends inside a record");
    w.end = r.at;
    w.ok = true;
    return w;
}

uint32_t le16(size_t at) { return kestrulaXm[at] | (kestrulaXm[at + 1] << 8); }

TEST(MusicAsset, HeaderIsAStandardXmSongHeaderWithTheProductionsShape) {
    ASSERT_GT(kestrulaXm_size, 336u);
    EXPECT_EQ(0, std::memcmp(kestrulaXm, "Extended Module: ", 17));
    EXPECT_EQ(0x1A, kestrulaXm[37]);
    EXPECT_EQ(0x0104u, le16(58));
    EXPECT_EQ(276u, le16(60) | (le16(62) << 16));
    const uint32_t length = le16(64), restart = le16(66), patterns = le16(70);
    EXPECT_LT(restart, length);
    EXPECT_LE(le16(68), 16u);
    EXPECT_EQ(1u, le16(74) & 1) << "linear frequency table";
    EXPECT_EQ(7u, le16(76));
    EXPECT_EQ(125u, le16(78));
    std::set<int> used;
    for (uint32_t i = 0; i < length; ++i) {
        EXPECT_LT(kestrulaXm[80 + i], patterns) << "order " << i;
        used.insert(kestrulaXm[80 + i]);
    }
    EXPECT_EQ(patterns, used.size()) << "every stored pattern is played";
    for (uint32_t i = length; i < 256; ++i) EXPECT_EQ(0, kestrulaXm[80 + i]) << "unused order " << i;
}

TEST(MusicAsset, EveryRecordHasItsStandardSizeAndTheFileEndsWithTheLastSample) {
    const Walk w = walkXm(kestrulaXm, kestrulaXm_size);
    ASSERT_TRUE(w.ok) << w.failure;
    EXPECT_EQ(kestrulaXm_size, w.end) << "no trailing or missing bytes";
    EXPECT_EQ(0, w.patternsWithBadSize) << "packed data sizes must match the cells they hold";
    for (int rows : w.rows) EXPECT_EQ(64, rows);
    // About 200 to 300 KB, most of it sample data.
    EXPECT_GE(kestrulaXm_size, 200000u);
    EXPECT_LE(kestrulaXm_size, 300000u);
    EXPECT_GT(w.sampleBytes, kestrulaXm_size * 8 / 10);
}

// The scenes follow the rows: only effects that shape notes are allowed, not
// B, D, E6x, EEx, or an F that changes the module's speed or tempo.
TEST(MusicAsset, PatternsUseOnlyEffectsThatLeaveTheSongClockAlone) {
    const Walk w = walkXm(kestrulaXm, kestrulaXm_size);
    ASSERT_TRUE(w.ok) << w.failure;
    const std::set<int> allowed = {0x0, 0x1, 0x2, 0x3, 0x4, 0x5, 0x6, 0x7, 0x8, 0x9, 0xA, 0xC, 0xF, 0x11,
                                   0x19, 0x1B, 0xE1, 0xE2, 0xE9, 0xEA, 0xEB, 0xEC, 0xED};
    for (int fx : w.effects) EXPECT_TRUE(allowed.count(fx)) << "effect " << std::hex << fx;
    for (int p : w.speedTempo) EXPECT_TRUE(p == 7 || p == 125) << "F" << std::hex << p;
    for (int v : w.volumeColumnCommands) EXPECT_TRUE(v >= 6 && v <= 0xE) << "volume column " << std::hex << v;
    EXPECT_LE(w.maxEffectC, 64) << "volumes above 64 play differently in other trackers";
    EXPECT_LE(w.maxNote, 97);
    EXPECT_LE(w.maxInstrumentUsed, le16(72));
}

TEST(MusicAsset, InstrumentsUseEnvelopesLoopsAndTheStereoField) {
    const Walk w = walkXm(kestrulaXm, kestrulaXm_size);
    ASSERT_TRUE(w.ok) << w.failure;
    EXPECT_GE(w.instrumentsWithSustainOrLoop, 3);
    EXPECT_GE(w.forwardLoops, 1);
    EXPECT_GE(w.pingPongLoops, 1);
    EXPECT_LT(w.minPanning, 100);
    EXPECT_GT(w.maxPanning, 156);
}

// ------------------------------------------------------------ through the player

struct PassLog {
    int rowsStarted = 0;
    int lastOrder = 0;
    int wrappedTo = -1;
    int rowsInPass = -1;
};

void observe(const Song* song, void* user) {
    PassLog* log = static_cast<PassLog*>(user);
    if (song->orderPosition < log->lastOrder && log->wrappedTo < 0) {
        log->wrappedTo = song->orderPosition;
        log->rowsInPass = log->rowsStarted;
    }
    log->lastOrder = song->orderPosition;
    ++log->rowsStarted;
}

struct LoadedKestrula {
    Song* song = nullptr;
    LoadedKestrula() {
        setFileCallbacks(embeddedOpen, embeddedClose, embeddedRead, embeddedSeek, embeddedTell);
        setEmbeddedModule(kestrulaXm, kestrulaXm_size);
        song = loadSong("KESTRULA.XM", nullptr);
    }
    ~LoadedKestrula() { freeSong(song); }
};

TEST(MusicAsset, LoadsThroughThePlayerWithTheCountsOfTheHeader) {
    LoadedKestrula k;
    ASSERT_NE(nullptr, k.song);
    EXPECT_EQ(29, k.song->songLength);
    EXPECT_EQ(14, k.song->channels);
    EXPECT_EQ(29, k.song->patternCount);
    EXPECT_EQ(12, k.song->instrumentCount);
    EXPECT_EQ(0, k.song->restartPosition) << "the coda fades into the intro";
    EXPECT_EQ(1, k.song->flags & 1);
    EXPECT_EQ(7, k.song->defaultSpeed);
    EXPECT_EQ(125, k.song->defaultBpm);
    for (int i = 0; i < k.song->instrumentCount; ++i) EXPECT_GT(k.song->instruments[i].sampleCount, 0) << i;
}

// Tonal loops hold whole cycles of every partial, and one-shots are tapered:
// a jump at a loop join or a cut-off end would click on every note.
TEST(MusicAsset, LoopsJoinSmoothlyAndOneShotsEndInSilence) {
    LoadedKestrula k;
    ASSERT_NE(nullptr, k.song);
    int loops = 0, oneShots = 0;
    for (int i = 0; i < k.song->instrumentCount; ++i) {
        const Instrument& ins = k.song->instruments[i];
        for (int s = 0; s < ins.sampleCount; ++s) {
            const Sample& smp = *ins.samples[s];
            ASSERT_GT(smp.length, 2u);
            const int16_t* d = smp.data;
            if (smp.loopType == 2) {
                ++loops;
                int largestStep = 0;
                for (uint32_t f = smp.loopStart + 1; f < smp.loopStart + smp.loopLength; ++f)
                    largestStep = std::max(largestStep, std::abs(d[f] - d[f - 1]));
                const int join = std::abs(d[smp.loopStart] - d[smp.loopStart + smp.loopLength - 1]);
                EXPECT_LE(join, largestStep) << "instrument " << i << " sample " << s;
            } else if (smp.loopType == 1) {
                ++oneShots;
                EXPECT_LT(std::abs(int(d[smp.length - 1])), 328) << "instrument " << i << " sample " << s;
            }
        }
    }
    EXPECT_GE(loops, 5);
    EXPECT_GE(oneShots, 4);
}

// One pass is 29 orders x 64 rows x 7 ticks x 882 frames; the render goes on
// for two seconds past the loop so the jump back is heard too. The pass is
// measured with the report tool's figures: the mix targets of the soundtrack.
// What the orders are, for the section figures.
enum Section { intro, build, full, breakdown, outro };
constexpr Section kSections[29] = {
    intro, intro, intro, build,                   // 0-3: under the opening
    full, full, full, full, full, full,           // 4-9: the first theme
    breakdown, breakdown,                         // 10-11
    build, full, full, full, full,                // 12-16: the second theme
    build,                                        // 17: the lift
    full, full, full, full, full, full, full,     // 18-24: the last climax
    outro, outro, outro, outro,                   // 25-28: outro, cadence, coda
};

TEST(MusicAsset, OnePassMeetsTheMixTargetsAndLoopsBackToTheRestart) {
    LoadedKestrula k;
    ASSERT_NE(nullptr, k.song);
    ASSERT_EQ(1, setOutputRate(44100));
    ASSERT_EQ(1, rewindSong(k.song));
    const long passFrames = 29L * 64 * 7 * 882;
    const long introFrames = 2L * 64 * 7 * 882;  // the two quiet intro patterns
    const long codaFrames = 2L * 64 * 7 * 882;   // the coda that fades into the loop
    const long total = passFrames + 2 * 44100;
    std::vector<float> mix(2 * framesPerBlock);
    std::vector<int16_t> out(2 * framesPerBlock), pass;
    pass.reserve(size_t(2 * (total + framesPerBlock)));
    PassLog log;
    long quietRun = 0, longestQuiet = 0, rendered = 0, clipped = 0, loudAtTheEnd = 0;
    const double quiet = 32768.0 / 1000.0;  // -60 dBFS
    while (rendered < total) {
        renderBlock(k.song, mix.data(), out.data(), observe, &log);
        pass.insert(pass.end(), out.begin(), out.end());
        for (int i = 0; i < framesPerBlock; ++i, ++rendered) {
            const double l = mix[2 * size_t(i)], r = mix[2 * size_t(i) + 1];
            if (std::fabs(l) > 32767.0 || std::fabs(r) > 32767.0) ++clipped;
            // The coda dies away on the tonic: the last half second is silent.
            if (rendered >= passFrames - 22050 && rendered < passFrames &&
                (std::fabs(l) >= quiet || std::fabs(r) >= quiet))
                ++loudAtTheEnd;
            if (rendered >= introFrames && rendered < passFrames - codaFrames) {
                quietRun = (std::fabs(l) < quiet && std::fabs(r) < quiet) ? quietRun + 1 : 0;
                longestQuiet = std::max(longestQuiet, quietRun);
            }
        }
    }
    EXPECT_EQ(0, clipped);
    EXPECT_LT(longestQuiet, 44100) << "no silent stretch of a second or more between intro and coda";
    EXPECT_EQ(0, loudAtTheEnd) << "the pass ends in silence before the intro swells in";
    EXPECT_EQ(29 * 64, log.rowsInPass);
    EXPECT_EQ(k.song->restartPosition, log.wrappedTo);

    const int16_t* pcm = pass.data();
    const double peak = musicreport::samplePeakDbfs(pcm, passFrames);
    const double crest = musicreport::crestFactorDb(pcm, passFrames);
    double share[musicreport::bandCount], db[musicreport::bandCount];
    musicreport::bandShares(pcm, passFrames, 44100, share);
    for (int b = 0; b < musicreport::bandCount; ++b) db[b] = 10.0 * std::log10(share[b]);
    const musicreport::Layout layout = musicreport::readLayout(kestrulaXm, kestrulaXm_size, 44100);
    ASSERT_TRUE(layout.ok);
    ASSERT_EQ(29u, layout.orderFrames.size());
    std::printf("kestrula: %lu bytes, peak %.2f dBFS, crest %.2f dB, bands %.2f / %.2f / %.2f / %.2f / %.2f dB\n",
                kestrulaXm_size, peak, crest, db[0], db[1], db[2], db[3], db[4]);
    EXPECT_LT(peak, -1.0);
    EXPECT_GE(crest, 16.5) << "the drums stand out of what sustains under them";
    EXPECT_GE(db[0], -10.0) << "below 60 Hz";
    EXPECT_LE(db[0], -7.0) << "below 60 Hz";
    EXPECT_GE(db[1], -2.5) << "bass and body between 60 and 250 Hz";
    EXPECT_LE(db[2], -6.0) << "the mids between 250 and 2000 Hz";

    // The breakdown sits at least 4 LU under the full sections; where the
    // build has no loudness meter, RMS stands in for it.
    std::vector<double> level = musicreport::orderLoudness(pcm, passFrames, 44100, layout);
    if (level.empty()) level = musicreport::orderRmsDbfs(pcm, passFrames, layout);
    ASSERT_EQ(29u, level.size());
    double fullSum = 0, loudestBreakdown = -100;
    int fullCount = 0;
    for (size_t i = 0; i < level.size(); ++i) {
        if (kSections[i] == full) fullSum += level[i], ++fullCount;
        if (kSections[i] == breakdown) loudestBreakdown = std::max(loudestBreakdown, level[i]);
    }
    EXPECT_GE(fullSum / fullCount - loudestBreakdown, 4.0);
    // The last climax (orders 18-24) lifts above the first theme (4-9).
    double first = 0, climax = 0;
    for (size_t i = 4; i <= 9; ++i) first += level[i] / 6;
    for (size_t i = 18; i <= 24; ++i) climax += level[i] / 7;
    EXPECT_GE(climax - first, 1.5);
    // Pads, hats, arp and echo spread apart: the full sections are not mono.
    const std::vector<musicreport::Width> width = musicreport::orderWidth(pcm, passFrames, layout);
    ASSERT_EQ(29u, width.size());
    for (size_t i = 0; i < width.size(); ++i) {
        if (kSections[i] != full) continue;
        EXPECT_GT(width[i].sideToMidDb, -17.0) << "order " << i;
        EXPECT_LT(width[i].correlation, 0.96) << "order " << i;
    }
    EXPECT_LE(layout.repeatedOrders, 2) << "at most two deliberate returns";
    double lufs = 0;
    if (musicreport::integratedLoudness(pcm, passFrames, 44100, &lufs)) {
        std::printf("kestrula: integrated loudness %.2f LUFS\n", lufs);
        EXPECT_GE(lufs, -17.0);
        EXPECT_LE(lufs, -14.0);
    }
}

}  // namespace
