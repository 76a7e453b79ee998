// vorna-music-report: prints the mix figures of a 16-bit stereo WAV file, one
// pass of the soundtrack as xm-render writes it, with the module that made it
// for the order layout.
//
//   vorna-music-report PASS.WAV [MODULE.XM]
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "figures.h"
#include "support/file_bytes.h"

namespace {

uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
uint32_t le16(const uint8_t* p) { return p[0] | (p[1] << 8); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: vorna-music-report PASS.WAV [MODULE.XM]\n");
        return 2;
    }
    std::vector<uint8_t> wav;
    if (!readFileBytes(argv[1], wav) || wav.size() < 44 || std::memcmp(wav.data(), "RIFF", 4) != 0) {
        std::fprintf(stderr, "vorna-music-report: %s is not a WAV file\n", argv[1]);
        return 1;
    }
    // Walk the chunks to "fmt " and "data".
    int rate = 0, channels = 0, bits = 0;
    const int16_t* pcm = nullptr;
    long frames = 0;
    for (size_t at = 12; at + 8 <= wav.size();) {
        const uint32_t size = le32(&wav[at + 4]);
        if (std::memcmp(&wav[at], "fmt ", 4) == 0 && at + 24 <= wav.size()) {
            channels = int(le16(&wav[at + 10]));
            rate = int(le32(&wav[at + 12]));
            bits = int(le16(&wav[at + 22]));
        } else if (std::memcmp(&wav[at], "data", 4) == 0) {
            const size_t bytes = std::min<size_t>(size, wav.size() - at - 8);
            pcm = reinterpret_cast<const int16_t*>(&wav[at + 8]);
            frames = long(bytes / 4);
            break;
        }
        at += 8 + size + (size & 1);
    }
    if (!pcm || channels != 2 || bits != 16 || rate <= 0) {
        std::fprintf(stderr, "vorna-music-report: %s is not 16-bit stereo PCM\n", argv[1]);
        return 1;
    }
    std::printf("%s: %ld frames, %.2f s at %d Hz\n", argv[1], frames, double(frames) / rate, rate);
    double lufs = 0.0;
    if (musicreport::integratedLoudness(pcm, frames, rate, &lufs))
        std::printf("integrated loudness %.2f LUFS\n", lufs);
    else
        std::printf("integrated loudness: not built with libebur128\n");
    std::printf("sample peak %.2f dBFS\n", musicreport::samplePeakDbfs(pcm, frames));
    std::printf("crest factor %.2f dB\n", musicreport::crestFactorDb(pcm, frames));
    double share[musicreport::bandCount];
    musicreport::bandShares(pcm, frames, rate, share);
    static const char* const names[musicreport::bandCount] = {"below 60 Hz", "60-250 Hz", "250-2000 Hz",
                                                              "2000-6000 Hz", "above 6000 Hz"};
    for (int b = 0; b < musicreport::bandCount; ++b)
        std::printf("  %-14s %5.1f %%  %6.2f dB\n", names[b], 100.0 * share[b], 10.0 * std::log10(share[b] + 1e-12));
    if (argc > 2) {
        std::vector<uint8_t> xm;
        if (!readFileBytes(argv[2], xm)) {
            std::fprintf(stderr, "vorna-music-report: can't read %s\n", argv[2]);
            return 1;
        }
        const musicreport::Layout layout = musicreport::readLayout(xm.data(), xm.size(), rate);
        if (!layout.ok) {
            std::fprintf(stderr, "vorna-music-report: %s is not an XM module\n", argv[2]);
            return 1;
        }
        const std::vector<double> rms = musicreport::orderRmsDbfs(pcm, frames, layout);
        const std::vector<musicreport::Width> width = musicreport::orderWidth(pcm, frames, layout);
        const std::vector<double> lufs = musicreport::orderLoudness(pcm, frames, rate, layout);
        for (size_t i = 0; i < rms.size(); ++i) {
            std::printf("  order %2zu (pattern %2u): RMS %6.2f dBFS", i, unsigned(xm[80 + i]), rms[i]);
            if (i < lufs.size()) std::printf(", %6.2f LUFS", lufs[i]);
            std::printf(", side %6.2f dB below mid, L/R correlation %.2f\n", -width[i].sideToMidDb,
                        width[i].correlation);
        }
        std::printf("orders repeating an earlier order's pattern data: %d of %zu\n", layout.repeatedOrders,
                    layout.orderFrames.size());
    }
    return 0;
}
