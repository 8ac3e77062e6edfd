// Cutting penalties, the final order and the results file.
#include "race/race_results.h"

#include "common/common.h"
#include "files/data_file.h"
#include "race/race.h"
#include "race/race_timing.h"
#include "track/track_gates.h"

#include <algorithm>
#include <cstdio>

namespace {
constexpr int k_default_reference = 60 * k_tics_per_second;

int tic_of(const rider_timing& r, int k) {
    return k < 0 ? 0 : crossing_tic(r, k); // the start counts as time 0
}

// Time a rider took from crossing a to b in one lap; -1 when a crossing between is missing.
int segment_time(const rider_timing& r, int a, int b) {
    if (b >= r.position) return -1;
    for (int k = std::max(a, 0); k <= b; k++)
        if (tic_of(r, k) < 0) return -1;
    int t = tic_of(r, b) - tic_of(r, a);
    return t >= 0 ? t : -1;
}

void append(std::string& out, const char* format, auto... values) {
    char line[512];
    snprintf(line, sizeof line, format, values...);
    out += line;
}

void append_time(std::string& out, const char* format, int tics) {
    int ms = static_cast<int>(static_cast<long long>(tics) * 1000 / k_tics_per_second);
    append(out, format, ms / 60000, ms / 1000 % 60, ms % 1000);
}
} // namespace

int segment_reference_time(int a, int b) {
    int first = first_lap_length(), normal = normal_lap_length();
    double sum = 0;
    int riders = 0;
    for (int i = 0; i < running_order_count(); i++) {
        const rider_timing& r = timing_of(running_order_at(i).slot);
        if (a < first) {
            int t = segment_time(r, a, b);
            if (t >= 0) {
                sum += t;
                riders++;
            }
            continue;
        }
        // Later laps: the same segment in every lap after the first that the rider passed,
        // averaged, so the reference does not depend on which lap asks for it.
        if (normal <= 0) continue;
        double lap_sum = 0;
        int laps = 0;
        for (int shift = -((a - first) / normal) * normal; b + shift < r.position;
             shift += normal) {
            int t = segment_time(r, a + shift, b + shift);
            if (t >= 0) {
                lap_sum += t;
                laps++;
            }
        }
        if (laps > 0) {
            sum += lap_sum / laps;
            riders++;
        }
    }
    return riders > 0 ? static_cast<int>(sum / riders) : k_default_reference;
}

std::vector<result_entry> final_results_compute() {
    std::vector<result_entry> out;
    for (int i = 0; i < running_order_count(); i++) {
        int slot = running_order_at(i).slot;
        const rider_timing& r = timing_of(slot);
        int penalty = 0, previous = 0, missed = 0;
        for (int t = 0; t < static_cast<int>(r.crossing_tics.size()); t++) {
            int rc = r.crossing_tics[t];
            if (rc < 0) {
                missed++;
                continue;
            }
            if (missed > 0) {
                int expected = segment_reference_time(t - missed - 1, t) + k_tics_per_second;
                if (rc - previous < expected) penalty += expected - (rc - previous);
            }
            missed = 0;
            previous = rc;
        }
        int position = r.position;
        float best_seconds = 0;
        if (best_lap(slot, &best_seconds) >= 2) {
            int w = static_cast<int>(best_seconds / k_tic_length + 0.5);
            while (w > 0 && w < penalty && position > first_lap_length()) {
                position -= normal_lap_length();
                penalty -= w;
            }
        }
        int last = r.position > 0 ? std::max(tic_of(r, r.position - 1), 0) : 0;
        out.push_back(result_entry{slot, position, last + penalty, penalty});
    }
    std::sort(out.begin(), out.end(), [](const result_entry& a, const result_entry& b) {
        if (a.position != b.position) return a.position > b.position;
        if (a.tic != b.tic) return a.tic < b.tic;
        return a.slot < b.slot;
    });
    return out;
}

std::string results_text(const std::vector<result_entry>& results, const std::string& track_folder,
                         long date, int finish_time, int finish_laps) {
    std::string out;
    append(out, "Time=%.2f|Laps=%d|Track=%s|Date=%ld\r\n", finish_time * k_tic_length, finish_laps,
           track_folder.c_str(), date);
    append(out, "%4s | %12s | %4s | %10s | %4s | %10s\r\n", "No.", "Bike", "Laps", "Total Time",
           "BLap", "Best Time");
    int first = first_lap_length(), normal = normal_lap_length();
    auto laps_at = [&](int position) {
        return normal == 0 || position < first ? 0 : (position - first) / normal + 1;
    };
    for (const result_entry& e : results) {
        if (!rider_finished(e.slot)) continue;
        const rider_slot& s = race_slot(e.slot);
        append(out, "%4s | %12s | %4d | ", s.number, s.bike_name, laps_at(e.position));
        append_time(out, "%3d:%02d.%03d | ", e.tic - race_gate_drop_tic());
        float best_seconds = 0;
        int best = best_lap(e.slot, &best_seconds);
        append(out, "%4d | ", best);
        append_time(out, "%3d:%02d.%03d\r\n", static_cast<int>(best_seconds / k_tic_length + 0.5));
    }
    for (const result_entry& e : results) {
        if (!rider_finished(e.slot)) continue;
        const rider_timing& r = timing_of(e.slot);
        int count = static_cast<int>(r.crossing_tics.size());
        append(out, "\r\n%d\r\n", count);
        for (int k = 0; k < count; k++) {
            int t = r.crossing_tics[k];
            if (t < 0)
                append(out, "%8d", -1);
            else
                append(out, "%8.3f", (t - race_gate_drop_tic()) * k_tic_length);
            bool lap_end = (k + 1 - first >= 0 && normal > 0 && (k + 1 - first) % normal == 0) ||
                           k + 1 == first;
            out += lap_end || k == count - 1 ? "\r\n" : " ";
        }
    }
    return out;
}

bool results_write(const std::vector<result_entry>& results, const std::string& track_folder,
                   long date, int finish_time, int finish_laps) {
    if (results.empty() || !rider_finished(results[0].slot)) return false;
    std::string text = results_text(results, track_folder, date, finish_time, finish_laps);
    data_file* f = data_file_open_replace("@results.txt");
    if (!f) return false; // skipped without a message
    data_file_write(f, text.data(), text.size());
    return data_file_close(f);
}
