// Loading a track folder in its fixed order, its digest, and freeing it.
#include "track/track.h"

#include "common/loading.h"
#include "common/ripemd160.h"
#include "files/data_file.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "resources/model.h"
#include "resources/texture.h"
#include "terrain/ground_shading.h"
#include "terrain/terrain.h"
#include "track/track_gates.h"
#include "track/track_local.h"
#include "track/track_objects.h"
#include "track/track_script.h"

#include <string>

namespace {
struct track_state {
    bool loaded = false;
    std::string folder;
    std::string display_name;
    uint8_t digest[20] = {};
    std::string digest_hex;
    uint32_t map_texture = 0;
    bool reload_pending = false; // "forcereload": the next reset reads the files again
};
track_state g_track;

// Who follows the loads and unloads; outlives the tracks.
struct track_hooks {
    void (*loaded)() = nullptr;
    void (*unloading)() = nullptr;
};
track_hooks g_hooks;

// Feeds a file's whole content to the digest when it opens.
void digest_file(ripemd160_state& digest, const std::string& name) {
    data_file* f = data_file_open(name.c_str(), "rb");
    if (!f) return;
    char buffer[16384];
    size_t n;
    while ((n = data_file_read(f, buffer, sizeof buffer)) > 0) ripemd160_update(digest, buffer, n);
    data_file_close(f);
}

void memory_line(const char* when) {
    if (debug_level() > 0)
        log("%lu bytes texture memory used %s\n", static_cast<unsigned long>(texture_memory()),
            when);
}

// The ground: heights and their level of detail, the texturing method, shading, shadows,
// surface types, tile map, normals, the ground's textures, decals. Any failure frees what the
// ground loader read so far.
bool load_ground(const char* folder) {
    loading_step_begin("Loading terrain");
    bool ok = height_field_load(folder);
    if (ok) {
        ground_lod_build();
        loading_step_done("Loading terrain");
        const int method = ground_method_choose();
        // The decals are painted by the composition: as pixels on the processor, else as
        // textures, with their companions when the ground is lit per pixel.
        decal_ground_hooks hooks;
        hooks.decode_images = method == ground_method_software;
        hooks.normal_maps = ground_lit_per_pixel();
        hooks.mark_dirty = ground_mark_dirty;
        decals_set_ground_hooks(&hooks);
        loading_step_begin("Loading shading");
        ok = ground_shading_load(folder, ground().field.samples_per_side);
        if (ok) loading_step_done("Loading shading");
    }
    if (ok) {
        memory_line("before ground tiles loaded");
        loading_step_begin("Loading tileinfo");
        ok = surface_types_load(folder);
        if (ok) loading_step_done("Loading tileinfo");
        memory_line("after ground tiles loaded");
    }
    if (ok) {
        loading_step_begin("Loading tilemap");
        ok = tilemap_load(folder);
        if (ok) loading_step_done("Loading tilemap");
    }
    if (ok && ground_lit_per_pixel()) {
        loading_step_begin("Creating terrain normals");
        ground_normals_create();
        loading_step_done("Creating terrain normals");
    }
    if (ok) {
        loading_step_begin("Creating low detail textures");
        ok = ground_data_textures_create();
        if (ok) loading_step_done("Creating low detail textures");
    }
    if (ok) {
        loading_step_begin("Creating LOD textures");
        ok = ground_lod_textures_create();
        if (ok) loading_step_done("Creating LOD textures");
        memory_line("after low detail ground textures");
    }
    if (ok) decals_load(folder);
    if (!ok) {
        ground_shading_free();
        ground_free();
    }
    return ok;
}
} // namespace

bool track_load(const char* folder) {
    track_unload();
    // A load that failed part-way leaves no objects behind for this one.
    objects_free();
    std::string base = std::string("@") + folder + "/";
    int listed = track_list_find(folder);
    g_track.display_name = listed >= 0 ? track_list_entry(listed).display_name : folder;
    ripemd160_state digest;
    ripemd160_init(digest);

    loading_step_begin("Scanning");
    for (const char* name : {"terrain.hf", "terrain.png", "texturelist", "tilemap", "tileinfo"})
        digest_file(digest, base + name);
    loading_step_done("Scanning");
    if (debug_level() > 0) log("Loading '%s'\n", folder);

    lighting_load(folder);
    const track_lighting& light = lighting();
    ground_set_lighting(light.sun_vector, light.sun_colour, light.ambient, light.dynamic_lighting);
    ground_set_texture_loader(texture_load);
    if (!load_ground(folder)) {
        g_track = track_state{};
        return false;
    }
    memory_line("after hf creation");

    digest_file(digest, base + "timing_gates");
    timing_gates_load((base + "timing_gates").c_str());
    start_gate_pieces_add();
    objects_reserve_billboards(k_reserved_billboards);

    loading_step_begin("Loading flaggers");
    flaggers_load(folder);
    loading_step_done("Loading flaggers");
    memory_line("after flagger creation");
    if (billboards_load(folder)) loading_step_done("Loading billboards");
    memory_line("after billboard creation");

    digest_file(digest, base + "statues");
    statues_load(folder);

    loading_step_begin("Loading map");
    memory_line("after statue creation");
    g_track.map_texture = texture_load((base + "map.png").c_str());
    loading_step_done("Loading map");

    std::string shapes[256];
    int shape_count = 0;
    statue_shape_files(shapes, &shape_count, 256);
    for (int i = 0; i < shape_count; i++) digest_file(digest, shapes[i]);

    ripemd160_final(digest, g_track.digest);
    g_track.digest_hex = ripemd160_hex(g_track.digest);
    cameras_load(folder);
    g_track.folder = folder;
    g_track.loaded = true;
    set_working_set();
    if (g_hooks.loaded) g_hooks.loaded();
    return true;
}

void track_unload() {
    if (!g_track.loaded) return;
    if (g_hooks.unloading) g_hooks.unloading();
    log("Deallocating track\n");
    track_script_unload();
    objects_free();
    cameras_clear();
    timing_gates_clear();
    ground_shading_free();
    ground_free();
    log("Finished deallocating track\n");
    g_track = track_state{};
}

bool track_reset(const char* folder, bool force_reload) {
    if (g_track.loaded && g_track.folder == folder && !force_reload && !g_track.reload_pending)
        return true;
    g_track.reload_pending = false;
    track_unload();
    texture_generation_advance();
    model_generation_advance();
    texture_memory_reset();
    return track_load(folder);
}

void track_set_load_hooks(void (*loaded)(), void (*unloading)()) {
    g_hooks.loaded = loaded;
    g_hooks.unloading = unloading;
}

void track_reload_on_restart() { g_track.reload_pending = true; }

const char* track_current() { return g_track.loaded ? g_track.folder.c_str() : nullptr; }
const char* track_display_name() { return g_track.display_name.c_str(); }
const std::string& track_digest_hex() { return g_track.digest_hex; }
const uint8_t* track_digest() { return g_track.digest; }
uint32_t track_map_texture() { return g_track.map_texture; }

void track_set_current(const char* name) {
    g_track.loaded = name != nullptr;
    g_track.folder = name ? name : "";
}
