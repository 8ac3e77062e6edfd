// Linked into test executables that open a GL context: headless drivers unless told
// otherwise, and no leak report for the allocations the GL driver keeps to itself.
#include <cstdlib>

extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {
const bool g_headless = [] {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    return true;
}();
}
