// The track checker on the generated tracks (clean) and on damaged copies of rabbithill made
// here: each damage is reported against its file and line, and the program's exit status says so.
#include "track_check/track_check.h"

#include "support/data_set_home.h"
#include "support/temp_data_test.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

std::string listed(const std::vector<file_problem>& problems) {
    std::string text;
    for (const file_problem& p : problems) text += track_check_line("", p) + "\n";
    return text;
}

struct TrackCheck : TempDataTest {
    fs::path copy;

    void SetUp() override {
        TempDataTest::SetUp();
        use_generated_data_set();
        // A name the data set does not have, so nothing missing here is found there.
        copy = root / "hillcopy";
        fs::copy(fs::path(TB_GAME_DIR) / "rabbithill", copy);
    }
    // Line `number` (from 1) of a file of the copy, changed by `edit`.
    template <typename Edit> void edit_line(const char* file, int number, Edit edit) {
        std::vector<std::string> lines = lines_of(read(copy / file));
        ASSERT_LE(number, static_cast<int>(lines.size()));
        edit(lines[number - 1]);
        write(copy / file, joined(lines));
    }

    // The words of a line with the word at `index` replaced.
    static std::string with_word(const std::string& line, int index, const std::string& word) {
        std::istringstream in(line);
        std::vector<std::string> words;
        for (std::string w; in >> w;) words.push_back(w);
        words.at(static_cast<size_t>(index)) = word;
        std::string out;
        for (const std::string& w : words) out += (out.empty() ? "" : " ") + w;
        return out;
    }

    // Whether the check of the copy reports a problem in `file` at `line` whose text holds `what`.
    static bool reported(const std::vector<file_problem>& problems, const char* file, int line,
                         const char* what) {
        for (const file_problem& p : problems)
            if (p.file == file && p.line == line && p.text.find(what) != std::string::npos)
                return true;
        return false;
    }

    // The line of the first line of a file that starts with `start`, from 1.
    int line_starting(const char* file, const std::string& start) {
        std::vector<std::string> lines = lines_of(read(copy / file));
        for (size_t i = 0; i < lines.size(); i++)
            if (lines[i].rfind(start, 0) == 0) return static_cast<int>(i) + 1;
        return 0;
    }
};
} // namespace

TEST_F(TrackCheck, GeneratedTracksAreClean) {
    for (const char* track : {"rabbithill", "practice"}) {
        std::vector<file_problem> problems = track_check(std::string(TB_GAME_DIR) + "/" + track);
        EXPECT_TRUE(problems.empty()) << track << ":\n" << listed(problems);
    }
    std::vector<file_problem> problems = track_check(copy.string());
    EXPECT_TRUE(problems.empty()) << "an untouched copy under another name:\n" << listed(problems);
}

TEST_F(TrackCheck, TruncatedHeightsAreReported) {
    std::string hf = read(copy / "terrain.hf");
    write(copy / "terrain.hf", hf.substr(0, hf.size() / 2));
    std::vector<file_problem> problems = track_check(copy.string());
    EXPECT_TRUE(reported(problems, "terrain.hf", 0, "heights end after")) << listed(problems);
}

TEST_F(TrackCheck, MissingShadingFailsTheLoadAndIsNamed) {
    fs::remove(copy / "shadingx2.ppm");
    std::vector<file_problem> problems = track_check(copy.string());
    EXPECT_TRUE(reported(problems, "shading.ppm", 0, "missing")) << listed(problems);
}

TEST_F(TrackCheck, BillboardPictureThatIsNotThereIsReportedOnItsLine) {
    edit_line("billboards", 2, [](std::string& line) {
        line = with_word(line, 5, "#d2e6c8#@objects/no_such_tree.png");
    });
    std::vector<file_problem> problems = track_check(copy.string());
    EXPECT_TRUE(reported(problems, "billboards", 2, "no_such_tree.png")) << listed(problems);
}

TEST_F(TrackCheck, SurfacePictureThatIsNotThereIsReportedOnItsLine) {
    edit_line("tileinfo", 2, [](std::string& line) { line = "texture @ground/no_such_grass.png"; });
    std::vector<file_problem> problems = track_check(copy.string());
    EXPECT_TRUE(reported(problems, "tileinfo", 2, "no_such_grass.png")) << listed(problems);
}

TEST_F(TrackCheck, LapNamingAMissingGateIsReported) {
    std::string gates = read(copy / "timing_gates");
    const int lines = static_cast<int>(lines_of(gates).size());
    write(copy / "timing_gates", gates + "99\n");
    std::vector<file_problem> problems = track_check(copy.string());
    EXPECT_TRUE(reported(problems, "timing_gates", lines + 1, "gate 99")) << listed(problems);
}

TEST_F(TrackCheck, GateTurnedAroundFacesAwayFromTheNext) {
    const int first_gate = line_starting("timing_gates", "checkpoints:") + 1;
    ASSERT_GT(first_gate, 1);
    // The direction is the last three numbers, "[dx dy dz]": reverse dx and dz.
    edit_line("timing_gates", first_gate, [](std::string& line) {
        std::istringstream in(line.substr(line.rfind('[') + 1));
        float dx, dy, dz;
        in >> dx >> dy >> dz;
        line = line.substr(0, line.rfind('[')) + "[" + std::to_string(-dx) + " " +
               std::to_string(dy) + " " + std::to_string(-dz) + "]";
    });
    std::vector<file_problem> problems = track_check(copy.string());
    EXPECT_TRUE(reported(problems, "timing_gates", first_gate, "gate 0 faces away"))
        << listed(problems);
}

TEST_F(TrackCheck, StatueMovedOffTheFieldIsReportedOnItsLine) {
    edit_line("statues", 3,
              [](std::string& line) { line = "[-500" + line.substr(line.find(' ')); });
    std::vector<file_problem> problems = track_check(copy.string());
    EXPECT_TRUE(reported(problems, "statues", 3, "off the field")) << listed(problems);
}

TEST_F(TrackCheck, StatueSunkDeepIsReported) {
    edit_line("statues", 1, [](std::string& line) { line = with_word(line, 1, "-200"); });
    std::vector<file_problem> problems = track_check(copy.string());
    EXPECT_TRUE(reported(problems, "statues", 1, "sunk")) << listed(problems);
}

TEST_F(TrackCheck, StartSlotSunkIntoTheGroundIsReported) {
    edit_line("timing_gates", 3, [](std::string& line) { line = with_word(line, 1, "-3"); });
    std::vector<file_problem> problems = track_check(copy.string());
    EXPECT_TRUE(reported(problems, "timing_gates", 3, "start slot 1: its gate stands 3 ft into"))
        << listed(problems);
}

TEST_F(TrackCheck, DamagedStatueEntryStopsTheReadingThere) {
    edit_line("statues", 5, [](std::string& line) { line = "[ 1 2"; });
    std::vector<file_problem> problems = track_check(copy.string());
    EXPECT_TRUE(reported(problems, "statues", 5, "reading stops")) << listed(problems);
}

TEST_F(TrackCheck, ScriptSyntaxErrorIsReportedOnItsLine) {
    std::vector<std::string> lines = lines_of(read(copy / "frills.js"));
    ASSERT_GT(lines.size(), 3u);
    lines.insert(lines.begin() + 2, "var broken = ;");
    write(copy / "frills.js", joined(lines));
    std::vector<file_problem> problems = track_check(copy.string());
    EXPECT_TRUE(reported(problems, "frills.js", 3, "SyntaxError")) << listed(problems);
}

TEST_F(TrackCheck, FolderWithoutHeightsIsNotATrack) {
    fs::create_directories(root / "empty");
    std::vector<file_problem> problems = track_check((root / "empty").string());
    EXPECT_TRUE(reported(problems, "terrain.hf", 0, "not a track")) << listed(problems);
}

TEST_F(TrackCheck, ProgramExitStatusFollowsTheProblems) {
    const std::string program = std::string(TB_GAME_DIR) + "/trailbok-track";
    auto status = [&](const std::string& args) {
        const int rc = std::system((program + " " + args + " >/dev/null 2>&1").c_str());
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    };
    EXPECT_EQ(status("check " + copy.string()), 0);
    EXPECT_EQ(status("look " + copy.string()), 2) << "a bad command gets the usage";
    EXPECT_EQ(status("check"), 2);
    fs::remove(copy / "tilemap");
    EXPECT_EQ(status("check " + copy.string()), 1);
}
