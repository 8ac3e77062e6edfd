// The robot riders: mostly 250 four-strokes, every fourth on a 125 two-stroke, each in riding
// gear of its bike's colours; and the personalities that pick their lines.
#include "race/robot_list.h"

#include "platform/log.h"

#include <cstring>

namespace {
const robot_rider k_robots[k_robot_list_size] = {
    {20, "orrin", "yz250f(2017)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {21, "pell", "crf250(2018)", "@rider_body-red.png", "@rider_head-red.png"},
    {22, "orrin", "kx250f(2018)", "@rider_body-lime.png", "@rider_head-lime.png"},
    {23, "bram", "cr125", "@rider_body-red.png", "@rider_head-red.png"},
    {24, "orrin", "rmz250(2018)", "@rider_body-yellow.png", "@rider_head-yellow.png"},
    {25, "pell", "250sxf(2018)", "@rider_body-orange.png", "@rider_head-orange.png"},
    {26, "orrin", "fc250(2018)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {27, "bram", "kx125", "@rider_body-lime.png", "@rider_head-lime.png"},
    {28, "orrin", "yz250f(2016)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {29, "pell", "crf250(2016)", "@rider_body-red.png", "@rider_head-red.png"},
    {30, "orrin", "kx250f(2016)", "@rider_body-lime.png", "@rider_head-lime.png"},
    {31, "bram", "rm125", "@rider_body-yellow.png", "@rider_head-yellow.png"},
    {32, "orrin", "rmz250(2016)", "@rider_body-yellow.png", "@rider_head-yellow.png"},
    {33, "pell", "yz250f_se(2006)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {34, "orrin", "250sxf(2017)", "@rider_body-orange.png", "@rider_head-orange.png"},
    {35, "bram", "yz125", "@rider_body-blue.png", "@rider_head-blue.png"},
    {36, "orrin", "fc250(2017)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {37, "pell", "yz250f(2013)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {38, "orrin", "crf250(2013)", "@rider_body-red.png", "@rider_head-red.png"},
    {39, "bram", "125sx", "@rider_body-orange.png", "@rider_head-orange.png"},
    {40, "orrin", "kx250f(2013)", "@rider_body-lime.png", "@rider_head-lime.png"},
    {41, "pell", "rmz250(2013)", "@rider_body-yellow.png", "@rider_head-yellow.png"},
    {42, "orrin", "250sxf(2016)", "@rider_body-orange.png", "@rider_head-orange.png"},
    {43, "bram", "cr125", "@rider_body-red.png", "@rider_head-red.png"},
    {44, "orrin", "yz250f(2018)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {45, "pell", "crf250(2017)", "@rider_body-red.png", "@rider_head-red.png"},
    {46, "orrin", "kx250f(2017)", "@rider_body-lime.png", "@rider_head-lime.png"},
    {47, "bram", "kx125", "@rider_body-lime.png", "@rider_head-lime.png"},
    {48, "orrin", "yz250f(2017)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {49, "pell", "crf250(2018)", "@rider_body-red.png", "@rider_head-red.png"},
    {50, "orrin", "kx250f(2018)", "@rider_body-lime.png", "@rider_head-lime.png"},
    {51, "bram", "rm125", "@rider_body-yellow.png", "@rider_head-yellow.png"},
    {52, "orrin", "rmz250(2018)", "@rider_body-yellow.png", "@rider_head-yellow.png"},
    {53, "pell", "250sxf(2018)", "@rider_body-orange.png", "@rider_head-orange.png"},
    {54, "orrin", "fc250(2018)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {55, "bram", "yz125", "@rider_body-blue.png", "@rider_head-blue.png"},
    {56, "orrin", "yz250f(2016)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {57, "pell", "crf250(2016)", "@rider_body-red.png", "@rider_head-red.png"},
    {58, "orrin", "kx250f(2016)", "@rider_body-lime.png", "@rider_head-lime.png"},
    {59, "bram", "125sx", "@rider_body-orange.png", "@rider_head-orange.png"},
    {60, "orrin", "rmz250(2016)", "@rider_body-yellow.png", "@rider_head-yellow.png"},
    {61, "pell", "250sxf(2017)", "@rider_body-orange.png", "@rider_head-orange.png"},
    {62, "orrin", "fc250(2017)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {63, "bram", "cr125", "@rider_body-red.png", "@rider_head-red.png"},
    {64, "orrin", "yz250f(2013)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {65, "pell", "crf250(2013)", "@rider_body-red.png", "@rider_head-red.png"},
    {66, "orrin", "yz250f_se(2006)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {67, "bram", "kx125", "@rider_body-lime.png", "@rider_head-lime.png"},
    {68, "orrin", "kx250f(2013)", "@rider_body-lime.png", "@rider_head-lime.png"},
    {69, "pell", "rmz250(2013)", "@rider_body-yellow.png", "@rider_head-yellow.png"},
    {70, "orrin", "250sxf(2016)", "@rider_body-orange.png", "@rider_head-orange.png"},
    {71, "bram", "rm125", "@rider_body-yellow.png", "@rider_head-yellow.png"},
    {72, "orrin", "yz250f(2018)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {73, "pell", "crf250(2017)", "@rider_body-red.png", "@rider_head-red.png"},
    {74, "orrin", "kx250f(2017)", "@rider_body-lime.png", "@rider_head-lime.png"},
    {75, "bram", "yz125", "@rider_body-blue.png", "@rider_head-blue.png"},
    {76, "orrin", "yz250f(2017)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {77, "pell", "crf250(2018)", "@rider_body-red.png", "@rider_head-red.png"},
    {78, "orrin", "kx250f(2018)", "@rider_body-lime.png", "@rider_head-lime.png"},
    {79, "bram", "125sx", "@rider_body-orange.png", "@rider_head-orange.png"},
    {80, "orrin", "rmz250(2018)", "@rider_body-yellow.png", "@rider_head-yellow.png"},
    {81, "pell", "250sxf(2018)", "@rider_body-orange.png", "@rider_head-orange.png"},
    {82, "orrin", "fc250(2018)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {83, "bram", "cr125", "@rider_body-red.png", "@rider_head-red.png"},
    {84, "orrin", "yz250f(2016)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {85, "pell", "crf250(2016)", "@rider_body-red.png", "@rider_head-red.png"},
    {86, "orrin", "kx250f(2016)", "@rider_body-lime.png", "@rider_head-lime.png"},
    {87, "bram", "kx125", "@rider_body-lime.png", "@rider_head-lime.png"},
    {88, "orrin", "rmz250(2016)", "@rider_body-yellow.png", "@rider_head-yellow.png"},
    {89, "pell", "250sxf(2017)", "@rider_body-orange.png", "@rider_head-orange.png"},
    {90, "orrin", "fc250(2017)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {91, "bram", "rm125", "@rider_body-yellow.png", "@rider_head-yellow.png"},
    {92, "orrin", "yz250f(2013)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {93, "pell", "crf250(2013)", "@rider_body-red.png", "@rider_head-red.png"},
    {94, "orrin", "kx250f(2013)", "@rider_body-lime.png", "@rider_head-lime.png"},
    {95, "bram", "yz125", "@rider_body-blue.png", "@rider_head-blue.png"},
    {96, "orrin", "rmz250(2013)", "@rider_body-yellow.png", "@rider_head-yellow.png"},
    {97, "pell", "250sxf(2016)", "@rider_body-orange.png", "@rider_head-orange.png"},
    {98, "orrin", "yz250f(2018)", "@rider_body-blue.png", "@rider_head-blue.png"},
    {99, "bram", "125sx", "@rider_body-orange.png", "@rider_head-orange.png"},
};

const robot_personality k_personalities[k_personality_count] = {
    {"empty", 0, 0, 0, 0, 0},           {"pell", 0, 0, 1.0f, 0.2f, 0.4f},
    {"orrin", 2, 1, 10.0f, 0.2f, 0.4f}, {"bram", 1, 0, 10.0f, 0.0f, 0.1f},
    {"tester", 3, 3, 1.0f, 0.2f, 0.4f},
};
} // namespace

const robot_personality& personality_at(int index) {
    if (index < 0 || index >= k_personality_count) index = 0;
    return k_personalities[index];
}

int personality_lookup(const char* name) {
    for (int i = 1; i < k_personality_count; i++)
        if (std::strcmp(k_personalities[i].name, name) == 0) return i;
    log("auto pilot personality '%s' not found\n", name);
    return 1;
}

const robot_rider& robot_at(int index) {
    if (index < 0 || index >= k_robot_list_size) index = 0;
    return k_robots[index];
}

int robot_with_number(int number) {
    for (int i = 0; i < k_robot_list_size; i++)
        if (k_robots[i].number == number) return i;
    return -1;
}
