// Loads arbitrary bytes as an XM module through the embedded-file callbacks
// and plays a few hundred ticks of whatever loads.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "music/module_file.h"
#include "music/player.h"
#include "music/xm_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<float> mix(2 * framesPerBlock);
    static std::vector<int16_t> out(2 * framesPerBlock);
    setFileCallbacks(embeddedOpen, embeddedClose, embeddedRead, embeddedSeek, embeddedTell);
    if (!setEmbeddedModule(data, size)) return 0;
    setOutputRate(44100);
    Song* song = loadSong("FUZZ.XM", nullptr);
    setEmbeddedModule(nullptr, 0);
    if (!song) return 0;
    rewindSong(song);
    // At 125 BPM a block holds two or three ticks: 120 blocks are about 300 ticks.
    for (int b = 0; b < 120; ++b) renderBlock(song, mix.data(), out.data());
    freeSong(song);
    return 0;
}
