// Track objects, lighting and cameras: their files are read here as those features arrive.
#include "track/track.h"
#include "track/track_local.h"

void lighting_load(const char*) {}
void cameras_load(const char*) {}
// No camera list is read yet, so there is no trackside camera to choose.
int track_camera_count() { return 0; }
void objects_reserve_billboards(int) {}
void flaggers_load(const char*) {}
bool billboards_load(const char*) { return false; }
bool statues_load(const char*) { return false; }
void statue_shape_files(std::string*, int* count, int) { *count = 0; }
void objects_free() {}
void decals_load(const char*) {}
