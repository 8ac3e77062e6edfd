// Sound tables and their samples: the SOUNDTABLE reader, the raw 16-bit sample reader, the
// caches by file name, and the two built-in one-cycle tables.
#include "sound/engine_voice.h"

#include "common/common.h"
#include "common/message.h"
#include "files/data_file.h"

#include <cmath>
#include <map>

namespace {
constexpr int k_max_table_side = 256;          // rows or columns
constexpr int k_max_remap = 4096;              // entries of one remap list
constexpr size_t k_max_sample_bytes = 1 << 24; // 16 MB of raw samples
constexpr int k_builtin_length = 1024;

struct sound_table_state {
    std::vector<sound_table> tables;
    std::vector<std::vector<float>> samples;
    std::map<std::string, int> table_names;
    std::map<std::string, int> sample_names;
    int builtin[2] = {-1, -1}; // two-stroke, four-stroke
};
sound_table_state g_tables;

// A raw 16-bit signed little-endian mono file read to its end, by name, cached; -1 when it
// can't be read or holds nothing.
int load_sample(const std::string& name) {
    auto known = g_tables.sample_names.find(name);
    if (known != g_tables.sample_names.end()) return known->second;
    data_file* f = data_file_open(name.c_str(), "rb");
    if (!f) return -1;
    std::vector<uint8_t> bytes;
    uint8_t chunk[4096];
    size_t got;
    while ((got = data_file_read(f, chunk, sizeof chunk)) > 0 && bytes.size() < k_max_sample_bytes)
        bytes.insert(bytes.end(), chunk, chunk + got);
    data_file_close(f);
    if (bytes.size() < 2) return -1;
    std::vector<float> values(bytes.size() / 2);
    for (size_t i = 0; i < values.size(); i++) {
        int16_t v = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
        values[i] = v / 32768.0f;
    }
    g_tables.samples.push_back(std::move(values));
    int index = static_cast<int>(g_tables.samples.size()) - 1;
    g_tables.sample_names[name] = index;
    return index;
}

// Reads the integers of one remap list up to its -1; false when an entry does not parse.
bool read_remap(data_file* f, std::vector<int>* remap) {
    for (;;) {
        int value;
        if (data_file_scan(f, " %d", &value) != 1) return false;
        if (value == -1) return true;
        if (static_cast<int>(remap->size()) >= k_max_remap) return false;
        remap->push_back(value);
    }
}

bool read_keys(data_file* f, int count, std::vector<float>* keys) {
    keys->resize(static_cast<size_t>(count));
    for (float& k : *keys)
        if (data_file_scan(f, " %f", &k) != 1 || !std::isfinite(k)) return false;
    return true;
}

bool read_table(data_file* f, const char* name, sound_table* t) {
    if (data_file_scan(f, " SOUNDTABLE %d %d", &t->rows, &t->columns) != 2 || t->rows < 1 ||
        t->columns < 1 || t->rows > k_max_table_side || t->columns > k_max_table_side) {
        show_message("%.512s is not a sound table", name);
        return false;
    }
    if (!read_keys(f, t->rows, &t->row_keys) || !read_keys(f, t->columns, &t->column_keys)) {
        show_message("%.512s: bad row or column keys", name);
        return false;
    }
    t->cells.resize(static_cast<size_t>(t->rows) * t->columns);
    for (int r = 0; r < t->rows; r++) {
        for (int c = 0; c < t->columns; c++) {
            sound_cell& cell = t->cells[static_cast<size_t>(r) * t->columns + c];
            if (!read_remap(f, &cell.remap)) {
                show_message("(%d, %d) Bad remap entry", r, c);
                return false;
            }
            float period = 0;
            char sample[1024] = {};
            if (data_file_scan(f, " %f %1023s", &period, sample) != 2 || !(period >= 1) ||
                period > 1e6f) {
                show_message("(%d, %d) Bad period or sample name", r, c);
                return false;
            }
            cell.period = static_cast<int>(period);
            for (int& m : cell.remap) m = ((m % cell.period) + cell.period) % cell.period;
            cell.sample = load_sample(sample);
            if (cell.sample < 0) {
                show_message("(%d, %d) Error reading '%.512s'", r, c, sample);
                return false;
            }
        }
    }
    return true;
}

// One cycle of the built-in waveform, at full load.
float builtin_wave(bool four_stroke, float x) {
    float w = 0;
    if (four_stroke) w = 0.5f * (std::fabs(std::sin(3 * k_pi_f * x + 0.5246f)) - 0.5f);
    if (x < 0.25f) w += std::sin((four_stroke ? 16 : 8) * k_pi_f * x) * (1 - 4 * x);
    return w;
}

int make_builtin(bool four_stroke) {
    std::vector<float> full(k_builtin_length), quiet(k_builtin_length);
    for (int i = 0; i < k_builtin_length; i++) {
        full[i] = builtin_wave(four_stroke, i / static_cast<float>(k_builtin_length - 1));
        quiet[i] = full[i] * 0.25f;
    }
    sound_table t;
    t.rows = 1;
    t.columns = 2;
    t.row_keys = {0};
    t.column_keys = {0, 1};
    for (std::vector<float>* wave : {&quiet, &full}) {
        g_tables.samples.push_back(std::move(*wave));
        sound_cell cell;
        cell.sample = static_cast<int>(g_tables.samples.size()) - 1;
        t.cells.push_back(cell);
    }
    g_tables.tables.push_back(std::move(t));
    return static_cast<int>(g_tables.tables.size()) - 1;
}
} // namespace

int sound_table_load(const char* name) {
    auto known = g_tables.table_names.find(name);
    if (known != g_tables.table_names.end()) return known->second;
    data_file* f = data_file_open(name, "rb");
    if (!f) return -1;
    sound_table t;
    bool ok = read_table(f, name, &t);
    data_file_close(f);
    if (!ok) return -1;
    g_tables.tables.push_back(std::move(t));
    int index = static_cast<int>(g_tables.tables.size()) - 1;
    g_tables.table_names[name] = index;
    return index;
}

const sound_table& sound_table_at(int table) { return g_tables.tables[table]; }

const std::vector<float>& sound_sample_at(int sample) { return g_tables.samples[sample]; }

int sound_table_builtin(bool four_stroke) {
    int& t = g_tables.builtin[four_stroke ? 1 : 0];
    if (t < 0) t = make_builtin(four_stroke);
    return t;
}

void sound_tables_free() { g_tables = sound_table_state{}; }

int sound_table_count() { return static_cast<int>(g_tables.tables.size()); }
