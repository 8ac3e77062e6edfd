// The game's entry point: the whole program over the SDL platform.
#include "core/program.h"

int main(int argc, char** argv) { return program_main(argc, argv, k_platform_sdl); }
