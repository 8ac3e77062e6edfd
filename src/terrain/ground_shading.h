// The ground's per-sample shading, shadows and normal map ("shadingx2.ppm", "shading.ppm",
// "shadows.pgm"), the light they are computed in, and the samples waiting to be reshaded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ground_light {
    float sun_vector[3] = {0.57735027f, 0.57735027f, 0.57735027f}; // unit, towards the sun
    float sun_colour[3] = {1, 1, 1};
    float ambient[3] = {0.5f, 0.5f, 0.5f};
    bool dynamic_lighting = false;
};

struct ground_shading_state {
    int samples_per_side = 0;
    std::vector<uint8_t> shading;  // r, g, b per sample at half intensity (128 means 1.0)
    std::vector<uint8_t> shadow;   // per sample, 255 - the file's value (0: fully lit)
    std::vector<uint8_t> normals;  // 3 per sample when the ground is lit per pixel, else empty
    std::vector<uint32_t> reshade; // one bit per sample: shading and normals to recompute
    ground_light light;            // kept from track to track until the next lighting
};

const ground_shading_state& ground_shading();
// Puts back a shading and normal map taken earlier (the editor's undo); either is left as it is
// when its size does not fit the ground's.
void ground_shading_restore(const std::vector<uint8_t>& shading,
                            const std::vector<uint8_t>& normals);
// Reads the shading (required, through either file) and the shadows (optional) of a track
// folder for a ground of n x n samples; false, with the message shown, when either is bad.
bool ground_shading_load(const char* folder, int samples_per_side);
void ground_shading_free();
// Recomputes now every sample waiting to be reshaded.
void ground_shading_refresh();
// Forgets every sample waiting to be reshaded (the shading was put back whole).
void ground_shading_forget_reshades();
// The two shading files as the editor writes them back, every sample waiting reshaded first.
bool ground_shading_save(const char* folder);
