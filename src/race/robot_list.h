// The 80 robot riders: number, personality and bike of each.
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
