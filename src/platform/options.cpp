// Platform options read once from TAVO_OPTIONS.
#include "platform/options.h"

#include "platform/log.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
struct options_state {
    bool read = false;
    std::string text;
};
options_state g_options;

// The text after "[name:", or nullptr when the option is not given.
const char* option_value(const char* name) {
    if (!g_options.read) {
        const char* env = getenv("TAVO_OPTIONS");
        g_options.text = env ? env : "";
        g_options.read = true;
    }
    std::string key = "[";
    key.append(name, strnlen(name, 60));
    key += ":";
    size_t at = g_options.text.find(key);
    if (at == std::string::npos) return nullptr;
    return g_options.text.c_str() + at + key.size();
}
} // namespace

int platform_flag(const char* name, int default_value) {
    const char* value = option_value(name);
    if (!value) return default_value;
    if (strncmp(value, "yes]", 4) == 0 || strncmp(value, "on]", 3) == 0) return 1;
    if (strncmp(value, "no]", 3) == 0 || strncmp(value, "off]", 4) == 0) return 0;
    log("unrecognized setting for %s\n", name);
    return default_value;
}

int platform_number(const char* name, int default_value) {
    const char* value = option_value(name);
    if (!value) return default_value;
    const char* digits = value + (value[0] == '-' || value[0] == '+');
    if (!isdigit(static_cast<unsigned char>(digits[0]))) {
        log("unrecognized setting for %s\n", name);
        return default_value;
    }
    return atoi(value);
}

void platform_options_set(const char* text) {
    g_options.read = text != nullptr;
    g_options.text = text ? text : "";
}
