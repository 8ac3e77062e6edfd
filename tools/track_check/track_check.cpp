// Loading a track folder for the checker: the folder is put where the game would find it, in a
// home folder of the checker's own in front of the game's data set, and loaded as the game does.
#include "track_check.h"

#include "track_check_local.h"

#include "common/message.h"
#include "files/data_file.h"
#include "files/files.h"
#include "track/track.h"
#include "track/track_script.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
// The environment variable that places the home folder, as it was before the check.
struct saved_home {
    bool had = false;
    std::string value;
};

bool holds_heights(const fs::path& folder) {
    std::error_code ec;
    for (const char* form :
         {"terrain.hf", "terrain.hf.gz", "terrain.hf.scram", "terrain.hf.gz.scram"})
        if (fs::is_regular_file(folder / form, ec)) return true;
    return false;
}

// The number of a script error's "(line N)", 0 when it names none.
int script_error_line(const std::string& text) {
    const size_t at = text.rfind("(line ");
    return at == std::string::npos ? 0 : atoi(text.c_str() + at + 6);
}

// Runs the track script as a race reset does, and its handlers once with no race.
void check_script(const char* name, std::vector<file_problem>* out) {
    if (!track_script_load(name, &k_script_race_none)) return;
    std::string error = track_script_error();
    if (!error.empty()) {
        out->push_back({"frills.js", script_error_line(error), error});
        track_script_unload();
        return;
    }
    track_script_tic_handler(0);
    error = track_script_error();
    if (error.empty()) {
        track_script_frame_handler(0);
        error = track_script_error();
    }
    if (!error.empty())
        out->push_back({"frills.js", script_error_line(error), "a handler fails: " + error});
    track_script_unload();
}

// A map picture that is there must be readable.
void check_map(const char* name, std::vector<file_problem>* out) {
    const std::string map = std::string("@") + name + "/map.png";
    data_file* f = data_file_open(map.c_str(), "rb");
    if (!f) return;
    data_file_close(f);
    if (track_map_texture() == 0) out->push_back({"map.png", 0, "not a readable picture"});
}

} // namespace

std::vector<file_problem> track_check(const std::string& folder_in) {
    std::vector<file_problem> out;
    std::error_code ec;
    fs::path folder = fs::absolute(folder_in, ec).lexically_normal();
    if (folder.has_filename() == false) folder = folder.parent_path();
    if (ec || !fs::is_directory(folder, ec)) {
        out.push_back({"", 0, "not a folder"});
        return out;
    }
    if (!holds_heights(folder)) {
        out.push_back({"terrain.hf", 0, "missing: the folder is not a track"});
        return out;
    }
    const std::string name = folder.filename().string();

    // A home folder of the check's own, holding only a link to the track folder.
    const fs::path root =
        fs::temp_directory_path(ec) / ("trailbok-track-" + std::to_string(getpid()));
    fs::remove_all(root, ec);
    fs::create_directories(root / "Trailbok", ec);
    fs::create_directory_symlink(folder, root / "Trailbok" / name, ec);
    if (ec) {
        out.push_back({"", 0, "can't make a home folder for the check: " + ec.message()});
        fs::remove_all(root, ec);
        return out;
    }
    saved_home saved;
    if (const char* xdg = getenv("XDG_DATA_HOME")) saved = {true, xdg};
    setenv("XDG_DATA_HOME", root.c_str(), 1);
    files_free();
    file_index();

    file_report report;
    file_problems_collect(&report);
    messages_clear();
    const bool loaded = track_load(name.c_str());
    std::vector<file_problem> found;
    if (loaded) {
        check_map(name.c_str(), &found);
        check_gates(report, &found);
        check_objects(report, &found);
        check_script(name.c_str(), &found);
    }
    file_problems_collect(nullptr);
    out = report.problems;
    out.insert(out.end(), found.begin(), found.end());
    if (!loaded && out.empty())
        out.push_back({"", 0, "the track does not load: " + message_recent(0)});

    track_unload();
    messages_clear();
    if (saved.had)
        setenv("XDG_DATA_HOME", saved.value.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
    files_free();
    fs::remove_all(root, ec);
    return out;
}

std::string track_check_line(const std::string& folder, const file_problem& problem) {
    std::string where = folder;
    while (where.size() > 1 && where.back() == '/') where.pop_back();
    if (!problem.file.empty()) where += "/" + problem.file;
    if (problem.line > 0) where += ":" + std::to_string(problem.line);
    return where + ": " + problem.text;
}
