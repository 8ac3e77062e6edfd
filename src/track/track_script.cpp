// The track script's context: creating it with a counted heap, evaluating the prelude and the
// script, calling handlers under an execution budget, and stopping a script that overruns.
#include "track/track_script.h"
#include "track/track_script_local.h"

#include "common/common.h"
#include "common/message.h"
#include "files/files.h"
#include "platform/log.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
script_state g_script;

// Every block the engine asks for carries its size in front, so frees and resizes can be
// counted against the limit. 16 bytes keep the block aligned for any type.
constexpr size_t k_head = 16;

// Whether a block may be had within the memory limit; a block had costs work as a copy of it
// would. A refusal stops the script at once, so the budget's checks unwind the call even if the
// script catches the refusal.
bool may_allocate(script_state& s, int64_t more) {
    if (s.memory + more <= k_script_memory_limit) {
        TB_SCRIPT_CHARGE(1 + more / 64);
        return true;
    }
    s.refused = true;
    // The next place that looks at the budget ends the call.
    if (s.calling) track_script_meter.limit = LLONG_MIN;
    return false;
}

void* script_alloc(void* udata, duk_size_t size) {
    script_state& s = *static_cast<script_state*>(udata);
    if (size == 0 || !may_allocate(s, static_cast<int64_t>(size))) return nullptr;
    auto* block = static_cast<unsigned char*>(malloc(size + k_head));
    if (!block) return nullptr;
    memcpy(block, &size, sizeof size);
    s.memory += static_cast<int64_t>(size);
    return block + k_head;
}

void script_free(void* udata, void* ptr) {
    if (!ptr) return;
    script_state& s = *static_cast<script_state*>(udata);
    unsigned char* block = static_cast<unsigned char*>(ptr) - k_head;
    duk_size_t size;
    memcpy(&size, block, sizeof size);
    s.memory -= static_cast<int64_t>(size);
    free(block);
}

void* script_realloc(void* udata, void* ptr, duk_size_t size) {
    if (!ptr) return script_alloc(udata, size);
    if (size == 0) {
        script_free(udata, ptr);
        return nullptr;
    }
    script_state& s = *static_cast<script_state*>(udata);
    unsigned char* block = static_cast<unsigned char*>(ptr) - k_head;
    duk_size_t old;
    memcpy(&old, block, sizeof old);
    if (size > old && !may_allocate(s, static_cast<int64_t>(size - old))) return nullptr;
    auto* grown = static_cast<unsigned char*>(realloc(block, size + k_head));
    if (!grown) return nullptr;
    memcpy(grown, &size, sizeof size);
    s.memory += static_cast<int64_t>(size) - static_cast<int64_t>(old);
    return grown + k_head;
}

// Errors outside every protected call. No script code runs outside one, so only a fault of the
// engine itself gets here, and it must not return.
void script_fatal(void*, const char* message) {
    log("Script engine failure: %s\n", message ? message : "");
    abort();
}

void set_error(const char* text) { snprintf(g_script.error, sizeof g_script.error, "%s", text); }

// [error] -> [text]: the thrown value as text. Both this and error_line may run the script's own
// code (the value's toString, a lineNumber getter), so they run protected and within the budget of
// the call that threw. A protected call shares its caller's stack, so the error is at the top.
duk_ret_t error_string(duk_context* ctx, void*) {
    duk_to_string(ctx, -1);
    return 1;
}

// [error] -> [line]: the line an error object says it was thrown at.
duk_ret_t error_line(duk_context* ctx, void*) {
    if (!duk_is_error(ctx, -1)) return 0;
    duk_get_prop_string(ctx, -1, "lineNumber");
    return 1;
}

// The error at the top of the stack as text, with the line it was thrown at when its own text
// does not say. A text the budget does not leave room for is no text: the script is then stopped.
void set_error_of_top(duk_context* ctx) {
    duk_dup_top(ctx);
    if (duk_safe_call(ctx, error_string, nullptr, 1, 1) != DUK_EXEC_SUCCESS ||
        !duk_is_string(ctx, -1)) {
        set_error("error thrown");
        duk_pop(ctx);
        return;
    }
    std::string text = duk_get_string(ctx, -1);
    duk_pop(ctx);
    if (text.find("(line ") == std::string::npos) {
        duk_dup_top(ctx);
        if (duk_safe_call(ctx, error_line, nullptr, 1, 1) == DUK_EXEC_SUCCESS &&
            duk_is_number(ctx, -1))
            text += " (line " + std::to_string(duk_get_int(ctx, -1)) + ")";
        duk_pop(ctx);
    }
    set_error(text.c_str());
}

void destroy_context() {
    if (g_script.ctx) duk_destroy_heap(g_script.ctx);
    g_script.ctx = nullptr;
    track_script_meter.countdown = track_script_meter.countdown_start = nullptr;
    script_canvas_clear();
}

// After every call: a script that ran out of its budget or its memory is stopped for good, and
// said so once; the race goes on without it.
void stop_if_overrun(const char* what, const script_pool* pool) {
    if (g_script.stop == script_running && g_script.refused) g_script.stop = script_out_of_memory;
    if (g_script.stop == script_running) return;
    const char* budget = g_script.stop == script_out_of_memory ? "memory limit reached in"
                         : g_script.stop == script_out_of_time ? "execution budget spent in"
                         : pool == &g_script.frames ? "execution budget of 128 frames spent in"
                                                    : "execution budget of a race second spent in";
    char text[1024];
    snprintf(text, sizeof text, "%s %s - the track script is stopped", budget, what);
    set_error(text);
    show_message("javascript error: %.900s\n", text);
    destroy_context();
}

// Runs the protected call `run` with a budget of its own and, when it is one of a pool's calls,
// at most what is left of the pool; false when it threw (the error text is then set).
bool run_protected(duk_safe_call_function run, void* udata, int args, const char* what,
                   script_pool* pool) {
    script_state& s = g_script;
    duk_context* ctx = s.ctx;
    const int64_t start = track_script_meter.work;
    int64_t allowed = k_script_budget_checks * k_script_check_work;
    s.pool_limits = false;
    if (pool) {
        const int64_t left = k_script_second_checks * k_script_check_work - pool->spent;
        s.pool_limits = left < allowed;
        if (s.pool_limits) allowed = left;
    }
    track_script_meter.limit = start + allowed;
    s.calling = true;
    const bool ok = duk_safe_call(ctx, run, udata, args, 1) == DUK_EXEC_SUCCESS;
    if (!ok) set_error_of_top(ctx);
    // The engine's own work may have passed the limit after the last place that looks.
    track_script_budget_gone();
    s.calling = false;
    track_script_meter.limit = LLONG_MAX;
    const int64_t used = track_script_meter.work - start;
    // What unwinding a stopped call costs is not the script's doing.
    const int64_t counted = s.stop == script_running ? used : s.stop_work - start;
    s.last_checks = static_cast<int>((counted + k_script_check_work - 1) / k_script_check_work);
    if (pool) pool->spent += used;
    duk_pop(ctx);
    stop_if_overrun(what, pool);
    return ok;
}

struct source_text {
    const char* text;
    size_t length;
    const char* name;
};

// Compiles and runs a program text: [] -> [result].
duk_ret_t evaluate(duk_context* ctx, void* udata) {
    const source_text& s = *static_cast<const source_text*>(udata);
    duk_push_string(ctx, s.name);
    duk_compile_lstring_filename(ctx, 0, s.text, s.length);
    duk_call(ctx, 0);
    return 1;
}

bool evaluate_shown(const char* text, size_t length, const char* name) {
    source_text s = {text, length, name};
    if (run_protected(evaluate, &s, 0, name, nullptr)) return true;
    if (g_script.stop == script_running) show_message("javascript error: %.900s\n", g_script.error);
    return false;
}

struct call_request {
    const char* path;
    const char* const* args;
    int arg_count;
    bool found = false; // the path led to a function
};

// Walks the dotted path from the global object and calls what it ends at, with the object that
// holds it as `this`: [] -> [result]. A path that does not lead to a function leaves `found`
// false and its error text set.
duk_ret_t call_path(duk_context* ctx, void* udata) {
    call_request& r = *static_cast<call_request*>(udata);
    char text[1024];
    duk_push_global_object(ctx); // [holder]
    const char* at = r.path;
    for (;;) {
        const char* dot = strchr(at, '.');
        const size_t n = dot ? static_cast<size_t>(dot - at) : strlen(at);
        duk_get_prop_lstring(ctx, -1, at, n); // [holder value]
        // On the way every name must hold an object; the last one must at least be there.
        const bool usable =
            dot ? duk_is_object(ctx, -1) || duk_is_function(ctx, -1) : !duk_is_undefined(ctx, -1);
        if (!usable) {
            snprintf(text, sizeof text, "can't find %.800s", r.path);
            set_error(text);
            duk_push_undefined(ctx);
            return 1;
        }
        if (!dot) break;
        duk_remove(ctx, -2); // the value holds the next name
        at = dot + 1;
    }
    if (!duk_is_callable(ctx, -1)) {
        snprintf(text, sizeof text, "%.800s is not a function", r.path);
        set_error(text);
        duk_push_undefined(ctx);
        return 1;
    }
    r.found = true;
    duk_swap_top(ctx, -2); // [function holder]
    for (int i = 0; i < r.arg_count; i++) duk_push_string(ctx, r.args[i]);
    duk_call_method(ctx, r.arg_count);
    return 1;
}

// A handler's call with the race clock as text, spending from `pool` for `window`: the pool starts
// empty in every new window.
void call_handler(const char* path, int tic, script_pool* pool, int64_t window) {
    if (!track_script_running()) return;
    if (pool->window != window) *pool = {window, 0};
    char clock[16];
    snprintf(clock, sizeof clock, "%d", tic);
    const char* args[] = {clock};
    call_request r = {path, args, 1};
    run_protected(call_path, &r, 0, path, pool);
}

struct json_request {
    const std::string& code;
    std::string out;
};

// [] -> [undefined]: the code's value when it is a text. Nothing here needs its destructor run,
// as an error leaves by a long jump.
duk_ret_t json_of(duk_context* ctx, void* udata) {
    json_request& r = *static_cast<json_request*>(udata);
    duk_eval_lstring(ctx, r.code.data(), r.code.size());
    if (duk_is_string(ctx, -1)) r.out = duk_get_string(ctx, -1);
    duk_push_undefined(ctx);
    return 1;
}
} // namespace

script_state& script() { return g_script; }

extern "C" {
script_meter track_script_meter = {0, LLONG_MAX, nullptr, nullptr};

// Whether the call running now must end: it was refused memory, or its work passed its limit
// (its own budget, or what was left of its pool). Once so, so until the call has unwound.
int track_script_budget_gone() {
    script_state& s = g_script;
    if (!s.calling) return 0;
    if (s.stop != script_running) return 1;
    if (s.refused) {
        s.stop = script_out_of_memory;
    } else if (track_script_meter.work > track_script_meter.limit) {
        s.stop = s.pool_limits ? script_out_of_second : script_out_of_time;
    }
    if (s.stop == script_running) return 0;
    s.stop_work = track_script_meter.work;
    return 1;
}

int track_script_budget_spent(void*) { return track_script_budget_gone(); }

// Splitmix64: the state stepped by a constant and mixed; its top 53 bits make the number.
double track_script_random(void*) {
    uint64_t z = g_script.random += 0x9e3779b97f4a7c15u;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-53;
}
}

bool track_script_load_text(const std::string& source, const char* name, const script_race* race) {
    track_script_unload();
    g_script.race = race ? race : &k_script_race_none;
    g_script.ctx =
        duk_create_heap(script_alloc, script_realloc, script_free, &g_script, script_fatal);
    if (!g_script.ctx) {
        log("Can't create a script context for %.900s\n", name);
        return false;
    }
    // Scripts reach the game through `qv` only; the engine's own object goes with its
    // internals.
    duk_push_global_object(g_script.ctx);
    duk_del_prop_string(g_script.ctx, -1, "Duktape");
    duk_pop(g_script.ctx);
    script_api_register(g_script.ctx);
    evaluate_shown(k_script_prelude, strlen(k_script_prelude), "prelude");
    if (g_script.ctx) evaluate_shown(source.data(), source.size(), name);
    return true;
}

bool track_script_load(const char* folder, const script_race* race) {
    track_script_unload();
    if (!folder) return false;
    std::string text;
    if (!file_to_string((std::string("@") + folder + "/frills.js").c_str(), &text)) return false;
    return track_script_load_text(text, "frills.js", race);
}

void track_script_unload() {
    destroy_context();
    g_script.race = &k_script_race_none;
    g_script.error[0] = 0;
    g_script.stop = script_running;
    g_script.refused = false;
    g_script.last_checks = 0;
    g_script.tics = g_script.frames = script_pool{};
    g_script.frame_calls = 0;
    g_script.random = 0;
}

bool track_script_running() { return g_script.ctx != nullptr; }

std::string track_script_json(const char* expression) {
    if (!g_script.ctx) return "<no context>";
    const std::string code = std::string("JSON.stringify(") + expression + ")";
    json_request r = {code, "<error>"};
    // A look from outside leaves the script's last error as it was, unless it stops the script.
    char error[sizeof g_script.error];
    memcpy(error, g_script.error, sizeof error);
    run_protected(json_of, &r, 0, "JSON.stringify", nullptr);
    if (track_script_running()) memcpy(g_script.error, error, sizeof error);
    return r.out;
}

// The tic handler's pool is the race second's: the clock's whole seconds (floored, for a clock
// before zero).
void track_script_tic_handler(int tic) {
    const int64_t second = tic >= 0 ? tic / k_tics_per_second : (tic + 1) / k_tics_per_second - 1;
    call_handler("qv.tic_handler_", tic, &g_script.tics, second);
}

void track_script_frame_handler(int tic) {
    if (!track_script_running()) return;
    call_handler("qv.frame_handler_", tic, &g_script.frames, g_script.frame_calls++ / 128);
}

bool track_script_call(const char* path, const char* const* args, int arg_count) {
    if (!g_script.ctx || !path) return false;
    call_request r = {path, args, arg_count};
    const bool ok = run_protected(call_path, &r, 0, path, nullptr);
    return ok && r.found;
}

const char* track_script_error() { return g_script.error; }
script_stop track_script_stopped() { return g_script.stop; }
int64_t track_script_memory() { return g_script.memory; }
int track_script_last_checks() { return g_script.last_checks; }
