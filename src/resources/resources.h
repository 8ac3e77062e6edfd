// Images, textures and models: the caches the program frees at shut-down, and the texture
// choice lists of the rider's gear and the bike's graphics.
#pragma once

#include "resources/model.h"
#include "resources/texture.h"

#include <string>
#include <vector>

// The texture choice lists (rider bodies, helmets, bike graphics, wheels).
void texture_choice_lists_build();
void texture_choice_lists_free();
void textures_free();
void models_free();

enum texture_choice_kind {
    choice_rider_body,
    choice_rider_head,
    choice_bike,
    choice_wheels,
    choice_kind_count
};
// One choice: the label shown in the menus and the texture's data-file name.
struct texture_choice {
    std::string label;
    std::string name;
};
const std::vector<texture_choice>& texture_choices(texture_choice_kind kind);
// The bike whose graphics the "bike" list offers (its model name); rebuilds that list.
void texture_choices_set_bike(const char* bike_name);
// Advances the texture and model generations together (a track change).
void resources_generation_advance();
// Purges both caches of what the new track did not use.
void resources_purge_unused();
