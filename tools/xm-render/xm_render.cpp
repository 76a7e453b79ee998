// xm-render: renders an XM module (a file, or with --embedded the
// production's own module) through the player's block loop into a 16-bit
// stereo 44100 Hz WAV file, so the player can be heard without a device.
//
//   xm-render FILE.XM | --embedded  [-o OUT.WAV] [--seconds N | --pass] [--timeline]
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "music/module_file.h"
#include "music/player.h"
#include "music/xm_loader.h"

#ifdef XM_RENDER_EMBEDDED
extern const unsigned char kestrulaXm[];
extern const unsigned long kestrulaXm_size;
#endif

namespace {

constexpr unsigned rate = 44100;
constexpr double passLimitSeconds = 30 * 60;  // a song that never ends its pass

struct RenderState {
    bool timeline = false;
    bool pass = false;
    bool passOver = false;
    long passEndInBlock = 0;  // with --pass: frames of the last block that still belong to the pass
    std::set<int> ordersSeen;
    int lastOrder = -1;
};

// Where the tick now being handled starts inside the block being rendered.
// renderBlock mixes the frames left of the previous tick first, then one
// tick after another, each as long as the song's frames per tick right after
// its handler ran; counting the same way tells where in the block a row
// begins, so --pass can stop at the exact frame where the song returns.
struct TickCursor {
    TickHandler handler = nullptr;
    long next = 0;     // the frame in the block at which the next tick starts
    long current = 0;  // the frame in the block at which the last handled tick started
};
TickCursor cursor;

void countingTick(Song* song) {
    cursor.current = cursor.next;
    cursor.handler(song);
    cursor.next += song->framesPerTick;
}

void onRow(const Song* song, void* user) {
    RenderState& st = *static_cast<RenderState*>(user);
    if (st.timeline) std::printf("%8d ms  order %3d  row %3d\n", song->elapsedMs, song->orderPosition, song->row);
    if (song->orderPosition != st.lastOrder) {
        // One pass ends when playback comes back to an order position it has played.
        if (st.ordersSeen.count(song->orderPosition) && !st.passOver) {
            st.passOver = true;
            st.passEndInBlock = cursor.current;
        }
        st.ordersSeen.insert(song->orderPosition);
        st.lastOrder = song->orderPosition;
    }
}

void put16(FILE* f, unsigned v) {
    const unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
    std::fwrite(b, 1, 2, f);
}
void put32(FILE* f, unsigned long v) {
    put16(f, unsigned(v & 0xFFFF));
    put16(f, unsigned((v >> 16) & 0xFFFF));
}

void writeWavHeader(FILE* f, unsigned long dataBytes) {
    std::fwrite("RIFF", 1, 4, f);
    put32(f, 36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    put32(f, 16);
    put16(f, 1);  // PCM
    put16(f, 2);
    put32(f, rate);
    put32(f, rate * 4);
    put16(f, 4);
    put16(f, 16);
    std::fwrite("data", 1, 4, f);
    put32(f, dataBytes);
}

double cpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

int usage() {
    std::fprintf(stderr,
                 "usage: xm-render FILE.XM | --embedded [-o OUT.WAV] [--seconds N | --pass] [--timeline]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const char* input = nullptr;
    const char* output = "out.wav";
    bool embedded = false;
    double seconds = 0;
    RenderState st;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--embedded")) embedded = true;
        else if (!std::strcmp(argv[i], "--timeline")) st.timeline = true;
        else if (!std::strcmp(argv[i], "--pass")) st.pass = true;
        else if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) seconds = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "-o") && i + 1 < argc) output = argv[++i];
        else if (argv[i][0] == '-') return usage();
        else input = argv[i];
    }
    if (embedded == (input != nullptr)) return usage();
    if (!st.pass && seconds <= 0) seconds = 30;

    std::vector<unsigned char> bytes;
    const char* name = input;
    if (embedded) {
#ifdef XM_RENDER_EMBEDDED
        bytes.assign(kestrulaXm, kestrulaXm + kestrulaXm_size);
        name = "KESTRULA.XM";
#else
        std::fprintf(stderr, "xm-render: no module is embedded in this build\n");
        return 1;
#endif
    } else {
        FILE* f = std::fopen(input, "rb");
        if (!f) {
            std::fprintf(stderr, "xm-render: cannot open %s\n", input);
            return 1;
        }
        unsigned char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
        std::fclose(f);
    }
    // Files are served the same way the production serves its own module.
    setFileCallbacks(embeddedOpen, embeddedClose, embeddedRead, embeddedSeek, embeddedTell);
    if (bytes.empty() || !setEmbeddedModule(bytes.data(), bytes.size())) {
        std::fprintf(stderr, "Error loading song\n");
        return 1;
    }
    setOutputRate(rate);
    Song* song = loadSong(name, nullptr);
    if (!song) {
        std::fprintf(stderr, "Error loading song\n");
        return 1;
    }
    std::printf("%s: %d channels, %d patterns, %d instruments, %d orders, %s table, speed %d, %d BPM\n", name,
                song->channels, song->patternCount, song->instrumentCount, song->songLength,
                (song->flags & 1) ? "linear" : "Amiga", song->defaultSpeed, song->defaultBpm);

    FILE* out = std::fopen(output, "wb");
    if (!out) {
        std::fprintf(stderr, "xm-render: cannot write %s\n", output);
        freeSong(song);
        return 1;
    }
    writeWavHeader(out, 0);
    rewindSong(song);
    cursor.handler = song->tickHandler;
    song->tickHandler = countingTick;
    std::vector<float> mix(2 * framesPerBlock + 4);
    std::vector<int16_t> pcm(2 * framesPerBlock);
    const double limit = st.pass ? passLimitSeconds : seconds;
    const unsigned long wantFrames = static_cast<unsigned long>(limit * rate);
    unsigned long frames = 0;
    double cpu = 0;
    while (frames < wantFrames) {
        const double t0 = cpuSeconds();
        cursor.next = song->framesLeftInTick > 0 ? song->framesLeftInTick : 0;
        renderBlock(song, mix.data(), pcm.data(), onRow, &st);
        cpu += cpuSeconds() - t0;
        // With --pass the block in which the song returns is kept up to the
        // frame where it returns.
        unsigned long keep = st.pass && st.passOver ? static_cast<unsigned long>(st.passEndInBlock) : framesPerBlock;
        if (frames + keep > wantFrames) keep = wantFrames - frames;
        std::vector<unsigned char> le(keep * 4);
        for (unsigned long i = 0; i < keep * 2; ++i) {
            le[2 * i] = static_cast<unsigned char>(uint16_t(pcm[i]) & 0xFF);
            le[2 * i + 1] = static_cast<unsigned char>(uint16_t(pcm[i]) >> 8);
        }
        std::fwrite(le.data(), 1, le.size(), out);
        frames += keep;
        if (st.pass && st.passOver) break;
    }
    std::fseek(out, 0, SEEK_SET);
    writeWavHeader(out, frames * 4);
    std::fclose(out);
    const double audio = double(frames) / rate;
    std::printf("wrote %s: %lu frames, %.2f s of audio in %.3f s of CPU, %.0f x real time\n", output, frames, audio,
                cpu, cpu > 0 ? audio / cpu : 0.0);
    freeSong(song);
    return 0;
}
