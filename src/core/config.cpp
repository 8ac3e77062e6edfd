// The settings record and the config file; the file's keys arrive with the config Part.
#include "core/config.h"

namespace {
settings g_settings;
}

settings& config() { return g_settings; }
void config_reset() { g_settings = settings{}; }
void read_config() {}
void write_config() {}
