// The flaggers: cards whose pictures follow the race. The starter shows the boards and walks off
// the line, the lap board counts the leader's laps, and the corner marshals warn of a fallen
// rider heading for their gates.
#include "files/files.h"
#include "resources/texture.h"
#include "track/track_gates.h"
#include "track/track_local.h"
#include "track/track_objects.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
struct flagger_state {
    starter_flagger starter;
    lap_board_flagger lap_board;
    std::vector<marshal_flagger> marshals;
};
flagger_state g_flaggers;

// A picture word: its colour prefix, if any, belongs to the card, not to the picture.
uint32_t load_word(const char* word, const text_scanner& in) {
    uint8_t colour[4];
    std::string name;
    billboard_texture_word(word, colour, &name);
    const uint32_t id = name.empty() ? 0 : texture_load(name.c_str());
    if (!id) file_problem_report("flaggers", in.entry_line(), "picture '%s' does not load", word);
    return id;
}

// The next texture word, or false at a mismatch.
bool read_word(text_scanner& in, char word[1024]) {
    int used = -1;
    return sscanf(in.view(), " %1023s %n", word, &used) == 1 && in.advance(used);
}

// A marshal's gate number from the file, kept within the track's gates.
int marshal_gate(int g) {
    if (g < -1) return -1;
    return std::min(g, gate_count() - 1);
}

bool read_starter(text_scanner& in) {
    starter_flagger& s = g_flaggers.starter;
    float size, factor, walk;
    int used = -1;
    float a[3], b[3];
    if (sscanf(in.view(), " [ %f %f %f ] [ %f %f %f ] %f %f %f %n", &a[0], &a[1], &a[2], &b[0],
               &b[1], &b[2], &size, &factor, &walk, &used) < 9 ||
        !in.advance(used))
        return false;
    for (int k = 0; k < 3; k++) {
        s.a[k] = a[k];
        s.b[k] = b[k];
    }
    s.walk_time = walk;
    char word[1024];
    for (int t = 0; t < k_starter_pictures; t++) {
        if (!read_word(in, word)) return false;
        s.pictures[t] = load_word(word, in);
        if (t == 0) s.billboard = billboard_add(a[0], a[1], a[2], size, factor, word);
    }
    return true;
}

bool read_lap_board(text_scanner& in) {
    lap_board_flagger& l = g_flaggers.lap_board;
    float x, offset, z, size, factor;
    int used = -1;
    if (sscanf(in.view(), " [ %f %f %f ] %f %f %n", &x, &offset, &z, &size, &factor, &used) < 5 ||
        !in.advance(used))
        return false;
    char word[1024];
    for (int t = 0; t < k_lap_board_pictures; t++) {
        if (!read_word(in, word)) return false;
        l.pictures[t] = load_word(word, in);
        if (t == 0) l.billboard = billboard_add(x, offset, z, size, factor, word);
    }
    return true;
}

bool read_marshal(text_scanner& in) {
    float x, offset, z, size, factor;
    int g[k_marshal_gates];
    int used = -1;
    if (sscanf(in.view(), " [ %f %f %f ] %f %f %d %d %d %d%n", &x, &offset, &z, &size, &factor,
               &g[0], &g[1], &g[2], &g[3], &used) < 9 ||
        !in.advance(used))
        return false;
    char word[1024];
    if (!read_word(in, word)) return false;
    marshal_flagger m;
    for (int k = 0; k < k_marshal_gates; k++) m.gates[k] = marshal_gate(g[k]);
    m.normal = load_word(word, in);
    m.billboard = billboard_add(x, offset, z, size, factor, word);
    const bool warned = read_word(in, word);
    if (warned) m.warning = load_word(word, in);
    g_flaggers.marshals.push_back(m);
    return warned;
}

// Shows a picture on a flagger's card; a starter's or lap board's animation restarts with it.
void show(int billboard_index, uint32_t picture, uint32_t old_picture, int tic, bool animated) {
    if (billboard_index < 0 || billboard_index >= billboard_count()) return;
    if (animated && picture != old_picture) {
        if (old_picture) anim_pause(old_picture);
        if (picture) anim_start(picture, tic);
    }
    billboard_own(billboard_index).texture = picture;
}

void update_starter(const flagger_race_view& race) {
    starter_flagger& s = g_flaggers.starter;
    if (s.billboard < 0 || first_lap_length() + normal_lap_length() == 0) return;
    const float t = static_cast<float>(race.tic * k_tic_length);
    const float f = std::floor(static_cast<float>(race.flag_period * k_tic_length));
    const float since = t - (f + 1);
    float walked = s.walk_time > 0 ? since / s.walk_time : (since >= 0 ? 1.0f : 0.0f);
    walked = std::clamp(walked, 0.0f, 1.0f);
    billboard& card = billboard_own(s.billboard);
    card.x = s.a[0] + walked * (s.b[0] - s.a[0]);
    card.z = s.a[2] + walked * (s.b[2] - s.a[2]);
    card.y = object_ground_height(card.x, card.z) + s.a[1] + walked * (s.b[1] - s.a[1]);
    int picture = 3;
    if (t < f + 0.1f)
        picture = 0;
    else if (t < f + 0.4f)
        picture = 1;
    else if (t < f + 1)
        picture = 2;
    else if (t >= f + s.walk_time + 1)
        picture = 4;
    show(s.billboard, s.pictures[picture], s.pictures[s.shown], race.tic, true);
    s.shown = picture;
}

void update_lap_board(const flagger_race_view& race) {
    lap_board_flagger& l = g_flaggers.lap_board;
    if (l.billboard < 0) return;
    const int p = race.leader_position;
    const int first = first_lap_length(), normal = normal_lap_length();
    const int laps = normal == 0 || p + 1 < first ? 0 : (p - first + 1) / normal + 1;
    int limit = race.race_laps;
    const int completing = laps > 0 ? normal * (laps - 1) + first - 1 : 0;
    if (race.tic >= race.gate_drop_tic + race.finish_time && p == completing)
        limit = std::min(limit, laps + race.finish_laps);
    int picture = 0;
    if (laps >= limit)
        picture = 3;
    else if (limit == laps + 1)
        picture = 2;
    else if (laps == race.halfway_lap)
        picture = 1;
    show(l.billboard, l.pictures[picture], l.pictures[l.shown], race.tic, true);
    l.shown = picture;
}

void update_marshals(const flagger_race_view& race) {
    const int gates = gate_count();
    for (int g = 0; g < gates; g++) gate_set_rider_down(g, false);
    const int first = first_lap_length(), normal = normal_lap_length();
    for (int i = 0; i < race.down_count && first + normal > 0; i++) {
        int p = race.down_positions[i];
        if (normal != 0 && p >= first) p = first + (p - first) % normal;
        if (normal == 0) p = 0;
        if (p < 0 || p >= first + normal) continue;
        const int gate = lap_entry_gate(lap_entry(p));
        if (gate >= 0 && gate < gates) gate_set_rider_down(gate, true);
    }
    for (const marshal_flagger& m : g_flaggers.marshals) {
        bool warn = false;
        for (int g : m.gates) warn |= g >= 0 && g < gates && gate_at(g).rider_down != 0;
        show(m.billboard, warn ? m.warning : m.normal, 0, race.tic, false);
    }
}
} // namespace

void flaggers_parse(const std::string& text) {
    flaggers_clear();
    text_scanner in(text);
    if (read_starter(in) && read_lap_board(in))
        while (read_marshal(in)) {
        }
    objects_read_stopped("flaggers", in);
}

void flaggers_load(const char* folder) {
    std::string text;
    flaggers_clear();
    if (file_to_string((std::string("@") + folder + "/flaggers").c_str(), &text))
        flaggers_parse(text);
}

void flaggers_update(const flagger_race_view& race) {
    update_starter(race);
    update_lap_board(race);
    update_marshals(race);
}

void flaggers_clear() { g_flaggers = flagger_state{}; }

const starter_flagger& starter() { return g_flaggers.starter; }
const lap_board_flagger& lap_board() { return g_flaggers.lap_board; }
int marshal_count() { return static_cast<int>(g_flaggers.marshals.size()); }
const marshal_flagger& marshal_at(int index) { return g_flaggers.marshals[index]; }
