// Saving the track folder in its order, the gradients' "edinfo", and the scene for an external
// ray tracer ("track.pov").
#include "editor/editor_local.h"

#include "common/message.h"
#include "files/data_file.h"
#include "files/files.h"
#include "platform/log.h"
#include "resources/model.h"
#include "terrain/ground_shading.h"
#include "terrain/terrain.h"
#include "track/track.h"
#include "track/track_gates.h"
#include "track/track_objects.h"
#include "track/track_view.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

namespace {
// A whole text file through the replacing writer: the old file stays until the new one is
// complete.
bool write_text(const char* folder, const char* name, const std::string& text) {
    const std::string path = std::string("@") + folder + "/" + name;
    return data_file_replace_with(path.c_str(), text.data(), text.size());
}

// The ray tracer's name for a file: its base name without the extension, letters and digits
// only.
std::string pov_identifier(std::string name) {
    if (!name.empty() && name[0] == '@') name.erase(0, 1);
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos) name.erase(0, slash);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    if (!name.empty() && std::isdigit(static_cast<unsigned char>(name[0]))) name = "_" + name;
    return name;
}

bool ends_with(const std::string& s, const char* tail) {
    const size_t n = strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}
} // namespace

bool edinfo_write(const char* folder) {
    std::string text;
    char line[160];
    for (const editor_gradient& g : editor_get().gradients) {
        snprintf(line, sizeof line, "add_gradient %f %f %f %f\n", static_cast<double>(g.x0),
                 static_cast<double>(g.z0), static_cast<double>(g.x1), static_cast<double>(g.z1));
        text += line;
        for (const profile_point& p : g.points) {
            snprintf(line, sizeof line, "add_point %d %f %f\n", p.segment, static_cast<double>(p.t),
                     static_cast<double>(p.h));
            text += line;
        }
    }
    if (write_text(folder, "edinfo", text)) return true;
    log("Can't open 'edinfo'\n");
    return false;
}

void edinfo_read(const char* folder) {
    editor_state& e = editor_get();
    e.gradients.clear();
    std::string text;
    if (!file_to_string((std::string("@") + folder + "/edinfo").c_str(), &text)) return;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        float a, b, c, d;
        int segment;
        if (sscanf(line.c_str(), " add_gradient %f %f %f %f", &a, &b, &c, &d) == 4) {
            editor_gradient g;
            g.x0 = a, g.z0 = b, g.x1 = c, g.z1 = d;
            e.gradients.push_back(g);
        } else if (sscanf(line.c_str(), " add_point %d %f %f", &segment, &a, &b) == 3 &&
                   !e.gradients.empty()) {
            profile_point p;
            p.segment = segment == 1 ? 1 : 0;
            p.t = a;
            p.h = b;
            e.gradients.back().points.push_back(p);
        }
    }
}

bool editor_save() {
    const char* folder = track_current();
    if (!folder) return false;
    editor_state& e = editor_get();
    // Everything is written into a staging folder beside the track's and moved over the track's
    // files only when all of them are complete: a save that fails or stops part-way leaves the
    // saved track as it was.
    const std::string staging = std::string(folder) + ".saving";
    const std::string staging_path = home_folder() + "/" + staging;
    std::error_code ignored;
    std::filesystem::remove_all(staging_path, ignored);
    const char* where = staging.c_str();
    struct step {
        const char* name;
        bool written;
    };
    // In the save's order; the ground's step writes "terrain.png" before "terrain.hf".
    const step steps[] = {
        {"billboards", billboards_save(where)},
        {"timing_gates", write_text(where, "timing_gates", timing_gates_format())},
        {"terrain.png", height_field_save(where)},
        {"terrain.hf", true},
        {"shading.ppm", ground_shading_save(where)},
        {"shadingx2.ppm", true},
        {"tilemap", tilemap_save(where)},
        // Written even when empty: a track whose last decal was deleted must not load the old file.
        {"decals", write_text(where, "decals", decals_format())},
        {"statues", statues_save(where)},
        {"edinfo", edinfo_write(where)},
    };
    bool ok = true;
    for (const step& s : steps) {
        ok = ok && s.written && e.save_fault != s.name;
        if (!ok) break;
    }
    if (ok) make_parent_folders(home_folder() + "/" + folder + "/edinfo");
    for (const step& s : steps) {
        if (!ok) break;
        const std::string from = "@" + staging + "/" + s.name;
        const std::string to = std::string("@") + folder + "/" + s.name;
        ok = rename_in_home(from.c_str(), to.c_str());
    }
    std::filesystem::remove_all(staging_path, ignored);
    if (!ok) {
        editor_message("Save failed!");
        return false;
    }
    ground_mark_saved();
    editor_message("Saved!");
    return true;
}

bool editor_export_pov() {
    const char* folder = track_current();
    if (!folder) return false;
    std::string out;
    char line[512];
    std::set<std::string> declared;
    const statue* table = statues();
    const int count = statue_count();
    for (int i = 0; i < count; i++) {
        const statue& s = table[i];
        if (!s.model || s.model_name.empty() || declared.count(s.model_name)) continue;
        const model_mesh* mesh = model_get(s.model);
        if (!mesh) continue;
        declared.insert(s.model_name);
        out += "#declare " + pov_identifier(s.model_name) + " = " + model_pov_text(*mesh);
    }
    out += "#declare statues = union {\n";
    for (int i = 0; i < count; i++) {
        const statue& s = table[i];
        if (!s.model || !declared.count(s.model_name)) continue;
        out += "\tobject {\n\t\t" + pov_identifier(s.model_name) + "\n";
        if (!s.texture_name.empty()) {
            std::string name = s.texture_name;
            if (name[0] == '@') name.erase(0, 1);
            snprintf(line, sizeof line,
                     "\t\ttexture { uv_mapping pigment { image_map { %s \"%s\"} } scale <1,-1,1> "
                     "}\n",
                     ends_with(s.texture_name, ".ppm") ? "ppm" : "png", name.c_str());
            out += line;
        }
        float m[9];
        statue_rotation(s, m);
        snprintf(line, sizeof line, "\t\tmatrix <%f,%f,%f,%f,%f,%f,%f,%f,%f,0,0,0>\n",
                 static_cast<double>(m[0]), static_cast<double>(m[3]), static_cast<double>(m[6]),
                 static_cast<double>(m[1]), static_cast<double>(m[4]), static_cast<double>(m[7]),
                 static_cast<double>(m[2]), static_cast<double>(m[5]), static_cast<double>(m[8]));
        out += line;
        snprintf(line, sizeof line, "\t\ttranslate <%f,%f,%f>\n", static_cast<double>(s.x),
                 static_cast<double>(s.y), static_cast<double>(s.z));
        out += line;
        out += "\t}\n";
    }
    out += "}\n";
    out += "#declare billboards = union {\n";
    const billboard* cards = billboards();
    for (int i = billboard_first_file(); i < billboard_count(); i++) {
        const std::string& name = billboard_texture_name(i);
        if (name.empty()) continue;
        out += "object {\n\t" + pov_identifier(name) + "()\n";
        snprintf(line, sizeof line, "\ttranslate <%f,%f,%f>\n", static_cast<double>(cards[i].x),
                 static_cast<double>(cards[i].y), static_cast<double>(cards[i].z));
        out += line;
        out += "}\n";
    }
    out += "}\n";
    const height_field& field = ground().field;
    out += "#declare ground = height_field {\n\tpng \"terrain.png\"\n";
    snprintf(line, sizeof line,
             "\tscale <1, 1, -1>\n\ttranslate <0, 0, 1>\n\tscale <%f,%f,%f>\n\ttranslate "
             "<0,%f,0>\n}\n",
             static_cast<double>(field.extent),
             static_cast<double>(field.max_height - field.min_height),
             static_cast<double>(field.extent), static_cast<double>(field.min_height));
    out += line;
    if (!write_text(folder, "track.pov", out)) return false;
    editor_message("Pov!");
    return true;
}
