// What the checker's files share: the rules run over a loaded track.
#pragma once

#include "common/file_problems.h"

#include <string>
#include <vector>

// Gates, lap lists and start slots of the loaded track; `report` gives the entries' lines.
void check_gates(const file_report& report, std::vector<file_problem>* out);
// Billboards, statues and decals of the loaded track against its ground.
void check_objects(const file_report& report, std::vector<file_problem>* out);
