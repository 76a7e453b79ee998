#include "music/player.h"

#include <cmath>
#include <cstring>

#include <emmintrin.h>

#include "music/mixer.h"
#include "music/playback_thread.h"
#include "music/playback.h"
#include "music/row_queue.h"
#include "music/xm_loader.h"

OutputFormat outputFormat = {44100, 1.0f / 44100.0f, framesPerBlock, 128, 1.0f / 128.0f};
PositionSnapshot positionSnapshot;

int setOutputRate(unsigned rate) {
    const uint32_t ramp = uint32_t(uint64_t(rate) * 128 / 44100);
    if (ramp == 0) return 0;
    outputFormat.rate = rate;
    outputFormat.rateReciprocal = 1.0f / float(rate);
    outputFormat.framesPerBlock = framesPerBlock;
    outputFormat.rampLength = ramp;
    outputFormat.rampReciprocal = 1.0f / float(ramp);
    clearVoices();
    return 1;
}

int rewindSong(Song* song) {
    if (!song) return 0;
    song->globalVolume = song->initialGlobalVolume;
    song->speed = song->defaultSpeed;
    song->tick = 0;
    song->row = 0;
    song->orderPosition = 0;
    song->patternDelayTicks = 0;
    song->nextRow = -1;
    song->nextOrder = -1;
    song->framesLeftInTick = 0;
    song->elapsedMs = 0;
    setTempo(song, song->defaultBpm);
    clearChannels(song->channels);
    // Voices still sounding a previous song (or the previous run of this one)
    // would otherwise keep pointing into its samples.
    clearVoices();
    positionSnapshot.order.store(0, std::memory_order_relaxed);
    positionSnapshot.row.store(0, std::memory_order_relaxed);
    positionSnapshot.elapsedMs.store(0, std::memory_order_relaxed);
    positionSnapshot.frame.store(0, std::memory_order_relaxed);
    return 1;
}

void releaseSongPlayback(Song* song) {
    if (!song) return;
    // A thread still rendering this song must stop before its samples go.
    if (playingSong() == song) stopSong(song);
    // A thread rendering another song owns the voices, and they point into
    // that song's samples (playSong cleared them): leave them to it. With no
    // thread (the offline renderer, the recorder, tests) they may still point
    // into this song's samples and must go.
    if (isPlaying() && playingSong() != nullptr) return;
    clearVoices();
}

int16_t convertSample(float value) {
    // Far outside the range the result is known; this also keeps lrint
    // within a 32-bit long on i386.
    if (value > 65536.0f) return 32727;
    if (value < -65536.0f) return -32728;
    const long r = std::lrint(value);
    if (r > 32767) return 32727;
    if (r < -32768) return -32728;
    return int16_t(r);
}

// Eight values a pass in SSE2, each as convertSample gives it: the conversion
// rounds to nearest, ties to even, as lrint does in the default rounding
// mode, and gives INT32_MIN beyond the 32-bit range (and for NaN), which
// lands in the low clamp as lrint's result does. Cost: count values.
void convertBlock(const float* mix, int16_t* out, int count) {
    const __m128 far = _mm_set1_ps(65536.0f);
    const __m128i top = _mm_set1_epi32(32767), bottom = _mm_set1_epi32(-32768);
    const __m128i high = _mm_set1_epi32(32727), low = _mm_set1_epi32(-32728);
    auto four = [&](const float* in) {
        const __m128 v = _mm_loadu_ps(in);
        const __m128i r = _mm_cvtps_epi32(v);
        const __m128i over = _mm_or_si128(_mm_cmpgt_epi32(r, top), _mm_castps_si128(_mm_cmpgt_ps(v, far)));
        const __m128i under = _mm_andnot_si128(over, _mm_cmplt_epi32(r, bottom));
        const __m128i kept = _mm_andnot_si128(_mm_or_si128(over, under), r);
        return _mm_or_si128(kept, _mm_or_si128(_mm_and_si128(over, high), _mm_and_si128(under, low)));
    };
    const int whole = count > 0 ? count / 8 : 0;
    for (int b = 0; b < whole; ++b) {
        const float* in = mix + 8 * b;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * b), _mm_packs_epi32(four(in), four(in + 4)));
    }
    for (int i = 8 * whole; i < count; ++i) out[i] = convertSample(mix[i]);
}

namespace {

// The block loop itself. Every row start goes to the observer and, when
// there is one, to the queue at its stream frame.
void renderFrames(Song* song, float* mix, int16_t* out, RowObserver observer, void* user, RowQueue* rows,
                  uint64_t firstFrame) {
    std::memset(mix, 0, sizeof(float) * 2 * framesPerBlock);
    if (!song) {
        convertBlock(mix, out, 2 * framesPerBlock);
        return;
    }
    int pos = 0;
    int left = song->framesLeftInTick;
    while (pos < framesPerBlock) {
        if (left <= 0) {
            const bool rowTick = song->tick == 0;
            song->tickHandler(song);
            if (rowTick && observer) observer(song, user);
            if (rowTick && rows)
                rows->push({firstFrame + uint64_t(pos), song->elapsedMs, uint8_t(song->orderPosition), uint8_t(song->row)});
            left = song->framesPerTick;
        }
        const int n = left < framesPerBlock - pos ? left : framesPerBlock - pos;
        mixVoices(mix + 2 * pos, n);
        // The float reciprocal lies just below 1/44100: 882 frames add 19.
        song->elapsedMs += int32_t(double(outputFormat.rateReciprocal) * n * 1000.0);
        pos += n;
        left -= n;
    }
    song->framesLeftInTick = left;
    convertBlock(mix, out, 2 * framesPerBlock);
}

}  // namespace

void publishPosition(const RowMark& mark) {
    positionSnapshot.frame.store(mark.frame, std::memory_order_relaxed);
    positionSnapshot.elapsedMs.store(mark.elapsedMs, std::memory_order_relaxed);
    positionSnapshot.row.store(mark.row, std::memory_order_relaxed);
    positionSnapshot.order.store(mark.order, std::memory_order_relaxed);
}

void renderBlock(Song* song, float* mix, int16_t* out, RowObserver observer, void* user) {
    renderFrames(song, mix, out, observer, user, nullptr, 0);
    // The state after the last tick that started in the block.
    if (song) publishPosition({0, song->elapsedMs, uint8_t(song->orderPosition), uint8_t(song->row)});
}

void renderQueuedBlock(Song* song, float* mix, int16_t* out, RowQueue& rows, uint64_t firstFrame) {
    renderFrames(song, mix, out, nullptr, nullptr, &rows, firstFrame);
}
