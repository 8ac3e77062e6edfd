// Ground surface textures of the generated tracks: materials, their variants and blend tiles.
#pragma once

#include <string>

enum class ground_material { grass, dirt, loam, sand, hardpack, count };

constexpr int k_ground_texture_size = 128; // pixels a side, one tile of the tile map (51 per ft)
constexpr int k_ground_variants = 3;       // the plain texture and two "alt" variants

// "grass", "dirt" ...
const char* ground_material_name(ground_material m);
// Data-file names under "ground/": "dirt.png", "dirt-alt1.png", "dirt-grass-0110.png".
std::string ground_texture_file(ground_material m, int variant);
std::string ground_blend_file(ground_material base, ground_material other, int mask);

// Writes every ground texture into <out>/ground/.
bool forge_ground_textures(const std::string& out);
