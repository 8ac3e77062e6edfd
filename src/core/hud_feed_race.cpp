// The HUD's texts worked out from the race's timing: gaps, the lapping warning, the results
// rows and penalty lines, and the ticker entries.
#include "core/hud_feed.h"
#include "common/text_format.h"

#include "common/common.h"
#include "race/race.h"
#include "race/race_results.h"
#include "race/race_timing.h"
#include "track/track_gates.h"
#include "ui/hud_layout.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr float k_lap_warning_after = 3.0f; // s the lapping rider may follow
constexpr float k_lap_warning_for = 15.0f;  // s the warning stays after a crossing

int index_in_order(int slot) {
    for (int i = 0; i < running_order_count(); i++)
        if (running_order_at(i).slot == slot) return i;
    return -1;
}
} // namespace

float hud_gap_seconds(int slot) {
    const int i = index_in_order(slot);
    const int count = running_order_count();
    if (i < 0 || count < 2) return 0;
    const running_entry& me = running_order_at(i);
    const running_entry& other = running_order_at(i > 0 ? i - 1 : 1);
    const int crossing = std::min(me.position, other.position) - 1;
    if (crossing < 0) return 0;
    const int mine = crossing_tic(timing_of(me.slot), crossing);
    const int theirs = crossing_tic(timing_of(other.slot), crossing);
    if (mine < 0 || theirs < 0) return 0;
    return static_cast<float>((theirs - mine) * k_tic_length);
}

std::string hud_lapping_text(int slot, int clock) {
    const int i = index_in_order(slot);
    const int lap = normal_lap_length();
    if (i <= 0 || lap <= 0) return "";
    const rider_timing& me = timing_of(slot);
    const int mine = me.position - 1;
    const int passed = crossing_tic(me, mine);
    if (mine < 0 || passed < 0 || (clock - passed) * k_tic_length > k_lap_warning_for) return "";
    std::string line;
    for (int k = 0; k < i; k++) {
        const running_entry& r = running_order_at(k);
        if (laps_completed(r.slot) < laps_completed(slot) + 1) continue;
        const int laps_ahead = (r.position - 1 - mine) / lap;
        if (laps_ahead < 1) continue;
        const int theirs = crossing_tic(timing_of(r.slot), mine + laps_ahead * lap);
        const float after = static_cast<float>((theirs - passed) * k_tic_length);
        if (theirs < 0 || after < 0 || after > k_lap_warning_after) continue;
        const std::string entry = text_format(" %.5s (%.1f) ", race_slot(r.slot).number, after);
        if (line.size() + entry.size() > 1023) break;
        line += entry;
    }
    return line;
}

std::vector<hud_result_row> hud_result_rows(bool* final_results) {
    std::vector<hud_result_row> rows;
    const std::vector<result_entry>& done = race_final_results();
    *final_results = !done.empty();
    std::vector<running_entry> order;
    if (*final_results) {
        for (const result_entry& e : done) order.push_back({e.slot, e.position, e.tic});
    } else {
        for (int i = 0; i < running_order_count(); i++) order.push_back(running_order_at(i));
    }
    if (order.empty() || !rider_finished(order[0].slot)) return rows;
    // Finished riders first, in their order; before the results are final, those still out on
    // the track follow, so a rider who has not finished sees where it stands.
    std::stable_partition(order.begin(), order.end(),
                          [](const running_entry& e) { return rider_finished(e.slot); });
    for (size_t i = 0; i < order.size(); i++) {
        const running_entry& e = order[i];
        const bool finished = rider_finished(e.slot);
        hud_result_row row;
        row.slot = e.slot;
        row.finished = finished;
        row.position =
            finished || *final_results ? text_format("%d", static_cast<int>(i) + 1) : "-";
        row.number = text_format("%3s", race_slot(e.slot).number);
        row.lap = text_format("L%d", laps_completed(e.slot));
        float gap = 0;
        if (i > 0) {
            const running_entry& ahead = order[i - 1];
            const int crossing = std::min(e.position, ahead.position) - 1;
            const int a = crossing_tic(timing_of(ahead.slot), crossing);
            const int b = crossing_tic(timing_of(e.slot), crossing);
            if (crossing >= 0 && a >= 0 && b >= 0) gap = static_cast<float>((b - a) * k_tic_length);
        }
        row.gap = text_format("%7.3f", std::fabs(gap));
        // The race time from the gate drop: with one lap, the only lap time there is.
        const int last = e.position > 0 ? crossing_tic(timing_of(e.slot), e.position - 1) : -1;
        row.time = finished && last >= 0 ? hud_minutes_millis(static_cast<float>(
                                               (last - race_gate_drop_tic()) * k_tic_length))
                                         : std::string(finished         ? "-"
                                                       : *final_results ? "DNF"
                                                                        : "riding");
        float best = 0;
        const int best_number = best_lap(e.slot, &best);
        // Laps are timed from the second on; a rider with none timed shows no time, not zero.
        const bool timed = best_number > 0 && best > 0;
        row.best_time = timed ? hud_minutes_millis(best) : "-";
        row.best_lap = timed ? text_format("(%d)", best_number) : "-";
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::string> hud_penalty_lines() {
    std::vector<std::string> lines;
    const int lap = normal_lap_length();
    for (const result_entry& e : race_final_results()) {
        if (e.penalty <= 0) continue;
        std::string line = text_format("%3s penalized ", race_slot(e.slot).number);
        const int lost = lap > 0 ? (timing_of(e.slot).position - e.position) / lap : 0;
        if (lost > 0) line += text_format("%d %s ", lost, lost == 1 ? "lap" : "laps");
        line += text_format("%.2f seconds for cutting track", e.penalty * k_tic_length);
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> hud_ticker_entries() {
    std::vector<std::string> entries;
    for (int i = 0; i < running_order_count(); i++) {
        const running_entry& e = running_order_at(i);
        const rider_slot& s = race_slot(e.slot);
        std::string text = text_format("%d %3s %s", i + 1, s.number, s.name);
        if (i > 0) text += text_format(" %7.3f", -hud_gap_seconds(e.slot));
        entries.push_back(text);
    }
    return entries;
}
