// Platform options: bracketed "[name:value]" settings in TAVO_OPTIONS.
#pragma once

// 0 or 1; "yes"/"on" and "no"/"off" are understood, anything else logs and gives the default.
int platform_flag(const char* name, int default_value);
int platform_number(const char* name, int default_value);
// Replaces the option text read from the environment (tests; nullptr reads it again).
void platform_options_set(const char* text);
