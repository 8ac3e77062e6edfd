// trailbok-demo on a recorded race: the race and riders it reports, and CSV rows that hold every
// recorded state with the speed the simulation had.
#include "demo_world.h"

#include "demo/demo_tool.h"

#include <sstream>

namespace {
class demo_tool : public demo_world {
  protected:
    // Runs the tool; its status, what it wrote to its output and to its error stream.
    int run(std::vector<const char*> args, std::string* out, std::string* err = nullptr) {
        args.insert(args.begin(), "trailbok-demo");
        FILE* o = tmpfile();
        FILE* e = tmpfile();
        int status = demo_tool_run(static_cast<int>(args.size()), args.data(), o, e);
        auto slurp = [](FILE* f) {
            std::string text;
            rewind(f);
            for (int c; (c = fgetc(f)) != EOF;) text += static_cast<char>(c);
            fclose(f);
            return text;
        };
        *out = slurp(o);
        std::string errors = slurp(e);
        if (err) *err = errors;
        return status;
    }
    static std::vector<std::string> split(const std::string& line) {
        std::vector<std::string> cells;
        std::stringstream s(line);
        for (std::string cell; std::getline(s, cell, ',');) cells.push_back(cell);
        if (!line.empty() && line.back() == ',') cells.push_back("");
        return cells;
    }
};

TEST_F(demo_tool, InfoTellsTheRaceAndItsRiders) {
    const recorded_race& rec = a_short_recording();
    write(default_demo(), rec.demo);
    std::string out;
    ASSERT_EQ(run({"info", default_demo().c_str()}, &out), 0);
    EXPECT_NE(out.find("version: 6\n"), std::string::npos) << out;
    EXPECT_NE(out.find("track: practice\n"), std::string::npos) << out;
    EXPECT_NE(out.find("finish: 1 laps\n"), std::string::npos) << out;
    EXPECT_NE(out.find("(tic " + std::to_string(rec.gate_drop) + ")"), std::string::npos) << out;
    EXPECT_NE(out.find("riders: 3\n"), std::string::npos) << out;
    int states = rec.end_tic / 4 + 1;
    EXPECT_NE(
        out.find("  0: yz250f(2017) #999 Joe Motocross, " + std::to_string(states) + " states"),
        std::string::npos)
        << out;
    char duration[64];
    snprintf(duration, sizeof duration, "recorded: %.3f s", (states - 1) * 4 / 128.0);
    EXPECT_NE(out.find(duration), std::string::npos) << out;
}

TEST_F(demo_tool, CsvHasARowForEveryRecordedStateWithTheSimulationsSpeed) {
    const recorded_race& rec = the_recorded_race();
    write(default_demo(), rec.demo);
    std::string out;
    ASSERT_EQ(run({"csv", default_demo().c_str()}, &out), 0);
    std::stringstream lines(out);
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line, "rider,tic,seconds,x_ft,y_ft,z_ft,speed_mph,heading_deg,lean_deg,steer_deg,"
                    "fork_travel_in,swingarm_deg,gear,throttle,dab,engine_rpm,knocked_off");
    std::map<int, int> rows;
    int moving = 0;
    while (std::getline(lines, line)) {
        std::vector<std::string> c = split(line);
        ASSERT_EQ(c.size(), 17u) << line;
        int rider = std::stoi(c[0]), tic = std::stoi(c[1]);
        ASSERT_TRUE(rider >= 0 && rider < k_recorded_riders) << line;
        ASSERT_EQ(tic % 4, 0) << line;
        rows[rider]++;
        EXPECT_NEAR(std::stod(c[2]), (tic - rec.gate_drop) / 128.0, 1e-4);
        const vec3d& p = rec.frames[rider].at(tic);
        EXPECT_NEAR(std::stod(c[3]), p.x, 1e-3) << line;
        EXPECT_NEAR(std::stod(c[5]), p.z, 1e-3) << line;
        if (tic == 0) {
            EXPECT_EQ(c[6], "") << "no speed without a state before";
            continue;
        }
        // From the rider's previous state 4 tics before: within the positions' resolution of
        // how far the simulation moved the frame, and close to its speed half-way.
        const vec3d& q = rec.frames[rider].at(tic - 4);
        double moved = std::sqrt((p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y) +
                                 (p.z - q.z) * (p.z - q.z));
        double mph = moved / (4 / 128.0) * 15 / 22, csv = std::stod(c[6]);
        EXPECT_NEAR(csv, mph, 0.01) << line;
        EXPECT_NEAR(csv, rec.speeds[rider].at(tic - 2) * 15 / 22, 0.5) << line;
        if (csv > 5) moving++;
        EXPECT_EQ(c[16] == "1",
                  compact_state_unpack(rec.states[rider].at(tic), rec.ranges[rider]).knockout_tics >
                      0);
    }
    int states = rec.end_tic / 4 + 1;
    for (int rider = 0; rider < k_recorded_riders; rider++) EXPECT_EQ(rows[rider], states);
    EXPECT_GT(moving, 200) << "the leading rider rode for its 22 seconds";

    // One rider by number, or by place.
    std::string one;
    ASSERT_EQ(run({"csv", default_demo().c_str(), "999"}, &one), 0);
    EXPECT_EQ(std::count(one.begin(), one.end(), '\n'), states + 1);
    EXPECT_NE(one.find("\n0,"), std::string::npos);
    EXPECT_EQ(one.find("\n1,"), std::string::npos);
    ASSERT_EQ(run({"csv", default_demo().c_str(), "2"}, &one), 0);
    EXPECT_NE(one.find("\n2,"), std::string::npos);
    EXPECT_EQ(one.find("\n0,"), std::string::npos);
    std::string err;
    EXPECT_EQ(run({"csv", default_demo().c_str(), "77"}, &one, &err), 1);
    EXPECT_NE(err.find("has no rider 77"), std::string::npos) << err;
}

TEST_F(demo_tool, CheckFindsARecordingWholeAndBadCommandLinesGetTheUsage) {
    const recorded_race& rec = a_short_recording();
    write(default_demo(), rec.demo);
    std::string out, err;
    EXPECT_EQ(run({"check", default_demo().c_str()}, &out), 0) << out;
    EXPECT_NE(out.find("whole: version 6, 3 riders"), std::string::npos) << out;
    EXPECT_EQ(run({}, &out, &err), 2);
    EXPECT_NE(err.find("Usage: trailbok-demo info FILE"), std::string::npos);
    EXPECT_EQ(run({"play", default_demo().c_str()}, &out, &err), 2);
    // A track that is not here: positions can't be scaled.
    std::string moved = rec.demo;
    moved.replace(moved.find("\npractice\n"), 10, "\nnowhere\n");
    std::string path = (home / "demos" / "moved.qvdemo").string();
    write(path, moved);
    EXPECT_EQ(run({"csv", path.c_str()}, &out, &err), 1);
    EXPECT_NE(err.find("terrain of track nowhere"), std::string::npos) << err;
}
} // namespace
