// The "timing_gates" text of generated start gates, checkpoints and lap lists, as the game
// reads it (and as its editor writes it back).
#include "forge_track_files.h"

#include <cmath>
#include <cstdio>

float forge_heading_along(float dir_x, float dir_z) { return std::atan2(-dir_x, -dir_z); }

std::string forge_timing_gates_text(const std::vector<forge_slot>& slots,
                                    const std::vector<forge_gate>& gates,
                                    const std::vector<int>& first_lap,
                                    const std::vector<int>& normal_lap) {
    std::string text = "startinggate:\n";
    char line[256];
    for (const forge_slot& s : slots) {
        snprintf(line, sizeof line, "[%f %f %f] %f\n", s.x, s.y, s.z, s.heading);
        text += line;
    }
    text += "checkpoints:\n";
    for (const forge_gate& g : gates) {
        snprintf(line, sizeof line, "%f [%f %f %f] [%f %f %f]\n", g.radius, g.x, g.y, g.z, g.dir_x,
                 0.0, g.dir_z);
        text += line;
    }
    text += "firstlap:\n";
    for (int e : first_lap) text += std::to_string(e) + " ";
    text += "\nnormallap:\n";
    for (int e : normal_lap) text += std::to_string(e) + " ";
    return text + "\n";
}
