// Integrated loudness through libebur128 (ITU BS.1770 with its gates).
#include <ebur128.h>

#include "figures.h"

namespace musicreport {

bool integratedLoudness(const int16_t* stereo, long frames, int rate, double* lufs) {
    ebur128_state* st = ebur128_init(2, static_cast<unsigned long>(rate), EBUR128_MODE_I);
    if (!st) return false;
    const bool ok = ebur128_add_frames_short(st, stereo, static_cast<size_t>(frames)) == EBUR128_SUCCESS &&
                    ebur128_loudness_global(st, lufs) == EBUR128_SUCCESS;
    ebur128_destroy(&st);
    return ok;
}

}  // namespace musicreport
