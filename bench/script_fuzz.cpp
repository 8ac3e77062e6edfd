// Hostile track scripts for a given time: random and mutated programs (token soup, deep nesting,
// huge strings, odd values thrown, getters, recursion, loops, the engine's slow functions) loaded
// and run through a few hundred tics and frames, each within a bounded wall time. A script that
// runs past it is printed and the run fails; so does one that crashes, leaves memory behind, goes
// past its budget or counts its work differently when run again. Counts are printed at the end.
//
// script_fuzz [seconds [seed]]: the seed (by default taken from the clock) is printed first, so a
// run can be repeated. script_fuzz -f file: runs the one script in the file the same way and
// prints what each of its calls cost.
#include "common/common.h"
#include "common/message.h"
#include "platform/log.h"
#include "track/track_script.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

namespace {
// A script's load, tics and frames together stay far below this: its budgets allow two calls'
// worth a race second and a tenth of a second a call on a slow machine. More is a hang.
constexpr unsigned k_script_wall_limit = 30; // s
constexpr int k_tics = 300;
// Every so many scripts one is run twice, and must count the same work both times.
constexpr int k_determinism_every = 16;
const char* const k_hang_file = "script_fuzz_hang.js";
const char* const k_slowest_file = "script_fuzz_slowest.js";

// The script running now, for the watchdog and the crash handlers to print.
const char* g_text = nullptr;
size_t g_length = 0;

void write_all(int fd, const char* text, size_t n) {
    while (n > 0) {
        const ssize_t w = write(fd, text, n);
        if (w <= 0) return;
        text += w;
        n -= static_cast<size_t>(w);
    }
}

// Only what a signal handler may call: the script to the standard error and to a file.
void report_script(const char* what) {
    write_all(2, what, strlen(what));
    write_all(2, g_text, g_length);
    write_all(2, "\n", 1);
    const int fd = open(k_hang_file, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    write_all(fd, g_text, g_length);
    close(fd);
}

void on_alarm(int) {
    report_script("script_fuzz: a script ran past its wall time (kept in script_fuzz_hang.js):\n");
    _exit(3);
}

void on_crash(int sig) {
    report_script("script_fuzz: a script crashed the program (kept in script_fuzz_hang.js):\n");
    signal(sig, SIG_DFL);
    raise(sig);
}

#if defined(__SANITIZE_ADDRESS__)
void on_sanitizer_death() { report_script("script_fuzz: the sanitizer stopped this script:\n"); }
#endif

// A race for the scripts to read: four riders, two laps done.
int clock_tic = 0;
bool occupied(int slot) { return slot < 4; }
const script_race k_race = {
    [] { return clock_tic; },
    [] { return 256; },
    [] { return 0; },
    [] { return 3; },
    [] { return 4; },
    [](int i, int* slot, int* position, int* tic) {
        *slot = 3 - i;
        *position = 8 - i;
        *tic = 100 * i;
    },
    occupied,
    [](int slot) { return 8 - slot; },
    [](int slot, int k) { return k < 8 - slot ? 50 * k : -1; },
    [](int slot) { return slot == 2; },
    [](int) { return "17"; },
    [](int) { return "Rider"; },
    [](int slot, double out[3]) {
        out[0] = slot, out[1] = 1, out[2] = 2;
        return occupied(slot);
    },
    [](int slot, double out[3]) {
        out[0] = 1, out[1] = slot, out[2] = 0;
        return occupied(slot);
    },
};

using rng = std::mt19937_64;

int pick(rng& r, int n) { return static_cast<int>(r() % static_cast<uint64_t>(n)); }
bool chance(rng& r, int in) { return pick(r, in) == 0; }
template <size_t n> const char* one_of(rng& r, const char* const (&list)[n]) {
    return list[pick(r, static_cast<int>(n))];
}

// Sizes spread over orders of magnitude, up to past what the memory limit holds.
int size(rng& r) { return 1 << pick(r, 27); }

std::string number(rng& r) {
    const char* const odd[] = {"0",         "-0",    "1",      "NaN",        "Infinity",
                               "-Infinity", "1e308", "5e-324", "0x7fffffff", "4294967296",
                               "-1",        "2.5",   "160",    "1 << 30"};
    return chance(r, 3) ? std::to_string(pick(r, 1000)) : one_of(r, odd);
}

std::string text_literal(rng& r) {
    const char* const odd[] = {"''",
                               "'x'",
                               "'\\u00e9\\ud83d\\ude00'",
                               "'@objects/flag.jm'",
                               "'../../etc/passwd'",
                               "'/'",
                               "'qv.tic_handler'",
                               "'\\0'",
                               "'(line 9)'"};
    return one_of(r, odd);
}

std::string expression(rng& r, int depth);

std::string arguments(rng& r, int depth) {
    std::string out;
    const int n = pick(r, 5);
    for (int i = 0; i < n; i++) out += (i ? ", " : "") + expression(r, depth - 1);
    return out;
}

// A value whose conversion runs code: toString, valueOf, a getter, a proxy.
std::string trap_value(rng& r, int depth) {
    const std::string body = chance(r, 3) ? "for (;;) {}" : "return " + expression(r, depth - 1);
    switch (pick(r, 7)) {
    case 0:
        return "{toString: function () { " + body + "; }}";
    case 1:
        return "{valueOf: function () { " + body + "; }}";
    case 2:
        return "{get length() { " + body + "; }}";
    case 3:
        return "new Proxy({}, {get: function () { " + body + "; }})";
    case 4:
        return "{toJSON: function () { " + body + "; }}";
    case 5:
        return "{toString: function () { throw this; }}";
    default:
        return "(function f() { return f; })";
    }
}

std::string regexp(rng& r) {
    const char* const parts[] = {"a",   "a*",      "(a|aa)", "(a*)*",  "b", ".",
                                 "\\1", "(?:a+)+", "[^b]",   "a{1,9}", "$", "^"};
    std::string pattern;
    const int n = 1 + pick(r, 6);
    for (int i = 0; i < n; i++) pattern += one_of(r, parts);
    return "/" + pattern + "/" + (chance(r, 2) ? "g" : "");
}

std::string expression(rng& r, int depth) {
    if (depth <= 0) return chance(r, 2) ? number(r) : text_literal(r);
    const int d = depth - 1;
    switch (pick(r, 30)) {
    case 0:
        return number(r);
    case 1:
        return text_literal(r);
    case 2:
        return "'x'.repeat(" + std::to_string(size(r)) + ")";
    case 3:
        return "new Array(" + std::to_string(size(r)) + ").join(" + text_literal(r) + ")";
    case 4:
        return "[" + arguments(r, d) + "]";
    case 5:
        return "{a: " + expression(r, d) + ", get b() { return " + expression(r, d) + "; }}";
    case 6:
        return trap_value(r, d);
    case 7:
        return "(" + expression(r, d) + " + " + expression(r, d) + ")";
    case 8:
        return "(" + expression(r, d) + " < " + expression(r, d) + ")";
    case 9:
        return "String(" + expression(r, d) + ")";
    case 10:
        return "+" + expression(r, d);
    case 11: {
        const char* const fns[] = {"message",
                                   "read_texture",
                                   "begin_custom_frame",
                                   "end_custom_frame",
                                   "paste_custom_frame",
                                   "get_running_order",
                                   "get_running_order_slot",
                                   "get_timing",
                                   "get_timing_position",
                                   "get_rider_name",
                                   "get_position_",
                                   "get_position",
                                   "get_velocity_",
                                   "pose_statue",
                                   "move_statue",
                                   "lap_to_index",
                                   "index_to_lap",
                                   "get_gate_drop_time",
                                   "tic_handler_",
                                   "frame_handler_"};
        return std::string("qv.") + one_of(r, fns) + "(" + arguments(r, d) + ")";
    }
    case 12: {
        const char* const methods[] = {"sort",    "join",    "indexOf",     "reverse", "concat",
                                       "splice",  "slice",   "map",         "filter",  "forEach",
                                       "reduce",  "some",    "lastIndexOf", "push",    "shift",
                                       "unshift", "toString"};
        return "[" + arguments(r, d) + "]." + one_of(r, methods) + "(" + arguments(r, d) + ")";
    }
    case 13: {
        const char* const methods[] = {"split", "replace",     "indexOf",       "search",
                                       "match", "charAt",      "charCodeAt",    "substring",
                                       "trim",  "toUpperCase", "localeCompare", "repeat",
                                       "concat"};
        return "String(" + expression(r, d) + ")." + one_of(r, methods) + "(" + arguments(r, d) +
               ")";
    }
    case 14:
        return regexp(r) + ".test(" + expression(r, d) + ")";
    case 15:
        return "JSON.stringify(" + expression(r, d) + ")";
    case 16:
        return "JSON.parse(" + expression(r, d) + ")";
    case 17:
        return "eval(" + expression(r, d) + ")";
    case 18:
        return "new Function(" + expression(r, d) + ")";
    case 19:
        return "(function (n) { return n > 0 ? arguments.callee(n - 1) : 0; })(" +
               std::to_string(size(r)) + ")";
    case 20:
        return "Object.keys(" + expression(r, d) + ")";
    case 21:
        return "new Uint8Array(" + std::to_string(size(r)) + ")";
    case 22:
        return "Math.max.apply(null, new Array(" + std::to_string(size(r)) + "))";
    case 23:
        return "Object.defineProperty({}, 'x', {get: function () { return " + expression(r, d) +
               "; }}).x";
    case 24: {
        // Deep nesting, now and then unbalanced.
        const size_t open = static_cast<size_t>(pick(r, 3000));
        const size_t close = chance(r, 4) ? static_cast<size_t>(pick(r, 3000)) : open;
        return std::string(open, '(') + expression(r, d) + std::string(close, ')');
    }
    case 25:
        return "JSON.parse('" + std::string(static_cast<size_t>(size(r) % 100000), '[') + "')";
    case 26:
        return "parseInt(' '.repeat(" + std::to_string(size(r)) + ") + '9')";
    case 27:
        return "Object.create(" + expression(r, d) + ")";
    case 28:
        return "(typeof " + expression(r, d) + ")";
    default:
        return "qv." + std::string(chance(r, 2) ? "seconds" : "max_slots");
    }
}

// A thrown value: plain, odd, or one whose reading runs code.
std::string thrown(rng& r, int depth) {
    const char* const odd[] = {"null",
                               "undefined",
                               "Symbol('s')",
                               "Object.create(null)",
                               "new Error()",
                               "[]",
                               "function () {}",
                               "1e308",
                               "new RangeError('x'.repeat(5000))"};
    switch (pick(r, 4)) {
    case 0:
        return one_of(r, odd);
    case 1:
        return trap_value(r, depth);
    case 2: {
        const std::string getter = chance(r, 2) ? "for (;;) {}" : "throw new Error('line')";
        return "(function () { var e = new Error('e'); Object.defineProperty(e, 'lineNumber', "
               "{get: function () { " +
               getter + "; }}); return e; })()";
    }
    default:
        return expression(r, depth);
    }
}

std::string statement(rng& r, int depth);

std::string block(rng& r, int depth) {
    std::string out = "{\n";
    const int n = 1 + pick(r, 4);
    for (int i = 0; i < n; i++) out += statement(r, depth - 1);
    return out + "}\n";
}

std::string statement(rng& r, int depth) {
    if (depth <= 0) return "x = " + expression(r, 1) + ";\n";
    const int d = depth - 1;
    switch (pick(r, 18)) {
    case 0:
        return "var x = " + expression(r, d) + ";\n";
    case 1:
        return "x = " + expression(r, d) + ";\n";
    case 2:
        return "if (" + expression(r, d) + ") " + block(r, d);
    case 3:
        return "for (var i = 0; i < " + std::to_string(size(r)) + "; i++) " + block(r, d);
    case 4:
        return "for (;;) " + (chance(r, 2) ? std::string("{}\n") : block(r, d));
    case 5:
        return "try " + block(r, d) + "catch (e) " + block(r, d);
    case 6:
        return "try " + block(r, d) + "finally " + block(r, d);
    case 7:
        return "throw " + thrown(r, d) + ";\n";
    case 8:
        return "function f" + std::to_string(pick(r, 4)) + "(n) { return f" +
               std::to_string(pick(r, 4)) + "(n + 1) + " + expression(r, d) + "; }\n";
    case 9:
        return "f" + std::to_string(pick(r, 4)) + "(0);\n";
    case 10:
        return "var s = " + text_literal(r) + "; while (" + expression(r, d) + ") s += s;\n";
    case 11:
        return "with (" + expression(r, d) + ") " + block(r, d);
    case 12: {
        const char* const name = chance(r, 2) ? "tic_handler" : "frame_handler";
        return std::string("qv.") + name + " = function (seconds) " + block(r, d);
    }
    case 13: {
        const char* const names[] = {"tic_handler", "frame_handler", "seconds", "tic_handler_"};
        return std::string("Object.defineProperty(qv, '") + one_of(r, names) +
               "', {get: function () { " + statement(r, d) +
               " return function () {}; }, set: "
               "function (v) { " +
               statement(r, d) + " }});\n";
    }
    case 14: {
        const char* const acts[] = {"delete qv.tic_handler;\n",
                                    "qv.tic_handler_ = 5;\n",
                                    "qv = null;\n",
                                    "Object.freeze(qv);\n",
                                    "Object.setPrototypeOf(qv, new Proxy({}, {}));\n",
                                    "this.qv = {};\n"};
        return one_of(r, acts);
    }
    case 15: {
        const size_t open = static_cast<size_t>(pick(r, 400));
        const size_t close = chance(r, 4) ? static_cast<size_t>(pick(r, 400)) : open;
        return std::string(open, '{') + statement(r, d) + std::string(close, '}') + "\n";
    }
    case 16:
        return "var o = {}; for (var k = 0; k < " + std::to_string(size(r) % 20000) +
               "; k++) o = Object.create(o); o.missing;\n";
    default:
        return expression(r, d) + ";\n";
    }
}

// Token soup, mostly for the compiler's error paths.
std::string tokens(rng& r) {
    const char* const list[] = {"var", "function",    "(",   ")",   "{",   "}",      "[",  "]",
                                ";",   "=",           "+",   "=>",  "for", "while",  "if", "qv",
                                ".",   "tic_handler", "'",   "\"",  "/",   "*",      "\\", "x",
                                "1e9", "throw",       "new", "get", ",",   "return", "`",  "\n"};
    std::string out;
    const int n = pick(r, 200);
    for (int i = 0; i < n; i++) out += std::string(one_of(r, list)) + " ";
    return out;
}

std::string program(rng& r) {
    if (chance(r, 10)) return tokens(r);
    // Most scripts leave handlers for the tics and frames to run, set before or after the rest;
    // the rest is often caught, so that what follows a throw runs too.
    std::string handlers;
    if (!chance(r, 4)) handlers += "qv.tic_handler = function (seconds) " + block(r, 3);
    if (chance(r, 2)) handlers += "qv.frame_handler = function (seconds) " + block(r, 2);
    const bool first = chance(r, 2);
    std::string out = first ? handlers : "";
    const int n = 1 + pick(r, 6);
    for (int i = 0; i < n; i++) {
        const std::string one = statement(r, 1 + pick(r, 4));
        out += chance(r, 2) ? "try {\n" + one + "} catch (e) {}\n" : one;
    }
    return first ? out : out + handlers;
}

// One of the earlier scripts with a piece cut out, copied in from another, or repeated.
std::string mutated(rng& r, const std::vector<std::string>& pool) {
    std::string s = pool[static_cast<size_t>(pick(r, static_cast<int>(pool.size())))];
    const std::string& other = pool[static_cast<size_t>(pick(r, static_cast<int>(pool.size())))];
    if (s.empty() || other.empty()) return s + other;
    const size_t at = r() % s.size(), n = r() % (s.size() - at + 1);
    const size_t from = r() % other.size(), m = r() % (other.size() - from + 1);
    switch (pick(r, 4)) {
    case 0:
        return s.erase(at, n);
    case 1:
        return s.insert(at, other, from, m);
    case 2:
        return s.replace(at, n, other, from, m);
    default:
        return s + s.substr(at, n);
    }
}

static_assert(script_out_of_memory == 3, "counts keep one number for each way a script stops");

struct counts {
    long scripts = 0, mutated = 0, load_errors = 0, handler_errors = 0, still_running = 0;
    long stopped[4] = {0, 0, 0, 0}; // by script_stop
    long determinism_runs = 0, faults = 0;
    double slowest = 0; // s
    int most_checks = 0;
};

// What a run of a script leaves: each call's checks, how it stopped, its error.
struct run_result {
    std::vector<int> checks;
    script_stop stop = script_running;
    std::string error;
    bool load_error = false;
};

// The wall time of each call, when a single script is looked at.
std::vector<double>* g_call_times = nullptr;

double now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

run_result run_script(const std::string& source) {
    run_result out;
    double t = now();
    const auto timed = [&] {
        if (!g_call_times) return;
        const double was = t;
        t = now();
        g_call_times->push_back(t - was);
    };
    clock_tic = 0;
    track_script_load_text(source, "frills.js", &k_race);
    out.checks.push_back(track_script_last_checks());
    timed();
    out.load_error = track_script_running() && track_script_error()[0] != 0;
    const char* const args[] = {"3", "x"};
    for (int tic = 0; tic < k_tics && track_script_running(); tic++) {
        clock_tic = tic;
        track_script_tic_handler(tic);
        out.checks.push_back(track_script_last_checks());
        timed();
        if (tic % 2 == 0) {
            track_script_frame_handler(tic);
            out.checks.push_back(track_script_last_checks());
            timed();
        }
        if (tic % 100 == 50) {
            track_script_call("qv.index_to_lap", args, 2);
            track_script_json("qv");
            t = now();
        }
    }
    out.stop = track_script_stopped();
    out.error = track_script_error();
    return out;
}

bool fault(counts& c, const char* what, const std::string& source) {
    c.faults++;
    g_text = source.data();
    g_length = source.size();
    report_script(what);
    return true;
}

// Runs the script in the file and prints each call's checks and time, the costliest first.
int look_at(const char* path) {
    std::string source;
    if (FILE* f = std::fopen(path, "rb")) {
        char buffer[65536];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) source.append(buffer, n);
        std::fclose(f);
    } else {
        std::fprintf(stderr, "script_fuzz: can't read %s\n", path);
        return 1;
    }
    std::vector<double> times;
    g_call_times = &times;
    const double t0 = now();
    const run_result result = run_script(source);
    track_script_unload();
    std::printf("%zu calls in %.3f s, stopped %d: %s\n", result.checks.size(), now() - t0,
                static_cast<int>(result.stop), result.error.c_str());
    std::vector<size_t> order(times.size());
    for (size_t i = 0; i < order.size(); i++) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return times[a] > times[b]; });
    for (size_t i = 0; i < order.size() && i < 10; i++)
        std::printf("  call %zu: %d checks, %.3f s\n", order[i], result.checks[order[i]],
                    times[order[i]]);
    return 0;
}
} // namespace

int main(int argc, char** argv) {
    if (argc > 2 && strcmp(argv[1], "-f") == 0) {
        log_close();
        return look_at(argv[2]);
    }
    const double seconds = argc > 1 ? atof(argv[1]) : 60;
    const uint64_t seed =
        argc > 2 ? strtoull(argv[2], nullptr, 10) : static_cast<uint64_t>(time(nullptr));
    std::printf("script_fuzz: %.0f s, seed %llu\n", seconds, static_cast<unsigned long long>(seed));
    std::fflush(stdout);
    // Errors are what these scripts are for; a log of them would only fill the disk.
    log_close();
    signal(SIGALRM, on_alarm);
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) signal(sig, on_crash);
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_set_death_callback(on_sanitizer_death);
#endif
    rng r(seed);
    std::vector<std::string> pool;
    counts c;
    std::string slowest;
    const double start = now();
    while (now() - start < seconds) {
        const bool mutate = pool.size() > 8 && chance(r, 3);
        const std::string source = mutate ? mutated(r, pool) : program(r);
        if (pool.size() < 512)
            pool.push_back(source);
        else
            pool[static_cast<size_t>(pick(r, 512))] = source;
        g_text = source.data();
        g_length = source.size();
        alarm(k_script_wall_limit);
        const double t0 = now();
        const run_result result = run_script(source);
        const double took = now() - t0;
        const int64_t memory = track_script_memory();
        track_script_unload();
        alarm(0);
        c.scripts++;
        c.mutated += mutate;
        c.load_errors += result.load_error;
        c.stopped[result.stop]++;
        c.still_running += result.stop == script_running;
        c.handler_errors += result.stop == script_running && !result.error.empty();
        if (took > c.slowest) {
            c.slowest = took;
            slowest = source;
        }
        for (int k : result.checks)
            if (k > c.most_checks) c.most_checks = k;
        // A call ends at most one instruction past its budget, and no instruction's work counts
        // more than a step for each byte a script may hold.
        for (int k : result.checks)
            if (k > k_script_budget_checks + k_script_memory_limit / 256) {
                fault(c, "script_fuzz: a call went past its budget:\n", source);
                break;
            }
        if (memory > k_script_memory_limit)
            fault(c, "script_fuzz: a script held more than its memory:\n", source);
        if (track_script_memory() != 0)
            fault(c, "script_fuzz: an unloaded script left memory behind:\n", source);
        if (c.scripts % k_determinism_every == 0) {
            alarm(k_script_wall_limit);
            const run_result again = run_script(source);
            track_script_unload();
            alarm(0);
            c.determinism_runs++;
            if (again.checks != result.checks || again.stop != result.stop ||
                again.error != result.error)
                fault(c, "script_fuzz: a script counted its work differently the second time:\n",
                      source);
        }
        messages_clear();
    }
    std::printf("script_fuzz: %ld scripts (%ld mutated) in %.0f s, %ld run twice\n", c.scripts,
                c.mutated, now() - start, c.determinism_runs);
    std::printf("  stopped: %ld out of time, %ld out of a second's budget, %ld out of memory\n",
                c.stopped[script_out_of_time], c.stopped[script_out_of_second],
                c.stopped[script_out_of_memory]);
    std::printf("  running to the end: %ld (%ld with a handler's error kept), load errors shown: "
                "%ld\n",
                c.still_running, c.handler_errors, c.load_errors);
    std::printf("  slowest script %.2f s, most checks in one call %d (budget %d)\n", c.slowest,
                c.most_checks, k_script_budget_checks);
    std::printf("  faults: %ld\n", c.faults);
    if (FILE* f = std::fopen(k_slowest_file, "w")) {
        std::fwrite(slowest.data(), 1, slowest.size(), f);
        std::fclose(f);
        std::printf("  the slowest script is kept in %s\n", k_slowest_file);
    }
    return c.faults ? 1 : 0;
}
