// Control codes and control names: keys, mouse buttons, device buttons, the close request.
#pragma once

#include <cstdint>
#include <string>

constexpr int32_t k_control_key_base = 4096; // + 9-bit scan code
constexpr int32_t k_control_mouse_left = 8192;
constexpr int32_t k_control_mouse_middle = 8193;
constexpr int32_t k_control_mouse_right = 8194;
constexpr int32_t k_control_close = 57005;
constexpr int32_t k_control_none = -1;

// The control code for a name (aliases first), or k_control_none.
int32_t key_code_of(const char* name);
// The control's name ("Right Ctrl", "Close", "0x5d"), or empty when it has none.
std::string name_of(int32_t code);
// Replaces a known alias ("cursor-left") by its control name; other names come back unchanged.
const char* control_alias(const char* name);
// Adds an alias; a second alias for a name is refused with a log line. The fixed aliases of the
// cursor and the mouse are always there.
bool alias_add(const char* alias_name, const char* control);
// Drops the added aliases.
void aliases_reset();
// Forgets the platform's key names, so they are asked for again on the next lookup.
void platform_key_names_reset();
