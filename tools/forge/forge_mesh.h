// Meshes for the generator's models: boxes, tubes, side-profile hulls, ellipsoids, tyres and
// rings, gathered into one part per material. Every shape samples one swatch of its model's
// picture, so one picture colours a whole model.
#pragma once

#include "common/vec3.h"
#include "resources/model.h"

#include <utility>
#include <vector>

// How a part reflects light: its highlight colour and sharpness.
struct mesh_material {
    float specular; // grey level of the highlight
    float shininess;
};
constexpr mesh_material k_gloss = {0.45f, 40}; // painted plastic
constexpr mesh_material k_metal = {0.9f, 60};  // chrome and polished aluminium
constexpr mesh_material k_satin = {0.25f, 16}; // frame paint, engine cases
constexpr mesh_material k_matte = {0.06f, 6};  // rubber, cloth, seat

// A picture is a grid of 4 x 4 flat swatches; a shape takes the middle of one, or with
// k_own_uvs the coordinates it was built with (number plates).
constexpr int k_own_uvs = -1;
constexpr int k_swatch_grid = 4;

struct mesh_builder {
    std::vector<model_part> parts;
    std::vector<mesh_material> materials;
    int bone = -1; // the bone the next shapes follow (skinned models), -1 for none

    void add(model_part shape, int swatch, const mesh_material& material);
    // The model: one part per material; skinned to `bones` bones when above 0.
    model_mesh mesh(int bones = 0) const;
};

// Shapes, in the model's own coordinates (ft).
model_part shape_box(vec3 centre, vec3 size);
// A tube from a to b, round or squashed (radius across x times `wide`), its ends closed unless
// `open`.
model_part shape_tube(vec3 a, vec3 b, float radius_a, float radius_b, int sides, float wide = 1,
                      bool open = false);
// A path of tubes through the points, the radius the same all along.
model_part shape_pipe(const std::vector<vec3>& points, float radius, int sides);
// The convex hull of side-view points (z, y), as a slab from x0 to x1. Its side faces map the
// whole picture, the far end of z to the right as seen from each side.
model_part shape_hull(const std::vector<std::pair<float, float>>& zy, float x0, float x1);
model_part shape_ellipsoid(vec3 centre, vec3 radii, int slices, int stacks);
// A tyre round the x axis: major radius to the tread's middle, a section of `minor` radius, and
// every other segment's tread raised by `knob` (knobbly tread).
model_part shape_tyre(float major, float minor, int segments, int sides, float knob, float width);
// A flat ring round the x axis at x, seen from both sides.
model_part shape_ring(float x, float inner, float outer, int segments);

// Turns a shape about an axis through a point (the axis: 0 x, 1 y, 2 z).
void shape_rotate(model_part& part, int axis, float angle, vec3 about);
void shape_move(model_part& part, vec3 by);
// Turns a shape inside out (its faces seen from the other side).
void shape_flip(model_part& part);
