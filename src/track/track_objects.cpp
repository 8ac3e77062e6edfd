// A track's flaggers, billboards, statues and decals. Their files are not read yet: each loader
// says so in the log, and the track has none of them.
#include "track/track_local.h"
#include "track/track_view.h"

#include "common/not_built.h"

void objects_reserve_billboards(int) { log_not_built(__func__); }
void flaggers_load(const char*) { log_not_built(__func__); }
bool billboards_load(const char*) {
    log_not_built(__func__);
    return false;
}
bool statues_load(const char*) {
    log_not_built(__func__);
    return false;
}
// No statue is loaded, so none has a shape file.
void statue_shape_files(std::string*, int* count, int) { *count = 0; }
// Nothing is loaded, so there is nothing to free.
void objects_free() {}
void decals_load(const char*) { log_not_built(__func__); }

// No billboard is created yet, so the table is empty.
billboard* billboards() { return nullptr; }
int billboard_count() { return 0; }
int billboard_reserved_count() { return 0; }
void flaggers_update() { log_not_built(__func__); }
