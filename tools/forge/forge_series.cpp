// The points series of the default data set: the Trailbok Cup over the generated tracks.
#include "forge.h"
#include "forge_practice.h"

#include <string>

namespace {
constexpr int k_points_entries = 40;
// Moto and round points for places 1 to 20; the rest score nothing.
constexpr int k_points[] = {25, 22, 20, 18, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1};

struct cup_event {
    const char* title;
    const char* track;
    int minutes;
    int laps;
    bool ends_round;
};
constexpr cup_event k_events[] = {
    {"Round 1, Moto 1 - Practice Area", k_practice_folder, 0, 3, false},
    {"Round 1, Moto 2 - Practice Area", k_practice_folder, 0, 3, true},
    {"Round 2, Moto 1 - Rabbit Hill", "rabbithill", 0, 2, false},
    {"Round 2, Moto 2 - Rabbit Hill", "rabbithill", 0, 2, true},
};
// Robots of every bike class, by number.
constexpr int k_riders[] = {21, 24, 27, 33, 38, 42, 45};

std::string points_line(bool scores) {
    std::string line;
    for (int i = 0; i < k_points_entries; i++) {
        const int n = sizeof k_points / sizeof k_points[0];
        line += std::to_string(scores && i < n ? k_points[i] : 0);
        line += i + 1 < k_points_entries ? " " : "\n";
    }
    return line;
}
} // namespace

bool forge_series(const std::string& out) {
    std::string text = "\"Trailbok Cup\"\n";
    text += std::to_string(sizeof k_riders / sizeof k_riders[0]) + " Novice\n";
    for (int number : k_riders) text += std::to_string(number) + " ";
    text += "\n" + std::to_string(sizeof k_events / sizeof k_events[0]) + "\n";
    for (const cup_event& e : k_events) {
        text += std::string("\"") + e.title + "\" " + e.track + " " + std::to_string(e.minutes) +
                " " + std::to_string(e.laps) + "\n";
        text += points_line(true);
        text += points_line(e.ends_round);
    }
    return forge_write_file(out + "trailbok_cup.series", text);
}
