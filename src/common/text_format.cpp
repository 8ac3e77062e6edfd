// printf into a string.
#include "common/text_format.h"

#include <cstdarg>
#include <cstdio>

std::string text_format(const char* pattern, ...) {
    char text[256];
    va_list args;
    va_start(args, pattern);
    vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}
