// The 80 robot riders (number, personality and bike of each) and the robot personalities.
#pragma once

constexpr int k_robot_list_size = 80;

struct robot_rider {
    int number;              // 20..99
    const char* personality; // "pell", "orrin" or "bram"
    const char* bike;        // catalogue name
    const char* rider_texture = "";
    const char* head_texture = "";
    const char* bike_texture = ""; // also the engine sound's name
    const char* wheel_texture = "";
};

const robot_rider& robot_at(int index);
// The robot with this number, or -1.
int robot_with_number(int number);

// How a robot picks its lines: the time mode near the rider ahead and away from it, and the gap
// to the rider ahead (s) that counts as near. Index 0 is no robot (a human rider).
struct robot_personality {
    const char* name;
    int time_mode_near;
    int time_mode_far;
    float gap_threshold; // s
    float parameter_4;
    float parameter_5;
};
constexpr int k_personality_count = 5;
constexpr int k_personality_tester = 4; // tries the least tested lines
const robot_personality& personality_at(int index);
// The personality of this name among 1 to 4; one not found is logged and 1 is used.
int personality_lookup(const char* name);
