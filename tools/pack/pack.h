// Packing a folder into a ".saf" archive for track makers.
#pragma once

#include <string>

// Writes every file under folder (names relative to it, "/" separators, sorted) into the
// archive out. The old archive, if any, survives a failure. False with a reason in error.
bool pack_folder(const std::string& folder, const std::string& out, int* packed,
                 std::string* error);
