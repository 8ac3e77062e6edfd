// What the HUD feed's own files share.
#pragma once

#include <string>

// printf into a string (at most 255 characters).
std::string hud_feed_format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
