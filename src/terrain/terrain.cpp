// Ground texturing refresh; the height field and surfaces arrive with the terrain.
#include "terrain/terrain.h"

void ground_refresh(int) {}
