#include "figures.h"

#include <cmath>
#include <complex>

namespace musicreport {

namespace {

uint32_t le16(const uint8_t* p) { return p[0] | (uint32_t(p[1]) << 8); }
uint32_t le32(const uint8_t* p) { return le16(p) | (le16(p + 2) << 16); }

// In-place radix-2 FFT of a power-of-two length. Cost: n log2 n butterflies.
void fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * M_PI / double(len);
        const std::complex<double> w(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> wk(1.0, 0.0);
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * wk;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                wk *= w;
            }
        }
    }
}

}  // namespace

Layout readLayout(const uint8_t* xm, size_t size, int rate) {
    Layout out;
    if (size < 336) return out;
    const uint32_t headerSize = le32(xm + 60);
    const uint32_t songLength = le16(xm + 64), channels = le16(xm + 68), patterns = le16(xm + 70);
    const uint32_t speed = le16(xm + 76), bpm = le16(xm + 78);
    if (songLength > 256 || channels == 0 || channels > 32 || bpm == 0) return out;
    std::vector<std::vector<uint8_t>> cells(patterns);
    size_t at = 60 + size_t(headerSize);
    for (uint32_t p = 0; p < patterns; ++p) {
        if (at + 9 > size) return out;
        const uint32_t rows = le16(xm + at + 5), packed = le16(xm + at + 7);
        at += le32(xm + at);
        const size_t end = at + packed;
        if (end > size) return out;
        std::vector<uint8_t>& c = cells[p];
        c.assign(size_t(rows) * channels * 5, 0);
        for (size_t k = 0; packed && k < size_t(rows) * channels && at < end; ++k) {
            const uint8_t b = xm[at++];
            uint8_t* cell = &c[k * 5];
            if (b & 0x80) {
                for (int f = 0; f < 5; ++f)
                    if (b & (1 << f)) cell[f] = at < end ? xm[at++] : 0;
            } else {
                cell[0] = b;
                for (int f = 1; f < 5; ++f) cell[f] = at < end ? xm[at++] : 0;
            }
        }
        at = end;
    }
    const long framesPerTick = long(rate) * 5 / (2 * long(bpm));
    for (uint32_t i = 0; i < songLength; ++i) {
        const uint8_t p = xm[80 + i];
        const long rows = p < patterns ? long(cells[p].size() / (channels * 5)) : 64;
        out.orderFrames.push_back(rows * long(speed) * framesPerTick);
        for (uint32_t j = 0; j < i; ++j) {
            const uint8_t q = xm[80 + j];
            if (p == q || (p < patterns && q < patterns && cells[p] == cells[q])) {
                ++out.repeatedOrders;
                break;
            }
        }
    }
    out.ok = true;
    return out;
}

double samplePeakDbfs(const int16_t* stereo, long frames) {
    int peak = 0;
    for (long i = 0; i < 2 * frames; ++i) peak = std::max(peak, std::abs(int(stereo[i])));
    return peak ? 20.0 * std::log10(peak / 32768.0) : -INFINITY;
}

double crestFactorDb(const int16_t* stereo, long frames) {
    double sum = 0.0;
    for (long i = 0; i < 2 * frames; ++i) sum += double(stereo[i]) * stereo[i];
    const double rms = frames > 0 ? 10.0 * std::log10(sum / (2.0 * double(frames)) / (32768.0 * 32768.0) + 1e-30) : 0.0;
    return samplePeakDbfs(stereo, frames) - rms;
}

void bandShares(const int16_t* stereo, long frames, int rate, double share[bandCount]) {
    constexpr size_t n = 8192;
    std::vector<double> window(n), power(n / 2 + 1, 0.0);
    for (size_t i = 0; i < n; ++i) window[i] = 0.5 - 0.5 * std::cos(2.0 * M_PI * double(i) / double(n));
    std::vector<std::complex<double>> a(n);
    // Cost: one FFT of 8192 points per 4096 frames.
    for (long start = 0; start + long(n) <= frames; start += long(n / 2)) {
        for (size_t i = 0; i < n; ++i) {
            const long f = start + long(i);
            const double mono = (double(stereo[2 * f]) + double(stereo[2 * f + 1])) * 0.5;
            a[i] = std::complex<double>(mono * window[i], 0.0);
        }
        fft(a);
        for (size_t k = 0; k <= n / 2; ++k) power[k] += std::norm(a[k]);
    }
    double total = 0.0;
    for (int b = 0; b < bandCount; ++b) share[b] = 0.0;
    for (size_t k = 1; k <= n / 2; ++k) {  // the DC bin is no band's
        const double hz = double(k) * rate / double(n);
        int b = 0;
        while (b < bandCount - 1 && hz >= bandEdges[b]) ++b;
        share[b] += power[k];
        total += power[k];
    }
    for (int b = 0; b < bandCount; ++b) share[b] = total > 0.0 ? share[b] / total : 0.0;
}

std::vector<double> orderRmsDbfs(const int16_t* stereo, long frames, const Layout& layout) {
    std::vector<double> out;
    long start = 0;
    for (long length : layout.orderFrames) {
        if (start + length > frames) break;
        double sum = 0.0;
        for (long i = 2 * start; i < 2 * (start + length); ++i) sum += double(stereo[i]) * stereo[i];
        out.push_back(10.0 * std::log10(sum / (2.0 * double(length)) / (32768.0 * 32768.0) + 1e-30));
        start += length;
    }
    return out;
}

std::vector<double> orderLoudness(const int16_t* stereo, long frames, int rate, const Layout& layout) {
    std::vector<double> out;
    long start = 0;
    for (long length : layout.orderFrames) {
        if (start + length > frames) break;
        double lufs = 0.0;
        if (!integratedLoudness(stereo + 2 * start, length, rate, &lufs)) return {};
        out.push_back(lufs);
        start += length;
    }
    return out;
}

std::vector<Width> orderWidth(const int16_t* stereo, long frames, const Layout& layout) {
    std::vector<Width> out;
    long start = 0;
    for (long length : layout.orderFrames) {
        if (start + length > frames) break;
        double mid = 0.0, side = 0.0, ll = 0.0, rr = 0.0, lr = 0.0;
        for (long f = start; f < start + length; ++f) {
            const double l = stereo[2 * f], r = stereo[2 * f + 1];
            mid += (l + r) * (l + r) * 0.25;
            side += (l - r) * (l - r) * 0.25;
            ll += l * l;
            rr += r * r;
            lr += l * r;
        }
        Width w;
        w.sideToMidDb = 10.0 * std::log10((side + 1e-9) / (mid + 1e-9));
        w.correlation = ll > 0.0 && rr > 0.0 ? lr / std::sqrt(ll * rr) : 1.0;
        out.push_back(w);
        start += length;
    }
    return out;
}

}  // namespace musicreport
