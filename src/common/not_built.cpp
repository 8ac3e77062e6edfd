// The once-per-run log line of each part that is not built yet.
#include "common/not_built.h"

#include "platform/log.h"

#include <string>
#include <vector>

namespace {
struct not_built_state {
    std::vector<std::string> logged; // the texts already logged this run
};
not_built_state g_not_built;
} // namespace

void log_not_built(const char* what) {
    for (const std::string& done : g_not_built.logged)
        if (done == what) return;
    g_not_built.logged.push_back(what);
    log("%s is not built yet\n", what);
}

void not_built_reset() { g_not_built = not_built_state{}; }
