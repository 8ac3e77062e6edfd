// trailbok-demo: the demo tool's program; every command is in demo_tool.cpp.
#include "demo/demo_tool.h"

int main(int argc, char** argv) { return demo_tool_run(argc, argv, stdout, stderr); }
