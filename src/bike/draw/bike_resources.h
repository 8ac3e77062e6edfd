// The models, textures and number plate of one bike: name resolution with variants and fallbacks.
#pragma once

#include "bike/data/bike_info.h"

#include <string>
#include <vector>

// What loading a bike's pictures needs from the model and texture caches. Handles are > 0;
// 0 means "could not load". The null loader loads nothing.
struct bike_resource_loader {
    int (*load_model)(const char* name);
    int (*load_texture)(const char* name);
    // The info text of a loaded texture ("[numberbackground:1,0,0]" ...); empty when none.
    std::string (*texture_info)(int texture);
    // A 128 x 128 texture of the number drawn in the foreground colour on the background.
    int (*number_texture)(const char* number, const int background[3], const int foreground[3]);
};
extern const bike_resource_loader k_bike_loader_null;
// The game's model and texture caches.
extern const bike_resource_loader k_bike_loader_caches;

enum bike_model_slot {
    model_frame,
    model_side_plates,
    model_fork_upper,
    model_front_plate,
    model_fork_lower,
    model_swingarm,
    model_front_wheel,
    model_rear_wheel,
    model_rider_plate,
    model_rider_body,
    model_rider_body_fp,
    model_rider_head,
    model_slot_count
};

enum bike_texture_slot {
    texture_bike,
    texture_wheel,
    texture_rider,
    texture_head,
    texture_slot_count
};

struct bike_resources {
    int models[model_slot_count] = {};
    std::string texture_names[texture_slot_count]; // what each texture finally is
    int textures[texture_slot_count] = {};
    int normal_maps[texture_slot_count] = {};
    int specular_maps[texture_slot_count] = {};
    int plate_background[3] = {255, 255, 255};
    int plate_foreground[3] = {0, 0, 0};
    char number[8] = {}; // at most 7 characters
    int number_texture = 0;
};

// The model a texture choice asks for: "@cr125_frame.jm" with "bikes/cr125-blue-1.png" gives
// "@cr125_frame-blue.jm". False when the texture name has no two '-' after its last '/'.
bool model_variant_name(const char* model_file, const char* texture_name, std::string* out);
// The file name part of a variant in the texture's own folder ("bikes/cr125_frame-blue.jm");
// false when the texture has no folder.
bool model_in_texture_folder(const std::string& variant, const char* texture_name,
                             std::string* out);
// Loads a model slot steered by a texture, with the warnings for what can't be loaded.
int model_for(const char* model_file, const char* texture_name, bool warn,
              const bike_resource_loader& loader);

// The names tried, in order, for a texture's normal ("_norm") or specular ("_spec") map: the
// texture's own, the variant-derived one, the catalogue default's; each as ".seq", ".png", ".ppm".
std::vector<std::string> texture_companion_names(const char* texture_name,
                                                 const char* default_texture, const char* suffix);

// Plate colours from a bike texture's info text; white and black when it names none.
void plate_colours_from_info(const std::string& info, int background[3], int foreground[3]);
// The first 7 characters of a rider number.
void bike_number_text(const char* number, char out[8]);

// Everything a bike draws with. Empty texture names take the catalogue's defaults.
bike_resources bike_resources_load(const bike_info& info, const char* bike_texture,
                                   const char* wheel_texture, const char* rider_texture,
                                   const char* head_texture, const char* number,
                                   const bike_resource_loader& loader);
