// Loads in-code modules through the embedded-file callbacks and owns the result.
#pragma once
#include <vector>

#include "music/mixer.h"
#include "music/module_file.h"
#include "music/playback.h"
#include "music/player.h"
#include "music/xm_loader.h"
#include "support/xm_writer.h"

namespace musictest {

inline Song* loadBytes(const std::vector<uint8_t>& bytes) {
    setFileCallbacks(embeddedOpen, embeddedClose, embeddedRead, embeddedSeek, embeddedTell);
    setEmbeddedModule(bytes.data(), bytes.size());
    Song* song = loadSong("TEST.XM", nullptr);
    setEmbeddedModule(nullptr, 0);  // the bytes may go away; the song owns copies
    return song;
}

// A loaded song, rewound and ready to step; freed at the end of the test.
struct Loaded {
    Song* song = nullptr;
    explicit Loaded(const xmw::ModuleSpec& module) : Loaded(xmw::write(module)) {}
    explicit Loaded(const std::vector<uint8_t>& bytes) {
        song = loadBytes(bytes);
        setOutputRate(44100);
        rewindSong(song);
    }
    ~Loaded() { freeSong(song); }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    Song* operator->() const { return song; }
    // Runs ticks until the next row starts; returns the row that was started.
    void ticks(int n) {
        for (int i = 0; i < n; ++i) songTick(song);
    }
};

// A square-ish 8-bit sample of `frames` frames.
inline xmw::SampleSpec tone(int frames, int8_t level = 64) {
    std::vector<int8_t> v(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) v[size_t(i)] = (i / 8) % 2 ? level : int8_t(-level);
    return xmw::SampleSpec::pcm8(v);
}

}  // namespace musictest
