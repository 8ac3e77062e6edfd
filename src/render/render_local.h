// What only the renderer's own files share: its state, the text drawer and small helpers.
#pragma once

#include "render/render.h"

#include <cmath>
#include <string>
#include <utility>
#include <vector>

// A trail marker: where the bike was and what the simulation noted there.
struct trail_marker {
    float position[3]; // ft
    std::string text;
    int32_t sort_key = 0;
};

struct render_state {
    bool ready = false;
    view_tangents tangents = {1, 0.75f};
    render_stats stats;
    float global_opacity = 1;
    const render_text_drawer* text = nullptr;
    std::vector<trail_marker> markers;
    // Per-frame buffers of the billboard and marker sorts, kept to avoid allocating each frame.
    std::vector<int32_t> order, scratch, card_keys;
    std::vector<float> card_vertices, card_uvs;
    std::vector<uint8_t> card_colours;
    // The loading screen.
    int loading_calls = 0;
    double loading_started = -1; // s
};
render_state& renderer();

// Reads the driver's feature flags and fetches the entry points (start-up, after the context).
void gl_features_read();

// The text drawer in use (the null one draws nothing).
const render_text_drawer& text_drawer();

// The scene's billboards and trail markers, in the frame's order.
void billboards_draw(const scene_camera& camera, int optimize_lookahead);
void trail_markers_draw(const scene_camera& camera);

// Sorts `order` by key ascending: four stable passes over the key's bytes, least significant
// first. `key_of(element)` gives each element's key.
template <typename KeyOf>
void radix_sort(int32_t* order, int32_t* scratch, int count, KeyOf key_of) {
    int32_t* from = order;
    int32_t* to = scratch;
    for (int shift = 0; shift < 32; shift += 8) {
        int starts[257] = {};
        for (int i = 0; i < count; i++) starts[((key_of(from[i]) >> shift) & 255) + 1]++;
        for (int b = 0; b < 256; b++) starts[b + 1] += starts[b];
        for (int i = 0; i < count; i++) to[starts[(key_of(from[i]) >> shift) & 255]++] = from[i];
        std::swap(from, to);
    }
    // Four passes leave the result where it started.
}

// The depth key of a point at distance `along` on the camera's backward axis.
inline int32_t depth_key(double along) {
    return static_cast<int32_t>(std::floor(along * 1024 + 16777216.0));
}

// World vectors on the rows of a row-major rotation's columns.
inline void rotation_column(const float r[9], int column, float out[3]) {
    out[0] = r[column];
    out[1] = r[3 + column];
    out[2] = r[6 + column];
}
