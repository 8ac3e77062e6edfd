// Demos on the generated data set: a race world with recording and playback registered, and a
// race on the practice track recorded once per test program with what the simulation held.
#pragma once

#include "race/race_world.h"

#include "demo/demo.h"
#include "demo/demo_format.h"
#include "demo/demo_reader.h"
#include "race/scripted_rider.h"
#include "terrain/terrain.h"

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

constexpr int k_recorded_riders = 3;
constexpr int k_recorded_seconds = 22; // the race ridden after the gate drop
constexpr int k_short_recording = 256; // tics of a recording on the grid, before the drop

// A race of the local rider and two robots, all ridden by gate followers, and at every tic the
// snapshot, frame position and frame speed of each bike as the simulation had them.
struct recorded_race {
    std::string demo; // the file's bytes
    int gate_drop = 0;
    int end_tic = 0;
    std::map<int, compact_state> states[k_recorded_riders];
    std::map<int, vec3d> frames[k_recorded_riders];
    std::map<int, double> speeds[k_recorded_riders]; // ft/s
    compact_ranges ranges[k_recorded_riders];
};

// Reads a demo's blocks into lists, as the tool and the fuzzer see them.
struct read_back {
    std::vector<demo_entry> states;
    std::vector<std::string> messages;
    std::vector<int> erosion;
    int edits = 0;
    bool damaged = false;
    uint32_t damage_offset = 0;
    std::string damage;

    static void on_state(void* c, int rider, int tic, const compact_state& s) {
        static_cast<read_back*>(c)->states.push_back({rider, tic, s});
    }
    static void on_message(void* c, const char* text) {
        static_cast<read_back*>(c)->messages.push_back(text);
    }
    static void on_erode(void* c, int v) { static_cast<read_back*>(c)->erosion.push_back(v); }
    static void on_edit(void* c, const uint8_t*, int) { static_cast<read_back*>(c)->edits++; }
    static void on_damage(void* c, uint32_t offset, const char* what) {
        read_back& r = *static_cast<read_back*>(c);
        if (r.damaged) return;
        r.damaged = true;
        r.damage_offset = offset;
        r.damage = what;
    }
    demo_sink sink() {
        return {.context = this,
                .state = on_state,
                .message = on_message,
                .erode = on_erode,
                .terrain_edit = on_edit,
                .damage = on_damage};
    }
};

// The whole file read through the reader; false when it is no demo at all.
inline bool read_whole(const std::string& path, read_back* out, demo_header* header = nullptr) {
    demo_reader r;
    std::string error;
    if (!demo_reader_open(r, path.c_str(), &error)) return false;
    if (!r.header_damage.empty()) read_back::on_damage(out, r.header.length, "header");
    demo_reader_drain(r, out->sink());
    if (header) *header = r.header;
    demo_reader_close(r);
    return true;
}

// Two snapshots agree within the resolution of the 39 bytes (a step or two of each field).
inline ::testing::AssertionResult same_pose(const compact_state& a, const compact_state& b,
                                            const compact_ranges& r) {
    compact_fields x = compact_state_unpack(a, r), y = compact_state_unpack(b, r);
    auto quaternion_gap = [](const float* p, const float* q) {
        double same = 0, opposite = 0;
        for (int i = 0; i < 4; i++) {
            same = std::max(same, std::fabs(double(p[i]) - q[i]));
            opposite = std::max(opposite, std::fabs(double(p[i]) + q[i]));
        }
        return std::min(same, opposite);
    };
    auto turn_gap = [](double u, double v) {
        double d = std::fabs(u - v);
        return std::min(d, 2 * k_pi - d);
    };
    struct check {
        const char* what;
        double gap, allowed;
    } checks[] = {
        {"frame x", std::fabs(x.frame_position[0] - y.frame_position[0]), 2 * r.extent / 16777215},
        {"frame y", std::fabs(x.frame_position[1] - y.frame_position[1]), 2 * r.extent / 16777215},
        {"frame z", std::fabs(x.frame_position[2] - y.frame_position[2]), 2 * r.extent / 16777215},
        {"frame rotation", quaternion_gap(x.frame_quaternion, y.frame_quaternion), 4.0 / 65535},
        {"steering", std::fabs(x.steer_angle - y.steer_angle), 2 * (k_pi / 2) / 255},
        {"swingarm", std::fabs(x.swingarm_angle - y.swingarm_angle), 3 * r.swingarm_travel / 255},
        {"fork", std::fabs(x.fork_position - y.fork_position), 3 * r.fork_travel / 255},
        {"rider x", std::fabs(x.rider_offset[0] - y.rider_offset[0]), 2 * 32.0 / 65535},
        {"rider y", std::fabs(x.rider_offset[1] - y.rider_offset[1]), 2 * 32.0 / 65535},
        {"rider z", std::fabs(x.rider_offset[2] - y.rider_offset[2]), 2 * 32.0 / 65535},
        {"rider rotation", quaternion_gap(x.rider_quaternion, y.rider_quaternion), 4.0 / 65535},
        {"front wheel", turn_gap(x.front_wheel_angle, y.front_wheel_angle), 2 * 2 * k_pi / 255},
        {"rear wheel", turn_gap(x.rear_wheel_angle, y.rear_wheel_angle), 2 * 2 * k_pi / 255},
        {"engine", std::fabs(x.engine_rpm - y.engine_rpm), 2 * 32768.0 / 65535},
        {"knocked off", double((x.knockout_tics > 0) != (y.knockout_tics > 0)), 0},
        {"gear", double(x.knockout_tics > 0 ? 0 : std::abs(x.gear - y.gear)), 0},
    };
    for (const check& c : checks)
        if (!(c.gap <= c.allowed))
            return ::testing::AssertionFailure()
                   << c.what << " differs by " << c.gap << " (allowed " << c.allowed << ")";
    return ::testing::AssertionSuccess();
}

// Whether a message is among the last few shown.
inline bool shown(const std::string& text) {
    for (int i = 0; i < 5; i++)
        if (message_recent(i) == text) return true;
    return false;
}

class demo_world : public race_world {
  protected:
    void SetUp() override {
        race_world::SetUp();
        demo_init();
    }
    void TearDown() override {
        demo_shutdown();
        race_world::TearDown();
    }

    std::string default_demo() const { return (home / "demos" / "default.qvdemo").string(); }

    // A race started from the lineup, recording as asked.
    bool start_recorded(std::initializer_list<int> codes, int laps, bool record, int backups = 0) {
        const std::vector<int> lineup(codes);
        race_lineup_set(lineup.data(), static_cast<int>(lineup.size()));
        race_start_params p;
        p.track = "practice";
        p.laps = laps;
        p.record_mode = record ? 1 : 0;
        p.demo_backups = backups;
        return race_start(p);
    }

    // Races against a demo from grid place `place`, recording as asked.
    static bool race_against(const std::string& file, int place, bool record = false) {
        demo_race_choice choice;
        choice.mode = demo_race_against;
        choice.local_place = place;
        choice.record = record;
        return demo_play_race(file.c_str(), choice);
    }

    static compact_ranges ranges_of(int slot) {
        const bike_info& info = bike_info_of(race_slot(slot).bike);
        return {ground().field.extent, ground().field.min_height, info.swingarm_travel,
                info.fork_travel};
    }

    // Every simulated rider rides for the gates from the drop on; before it the clutch is in.
    static void ride_tic(gate_follower* followers, int riders) {
        for (int slot = 0; slot < riders; slot++) {
            int bike = race_slot(slot).bike;
            if (bike < 0 || race_slot(slot).kind == rider_remote) continue;
            rider_input in;
            if (race_clock() < race_gate_drop_tic())
                in.clutch = 0;
            else
                in = gate_follower_input(followers[slot], bike);
            rider_input_set(slot, in);
        }
        race_world_tic();
    }

    static void capture(recorded_race& out) {
        int tic = race_clock();
        for (int slot = 0; slot < k_recorded_riders; slot++) {
            int bike = race_slot(slot).bike;
            out.states[slot][tic] = compact_state_encode(bike);
            out.frames[slot][tic] = bike_frame_position(bike);
            vec3d v = bike_frame_velocity(bike);
            out.speeds[slot][tic] = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        }
    }

    // Rides the recorded race from its reset up to tic `end` (-1: `seconds` after the drop);
    // the recording closes.
    void ride_and_record(recorded_race& out, int seconds, int end = -1) {
        // The clock at the reset seeds the robots' shuffle: a first reset makes it the same.
        ASSERT_TRUE(start_recorded({lineup_local}, 1, false));
        ASSERT_TRUE(start_recorded({lineup_local, lineup_robot, lineup_robot}, 1, true));
        ASSERT_TRUE(demo_recording());
        out.gate_drop = race_gate_drop_tic();
        for (int slot = 0; slot < k_recorded_riders; slot++) out.ranges[slot] = ranges_of(slot);
        gate_follower followers[k_recorded_riders];
        for (gate_follower& f : followers) gate_follower_reset(f);
        capture(out);
        if (end < 0) end = out.gate_drop + seconds * k_tics_per_second;
        while (race_clock() < end) {
            ride_tic(followers, k_recorded_riders);
            capture(out);
        }
        out.end_tic = race_clock();
        // The next reset closes the recording.
        ASSERT_TRUE(start_recorded({}, 1, false));
        ASSERT_FALSE(demo_recording());
        out.demo = read(default_demo());
    }

    // The race recorded once for the whole test program, and its first two seconds alone on
    // the grid for the tests that need riders and a track more than a ride.
    const recorded_race& the_recorded_race() {
        if (recorded.demo.empty()) ride_and_record(recorded, k_recorded_seconds);
        return recorded;
    }
    const recorded_race& a_short_recording() {
        if (short_recording.demo.empty()) ride_and_record(short_recording, 0, k_short_recording);
        return short_recording;
    }
    static inline recorded_race recorded, short_recording;
};
