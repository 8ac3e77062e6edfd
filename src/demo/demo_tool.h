// trailbok-demo: what a rider can learn from a recorded demo without starting the game.
#pragma once

#include <cstdio>

// Runs "info FILE", "csv FILE [RIDER]" or "check FILE" (argv[0] is the program); writes the
// answer to `out` and complaints to `err`. Returns the exit status: 0 done, 1 an unreadable or
// damaged file or an unknown rider, 2 a command line that names no command.
int demo_tool_run(int argc, const char* const* argv, FILE* out, FILE* err);
