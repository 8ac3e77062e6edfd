// The recorder: who is recorded and how often, the server's messages, the backups of earlier
// recordings, the save name, and a recording that can't be made.
#include "demo_world.h"

#include <algorithm>
#include <vector>

namespace {
TEST_F(demo_world, SimulatedRidersAreRecordedEvery4TicsInBlocksEvery16) {
    ASSERT_TRUE(
        start_recorded({lineup_local, lineup_robot, lineup_network, lineup_robot}, 2, true));
    ASSERT_TRUE(demo_recording());
    for (int t = 0; t < 40; t++) race_world_tic();
    demo_record_message("Server says hi", 14);
    demo_record_erode(512);
    uint8_t edit[21] = {1};
    demo_record_terrain_edit(edit, sizeof edit);
    for (int t = 0; t < 13; t++) race_world_tic();
    int end = race_clock();
    std::string robots[2] = {race_slot(1).number, race_slot(3).number};
    ASSERT_TRUE(start_recorded({}, 1, false)); // closes the recording
    read_back got;
    demo_header h;
    ASSERT_TRUE(read_whole(default_demo(), &got, &h));
    EXPECT_FALSE(got.damaged) << got.damage;
    ASSERT_EQ(h.riders.size(), 3u) << "the local rider and the robots, in slot order";
    EXPECT_EQ(h.riders[0].number, "999");
    EXPECT_EQ(h.riders[1].number, robots[0]);
    EXPECT_EQ(h.riders[2].number, robots[1]);
    EXPECT_EQ(h.riders[2].name, "Roborider");
    EXPECT_EQ(h.finish_laps, 2);
    // Every rider at every fourth tic from the start to the end, each once.
    std::map<int, std::vector<int>> tics;
    for (const demo_entry& e : got.states) tics[e.rider].push_back(e.tic);
    for (int rider = 0; rider < 3; rider++) {
        std::vector<int> want;
        for (int tic = 0; tic < end; tic += 4) want.push_back(tic);
        EXPECT_EQ(tics[rider], want) << rider;
    }
    // The blocks: one at the start, one every 16 tics, the last when the recording closed.
    std::string bytes = read(default_demo());
    std::vector<int> block_tics;
    uint32_t previous = 0;
    for (size_t at = h.length; at + k_demo_block_head_size <= bytes.size();) {
        demo_block_head head =
            demo_block_head_unpack(reinterpret_cast<const uint8_t*>(bytes.data()) + at);
        uint32_t length = head.stored_length ^ previous;
        previous = length;
        if (head.type == demo_block_states) block_tics.push_back(head.tic);
        at += k_demo_block_head_size + length;
    }
    EXPECT_EQ(block_tics, (std::vector<int>{0, 16, 32, 48, end}));
    EXPECT_EQ(got.messages, std::vector<std::string>{"Server says hi"});
    EXPECT_EQ(got.erosion, std::vector<int>{512});
    EXPECT_EQ(got.edits, 1);
}

TEST_F(demo_world, ThreeBackupsMoveAlongAndTheOldestGoes) {
    for (const char* name : {"default", "default00", "default01", "default02"})
        write(home / "demos" / (std::string(name) + ".qvdemo"), name);
    ASSERT_TRUE(start_recorded({lineup_local}, 1, true, 3));
    EXPECT_EQ(read(home / "demos" / "default00.qvdemo"), "default");
    EXPECT_EQ(read(home / "demos" / "default01.qvdemo"), "default00");
    EXPECT_EQ(read(home / "demos" / "default02.qvdemo"), "default01");
    EXPECT_FALSE(fs::exists(home / "demos" / "default03.qvdemo"));
    EXPECT_EQ(read(home / "demos" / "default.qvdemo").substr(0, 5), "QV06 ");
}

TEST_F(demo_world, NoBackupsOverwritesTheRecording) {
    for (const char* name : {"default", "default00"})
        write(home / "demos" / (std::string(name) + ".qvdemo"), name);
    ASSERT_TRUE(start_recorded({lineup_local}, 1, true, 0));
    EXPECT_EQ(read(home / "demos" / "default00.qvdemo"), "default00");
    EXPECT_EQ(read(home / "demos" / "default.qvdemo").substr(0, 5), "QV06 ");
}

TEST_F(demo_world, ANamedRecordingIsKeptUnderItsNameFromTheMomentItIsNamed) {
    demo_name_recording("early");
    EXPECT_TRUE(shown("Not currently recording a demo"));
    ASSERT_TRUE(start_recorded({lineup_local}, 1, true));
    demo_name_recording(std::string(1017, 'n').c_str());
    EXPECT_TRUE(shown("Name too long"));
    demo_name_recording("../outside");
    EXPECT_FALSE(shown("Demo name updated"));
    demo_name_recording("first try.qvdemo");
    EXPECT_TRUE(shown("Demo name updated"));
    // Named at once, while it is written: a crash now leaves it under its name, out of the way
    // of the next race's recording.
    EXPECT_TRUE(fs::exists(home / "demos" / "first try.qvdemo"));
    EXPECT_FALSE(fs::exists(home / "demos" / "default.qvdemo"));
    for (int t = 0; t < 20; t++) race_world_tic();
    ASSERT_TRUE(start_recorded({lineup_local}, 1, false));
    EXPECT_FALSE(fs::exists(home / "demos" / "default.qvdemo"));
    ASSERT_TRUE(fs::exists(home / "demos" / "first try.qvdemo"))
        << "the extension is not added twice";
    read_back got;
    ASSERT_TRUE(read_whole((home / "demos" / "first try.qvdemo").string(), &got));
    EXPECT_EQ(got.states.size(), 6u);
    // A name without the extension gets it; the next recording keeps no name.
    ASSERT_TRUE(start_recorded({lineup_local}, 1, true));
    demo_name_recording("second");
    ASSERT_TRUE(start_recorded({lineup_local}, 1, true));
    EXPECT_TRUE(fs::exists(home / "demos" / "second.qvdemo"));
    ASSERT_TRUE(start_recorded({lineup_local}, 1, false));
    EXPECT_TRUE(fs::exists(home / "demos" / "default.qvdemo"));
    EXPECT_TRUE(fs::exists(home / "demos" / "second.qvdemo"));
}

TEST_F(demo_world, ARecordingThatCantBeMadeIsSaidAndNothingIsWrittenElsewhere) {
    // A file where the demos folder should be.
    write(home / "demos", "in the way");
    ASSERT_TRUE(start_recorded({lineup_local}, 1, true));
    EXPECT_FALSE(demo_recording());
    EXPECT_TRUE(shown("Can't create @demos/default.qvdemo - this race is not being recorded"));
    for (int t = 0; t < 20; t++) race_world_tic();
    EXPECT_FALSE(fs::exists(fs::path(TB_GAME_DIR) / "demos" / "default.qvdemo"));
}
} // namespace

namespace {
// Forty robots racing the practice track from the same reset, recorded twice: the same file,
// byte for byte, so a robot race replays the same wherever it was recorded.
TEST_F(demo_world, TheSameRobotRaceRecordedTwiceGivesTheSameFile) {
    std::string files[2];
    for (std::string& file : files) {
        // The clock at the reset seeds the robots' shuffle: a first reset makes it the same.
        ASSERT_TRUE(start_recorded({}, 1, false));
        const std::vector<int> robots(40, lineup_robot);
        race_start_params p;
        p.track = "practice";
        p.laps = 1;
        p.record_mode = 1;
        ASSERT_TRUE(race_start_lineup(p, robots.data(), 40));
        ASSERT_TRUE(demo_recording());
        const int end = race_gate_drop_tic() + 3 * k_tics_per_second;
        vec3d grid = bike_frame_position(race_slot(0).bike);
        while (race_clock() < end) race_world_tic();
        vec3d x = bike_frame_position(race_slot(0).bike);
        EXPECT_GT(std::hypot(x.x - grid.x, x.z - grid.z), 10) << "the robots race";
        ASSERT_TRUE(start_recorded({}, 1, false)); // closes the recording
        file = read(default_demo());
        read_back got;
        ASSERT_TRUE(read_whole(default_demo(), &got));
        EXPECT_FALSE(got.damaged) << got.damage;
        EXPECT_EQ(std::count_if(got.states.begin(), got.states.end(),
                                [](const demo_entry& e) { return e.tic == 0; }),
                  40);
    }
    ASSERT_FALSE(files[0].empty());
    EXPECT_TRUE(files[0] == files[1]) << "the recordings differ";
}
} // namespace
