// The track list, loading a track folder in its fixed order, the track digest and the reset.
#pragma once

#include <cstdint>
#include <string>

// One track folder found among the data files.
struct track_entry {
    std::string folder;       // data-file path of the folder, "rabbithill"
    std::string display_name; // first line of "desc", else the folder
};

// Finds every folder holding "terrain.hf" in any form; returns how many there are.
int track_list_scan();
int track_list_count();
const track_entry& track_list_entry(int i);
// The list index of a folder, -1 when it is not listed.
int track_list_find(const char* folder);
void track_list_free();

// Loads a track folder into the current track; false (and no track) on failure.
bool track_load(const char* folder);
void track_unload();
// Loads the folder unless it is already the loaded track (or a reload is forced).
bool track_reset(const char* folder, bool force_reload);
// The next reset reloads the track from its files even when it is the loaded one.
void track_reload_on_restart();

// The folder of the loaded track, or nullptr when none is loaded.
const char* track_current();
const char* track_display_name();
// The RIPEMD-160 of the track's files, as 40 hex digits ("" without a track).
const std::string& track_digest_hex();
const uint8_t* track_digest();
// The overhead map's texture handle (0 when the track has none).
uint32_t track_map_texture();

// Called after every track load and before every unload (the editor's load and unload);
// nullptr for nothing.
void track_set_load_hooks(void (*loaded)(), void (*unloading)());

// Marks a track as loaded without reading it (nullptr: none); tests of the program loop use it.
void track_set_current(const char* name);
