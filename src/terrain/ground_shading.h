// The ground's per-sample shading and shadows ("shadingx2.ppm", "shading.ppm", "shadows.pgm").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ground_shading_state {
    int samples_per_side = 0;
    std::vector<uint8_t> shading; // r, g, b per sample at half intensity (128 means 1.0)
    std::vector<uint8_t> shadow;  // per sample, 255 - the file's value (0: fully lit)
};

ground_shading_state& ground_shading();
// Reads the shading (required, through either file) and the shadows (optional) of a track
// folder for a ground of n x n samples; false, with the message shown, when either is bad.
bool ground_shading_load(const char* folder, int samples_per_side);
void ground_shading_free();
// The two shading files as the editor writes them back.
bool ground_shading_save(const char* folder);
