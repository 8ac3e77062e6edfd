// Collision shapes: sets of spheres read from ".shp" files, shared by file name.
#pragma once

#include "bike/data/bike_info.h"

#include <cstddef>
#include <string>
#include <vector>

// One collision sphere in its body's frame. Ground contacts use only the friction.
struct shape_sphere {
    vec3 centre;         // ft
    float radius = 0;    // ft
    float friction = 0;  // coefficient
    float stiffness = 0; // lbf/ft
    float damping = 0;   // lbf·s/ft
};

struct shape {
    std::vector<shape_sphere> spheres;
    float bounding_radius = 0; // ft, largest |centre| + radius
};

// Parses ".shp" text: a count, then per sphere its centre and radius, friction, stiffness,
// damping. False (and `out` left empty) when the text does not hold that many spheres.
bool shape_parse(const char* text, size_t length, shape* out);
// The text shape_parse reads back: "%d\n" then "%f %f %f %f %f %f %f\n" per sphere.
std::string shape_format(const shape& s);
float shape_bounding_radius(const std::vector<shape_sphere>& spheres);

// The cached shape of a file ("@" names search the folders); nullptr when the file is missing
// or malformed (the body then has no collision spheres). Read once per name.
const shape* shape_load(const char* file);
// A private copy for one body; empty when there is no shape.
shape shape_copy(const char* file);
// Forgets every cached shape.
void shape_cache_free();
