// Platform options read once from TAVO_OPTIONS.
#include "platform/options.h"

#include "platform/log.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
// Each platform option: its name, its default and what it does.
struct platform_option {
    const char* name;
    const char* default_value;
    const char* help;
};

constexpr platform_option k_platform_options[] = {
    {"threaded", "off",
     "window messages on their own thread; not needed with SDL, which handles them on the main "
     "thread"},
    {"fullscreen", "off", "kept with the window; the video mode chooses fullscreen"},
    {"dinput", "on", "discover the mouse and the joysticks and pads"},
    {"dinputsticksonly", "on", "no effect with SDL: the mouse is always listed, keyboards never"},
    {"dsnd", "on", "no effect: there is no hardware-mixed sound back-end, only the streaming one"},
    {"waveout", "on", "open the streaming sound back-end (SDL audio with the software mixer)"},
    {"sound-channels", "16", "voice budget of the software mixer"},
    {"sound-rate", "22050", "sample rate of the streaming sound back-end"},
    {"sound-mixahead", "125", "milliseconds of sound mixed ahead, in fragments of 1/64 s"},
};

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

std::string platform_options_help() {
    std::string out = "Platform options, as TAVO_OPTIONS=\"[name:value][name:value]\":\n";
    for (const platform_option& o : k_platform_options) {
        char line[256];
        snprintf(line, sizeof line, "  %-22s %s (default %s)\n", o.name, o.help, o.default_value);
        out += line;
    }
    return out;
}
