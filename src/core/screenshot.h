// Screenshots: the viewport saved as "@screenshot%03d.png" with a number that counts on.
#pragma once

#include <string>
#include <vector>

// The number after the highest "screenshot<n>" among the names, 1 when there is none.
int screenshot_next_number(const std::vector<std::string>& names);
// Reads the viewport and saves it; false when it could not be read or written.
bool screenshot_take(int width, int height);
// Forgets the running number, so the next screenshot scans the file list again.
void screenshot_reset();
