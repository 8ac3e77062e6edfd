// Platform options: bracketed "[name:value]" settings in TAVO_OPTIONS.
#pragma once

#include <string>

// 0 or 1; "yes"/"on" and "no"/"off" are understood, anything else logs and gives the default.
int platform_flag(const char* name, int default_value);
int platform_number(const char* name, int default_value);
// Replaces the option text read from the environment (tests; nullptr reads it again).
void platform_options_set(const char* text);
// One line per platform option with its default and what it does, for "--help".
std::string platform_options_help();
