// The texture choice lists and the cache-wide operations of start-up, track changes and shut-down.
#include "resources/resources.h"

#include "files/data_file.h"

#include <strings.h>

namespace {
struct choice_state {
    std::vector<texture_choice> lists[choice_kind_count];
    std::string bike; // the bike model whose graphics are offered
};
choice_state g_choices;

constexpr const char* k_prefixes[choice_kind_count] = {"rider_body-", "rider_head-", nullptr,
                                                       "wheels-"};

// Every picture in the file list whose name starts with the prefix, labelled by what follows it.
std::vector<texture_choice> list_with_prefix(const std::string& prefix) {
    std::vector<texture_choice> list;
    for (const std::string& file : file_index()) {
        if (file.size() <= prefix.size() ||
            strncasecmp(file.c_str(), prefix.c_str(), prefix.size()) != 0)
            continue;
        if (file.find('/') != std::string::npos) continue;
        std::string label = file.substr(prefix.size());
        size_t dot = label.find('.');
        if (dot == std::string::npos) continue;
        std::string ending = label.substr(dot);
        if (strcasecmp(ending.c_str(), ".png") != 0 && strcasecmp(ending.c_str(), ".ppm") != 0 &&
            strcasecmp(ending.c_str(), ".seq") != 0)
            continue;
        label.resize(dot);
        // Companions are loaded with their picture, not offered on their own.
        if (label.find("_norm") != std::string::npos || label.find("_spec") != std::string::npos)
            continue;
        list.push_back({label, "@" + file});
    }
    return list;
}
} // namespace

void texture_choice_lists_build() {
    for (int kind = 0; kind < choice_kind_count; kind++)
        if (k_prefixes[kind]) g_choices.lists[kind] = list_with_prefix(k_prefixes[kind]);
    g_choices.lists[choice_bike] = g_choices.bike.empty() ? std::vector<texture_choice>{}
                                                          : list_with_prefix(g_choices.bike + "-");
}

void texture_choice_lists_free() {
    for (auto& list : g_choices.lists) list.clear();
    g_choices.bike.clear();
}

const std::vector<texture_choice>& texture_choices(texture_choice_kind kind) {
    return g_choices.lists[kind];
}

void texture_choices_set_bike(const char* bike_name) {
    g_choices.bike = bike_name;
    g_choices.lists[choice_bike] = list_with_prefix(g_choices.bike + "-");
}

void textures_free() { texture_purge(true); }
void models_free() { model_purge(true); }

void resources_generation_advance() {
    texture_generation_advance();
    model_generation_advance();
    texture_memory_reset();
}

void resources_purge_unused() {
    texture_purge(false);
    model_purge(false);
}
