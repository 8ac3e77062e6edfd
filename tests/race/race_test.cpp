// Races on the generated tracks: the lineup, the grid, the start gate, a scripted race from the
// gate drop to "@results.txt", the rules a server sets, and time trials.
#include "race_world.h"

#include "common/message.h"
#include "common/ripemd160.h"
#include "forge_practice.h"
#include "race/race_grid.h"
#include "race/race_results.h"
#include "race/robot_list.h"
#include "terrain/terrain.h"

#include <cmath>
#include <cstring>
#include <set>
#include <string>

namespace {
TEST_F(race_world, LineupCodesFillTheSlots) {
    ASSERT_TRUE(start("practice",
                      {lineup_local, lineup_robot, lineup_demo, lineup_robot_125, lineup_robot_250,
                       lineup_robot_number + 42, lineup_local, 77, lineup_network}));
    EXPECT_EQ(race_slot(0).kind, rider_local);
    EXPECT_STREQ(race_slot(0).bike_name, "yz250f(2017)");
    EXPECT_STREQ(race_slot(0).number, "999");
    EXPECT_STREQ(race_slot(0).name, "Joe Motocross");
    for (int slot : {1, 3, 4, 5, 7}) {
        EXPECT_EQ(race_slot(slot).kind, rider_robot) << slot;
        EXPECT_STREQ(race_slot(slot).name, "Roborider") << slot;
        EXPECT_GE(race_slot(slot).bike, 0) << slot;
    }
    EXPECT_NE(std::strstr(race_slot(3).bike_name, "125"), nullptr);
    EXPECT_NE(std::strstr(race_slot(4).bike_name, "250"), nullptr);
    EXPECT_STREQ(race_slot(5).number, "42");
    EXPECT_STREQ(race_slot(5).bike_name, robot_at(robot_with_number(42)).bike);
    EXPECT_STREQ(race_slot(7).bike_name, "rm125");
    // Only the first local code counts; demo and network places stay empty offline.
    for (int slot : {2, 6, 8}) EXPECT_LT(race_slot(slot).bike, 0) << slot;
    std::set<int> robots;
    for (int slot : {1, 3, 4, 5}) robots.insert(race_slot(slot).robot);
    EXPECT_EQ(robots.size(), 4u) << "each robot rides once";
    EXPECT_EQ(running_order_count(), 6);
    // Local and robot bikes are simulated.
    EXPECT_GT(bike_activity(race_slot(0).bike), 0.25f);
    EXPECT_GT(bike_activity(race_slot(1).bike), 0.25f);
}

TEST_F(race_world, TheSameClockAtTheResetGivesTheSameShuffleAndDrop) {
    // The first reset seeds from whatever clock an earlier race left and sets it to 0.
    ASSERT_TRUE(start("practice", {lineup_robot, lineup_robot, lineup_robot}));
    ASSERT_TRUE(start("practice", {lineup_robot, lineup_robot, lineup_robot}));
    // Restarting from the same clock reading draws the same riders and the same drop.
    std::string first[3];
    for (int i = 0; i < 3; i++) first[i] = race_slot(i).number;
    int drop = race_gate_drop_tic();
    EXPECT_GE(drop, 13 * 128);
    EXPECT_LE(drop, 15 * 128);
    ASSERT_TRUE(start("practice", {lineup_robot, lineup_robot, lineup_robot}));
    for (int i = 0; i < 3; i++) EXPECT_EQ(race_slot(i).number, first[i]);
    EXPECT_EQ(race_gate_drop_tic(), drop);
    // A different clock at the reset shuffles differently.
    for (int t = 0; t < 5; t++) race_world_tic();
    ASSERT_TRUE(start("practice", {lineup_robot, lineup_robot, lineup_robot}));
    bool same = race_gate_drop_tic() == drop;
    for (int i = 0; i < 3; i++) same = same && race_slot(i).number == first[i];
    EXPECT_FALSE(same);
}

TEST_F(race_world, TheGridStandsEveryBikeClearOfTheGroundAndEachOther) {
    std::initializer_list<int> forty = {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
                                        2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1};
    ASSERT_TRUE(start("rabbithill", forty));
    for (int slot = 0; slot < 40; slot++) {
        int bike = race_slot(slot).bike;
        ASSERT_GE(bike, 0);
        float x, z, heading;
        grid_position(slot, ground().field.extent, &x, &z, &heading);
        vec3d wheel = bike_body_position(bike, body_rear_wheel);
        vec3d origin = placed_at(slot);
        // Behind its start slot, facing the slot's heading: towards its gate piece.
        vec3d forward = bike_forward(bike);
        const start_slot& s = start_slot_at(slot % start_slot_count());
        double to_piece = std::atan2(s.piece_x - x, s.piece_z - z);
        EXPECT_NEAR(std::atan2(forward.x, forward.z), to_piece, 1e-3) << slot;
        EXPECT_NEAR(origin.x, x, 0.01);
        EXPECT_NEAR(origin.z, z, 0.01);
        // Standing on the ground: the tyre no more than one raising step above it.
        float ground_y = ground_height_at(static_cast<float>(wheel.x), static_cast<float>(wheel.z));
        float tyre_bottom = static_cast<float>(wheel.y) - bike_info_of(bike).rear_rim_radius -
                            bike_info_of(bike).rear_tyre_radius;
        EXPECT_GT(tyre_bottom, ground_y - 0.3f) << slot;
        EXPECT_LT(tyre_bottom, ground_y + 0.6f) << slot;
    }
    // Nobody starts inside another bike: the first steps bring no bike-to-bike contact.
    int bikes[40];
    for (int i = 0; i < 40; i++) bikes[i] = race_slot(i).bike;
    int overlapping = 0;
    for (int i = 0; i < 40; i++)
        for (int j = i + 1; j < 40; j++) overlapping += bikes_overlap(bikes[i], bikes[j]);
    EXPECT_EQ(overlapping, 0);
}

TEST_F(race_world, TheStartGateFallsAfterTheDropUnlessABikeLiesUnderIt) {
    ASSERT_TRUE(start("practice", {lineup_local}));
    ASSERT_GT(start_slot_count(), 1);
    while (race_clock() <= race_gate_drop_tic()) {
        race_world_tic();
        ASSERT_EQ(race_gate_piece_raised(0), 1.0f);
    }
    // The local bike is moved to lie where piece 1 comes down.
    const start_slot& s = start_slot_at(1);
    const vec3d under = {s.piece_x - 1.5 * std::sin(s.heading), frame_of(0).y,
                         s.piece_z - 1.5 * std::cos(s.heading)};
    float previous = 1;
    for (int t = 0; t < 64; t++) {
        race_gate_piece_touched(1, race_clock());
        race_gate_piece_touched(2, race_clock());
        bike_translate(race_slot(0).bike, under - frame_of(0));
        race_world_tic();
        float now = race_gate_piece_raised(0);
        EXPECT_LE(now, previous);
        previous = now;
    }
    // Down within half a second: the fall speeds up at 32 per second squared to at most 8 per
    // second.
    EXPECT_EQ(race_gate_piece_raised(0), 0.0f);
    EXPECT_EQ(race_gate_piece_raised(1), 1.0f);
    // A touch with no bike under the piece holds nothing.
    EXPECT_EQ(race_gate_piece_raised(2), 0.0f);
}

// Riders wait with the front wheel against the steel and the revs up; the piece must swing away
// from that wheel at the drop, not stay held up by it.
TEST_F(race_world, ABikeWaitingAgainstItsPieceGetsAwayAtTheDrop) {
    ASSERT_TRUE(start("rabbithill", {lineup_robot, lineup_robot, lineup_local}, 1));
    const int piece = 2 % start_slot_count();
    const vec3d placed = frame_of(2);
    rider_input creep;
    creep.throttle = 0.3f;
    creep.clutch = 0.35f;
    while (race_clock() <= race_gate_drop_tic()) {
        rider_input_set(2, creep);
        race_world_tic();
    }
    const vec3d at_drop = frame_of(2);
    EXPECT_GT(distance(at_drop, placed), 1.0) << "the bike crept up to its piece";
    EXPECT_EQ(race_gate_piece_raised(piece), 1.0f);
    rider_input go;
    go.throttle = 1;
    go.clutch = 1;
    for (int t = 0; t < 5 * k_tics_per_second; t++) {
        rider_input_set(2, go);
        race_world_tic();
    }
    EXPECT_EQ(race_gate_piece_raised(piece), 0.0f);
    EXPECT_GT(distance(frame_of(2), at_drop), 40.0) << "away from the gate in 5 s";
}

TEST_F(race_world, KnockoutCommandsRepeatTheValueBeforeAMissingOne) {
    EXPECT_TRUE(race_server_command("knockout 100 x 300 9999999"));
    const int* table = race_knockout_table();
    EXPECT_EQ(table[0], 100);
    EXPECT_EQ(table[1], 100);
    EXPECT_EQ(table[2], 300);
    EXPECT_EQ(table[3], 460800);
    EXPECT_EQ(table[15], 460800);
    EXPECT_TRUE(race_server_command("knockout"));
    EXPECT_EQ(table[0], 0);
    EXPECT_TRUE(race_server_command("off_course_scale 2.5"));
    EXPECT_FALSE(race_server_command("knockouts 5"));
    EXPECT_FALSE(race_server_command("off_course_bias"));
    EXPECT_TRUE(race_server_command("off_course_bias 10"));
    EXPECT_TRUE(race_server_command("off_course_scale 1.5"));
}

// Two riders timed by hand on the practice circle: the leader sets the reference.
TEST_F(race_world, OffCourseAgainstTheFastestRiderAhead) {
    ASSERT_TRUE(start("practice", {lineup_local, lineup_robot}));
    int drop = race_gate_drop_tic();
    auto cross = [](int slot, int k, int tic) {
        timing_set_crossing(slot, k, tic);
        timing_set_position(slot, std::max(timing_of(slot).position, k + 1));
    };
    // The leader: crossings 0..4, 2 s apart.
    for (int k = 0; k <= 4; k++) cross(1, k, drop + 256 * (k + 1));
    // Segment 3 of the reference takes 2 s: off course from 1.5 * 2 + 10 = 13 s.
    cross(0, 0, drop + 300);
    cross(0, 1, drop + 600);
    cross(0, 2, drop + 900);
    cross(0, 3, drop + 900 + 13 * 128 - 1);
    running_order_update();
    EXPECT_FALSE(race_off_course(0, 3));
    timing_set_crossing(0, 3, drop + 900 + 13 * 128);
    EXPECT_TRUE(race_off_course(0, 3));
    // A missed gate stretches the segment back to the last one made.
    timing_set_crossing(0, 2, -1);
    timing_set_crossing(0, 3, drop + 600 + 13 * 128 - 1);
    EXPECT_FALSE(race_off_course(0, 3));
    // Nobody ahead who rode the segment: never off course.
    EXPECT_FALSE(race_off_course(1, 4));
    EXPECT_FALSE(race_off_course(0, 0));
}

TEST_F(race_world, OnlineALocalRiderLeavingBeforeTheDropIsHeldFifteenSecondsPastIt) {
    const int lineup[] = {lineup_local};
    race_lineup_set(lineup, 1);
    race_start_params p;
    p.track = "practice";
    p.online = true;
    ASSERT_TRUE(race_start(p));
    messages_clear();
    for (int t = 0; t < 200; t++) race_world_tic();
    EXPECT_EQ(race_false_start_hold(), 0);
    int bike = race_slot(0).bike;
    bike_translate(bike, {3.1, 0, 0});
    race_world_tic();
    EXPECT_EQ(race_false_start_hold(), race_gate_drop_tic() + 15 * 128 - race_clock());
    EXPECT_NE(message_recent(0).find("15 second false start penalty"), std::string::npos);
    vec3d held = frame_of(0);
    rider_input go;
    go.throttle = 1;
    rider_input_set(0, go);
    while (race_clock() < race_gate_drop_tic() + 15 * 128 - 2) race_world_tic();
    EXPECT_LT(distance(frame_of(0), held), 0.5);
    EXPECT_GE(race_false_start_hold(), 1);
    for (int t = 0; t < 3; t++) race_world_tic();
    EXPECT_EQ(race_false_start_hold(), 0);
}

TEST_F(race_run, AScriptedRiderRacesTwoLapsToTheResults) {
    ASSERT_TRUE(start("practice", {lineup_local}, 2));
    int drop = race_gate_drop_tic();
    ASSERT_GE(drop, 13 * 128);
    ASSERT_LE(drop, 15 * 128);
    int bike = race_slot(0).bike;
    vec3d at_gate = frame_of(0);
    // Held at the gate until it drops.
    while (race_clock() < drop) {
        rider_input_set(0, circle_rider(bike, race_clock() - drop, true));
        race_world_tic();
    }
    EXPECT_LT(distance(frame_of(0), at_gate), 0.5);
    EXPECT_EQ(timing_of(0).position, 0);
    ride_circle(128 * 120);
    ASSERT_TRUE(race_results_done());
    const rider_timing& t = timing_of(0);
    // Every gate of both laps crossed in order, none missed.
    int laps_crossings = first_lap_length() + normal_lap_length();
    ASSERT_EQ(t.position, laps_crossings);
    for (int k = 1; k < laps_crossings; k++)
        EXPECT_GT(t.crossing_tics[k], t.crossing_tics[k - 1]) << k;
    EXPECT_GT(t.crossing_tics[0], drop);
    EXPECT_TRUE(rider_finished(0));
    EXPECT_EQ(laps_completed(0), 2);
    // Lap times to the tic: lap 1 from the drop, lap 2 between the finish crossings.
    int lap1 = t.crossing_tics[first_lap_length() - 1] - drop;
    int lap2 = t.crossing_tics[laps_crossings - 1] - t.crossing_tics[first_lap_length() - 1];
    EXPECT_FLOAT_EQ(lap_time(0, 1), static_cast<float>(lap1 * k_tic_length));
    EXPECT_FLOAT_EQ(lap_time(0, 2), static_cast<float>(lap2 * k_tic_length));
    // About 820 ft a lap at 25 mph.
    EXPECT_GT(lap2, 15 * 128);
    EXPECT_LT(lap2, 35 * 128);

    std::string text = results_file();
    ASSERT_FALSE(text.empty());
    // The track by its folder, as demos, series and the race server name it.
    ASSERT_STREQ(track_display_name(), "Practice Area");
    EXPECT_EQ(text.rfind("Time=0.00|Laps=2|Track=practice|Date=1700000000\r\n", 0), 0u) << text;
    char row[128];
    int total = t.crossing_tics[laps_crossings - 1] - drop;
    std::snprintf(row, sizeof row,
                  " 999 | yz250f(2017) |    2 | %3d:%02d.%03d |    2 | %3d:%02d.%03d\r\n",
                  total / 128 / 60, total / 128 % 60, total % 128 * 1000 / 128, lap2 / 128 / 60,
                  lap2 / 128 % 60, lap2 % 128 * 1000 / 128);
    EXPECT_NE(text.find(row), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n" + std::to_string(laps_crossings) + "\r\n"), std::string::npos);
}

TEST_F(race_run, TheWholeRaceRunTwiceGivesTheSameResultsAndState) {
    std::string files[2], digests[2];
    for (int run = 0; run < 2; run++) {
        // The clock at the reset seeds the shuffle: a first reset makes it the same for both runs.
        ASSERT_TRUE(start("practice", {lineup_local}, 1));
        ASSERT_TRUE(start("practice", {lineup_local}, 1));
        int bike = race_slot(0).bike;
        while (race_clock() < race_gate_drop_tic()) {
            rider_input_set(0, circle_rider(bike, race_clock() - race_gate_drop_tic(),
                                            timing_of(0).position == 0));
            race_world_tic();
        }
        ride_circle(128 * 60);
        ASSERT_TRUE(race_results_done());
        files[run] = results_file();
        digests[run] = state_digest();
        fs::remove(home / "results.txt");
    }
    EXPECT_EQ(files[0], files[1]);
    EXPECT_EQ(digests[0], digests[1]);
}

TEST_F(race_run, ATimeTrialTimesEachLapFromTheFinishAndRestartsOnBackingUp) {
    race_start_params p;
    p.track = "practice";
    p.time_trial = true;
    ASSERT_TRUE(race_start(p));
    EXPECT_EQ(race_clock(), 300 * 128);
    int first = first_lap_length(), normal = normal_lap_length();
    int bike = race_slot(0).bike;
    ASSERT_GE(bike, 0);
    // Standing three crossings before the end of the first lap, facing along that gate.
    const timing_gate& g = gate_at(gate_at_position(first - 3));
    vec3d start_at = placed_at(0);
    EXPECT_LT(std::hypot(start_at.x - g.centre[0], start_at.z - g.centre[2]), 0.01);
    EXPECT_EQ(timing_of(0).position, first - 3);

    int laps_seen = 0;
    for (int t = 0; t < 128 * 60 && time_trial_last_lap_tics() == 0; t++) {
        rider_input_set(0, circle_rider(bike, 1000 + t, false));
        race_world_tic();
        laps_seen = std::max(laps_seen, laps_completed(0));
    }
    int lap = time_trial_last_lap_tics();
    EXPECT_GT(lap, 15 * 128);
    EXPECT_LT(lap, 35 * 128);
    EXPECT_EQ(time_trial_best_lap_tics(), lap);
    // The lap's crossings were taken back to the finish, which the rider has just crossed again.
    EXPECT_LE(timing_of(0).position, first);
    for (int t = 0; t < 4; t++) {
        rider_input_set(0, circle_rider(bike, 100000, false));
        race_world_tic();
    }
    EXPECT_EQ(timing_of(0).position, first);

    // Backing up puts the rider back at the start of the attempt.
    rider_input back;
    back.back_up = 1;
    rider_input_set(0, back);
    race_world_tic();
    EXPECT_LT(std::hypot(placed_at(0).x - g.centre[0], placed_at(0).z - g.centre[2]), 0.01);
    EXPECT_EQ(timing_of(0).position, first - 3);
    (void)normal;
}
} // namespace

namespace {
// A bike lifted through a gate by hand, front wheel first, as if ridden there.
void carry_through_gate(int slot, int gate) {
    int bike = race_slot(slot).bike;
    const timing_gate& g = gate_at(gate);
    vec3d wheel = bike_body_position(bike, body_front_wheel);
    bike_translate(
        bike, {g.centre[0] + g.direction[0] - wheel.x, 0, g.centre[2] + g.direction[2] - wheel.z});
}

TEST_F(race_run, TheRunningOrderFollowsTheCrossingsOfSeveralRiders) {
    ASSERT_TRUE(start("practice", {lineup_local, lineup_robot, lineup_robot}, 2));
    int bike = race_slot(0).bike;
    while (race_clock() < race_gate_drop_tic()) {
        rider_input_set(0, circle_rider(bike, race_clock() - race_gate_drop_tic(), true));
        race_world_tic();
    }
    // Slot 2 is carried through the first two gates at once; slot 1 stays on the grid.
    carry_through_gate(2, lap_entry_gate(lap_entry(0)));
    race_world_tic();
    carry_through_gate(2, lap_entry_gate(lap_entry(1)));
    race_world_tic();
    ASSERT_EQ(timing_of(2).position, 2);
    EXPECT_EQ(running_order_at(0).slot, 2);
    // Then parked in the middle of the circle, out of the scripted rider's way.
    vec3d parked = frame_of(2);
    bike_translate(race_slot(2).bike,
                   {k_practice_circle_x - parked.x, 0, k_practice_circle_z - parked.z});
    // The scripted rider rides on past both and leads once it has made more crossings.
    for (int t = 0; t < 128 * 40 && timing_of(0).position < 4; t++) {
        rider_input_set(
            0, circle_rider(bike, race_clock() - race_gate_drop_tic(), timing_of(0).position == 0));
        race_world_tic();
    }
    ASSERT_EQ(timing_of(0).position, 4);
    EXPECT_EQ(running_order_at(0).slot, 0);
    EXPECT_EQ(running_order_at(1).slot, 2);
    EXPECT_EQ(running_order_at(2).slot, 1);
    EXPECT_EQ(running_order_at(2).position, 0);
    // A robot that has not finished keeps the race open.
    EXPECT_FALSE(race_results_done());
}

// "%d minutes + %d laps": the time runs out during the first lap, so one more lap is ridden.
TEST_F(race_run, ATimedRaceEndsTheExtraLapsAfterTheTimeRunsOut) {
    ASSERT_TRUE(start("practice", {lineup_local}, 1, 20 * 128));
    ride_circle(128 * 120);
    ASSERT_TRUE(race_results_done());
    EXPECT_EQ(race_laps(), 2);
    EXPECT_EQ(laps_completed(0), 2);
    EXPECT_LT(timing_of(0).crossing_tics[first_lap_length() - 1] - race_gate_drop_tic(), 60 * 128);
    EXPECT_GT(timing_of(0).crossing_tics[first_lap_length() - 1] - race_gate_drop_tic(), 20 * 128);
    EXPECT_EQ(results_file().rfind("Time=20.00|Laps=1|Track=practice|", 0), 0u);
}
} // namespace

namespace {
// Online, as a race server keeps it: two remote riders, one finished. The other holds the race
// open while it is heard from, however far behind the clock its states are, and a second of
// silence lets the race end without it.
TEST_F(race_world, OnlineARemoteRiderHoldsTheRaceOpenOnlyWhileItIsHeardFrom) {
    race_clear_slots();
    race_start_params p;
    p.track = "practice";
    p.online = true;
    p.laps = 1;
    ASSERT_TRUE(race_start(p));
    for (int slot = 0; slot < 2; slot++) {
        race_slot_set(slot, rider_remote, race_slot(slot).bike);
        timing_set_occupied(slot, true);
    }
    running_order_update();
    const int drop = race_gate_drop_tic();
    while (race_clock() < drop + 30 * 128) {
        race_rider_heard(1);
        race_world_tic();
    }
    // The leader finishes; the other's last state is three seconds old but it still talks.
    for (int k = 0; k < first_lap_length(); k++) race_set_crossing(0, k, drop + 100 * (k + 1));
    history_add(1, compact_state{}, race_clock() - 3 * 128);
    for (int t = 0; t < 5 * 128; t++) {
        race_rider_heard(1);
        race_world_tic();
    }
    EXPECT_TRUE(rider_finished(0));
    EXPECT_FALSE(race_results_done()) << "a rider still heard from was left out";
    // The order is looked at again every 512 tics online.
    for (int t = 0; t < 512 + 128 + 2; t++) race_world_tic();
    EXPECT_TRUE(race_results_done()) << "a silent rider kept the race open";
}

// Online: a remote rider recorded standing half a foot from the local bike.
TEST_F(race_world, OnlineARemoteBikeTheLocalOneTouchesIsSimulatedForAWhile) {
    const int lineup[] = {lineup_local};
    race_lineup_set(lineup, 1);
    race_start_params p;
    p.track = "practice";
    p.online = true;
    ASSERT_TRUE(race_start(p));
    int local = race_slot(0).bike;
    int remote = bike_create("cr125", 1, "5", "", "", "", "");
    race_slot_set(1, rider_remote, remote);
    bike_deactivate(remote);
    // The recording: the local bike's own pose moved half a foot to its side.
    int ghost = bike_create("cr125", 2, "6", "", "", "", "");
    vec3d at = bike_frame_position(local);
    race_place_bike(ghost, static_cast<float>(at.x), static_cast<float>(at.z + 0.5), -1.5707963f,
                    nullptr, 0);
    compact_state recorded = compact_state_encode(ghost);
    bike_destroy(ghost);
    for (int t = 0; t < 64; t += 4) history_add(1, recorded, t);

    EXPECT_FALSE(bike_simulated(remote));
    race_world_tic();
    EXPECT_GT(bike_activity(remote), 0.9f);
    EXPECT_TRUE(bike_simulated(remote));
    // Simulated for at most three quarters of a second, then frozen again.
    for (int t = 0; t < 100; t++) race_world_tic();
    EXPECT_LE(bike_activity(remote), 0.25f);
    EXPECT_FALSE(bike_simulated(remote));
}
} // namespace

#include "race/scripted_rider.h"

namespace {
// The default track: the local rider follows the gates from the grid through a one-lap race.
TEST_F(race_run, ARiderFollowingTheGatesRacesALapOfRabbitHill) {
    ASSERT_TRUE(start("rabbithill", {lineup_local}, 1));
    int bike = race_slot(0).bike;
    gate_follower f;
    gate_follower_reset(f);
    rider_input wait;
    wait.clutch = 0;
    while (race_clock() < race_gate_drop_tic()) {
        rider_input_set(0, wait);
        race_world_tic();
    }
    for (int t = 0; t < 128 * 300 && !race_results_done(); t++) {
        rider_input_set(0, gate_follower_input(f, bike));
        race_world_tic();
        ASSERT_FALSE(knocked_off(bike)) << "at crossing " << timing_of(0).position;
    }
    ASSERT_TRUE(race_results_done());
    const rider_timing& t = timing_of(0);
    ASSERT_EQ(t.position, first_lap_length());
    for (int k = 1; k < t.position; k++) EXPECT_GT(t.crossing_tics[k], t.crossing_tics[k - 1]) << k;
    EXPECT_FLOAT_EQ(lap_time(0, 1),
                    static_cast<float>((t.crossing_tics[t.position - 1] - race_gate_drop_tic()) *
                                       k_tic_length));
    EXPECT_EQ(results_file().rfind("Time=0.00|Laps=1|Track=rabbithill|", 0), 0u);
}
} // namespace

#include "race/robot_list.h"
#include "resources/resources.h"

#include <algorithm>

namespace {
// Races that load their bikes' models and textures through the game's caches.
class race_resources : public race_world {
  protected:
    void SetUp() override {
        race_world::SetUp();
        textures_free();
        models_free();
        bike_set_resource_loader(&k_bike_loader_caches);
    }
    void TearDown() override {
        race_world::TearDown();
        bike_set_resource_loader(&k_bike_loader_null);
        textures_free();
        models_free();
        set_debug_level(0);
    }
    // Everything the caches hold, textures then models, each list sorted.
    static std::vector<std::string> cached() {
        std::vector<std::string> textures = texture_cached_names(), models = model_cached_names();
        std::sort(textures.begin(), textures.end());
        std::sort(models.begin(), models.end());
        textures.push_back("-- models --");
        textures.insert(textures.end(), models.begin(), models.end());
        return textures;
    }
};

TEST_F(race_resources, ChangingTrackKeepsOnlyWhatTheNewTrackUses) {
    // Track A with the local rider's bike, track B with a robot on another bike.
    const int robot_code = lineup_robot_number + 42;
    ASSERT_STRNE(robot_at(robot_with_number(42)).bike, "yz250f(2017)");
    ASSERT_TRUE(start("practice", {lineup_local}));
    const std::vector<std::string> a = cached();
    ASSERT_TRUE(start("rabbithill", {robot_code}));
    const std::vector<std::string> b = cached();
    std::vector<std::string> b_only;
    std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(b_only));
    ASSERT_FALSE(b_only.empty()) << "track B uses something track A does not";
    EXPECT_NE(std::find(b_only.begin(), b_only.end(), "@rabbithill/map.png"), b_only.end());

    set_debug_level(1);
    messages_clear();
    ASSERT_TRUE(start("practice", {lineup_local}));
    EXPECT_EQ(cached(), a) << "back on A, the caches hold what A uses and nothing of B's";
    EXPECT_EQ(message_recent(0),
              std::to_string(texture_memory() >> 20) + " MB texture memory used");
    // Back and forth: the caches never grow.
    for (int round = 0; round < 2; round++) {
        ASSERT_TRUE(start("rabbithill", {robot_code}));
        EXPECT_EQ(cached(), b) << round;
        ASSERT_TRUE(start("practice", {lineup_local}));
        EXPECT_EQ(cached(), a) << round;
    }
    const std::string log = log_text();
    EXPECT_NE(log.find("] Resetting\n"), std::string::npos);
    EXPECT_NE(log.find("(@rabbithill/map.png)\n"), std::string::npos) << "deleting tid ...";
    EXPECT_NE(log.find("deleting model @"), std::string::npos);
}
} // namespace

// The leader is home; the player lies in a field and crosses nothing more. A minute later the
// race is over with final results, instead of waiting for the player for ever.
TEST_F(race_world, AStrandedRiderDoesNotHoldTheRaceOpenForEver) {
    ASSERT_TRUE(start("practice", {lineup_robot, lineup_local}, 1));
    while (race_clock() <= race_gate_drop_tic()) race_world_tic();
    // The robot's lap, crossed by hand at the gates' centres.
    for (int c = 0; c < first_lap_length(); c++) {
        const timing_gate& g = gate_at(gate_at_position(c));
        ASSERT_TRUE(gate_crossing_check(0, g.centre[0] + 0.5f * g.direction[0],
                                        g.centre[2] + 0.5f * g.direction[2], race_clock()));
        race_world_tic();
    }
    ASSERT_TRUE(rider_finished(0));
    ASSERT_FALSE(rider_finished(1));
    const int leader_home = race_clock();
    while (race_clock() < leader_home + 50 * k_tics_per_second) race_world_tic();
    EXPECT_FALSE(race_results_done()) << "a rider still gets time to come home";
    while (race_clock() < leader_home + 70 * k_tics_per_second) race_world_tic();
    EXPECT_TRUE(race_results_done());
    ASSERT_EQ(race_final_results().size(), 2u);
    EXPECT_EQ(race_final_results()[0].slot, 0);
}
