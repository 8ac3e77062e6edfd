// What the track's four kinds of objects share: the ground under them, writing their files back
// into the track folder, and freeing them with the track.
#include "common/message.h"
#include "files/data_file.h"
#include "platform/log.h"
#include "terrain/terrain.h"
#include "track/track_local.h"
#include "track/track_objects.h"

#include <algorithm>
#include <cctype>
#include <cstring>

float object_ground_height(float x, float z) {
    return ground().field.heights ? ground_height_at(x, z) : 0.0f;
}

bool objects_file_write(const char* folder, const char* name, const std::string& text) {
    const std::string path = std::string("@") + folder + "/" + name;
    // The old file stays whole until the new one is complete.
    if (data_file_replace_with(path.c_str(), text.data(), text.size())) return true;
    show_message("Can't open '%s'\n", name);
    return false;
}

void objects_read_stopped(const char* file, const text_scanner& in) {
    const char* rest = in.at;
    while (rest < in.end && isspace(static_cast<unsigned char>(*rest))) rest++;
    if (rest == in.end) return;
    log("'%s': nothing read from the text after its %d readable parts (\"%.24s\")\n", file,
        in.entries, rest);
    const int shown = static_cast<int>(std::min<size_t>(strcspn(rest, "\r\n"), 24));
    file_problem_report(file, text_line_at(in.begin, rest),
                        "reading stops at \"%.*s\": nothing from here on is read", shown, rest);
}

void objects_free() {
    flaggers_clear();
    billboards_clear();
    statues_clear();
    decals_clear();
}
