// Points series: the series and standings files, the lineup of the next event, scoring a moto
// and its round, and the standings table.
#include "race/series.h"

#include "bike/bike.h"
#include "common/message.h"
#include "files/data_file.h"
#include "files/files.h"
#include "race/race_local.h"
#include "race/race_timing.h"
#include "track/track.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr int k_text_max = 1023; // characters of a title or a word
constexpr int k_max_riders_in_series = k_max_riders - 1;
constexpr const char* k_skills[] = {"Novice", "Amateur", "Expert"};

struct series_state {
    std::vector<points_series> all;
    int running = -1; // series marked as being run for the record
    int running_event = -1;
};
series_state g_series;

// Reads the white-space separated items of a series file.
struct token_reader {
    const std::string& text;
    size_t at = 0;

    void skip_space() {
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) at++;
    }
    // A text: in double quotes (up to 1023 characters kept), or a single word.
    bool text_item(std::string* out) {
        skip_space();
        if (at >= text.size()) return false;
        out->clear();
        if (text[at] == '"') {
            const size_t close = text.find('"', at + 1);
            if (close == std::string::npos) return false;
            out->assign(text, at + 1, std::min<size_t>(close - at - 1, k_text_max));
            at = close + 1;
            return true;
        }
        return word(out);
    }
    bool word(std::string* out) {
        skip_space();
        const size_t start = at;
        while (at < text.size() && !std::isspace(static_cast<unsigned char>(text[at]))) at++;
        if (at == start) return false;
        out->assign(text, start, std::min<size_t>(at - start, k_text_max));
        return true;
    }
    bool number(int* out) {
        std::string w;
        if (!word(&w)) return false;
        errno = 0;
        char* end = nullptr;
        const long v = std::strtol(w.c_str(), &end, 10);
        if (end == w.c_str() || *end || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
        *out = static_cast<int>(v);
        return true;
    }
};

bool ends_round(const series_event& e) { return e.round_points[0] != 0; }

int rider_count(const points_series& s) { return static_cast<int>(s.riders.size()) + 1; }

int moto_points_of(const series_event& e, int rank) {
    return rank >= 0 && rank < k_series_points ? e.moto_points[rank] : 0;
}
int round_points_of(const series_event& e, int rank) {
    return rank >= 0 && rank < k_series_points ? e.round_points[rank] : 0;
}

// The events of each round, in order; motos after the last round's end make a round that
// never completes.
std::vector<std::vector<int>> rounds_of(const points_series& s) {
    std::vector<std::vector<int>> rounds;
    std::vector<int> current;
    for (int e = 0; e < static_cast<int>(s.events.size()); e++) {
        current.push_back(e);
        if (ends_round(s.events[e])) {
            rounds.push_back(current);
            current.clear();
        }
    }
    if (!current.empty()) rounds.push_back(current);
    return rounds;
}

// Gate positions in the order riders pick them: the worst placed picks first.
std::vector<int> gate_order(int riders) {
    std::vector<int> order;
    if (riders <= 15) {
        for (int p = 6; p <= 34; p += 2) order.push_back(p);
        return order;
    }
    for (int k = 0; k < 10; k++) {
        order.push_back(10 + k);
        order.push_back(9 - k);
    }
    for (int p = 20; p < k_lineup_size; p++) order.push_back(p);
    return order;
}

// The running order, or the final results when they exist: slots in place order.
std::vector<int> placed_slots(bool final) {
    std::vector<int> slots;
    if (final) {
        for (const result_entry& e : race().final_results) slots.push_back(e.slot);
        return slots;
    }
    for (int i = 0; i < running_order_count(); i++) slots.push_back(running_order_at(i).slot);
    return slots;
}

bool finished_clean(int slot) {
    if (!rider_finished(slot)) return false;
    for (const result_entry& e : final_results_compute())
        if (e.slot == slot) return e.penalty == 0;
    return false;
}

bool write_standings(const points_series& s) {
    data_file* f = data_file_open_replace(s.standings_file.c_str());
    if (!f) {
        show_message("Can't write the standings %s", s.standings_file.c_str());
        return false;
    }
    const std::string text = series_standings_text(s);
    if (!data_file_write(f, text.data(), text.size())) {
        data_file_abandon(f);
        show_message("Can't write the standings %s", s.standings_file.c_str());
        return false;
    }
    return data_file_close(f);
}

bool refuse(std::string* error, const std::string& why) {
    *error = why;
    return false;
}

// A finish as the standings show it: the place, or one past the field for no place.
std::string finish_text(int rank, int riders) {
    return std::to_string(rank >= 0 ? rank + 1 : riders + 1);
}
} // namespace

bool series_parse(const std::string& text, points_series* out, std::string* error) {
    token_reader r{text};
    points_series s;
    std::string skill;
    int count = 0;
    if (!r.text_item(&s.title)) return refuse(error, "no title");
    if (!r.number(&count) || !r.word(&skill)) return refuse(error, "no rider count and skill");
    if (count < 0 || count > k_max_riders_in_series)
        return refuse(error, "rider count " + std::to_string(count) + " is not 0 to 159");
    s.skill = 2;
    for (int i = 0; i < 3; i++)
        if (skill == k_skills[i]) s.skill = i;
    s.riders.resize(static_cast<size_t>(count));
    for (int& n : s.riders) {
        if (!r.number(&n)) return refuse(error, "short list of rider numbers");
        // A rider number has at most three digits.
        if (n < 0 || n > 999) return refuse(error, "rider number " + std::to_string(n));
    }
    int events = 0;
    if (!r.number(&events)) return refuse(error, "no event count");
    // Each event takes at least 84 items: a count beyond what the file holds is refused early.
    if (events < 0 || static_cast<size_t>(events) > text.size() / 84 + 1)
        return refuse(error,
                      "event count " + std::to_string(events) + " is more than the file holds");
    for (int e = 0; e < events; e++) {
        series_event ev;
        if (!r.text_item(&ev.title) || !r.text_item(&ev.track) || !r.number(&ev.minutes) ||
            !r.number(&ev.laps))
            return refuse(error, "event " + std::to_string(e + 1) + " is short");
        for (int& p : ev.moto_points)
            if (!r.number(&p)) return refuse(error, "event " + std::to_string(e + 1) + " is short");
        for (int& p : ev.round_points)
            if (!r.number(&p)) return refuse(error, "event " + std::to_string(e + 1) + " is short");
        ev.minutes = std::clamp(ev.minutes, 0, 24 * 60);
        ev.laps = std::clamp(ev.laps, 0, 1000);
        ev.results.assign(static_cast<size_t>(count) + 1, k_series_unranked);
        ev.round_ranks.assign(static_cast<size_t>(count) + 1, k_series_unranked);
        s.events.push_back(std::move(ev));
    }
    *out = std::move(s);
    return true;
}

void series_rank_rounds(points_series& s) {
    const int n = rider_count(s);
    std::vector<int> points(static_cast<size_t>(n), 0);
    std::vector<bool> rode(static_cast<size_t>(n), false);
    for (int e = 0; e < static_cast<int>(s.events.size()); e++) {
        series_event& ev = s.events[e];
        ev.round_ranks.assign(static_cast<size_t>(n), k_series_unranked);
        if (e >= s.completed) continue;
        for (int i = 0; i < n; i++) {
            points[i] += moto_points_of(ev, ev.results[i]);
            if (ev.results[i] >= 0) rode[i] = true;
        }
        if (!ends_round(ev)) continue;
        // Most points first; a tie goes to the better place in this moto. A rider who rode no
        // moto of the round has no place in it.
        std::vector<int> order;
        for (int i = 0; i < n; i++)
            if (rode[i]) order.push_back(i);
        auto place = [&](int i) { return ev.results[i] >= 0 ? ev.results[i] : INT_MAX; };
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            if (points[a] != points[b]) return points[a] > points[b];
            return place(a) < place(b);
        });
        for (int k = 0; k < static_cast<int>(order.size()); k++) ev.round_ranks[order[k]] = k;
        std::fill(points.begin(), points.end(), 0);
        std::fill(rode.begin(), rode.end(), false);
    }
}

void series_read_standings(points_series& s, const std::string& text) {
    const int n = rider_count(s);
    s.completed = 0;
    size_t at = 0;
    while (s.completed < static_cast<int>(s.events.size()) && at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        std::vector<int> ranks;
        const char* p = line.c_str();
        while (static_cast<int>(ranks.size()) < n) {
            char* next = nullptr;
            errno = 0;
            const long v = std::strtol(p, &next, 10);
            if (next == p || errno == ERANGE) break;
            // Places 1 to n are ranks; anything else (0 among them) has no place.
            ranks.push_back(v >= 1 && v <= n ? static_cast<int>(v - 1) : k_series_unranked);
            p = next;
        }
        if (static_cast<int>(ranks.size()) < n) break; // the first incomplete line ends the list
        s.events[s.completed++].results = ranks;
    }
    series_rank_rounds(s);
}

std::string series_standings_text(const points_series& s) {
    std::string out;
    char number[16];
    for (int e = 0; e < s.completed && e < static_cast<int>(s.events.size()); e++) {
        for (int rank : s.events[e].results) {
            snprintf(number, sizeof number, "%d ", rank >= 0 ? rank + 1 : 0);
            out += number;
        }
        out += '\n';
    }
    return out;
}

void series_load_all() {
    series_free();
    for (const std::string& name : file_index()) {
        const size_t n = name.size();
        if (n < 7 || name.compare(n - 7, 7, ".series") != 0) continue;
        const std::string file = "@" + name;
        std::string text, error;
        points_series s;
        if (!file_to_string(file.c_str(), &text)) {
            show_message("Can't read the points series %.200s", name.c_str());
            continue;
        }
        if (!series_parse(text, &s, &error)) {
            show_message("Points series %.200s left out: %.200s", name.c_str(), error.c_str());
            continue;
        }
        bool tracks = true;
        for (const series_event& e : s.events)
            if (tracks && track_list_find(e.track.c_str()) < 0) {
                show_message("Points series %.200s left out: no track \"%.200s\"", name.c_str(),
                             e.track.c_str());
                tracks = false;
            }
        if (!tracks) continue;
        s.file = file;
        s.standings_file = file + "_standings";
        std::string standings;
        // Without a readable standings file the series starts with no completed events.
        if (file_to_string(s.standings_file.c_str(), &standings))
            series_read_standings(s, standings);
        else
            series_rank_rounds(s);
        g_series.all.push_back(std::move(s));
    }
}

void series_free() { g_series = series_state{}; }
int series_count() { return static_cast<int>(g_series.all.size()); }

const points_series& series_at(int i) {
    TB_ASSERT(i >= 0 && i < series_count());
    return g_series.all[i];
}

void series_lineup(const points_series& s, int event, int* lineup) {
    const int n = static_cast<int>(s.riders.size());
    std::fill(lineup, lineup + k_lineup_size, static_cast<int>(lineup_demo));
    if (event <= 0 || event > static_cast<int>(s.events.size())) {
        for (int i = 0; i < n; i++) lineup[i] = lineup_robot_number + s.riders[i];
        lineup[n] = lineup_local;
        return;
    }
    // The riders pick gates in reverse order of the previous event's results, robots in rider
    // order before the player.
    const std::vector<int>& previous = s.events[event - 1].results;
    const std::vector<int> order = gate_order(n + 1);
    auto rank_of = [&](int i) {
        const int r = i < static_cast<int>(previous.size()) ? previous[i] : n;
        return r < 0 || r > n ? n : r;
    };
    size_t k = 0;
    for (int r = n; r >= 0; r--)
        for (int i = 0; i <= n && k < order.size(); i++)
            if (rank_of(i) == r)
                lineup[order[k++]] = i < n ? lineup_robot_number + s.riders[i] : lineup_local;
}

bool series_start_next(int series, bool for_points, const race_start_params& base) {
    if (series < 0 || series >= series_count()) return false;
    // An event still marked scores before the next one is chosen, as at every race reset.
    series_record_results(false);
    points_series& s = g_series.all[series];
    const int next = s.completed;
    if (next >= static_cast<int>(s.events.size())) return false;
    const series_event& ev = s.events[next];
    series_lineup(s, next, race().lineup);
    race_start_params params = base;
    params.track = ev.track;
    params.playback = false;
    params.time_trial = false;
    params.online = false;
    params.time_limit_tics = ev.minutes * 60 * k_tics_per_second;
    params.laps = ev.laps;
    params.skill = s.skill;
    if (!race_start(params)) return false;
    if (for_points) {
        g_series.running = series;
        g_series.running_event = next;
    }
    return true;
}

int series_running() { return g_series.running; }
int series_running_event() { return g_series.running_event; }

void series_record_results(bool final) {
    const int running = g_series.running, event = g_series.running_event;
    g_series.running = g_series.running_event = -1;
    if (running < 0 || running >= series_count()) return;
    points_series& s = g_series.all[running];
    if (event != s.completed || event >= static_cast<int>(s.events.size())) return;
    const int n = static_cast<int>(s.riders.size());
    std::vector<int> ranks(static_cast<size_t>(n) + 1, k_series_unranked);
    int next_rank = 0;
    for (int slot : placed_slots(final)) {
        const rider_slot& rs = race_slot(slot);
        if (rs.bike < 0) continue;
        if (rs.kind == rider_local) {
            if (ranks[n] == k_series_unranked && (final || finished_clean(slot)))
                ranks[n] = next_rank++;
            continue;
        }
        char* end = nullptr;
        const long number = std::strtol(rs.number, &end, 10);
        if (end == rs.number) continue;
        for (int i = 0; i < n; i++)
            if (s.riders[i] == number && ranks[i] == k_series_unranked) {
                ranks[i] = next_rank++;
                break;
            }
    }
    s.events[event].results = ranks;
    s.completed++;
    series_rank_rounds(s);
    write_standings(s);
}

void series_reset_points(int series) {
    if (series < 0 || series >= series_count()) return;
    g_series.all[series].completed = 0;
    series_rank_rounds(g_series.all[series]);
}

int series_round_count(const points_series& s) { return static_cast<int>(rounds_of(s).size()); }

int series_total(const points_series& s, int rider) {
    int total = 0;
    for (int e = 0; e < s.completed && e < static_cast<int>(s.events.size()); e++) {
        const series_event& ev = s.events[e];
        if (ends_round(ev) && rider < static_cast<int>(ev.round_ranks.size()))
            total += round_points_of(ev, ev.round_ranks[rider]);
    }
    return total;
}

series_standings series_standings_of(const points_series& s, const char* player_number) {
    series_standings out;
    char text[1024];
    const bool done = s.completed >= static_cast<int>(s.events.size());
    if (done)
        snprintf(text, sizeof text, "%.900s Final Standings", s.title.c_str());
    else
        snprintf(text, sizeof text, "Next Event: %.900s", s.events[s.completed].title.c_str());
    out.headline = text;

    const std::vector<std::vector<int>> rounds = rounds_of(s);
    // The page of rounds holding the next event, or the last round once all are done.
    int shown = 0;
    for (int r = 0; r < static_cast<int>(rounds.size()); r++)
        if (!done && s.completed >= rounds[r].front() && s.completed <= rounds[r].back()) shown = r;
    if (done) shown = std::max(0, static_cast<int>(rounds.size()) - 1);
    const int first = shown / k_series_rounds_shown * k_series_rounds_shown;
    const int last = std::min(static_cast<int>(rounds.size()), first + k_series_rounds_shown);

    out.header = {"No.", "Total"};
    for (int r = first; r < last; r++) out.header.push_back("Rd " + std::to_string(r + 1));
    const int n = static_cast<int>(s.riders.size());
    for (int i = 0; i <= n; i++) {
        series_standings::row row;
        row.rider = i;
        row.player = i == n;
        row.total = series_total(s, i);
        row.cells.push_back(row.player ? player_number : std::to_string(s.riders[i]));
        row.cells.push_back(std::to_string(row.total));
        for (int r = first; r < last; r++) {
            const std::vector<int>& motos = rounds[r];
            std::string finishes;
            int ridden = 0;
            for (int e : motos) {
                if (e >= s.completed) break;
                if (ridden++) finishes += "-";
                finishes += finish_text(s.events[e].results[i], n);
            }
            const series_event& end = s.events[motos.back()];
            if (ridden == static_cast<int>(motos.size()) && ends_round(end))
                snprintf(text, sizeof text, "%d (%s)", round_points_of(end, end.round_ranks[i]),
                         finishes.c_str());
            else if (ridden > 0)
                snprintf(text, sizeof text, "- (%s-)", finishes.c_str());
            else
                text[0] = 0;
            row.cells.push_back(text);
        }
        out.rows.push_back(std::move(row));
    }
    std::stable_sort(out.rows.begin(), out.rows.end(),
                     [](const series_standings::row& a, const series_standings::row& b) {
                         return a.total > b.total;
                     });
    return out;
}
