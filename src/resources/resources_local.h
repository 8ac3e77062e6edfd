// What only the resource files share: picture file helpers and the GL context check.
#pragma once

#include <string>

// The first white-space separated word of a file's bytes.
std::string resources_first_word(const std::string& bytes);
// For a "LINK" file, the target name (surrounding white space removed, at most 1023 bytes).
bool resources_link_target(const std::string& bytes, std::string* target);
// Writes bytes to a data-file name through a data_file stream.
bool resources_write_file(const char* name, const std::string& bytes);
