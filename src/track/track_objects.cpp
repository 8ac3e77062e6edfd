// Track objects, lighting and cameras: their files are read here as those features arrive.
#include "track/track_local.h"

void lighting_load(const char*) {}
void cameras_load(const char*) {}
void objects_reserve_billboards(int) {}
void flaggers_load(const char*) {}
bool billboards_load(const char*) { return false; }
bool statues_load(const char*) { return false; }
void statue_shape_files(std::string*, int* count, int) { *count = 0; }
void objects_free() {}
void decals_load(const char*) {}
