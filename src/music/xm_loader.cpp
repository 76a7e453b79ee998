#include "music/xm_loader.h"

#include <cstdlib>
#include <cstring>

#include "music/module_file.h"
#include "music/player.h"
#include "music/playback.h"

Sample emptySample = {};
Instrument emptyInstrument = {};

namespace {

// ---- On-disk layouts (little-endian), as the file stores them ----

// Module header: the fields the player reads, at their file offsets.
struct XmHeader {
    uint32_t headerSize;        // at 60, counted from 60
    uint16_t songLength;        // 64
    uint16_t restartPosition;   // 66
    uint16_t channels;          // 68
    uint16_t patternCount;      // 70
    uint16_t instrumentCount;   // 72
    uint16_t flags;             // 74
    uint16_t defaultSpeed;      // 76
    uint16_t defaultBpm;        // 78
    uint8_t orderTable[256];    // 80
};

struct XmPatternHeader {
    uint32_t headerLength;
    uint8_t packingType;
    uint16_t rows;
    uint16_t packedSize;
};

// The 40-byte sample header; lengths are in bytes.
struct XmSampleHeader {
    uint32_t length;
    uint32_t loopStart;
    uint32_t loopLength;
    uint8_t volume;
    int8_t finetune;
    uint8_t type;  // bits 0-1 loop, bit 4 16-bit data
    uint8_t panning;
    int8_t relativeNote;
};

constexpr char signature[] = "Extended Module: ";
constexpr int signatureLength = 17;
constexpr int maxChannels = 32;
constexpr int maxRows = 256;
constexpr int maxPatterns = 256;
constexpr int maxInstruments = 128;
constexpr int maxSamples = 16;

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }

// Reads through a ModuleFile and remembers the file size, so that every
// offset and length taken from the file can be checked before it is used.
struct Reader {
    ModuleFile* file;
    int64_t size;

    int64_t tell() { return tellModuleFile(file); }
    bool seek(int64_t position) {
        if (position < 0 || position > size) return false;
        seekModuleFile(file, static_cast<int>(position), 0);
        return tell() == position;
    }
    bool read(void* destination, int64_t length) {
        if (length < 0 || length > size) return false;
        if (length == 0) return true;
        return readModuleFile(destination, static_cast<int>(length), file) == length;
    }
    bool byte(uint8_t* value) { return read(value, 1); }
    bool u16(uint16_t* value) {
        uint8_t b[2];
        if (!read(b, 2)) return false;
        *value = le16(b);
        return true;
    }
    bool u32(uint32_t* value) {
        uint8_t b[4];
        if (!read(b, 4)) return false;
        *value = le32(b);
        return true;
    }
};

bool readHeader(Reader& in, XmHeader* h) {
    uint8_t b[20];
    if (!in.seek(60) || !in.read(b, 20) || !in.read(h->orderTable, 256)) return false;
    h->headerSize = le32(b);
    h->songLength = le16(b + 4);
    h->restartPosition = le16(b + 6);
    h->channels = le16(b + 8);
    h->patternCount = le16(b + 10);
    h->instrumentCount = le16(b + 12);
    h->flags = le16(b + 14);
    h->defaultSpeed = le16(b + 16);
    h->defaultBpm = le16(b + 18);
    return true;
}

bool readPatternHeader(Reader& in, XmPatternHeader* h) {
    uint8_t b[9];
    if (!in.read(b, 9)) return false;
    h->headerLength = le32(b);
    h->packingType = b[4];
    h->rows = le16(b + 5);
    h->packedSize = le16(b + 7);
    return true;
}

XmSampleHeader parseSampleHeader(const uint8_t* b) {
    XmSampleHeader h;
    h.length = le32(b);
    h.loopStart = le32(b + 4);
    h.loopLength = le32(b + 8);
    h.volume = b[12];
    h.finetune = int8_t(b[13]);
    h.type = b[14];
    h.panning = b[15];
    h.relativeNote = int8_t(b[16]);
    return h;
}

bool readPatterns(Reader& in, Song* song, int headerPatterns) {
    const int channels = song->channels;
    for (int p = 0; p < headerPatterns; ++p) {
        XmPatternHeader h;
        if (!readPatternHeader(in, &h)) return false;
        if (h.rows == 0 || h.rows > maxRows) return false;
        Pattern& pattern = song->patterns[p];
        const int cellCount = channels * h.rows;
        pattern.cells = static_cast<uint8_t*>(std::calloc(size_t(cellCount), cellBytes));
        if (!pattern.cells) return false;
        pattern.rows = h.rows;
        if (h.packedSize == 0) continue;
        // The packed size is deliberately not used to bound or skip the data:
        // exactly rows x channels cells follow.
        for (int c = 0; c < cellCount; ++c) {
            uint8_t* cell = pattern.cells + c * cellBytes;
            uint8_t b;
            if (!in.byte(&b)) return false;
            if (b & 0x80) {
                for (int k = 0; k < cellBytes; ++k)
                    if ((b & (1 << k)) && !in.byte(&cell[k])) return false;
            } else {
                cell[0] = b;
                if (!in.read(cell + 1, 4)) return false;
            }
            // Notes 98 and up name no key; playing them would index past the keymap.
            if (cell[0] == 97) cell[0] = 255;
            else if (cell[0] > 97 && cell[0] < 255) cell[0] = 0;
            if (cell[1] > 128) cell[1] = 0;
        }
    }
    for (int p = headerPatterns; p < song->referencedPatterns; ++p) {
        Pattern& pattern = song->patterns[p];
        pattern.cells = static_cast<uint8_t*>(std::calloc(size_t(channels) * 64, cellBytes));
        if (!pattern.cells) return false;
        pattern.rows = 64;
    }
    return true;
}

void readEnvelope(const uint8_t* b, EnvelopePoint* points) {
    for (int i = 0; i < envelopePointCount; ++i) {
        points[i].x = le16(b + i * 4);
        points[i].y = le16(b + i * 4 + 2);
    }
}

// Mends an envelope so that stepping it can neither leave the point table nor
// overflow its 16.16 value: at most 12 points, x never decreasing, y 0..64,
// sustain and loop points inside the envelope.
void mendEnvelope(EnvelopePoint* points, uint8_t* count, uint8_t* sustain, uint8_t* loopStart, uint8_t* loopEnd,
                  uint8_t* type) {
    if (*count > envelopePointCount) *count = envelopePointCount;
    if (*count < 2) *type = 0;
    for (int i = 0; i < envelopePointCount; ++i) {
        if (points[i].y > 64) points[i].y = 64;
        if (i > 0 && points[i].x < points[i - 1].x) points[i].x = points[i - 1].x;
    }
    if (*sustain >= *count) *type &= uint8_t(~2);
    if (*loopStart >= *count || *loopEnd >= *count) *type &= uint8_t(~4);
}

// Fits the loop inside the sample once its final length is known.
void fitLoop(Sample* s) {
    if (s->loopType == 1) {
        s->loopStart = 0;
        s->loopLength = s->length;
        return;
    }
    if (s->loopStart >= s->length) {
        s->loopType = 1;
        s->loopStart = 0;
        s->loopLength = s->length;
    } else if (uint64_t(s->loopStart) + s->loopLength > s->length) {
        s->loopLength = s->length - s->loopStart;
    }
}

bool readSampleData(Reader& in, Song* song, Sample* s, uint32_t storedBytes, int instrumentIndex, int sampleIndex) {
    const int64_t start = in.tell();
    const int bytesPerFrame = s->bits / 8;
    // A sample cut short by the end of the file keeps what is there.
    const int64_t available = in.size - start;
    if (int64_t(s->length) * bytesPerFrame > available) s->length = uint32_t(available / bytesPerFrame);
    fitLoop(s);
    if (s->length == 0) return in.seek(start + (storedBytes < available ? storedBytes : available));

    const int64_t byteCount = int64_t(s->length) * bytesPerFrame;
    const size_t frames = size_t(s->length) + 2 * sampleGuardFrames;
    int16_t* block = static_cast<int16_t*>(std::calloc(frames, sizeof(int16_t)));
    if (!block) return false;
    s->data = block + sampleGuardFrames;

    if (s->bits == 16) {
        if (song->sampleHook) song->sampleHook(s->data, int(byteCount), 16, instrumentIndex, sampleIndex);
        else {
            uint8_t* bytes = reinterpret_cast<uint8_t*>(s->data);
            if (!in.read(bytes, byteCount)) return false;
            for (uint32_t i = 0; i < s->length; ++i) s->data[i] = int16_t(le16(bytes + 2 * i));
        }
    } else {
        uint8_t* work = static_cast<uint8_t*>(std::calloc(size_t(s->length) * 2 + 16, 1));
        if (!work) return false;
        bool ok = true;
        if (song->sampleHook) song->sampleHook(work, int(byteCount), 8, instrumentIndex, sampleIndex);
        else ok = in.read(work, byteCount);
        for (uint32_t i = 0; ok && i < s->length; ++i) s->data[i] = int16_t(uint16_t(uint8_t(work[i]) << 8));
        std::free(work);
        if (!ok) return false;
        s->bits = 16;
    }
    if (!song->sampleHook) {
        uint16_t sum = 0;
        for (uint32_t i = 0; i < s->length; ++i) {
            sum = uint16_t(sum + uint16_t(s->data[i]));
            s->data[i] = int16_t(sum);
        }
    }
    // Guard value for interpolation across the loop point.
    const uint32_t loopEnd = s->loopStart + s->loopLength;
    if (s->loopType == 2) s->data[loopEnd] = s->data[s->loopStart];
    else if (s->loopType == 4) s->data[loopEnd] = s->data[loopEnd - 1];
    // An odd byte count of 16-bit data leaves one byte that belongs to no frame.
    const int64_t next = start + storedBytes;
    return in.seek(next < in.size ? next : in.size);
}

bool readInstrument(Reader& in, Song* song, int index) {
    Instrument& inst = song->instruments[index];
    for (int i = 0; i < maxSamples; ++i) inst.samples[i] = &emptySample;
    const int64_t p = in.tell();
    uint32_t headerSize;
    uint16_t count;
    if (!in.u32(&headerSize) || !in.seek(p + 4 + 23) || !in.u16(&count)) return false;
    if (count > maxSamples) return false;
    if (p + int64_t(headerSize) > in.size) return false;
    if (count == 0) return in.seek(p + headerSize);

    uint8_t b[4 + 96 + 48 + 48 + 16];
    if (!in.read(b, sizeof b)) return false;
    std::memcpy(inst.keymap, b + 4, 96);
    readEnvelope(b + 100, inst.volumeEnvelope);
    readEnvelope(b + 148, inst.panningEnvelope);
    const uint8_t* block = b + 196;
    inst.volumePointCount = block[0];
    inst.panningPointCount = block[1];
    inst.volumeSustainPoint = block[2];
    inst.volumeLoopStartPoint = block[3];
    inst.volumeLoopEndPoint = block[4];
    inst.panningSustainPoint = block[5];
    inst.panningLoopStartPoint = block[6];
    inst.panningLoopEndPoint = block[7];
    inst.volumeEnvelopeType = block[8];
    inst.panningEnvelopeType = block[9];
    inst.vibratoType = block[10];
    inst.vibratoSweep = block[11];
    inst.vibratoDepth = block[12];
    inst.vibratoRate = block[13];
    // Doubled; FT2 files hold at most 0xFFF, larger values saturate instead of wrapping.
    const uint32_t fadeout = uint32_t(le16(block + 14)) * 2;
    inst.fadeout = uint16_t(fadeout > 0xFFFF ? 0xFFFF : fadeout);
    mendEnvelope(inst.volumeEnvelope, &inst.volumePointCount, &inst.volumeSustainPoint, &inst.volumeLoopStartPoint,
                 &inst.volumeLoopEndPoint, &inst.volumeEnvelopeType);
    mendEnvelope(inst.panningEnvelope, &inst.panningPointCount, &inst.panningSustainPoint,
                 &inst.panningLoopStartPoint, &inst.panningLoopEndPoint, &inst.panningEnvelopeType);
    if (!in.seek(p + headerSize)) return false;

    uint32_t storedBytes[maxSamples];
    inst.sampleCount = count;
    for (int i = 0; i < count; ++i) {
        uint8_t raw[40];
        if (!in.read(raw, 40)) return false;
        const XmSampleHeader h = parseSampleHeader(raw);
        Sample* s = static_cast<Sample*>(std::calloc(1, sizeof(Sample)));
        if (!s) return false;
        inst.samples[i] = s;
        storedBytes[i] = h.length;
        s->length = h.length;
        s->loopStart = h.loopStart;
        s->loopLength = h.loopLength;
        s->volume = h.volume;
        s->finetune = h.finetune;
        s->loopType = 1;
        s->bits = 8;
        if (h.type & 1) s->loopType = 2;
        if (h.type & 2) s->loopType = 4;
        if (h.type & 16) s->bits = 16;
        if (s->loopType == 1) {
            s->loopStart = 0;
            s->loopLength = s->length;
        }
        if (s->bits == 16) {
            s->length /= 2;
            s->loopStart /= 2;
            s->loopLength /= 2;
        }
        if (s->loopLength == 0) {
            s->loopStart = 0;
            s->loopLength = s->length;
            s->loopType = 1;
        }
        s->panning = h.panning;
        s->relativeNote = h.relativeNote;
    }
    for (int i = 0; i < count; ++i) {
        Sample* s = inst.samples[i];
        if (s->length == 0) continue;
        if (!readSampleData(in, song, s, storedBytes[i], index, i)) return false;
    }
    return true;
}

bool parse(Reader& in, Song* song) {
    char sig[signatureLength];
    if (!in.seek(0) || !in.read(sig, signatureLength) || std::memcmp(sig, signature, signatureLength) != 0)
        return false;
    song->tickHandler = songTick;
    song->initialGlobalVolume = 64;

    XmHeader h;
    if (!readHeader(in, &h)) return false;
    if (h.songLength == 0 || h.songLength > 256) return false;
    if (h.channels == 0 || h.channels > maxChannels) return false;
    if (h.patternCount > maxPatterns || h.instrumentCount > maxInstruments) return false;
    song->songLength = h.songLength;
    // A restart position past the order table would play patterns that were never loaded.
    song->restartPosition = h.restartPosition < h.songLength ? h.restartPosition : 0;
    song->channels = h.channels;
    song->instrumentCount = h.instrumentCount;
    song->flags = h.flags;
    song->defaultSpeed = h.defaultSpeed;
    song->defaultBpm = h.defaultBpm;
    std::memcpy(song->orderTable, h.orderTable, 256);
    if (!in.seek(60 + int64_t(h.headerSize))) return false;

    int largest = -1;
    for (int i = 0; i < h.songLength; ++i)
        if (h.orderTable[i] > largest) largest = h.orderTable[i];
    song->referencedPatterns = largest + 1;
    song->patternCount = h.patternCount > song->referencedPatterns ? h.patternCount : song->referencedPatterns;
    song->patterns = static_cast<Pattern*>(std::calloc(size_t(song->patternCount) + 1, sizeof(Pattern)));
    if (!song->patterns) return false;
    if (!readPatterns(in, song, h.patternCount)) return false;

    if (song->instrumentCount) {
        song->instruments = static_cast<Instrument*>(std::calloc(song->instrumentCount, sizeof(Instrument)));
        if (!song->instruments) return false;
        for (int i = 0; i < song->instrumentCount; ++i)
            for (int k = 0; k < maxSamples; ++k) song->instruments[i].samples[k] = &emptySample;
        for (int i = 0; i < song->instrumentCount; ++i)
            if (!readInstrument(in, song, i)) return false;
    }
    return true;
}

}  // namespace

Song* loadSong(const char* name, SampleHook sampleHook) {
    if (!name) return nullptr;
    ModuleFile* file = openModuleFile(name);
    if (!file) return nullptr;
    Song* song = static_cast<Song*>(std::calloc(1, sizeof(Song)));
    if (!song) {
        closeModuleFile(file);
        return nullptr;
    }
    song->sampleHook = sampleHook;
    Reader in{file, 0};
    seekModuleFile(file, 0, 2);
    in.size = tellModuleFile(file);
    seekModuleFile(file, 0, 0);
    const bool ok = in.size > 0 && parse(in, song);
    closeModuleFile(file);
    if (!ok) {
        freeSong(song);
        return nullptr;
    }
    return song;
}

int freeSong(Song* song) {
    if (!song) return 0;
    releaseSongPlayback(song);
    if (song->instruments) {
        for (int i = 0; i < song->instrumentCount; ++i) {
            Instrument& inst = song->instruments[i];
            for (int k = 0; k < inst.sampleCount && k < maxSamples; ++k) {
                Sample* s = inst.samples[k];
                if (!s || s == &emptySample) continue;
                if (s->data) std::free(s->data - sampleGuardFrames);
                std::free(s);
            }
        }
        std::free(song->instruments);
    }
    if (song->patterns) {
        for (int p = 0; p < song->patternCount; ++p) std::free(song->patterns[p].cells);
        std::free(song->patterns);
    }
    std::free(song);
    return 1;
}
