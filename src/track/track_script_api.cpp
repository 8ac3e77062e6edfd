// The `qv` object: the native functions a track script calls, their argument checks, and the
// prelude written in the script language that builds the handlers and helpers on them.
#include "track/track_script_local.h"

#include "common/common.h"
#include "common/message.h"
#include "resources/texture.h"
#include "track/track_gates.h"
#include "track/track_local.h"
#include "track/track_objects.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr double k_seconds_per_tic = k_tic_length;
constexpr int k_max_pose_parts = 16;

const script_race& race() { return *script().race; }

// Argument i as a whole number, false when it is not a finite number once converted (so "3"
// counts and undefined does not).
bool arg_int(duk_context* ctx, int i, int lo, int hi, int* out) {
    const double v = duk_to_number(ctx, i);
    if (!std::isfinite(v) || v < lo || v > hi) return false;
    *out = static_cast<int>(v);
    return true;
}

bool arg_number(duk_context* ctx, int i, double* out) {
    *out = duk_to_number(ctx, i);
    return std::isfinite(*out);
}

bool arg_slot(duk_context* ctx, int i, int* slot) {
    return arg_int(ctx, i, 0, k_max_riders - 1, slot);
}

duk_ret_t push_int(duk_context* ctx, int v) {
    duk_push_int(ctx, v);
    return 1;
}

duk_ret_t push_number(duk_context* ctx, double v) {
    duk_push_number(ctx, v);
    return 1;
}

// Numbers 0..n-1 of an array argument; false when it is not an object or one is not a finite
// number.
bool arg_numbers(duk_context* ctx, int i, int n, float* out) {
    if (!duk_is_object(ctx, i)) return false;
    for (int k = 0; k < n; k++) {
        duk_get_prop_index(ctx, i, static_cast<duk_uarridx_t>(k));
        const double v = duk_is_number(ctx, -1) ? duk_get_number(ctx, -1) : NAN;
        duk_pop(ctx);
        if (!std::isfinite(v)) return false;
        out[k] = static_cast<float>(v);
    }
    return true;
}

// A statue a script may reach: counted from the first statue of the track's file.
statue* arg_statue(duk_context* ctx, int i, int* index) {
    const int first = statue_first_file();
    int n;
    if (!arg_int(ctx, i, 0, statue_count() - first - 1, &n)) return nullptr;
    *index = first + n;
    return &statue_own(*index);
}

// Texture names are data-file names: a script may not reach outside the data folders.
bool texture_name_allowed(const char* name) {
    return name[0] && name[0] != '/' && name[0] != '\\' && !strstr(name, "..") &&
           !strchr(name, ':');
}

// A message is shown and written to the log: it costs the budget some 4K instructions' worth.
constexpr int64_t k_message_work = 4096;

duk_ret_t qv_message(duk_context* ctx) {
    show_message("%.1000s", duk_safe_to_string(ctx, 0));
    TB_SCRIPT_CHARGE(k_message_work);
    return 0;
}

// Looking a name up among the files costs the budget some thousand instructions' worth, and a
// picture decoded as much again for every 4 bytes it takes on the card.
constexpr int64_t k_texture_lookup_work = 1024;

duk_ret_t qv_read_texture(duk_context* ctx) {
    const char* name = duk_safe_to_string(ctx, 0);
    const int64_t memory = texture_memory();
    const uint32_t id = texture_name_allowed(name) ? texture_load(name) : 0;
    TB_SCRIPT_CHARGE(k_texture_lookup_work + std::max<int64_t>(0, texture_memory() - memory) / 4);
    return push_number(ctx, id);
}

bool arg_texture(duk_context* ctx, int i, uint32_t* id) {
    double v;
    if (!arg_number(ctx, i, &v) || v < 1 || v > 4294967295.0) return false;
    *id = static_cast<uint32_t>(v);
    return true;
}

duk_ret_t qv_begin_custom_frame(duk_context* ctx) {
    uint32_t id;
    return push_int(ctx, arg_texture(ctx, 0, &id) ? script_canvas_begin(id) : 0);
}

duk_ret_t qv_end_custom_frame(duk_context* ctx) {
    uint32_t id;
    return push_int(ctx, arg_texture(ctx, 0, &id) ? script_canvas_end(id) : 0);
}

duk_ret_t qv_paste_custom_frame(duk_context* ctx) {
    uint32_t id;
    int frame;
    double v[6];
    if (!arg_texture(ctx, 0, &id) || !arg_int(ctx, 1, 0, 1 << 20, &frame)) return push_int(ctx, 0);
    for (int k = 0; k < 6; k++)
        if (!arg_number(ctx, 2 + k, &v[k])) return push_int(ctx, 0);
    return push_int(ctx, script_canvas_paste(id, frame, v[0], v[1], v[2], v[3], v[4], v[5]));
}

duk_ret_t qv_get_max_slots(duk_context* ctx) { return push_int(ctx, k_max_riders); }
duk_ret_t qv_get_running_count(duk_context* ctx) { return push_int(ctx, race().running_count()); }

// Running-order entry i's slot, crossings and last crossing tic; false outside the order.
bool running_entry(duk_context* ctx, int* slot, int* position, int* tic) {
    int i;
    if (!arg_int(ctx, 0, 0, k_max_riders - 1, &i) || i >= race().running_count()) return false;
    race().running_entry(i, slot, position, tic);
    return true;
}

duk_ret_t qv_get_running_order_slot(duk_context* ctx) {
    int slot, position, tic;
    return push_int(ctx, running_entry(ctx, &slot, &position, &tic) ? slot : 0);
}

duk_ret_t qv_get_running_order_position(duk_context* ctx) {
    int slot, position, tic;
    return push_int(ctx, running_entry(ctx, &slot, &position, &tic) ? position : 0);
}

duk_ret_t qv_get_running_order_time(duk_context* ctx) {
    int slot, position, tic;
    return push_int(ctx, running_entry(ctx, &slot, &position, &tic) ? tic : 0);
}

duk_ret_t qv_get_rider_down(duk_context* ctx) {
    int slot;
    const bool down = arg_slot(ctx, 0, &slot) && race().occupied(slot) && race().rider_down(slot);
    return push_int(ctx, down ? 1 : 0);
}

duk_ret_t qv_get_seconds_per_tic(duk_context* ctx) { return push_number(ctx, k_seconds_per_tic); }
duk_ret_t qv_get_first_lap_length(duk_context* ctx) { return push_int(ctx, first_lap_length()); }
duk_ret_t qv_get_normal_lap_length(duk_context* ctx) { return push_int(ctx, normal_lap_length()); }

duk_ret_t qv_get_timing_position(duk_context* ctx) {
    int slot;
    if (!arg_slot(ctx, 0, &slot) || !race().occupied(slot)) return push_int(ctx, -1);
    return push_int(ctx, race().timing_position(slot));
}

duk_ret_t qv_get_timing(duk_context* ctx) {
    int slot;
    if (!arg_slot(ctx, 0, &slot) || !race().occupied(slot)) return push_number(ctx, -1);
    int crossing;
    const int tic =
        arg_int(ctx, 1, 0, 0x7fffffff, &crossing) ? race().crossing_tic(slot, crossing) : -1;
    return push_number(ctx, tic * k_seconds_per_tic);
}

duk_ret_t push_slot_text(duk_context* ctx, const char* (*text)(int)) {
    int slot;
    const char* s = arg_slot(ctx, 0, &slot) && race().occupied(slot) ? text(slot) : "";
    duk_push_string(ctx, s ? s : "");
    return 1;
}

duk_ret_t qv_get_rider_number(duk_context* ctx) { return push_slot_text(ctx, race().rider_number); }
duk_ret_t qv_get_rider_name(duk_context* ctx) { return push_slot_text(ctx, race().rider_name); }

// Stores the body's vector in array[0..2]; zeros for an empty slot.
duk_ret_t store_vector(duk_context* ctx, bool (*get)(int, double*)) {
    if (!duk_is_object(ctx, 1)) return push_int(ctx, 0);
    int slot;
    double v[3] = {0, 0, 0};
    const bool ok = arg_slot(ctx, 0, &slot) && race().occupied(slot) && get(slot, v);
    if (!ok) v[0] = v[1] = v[2] = 0;
    for (int k = 0; k < 3; k++) {
        duk_push_number(ctx, v[k]);
        duk_put_prop_index(ctx, 1, static_cast<duk_uarridx_t>(k));
    }
    return push_int(ctx, ok ? 1 : 0);
}

duk_ret_t qv_get_position_(duk_context* ctx) { return store_vector(ctx, race().body_position); }
duk_ret_t qv_get_velocity_(duk_context* ctx) { return store_vector(ctx, race().body_velocity); }
duk_ret_t qv_get_finish_laps(duk_context* ctx) { return push_int(ctx, race().finish_laps()); }
duk_ret_t qv_get_finish_time(duk_context* ctx) {
    return push_number(ctx, race().finish_time() * k_seconds_per_tic);
}

duk_ret_t qv_get_gate_drop_time(duk_context* ctx) {
    const int drop = race().gate_drop_tic();
    return push_number(ctx, race().clock() < drop ? -1 : drop * k_seconds_per_tic);
}

// Poses only what is drawn: a posed statue's collision shape (if any) stays where it stood.
duk_ret_t qv_pose_statue(duk_context* ctx) {
    int index, count;
    statue* s = arg_statue(ctx, 0, &index);
    if (!s || !arg_int(ctx, 1, 1, k_max_pose_parts, &count)) {
        duk_push_false(ctx);
        return 1;
    }
    float centres[3 * k_max_pose_parts], moved[3 * k_max_pose_parts],
        rotations[9 * k_max_pose_parts];
    const bool ok = (s->pose.empty() || static_cast<int>(s->pose.size()) == count) &&
                    arg_numbers(ctx, 2, 3 * count, centres) &&
                    arg_numbers(ctx, 3, 3 * count, moved) &&
                    arg_numbers(ctx, 4, 9 * count, rotations);
    if (ok) {
        s->pose.resize(static_cast<size_t>(count));
        for (int b = 0; b < count; b++) {
            model_bone& bone = s->pose[static_cast<size_t>(b)];
            memcpy(bone.centre, &centres[3 * b], sizeof bone.centre);
            memcpy(bone.translation, &moved[3 * b], sizeof bone.translation);
            memcpy(bone.rotation, &rotations[9 * b], sizeof bone.rotation);
        }
    }
    duk_push_boolean(ctx, ok);
    return 1;
}

// Only statues nothing collides with move, so a script never changes what the bikes meet: the
// simulation stays the same with or without the script (demos, the network).
duk_ret_t qv_move_statue(duk_context* ctx) {
    int index;
    statue* s = arg_statue(ctx, 0, &index);
    double v[4];
    bool ok = s && !s->collision;
    for (int k = 0; k < 4 && ok; k++) ok = arg_number(ctx, 1 + k, &v[k]);
    if (ok) {
        s->x = static_cast<float>(v[0]);
        s->offset = static_cast<float>(v[1]);
        s->z = static_cast<float>(v[2]);
        // The heading keeps the statue's kind: upright whatever the slope stays upright (a
        // value a whole turn below the heading), one turned to the camera keeps turning.
        if (s->face_distance == 0) {
            float heading = static_cast<float>(std::remainder(v[3], double{2 * k_pi_f}));
            s->value = s->value <= -2 * k_pi_f ? heading - 4 * k_pi_f : heading;
        }
        statue_reground(index);
    }
    duk_push_boolean(ctx, ok);
    return 1;
}

// Each native function on `qv`: its name, how many arguments it takes and what runs it.
struct script_function {
    const char* name;
    int args;
    duk_c_function run;
};

constexpr script_function k_script_functions[] = {
    {"message", 1, qv_message},
    {"read_texture", 1, qv_read_texture},
    {"begin_custom_frame", 1, qv_begin_custom_frame},
    {"end_custom_frame", 1, qv_end_custom_frame},
    {"paste_custom_frame", 8, qv_paste_custom_frame},
    {"get_max_slots", 0, qv_get_max_slots},
    {"get_running_count", 0, qv_get_running_count},
    {"get_running_order_slot", 1, qv_get_running_order_slot},
    {"get_running_order_position", 1, qv_get_running_order_position},
    {"get_running_order_time", 1, qv_get_running_order_time},
    {"get_rider_down", 1, qv_get_rider_down},
    {"get_seconds_per_tic", 0, qv_get_seconds_per_tic},
    {"get_first_lap_length", 0, qv_get_first_lap_length},
    {"get_normal_lap_length", 0, qv_get_normal_lap_length},
    {"get_timing_position", 1, qv_get_timing_position},
    {"get_timing", 2, qv_get_timing},
    {"get_rider_number", 1, qv_get_rider_number},
    {"get_rider_name", 1, qv_get_rider_name},
    {"get_position_", 2, qv_get_position_},
    {"get_velocity_", 2, qv_get_velocity_},
    {"get_finish_laps", 0, qv_get_finish_laps},
    {"get_finish_time", 0, qv_get_finish_time},
    {"get_gate_drop_time", 0, qv_get_gate_drop_time},
    {"pose_statue", 5, qv_pose_statue},
    {"move_statue", 5, qv_move_statue},
};

int zero() { return 0; }
void no_entry(int, int* slot, int* position, int* tic) { *slot = *position = *tic = 0; }
bool nobody(int) { return false; }
int no_int(int) { return 0; }
int not_made(int, int) { return -1; }
const char* no_text(int) { return ""; }
bool no_vector(int, double*) { return false; }
} // namespace

const script_race k_script_race_none = {zero,     zero,    zero,      zero,     zero,
                                        no_entry, nobody,  no_int,    not_made, nobody,
                                        no_text,  no_text, no_vector, no_vector};

void script_api_register(duk_context* ctx) {
    duk_push_global_object(ctx);
    duk_push_object(ctx);
    for (const script_function& f : k_script_functions) {
        duk_push_c_function(ctx, f.run, f.args);
        duk_put_prop_string(ctx, -2, f.name);
    }
    duk_put_prop_string(ctx, -2, "qv");
    duk_pop(ctx);
}

const char* const k_script_prelude = R"(
(function () {
    var spt = qv.get_seconds_per_tic();
    qv.get_running_order = function () {
        var order = [];
        var n = qv.get_running_count();
        for (var i = 0; i < n; i++)
            order.push({slot: qv.get_running_order_slot(i),
                        position: qv.get_running_order_position(i),
                        time: qv.get_running_order_time(i) * spt});
        return order;
    };
    qv.frame_handler = function () {};
    qv.frame_handler_ = function (tics) {
        qv.seconds = tics * spt;
        if ('frame_handler' in qv) qv.frame_handler(qv.seconds);
    };
    qv.tic_handler = function () {};
    qv.tic_handler_ = function (tics) {
        qv.seconds = tics * spt;
        if ('tic_handler' in qv) qv.tic_handler(qv.seconds);
    };
    qv.lap_to_index = function (lap) {
        if (lap == 0) return 0;
        return qv.first_lap_length + qv.normal_lap_length * (lap - 1) - 1;
    };
    qv.index_to_lap = function (index) {
        if (qv.normal_lap_length == 0 || index < qv.first_lap_length) return 0;
        return 1 + Math.floor((index - qv.first_lap_length) / qv.normal_lap_length);
    };
    qv.get_position = function (slot) {
        var a = [0, 0, 0];
        return qv.get_position_(slot, a) ? a : null;
    };
    qv.get_velocity = function (slot) {
        var a = [0, 0, 0];
        return qv.get_velocity_(slot, a) ? a : null;
    };
    qv.max_slots = qv.get_max_slots();
    qv.first_lap_length = qv.get_first_lap_length();
    qv.normal_lap_length = qv.get_normal_lap_length();
    qv.seconds_per_tic = spt;
    qv.tics_per_second = 1 / spt;
})();
)";
