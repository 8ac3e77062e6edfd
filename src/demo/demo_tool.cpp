// trailbok-demo's commands: a demo's race and riders, its states as CSV rows, and a check of
// every block.
#include "demo/demo_tool.h"

#include "demo/demo_reader.h"

#include "bike/bike_data.h"
#include "files/data_file.h"
#include "terrain/terrain.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
constexpr const char* k_usage = "Usage: trailbok-demo info FILE\n"
                                "       trailbok-demo csv FILE [RIDER]\n"
                                "       trailbok-demo check FILE\n";

bool open_demo(demo_reader& r, const char* file, FILE* err) {
    std::string error;
    if (demo_reader_open(r, file, &error)) return true;
    fprintf(err, "trailbok-demo: %s: %s\n", file, error.c_str());
    return false;
}

// "%d minutes + %d laps", "%d minutes", "%d laps" as a race's length reads.
std::string race_length(int finish_time, int finish_laps) {
    char text[96];
    double minutes = finish_time * k_tic_length / 60;
    if (finish_time != 0 && finish_laps != 0)
        snprintf(text, sizeof text, "%g minutes + %d laps", minutes, finish_laps);
    else if (finish_time != 0)
        snprintf(text, sizeof text, "%g minutes", minutes);
    else
        snprintf(text, sizeof text, "%d laps", finish_laps);
    return text;
}

// ---- info

struct rider_span {
    int states = 0;
    int first = INT_MAX; // tic
    int last = INT_MIN;  // tic
};

struct info_scan {
    std::vector<rider_span> riders;
};

void info_state(void* context, int rider, int tic, const compact_state&) {
    rider_span& s = static_cast<info_scan*>(context)->riders[static_cast<size_t>(rider)];
    s.states++;
    s.first = std::min(s.first, tic);
    s.last = std::max(s.last, tic);
}

int run_info(const char* file, FILE* out, FILE* err) {
    demo_reader r;
    if (!open_demo(r, file, err)) return 1;
    const demo_header& h = r.header;
    info_scan scan;
    scan.riders.resize(h.riders.size());
    demo_sink sink;
    sink.context = &scan;
    sink.state = info_state;
    demo_reader_drain(r, sink);
    rider_span all;
    for (const rider_span& s : scan.riders) {
        all.states += s.states;
        all.first = std::min(all.first, s.first);
        all.last = std::max(all.last, s.last);
    }
    fprintf(out, "version: %d\n", h.version);
    fprintf(out, "track: %s\n", h.track.c_str());
    fprintf(out, "finish: %s\n", race_length(h.finish_time, h.finish_laps).c_str());
    fprintf(out, "gate drop: %.3f s (tic %d)\n", h.gate_drop_tic * k_tic_length, h.gate_drop_tic);
    fprintf(out, "riders: %zu\n", h.riders.size());
    for (size_t i = 0; i < h.riders.size(); i++) {
        const demo_rider& d = h.riders[i];
        const rider_span& s = scan.riders[i];
        fprintf(out, "  %zu: %s #%s %s, %d states", i, d.bike.c_str(), d.number.c_str(),
                d.name.c_str(), s.states);
        if (s.states > 0)
            fprintf(out, " from %.3f s to %.3f s", s.first * k_tic_length, s.last * k_tic_length);
        fputc('\n', out);
    }
    if (all.states > 0)
        fprintf(out, "recorded: %.3f s (tic %d to %d)\n", (all.last - all.first) * k_tic_length,
                all.first, all.last);
    else
        fprintf(out, "recorded: nothing\n");
    demo_reader_close(r);
    return 0;
}

// ---- csv

struct csv_rider {
    compact_ranges ranges{};
    bool has_previous = false;
    double previous[3] = {}; // ft
    int previous_tic = 0;
};

struct csv_scan {
    FILE* out = nullptr;
    int version = 6;
    int gate_drop = 0;
    int wanted = -1; // the one rider written, -1 for all
    std::vector<csv_rider> riders;
};

struct axes {
    double x[3], y[3], z[3]; // the body's own axes in world coordinates
};

axes axes_of(const float q[4]) {
    double w = q[0], x = q[1], y = q[2], z = q[3];
    double n = std::sqrt(w * w + x * x + y * y + z * z);
    if (n > 0) {
        w /= n;
        x /= n;
        y /= n;
        z /= n;
    }
    axes a;
    a.x[0] = 1 - 2 * (y * y + z * z);
    a.x[1] = 2 * (x * y + w * z);
    a.x[2] = 2 * (x * z - w * y);
    a.y[0] = 2 * (x * y - w * z);
    a.y[1] = 1 - 2 * (x * x + z * z);
    a.y[2] = 2 * (y * z + w * x);
    a.z[0] = 2 * (x * z + w * y);
    a.z[1] = 2 * (y * z - w * x);
    a.z[2] = 1 - 2 * (x * x + y * y);
    return a;
}

double degrees(double radians) { return radians * 180 / k_pi; }

void csv_state(void* context, int rider, int tic, const compact_state& record) {
    csv_scan& c = *static_cast<csv_scan*>(context);
    if (c.wanted >= 0 && rider != c.wanted) return;
    csv_rider& r = c.riders[static_cast<size_t>(rider)];
    compact_fields f = compact_state_unpack(demo_record_widen(record, c.version), r.ranges);
    double p[3] = {f.frame_position[0], f.frame_position[1], f.frame_position[2]};
    char speed[32] = "";
    if (r.has_previous && tic > r.previous_tic) {
        double d = std::sqrt((p[0] - r.previous[0]) * (p[0] - r.previous[0]) +
                             (p[1] - r.previous[1]) * (p[1] - r.previous[1]) +
                             (p[2] - r.previous[2]) * (p[2] - r.previous[2]));
        double feet_per_second = d / ((tic - r.previous_tic) * k_tic_length);
        snprintf(speed, sizeof speed, "%.3f", feet_per_second * k_mph_per_foot_per_second);
    }
    r.has_previous = true;
    r.previous_tic = tic;
    std::copy(p, p + 3, r.previous);
    // The bike points along its frame's -z axis; its lean is the frame's roll against the
    // level line across it.
    axes a = axes_of(f.frame_quaternion);
    double fx = -a.z[0], fz = -a.z[2], flat = std::sqrt(fx * fx + fz * fz);
    double heading = degrees(std::atan2(fx, -fz));
    if (heading < 0) heading += 360;
    double lean = 0;
    if (flat > 0) {
        double across = (-fz / flat) * a.y[0] + (fx / flat) * a.y[2];
        lean = std::acos(std::clamp(across, -1.0, 1.0)) - k_pi / 2;
    }
    bool knocked = f.knockout_tics > 0;
    char gear[16] = "";
    if (!knocked) snprintf(gear, sizeof gear, "%d", f.gear + 1);
    fprintf(c.out, "%d,%d,%.4f,%.4f,%.4f,%.4f,%s,%.2f,%.2f,%.2f,%.2f,%.2f,%s,%.2f,%d,%.0f,%d\n",
            rider, tic, (tic - c.gate_drop) * k_tic_length, p[0], p[1], p[2], speed, heading,
            degrees(lean), degrees(f.steer_angle), -f.fork_position * 12,
            degrees(-f.swingarm_angle), gear, knocked ? 0.0 : f.throttle, f.dabbing ? 1 : 0,
            static_cast<double>(f.engine_rpm), knocked ? 1 : 0);
}

// Positions are fractions of the track's square: the header of its "terrain.hf" gives the
// square's side and lowest height.
bool terrain_scale(const std::string& track, compact_ranges* out) {
    file_index();
    data_file* f = data_file_open(("@" + track + "/terrain.hf").c_str(), "rb");
    if (!f) return false;
    uint8_t bytes[256];
    size_t size = data_file_read(f, bytes, sizeof bytes);
    data_file_close(f);
    height_field_header h;
    if (!height_field_parse_header(bytes, size, &h) || h.size_exponent < k_min_size_exponent ||
        h.size_exponent > k_max_size_exponent)
        return false;
    out->extent = static_cast<float>(1 << (h.size_exponent + 1)) * h.cell_size;
    out->min_height = h.min_height;
    return true;
}

// The rider a command line names: its number in the file, else its place from 0.
int find_rider(const demo_header& h, const char* text) {
    for (size_t i = 0; i < h.riders.size(); i++)
        if (h.riders[i].number == text) return static_cast<int>(i);
    char* end = nullptr;
    long place = strtol(text, &end, 10);
    if (end != text && *end == 0 && place >= 0 && place < static_cast<long>(h.riders.size()))
        return static_cast<int>(place);
    return -1;
}

int run_csv(const char* file, const char* rider, FILE* out, FILE* err) {
    demo_reader r;
    if (!open_demo(r, file, err)) return 1;
    const demo_header& h = r.header;
    csv_scan c;
    c.out = out;
    c.version = h.version;
    c.gate_drop = h.gate_drop_tic;
    if (rider && (c.wanted = find_rider(h, rider)) < 0) {
        fprintf(err, "trailbok-demo: %s has no rider %s\n", file, rider);
        demo_reader_close(r);
        return 1;
    }
    compact_ranges terrain{};
    if (!terrain_scale(h.track, &terrain)) {
        fprintf(err, "trailbok-demo: can't read the terrain of track %s, which %s was ridden on\n",
                h.track.c_str(), file);
        demo_reader_close(r);
        return 1;
    }
    for (const demo_rider& d : h.riders) {
        const bike_info& info = bike_info_at(bike_info_find_or_fallback(d.bike.c_str()));
        csv_rider cr;
        cr.ranges = terrain;
        cr.ranges.swingarm_travel = info.swingarm_travel;
        cr.ranges.fork_travel = info.fork_travel;
        c.riders.push_back(cr);
    }
    fputs("rider,tic,seconds,x_ft,y_ft,z_ft,speed_mph,heading_deg,lean_deg,steer_deg,"
          "fork_travel_in,swingarm_deg,gear,throttle,dab,engine_rpm,knocked_off\n",
          out);
    demo_sink sink;
    sink.context = &c;
    sink.state = csv_state;
    demo_reader_drain(r, sink);
    demo_reader_close(r);
    return 0;
}

// ---- check

struct check_scan {
    bool damaged = false;
    uint32_t offset = 0;
    std::string what;
    int states = 0;
};

void check_damage(void* context, uint32_t offset, const char* what) {
    check_scan& c = *static_cast<check_scan*>(context);
    if (c.damaged) return;
    c.damaged = true;
    c.offset = offset;
    c.what = what;
}

void check_state(void* context, int, int, const compact_state&) {
    static_cast<check_scan*>(context)->states++;
}

int run_check(const char* file, FILE* out, FILE* err) {
    demo_reader r;
    std::string error;
    if (!demo_reader_open(r, file, &error)) {
        // A file that opens but holds no demo is damaged from its first byte.
        if (data_file* f = data_file_open(file, "rb")) {
            data_file_close(f);
            fprintf(out, "%s: damaged at offset 0: %s\n", file, error.c_str());
        } else {
            fprintf(err, "trailbok-demo: %s: %s\n", file, error.c_str());
        }
        return 1;
    }
    check_scan c;
    if (!r.header_damage.empty()) check_damage(&c, r.header.length, r.header_damage.c_str());
    demo_sink sink;
    sink.context = &c;
    sink.state = check_state;
    sink.damage = check_damage;
    demo_reader_drain(r, sink);
    int version = r.header.version;
    size_t riders = r.header.riders.size();
    demo_reader_close(r);
    if (c.damaged) {
        fprintf(out, "%s: damaged at offset %u: %s\n", file, c.offset, c.what.c_str());
        return 1;
    }
    fprintf(out, "%s: whole: version %d, %zu riders, %d states\n", file, version, riders, c.states);
    return 0;
}
} // namespace

int demo_tool_run(int argc, const char* const* argv, FILE* out, FILE* err) {
    const char* command = argc > 1 ? argv[1] : "";
    if (strcmp(command, "info") == 0 && argc == 3) return run_info(argv[2], out, err);
    if (strcmp(command, "csv") == 0 && (argc == 3 || argc == 4))
        return run_csv(argv[2], argc == 4 ? argv[3] : nullptr, out, err);
    if (strcmp(command, "check") == 0 && argc == 3) return run_check(argv[2], out, err);
    fputs(k_usage, err);
    return 2;
}
