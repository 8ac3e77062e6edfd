// Display-mode lists and the fullscreen mode choice.
#include "platform/display.h"

#include "platform/log.h"

namespace {
bool usable_depth(int depth) {
    return depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
}

bool listed(const std::vector<display_mode>& list, const reported_mode& m) {
    for (const display_mode& d : list)
        if (d.width == m.width && d.height == m.height && d.depth == m.depth) return true;
    return false;
}
} // namespace

std::vector<display_mode> display_modes_build(const reported_mode& desktop,
                                              const reported_mode* modes, int count) {
    std::vector<display_mode> list;
    if (usable_depth(desktop.depth) && desktop.width > 0 && desktop.height > 0) {
        log("Registry mode is %dx%dx%d@%dhz\n", desktop.width, desktop.height, desktop.depth,
            desktop.refresh);
        list.push_back({desktop.width, desktop.height, desktop.depth});
    } else {
        log("Registry mode is %dx%dx%d@%dhz (ignored)\n", desktop.width, desktop.height,
            desktop.depth, desktop.refresh);
    }
    for (int i = 0; i < count; i++) {
        const reported_mode& m = modes[i];
        // A mode without a size is no mode at all (headless drivers report one).
        if (!usable_depth(m.depth) || m.width <= 0 || m.height <= 0) {
            log("Found mode %dx%dx%d@%dhz (ignored)\n", m.width, m.height, m.depth, m.refresh);
            continue;
        }
        log("Found mode %dx%dx%d@%dhz\n", m.width, m.height, m.depth, m.refresh);
        if (!listed(list, m)) list.push_back({m.width, m.height, m.depth});
    }
    list.push_back(display_mode{});
    return list;
}

display_mode fullscreen_mode_for(const display_mode* modes, const display_mode& desktop, int width,
                                 int height) {
    if (width <= 0 || height <= 0 || !modes) return desktop;
    const display_mode* best = nullptr;
    for (const display_mode* m = modes; m->width > 0; m++) {
        if (m->width < width || m->height < height) continue;
        if (!best || m->width + m->height < best->width + best->height) best = m;
    }
    return best ? *best : desktop;
}
