// vorna-sound-compare: what a sound server's monitor heard against the same
// music rendered offline, for the whole-program sound test.
//   vorna-sound-compare HEARD.raw REFERENCE.wav SIZES.txt [ROWS.txt]
// HEARD.raw is 16-bit stereo at 44100 Hz as recorded from the monitor;
// SIZES.txt has one "WRITTEN HEARD TIME" line a reading: byte counts read at
// the same moment from the production's WAV capture (what it had written to
// its device, 44-byte header included) and from HEARD.raw, and the realtime
// clock in microseconds. ROWS.txt is the production's VORNA_ROW_LOG.
// Prints the level, how well each second of what was heard matches the
// reference, how far the writes ran ahead of what was heard and how far the
// rows shown ran ahead of their first sample heard; exits 1 when what was
// heard is not the music, or the rows' median lead is beyond 35 ms either way.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;

std::string readAll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Stereo 16-bit frames as the mean of both channels.
std::vector<float> mono(const char* bytes, size_t size) {
    std::vector<float> out(size / 4);
    for (size_t i = 0; i < out.size(); ++i) {
        int16_t l, r;
        std::memcpy(&l, bytes + 4 * i, 2);
        std::memcpy(&r, bytes + 4 * i + 2, 2);
        out[i] = (float(l) + float(r)) * 0.5f;
    }
    return out;
}

// The data chunk of a RIFF WAV file.
std::vector<float> wavData(const std::string& file) {
    for (size_t at = 12; at + 8 <= file.size();) {
        uint32_t size;
        std::memcpy(&size, file.data() + at + 4, 4);
        if (file.compare(at, 4, "data") == 0)
            return mono(file.data() + at + 8, std::min<size_t>(size, file.size() - at - 8));
        at += 8 + size + (size & 1);
    }
    return {};
}

size_t onset(const std::vector<float>& s) {
    for (size_t i = 0; i < s.size(); ++i)
        if (std::fabs(s[i]) > 64) return i;
    return s.size();
}

// Means of `factor` frames: a coarse copy for the wide search.
std::vector<float> decimate(const std::vector<float>& s, int factor) {
    std::vector<float> out(s.size() / size_t(factor));
    for (size_t i = 0; i < out.size(); ++i) {
        float sum = 0;
        for (int k = 0; k < factor; ++k) sum += s[i * size_t(factor) + size_t(k)];
        out[i] = sum / float(factor);
    }
    return out;
}

// Normalised correlation of a[at ...] with b[at + lag ...] over n frames; -2 out of range.
double correlation(const std::vector<float>& a, const std::vector<float>& b, long at, long lag, long n) {
    if (at < 0 || at + lag < 0 || size_t(at + n) > a.size() || size_t(at + lag + n) > b.size()) return -2;
    double xy = 0, xx = 0, yy = 0;
    for (long i = 0; i < n; ++i) {
        const double x = a[size_t(at + i)], y = b[size_t(at + lag + i)];
        xy += x * y, xx += x * x, yy += y * y;
    }
    return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0;
}

// The lag of the best match of a[at .. at+n) in b within lag +-range, and the match.
struct Match {
    long lag;
    double value;
};
Match bestMatch(const std::vector<float>& a, const std::vector<float>& b, long at, long n, long around, long range) {
    Match best{around, -2};
    for (long l = around - range; l <= around + range; ++l) {
        const double c = correlation(a, b, at, l, n);
        if (c > best.value) best = {l, c};
    }
    return best;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fputs("usage: vorna-sound-compare HEARD.raw REFERENCE.wav SIZES.txt [ROWS.txt]\n", stderr);
        return 2;
    }
    const std::string heardBytes = readAll(argv[1]);
    const std::vector<float> heard = mono(heardBytes.data(), heardBytes.size());
    const std::vector<float> ref = wavData(readAll(argv[2]));
    const size_t heardStart = onset(heard), refStart = onset(ref);
    if (heardStart >= heard.size() || refStart >= ref.size()) {
        std::printf("no sound heard (%zu frames recorded)\n", heard.size());
        return 1;
    }

    // Each 50 ms of what was heard is looked for in the music within a
    // second either side of where the last one sat: a late buffer on a
    // loaded machine inserts silence, and bytes an output not yet started
    // could not take are dropped, and either moves the rest. A coarse search
    // on means of 8 frames, then a fine one around its best.
    // Cost: 2 * kRate / 8 * kWindow / 8 plus 33 * kWindow per window.
    constexpr long kWindow = kRate / 20, kFactor = 8;
    const std::vector<float> heardCoarse = decimate(heard, kFactor), refCoarse = decimate(ref, kFactor);
    struct Window {
        long at, lag;  // heard[at ...] is the music from at - lag on
        double match;
    };
    std::vector<Window> windows;
    long lag = long(refStart) - long(heardStart);  // heard position + lag = music position
    double energy = 0;
    for (long at = long(heardStart); size_t(at + kWindow) <= heard.size(); at += kWindow) {
        double e = 0;
        for (long i = 0; i < kWindow; ++i) e += double(heard[size_t(at + i)]) * heard[size_t(at + i)];
        if (e < double(kWindow) * 64 * 64) continue;  // near silence: nothing to place it by
        // Music repeats itself: where the last window sat is kept while it still matches.
        Match fine{lag, correlation(heard, ref, at, lag, kWindow)};
        if (fine.value < 0.99) {
            const Match coarse =
                bestMatch(heardCoarse, refCoarse, at / kFactor, kWindow / kFactor, lag / kFactor, kRate / kFactor);
            fine = bestMatch(heard, ref, at, kWindow, coarse.lag * kFactor, 2 * kFactor);
        }
        if (fine.value < -1) continue;  // past the end of the reference
        windows.push_back({at, fine.lag, fine.value});
        if (fine.value > 0.9) lag = fine.lag;
        energy += e;
    }
    if (windows.size() < 20) {
        std::printf("only %zu windows of sound to compare\n", windows.size());
        return 1;
    }
    std::vector<double> matches;
    for (const Window& w : windows) matches.push_back(w.match);
    std::sort(matches.begin(), matches.end());
    const double median = matches[matches.size() / 2];
    const double level = 20 * std::log10(std::sqrt(energy / (double(windows.size()) * kWindow)) / 32768.0 + 1e-12);
    // A window below 0.9 holds a gap (silence where a buffer came late) or a drop.
    std::printf("level %.1f dBFS; %zu windows of 50 ms, median correlation %.4f, %zu of them above 0.9\n", level,
                windows.size(), median, size_t(matches.end() - std::lower_bound(matches.begin(), matches.end(), 0.9)));

    // How far the writes ran ahead: what had been written against where the
    // heard recording stood in the music at the same moment. And when each
    // heard frame came out: by the earliest reading, as the recorder's file
    // only ever lags what the sink has played.
    std::ifstream sizes(argv[3]);
    std::vector<double> leads;
    double heardOrigin = 1e300;  // realtime microseconds at which heard frame 0 came out
    for (double written, heardAt, timeUs; sizes >> written >> heardAt >> timeUs;) {
        const double heardFrame = heardAt / 4;
        if (heardAt > 0) heardOrigin = std::min(heardOrigin, timeUs - heardFrame * 1e6 / kRate);
        // The music frame being heard: by the lag of the last window placed before it.
        long nearest = windows[0].lag;
        for (const Window& w : windows)
            if (double(w.at) <= heardFrame && w.match > 0.9) nearest = w.lag;
        const double musicHeard = heardFrame + double(nearest);
        const double musicWritten = (written - 44) / 4;
        if (musicHeard > double(refStart) + kRate && written > 44) leads.push_back((musicWritten - musicHeard) * 1000 / kRate);
    }
    auto percentile = [](const std::vector<double>& sorted, double p) { return sorted[size_t(double(sorted.size() - 1) * p)]; };
    if (!leads.empty()) {
        std::sort(leads.begin(), leads.end());
        std::printf("writes ahead of what was heard: median %.0f ms (from %.0f to %.0f ms, %zu readings)\n",
                    percentile(leads, 0.5), leads.front(), leads.back(), leads.size());
    }
    const bool music = level > -40 && median > 0.9;
    if (!music) std::puts("what was heard is not the music");

    // Each row the scenes were shown against when its first sample was
    // heard: the music frame of the row's start (the stream frame the
    // production logged, its stream being the music from its start) is
    // found in what was heard through the window nearest it.
    bool inSync = true;
    if (argc == 5) {
        std::ifstream log(argv[4]);
        std::vector<double> rowLeads;
        const double lastHeard = double(windows.back().at + windows.back().lag);
        for (double shownUs, order, row, frame; log >> shownUs >> order >> row >> frame;) {
            if (frame < double(refStart) + kRate || frame > lastHeard) continue;  // the start, or not heard
            const Window* nearest = nullptr;
            for (const Window& w : windows)
                if (w.match > 0.9 && (!nearest || std::fabs(double(w.at + w.lag) - frame) <
                                                      std::fabs(double(nearest->at + nearest->lag) - frame)))
                    nearest = &w;
            if (!nearest) continue;
            const double heardUs = heardOrigin + (frame - double(nearest->lag)) * 1e6 / kRate;
            rowLeads.push_back((heardUs - shownUs) / 1000);
        }
        if (rowLeads.size() < 10) {
            std::printf("only %zu rows shown while the music was heard\n", rowLeads.size());
            inSync = false;
        } else {
            std::sort(rowLeads.begin(), rowLeads.end());
            const double leadMedian = percentile(rowLeads, 0.5);
            std::printf("rows shown ahead of their first sample heard: median %.1f ms, 90th percentile %.1f ms "
                        "(from %.1f to %.1f ms, %zu rows)\n",
                        leadMedian, percentile(rowLeads, 0.9), rowLeads.front(), rowLeads.back(), rowLeads.size());
            // Two frames at 60 Hz either way: ahead is what the eye catches
            // first, but a row shown late is as far out of sync.
            inSync = std::fabs(leadMedian) <= 35;
            if (!inSync) std::printf("the rows run %s the music heard by more than 35 ms\n", leadMedian > 0 ? "ahead of" : "behind");
        }
    }
    return music && inSync ? 0 : 1;
}
