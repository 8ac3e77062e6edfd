// Checking a track folder for track makers: loaded as the game loads it, every problem listed.
#pragma once

#include "common/file_problems.h"

#include <string>
#include <vector>

// Loads the track in `folder` (a path on the disk) the way the game would find it in the home
// folder, headless, in front of the game's data set, and lists every problem found: files that
// are missing or damaged, gates that can't be ridden in order, objects off the ground, start
// slots in the ground. Empty when the track is clean.
std::vector<file_problem> track_check(const std::string& folder);
// One problem as a line: "FOLDER/file:line: text" (no ":line" when it has none).
std::string track_check_line(const std::string& folder, const file_problem& problem);
