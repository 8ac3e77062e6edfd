// The robot riders, every fourth on a 125 two-stroke, and the personalities that pick lines.
#include "race/robot_list.h"

#include "platform/log.h"

#include <cstring>

namespace {
const robot_rider k_robots[k_robot_list_size] = {
    {20, "orrin", "yz250f(2017)"},    {21, "pell", "crf250(2018)"},
    {22, "orrin", "kx250f(2018)"},    {23, "bram", "cr125"},
    {24, "orrin", "rmz250(2018)"},    {25, "pell", "250sxf(2018)"},
    {26, "orrin", "fc250(2018)"},     {27, "bram", "kx125"},
    {28, "orrin", "yz250f(2016)"},    {29, "pell", "crf250(2016)"},
    {30, "orrin", "kx250f(2016)"},    {31, "bram", "rm125"},
    {32, "orrin", "rmz250(2016)"},    {33, "pell", "yz250f_se(2006)"},
    {34, "orrin", "250sxf(2017)"},    {35, "bram", "yz125"},
    {36, "orrin", "fc250(2017)"},     {37, "pell", "yz250f(2013)"},
    {38, "orrin", "crf250(2013)"},    {39, "bram", "125sx"},
    {40, "orrin", "kx250f(2013)"},    {41, "pell", "rmz250(2013)"},
    {42, "orrin", "250sxf(2016)"},    {43, "bram", "cr125"},
    {44, "orrin", "yz250f(2018)"},    {45, "pell", "crf250(2017)"},
    {46, "orrin", "kx250f(2017)"},    {47, "bram", "kx125"},
    {48, "orrin", "yz250f(2017)"},    {49, "pell", "crf250(2018)"},
    {50, "orrin", "kx250f(2018)"},    {51, "bram", "rm125"},
    {52, "orrin", "rmz250(2018)"},    {53, "pell", "250sxf(2018)"},
    {54, "orrin", "fc250(2018)"},     {55, "bram", "yz125"},
    {56, "orrin", "yz250f(2016)"},    {57, "pell", "crf250(2016)"},
    {58, "orrin", "kx250f(2016)"},    {59, "bram", "125sx"},
    {60, "orrin", "rmz250(2016)"},    {61, "pell", "250sxf(2017)"},
    {62, "orrin", "fc250(2017)"},     {63, "bram", "cr125"},
    {64, "orrin", "yz250f(2013)"},    {65, "pell", "crf250(2013)"},
    {66, "orrin", "yz250f_se(2006)"}, {67, "bram", "kx125"},
    {68, "orrin", "kx250f(2013)"},    {69, "pell", "rmz250(2013)"},
    {70, "orrin", "250sxf(2016)"},    {71, "bram", "rm125"},
    {72, "orrin", "yz250f(2018)"},    {73, "pell", "crf250(2017)"},
    {74, "orrin", "kx250f(2017)"},    {75, "bram", "yz125"},
    {76, "orrin", "yz250f(2017)"},    {77, "pell", "crf250(2018)"},
    {78, "orrin", "kx250f(2018)"},    {79, "bram", "125sx"},
    {80, "orrin", "rmz250(2018)"},    {81, "pell", "250sxf(2018)"},
    {82, "orrin", "fc250(2018)"},     {83, "bram", "cr125"},
    {84, "orrin", "yz250f(2016)"},    {85, "pell", "crf250(2016)"},
    {86, "orrin", "kx250f(2016)"},    {87, "bram", "kx125"},
    {88, "orrin", "rmz250(2016)"},    {89, "pell", "250sxf(2017)"},
    {90, "orrin", "fc250(2017)"},     {91, "bram", "rm125"},
    {92, "orrin", "yz250f(2013)"},    {93, "pell", "crf250(2013)"},
    {94, "orrin", "kx250f(2013)"},    {95, "bram", "yz125"},
    {96, "orrin", "rmz250(2013)"},    {97, "pell", "250sxf(2016)"},
    {98, "orrin", "yz250f(2018)"},    {99, "bram", "125sx"},
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
