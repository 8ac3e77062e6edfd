// The generated ground of the default track.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct rabbithill_ground {
    int size_exponent = 0;
    float cell_size = 0; // ft
    int samples_per_side = 0;
    std::vector<float> heights; // ft, x index fastest
    std::string tileinfo;
    std::vector<uint8_t> tilemap; // 2^e x 2^e
};

rabbithill_ground forge_rabbithill_heights();
// "terrain.hf" with a binary body.
std::string rabbithill_terrain_hf(const rabbithill_ground& ground);
// Writes terrain.hf, tileinfo, tilemap and desc into <out>/rabbithill/.
bool forge_rabbithill_ground(const std::string& out);
