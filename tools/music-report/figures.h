// The soundtrack's mix figures: integrated loudness (ITU BS.1770, gated),
// sample peak, crest factor, the share of the mono energy in five bands, RMS and stereo
// width per order and the count of orders whose pattern data repeats an
// earlier order's. The report tool prints them and the soundtrack test
// checks the same numbers.
//
// Owns: nothing; plain functions over caller-owned 16-bit stereo PCM.
// Thread: any, no shared state.
// Not for: the production; this is a measuring tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace musicreport {

constexpr int bandCount = 5;
// Band edges in Hz: below 60, 60-250, 250-2000, 2000-6000, above 6000.
constexpr double bandEdges[bandCount - 1] = {60.0, 250.0, 2000.0, 6000.0};

// Where each order position starts and how long it lasts, read from an XM file.
struct Layout {
    bool ok = false;
    std::vector<long> orderFrames;  // frames of each order position, in order
    int repeatedOrders = 0;         // orders whose cells equal an earlier order's
};

// Reads the order list and patterns of an XM file. Frames per order assume
// the module's default speed and tempo throughout (what the soundtrack keeps).
Layout readLayout(const uint8_t* xm, size_t size, int rate);

// Largest |sample| of either side, in dBFS (32768 = 0 dBFS).
double samplePeakDbfs(const int16_t* stereo, long frames);

// Sample peak over the RMS of both sides of the whole signal, in dB: how far
// the drums stand out of what sustains under them.
double crestFactorDb(const int16_t* stereo, long frames);

// Each band's share of the energy of the mono downmix ((left + right) / 2),
// from a power spectrum averaged over Hann windows of 8192 frames, half
// overlapping. Shares add up to 1.
void bandShares(const int16_t* stereo, long frames, int rate, double share[bandCount]);

// RMS of both sides over each order position, in dBFS; orders past the end
// of the audio are left out.
std::vector<double> orderRmsDbfs(const int16_t* stereo, long frames, const Layout& layout);

// The stereo width of each order position: the level of the side signal
// ((left - right) / 2) against the mid ((left + right) / 2) in dB, and the
// correlation of left and right (1 for mono, 0 for unrelated sides).
struct Width {
    double sideToMidDb = 0.0;
    double correlation = 1.0;
};
std::vector<Width> orderWidth(const int16_t* stereo, long frames, const Layout& layout);

// Integrated loudness in LUFS through libebur128; false where the tool was
// built without it.
bool integratedLoudness(const int16_t* stereo, long frames, int rate, double* lufs);

// The integrated loudness of each order position on its own, in LUFS; empty
// where the tool was built without libebur128, and orders past the end of
// the audio are left out.
std::vector<double> orderLoudness(const int16_t* stereo, long frames, int rate, const Layout& layout);

}  // namespace musicreport
