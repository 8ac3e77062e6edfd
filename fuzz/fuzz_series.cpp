// Fuzzes the points series reader and the standings reader with the same bytes. A series that
// is read has at most 159 riders and a result per rider in every event; its standings, written
// and read again, give the same results; the lineups of its events use each rider once and the
// standings table has a row per rider.
#include "race/race.h"
#include "race/series.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    points_series s;
    std::string error;
    if (!series_parse(text, &s, &error)) {
        if (error.empty()) abort();
        return 0;
    }
    const size_t riders = s.riders.size() + 1;
    if (riders > static_cast<size_t>(k_max_riders)) abort();
    series_read_standings(s, text);
    if (s.completed < 0 || s.completed > static_cast<int>(s.events.size())) abort();
    for (const series_event& e : s.events)
        if (e.results.size() != riders || e.round_ranks.size() != riders) abort();

    points_series again = s;
    series_read_standings(again, series_standings_text(s));
    if (again.completed != s.completed) abort();
    for (int e = 0; e < s.completed; e++)
        if (again.events[e].results != s.events[e].results) abort();

    int lineup[k_lineup_size];
    for (int e = 0; e <= s.completed && e < static_cast<int>(s.events.size()); e++) {
        series_lineup(s, e, lineup);
        int players = 0, placed = 0;
        for (int code : lineup) {
            players += code == lineup_local;
            placed += code != lineup_demo;
        }
        if (players != 1 || placed != static_cast<int>(riders)) abort();
    }
    const series_standings table = series_standings_of(s, "999");
    if (table.rows.size() != riders) abort();
    return 0;
}
