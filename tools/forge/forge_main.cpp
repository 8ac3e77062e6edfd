// The generator of the default data set: writes every file the game reads into one folder.
#include "forge.h"
#include "forge_resources.h"
#include "forge_shapes.h"
#include "forge_ground_textures.h"
#include "forge_terrain.h"
#include "forge_track_files.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
// Each step writes one part of the data set; they run in this order.
struct forge_step {
    const char* name;
    bool (*run)(const std::string& out_folder);
};

constexpr forge_step k_steps[] = {
    {"main archive", forge_main_archive},
    {"HUD pictures", forge_hud_pictures},
    {"fonts", forge_fonts},
    {"sky pictures", forge_sky_pictures},
    {"bike shapes", forge_shapes},
    {"bike models", forge_bike_models},
    {"ground textures", forge_ground_textures},
    {"rabbithill ground", forge_rabbithill_ground},
    {"rabbithill track files", forge_rabbithill_track_files},
    {"practice track", forge_practice_track},
    {"start gate", forge_start_gate},
    {"rabbithill objects", forge_rabbithill_objects},
    {"rabbithill frills", forge_rabbithill_frills},
    {"engine sounds", forge_engine_sounds},
    {"points series", forge_series},
};
} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--icon") {
        if (forge_desktop_icon(argv[2], atoi(argv[3]))) return 0;
        fprintf(stderr, "forge: can't write the icon %s\n", argv[2]);
        return 1;
    }
    if (argc != 2) {
        fprintf(stderr, "usage: forge OUTPUT_FOLDER\n       forge --icon FILE.png SIZE\n");
        return 2;
    }
    std::string out = argv[1];
    if (out.empty() || out.back() != '/') out += '/';
    forge_make_folders(out);
    for (const forge_step& step : k_steps) {
        if (!step.run(out)) {
            fprintf(stderr, "forge: %s failed\n", step.name);
            return 1;
        }
    }
    if (!forge_write_main_archive(out)) {
        fprintf(stderr, "forge: writing the main archive failed\n");
        return 1;
    }
    return 0;
}
