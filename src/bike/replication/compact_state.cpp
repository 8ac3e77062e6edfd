// Quantising a bike's state into 39 bytes, and blending two snapshots.
#include "bike/replication/compact_state.h"

#include "common/common.h"

#include <algorithm>
#include <cmath>

namespace {
uint32_t nearest(double v) { return static_cast<uint32_t>(std::floor(v + 0.5)); }

void put(uint8_t* p, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; i++) v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
}

constexpr uint32_t k_max24 = 16777215, k_max16 = 65535, k_max8 = 255;

// A field as a fraction 0..1 of its range, and back.
double fraction(const uint8_t* p, int bytes) {
    uint32_t top = bytes == 3 ? k_max24 : bytes == 2 ? k_max16 : k_max8;
    return get(p, bytes) / static_cast<double>(top);
}

void put_fraction(uint8_t* p, int bytes, double f) {
    uint32_t top = bytes == 3 ? k_max24 : bytes == 2 ? k_max16 : k_max8;
    put(p, nearest(std::clamp(f, 0.0, 1.0) * top), bytes);
}

double clampd(double v, double lo, double hi) { return std::clamp(v, lo, hi); }

void put_quaternion(uint8_t* p, const float q[4]) {
    for (int i = 0; i < 4; i++)
        put(p + 2 * i, nearest((clampd(q[i], -1, 1) + 1) * 0.5 * k_max16), 2);
}

void get_quaternion(const uint8_t* p, float q[4]) {
    for (int i = 0; i < 4; i++) q[i] = static_cast<float>(fraction(p + 2 * i, 2) * 2 - 1);
}

double wheel_fraction(double a) { return (clampd(a, -k_pi, k_pi) + k_pi) / (2 * k_pi); }

void blend_quaternion(const uint8_t* a, const uint8_t* b, double f, uint8_t* out) {
    double qa[4], qb[4], dot = 0;
    for (int i = 0; i < 4; i++) {
        qa[i] = fraction(a + 2 * i, 2) * 2 - 1;
        qb[i] = fraction(b + 2 * i, 2) * 2 - 1;
        dot += qa[i] * qb[i];
    }
    if (dot < 0)
        for (double& c : qa) c = -c;
    double q[4], length = 0;
    for (int i = 0; i < 4; i++) {
        q[i] = qa[i] + (qb[i] - qa[i]) * f;
        length += q[i] * q[i];
    }
    length = std::sqrt(length);
    for (int i = 0; i < 4; i++) {
        double c = length > 0 ? q[i] / length : qa[i];
        put(out + 2 * i, nearest((clampd(c, -1, 1) + 1) * 0.5 * k_max16), 2);
    }
}

void blend_linear(const uint8_t* a, const uint8_t* b, int bytes, double f, uint8_t* out) {
    double u = fraction(a, bytes), v = fraction(b, bytes);
    put_fraction(out, bytes, u + (v - u) * f);
}

// A wheel is taken to have turned forward unless it went back by less than an eighth of a turn.
void blend_wheel(uint8_t a, uint8_t b, double f, uint8_t* out) {
    double u = a / 255.0, v = b / 255.0;
    if (v < u - 0.125)
        u -= 1;
    else if (v > u + 0.875)
        v -= 1;
    double w = u + (v - u) * f;
    if (w < 0) w += 1;
    *out = static_cast<uint8_t>(nearest(clampd(w, 0, 1) * k_max8));
}
} // namespace

compact_state compact_state_pack(const compact_fields& s, const compact_ranges& r) {
    compact_state out{};
    uint8_t* b = out.bytes;
    const double e = r.extent;
    put(b + compact_frame_x, nearest(clampd(s.frame_position[0], 0, e) / e * k_max24), 3);
    put(b + compact_frame_y,
        nearest((clampd(s.frame_position[1], r.min_height, r.min_height + e) - r.min_height) / e *
                k_max24),
        3);
    put(b + compact_frame_z, nearest(clampd(s.frame_position[2], 0, e) / e * k_max24), 3);
    put_quaternion(b + compact_frame_quaternion, s.frame_quaternion);
    b[compact_steer] = static_cast<uint8_t>(
        nearest((clampd(s.steer_angle, -k_pi / 4, k_pi / 4) + k_pi / 4) * (2 / k_pi) * 255));
    double st = r.swingarm_travel, ft = r.fork_travel;
    b[compact_swingarm] =
        static_cast<uint8_t>(nearest((clampd(s.swingarm_angle, -st, 0) + st) / st * 255) | 1);
    b[compact_fork] =
        static_cast<uint8_t>(nearest((clampd(s.fork_position, -ft, 0) + ft) / ft * 255) & ~1u);
    for (int i = 0; i < 3; i++)
        put(b + compact_rider_offset + 2 * i,
            nearest((clampd(s.rider_offset[i], -16, 16) + 16) / 32 * k_max16), 2);
    put_quaternion(b + compact_rider_quaternion, s.rider_quaternion);
    b[compact_front_wheel] =
        static_cast<uint8_t>(nearest(wheel_fraction(s.front_wheel_angle) * 255));
    b[compact_rear_wheel] = static_cast<uint8_t>(nearest(wheel_fraction(s.rear_wheel_angle) * 255));
    if (s.knockout_tics > 0) {
        int code = std::min(15, (15 * s.knockout_tics - 15) / 127);
        b[compact_drive] = static_cast<uint8_t>(7 | (code << 4));
    } else {
        int throttle = std::clamp(static_cast<int>(s.throttle * 15), 0, 15);
        b[compact_drive] =
            static_cast<uint8_t>(std::clamp(s.gear, 0, 6) | (s.dabbing ? 8 : 0) | (throttle << 4));
    }
    double rpm = std::min(std::max(static_cast<double>(s.engine_rpm), 0.0), 32768.0);
    put(b + compact_engine_rpm, nearest(rpm / 32768 * k_max16), 2);
    return out;
}

compact_fields compact_state_unpack(const compact_state& state, const compact_ranges& r) {
    const uint8_t* b = state.bytes;
    compact_fields s{};
    s.frame_position[0] = static_cast<float>(fraction(b + compact_frame_x, 3) * r.extent);
    s.frame_position[1] =
        static_cast<float>(r.min_height + fraction(b + compact_frame_y, 3) * r.extent);
    s.frame_position[2] = static_cast<float>(fraction(b + compact_frame_z, 3) * r.extent);
    get_quaternion(b + compact_frame_quaternion, s.frame_quaternion);
    s.steer_angle = static_cast<float>(b[compact_steer] / 255.0 * k_pi / 2 - k_pi / 4);
    s.swingarm_angle =
        static_cast<float>(r.swingarm_travel * b[compact_swingarm] / 255.0 - r.swingarm_travel);
    s.fork_position = static_cast<float>(r.fork_travel * b[compact_fork] / 255.0 - r.fork_travel);
    for (int i = 0; i < 3; i++)
        s.rider_offset[i] =
            static_cast<float>(fraction(b + compact_rider_offset + 2 * i, 2) * 32 - 16);
    get_quaternion(b + compact_rider_quaternion, s.rider_quaternion);
    s.front_wheel_angle = static_cast<float>(b[compact_front_wheel] / 255.0 * 2 * k_pi - k_pi);
    s.rear_wheel_angle = static_cast<float>(b[compact_rear_wheel] / 255.0 * 2 * k_pi - k_pi);
    if (compact_state_knocked_out(state)) {
        s.knockout_tics = (b[compact_drive] >> 4) * 127 / 15 + 1;
    } else {
        s.gear = b[compact_drive] & 7;
        s.dabbing = (b[compact_drive] & 8) != 0;
        s.throttle = (b[compact_drive] >> 4) / 15.0f;
    }
    s.engine_rpm = static_cast<float>(fraction(b + compact_engine_rpm, 2) * 32768);
    return s;
}

compact_state compact_state_interpolate(const compact_state& a, const compact_state& b, float f_in,
                                        bool version4) {
    if (f_in == 0 || version4) return a;
    compact_state out = a;
    double f = f_in;
    for (int i = 0; i < 3; i++) {
        int at = compact_frame_x + 3 * i;
        blend_linear(a.bytes + at, b.bytes + at, 3, f, out.bytes + at);
    }
    f = std::min(f, 1.0);
    blend_quaternion(a.bytes + compact_frame_quaternion, b.bytes + compact_frame_quaternion, f,
                     out.bytes + compact_frame_quaternion);
    for (int i = compact_steer; i <= compact_fork; i++)
        blend_linear(a.bytes + i, b.bytes + i, 1, f, out.bytes + i);
    for (int i = 0; i < 3; i++) {
        int at = compact_rider_offset + 2 * i;
        blend_linear(a.bytes + at, b.bytes + at, 2, f, out.bytes + at);
    }
    blend_quaternion(a.bytes + compact_rider_quaternion, b.bytes + compact_rider_quaternion, f,
                     out.bytes + compact_rider_quaternion);
    blend_wheel(a.bytes[compact_front_wheel], b.bytes[compact_front_wheel], f,
                out.bytes + compact_front_wheel);
    blend_wheel(a.bytes[compact_rear_wheel], b.bytes[compact_rear_wheel], f,
                out.bytes + compact_rear_wheel);
    out.bytes[compact_drive] = a.bytes[compact_drive];
    blend_linear(a.bytes + compact_engine_rpm, b.bytes + compact_engine_rpm, 2, f,
                 out.bytes + compact_engine_rpm);
    out.bytes[compact_swingarm] &= ~1u;
    return out;
}

bool compact_state_knocked_out(const compact_state& state) {
    return (state.bytes[compact_drive] & 7) == 7;
}
bool compact_state_simulated(const compact_state& state) {
    return (state.bytes[compact_swingarm] & 1) != 0;
}
