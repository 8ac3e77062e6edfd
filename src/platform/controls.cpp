// The key name table, the platform's key names, the alias table and name lookups with their
// loose comparison.
#include "platform/controls.h"

#include "platform/devices.h"
#include "platform/log.h"
#include "platform/platform.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {
struct key_name {
    const char* name;
    int scan_code;
};

// The system's own names for keyboard scan codes (set-1, +0x100 for extended keys).
constexpr key_name k_key_names[] = {
    {"Esc", 0x01},        {"0", 0x0B},           {"1", 0x02},         {"2", 0x03},
    {"3", 0x04},          {"4", 0x05},           {"5", 0x06},         {"6", 0x07},
    {"7", 0x08},          {"8", 0x09},           {"9", 0x0A},         {"A", 0x1E},
    {"B", 0x30},          {"C", 0x2E},           {"D", 0x20},         {"E", 0x12},
    {"F", 0x21},          {"G", 0x22},           {"H", 0x23},         {"I", 0x17},
    {"J", 0x24},          {"K", 0x25},           {"L", 0x26},         {"M", 0x31},
    {"N", 0x32},          {"O", 0x18},           {"P", 0x19},         {"Q", 0x10},
    {"R", 0x13},          {"S", 0x1F},           {"T", 0x14},         {"U", 0x16},
    {"V", 0x2F},          {"W", 0x11},           {"X", 0x2D},         {"Y", 0x15},
    {"Z", 0x2C},          {"-", 0x0C},           {"=", 0x0D},         {"[", 0x1A},
    {"]", 0x1B},          {";", 0x27},           {"'", 0x28},         {"`", 0x29},
    {"\\", 0x2B},         {",", 0x33},           {".", 0x34},         {"/", 0x35},
    {"Backspace", 0x0E},  {"Tab", 0x0F},         {"Enter", 0x1C},     {"Left Ctrl", 0x1D},
    {"Left Shift", 0x2A}, {"Right Shift", 0x36}, {"Space", 0x39},     {" ", 0x39},
    {"Caps Lock", 0x3A},  {"Right Ctrl", 0x11D}, {"Insert", 0x152},   {"Delete", 0x153},
    {"Home", 0x147},      {"End", 0x14F},        {"Page Up", 0x149},  {"Page Down", 0x151},
    {"Up", 0x148},        {"Down", 0x150},       {"Left", 0x14B},     {"Right", 0x14D},
    {"F1", 0x3B},         {"F2", 0x3C},          {"F3", 0x3D},        {"F4", 0x3E},
    {"F5", 0x3F},         {"F6", 0x40},          {"F7", 0x41},        {"F8", 0x42},
    {"F9", 0x43},         {"F10", 0x44},         {"F11", 0x57},       {"F12", 0x58},
    {"Pause", 0x45},      {"Num Lock", 0x145},   {"Keypad /", 0x135}, {"Keypad *", 0x37},
    {"Keypad -", 0x4A},   {"Keypad 7", 0x47},    {"Keypad 8", 0x48},  {"Keypad 9", 0x49},
    {"Keypad +", 0x4E},   {"Keypad 4", 0x4B},    {"Keypad 5", 0x4C},  {"Keypad 6", 0x4D},
    {"Keypad 1", 0x4F},   {"Keypad 2", 0x50},    {"Keypad 3", 0x51},  {"Keypad Enter", 0x11C},
    {"Keypad 0", 0x52},   {"Keypad .", 0x53},
};
static_assert(sizeof k_key_names / sizeof k_key_names[0] == 98);

struct special_name {
    const char* name;
    int32_t code;
};
constexpr special_name k_special_names[] = {
    {"Close", k_control_close},
    {"Mouse Left", k_control_mouse_left},
    {"Mouse Middle", k_control_mouse_middle},
    {"Mouse Right", k_control_mouse_right},
};

struct alias {
    const char* alias_name;
    const char* control;
};
constexpr alias k_aliases[] = {
    {"cursor-left", "Mouse Left"},   {"cursor-middle", "Mouse Middle"},
    {"cursor-right", "Mouse Right"}, {"cursor-x", "cursor.axis[0]"},
    {"cursor-y", "cursor.axis[1]"},  {"mouse-x", "Mouse.axis[0]"},
    {"mouse-y", "Mouse.axis[1]"},    {"mouse-left", "Mouse.key[0]"},
    {"mouse-right", "Mouse.key[1]"}, {"mouse-middle", "Mouse.key[2]"},
};

constexpr int k_scan_codes = 512;

struct controls_state {
    std::vector<std::pair<std::string, std::string>> added_aliases;
    // The platform's key names, collected once from the back-end that gave them.
    const platform_backend* names_from = nullptr;
    std::string key_names[k_scan_codes];
};
controls_state g_controls;

const std::string* platform_key_names() {
    if (g_controls.names_from != &platform()) {
        g_controls.names_from = &platform();
        for (int scan = 0; scan < k_scan_codes; scan++) {
            const char* name = platform().key_name(scan);
            g_controls.key_names[scan] = name ? name : "";
        }
    }
    return g_controls.key_names;
}

int loose_char(unsigned char c) {
    if (isspace(c) || c == '_') return ' ';
    return tolower(c);
}

// Letters without regard to case; white space and "_" all count as a space.
bool loose_equal(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (loose_char(*a) != loose_char(*b)) return false;
    return *a == *b;
}

int32_t lookup(const char* name, bool (*same)(const char*, const char*)) {
    for (const special_name& s : k_special_names)
        if (same(name, s.name)) return s.code;
    const std::string* platform_names = platform_key_names();
    for (int scan = 0; scan < k_scan_codes; scan++)
        if (!platform_names[scan].empty() && same(name, platform_names[scan].c_str()))
            return k_control_key_base + scan;
    for (const key_name& k : k_key_names)
        if (same(name, k.name)) return k_control_key_base + k.scan_code;
    return k_control_none;
}

bool exact_equal(const char* a, const char* b) { return strcmp(a, b) == 0; }
} // namespace

const char* control_alias(const char* name) {
    for (const alias& a : k_aliases)
        if (strcmp(name, a.alias_name) == 0) return a.control;
    for (const auto& [alias_name, control] : g_controls.added_aliases)
        if (alias_name == name) return control.c_str();
    return name;
}

bool alias_add(const char* alias_name, const char* control) {
    const char* known = control_alias(alias_name);
    if (known != alias_name) {
        // The same device coming back asks for the same alias again; that is no second alias.
        if (strcmp(known, control) != 0)
            log("Second alias for '%s' ('%s') ignored\n", alias_name, control);
        return false;
    }
    g_controls.added_aliases.emplace_back(alias_name, control);
    return true;
}

void aliases_reset() { g_controls.added_aliases.clear(); }
void platform_key_names_reset() { g_controls.names_from = nullptr; }

int32_t key_code_of(const char* name) {
    name = control_alias(name);
    int32_t code = lookup(name, exact_equal);
    if (code == k_control_none) code = lookup(name, loose_equal);
    if (code != k_control_none) return code;
    unsigned scan = 0;
    char tail = 0;
    if (sscanf(name, "0x%x%c", &scan, &tail) == 1 && scan <= 511) return k_control_key_base + scan;
    return k_control_none;
}

std::string name_of(int32_t code) {
    for (const special_name& s : k_special_names)
        if (code == s.code) return s.name;
    if (code >= k_control_key_base && code < k_control_key_base + k_scan_codes) {
        int scan = code - k_control_key_base;
        const std::string& platform_name = platform_key_names()[scan];
        if (!platform_name.empty()) return platform_name;
        for (const key_name& k : k_key_names)
            if (k.scan_code == scan) return k.name;
        char text[16];
        snprintf(text, sizeof text, "0x%x", scan);
        return text;
    }
    return device_button_name(code);
}
