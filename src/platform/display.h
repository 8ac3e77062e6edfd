// Display-mode lists and the choice of a fullscreen mode, shared by the windowed back-ends.
#pragma once

#include "platform/platform.h"

#include <vector>

// A mode as the display system reports it, with its refresh rate.
struct reported_mode {
    int width;   // px
    int height;  // px
    int depth;   // bits per pixel
    int refresh; // Hz, 0 when unknown
};

// The mode list: the desktop mode first when its depth is usable, then every reported mode of
// a usable depth once (refresh rates folded), each logged. Ends with a zero entry.
std::vector<display_mode> display_modes_build(const reported_mode& desktop,
                                              const reported_mode* modes, int count);

// The mode a fullscreen window of the requested size uses: the listed mode at least that
// large with the smallest excess of width + height (the first on ties); the desktop mode
// without a fitting mode or for 0 by 0.
display_mode fullscreen_mode_for(const display_mode* modes, const display_mode& desktop, int width,
                                 int height);
