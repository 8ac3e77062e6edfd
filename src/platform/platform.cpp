// Selection of the platform back-end, and the sleep shared by every back-end.
#include "platform/platform.h"

namespace {
const platform_backend* g_backend = &k_platform_null;
}

const platform_backend& platform() { return *g_backend; }

void platform_use(const platform_backend& backend) { g_backend = &backend; }

void platform_sleep_until(double deadline) {
    const platform_backend& p = platform();
    double left = deadline - p.clock();
    if (left <= 0) return;
    // Sleeping the whole interval overshoots by the scheduler's slack; sleep short, then yield.
    int whole_ms = static_cast<int>(left * 1000.0) - 1;
    if (whole_ms > 0) p.sleep(whole_ms / 1000, (whole_ms % 1000) * 1000);
    while (p.clock() < deadline) p.yield();
}
