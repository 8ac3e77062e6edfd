// The ground texturing refresh, which re-shades ground blocks as they change; not built yet.
#include "terrain/terrain.h"

#include "common/not_built.h"

void ground_refresh(int) { log_not_built(__func__); }
