// The settings record, and the config file "@config", whose reading and writing is not built yet:
// the settings keep their defaults and the command line's changes for the run.
#include "core/config.h"

#include "common/not_built.h"

namespace {
settings g_settings;
}

settings& config() { return g_settings; }
void config_reset() { g_settings = settings{}; }
void read_config() { log_not_built(__func__); }
void write_config() { log_not_built(__func__); }
