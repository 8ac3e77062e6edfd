// Loaders of the track's other files, called by the track load in its order.
#pragma once

#include <string>

// The track's lighting, sky and flares ("lighting").
void lighting_load(const char* folder);
// Trackside cameras ("cameras").
void cameras_load(const char* folder);
// Billboards reserved for run-time use, flaggers, billboards and statues of the track.
void objects_reserve_billboards(int count);
void flaggers_load(const char* folder);
bool billboards_load(const char* folder);
bool statues_load(const char* folder);
// The distinct collision shape files of the statues, in statue order.
void statue_shape_files(std::string* names, int* count, int room);
void objects_free();
// Decals on the ground ("decals").
void decals_load(const char* folder);
