// The generator's bike step: the fixed collision shapes, and the bike and rider models.
#pragma once

#include "bike/data/bike_shape.h"

#include <string>
#include <vector>

// One generated file: its name in the data folder and its bytes.
struct forge_shape_file {
    const char* name;
    std::string bytes;
};

// The seven shape files in the order the fixed shape check digests them.
std::vector<forge_shape_file> forge_shape_files();
// Writes them into the data folder (the generator step).
bool forge_shapes(const std::string& out);
// The models and pictures of every catalogue bike, the rider and the wheels, with the rider,
// helmet, wheel and bike graphics choices.
bool forge_bike_models(const std::string& out);

// A statue's collision shape: a sphere of one radius and one material at every (x, y, z) of the
// three lists, in the model's own frame.
shape forge_sphere_grid(const std::vector<float>& xs, const std::vector<float>& ys,
                        const std::vector<float>& zs, float radius, float friction, float stiffness,
                        float damping);
