// Animated texture sequences ("ANIM1", ".seq" files) decoded from bytes.
#pragma once

#include "resources/image.h"

#include <functional>
#include <string>
#include <vector>

struct anim_sequence {
    int length = 0;            // L: entries of `sequence`
    int frame_count = 0;       // F
    int tics_per_step = 1;     // tics
    int loop = 0;              // 1: the sequence repeats
    std::vector<int> sequence; // frame indices, each below F
    std::vector<image> frames;
};

// Reads a named PNG frame; false when it can't.
using anim_png_reader = std::function<bool(const std::string& name, image* out)>;

bool anim_decode(const uint8_t* data, size_t size, const anim_png_reader& read_png,
                 anim_sequence* out);
// The sequence entry shown at `tic` for an animation started at `start_tic`.
int anim_step_at(const anim_sequence& seq, int start_tic, int tic);
// The ".seq" text with every frame as J7 data (frames must have 4 channels).
std::string anim_encode(const anim_sequence& seq);
