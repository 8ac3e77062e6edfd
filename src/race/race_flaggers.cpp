// What the track's flaggers see of the race: the clock, the race's length, the leader's
// crossings and the riders who are down.
#include "race/race_local.h"

#include "race/race_timing.h"
#include "track/track_objects.h"

flagger_race_view race_flagger_view() {
    const race_state& r = race();
    flagger_race_view v;
    v.tic = r.clock;
    v.gate_drop_tic = r.gate_drop;
    v.flag_period = 5 * k_tics_per_second;
    v.finish_time = r.params.time_limit_tics;
    v.finish_laps = r.params.laps;
    v.race_laps = race_laps();
    v.halfway_lap = halfway_lap();
    const int count = running_order_count();
    v.leader_position = count > 0 ? running_order_at(0).position : 0;
    for (int i = 0; i < count; i++) {
        const running_entry& e = running_order_at(i);
        const rider_slot& s = r.slots[e.slot];
        if (s.bike < 0) continue;
        // Online, a remote rider not heard from for a second is not watched.
        if (r.params.online && s.kind == rider_remote &&
            r.clock - history_newest_tic(e.slot) >= k_tics_per_second)
            continue;
        if (bike_rider_down(s.bike) && !rider_finished(e.slot))
            v.down_positions[v.down_count++] = e.position;
    }
    return v;
}
