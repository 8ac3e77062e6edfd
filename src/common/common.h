// Types and constants every subsystem shares.
#pragma once

// Lifecycle verbs, one meaning each: create and destroy a thing reached by a handle; init and
// shutdown a subsystem; load and unload what comes from files; open and close a stream or a
// device; free the memory a module holds; clear a list to empty; reset state to its start values.

constexpr double k_tic_length = 1.0 / 128.0; // s
constexpr int k_tics_per_second = 128;
constexpr int k_max_riders = 160;

constexpr double k_pi = 3.14159265358979323846;
// π in single precision, for the values the simulation and the drawing hold as floats.
constexpr float k_pi_f = static_cast<float>(k_pi);
constexpr double k_gravity = 32; // ft/s², pulling along -y
constexpr double k_rpm_per_radian_per_second = 60 / (2 * k_pi);
constexpr double k_mph_per_foot_per_second = 15.0 / 22.0;

// A programming error: in debug builds the failed condition is logged with its place and the
// program aborts; release builds check nothing.
#ifdef TB_DEBUG
#define TB_ASSERT(condition)                                                                       \
    ((condition) ? static_cast<void>(0) : tb_assert_failed(#condition, __FILE__, __LINE__))
#else
#define TB_ASSERT(condition) static_cast<void>(sizeof(condition))
#endif
[[noreturn]] void tb_assert_failed(const char* condition, const char* file, int line);
