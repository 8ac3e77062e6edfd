// Points series: championships of robot riders and the player over events on installed tracks,
// their standings files, running the next event and scoring the results of its race.
#pragma once

#include "race/race.h"

#include <string>
#include <vector>

constexpr int k_series_points = 40;      // points table entries: positions 1 to 40
constexpr int k_series_unranked = -1;    // a rider without a place in a moto or round
constexpr int k_series_rounds_shown = 8; // rounds on one page of the standings

// One event (moto): its track, race length and points tables, and what it gave each rider.
struct series_event {
    std::string title;
    std::string track; // folder of an installed track
    int minutes = 0;
    int laps = 0;
    int moto_points[k_series_points] = {};
    // Points for the round's positions; a first value of 0: this moto does not end a round.
    int round_points[k_series_points] = {};
    std::vector<int> results;     // per rider (the player last): 0-based finish, or unranked
    std::vector<int> round_ranks; // per rider, for motos that end a round
};

struct points_series {
    std::string title;
    std::string file;           // data-file name of the series file, "@cup.series"
    std::string standings_file; // the series file's name followed by "_standings"
    int skill = 2;              // "Robot Skill" index: Novice, Amateur, Expert
    std::vector<int> riders;    // robot numbers; the player is rider riders.size()
    std::vector<series_event> events;
    int completed = 0; // events with recorded results
};

// Reads a series file's text; the tracks are not checked. False, with
// the reason, when the file is short or a count is out of range.
bool series_parse(const std::string& text, points_series* out, std::string* error);
// Reads a standings file's text: each whole line of rider count + 1 numbers is one completed
// event (lines beyond the events ignored); the round ranks are recomputed.
void series_read_standings(points_series& s, const std::string& text);
// The standings file's text for the completed events.
std::string series_standings_text(const points_series& s);
// Every round rank, from the completed events' results.
void series_rank_rounds(points_series& s);

// Every indexed ".series" file whose tracks are all installed, with its standings. A series
// that cannot be used is dropped with a message.
void series_load_all();
void series_free();
int series_count();
const points_series& series_at(int i);

// The lineup of an event: rider i at gate i and the player behind them for the first, then
// gates picked from the gate order table, the worst placed of the previous event first.
void series_lineup(const points_series& s, int event, int* lineup);
// Starts the series' next event (nothing when every event is done): the lineup picks gates by
// the previous event's results, the race is reset on its track with its length and the series'
// robot skill; `base` gives recording. With `for_points` the event is marked as run for the
// record. True when a race was started.
bool series_start_next(int series, bool for_points, const race_start_params& base);
// The series and event being run for the record, -1 for none.
int series_running();
int series_running_event();
// Records the results of a marked event: the final results when `final`, else the running
// order (a race reset or shut-down before the results are final). Rewrites the standings file.
void series_record_results(bool final);
// "Reset Points": no completed events (the file is rewritten at the next recorded event).
void series_reset_points(int series);

// What the standings screen shows: a headline, then one row per rider sorted by total, each
// with its number, total and "Rd %d" cells for the page of rounds holding the next event.
struct series_standings {
    std::string headline;
    std::vector<std::string> header;
    struct row {
        int rider = 0;
        bool player = false;
        int total = 0;
        std::vector<std::string> cells;
    };
    std::vector<row> rows;
};
// The player's number is the one the setup shows.
series_standings series_standings_of(const points_series& s, const char* player_number);
int series_round_count(const points_series& s);
// The event's points towards the total so far for a rider (sum of the round points earned).
int series_total(const points_series& s, int rider);
