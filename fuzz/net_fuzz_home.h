// What the network fuzzers share: the generated data set, a home folder of their own, no log.
#pragma once

#include <cstdlib>
#include <string>
#include <unistd.h>

inline void net_fuzz_home(const char* fuzzer) {
    setenv("QV_HOME", TB_GAME_DIR, 1);
    std::string home = std::string("/tmp/") + fuzzer + "_" + std::to_string(getpid());
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    setenv("TAVO_LOGFILE", "/dev/null", 1);
}
