// Shared pieces of the data-set generator.
#pragma once

#include <string>

// Creates every missing folder along a path that ends in "/" (or every parent of a file).
void forge_make_folders(const std::string& path);
// Writes bytes to a file, replacing it only when the content changed (keeps builds quiet).
bool forge_write_file(const std::string& path, const std::string& bytes);

bool forge_main_archive(const std::string& out);
