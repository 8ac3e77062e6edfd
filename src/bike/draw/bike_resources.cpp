// A bike's model and texture names: variants, companions, fallbacks and the number plate.
#include "bike/draw/bike_resources.h"

#include "common/message.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
int load_nothing(const char*) { return 0; }
std::string no_info(int) { return ""; }
int no_number_texture(const char*, const int*, const int*) { return 0; }

// Where the file name part of a name starts: after its last '/'.
size_t name_start(const std::string& name) {
    size_t slash = name.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

// A name without its extension: up to its last '.', when no '/' follows that '.'.
std::string without_extension(const std::string& name) {
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.find('/', dot) != std::string::npos) return name;
    return name.substr(0, dot);
}

bool given(const char* text) { return text && text[0]; }
} // namespace

const bike_resource_loader k_bike_loader_null = {load_nothing, load_nothing, no_info,
                                                 no_number_texture};

bool model_variant_name(const char* model_file, const char* texture_name, std::string* out) {
    if (!given(model_file) || !given(texture_name)) return false;
    std::string texture = texture_name;
    size_t first = texture.find('-', name_start(texture));
    if (first == std::string::npos) return false;
    size_t second = texture.find('-', first + 1);
    if (second == std::string::npos) return false;
    std::string model = model_file;
    size_t dash = model.find('-', name_start(model));
    std::string base = dash == std::string::npos ? without_extension(model) : model.substr(0, dash);
    *out = base + texture.substr(first, second - first) + ".jm";
    return true;
}

bool model_in_texture_folder(const std::string& variant, const char* texture_name,
                             std::string* out) {
    if (!given(texture_name)) return false;
    std::string texture = texture_name;
    size_t folder_end = name_start(texture);
    if (folder_end == 0) return false;
    size_t from = name_start(variant);
    if (from == 0 && !variant.empty() && variant[0] == '@') from = 1;
    *out = texture.substr(0, folder_end) + variant.substr(from);
    return true;
}

int model_for(const char* model_file, const char* texture_name, bool warn,
              const bike_resource_loader& loader) {
    std::string variant;
    if (given(texture_name) && model_variant_name(model_file, texture_name, &variant)) {
        if (int model = loader.load_model(variant.c_str())) return model;
        std::string in_folder;
        if (model_in_texture_folder(variant, texture_name, &in_folder)) {
            if (int model = loader.load_model(in_folder.c_str())) return model;
            if (warn)
                show_message("Warning: Can't load %.450s or %.450s", variant.c_str(),
                             in_folder.c_str());
        } else if (warn) {
            show_message("Warning: Can't load %.900s", variant.c_str());
        }
        return 0;
    }
    if (!given(model_file)) return 0;
    int model = loader.load_model(model_file);
    if (!model && warn) show_message("Warning: Can't load %.900s", model_file);
    return model;
}

std::vector<std::string> texture_companion_names(const char* texture_name,
                                                 const char* default_texture, const char* suffix) {
    std::vector<std::string> stems;
    if (given(texture_name)) {
        std::string texture = texture_name;
        stems.push_back(without_extension(texture));
        // The variant-derived name: the texture up to its second '-' ("bikes/cr125-blue").
        size_t first = texture.find('-', name_start(texture));
        size_t second = first == std::string::npos ? first : texture.find('-', first + 1);
        if (second != std::string::npos) stems.push_back(texture.substr(0, second));
    }
    if (given(default_texture)) stems.push_back(without_extension(default_texture));
    std::vector<std::string> names;
    for (const std::string& stem : stems)
        for (const char* extension : {".seq", ".png", ".ppm"}) {
            std::string name = stem + suffix + extension;
            if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
        }
    return names;
}

void plate_colours_from_info(const std::string& info, int background[3], int foreground[3]) {
    const int white[3] = {255, 255, 255};
    const int black[3] = {0, 0, 0};
    std::copy(white, white + 3, background);
    std::copy(black, black + 3, foreground);
    struct keyword {
        const char* text;
        int* colour;
    };
    for (keyword k :
         {keyword{"[numberbackground:", background}, keyword{"[numberforeground:", foreground}}) {
        size_t at = info.find(k.text);
        if (at == std::string::npos) continue;
        float c[3];
        // info is a std::string, so the scan stops at its terminating NUL at the latest.
        if (sscanf(info.c_str() + at + strlen(k.text), "%f,%f,%f", &c[0], &c[1], &c[2]) != 3)
            continue;
        for (int i = 0; i < 3; i++) {
            float v = c[i] != c[i] ? 0 : std::clamp(c[i], 0.0f, 1.0f);
            k.colour[i] = static_cast<int>(v * 255 + 0.5f);
        }
    }
}

void bike_number_text(const char* number, char out[8]) {
    size_t n = number ? strnlen(number, 7) : 0;
    if (n) memcpy(out, number, n);
    out[n] = 0;
}

namespace {
// The models each texture steers, with the catalogue file and whether a failure is reported.
struct model_slot_record {
    bike_model_slot slot;
    bike_texture_slot texture;
    char (bike_info::*file)[k_bike_file_size];
    bool warn;
};
constexpr model_slot_record k_model_slots[] = {
    {model_frame, texture_bike, &bike_info::frame_model, true},
    {model_side_plates, texture_bike, &bike_info::side_plates_model, true},
    {model_fork_upper, texture_bike, &bike_info::fork_upper_model, true},
    {model_front_plate, texture_bike, &bike_info::front_plate_model, true},
    {model_fork_lower, texture_bike, &bike_info::fork_lower_model, true},
    {model_swingarm, texture_bike, &bike_info::swingarm_model, true},
    {model_front_wheel, texture_wheel, &bike_info::front_wheel_model, true},
    {model_rear_wheel, texture_wheel, &bike_info::rear_wheel_model, true},
    {model_rider_plate, texture_rider, &bike_info::rider_plate_model, false},
    {model_rider_body, texture_rider, &bike_info::rider_body_model, true},
    {model_rider_body_fp, texture_rider, &bike_info::rider_body_first_person_model, false},
    {model_rider_head, texture_head, &bike_info::rider_head_model, true},
};
static_assert(sizeof k_model_slots / sizeof k_model_slots[0] == model_slot_count,
              "one record per model slot");

// The catalogue's default texture of each texture slot.
constexpr char (bike_info::*k_default_textures[texture_slot_count])[k_bike_file_size] = {
    &bike_info::bike_texture, &bike_info::wheel_texture, &bike_info::rider_body_texture,
    &bike_info::rider_head_texture};

void load_texture_slot(bike_resources& r, const bike_info& info, bike_texture_slot t,
                       const std::string& texture, const bike_resource_loader& loader) {
    r.texture_names[t] = texture;
    r.textures[t] = loader.load_texture(texture.c_str());
    for (const model_slot_record& m : k_model_slots)
        if (m.texture == t)
            r.models[m.slot] = model_for(info.*m.file, texture.c_str(), m.warn, loader);
}

// A texture slot failed when its texture did not load or a model it must have is missing.
bool texture_slot_failed(const bike_resources& r, bike_texture_slot t) {
    if (!r.textures[t]) return true;
    switch (t) {
    case texture_bike:
        return !r.models[model_frame];
    case texture_wheel:
        return !r.models[model_front_wheel] || !r.models[model_rear_wheel];
    case texture_rider:
        return !r.models[model_rider_body];
    case texture_head:
        return !r.models[model_rider_head];
    default:
        return false;
    }
}

int load_first(const std::vector<std::string>& names, const bike_resource_loader& loader) {
    for (const std::string& name : names)
        if (int texture = loader.load_texture(name.c_str())) return texture;
    return 0;
}
} // namespace

bike_resources bike_resources_load(const bike_info& info, const char* bike_texture,
                                   const char* wheel_texture, const char* rider_texture,
                                   const char* head_texture, const char* number,
                                   const bike_resource_loader& loader) {
    bike_resources r;
    const char* chosen[texture_slot_count] = {bike_texture, wheel_texture, rider_texture,
                                              head_texture};
    for (int i = 0; i < texture_slot_count; i++) {
        auto t = static_cast<bike_texture_slot>(i);
        const char* fallback = info.*k_default_textures[t];
        load_texture_slot(r, info, t, given(chosen[i]) ? chosen[i] : fallback, loader);
        if (texture_slot_failed(r, t) && r.texture_names[t] != fallback)
            load_texture_slot(r, info, t, fallback, loader);
        r.normal_maps[t] = load_first(
            texture_companion_names(r.texture_names[t].c_str(), fallback, "_norm"), loader);
        r.specular_maps[t] = load_first(
            texture_companion_names(r.texture_names[t].c_str(), fallback, "_spec"), loader);
    }
    std::string info_text =
        r.textures[texture_bike] ? loader.texture_info(r.textures[texture_bike]) : "";
    plate_colours_from_info(info_text, r.plate_background, r.plate_foreground);
    bike_number_text(number, r.number);
    r.number_texture = loader.number_texture(r.number, r.plate_background, r.plate_foreground);
    return r;
}
