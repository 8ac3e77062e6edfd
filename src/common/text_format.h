// printf into a string, for the short texts the HUD and its feed put together.
#pragma once

#include <string>

// At most 255 characters.
std::string text_format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
