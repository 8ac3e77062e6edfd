// Types and constants every subsystem shares.
#pragma once

constexpr double k_tic_length = 1.0 / 128.0; // s
constexpr int k_tics_per_second = 128;
constexpr int k_max_riders = 160;
