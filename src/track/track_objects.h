// The track's objects beside the ground and the bikes: billboards, statues, flaggers and decals,
// their text files, and the rules that place, turn and animate them. Drawing them is the
// renderer's and the ground's; colliding with statues is the bike contacts'.
#pragma once

#include "common/common.h"
#include "resources/image.h"
#include "resources/model.h"
#include "terrain/terrain.h"
#include "track/track_view.h"

#include <cstdint>
#include <string>
#include <vector>

struct shape;

// Cards kept at the front of the billboard table for the roost particles.
constexpr int k_reserved_billboards = 2000;
// The start gate's pieces fall forward about their own x axis from standing up to lying on the
// ground: a tilt of minus this much.
constexpr float k_gate_piece_swing = k_pi_f / 2; // rad

// ---------------------------------------------------------------------------------------------
// Billboards

// Splits a texture word into its "#rrggbb#" colour prefix and the texture name; a word without
// a usable prefix is the name, white.
void billboard_texture_word(const char* word, uint8_t colour[4], std::string* name);
// A card standing on the ground (y = ground height + offset) with the named texture (nullptr or
// "": none, not drawn). Returns its index.
int billboard_add(float x, float offset, float z, float size, float factor, const char* name);
// Reads "billboards" entries, adding a card for each, up to the first that does not match.
void billboards_parse(const std::string& text);
// The track's own cards from the first one read from the file, as the editor writes them back.
std::string billboards_format();
// Writes "billboards" into the track folder; false (and a console message) when it can't.
bool billboards_save(const char* folder);
// The index of the first card read from the file (the count when none was).
int billboard_first_file();
// The texture name of a card, "" for none.
const std::string& billboard_texture_name(int index);
// Takes a card of the file's out of the table (later cards move down one place); the reserved
// and flaggers' cards before the first file card stay. False when nothing was removed.
bool billboard_remove(int index);
// Puts every reserved card where its roost particle is, as it looks now.
void billboards_take_roost();

// ---------------------------------------------------------------------------------------------
// Statues

// A solid model standing on the ground, or tilted to it, with an optional collision shape.
struct statue {
    int model = 0;                    // model id, 0 = not drawn
    const shape* collision = nullptr; // null = nothing touches it
    uint32_t texture = 0;             // colour texture, 0 = not drawn
    uint32_t normal_map = 0;          // companions for the shader programs, 0 when absent
    uint32_t specular_map = 0;
    float x = 0, y = 0, z = 0; // ft; y = ground height + offset
    float offset = 0;          // ft above the ground, as the file gives it
    float value = 0;           // heading (rad), or from 3.25 on the face-camera exponent
    float orientation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}; // model to world, row-major
    float face_distance = 0;                            // ft, 2^value when value >= 3.25, else 0
    float tilt = 0;               // rad about the model's own x axis (the start gate's pieces)
    std::vector<model_bone> pose; // bones handed to the drawing; empty for the file's statues
    std::string model_name, texture_name, shape_name; // as given, "" for none
};

// Every billboard, statue, flagger and decal of the track gone (objects placed by hand start
// from none).
void objects_free();

// A statue from its file values; names may be nullptr or "" (none). Returns its index.
int statue_add(float x, float offset, float z, float value, const char* model, const char* texture,
               const char* shape_name);
// y and the orientation again from the ground under the statue (after it or the ground moved).
void statue_reground(int index);
// Takes a statue of the file's out of the table (later statues move down one place); the start
// gate's pieces before the first file statue stay. False when nothing was removed.
bool statue_remove(int index);
// Reads "statues" entries, up to the first that does not have all seven values.
void statues_parse(const std::string& text);
std::string statues_format();
bool statues_save(const char* folder);
int statue_first_file();
int statue_count();
const statue* statues();
// A statue's heading (or face-camera exponent) from the file's value.
void statue_set_value(int index, float value);
// A statue moved to (x, z) and stood on the ground there.
void statue_place(int index, float x, float z);
// A statue tilted about its own x axis (the start gate's falling pieces).
void statue_set_tilt(int index, float tilt);
// The rotation the statue stands at: its orientation turned about its own x axis by its tilt.
void statue_rotation(const statue& s, float out[9]);
// The face-camera rule for a camera at `eye`: turns the statue to face it when the camera is far
// enough off for the model's level-of-detail settings; true when it turned.
bool statue_face_camera(statue& s, const float eye[3], float lod_bias, float lod_scale);
// Every statue drawn from `eye` at the model detail turned by the face-camera rule.
void statues_face_camera(const float eye[3], float model_detail);
// Statues are left out far away when the model detail setting is low.
bool statue_out_of_sight(const statue& s, const float eye[3], float model_detail);
// Whether the statues load their normal and specular companions (shader programs in use).
void statues_set_companions(bool load);
// The start gate's pieces as statues, one for each slot of the timing gates, in slot order.
void start_gate_pieces_add();
// The statue of a start slot's piece, -1 for none.
int start_gate_piece_statue(int slot);

// ---------------------------------------------------------------------------------------------
// Flaggers

constexpr int k_starter_pictures = 5;
constexpr int k_lap_board_pictures = 4;
constexpr int k_marshal_gates = 4;

// The starter, who shows the boards and walks off the line from A to B.
struct starter_flagger {
    int billboard = -1;         // -1: none
    float a[3] = {}, b[3] = {}; // ft; y is the height above the ground
    float walk_time = 1;        // s
    uint32_t pictures[k_starter_pictures] = {};
    int shown = 0; // the picture on the card
};

// The lap board: normal, half way, last lap, finished.
struct lap_board_flagger {
    int billboard = -1;
    uint32_t pictures[k_lap_board_pictures] = {};
    int shown = 0;
};

// A corner marshal who warns of a fallen rider heading for one of the marshal's gates.
struct marshal_flagger {
    int billboard = -1;
    uint32_t normal = 0, warning = 0;
    int gates[k_marshal_gates] = {-1, -1, -1, -1}; // -1 unused
};

// What the flaggers see of the race each frame.
struct flagger_race_view {
    int tic = 0;           // race clock
    int gate_drop_tic = 0; // tic
    int flag_period = 640; // tics, 5 s
    int finish_time = 0;   // tics of the timed part, 0 for laps only
    int finish_laps = 0;
    int race_laps = 0;
    int halfway_lap = 0;
    int leader_position = 0; // crossings of the first rider of the running order
    // Crossings of each fallen rider still racing, in running order.
    int down_count = 0;
    int down_positions[k_max_riders] = {};
};

// Reads the "flaggers" text: starter, lap board, then marshals, as far as it matches.
void flaggers_parse(const std::string& text);
// The pictures and the starter's walk for the race as it stands; once per drawn frame.
void flaggers_update(const flagger_race_view& race);
const starter_flagger& starter();
const lap_board_flagger& lap_board();
int marshal_count();
const marshal_flagger& marshal_at(int index);

// ---------------------------------------------------------------------------------------------
// Decals

// A textured rectangle painted onto the ground. Its own axes on the ground: u (width
// size × aspect) along (cos angle, -sin angle), v (length size) along (sin angle, cos angle).

constexpr int k_decal_grid = 8;

// What the ground tells the decals, and how it hears of a decal painted over it.
struct decal_ground_hooks {
    bool decode_images = false; // the ground is composed on the processor: decals keep pixels
    bool normal_maps = false;   // the ground is lit per pixel: decals load their companions
    // Sample rectangle (inclusive) whose composed textures must be made again.
    void (*mark_dirty)(int i0, int j0, int i1, int j1) = nullptr;
};
// Set by the ground's composition; nullptr goes back to textures only and no marking.
void decals_set_ground_hooks(const decal_ground_hooks* hooks);

// Reads "decals" entries; an entry whose picture loads neither way is skipped. Then every decal
// goes into the grid.
void decals_parse(const std::string& text);
// The decals as the terrain save writes them.
std::string decals_format();
// Adds a decal (the name its picture has in the decals file) to the table and the grid;
// returns its index.
int decal_add(ground_decal d, std::string name);
// Inserts a decal at `position` (clamped to 0 … count), drawn after those before it: every later
// decal moves up one place, in the table and the grid. Returns its index.
int decal_insert(int position, ground_decal d, std::string name);
// Takes a decal out of the table and the grid and marks the ground under it; later decals move
// down one place.
void decal_remove(int index);
// Moves and turns a decal: out of the grid (the ground under it marked), its sine and cosine
// again, and into the grid at its new place.
void decal_place(int index, float x, float z, float angle);
// Enters a decal in every grid cell its bounding rectangle overlaps and marks the ground under it.
void decal_grid_insert(int index);
int decal_count();
// The decals are the ground's records, painted by its composition straight from the table.
const ground_decal& decal_at(int index);
const std::string& decal_name(int index);
// The decals listed in a grid cell (column x, row z), in ascending order.
const std::vector<int>& decal_grid_cell(int cx, int cz);
