// Linked into every test program: SDL runs on its dummy video and audio
// drivers unless the environment already names others.
#include <cstdlib>

namespace {
struct DummyDrivers {
    DummyDrivers() {
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
    }
};
const DummyDrivers dummyDrivers;
}  // namespace
