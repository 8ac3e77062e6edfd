// The billboard table: the roost particles' reserved cards, the flaggers' cards and the cards of
// the "billboards" file, with the file's colour-prefixed texture words read and written back.
#include "common/loading.h"
#include "files/files.h"
#include "resources/texture.h"
#include "terrain/roost.h"
#include "terrain/terrain.h"
#include "track/track_local.h"
#include "track/track_objects.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
struct billboard_state {
    std::vector<billboard> cards;
    std::vector<std::string> names; // texture name of each card, "" for none
    int reserved = 0;               // cards at the front kept for roost particles
    int first_file = 0;             // the first card read from the file
};
billboard_state g_billboards;

bool hex_digit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }
} // namespace

void billboard_texture_word(const char* word, uint8_t colour[4], std::string* name) {
    for (int k = 0; k < 4; k++) colour[k] = 255;
    const size_t length = strlen(word);
    bool prefixed = length > 7 && word[0] == '#' && word[7] == '#';
    for (int k = 1; k < 7 && prefixed; k++) prefixed = hex_digit(word[k]);
    if (!prefixed) {
        *name = word;
        return;
    }
    const char digits[7] = {word[1], word[2], word[3], word[4], word[5], word[6], 0};
    const unsigned long rgb = strtoul(digits, nullptr, 16);
    colour[0] = static_cast<uint8_t>(rgb >> 16);
    colour[1] = static_cast<uint8_t>(rgb >> 8);
    colour[2] = static_cast<uint8_t>(rgb);
    *name = word + 8;
}

int billboard_add(float x, float offset, float z, float size, float factor, const char* name) {
    billboard_state& b = g_billboards;
    billboard card;
    std::string texture_name;
    billboard_texture_word(name ? name : "", card.colour, &texture_name);
    card.texture = texture_name.empty() ? 0 : texture_load(texture_name.c_str());
    card.x = x;
    card.z = z;
    card.offset = offset;
    card.y = object_ground_height(x, z) + offset;
    card.size = size;
    card.factor = factor;
    b.cards.push_back(card);
    b.names.push_back(texture_name);
    return static_cast<int>(b.cards.size()) - 1;
}

void objects_reserve_billboards(int count) {
    billboard_state& b = g_billboards;
    for (int i = 0; i < count; i++) {
        b.cards.push_back(billboard{});
        b.names.emplace_back();
    }
    b.reserved += count;
    b.first_file = static_cast<int>(b.cards.size());
}

void billboards_parse(const std::string& text) {
    billboard_state& b = g_billboards;
    b.first_file = static_cast<int>(b.cards.size());
    text_scanner in(text);
    for (;;) {
        float x, offset, z, size, factor;
        char word[1024];
        int used = -1;
        int n = sscanf(in.view(), "[ %f %f %f ] %f %f %1023s %n", &x, &offset, &z, &size, &factor,
                       word, &used);
        if (n < 6 || !in.advance(used)) break;
        const int index = billboard_add(x, offset, z, size, factor, word);
        file_entry_line("billboards", in.entry_line());
        if (file_problems_heard() && g_billboards.cards[index].texture == 0)
            file_problem_report("billboards", in.entry_line(), "picture '%s' does not load",
                                g_billboards.names[index].c_str());
    }
    objects_read_stopped("billboards", in);
}

bool billboards_load(const char* folder) {
    std::string text;
    if (!file_to_string((std::string("@") + folder + "/billboards").c_str(), &text)) return false;
    loading_step_begin("Loading billboards");
    billboards_parse(text);
    return true;
}

std::string billboards_format() {
    const billboard_state& b = g_billboards;
    std::string out;
    char line[2200];
    for (int i = b.first_file; i < static_cast<int>(b.cards.size()); i++) {
        const billboard& c = b.cards[i];
        if (!c.texture) continue;
        snprintf(line, sizeof line, "[%f %f %f] %f %f ", c.x, c.offset, c.z, c.size, c.factor);
        out += line;
        if (c.colour[0] != 255 || c.colour[1] != 255 || c.colour[2] != 255)
            snprintf(line, sizeof line, "#%02x%02x%02x#%s\n", c.colour[0], c.colour[1], c.colour[2],
                     b.names[i].c_str());
        else
            snprintf(line, sizeof line, "%s\n", b.names[i].c_str());
        out += line;
    }
    return out;
}

bool billboards_save(const char* folder) {
    return objects_file_write(folder, "billboards", billboards_format());
}

int billboard_first_file() { return g_billboards.first_file; }

bool billboard_remove(int index) {
    billboard_state& b = g_billboards;
    if (index < b.first_file || index >= static_cast<int>(b.cards.size())) return false;
    b.cards.erase(b.cards.begin() + index);
    b.names.erase(b.names.begin() + index);
    return true;
}

const std::string& billboard_texture_name(int index) { return g_billboards.names[index]; }

void billboards_take_roost() {
    billboard_state& b = g_billboards;
    const int n = std::min(b.reserved, k_roost_particles);
    for (int i = 0; i < n; i++) {
        const roost_card& r = roost_card_at(i);
        billboard& c = b.cards[i];
        c.x = r.x;
        c.y = r.y;
        c.z = r.z;
        c.size = r.size;
        c.texture = r.texture;
        for (int k = 0; k < 4; k++) c.colour[k] = r.colour[k];
    }
}

void billboards_clear() { g_billboards = billboard_state{}; }

const billboard* billboards() { return g_billboards.cards.data(); }
billboard& billboard_own(int index) { return g_billboards.cards[static_cast<size_t>(index)]; }

void billboard_set_colour(int index, const uint8_t rgb[3]) {
    for (int k = 0; k < 3; k++) billboard_own(index).colour[k] = rgb[k];
}

void billboard_set_offset(int index, float offset) {
    billboard& b = billboard_own(index);
    b.offset = offset;
    b.y = object_ground_height(b.x, b.z) + b.offset;
}
int billboard_count() { return static_cast<int>(g_billboards.cards.size()); }
int billboard_reserved_count() { return g_billboards.reserved; }
