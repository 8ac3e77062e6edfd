// Races recorded and played back on the practice track: every demo rider posed as recorded,
// recordings that repeat byte for byte, older formats, racing against a demo, seeking, and the
// time trial's ghost.
#include "demo_world.h"

#include "forge_practice.h"

#include <fstream>

namespace {
// Plays the race's demo and checks each rider's pose at every recorded tic.
TEST_F(demo_world, EveryDemoRiderIsPosedAsRecordedAtEachRecordedTic) {
    const recorded_race& rec = the_recorded_race();
    write(default_demo(), rec.demo);
    ASSERT_TRUE(demo_play_race(k_demo_default_file, {}));
    ASSERT_TRUE(demo_playing());
    EXPECT_FALSE(demo_recording()) << "Playback Only records nothing";
    EXPECT_EQ(race_gate_drop_tic(), rec.gate_drop) << "the demo's gate drop";
    for (int slot = 0; slot < k_recorded_riders; slot++) {
        ASSERT_GE(race_slot(slot).bike, 0);
        EXPECT_EQ(race_slot(slot).kind, rider_remote);
        EXPECT_FALSE(bike_simulated(race_slot(slot).bike));
    }
    EXPECT_STREQ(race_slot(0).name, "Joe Motocross");
    EXPECT_STREQ(race_slot(1).name, "Roborider");
    EXPECT_LT(race_slot(3).bike, 0) << "three riders were recorded";
    int compared = 0;
    while (race_clock() < rec.end_tic) {
        int tic = race_clock();
        race_world_tic();
        if (tic % 4 != 0) continue;
        // The tic just run posed every demo rider for `tic`; nothing moved them since.
        for (int slot = 0; slot < k_recorded_riders; slot++) {
            compact_state posed = compact_state_encode(race_slot(slot).bike);
            ASSERT_TRUE(same_pose(posed, rec.states[slot].at(tic), rec.ranges[slot]))
                << "slot " << slot << " at tic " << tic;
            compared++;
        }
    }
    EXPECT_EQ(compared, k_recorded_riders * ((rec.end_tic + 3) / 4));
    // The riders really rode: the first one went round the circle's first gates.
    vec3d start = rec.frames[0].at(0), end = rec.frames[0].at(rec.end_tic - 4);
    EXPECT_GT(std::hypot(end.x - start.x, end.z - start.z), 60.0);
}

TEST_F(demo_world, TheSameRaceRecordedTwiceGivesTheSameFile) {
    const recorded_race& first = the_recorded_race();
    recorded_race again;
    ride_and_record(again, k_recorded_seconds);
    ASSERT_GT(first.demo.size(), 1000u);
    EXPECT_EQ(again.demo.size(), first.demo.size());
    EXPECT_TRUE(again.demo == first.demo);
}

// A file in an older format, written here record by record from the recorded race.
std::string old_demo(const recorded_race& rec, int version) {
    std::string out = "QV0" + std::to_string(version) + " 3 0 1 " + std::to_string(rec.gate_drop) +
                      "\npractice\n";
    for (int rider = 0; rider < k_recorded_riders; rider++)
        out += "yz250f(2017)|||\n" + std::to_string(10 + rider) + "\nan older line\n\n";
    for (int tic = 0; tic < rec.end_tic; tic++) {
        for (int rider = 0; rider < k_recorded_riders; rider++) {
            const compact_state& s = rec.states[rider].at(tic);
            if (version == 5) {
                out.append(reinterpret_cast<const char*>(s.bytes), k_compact_state_size);
                continue;
            }
            // Version 4: the frame and suspension, the rider halfway along its axis, the rest.
            out.append(reinterpret_cast<const char*>(s.bytes), 20);
            out += static_cast<char>(128);
            out.append(reinterpret_cast<const char*>(s.bytes) + 34, 5);
        }
    }
    return out;
}

TEST_F(demo_world, VersionFiveAndFourFilesPlayRecordByRecord) {
    const recorded_race& rec = the_recorded_race();
    for (int version : {5, 4}) {
        SCOPED_TRACE(version);
        std::string path = (home / "demos" / "old.qvdemo").string();
        write(path, old_demo(rec, version));
        ASSERT_TRUE(demo_play_race(path.c_str(), {}));
        ASSERT_EQ(demo_playing_version(), version);
        EXPECT_STREQ(race_slot(2).number, "12");
        EXPECT_STREQ(race_slot(2).name, "") << "older files name no rider";
        int checked = 0;
        for (int t = 0; t < 600; t++) {
            int tic = race_clock();
            race_world_tic();
            if (tic < 1) continue; // the first record is read once the race is under way
            for (int slot = 0; slot < k_recorded_riders; slot++) {
                int bike = race_slot(slot).bike;
                compact_state posed = compact_state_encode(bike);
                compact_state wanted = rec.states[slot].at(tic);
                if (version == 4) {
                    // No rider of its own: it sits on the frame, turned with it.
                    std::memcpy(posed.bytes + 20, wanted.bytes + 20, 14);
                    compact_fields f =
                        compact_state_unpack(compact_state_encode(bike), rec.ranges[slot]);
                    for (int i = 0; i < 4; i++)
                        ASSERT_NEAR(f.rider_quaternion[i], f.frame_quaternion[i], 4.0 / 65535);
                }
                ASSERT_TRUE(same_pose(posed, wanted, rec.ranges[slot]))
                    << "slot " << slot << " at tic " << tic;
                checked++;
            }
        }
        EXPECT_GT(checked, 1000);
    }
}

TEST_F(demo_world, RacingAgainstADemoPutsTheLocalRiderAmongItsRiders) {
    const recorded_race& rec = a_short_recording();
    write(default_demo(), rec.demo);
    ASSERT_TRUE(race_against(k_demo_default_file, 1, true));
    EXPECT_EQ(race_slot(1).kind, rider_local);
    EXPECT_STREQ(race_slot(1).name, "Joe Motocross");
    for (int slot : {0, 2, 3}) EXPECT_EQ(race_slot(slot).kind, rider_remote) << slot;
    EXPECT_LT(race_slot(4).bike, 0);
    // Recording over the file being played would destroy it.
    EXPECT_FALSE(demo_recording());
    EXPECT_TRUE(shown("Can't record and play from same file - recording disabled"));

    // From another file the race is recorded, and only the rider simulated here goes in it.
    std::string path = (home / "demos" / "rival.qvdemo").string();
    write(path, rec.demo);
    ASSERT_TRUE(race_against(path, 1, true));
    ASSERT_TRUE(demo_recording());
    gate_follower followers[2];
    gate_follower_reset(followers[1]);
    for (int t = 0; t < 200; t++) ride_tic(followers, 2);
    ASSERT_TRUE(start_recorded({}, 1, false));
    demo_header h;
    read_back got;
    ASSERT_TRUE(read_whole(default_demo(), &got, &h));
    ASSERT_EQ(h.riders.size(), 1u);
    EXPECT_EQ(h.riders[0].name, "Joe Motocross");
    EXPECT_EQ(h.gate_drop_tic, rec.gate_drop) << "the rival's gate drop";
    EXPECT_FALSE(got.damaged);
}

TEST_F(demo_world, ADemoRiderWhoseRecordingEndsStaysButNoLongerHoldsTheRaceOpen) {
    // The demo's riders stand on the grid for two seconds of a one-lap race.
    const recorded_race& rec = a_short_recording();
    write(default_demo(), rec.demo);
    std::string path = (home / "demos" / "short.qvdemo").string();
    write(path, rec.demo);
    ASSERT_TRUE(race_against(path, 3));
    ASSERT_EQ(race_slot(3).kind, rider_local);
    gate_follower followers[4];
    gate_follower_reset(followers[3]);
    int last_state = history_newest_tic(0);
    while (!race_results_done() && race_clock() < rec.gate_drop + 90 * k_tics_per_second) {
        ride_tic(followers, 4);
        last_state = std::max(last_state, history_newest_tic(0));
    }
    ASSERT_TRUE(race_results_done()) << "the local rider finished, the demo riders ran out";
    EXPECT_TRUE(rider_finished(3));
    EXPECT_GT(race_clock() - last_state, 10 * k_tics_per_second);
    EXPECT_LE(last_state, rec.end_tic);
    // The demo riders are still on the track, standing half a second on from their last state
    // along their last step.
    for (int slot = 0; slot < 3; slot++) EXPECT_GE(race_slot(slot).bike, 0);
    int end = rec.end_tic - rec.end_tic % 4;
    vec3d at = frame_of(0), last = rec.frames[0].at(end), before = rec.frames[0].at(end - 4);
    EXPECT_NEAR(at.x, last.x + 16 * (last.x - before.x), 0.01);
    EXPECT_NEAR(at.z, last.z + 16 * (last.z - before.z), 0.01);
}

TEST_F(demo_world, SeekingMovesThePlaybackAndTakesBackLaterCrossings) {
    const recorded_race& rec = the_recorded_race();
    write(default_demo(), rec.demo);
    ASSERT_TRUE(demo_play_race(k_demo_default_file, {}));
    // Play on until the first rider has made a crossing.
    int crossed_at = -1;
    while (race_clock() < rec.end_tic - 2 * k_tics_per_second && crossed_at < 0) {
        race_world_tic();
        if (timing_of(0).position > 0) crossed_at = crossing_tic(timing_of(0), 0);
    }
    ASSERT_GE(crossed_at, 0) << "the recorded rider reached the first gate";
    while (race_clock() < crossed_at + 64) race_world_tic();
    // Back a second: before the crossing, which is taken back.
    demo_seek(-1, false);
    // One tic before the second back, then that tic run.
    EXPECT_EQ(race_clock(), crossed_at + 64 - 128);
    EXPECT_EQ(timing_of(0).position, 0);
    while (race_clock() % 4 != 1) race_world_tic();
    int tic = race_clock() - 1;
    EXPECT_TRUE(
        same_pose(compact_state_encode(race_slot(0).bike), rec.states[0].at(tic), rec.ranges[0]))
        << "posed from the blocks read again, at tic " << tic;
    // Forward a second runs every tic: the crossing is made again at its own tic.
    int before = race_clock();
    demo_seek(1, false);
    EXPECT_EQ(race_clock(), before + 128);
    EXPECT_EQ(timing_of(0).position, 1);
    EXPECT_EQ(crossing_tic(timing_of(0), 0), crossed_at);

    // Nothing moves while a rider of this machine is on the track.
    std::string path = (home / "demos" / "rival.qvdemo").string();
    write(path, rec.demo);
    ASSERT_TRUE(race_against(path, 0));
    for (int t = 0; t < 200; t++) race_world_tic();
    int clock = race_clock();
    demo_seek(-1, false);
    demo_seek(1, false);
    EXPECT_EQ(race_clock(), clock);
}

TEST_F(demo_world, AFileNamedToPlayBringsItsTrackAndRiders) {
    const recorded_race& rec = a_short_recording();
    std::string path = (root / "elsewhere" / "race.qvdemo").string();
    write(path, rec.demo);
    // Another track is loaded; the demo plays on its own, every place taking a demo rider.
    ASSERT_TRUE(start("rabbithill", {}));
    std::string track;
    ASSERT_TRUE(demo_open_playback(path.c_str(), &track));
    EXPECT_EQ(track, "practice");
    race_start_params p;
    p.playback = true;
    p.track = "rabbithill";
    ASSERT_TRUE(race_start(p));
    EXPECT_STREQ(track_current(), "practice");
    EXPECT_EQ(race_params().laps, 1) << "the recorded race's length";
    EXPECT_EQ(race_slot(0).kind, rider_remote);
    EXPECT_GE(race_slot(2).bike, 0);
    // Not a demo: no riders, and the message says why.
    std::string junk = (root / "elsewhere" / "junk.qvdemo").string();
    write(junk, "hello\n");
    EXPECT_FALSE(demo_open_playback(junk.c_str()));
    EXPECT_NE(message_recent(0).find("no demo header"), std::string::npos);
}

TEST_F(demo_world, DemoRidersFadeNearTheLocalRider) {
    const recorded_race& rec = a_short_recording();
    write(default_demo(), rec.demo);
    ASSERT_TRUE(race_against(k_demo_default_file, 3));
    race_world_tic();
    int local = race_slot(3).bike;
    EXPECT_EQ(demo_ghost_opacity(3, 10), 1.0f) << "the local rider is always drawn";
    vec3d me = bike_frame_position(local);
    for (int slot = 0; slot < 3; slot++) {
        vec3d it = bike_frame_position(race_slot(slot).bike);
        double d = std::sqrt((it.x - me.x) * (it.x - me.x) + (it.y - me.y) * (it.y - me.y) +
                             (it.z - me.z) * (it.z - me.z));
        float f = static_cast<float>(d * 1.5); // d lies between f/2 and f
        EXPECT_NEAR(demo_ghost_opacity(slot, f), (d - f / 2) / (f / 2), 1e-4);
        EXPECT_EQ(demo_ghost_opacity(slot, static_cast<float>(d * 2.5)), 0.0f);
        EXPECT_EQ(demo_ghost_opacity(slot, static_cast<float>(d * 0.9)), 1.0f);
    }
}
} // namespace

namespace {
// The time trial: the first whole lap becomes the fastest lap, which then rides along from the
// finish with the player, tic for tic, and stays the fastest when the player is slower.
TEST_F(demo_world, TheFastestLapRidesAlongAsTheGhostFromTheFinish) {
    race_start_params p;
    p.track = "practice";
    p.time_trial = true;
    ASSERT_TRUE(race_start(p));
    const fs::path fastest = home / "practice" / "fastlap.qvdemo";
    EXPECT_LT(race_slot(1).bike, 0) << "no ghost before a lap";
    int bike = race_slot(0).bike;
    gate_follower follower;
    gate_follower_reset(follower, first_lap_length() - 3);
    auto ride = [&](bool hold) {
        rider_input in = gate_follower_input(follower, bike);
        if (hold) in.throttle = 0;
        rider_input_set(0, in);
        race_world_tic();
    };
    // The first timed lap, with where the rider was at each tic of it.
    int lap_start = -1;
    std::vector<vec3d> path;
    for (int t = 0; t < 128 * 120 && time_trial_last_lap_tics() == 0; t++) {
        ride(false);
        if (lap_start < 0 && laps_completed(0) == 1) lap_start = race_clock();
        if (lap_start >= 0) path.push_back(bike_frame_position(bike));
    }
    int first_lap = time_trial_last_lap_tics();
    ASSERT_GT(first_lap, 10 * k_tics_per_second);
    ASSERT_TRUE(fs::exists(fastest)) << "the first lap is the fastest so far";
    std::string fastest_bytes = read(fastest);
    read_back lap;
    demo_header h;
    ASSERT_TRUE(read_whole(fastest.string(), &lap, &h));
    ASSERT_EQ(h.riders.size(), 1u);
    EXPECT_FALSE(lap.damaged);
    EXPECT_EQ(lap.states.front().tic, lap_start) << "the lap is recorded from the finish";
    EXPECT_GE(lap.states.back().tic, lap_start + first_lap);

    // Crossing the finish again brings the ghost, leaving with the player.
    int ghost_start = -1;
    for (int t = 0; t < 8 && ghost_start < 0; t++) {
        ride(true);
        if (race_slot(1).bike >= 0) ghost_start = race_clock();
    }
    ASSERT_GE(ghost_start, 0);
    EXPECT_EQ(race_slot(1).kind, rider_remote);
    compact_ranges r = ranges_of(1);
    int compared = 0;
    // The player holds back for five seconds, so the ghost is ahead all lap.
    for (int t = 0; t < 128 * 120 && time_trial_last_lap_tics() == first_lap; t++) {
        int tic = race_clock();
        ride(t < 5 * k_tics_per_second);
        int k = tic - ghost_start;
        // Between the lap's snapshots (every 4 tics of the clock, and its first) the ghost is
        // blended; on them it is exactly where the player was.
        if (k >= static_cast<int>(path.size()) || race_slot(1).bike < 0 ||
            (k != 0 && (lap_start + k) % 4 != 0))
            continue;
        vec3d ghost = bike_frame_position(race_slot(1).bike), was = path[k];
        ASSERT_NEAR(ghost.x, was.x, 2 * r.extent / 16777215) << "tic " << k << " of the lap";
        ASSERT_NEAR(ghost.z, was.z, 2 * r.extent / 16777215) << "tic " << k << " of the lap";
        compared++;
    }
    EXPECT_GT(compared, first_lap / 4 - 2);
    int second_lap = time_trial_last_lap_tics();
    EXPECT_GT(second_lap, first_lap + k_tics_per_second);
    // The ghost finished first: its lap stays the fastest, and counts as the best.
    EXPECT_EQ(read(fastest), fastest_bytes);
    EXPECT_LE(time_trial_best_lap_tics(), first_lap + 2);
    EXPECT_GE(time_trial_best_lap_tics(), first_lap - 2);
}
} // namespace
