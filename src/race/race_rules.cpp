// Who collides with whom online (the off-course rule) and the rules a server may set.
#include "race/race_local.h"
#include "race/race_timing.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool race_off_course(int slot, int k) {
    if (k < 1 || slot < 0 || slot >= k_max_riders || gate_count() == 0) return false;
    const race_state& r = race();
    const rider_timing& t = timing_of(slot);
    // A segment's ends are stretched over gates the rider missed.
    int start = r.gate_drop;
    for (int c = k - 1; c >= std::max(k - 3, 0); c--)
        if (crossing_tic(t, c) >= 0) {
            start = crossing_tic(t, c);
            break;
        }
    int end = r.clock;
    for (int c = k; c < static_cast<int>(t.crossing_tics.size()); c++)
        if (crossing_tic(t, c) >= 0) {
            end = crossing_tic(t, c);
            break;
        }
    for (int i = 0; i < running_order_count(); i++) {
        const running_entry& e = running_order_at(i);
        if (e.position <= k) return false;
        const rider_timing& o = timing_of(e.slot);
        if (crossing_tic(o, k - 1) < 0 || crossing_tic(o, k) < 0) continue;
        double reference = (crossing_tic(o, k) - crossing_tic(o, k - 1)) * k_tic_length;
        return (end - start) * k_tic_length >= r.off_course_scale * reference + r.off_course_bias;
    }
    return false;
}

bool race_off_course_lately(int slot) {
    int position = timing_of(slot).position;
    for (int k = std::max(position - 3, 1); k <= position; k++)
        if (race_off_course(slot, k)) return true;
    return false;
}

bool race_collides_online(int local_slot, int remote_slot, int last_received_tic) {
    const race_state& r = race();
    if (running_order_count() >= 2 && (r.clock - r.gate_drop) * k_tic_length >= r.off_course_bias &&
        r.clock - last_received_tic >= k_tics_per_second)
        return false;
    auto out_of_it = [](int slot) {
        return rider_finished(slot) || timing_of(slot).position == 0 ||
               race_off_course_lately(slot);
    };
    if (out_of_it(local_slot)) return true;
    return !out_of_it(remote_slot);
}

bool race_server_command(const char* text) {
    race_state& r = race();
    float value;
    if (std::sscanf(text, "off_course_bias %f", &value) == 1) {
        r.off_course_bias = value;
        return true;
    }
    if (std::sscanf(text, "off_course_scale %f", &value) == 1) {
        r.off_course_scale = value;
        return true;
    }
    if (std::strncmp(text, "knockout", 8) != 0 || (text[8] != ' ' && text[8] != '\0')) return false;
    const char* p = text + 8;
    int previous = 0;
    for (int i = 0; i < k_knockout_table_size; i++) {
        char* end = nullptr;
        long v = std::strtol(p, &end, 10);
        // A missing or unreadable value repeats the one before it.
        if (end != p) {
            previous = static_cast<int>(std::clamp<long>(v, 0, k_knockout_table_max));
            p = end;
        } else {
            while (*p == ' ') p++;
            while (*p && *p != ' ') p++;
        }
        r.knockout_table[i] = previous;
    }
    return true;
}

const int* race_knockout_table() { return race().knockout_table; }
