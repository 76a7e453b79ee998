#include "music/playback.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "music/mixer.h"
#include "music/player.h"
#include "music/xm_loader.h"

Channel channels[channelCount];

namespace {

// Effect numbers as the file stores them.
enum Effect : uint8_t {
    fxArpeggio = 0x00, fxPortaUp = 0x01, fxPortaDown = 0x02, fxTonePorta = 0x03, fxVibrato = 0x04,
    fxTonePortaVolSlide = 0x05, fxVibratoVolSlide = 0x06, fxTremolo = 0x07, fxSetPanning = 0x08,
    fxSampleOffset = 0x09, fxVolumeSlide = 0x0A, fxPositionJump = 0x0B, fxSetVolume = 0x0C,
    fxPatternBreak = 0x0D, fxExtended = 0x0E, fxSpeedTempo = 0x0F, fxGlobalVolume = 0x10,
    fxGlobalVolumeSlide = 0x11, fxKeyOff = 0x14, fxEnvelopePosition = 0x15, fxPanningSlide = 0x19,
    fxMultiRetrigger = 0x1B, fxTremor = 0x1D, fxExtraFinePorta = 0x21,
};

// What processRow leaves for the tick handler about jumps in the current row.
bool rowJumped = false;
int32_t rowLoopBack = -1;

// Periods are kept inside this range so that slides without a limit can run
// for ever without overflowing; both ends are far beyond audible frequencies.
constexpr int32_t periodLimit = 1 << 24;
int32_t limitPeriod(int64_t p) { return int32_t(p > periodLimit ? periodLimit : (p < -periodLimit ? -periodLimit : p)); }

bool linearTable(const Song* song) { return song->flags & 1; }

struct AmigaTable {
    static constexpr int size = 320;
    int32_t a[size];
    AmigaTable() {
        for (int k = 0; k < size; ++k) a[k] = int32_t(std::pow(2.0, double(132 - k) / 12.0) * 13.375);
    }
};

int32_t amigaBase(int k) {
    static const AmigaTable table;
    // Notes past the table are far above hearing; their period is 0 like the last entries.
    if (k < 0) k = 0;
    if (k >= AmigaTable::size) k = AmigaTable::size - 1;
    return table.a[k];
}

int32_t notePeriod(const Song* song, int realNote, int finetune) {
    if (linearTable(song)) return 7680 - realNote * 64 - finetune / 2;
    return amigaPeriod(realNote, finetune);
}

Pattern* currentPattern(Song* song) {
    const int index = song->orderTable[song->orderPosition];
    return index < song->patternCount ? &song->patterns[index] : nullptr;
}

const uint8_t* currentRowCells(Song* song) {
    static const uint8_t emptyRow[channelCount * cellBytes] = {};
    Pattern* pattern = currentPattern(song);
    if (!pattern || !pattern->cells || song->row >= pattern->rows) return emptyRow;
    return pattern->cells + size_t(song->row) * song->channels * cellBytes;
}

void lookup(Song* song, const Channel& ch, Instrument** inst, Sample** sample) {
    if (ch.instrument >= song->instrumentCount) {
        *inst = &emptyInstrument;
        *sample = &emptySample;
        return;
    }
    *inst = &song->instruments[ch.instrument];
    const uint8_t slot = (*inst)->keymap[ch.note < 96 ? ch.note : 0];
    Sample* s = slot > 15 ? nullptr : (*inst)->samples[slot];
    *sample = s ? s : &emptySample;
}

void triggerInstrument(Channel& ch, const Sample* sample) {
    ch.volume = sample->volume;
    ch.panning = sample->panning;
    ch.volumeEnvelopeTick = 0;
    ch.volumeEnvelopePoint = 0;
    ch.volumeEnvelopeSlope = 0;
    ch.volumeEnvelopeOutput = 64;
    ch.panningEnvelopeTick = 0;
    ch.panningEnvelopePoint = 0;
    ch.panningEnvelopeSlope = 0;
    ch.panningEnvelopeOutput = 32;
    ch.volumeEnvelopeDone = 0;
    ch.panningEnvelopeDone = 0;
    ch.keyOff = 0;
    ch.fadeoutVolume = 65536;
    ch.autoVibratoPosition = 0;
    ch.autoVibratoSweep = 0;
    if ((ch.waveformControl & 0x0F) < 4) ch.vibratoPosition = 0;
    if ((ch.waveformControl >> 4) < 4) ch.tremoloPosition = 0;
    ch.tremorCounter = 0;
    ch.updateFlags |= updateVolume | updatePanning;
}

struct EnvelopeState {
    int32_t* tick;
    int32_t* point;
    int32_t* value;
    int32_t* output;
    int32_t* slope;
    uint8_t* done;
};

int32_t envelopeSlope(const EnvelopePoint* pts, int j) {
    const int dx = pts[j + 1].x - pts[j].x;
    return dx ? ((pts[j + 1].y - pts[j].y) * 65536) / dx : 0;
}

void envelopeStep(Channel& ch, const EnvelopePoint* pts, int count, int sustain, int loopStart, int loopEnd, int type,
                  EnvelopeState e, uint8_t flag) {
    int32_t& index = *e.point;
    int32_t& tick = *e.tick;
    if (index < count) {
        if (pts[index].x == tick) {
            if ((type & 4) && index == loopEnd) {
                index = loopStart;
                tick = pts[loopStart].x;
            }
            if (index == count - 1) {
                *e.output = pts[index].y;
                *e.done = 1;
                ch.updateFlags |= flag;
                return;  // the tick is not advanced
            }
            if ((type & 2) && index == sustain && ch.keyOff == 0) {
                *e.output = pts[index].y;
                ch.updateFlags |= flag;
                return;  // held while the key is down
            }
            *e.slope = envelopeSlope(pts, index);
            *e.value = pts[index].y * 65536;
            ++index;
        } else {
            *e.value += *e.slope;
        }
    }
    *e.output = *e.value >> 16;
    ++tick;
    ch.updateFlags |= flag;
}

void stepEnvelopes(Channel& ch, const Instrument* inst) {
    if ((inst->volumeEnvelopeType & 1) && !ch.volumeEnvelopeDone)
        envelopeStep(ch, inst->volumeEnvelope, inst->volumePointCount, inst->volumeSustainPoint,
                     inst->volumeLoopStartPoint, inst->volumeLoopEndPoint, inst->volumeEnvelopeType,
                     {&ch.volumeEnvelopeTick, &ch.volumeEnvelopePoint, &ch.volumeEnvelopeValue,
                      &ch.volumeEnvelopeOutput, &ch.volumeEnvelopeSlope, &ch.volumeEnvelopeDone},
                     updateVolume);
}

void stepPanningEnvelope(Channel& ch, const Instrument* inst) {
    if ((inst->panningEnvelopeType & 1) && !ch.panningEnvelopeDone)
        envelopeStep(ch, inst->panningEnvelope, inst->panningPointCount, inst->panningSustainPoint,
                     inst->panningLoopStartPoint, inst->panningLoopEndPoint, inst->panningEnvelopeType,
                     {&ch.panningEnvelopeTick, &ch.panningEnvelopePoint, &ch.panningEnvelopeValue,
                      &ch.panningEnvelopeOutput, &ch.panningEnvelopeSlope, &ch.panningEnvelopeDone},
                     updatePanning);
}

// Lxx: set envelope position.
void setEnvelopePosition(Channel& ch, const Instrument* inst, int p) {
    if (!(inst->volumeEnvelopeType & 1)) return;
    const EnvelopePoint* pts = inst->volumeEnvelope;
    const int count = inst->volumePointCount;
    // Searching only pairs inside the envelope finds the same j as a search
    // that would also look at the point past the last one.
    int j = 0;
    while (j < count - 1 && !(p <= pts[j + 1].x)) ++j;
    if (j >= count - 1) {
        ch.volumeEnvelopeOutput = pts[count - 1].y;
        ch.volumeEnvelopeDone = 1;
        return;
    }
    ch.volumeEnvelopeDone = 0;
    ch.volumeEnvelopeTick = p;
    ch.volumeEnvelopeSlope = envelopeSlope(pts, j);
    ch.volumeEnvelopeValue = pts[j].y * 65536 + (p - pts[j].x) * ch.volumeEnvelopeSlope;
    ch.volumeEnvelopeOutput = ch.volumeEnvelopeValue >> 16;
    ch.volumeEnvelopePoint = j + 1;
}

void fadeout(Channel& ch, const Instrument* inst) {
    if (!ch.keyOff) return;
    ch.fadeoutVolume -= inst->fadeout;
    if (ch.fadeoutVolume < 0) ch.fadeoutVolume = 0;
    ch.updateFlags |= updateVolume;
}

int sineTimes256(int pos) { return int(std::fabs(std::sin(double(pos) * 2.0 * 3.141592 / 64.0)) * 256.0); }

void tonePortamento(Channel& ch) {
    const int32_t delta = ch.tonePortamentoSpeed * 4;
    if (ch.period < ch.tonePortamentoTarget) {
        ch.period += delta;
        if (ch.period > ch.tonePortamentoTarget) ch.period = ch.tonePortamentoTarget;
    } else if (ch.period > ch.tonePortamentoTarget) {
        ch.period -= delta;
        if (ch.period < ch.tonePortamentoTarget) ch.period = ch.tonePortamentoTarget;
    }
    ch.updateFlags |= updateFrequency;
}

void vibrato(Channel& ch) {
    const int pos = ch.vibratoPosition;
    int v;
    switch (ch.waveformControl & 3) {
        case 0: v = sineTimes256(pos); break;
        case 1:
            v = (pos & 31) * 8;
            if (pos < 0) v = 255 - v;
            break;
        default: v = 255; break;
    }
    const int delta = ((v * ch.vibratoDepth) >> 7) * 4;
    ch.periodOffset = pos >= 0 ? -delta : delta;
    ch.updateFlags |= updateFrequency;
}

void advanceVibrato(Channel& ch) {
    int pos = ch.vibratoPosition + int8_t(ch.vibratoSpeed);
    if (pos > 31) pos -= 64;
    ch.vibratoPosition = int8_t(pos);
}

void tremolo(Channel& ch) {
    const int pos = ch.tremoloPosition;
    int v;
    switch ((ch.waveformControl >> 4) & 3) {
        case 1:
            v = (pos & 31) * 8;
            if (pos < 0) v = 255 - v;
            break;
        case 2: v = 255; break;
        default: v = sineTimes256(pos); break;
    }
    v = (ch.tremoloDepth * v) >> 6;
    if (pos >= 0) {
        if (ch.volume + v > 64) v = 64 - ch.volume;
        ch.volumeOffset = v;
    } else {
        if (v > ch.volume) v = ch.volume;
        ch.volumeOffset = -v;
    }
    int next = pos + int8_t(ch.tremoloSpeed);
    if (next > 31) next -= 64;
    ch.tremoloPosition = int8_t(next);
    ch.updateFlags |= updateVolume;
}

void tremor(Channel& ch) {
    if (ch.tremorCounter >= ch.tremorOnTicks) ch.volumeOffset = -ch.volume;
    ch.tremorCounter = uint8_t(ch.tremorCounter + 1);
    if (ch.tremorCounter >= ch.tremorOnTicks + ch.tremorOffTicks) ch.tremorCounter = 0;
    ch.updateFlags |= updateVolume;
}

void volumeSlide(Channel& ch) {
    const int h = ch.volumeSlideMemory >> 4, l = ch.volumeSlideMemory & 15;
    if (h) {
        ch.volume += h;
        if (ch.volume > 64) ch.volume = 64;
    } else if (l) {
        ch.volume -= l;
        if (ch.volume < 0) ch.volume = 0;
    }
    ch.updateFlags |= updateVolume;
}

void autoVibrato(Channel& ch, const Instrument* inst) {
    const int p = ch.autoVibratoPosition;
    int v;
    switch (inst->vibratoType) {
        case 0: v = int(std::sin(double(p) * 2.0 * double(3.141592f) / 256.0) * 64.0); break;
        case 1: v = p <= 127 ? 64 : -64; break;
        case 2: v = (128 - ((p + 128) % 256)) >> 1; break;
        case 3: v = (128 - ((384 - p) % 256)) >> 1; break;
        default: v = 0; break;
    }
    v *= inst->vibratoDepth;
    if (inst->vibratoSweep) v = v * ch.autoVibratoSweep / inst->vibratoSweep;
    ch.periodOffset += v >> 6;
    if (ch.autoVibratoSweep < inst->vibratoSweep) ++ch.autoVibratoSweep;
    int next = p + inst->vibratoRate;
    if (next > 255) next -= 256;
    ch.autoVibratoPosition = next;
    ch.updateFlags |= updateFrequency;
}

int clampVolume(int v) { return v < 0 ? 0 : (v > 64 ? 64 : v); }

int retriggerVolume(int change, int v) {
    switch (change) {
        case 1: return v - 1;
        case 2: return v - 2;
        case 3: return v - 4;
        case 4: return v - 8;
        case 5: return v - 16;
        case 6: return v * 2 / 3;
        case 7: return v >> 1;
        case 9: return v + 1;
        case 0xA: return v + 2;
        case 0xB: return v + 4;
        case 0xC: return v + 8;
        case 0xD: return v + 16;
        case 0xE: return v * 3 / 2;
        case 0xF: return v * 2;
        default: return v;
    }
}

void applyVolumeColumn(Channel& ch, int V) {
    if (V >= 0x10 && V <= 0x50) {
        ch.volume = V - 0x10;
        ch.updateFlags |= updateVolume;
        return;
    }
    const int y = V & 15;
    switch (V >> 4) {
        case 0x6:
        case 0x8:
            ch.volume = ch.volume - y < 0 ? 0 : ch.volume - y;
            ch.updateFlags |= updateVolume;
            break;
        case 0x7:
        case 0x9:
            ch.volume = ch.volume + y > 64 ? 64 : ch.volume + y;
            ch.updateFlags |= updateVolume;
            break;
        case 0xA: ch.vibratoSpeed = uint8_t(y); break;
        case 0xB: ch.vibratoDepth = uint8_t(y); break;
        case 0xC:
            ch.panning = y * 16;
            ch.updateFlags |= updatePanning;
            break;
        case 0xD:  // not clamped here: the voice's pan is
            ch.panning -= y;
            ch.updateFlags |= updatePanning;
            break;
        case 0xE:
            ch.panning += y;
            ch.updateFlags |= updatePanning;
            break;
        case 0xF:
            if (y) ch.tonePortamentoSpeed = uint8_t(y * 16);
            ch.tonePortamentoTarget = ch.targetPeriod;
            // Not a portamento row: the period was taken at once, only the restart is dropped.
            ch.updateFlags &= uint8_t(~updateTrigger);
            break;
        default: break;
    }
}

void volumeColumnTick(Channel& ch, int V) {
    if (V < 0x60) return;
    const int y = V & 15;
    switch (V >> 4) {
        case 0x6:
            ch.volume = ch.volume - y < 0 ? 0 : ch.volume - y;
            ch.updateFlags |= updateVolume;
            break;
        case 0x7:
            ch.volume = ch.volume + y > 64 ? 64 : ch.volume + y;
            ch.updateFlags |= updateVolume;
            break;
        case 0xB:
            ch.vibratoDepth = uint8_t(y);
            vibrato(ch);
            advanceVibrato(ch);
            break;
        case 0xD:
            ch.panning -= y;
            ch.updateFlags |= updatePanning;
            break;
        case 0xE:
            ch.panning += y;
            ch.updateFlags |= updatePanning;
            break;
        case 0xF: tonePortamento(ch); break;
        default: break;
    }
}

void setGains(Voice* v) {
    v->leftTargetGain = v->volume * v->panning / 255;
    v->rightTargetGain = v->volume * (255 - v->panning) / 255;
}

void updateVoice(Song* song, Channel& ch, const Sample* sample) {
    if (ch.period + ch.periodOffset == 0) ch.updateFlags &= uint8_t(~updateFrequency);
    Voice* v = ch.voice;
    const uint8_t flags = ch.updateFlags;
    if (flags & updateTrigger) {
        if (v->sample) {
            // Partner swap: the old note fades out over one ramp in its voice.
            const int partner = v->index < 32 ? v->index + 32 : v->index - 32;
            voices[partner] = *v;
            voices[partner].index = partner;
            v->volume = 0;
            v->leftTargetGain = 0;
            v->rightTargetGain = 0;
            v = &voices[partner];
            ch.voice = v;
        }
        v->sample = sample;
        if (v->startOffset < 0 || int64_t(v->startOffset) >= int64_t(sample->loopStart) + sample->loopLength)
            v->startOffset = 0;
        v->position = uint32_t(v->startOffset);
        v->positionFraction = 0;
        v->direction = 1;
        v->startOffset = 0;
        v->leftGain = 0;
        v->rightGain = 0;
        v->leftRampIncrement = 0.0f;
        v->rightRampIncrement = 0.0f;
        v->rampFrames = 0;
    }
    if (flags & updateVolume) {
        const long double product = (long double)(ch.volume + ch.volumeOffset) * ch.volumeEnvelopeOutput *
                                    ch.fadeoutVolume * song->globalVolume * (long double)(255.0f / 34359738368.0f);
        v->volume = int32_t(product);
        setGains(v);
    }
    if (flags & updatePanning) {
        int pan = ch.panning + (ch.panningEnvelopeOutput - 32) * ((128 - std::abs(ch.panning - 128)) / 32);
        if (pan < 0) pan = 0;
        if (pan > 255) pan = 255;
        v->panning = pan;
        setGains(v);
    }
    if (flags & updateFrequency) {
        int64_t f = periodFrequency(song, ch.period, ch.periodOffset);
        if (f < 100) f = 100;
        const uint32_t rate = outputFormat.rate;
        v->step = uint32_t(f / rate);
        v->stepFraction = uint32_t((uint64_t(f % rate) << 32) / rate);
    }
    if (flags & updateRewind) {
        v->position = 0;
        v->positionFraction = 0;
        v->startOffset = 0;
    }
}

void extendedRow(Song* song, Channel& ch, Sample* sample, int x, int y, int savedVolume, int savedPeriod,
                 int savedPanning) {
    switch (x) {
        case 0x1:  // E1y: fine portamento up
            if (y) ch.finePortamentoUpMemory = uint8_t(y);
            ch.period = limitPeriod(int64_t(ch.period) - ch.finePortamentoUpMemory * 4);
            break;
        case 0x2:  // E2y: fine portamento down
            if (y) ch.finePortamentoDownMemory = uint8_t(y);
            ch.period = limitPeriod(int64_t(ch.period) + ch.finePortamentoDownMemory * 4);
            break;
        case 0x4: ch.waveformControl = uint8_t((ch.waveformControl & 0xF0) | y); break;  // E4y: vibrato waveform
        case 0x5:  // E5y: set finetune, kept by the sample for later notes
            if (sample != &emptySample) sample->finetune = int8_t(y);
            break;
        case 0x6:  // E6y: pattern loop
            if (y == 0) {
                ch.patternLoopRow = song->row;
            } else {
                ch.patternLoopCount = ch.patternLoopCount == 0 ? y : ch.patternLoopCount - 1;
                if (ch.patternLoopCount != 0) rowLoopBack = ch.patternLoopRow;
            }
            break;
        case 0x7: ch.waveformControl = uint8_t((ch.waveformControl & 0x0F) | (y << 4)); break;  // E7y: tremolo waveform
        case 0x8:  // E8y: set panning
            ch.panning = y * 16;
            ch.updateFlags |= updatePanning;
            break;
        case 0xA:  // EAy: fine volume up
            if (y) ch.fineVolumeSlideMemory = uint8_t(y);
            ch.volume = ch.volume + ch.fineVolumeSlideMemory > 64 ? 64 : ch.volume + ch.fineVolumeSlideMemory;
            ch.updateFlags |= updateVolume;
            break;
        case 0xB:  // EBy: fine volume down
            if (y) ch.fineVolumeSlideMemory = uint8_t(y);
            ch.volume = ch.volume - ch.fineVolumeSlideMemory < 0 ? 0 : ch.volume - ch.fineVolumeSlideMemory;
            ch.updateFlags |= updateVolume;
            break;
        case 0xD:  // EDy: note delay; the row's note waits for tick y
            ch.volume = savedVolume;
            ch.period = savedPeriod;
            ch.panning = savedPanning;
            ch.updateFlags &= uint8_t(~(updateFrequency | updateVolume | updatePanning | updateTrigger));
            break;
        case 0xE: song->patternDelayTicks = y * song->speed; break;  // EEy: pattern delay
        default: break;
    }
}

void effectRow(Song* song, Channel& ch, Instrument* inst, Sample* sample, int fx, int P, int savedVolume,
               int savedPeriod, int savedPanning) {
    const int x = P >> 4, y = P & 15;
    switch (fx) {
        case fxPortaUp:
            if (P) ch.portamentoUpMemory = uint8_t(P);
            break;
        case fxPortaDown:
            if (P) ch.portamentoDownMemory = uint8_t(P);
            break;
        case fxTonePorta:
            if (P) ch.tonePortamentoSpeed = uint8_t(P);
            ch.tonePortamentoTarget = ch.targetPeriod;
            ch.updateFlags &= uint8_t(~(updateTrigger | updateFrequency));
            break;
        case fxVibrato:
            if (x) ch.vibratoSpeed = uint8_t(x);
            if (y) ch.vibratoDepth = uint8_t(y);
            vibrato(ch);
            break;
        case fxTonePortaVolSlide:
            ch.tonePortamentoTarget = ch.targetPeriod;
            if (P) ch.volumeSlideMemory = uint8_t(P);
            ch.updateFlags &= uint8_t(~(updateTrigger | updateFrequency));
            break;
        case fxVibratoVolSlide:
            if (P) ch.volumeSlideMemory = uint8_t(P);
            vibrato(ch);
            break;
        case fxTremolo:
            if (x) ch.tremoloSpeed = uint8_t(x);
            if (y) ch.tremoloDepth = uint8_t(y);
            break;
        case fxSetPanning:
            ch.panning = P;
            ch.updateFlags |= updatePanning;
            break;
        case fxSampleOffset: {
            if (P) ch.sampleOffsetMemory = P;
            const int32_t offset = ch.sampleOffsetMemory * 256;
            if (int64_t(offset) < int64_t(sample->loopStart) + sample->loopLength) {
                ch.voice->startOffset = offset;
            } else {
                ch.updateFlags &= uint8_t(~updateTrigger);
                ch.updateFlags |= updateRewind;
            }
            break;
        }
        case fxVolumeSlide:
            if (P) ch.volumeSlideMemory = uint8_t(P);
            break;
        case fxPositionJump:
            song->nextOrder = P < song->songLength ? P : 0;
            song->nextRow = 0;
            rowJumped = true;
            break;
        case fxSetVolume:
            ch.volume = P;  // not clamped: above 64 plays louder
            ch.updateFlags |= updateVolume;
            break;
        case fxPatternBreak:
            song->nextRow = x * 10 + y;
            if (song->nextRow > 63) song->nextRow = 0;
            if (!rowJumped) song->nextOrder = song->orderPosition + 1;
            if (song->nextOrder >= song->songLength) song->nextOrder = 0;
            break;
        case fxExtended: extendedRow(song, ch, sample, x, y, savedVolume, savedPeriod, savedPanning); break;
        case fxSpeedTempo:
            if (P <= 31) song->speed = P;
            else setTempo(song, P);
            break;
        case fxGlobalVolume:
            song->globalVolume = P > 64 ? 64 : P;
            ch.updateFlags |= updateVolume;
            break;
        case fxGlobalVolumeSlide:
            if (P) song->globalVolumeSlideMemory = uint8_t(P);
            break;
        case fxEnvelopePosition: setEnvelopePosition(ch, inst, P); break;
        case fxPanningSlide:
            if (P) ch.panningSlideMemory = uint8_t(P);
            ch.updateFlags |= updatePanning;
            break;
        case fxMultiRetrigger:
            if (P) {
                ch.retriggerVolumeChange = uint8_t(x);
                ch.retriggerInterval = uint8_t(y);
            }
            break;
        case fxTremor:
            if (P) {
                ch.tremorOnTicks = uint8_t(x + 1);
                ch.tremorOffTicks = uint8_t(y + 1);
            }
            tremor(ch);
            break;
        case fxExtraFinePorta:
            if (x == 1) {
                if (y) ch.extraFineUpMemory = uint8_t(y);
                ch.period = limitPeriod(int64_t(ch.period) - ch.extraFineUpMemory);
            } else if (x == 2) {
                if (y) ch.extraFineDownMemory = uint8_t(y);
                ch.period = limitPeriod(int64_t(ch.period) + ch.extraFineDownMemory);
            }
            break;
        default: break;  // 0 (arpeggio) and the unused numbers do nothing at the row
    }
}

void effectTick(Song* song, Channel& ch, Sample* sample, const uint8_t* cell) {
    const int fx = cell[3], P = cell[4];
    const int x = P >> 4, y = P & 15;
    const int tick = song->tick;
    switch (fx) {
        case fxArpeggio:
            if (P) {
                const int phase = tick % 3;
                const int semitones = phase == 1 ? x : (phase == 2 ? y : 0);
                if (linearTable(song)) ch.periodOffset = semitones * 64;
                else
                    ch.periodOffset = amigaPeriod(ch.realNote + semitones, sample->finetune) -
                                      amigaPeriod(ch.realNote, sample->finetune);
                ch.updateFlags |= updateFrequency;
            }
            break;
        case fxPortaUp:
            ch.periodOffset = 0;
            ch.period -= ch.portamentoUpMemory * 4;
            if (ch.period <= 55) ch.period = 56;
            ch.updateFlags |= updateFrequency;
            break;
        case fxPortaDown:  // no upper limit, only the overflow guard
            ch.periodOffset = 0;
            ch.period = limitPeriod(int64_t(ch.period) + ch.portamentoDownMemory * 4);
            ch.updateFlags |= updateFrequency;
            break;
        case fxTonePorta:
            ch.periodOffset = 0;
            tonePortamento(ch);
            break;
        case fxVibrato:
            vibrato(ch);
            advanceVibrato(ch);
            break;
        case fxTonePortaVolSlide:
            ch.periodOffset = 0;
            tonePortamento(ch);
            volumeSlide(ch);
            break;
        case fxVibratoVolSlide:
            vibrato(ch);
            advanceVibrato(ch);
            volumeSlide(ch);
            break;
        case fxTremolo: tremolo(ch); break;
        case fxVolumeSlide: volumeSlide(ch); break;
        case fxExtended:
            switch (x) {
                case 0x9:  // E9y: retrigger
                    if (y && tick % y == 0) ch.updateFlags |= updateTrigger | updateVolume | updateFrequency;
                    break;
                case 0xC:  // ECy: note cut
                    if (tick == y) {
                        ch.volume = 0;
                        ch.updateFlags |= updateVolume;
                    }
                    break;
                case 0xD:  // EDy: the delayed note starts now
                    if (tick == y) {
                        triggerInstrument(ch, sample);
                        ch.period = ch.targetPeriod;
                        ch.updateFlags |= updateFrequency;
                        if (cell[2]) applyVolumeColumn(ch, cell[2]);
                        ch.updateFlags |= updateTrigger;
                    } else {
                        ch.updateFlags &= uint8_t(~(updateFrequency | updateVolume | updatePanning | updateTrigger));
                    }
                    break;
                default: break;
            }
            break;
        case fxGlobalVolumeSlide: {
            const int h = song->globalVolumeSlideMemory >> 4, l = song->globalVolumeSlideMemory & 15;
            if (h) song->globalVolume = song->globalVolume + h > 64 ? 64 : song->globalVolume + h;
            else if (l) song->globalVolume = song->globalVolume - l < 0 ? 0 : song->globalVolume - l;
            break;
        }
        case fxPanningSlide: {
            const int h = ch.panningSlideMemory >> 4, l = ch.panningSlideMemory & 15;
            if (h) ch.panning = ch.panning + h > 255 ? 255 : ch.panning + h;
            else if (l) ch.panning = ch.panning - l < 0 ? 0 : ch.panning - l;
            ch.updateFlags |= updatePanning;
            break;
        }
        case fxMultiRetrigger:
            if (ch.retriggerInterval && tick % ch.retriggerInterval == 0) {
                if (ch.retriggerVolumeChange) {
                    ch.volume = clampVolume(retriggerVolume(ch.retriggerVolumeChange, ch.volume));
                    ch.updateFlags |= updateVolume;
                }
                ch.updateFlags |= updateTrigger;
            }
            break;
        case fxTremor: tremor(ch); break;
        default: break;
    }
}

void processRow(Song* song) {
    song->nextRow = -1;
    song->nextOrder = -1;
    rowJumped = false;
    rowLoopBack = -1;
    const uint8_t* cells = currentRowCells(song);
    for (int i = 0; i < song->channels && i < channelCount; ++i) {
        Channel& ch = channels[i];
        const uint8_t* cell = cells + i * cellBytes;
        const int N = cell[0], I = cell[1], V = cell[2], fx = cell[3], P = cell[4];
        const bool hasNote = N != 0 && N != 255;
        const bool portamentoRow = fx == fxTonePorta || fx == fxTonePortaVolSlide;
        if (I && !portamentoRow) ch.instrument = uint8_t(I - 1);
        if (hasNote && !portamentoRow) ch.note = uint8_t(N - 1);
        Instrument* inst;
        Sample* sample;
        lookup(song, ch, &inst, &sample);
        const int savedVolume = ch.volume, savedPeriod = ch.period, savedPanning = ch.panning;
        // 7xy: the last tremolo deviation stays in the volume.
        if (ch.lastEffect == fxTremolo && fx != fxTremolo) ch.volume += ch.volumeOffset;
        ch.lastEffect = uint8_t(fx);
        ch.volumeOffset = 0;
        ch.updateFlags = 0;
        if (hasNote) {
            ch.realNote = uint8_t(N + sample->relativeNote - 1);
            ch.targetPeriod = notePeriod(song, ch.realNote, sample->finetune);
            if (!portamentoRow) ch.period = ch.targetPeriod;
            ch.updateFlags = updateTrigger;
        }
        ch.periodOffset = 0;
        ch.updateFlags |= updateFrequency | updateVolume;
        if (I) triggerInstrument(ch, sample);
        if (V) applyVolumeColumn(ch, V);
        if (N == 255 || fx == fxKeyOff) ch.keyOff = 1;  // Kxx releases at the row; its parameter is unused
        if (inst->volumeEnvelopeType & 1) stepEnvelopes(ch, inst);
        else if (ch.keyOff) ch.volumeEnvelopeOutput = 0;  // a release without envelope cuts at once
        stepPanningEnvelope(ch, inst);
        fadeout(ch, inst);
        effectRow(song, ch, inst, sample, fx, P, savedVolume, savedPeriod, savedPanning);
        autoVibrato(ch, inst);
        updateVoice(song, ch, sample);
    }
}

void processTick(Song* song) {
    const uint8_t* cells = currentRowCells(song);
    for (int i = 0; i < song->channels && i < channelCount; ++i) {
        Channel& ch = channels[i];
        const uint8_t* cell = cells + i * cellBytes;
        Instrument* inst;
        Sample* sample;
        lookup(song, ch, &inst, &sample);
        ch.volumeOffset = 0;
        ch.periodOffset = 0;
        ch.updateFlags = 0;
        stepEnvelopes(ch, inst);
        stepPanningEnvelope(ch, inst);
        fadeout(ch, inst);
        volumeColumnTick(ch, cell[2]);
        effectTick(song, ch, sample, cell);
        autoVibrato(ch, inst);
        updateVoice(song, ch, sample);
    }
}

}  // namespace

int32_t amigaPeriod(int n, int f) {
    if (f < 0 && n > 0) return amigaBase(n) - ((amigaBase(n) - amigaBase(n - 1)) * -f) / 128;
    return amigaBase(n) + ((amigaBase(n + 1) - amigaBase(n)) * f) / 128;
}

int32_t periodFrequency(const Song* song, int32_t period, int32_t offset) {
    // Capped below 255 frames per output frame: the mixer's frame count to a
    // loop point is exact only for smaller steps. No playable note comes near.
    const double limit = double(outputFormat.rate) * 255.0;
    double f;
    if (linearTable(song)) {
        f = 8363.0 * std::pow(2.0, double(4608 - int64_t(period) + offset) / 768.0);
    } else {
        const int64_t p = int64_t(period) + offset;
        if (p == 0) return int32_t(limit);
        f = double(14317056 / p);
    }
    if (!(f < limit)) f = limit;
    return int32_t(f);
}

void setTempo(Song* song, int bpm) {
    if (!song) return;
    // BPM 0 never comes from a valid module; it would make ticks infinitely long.
    if (bpm < 1) bpm = 1;
    song->bpm = bpm;
    const long double frames = ((1000.0L / (bpm * 2.0L / 5.0L)) * outputFormat.rate) / 1000.0L;
    int32_t n = int32_t(frames);
    if (n < 1) n = 1;
    song->framesPerTick = n;
}

void clearChannels(int count) {
    if (count > channelCount) count = channelCount;
    for (int i = 0; i < count; ++i) {
        std::memset(&channels[i], 0, sizeof(Channel));
        channels[i].voice = &voices[i];
    }
}

void songTick(Song* song) {
    if (!song) return;
    if (song->tick == 0) {
        if (song->nextOrder >= 0) song->orderPosition = song->nextOrder;
        if (song->nextRow >= 0) song->row = song->nextRow;
        if (song->orderPosition >= song->songLength) song->orderPosition = 0;
        // A break or loop to a row this pattern does not have starts it from the top.
        Pattern* pattern = currentPattern(song);
        if (!pattern || song->row >= pattern->rows || song->row < 0) song->row = 0;
        processRow(song);
        if (song->nextRow == -1) {
            song->nextRow = rowLoopBack >= 0 ? rowLoopBack : song->row + 1;
            if (!pattern || song->nextRow >= pattern->rows) {
                song->nextOrder = song->orderPosition + 1;
                if (song->nextOrder >= song->songLength) song->nextOrder = song->restartPosition;
                song->nextRow = 0;
            }
        }
    } else {
        processTick(song);
    }
    song->tick += 1;
    if (song->tick >= song->speed + song->patternDelayTicks) {
        song->tick = 0;
        song->patternDelayTicks = 0;
    }
}
