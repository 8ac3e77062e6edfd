// Surface types: the "tileinfo" and "texturelist" readers and the blend codes.
#include "terrain/terrain.h"

#include "common/common.h"
#include "common/file_problems.h"
#include "common/message.h"
#include "platform/memory.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
constexpr int k_line_size = 1024;
constexpr float k_max_erode_radius = 64.0f; // ft; a larger bump would touch most of a field
constexpr float k_max_roost_count = 1000.0f;

// Reads the next line as a 1024-byte line buffer would: at most 1023 bytes, stopping after a
// newline. False at the end of the text.
bool next_line(const char* text, size_t size, size_t* at, char line[k_line_size]) {
    if (*at >= size) return false;
    size_t length = 0;
    while (length < k_line_size - 1 && *at < size) {
        char c = text[(*at)++];
        line[length++] = c;
        if (c == '\n') break;
    }
    line[length] = 0;
    return true;
}

void copy_cut(char* out, size_t out_size, const char* text) {
    size_t length = strnlen(text, out_size - 1);
    memcpy(out, text, length);
    out[length] = 0;
}

template <typename point> void sort_by_speed(point* points, int count) {
    // Exchange sort, so points of equal speed keep the order the file gave them.
    for (int pass = 0; pass < count; pass++)
        for (int k = 0; k + 1 < count - pass; k++)
            if (points[k].speed > points[k + 1].speed) {
                point swap = points[k];
                points[k] = points[k + 1];
                points[k + 1] = swap;
            }
}

// The surface type being described, with what is needed to append it.
struct tile_template {
    surface_type type;
    int friction_count = 0;
    int roll_count = 0;
    int roost_count = 0;
    bool limits_given = false;
    bool named = false;
};

void template_reset(tile_template* t) { *t = tile_template{}; }

struct erode_key {
    const char* key;
    float erosion_params::*field;
};

constexpr erode_key k_erode_keys[] = {
    {"erode_depth", &erosion_params::depth},
    {"erode_lower", &erosion_params::lower},
    {"erode_upper", &erosion_params::upper},
    {"erode_displacement", &erosion_params::displacement},
    {"erode_radius", &erosion_params::radius},
    {"erode_inner_depth", &erosion_params::inner_depth},
    {"erode_inner_radius", &erosion_params::inner_radius},
    {"erode_min_slope", &erosion_params::min_slope},
    {"erode_max_slope", &erosion_params::max_slope},
    {"erode_off_speed", &erosion_params::off_speed},
    {"erode_on_speed", &erosion_params::on_speed},
    {"erode_slip_lower", &erosion_params::slip_lower},
    {"erode_slip_upper", &erosion_params::slip_upper},
    {"erode_slip_base_scale", &erosion_params::slip_base_scale},
    {"erode_slip_scale", &erosion_params::slip_scale},
    {"erode_downhill_scale", &erosion_params::downhill_scale},
    {"erode_project_to_ground", &erosion_params::project_to_ground},
    {"erode_lateral_scale", &erosion_params::lateral_scale},
    {"erode_front_scale", &erosion_params::front_scale},
};
static_assert(sizeof k_erode_keys / sizeof k_erode_keys[0] == 19);

enum class roost_value { f, colour, fade, splash, texture };

struct roost_key {
    const char* key; // with its "="
    roost_value kind;
    size_t offset;
};

constexpr roost_key k_roost_keys[] = {
    {"texture=", roost_value::texture, 0},
    {"splash=", roost_value::splash, 0},
    {"count=", roost_value::f, offsetof(roost_type, count)},
    {"dig=", roost_value::f, offsetof(roost_type, dig)},
    {"slip_threshold=", roost_value::f, offsetof(roost_type, slip_threshold)},
    {"slow_angle=", roost_value::f, offsetof(roost_type, slow_angle)},
    {"fast_angle=", roost_value::f, offsetof(roost_type, fast_angle)},
    {"slow_speed=", roost_value::f, offsetof(roost_type, slow_speed)},
    {"fast_speed=", roost_value::f, offsetof(roost_type, fast_speed)},
    {"size=", roost_value::f, offsetof(roost_type, size)},
    {"grow=", roost_value::f, offsetof(roost_type, grow)},
    {"drag=", roost_value::f, offsetof(roost_type, drag)},
    {"vscale=", roost_value::f, offsetof(roost_type, vscale)},
    {"randomize=", roost_value::f, offsetof(roost_type, randomize)},
    {"r=", roost_value::colour, offsetof(roost_type, r)},
    {"g=", roost_value::colour, offsetof(roost_type, g)},
    {"b=", roost_value::colour, offsetof(roost_type, b)},
    {"a=", roost_value::colour, offsetof(roost_type, a)},
    {"fade_r=", roost_value::fade, offsetof(roost_type, fade_r)},
    {"fade_g=", roost_value::fade, offsetof(roost_type, fade_g)},
    {"fade_b=", roost_value::fade, offsetof(roost_type, fade_b)},
    {"fade_a=", roost_value::fade, offsetof(roost_type, fade_a)},
};

// The low byte of a number's integer part; numbers too large for that fold to 0.
uint8_t low_byte(double value) {
    if (!(std::fabs(value) < 9.0e18)) return 0;
    return static_cast<uint8_t>(static_cast<int64_t>(value) & 0xFF);
}

bool is_roost_separator(char c) {
    return c == 0x20 || c == 0x0C || c == 0x0A || c == 0x0D || c == 0x09 || c == 0x08;
}

// A warning about a "tileinfo" line: on the console, and to a listener with its line.
__attribute__((format(printf, 2, 3))) void tileinfo_warning(int line_number, const char* format,
                                                            ...) {
    char text[1100];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    show_message("tileinfo warning: %s", text);
    text[strcspn(text, "\n")] = 0;
    file_problem_report("tileinfo", line_number, "%s", text);
}

void roost_word(roost_type* roost, const char* word, texture_loader load, int line_number) {
    for (const roost_key& key : k_roost_keys) {
        size_t key_length = strlen(key.key);
        if (strncmp(word, key.key, key_length) != 0) continue;
        const char* value = word + key_length;
        if (key.kind == roost_value::texture) {
            roost->texture = load ? load(value) : 0;
            return;
        }
        char* end = nullptr;
        double number = strtod(value, &end);
        if (end == value || !std::isfinite(number)) {
            tileinfo_warning(line_number, "bad %.*s\n", static_cast<int>(key_length - 1), key.key);
            number = 0;
        }
        uint8_t* base = reinterpret_cast<uint8_t*>(roost);
        switch (key.kind) {
        case roost_value::splash:
            roost->mode = number != 0 ? 2 : 1;
            break;
        case roost_value::colour:
            base[key.offset] = low_byte(number);
            break;
        case roost_value::fade:
            base[key.offset] = low_byte(number * k_tic_length);
            break;
        default: {
            float f = static_cast<float>(number);
            if (key.offset == offsetof(roost_type, count))
                f = std::fmin(std::fmax(f, 0.0f), k_max_roost_count);
            memcpy(base + key.offset, &f, sizeof f);
            break;
        }
        }
        return;
    }
    tileinfo_warning(line_number, "unknown roost parameter '%.40s'\n", word);
}

void parse_roost(roost_type* roost, const char* value, texture_loader load, int line_number) {
    *roost = roost_type{};
    roost->mode = 1;
    bool textured = false;
    char word[k_line_size];
    const char* p = value;
    while (*p) {
        while (*p && is_roost_separator(*p)) p++;
        if (!*p) break;
        size_t length = 0;
        bool quoted = false;
        while (*p && (quoted || !is_roost_separator(*p))) {
            if (*p == '"') {
                quoted = !quoted;
            } else if (length < sizeof word - 1) {
                word[length++] = *p;
            }
            p++;
        }
        word[length] = 0;
        if (strncmp(word, "texture=", 8) == 0) textured = true;
        roost_word(roost, word, load, line_number);
    }
    if (!textured && load) roost->texture = load("@roost.png");
}

void append_type(surface_set* set, tile_template* t) {
    if (t->friction_count == 0) t->type.friction[0] = {1.0f, 1.0f};
    if (t->roll_count == 0) t->type.roll_resist[0] = {5.0f, 15.0f, 1.0f};
    sort_by_speed(t->type.friction, t->friction_count);
    sort_by_speed(t->type.roll_resist, t->roll_count);
    if (!t->named) copy_cut(t->type.name, sizeof t->type.name, t->type.texture_name);
    set->types[set->count++] = t->type;
}

bool float_value(const char* value, int count, float* out) {
    float v[3] = {0, 0, 0};
    int read = sscanf(value, "%f %f %f", &v[0], &v[1], &v[2]);
    if (read < count) return false;
    for (int k = 0; k < count; k++) {
        if (!std::isfinite(v[k])) return false;
        out[k] = v[k];
    }
    return true;
}

void ensure_types(surface_set* set) {
    if (set->types) return;
    set->types = static_cast<surface_type*>(
        checked_alloc(sizeof(surface_type) * static_cast<size_t>(k_max_surface_types)));
    for (int k = 0; k < k_max_surface_types; k++) new (&set->types[k]) surface_type{};
    set->count = 0;
}

void tileinfo_line(surface_set* set, tile_template* t, char* line, texture_loader load,
                   int line_number) {
    char* p = line;
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') p++;
    if (!*p) return;
    char* key = p;
    while (*p && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') p++;
    // A key ended by the line's end has an empty value.
    bool more = *p == ' ' || *p == '\t';
    *p = 0;
    char* value = more ? p + 1 : p;
    while (*value == ' ' || *value == '\t') value++;
    value[strcspn(value, "\r\n")] = 0;

    surface_type& type = t->type;
    if (strcmp(key, "addtile") == 0) {
        append_type(set, t);
        template_reset(t);
    } else if (strcmp(key, "name") == 0) {
        copy_cut(type.name, sizeof type.name, value);
        t->named = true;
    } else if (strcmp(key, "texture") == 0) {
        copy_cut(type.texture_name, sizeof type.texture_name, value);
        type.texture = load ? load(value) : 0;
        if (load && !type.texture)
            file_problem_report("tileinfo", line_number, "picture '%s' does not load", value);
    } else if (strcmp(key, "friction") == 0) {
        float v[2];
        if (t->friction_count >= k_curve_points) {
            tileinfo_warning(line_number, "too many friction points\n");
        } else if (!float_value(value, 2, v)) {
            tileinfo_warning(line_number, "bad friction parameters\n");
        } else {
            friction_point& point = type.friction[t->friction_count++];
            point.value = v[0] < 0 ? 0 : v[0];
            point.speed = v[1] < k_min_curve_speed ? k_min_curve_speed : v[1];
        }
    } else if (strcmp(key, "roll_resist") == 0) {
        float v[3];
        if (t->roll_count >= k_curve_points) {
            tileinfo_warning(line_number, "too many roll_resist points\n");
        } else if (!float_value(value, 3, v)) {
            tileinfo_warning(line_number, "bad roll_resist parameters\n");
        } else {
            roll_point& point = type.roll_resist[t->roll_count++];
            point.first = v[0] < 0 ? 0 : v[0];
            point.second = v[1] < 0 ? 0 : v[1];
            point.speed = v[2] < k_min_curve_speed ? k_min_curve_speed : v[2];
        }
    } else if (strcmp(key, "roost") == 0) {
        if (t->roost_count >= k_roost_types)
            tileinfo_warning(line_number, "too many roost types\n");
        else
            parse_roost(&type.roost[t->roost_count++], value, load, line_number);
    } else if (strcmp(key, "erode_limit") == 0) {
        erosion_params& e = type.erosion;
        float v[3];
        if (t->limits_given && e.limit_count >= k_erode_limits) {
            tileinfo_warning(line_number, "too many erode limits\n");
        } else if (!float_value(value, 3, v)) {
            tileinfo_warning(line_number, "bad erode_limit\n");
        } else if (t->limits_given && e.limit_count > 0 &&
                   !(v[0] > e.limit_depth[e.limit_count - 1])) {
            tileinfo_warning(line_number, "erode_limit depth <= prev depth\n");
        } else {
            // The first point given replaces the two default points.
            if (!t->limits_given) {
                e.limit_count = 0;
                t->limits_given = true;
            }
            e.limit_depth[e.limit_count] = v[0];
            e.limit_a[e.limit_count] = v[1];
            e.limit_b[e.limit_count] = v[2];
            e.limit_count++;
        }
    } else {
        for (const erode_key& ek : k_erode_keys) {
            if (strcmp(key, ek.key) != 0) continue;
            float v;
            if (!float_value(value, 1, &v)) {
                tileinfo_warning(line_number, "bad %s\n", ek.key);
                return;
            }
            // Radii and the heap's displacement reach into the height field per rut point;
            // an absurd one would stall the drain, so they are kept to a sane span.
            if (ek.field == &erosion_params::radius || ek.field == &erosion_params::inner_radius ||
                ek.field == &erosion_params::displacement)
                v = std::fmin(std::fmax(v, 0.0f), k_max_erode_radius);
            type.erosion.*ek.field = v;
            return;
        }
        tileinfo_warning(line_number, "Unknown identifier '%.950s'\n", key);
    }
}

// Everything up to the first "." of a key (the whole key without one).
size_t stem_length(const char* key) { return strcspn(key, "."); }

const char* blend_key(const char* texture_name) {
    const char* key = texture_name[0] == '@' ? texture_name + 1 : texture_name;
    const char* slash = strrchr(key, '/');
    return slash ? slash + 1 : key;
}

bool stem_equals(const char* key, const char* text, size_t length) {
    return stem_length(key) == length && strncmp(key, text, length) == 0;
}
} // namespace

void surface_set_free(surface_set* set) {
    checked_free(set->types);
    checked_free(set->tilemap);
    *set = surface_set{};
}

bool surface_types_parse_tileinfo(surface_set* set, const char* text, size_t size,
                                  texture_loader load) {
    ensure_types(set);
    set->count = 0;
    tile_template t;
    char line[k_line_size];
    size_t at = 0;
    int line_number = 0;
    while (set->count < k_max_surface_types && next_line(text, size, &at, line))
        tileinfo_line(set, &t, line, load, ++line_number);
    return set->count > 0;
}

bool surface_types_parse_texturelist(surface_set* set, const char* text, size_t size,
                                     texture_loader load) {
    ensure_types(set);
    set->count = 0;
    char line[k_line_size];
    size_t at = 0;
    while (set->count < k_max_surface_types && next_line(text, size, &at, line)) {
        char* p = line;
        while (*p == ' ' || (*p >= '\t' && *p <= '\r')) p++;
        if (!*p) continue;
        float friction = 1.0f, first = 5.0f, second = 15.0f;
        int used = 0;
        if (sscanf(p, "%f %f %f %n", &friction, &first, &second, &used) == 3 && used > 0 &&
            std::isfinite(friction) && std::isfinite(first) && std::isfinite(second)) {
            p += used;
        } else {
            friction = 1.0f, first = 5.0f, second = 15.0f;
        }
        p[strcspn(p, "\r\n")] = 0;
        surface_type& type = set->types[set->count++];
        type = surface_type{};
        type.texture_name[0] = '@';
        copy_cut(type.texture_name + 1, sizeof type.texture_name - 1, p);
        copy_cut(type.name, sizeof type.name, type.texture_name);
        type.texture = load ? load(type.texture_name) : 0;
        type.friction[0] = {friction < 0 ? 0 : friction, 1.0f};
        type.roll_resist[0] = {first < 0 ? 0 : first, second < 0 ? 0 : second, 1.0f};
        type.roost[0].mode = 1;
        type.roost[0].texture = load ? load("@roost.png") : 0;
    }
    return set->count > 0;
}

void surface_types_blend_codes(surface_set* set) {
    for (int i = 0; i < set->count; i++) {
        const char* key = blend_key(set->types[i].texture_name);
        int32_t& code = set->types[i].blend_code;
        const char* dash = strchr(key, '-');
        int base = -1;
        if (dash) {
            for (int b = 0; b < set->count && base < 0; b++)
                if (stem_equals(blend_key(set->types[b].texture_name), key,
                                static_cast<size_t>(dash - key)))
                    base = b;
        }
        if (base < 0) {
            code = i * 65536 + i * 256;
            continue;
        }
        const char* rest = dash + 1;
        if (strncmp(rest, "alt", 3) == 0 && rest[3] >= '0' && rest[3] <= '9') {
            code = base * 65536 + base * 256;
            continue;
        }
        const char* second_dash = strchr(rest, '-');
        int other = -1;
        if (second_dash) {
            for (int o = 0; o < set->count && other < 0; o++)
                if (stem_equals(blend_key(set->types[o].texture_name), rest,
                                static_cast<size_t>(second_dash - rest)))
                    other = o;
        }
        if (other < 0) {
            code = static_cast<int32_t>(0xFFFFFF00u);
            continue;
        }
        int mask = 0;
        const char* bits = second_dash + 1;
        bool valid = true;
        for (int k = 0; k < 4; k++) {
            if (bits[k] != '0' && bits[k] != '1') {
                valid = false;
                break;
            }
            mask = mask << 1 | (bits[k] - '0');
        }
        code = base * 65536 + other * 256 + (valid ? mask : 0);
    }
}

void surface_set_tilemap(surface_set* set, int size_exponent, float cell_size, const uint8_t* bytes,
                         size_t size) {
    checked_free(set->tilemap);
    int tiles = 1 << size_exponent;
    size_t total = static_cast<size_t>(tiles) * static_cast<size_t>(tiles);
    set->tilemap = static_cast<uint8_t*>(checked_calloc(total, 1));
    set->tiles_per_side = tiles;
    set->half_inverse_cell = 0.5f / cell_size;
    int last = set->count > 0 ? set->count - 1 : 0;
    size_t given = size < total ? size : total;
    for (size_t k = 0; k < given; k++)
        set->tilemap[k] = bytes[k] > last ? static_cast<uint8_t>(last) : bytes[k];
}

int surface_set_type_at(const surface_set& set, float x, float z) {
    if (!set.tilemap) return 0;
    float top = static_cast<float>(set.tiles_per_side - 1);
    float fx = x * set.half_inverse_cell;
    float fz = z * set.half_inverse_cell;
    // Written so that NaN falls to the first square rather than into undefined conversion.
    fx = fx > 0 ? (fx < top ? fx : top) : 0;
    fz = fz > 0 ? (fz < top ? fz : top) : 0;
    return set.tilemap[static_cast<int>(fz) * set.tiles_per_side + static_cast<int>(fx)];
}

float surface_friction_at(const surface_type& type, float speed) {
    const friction_point* p = type.friction;
    float s2 = speed * speed;
    int k = 0;
    while (k < k_curve_points && p[k].speed != 0 && !(p[k].speed * p[k].speed > s2)) k++;
    if (k == 0) return p[0].value;
    if (k == k_curve_points || p[k].speed == 0) return p[k - 1].value;
    float a = p[k - 1].speed * p[k - 1].speed;
    float b = p[k].speed * p[k].speed;
    float t = (s2 - a) / (b - a);
    t = t > 0 ? (t < 1 ? t : 1) : 0;
    return p[k - 1].value + t * (p[k].value - p[k - 1].value);
}

void surface_roll_resist_at(const surface_type& type, float speed, float* first, float* second) {
    const roll_point* p = type.roll_resist;
    int k = 0;
    while (k < k_curve_points && p[k].speed != 0 && !(p[k].speed > speed)) k++;
    if (k == 0 || k == k_curve_points || p[k].speed == 0) {
        const roll_point& q = p[k == 0 ? 0 : k - 1];
        *first = q.first;
        *second = q.second;
        return;
    }
    float t = (speed - p[k - 1].speed) / (p[k].speed - p[k - 1].speed);
    t = t > 0 ? (t < 1 ? t : 1) : 0;
    *first = p[k - 1].first + t * (p[k].first - p[k - 1].first);
    *second = p[k - 1].second + t * (p[k].second - p[k - 1].second);
}
