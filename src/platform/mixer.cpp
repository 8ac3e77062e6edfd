// The software mixer: shared sample data, per-side level lists, the level table, the voice
// budget, zero-crossing level changes, pitch by rate, and 8- or 16-bit output.
#include "platform/mixer.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {
constexpr int k_sides = 2; // left (or mono) and right
constexpr uint32_t k_fraction_one = 1u << 31;
constexpr int k_level_rows = k_mixer_levels - 1; // levels 1 ... 31 have a table row

// One output side of a sound: where it reads and which level list it is in.
struct mixer_entry {
    int level = 0;      // 0 ... 31
    int last_level = 0; // the level it last played with
    uint32_t position = 0;
    uint32_t fraction = 0; // 31-bit
    int prev = -1;         // entry ids in the same level list
    int next = -1;
};

struct mixer_data {
    std::vector<uint8_t> bytes;
    int users = 0;
};

struct mixer_sound {
    bool used = false;
    int data = -1;
    int rate = 0; // samples per second
    int volume = k_mixer_max_volume;
    int pan = 0;
    bool loop = false;
    bool playing = false;
    bool stereo = false;
    bool restart = false;
    bool ended = false;     // its data ran out in this block
    bool stopped = false;   // silent from the next block on
    bool restarted = false; // the restart happened in this block
    mixer_entry side[k_sides];
};

struct level_list {
    int head = -1;
    int tail = -1;
};

struct mixer_state {
    bool open = false;
    int rate = 22050;
    bool stereo = true;
    int budget = k_default_voice_budget;
    int8_t level_table[k_level_rows][256] = {};
    level_list lists[k_sides][k_mixer_levels];
    std::vector<mixer_sound> sounds;
    std::vector<mixer_data> data;
    std::vector<int32_t> accumulators[k_sides];
};
mixer_state g_mixer;

// Row L - 1 holds level L of every unsigned sample, rounded towards zero from one step inside.
void build_level_table() {
    for (int level = 1; level < k_mixer_levels; level++) {
        int8_t* row = g_mixer.level_table[level - 1];
        for (int u = 0; u < 256; u++) {
            int k = u - k_mixer_zero;
            int value = 0;
            if (k > 0)
                value = (k - 1) * level / 32;
            else if (k == -128)
                value = -(127 * level / 32);
            else if (k < 0)
                value = -((-k - 1) * level / 32);
            row[u] = static_cast<int8_t>(value);
        }
    }
}

bool valid(int sound) {
    return sound >= 0 && sound < static_cast<int>(g_mixer.sounds.size()) &&
           g_mixer.sounds[sound].used;
}

mixer_entry& entry_of(int id) { return g_mixer.sounds[id / k_sides].side[id % k_sides]; }

void list_link(int id) {
    mixer_entry& e = entry_of(id);
    level_list& list = g_mixer.lists[id % k_sides][e.level];
    e.prev = list.tail;
    e.next = -1;
    if (list.tail >= 0)
        entry_of(list.tail).next = id;
    else
        list.head = id;
    list.tail = id;
}

void list_unlink(int id) {
    mixer_entry& e = entry_of(id);
    level_list& list = g_mixer.lists[id % k_sides][e.level];
    if (e.prev >= 0)
        entry_of(e.prev).next = e.next;
    else
        list.head = e.next;
    if (e.next >= 0)
        entry_of(e.next).prev = e.prev;
    else
        list.tail = e.prev;
    e.prev = e.next = -1;
}

int side_count(const mixer_sound& s) { return s.stereo ? 2 : 1; }

void link_sound(int sound) {
    for (int side = 0; side < side_count(g_mixer.sounds[sound]); side++)
        list_link(sound * k_sides + side);
}

void unlink_sound(int sound) {
    for (int side = 0; side < side_count(g_mixer.sounds[sound]); side++)
        list_unlink(sound * k_sides + side);
}

// The levels of a volume and pan; on mono output the whole volume goes to the one side.
void compute_levels(const mixer_sound& s, int* left, int* right) {
    int64_t v = s.volume;
    int64_t p = g_mixer.stereo ? s.pan : -32768;
    *left = static_cast<int>(((32767 - p) * v) >> 26);
    *right = static_cast<int>((v * (p + 32768)) >> 26);
}

void update_levels(int sound) {
    mixer_sound& s = g_mixer.sounds[sound];
    int levels[k_sides];
    compute_levels(s, &levels[0], &levels[1]);
    for (int side = 0; side < side_count(s); side++) {
        if (s.side[side].level == levels[side]) continue;
        int id = sound * k_sides + side;
        if (s.playing) list_unlink(id);
        s.side[side].level = levels[side];
        if (s.playing) list_link(id);
    }
}

int new_data_slot() {
    for (size_t i = 0; i < g_mixer.data.size(); i++)
        if (g_mixer.data[i].users == 0) return static_cast<int>(i);
    g_mixer.data.emplace_back();
    return static_cast<int>(g_mixer.data.size()) - 1;
}

int new_sound_slot() {
    for (size_t i = 0; i < g_mixer.sounds.size(); i++)
        if (!g_mixer.sounds[i].used) return static_cast<int>(i);
    g_mixer.sounds.emplace_back();
    return static_cast<int>(g_mixer.sounds.size()) - 1;
}

// How far one output sample moves the read position: an integer part and a 31-bit fraction.
struct mix_step {
    uint32_t whole;
    uint32_t fraction;
};

mix_step step_of(const mixer_sound& s) {
    uint32_t rate = static_cast<uint32_t>(s.rate > 0 ? s.rate : g_mixer.rate);
    uint32_t mixer = static_cast<uint32_t>(g_mixer.rate);
    return {rate / mixer,
            static_cast<uint32_t>((static_cast<uint64_t>(rate % mixer) << 31) / mixer)};
}

// Past the end of the data a looping sound wraps and any other ends; true when it ended.
bool wrap_or_end(mixer_sound& s, mixer_entry& e, uint32_t length) {
    if (e.position < length) return false;
    if (s.loop) {
        e.position %= length;
        return false;
    }
    s.ended = true;
    return true;
}

void advance(mixer_entry& e, mix_step step) {
    e.position += step.whole;
    e.fraction += step.fraction;
    if (e.fraction >= k_fraction_one) {
        e.fraction -= k_fraction_one;
        e.position++;
    }
}

// Moves the read position on by `count` output samples without mixing anything.
void advance_silently(mixer_sound& s, mixer_entry& e, int count, mix_step step, uint32_t length) {
    uint64_t fraction = static_cast<uint64_t>(step.fraction) * count + e.fraction;
    uint64_t position = e.position + static_cast<uint64_t>(step.whole) * count + (fraction >> 31);
    e.fraction = static_cast<uint32_t>(fraction & (k_fraction_one - 1));
    if (position >= length) {
        if (!s.loop) {
            s.ended = true;
            return;
        }
        position %= length;
    }
    e.position = static_cast<uint32_t>(position);
}

// Mixes one entry into `acc` at `level` (0: silent). A level change or a restart first keeps
// the old level until the waveform crosses zero, so it never clicks.
void mix_entry(mixer_sound& s, mixer_entry& e, int level, int32_t* acc, int count) {
    const std::vector<uint8_t>& bytes = g_mixer.data[s.data].bytes;
    const uint8_t* data = bytes.data();
    const uint32_t length = static_cast<uint32_t>(bytes.size());
    const mix_step step = step_of(s);
    int k = 0;
    if (s.restart && e.last_level == 0) {
        // Nothing was heard, so there is nothing to fade out.
        e.position = 0;
        e.fraction = 0;
        s.restarted = true;
    } else if (s.restart || (e.last_level != 0 && e.last_level != level)) {
        const int8_t* row = g_mixer.level_table[e.last_level - 1];
        const uint8_t side = data[e.position] & 0x80;
        bool ended = false;
        while (k < count && (data[e.position] & 0x80) == side) {
            acc[k++] += row[data[e.position]];
            advance(e, step);
            if (e.position >= length) {
                ended = wrap_or_end(s, e, length);
                break;
            }
        }
        if (ended) return;
        if (k == count && (data[e.position] & 0x80) == side) return; // still on the old side
        if (s.restart) {
            e.position = 0;
            e.fraction = 0;
            s.restarted = true;
        }
    }
    e.last_level = level;
    if (level == 0) {
        advance_silently(s, e, count - k, step, length);
        return;
    }
    const int8_t* row = g_mixer.level_table[level - 1];
    for (; k < count; k++) {
        acc[k] += row[data[e.position]];
        advance(e, step);
        if (e.position >= length && wrap_or_end(s, e, length)) return;
    }
}

void convert(void* out, int samples, bool sixteen_bit) {
    const int channels = g_mixer.stereo ? 2 : 1;
    for (int i = 0; i < samples; i++) {
        for (int c = 0; c < channels; c++) {
            int32_t v = g_mixer.accumulators[c][i];
            if (sixteen_bit) {
                int16_t o = v < -126 ? -32512 : v > 126 ? 32512 : static_cast<int16_t>(v * 256);
                static_cast<int16_t*>(out)[i * channels + c] = o;
            } else {
                uint8_t o = v < -127 ? 0 : v > 126 ? 255 : static_cast<uint8_t>(v + 128);
                static_cast<uint8_t*>(out)[i * channels + c] = o;
            }
        }
    }
}
} // namespace

void mixer_open(int rate, bool stereo, int voice_budget, int max_block) {
    mixer_close();
    g_mixer.open = true;
    g_mixer.rate = std::max(rate, 1);
    g_mixer.stereo = stereo;
    g_mixer.budget = std::max(voice_budget, 0);
    build_level_table();
    for (std::vector<int32_t>& acc : g_mixer.accumulators)
        acc.assign(static_cast<size_t>(std::max(max_block, 1)), 0);
}

void mixer_close() { g_mixer = mixer_state{}; }

bool mixer_is_open() { return g_mixer.open; }
int mixer_rate() { return g_mixer.rate; }
bool mixer_stereo() { return g_mixer.stereo; }

int mixer_create(int length, const uint8_t* samples, int rate) {
    if (!g_mixer.open || length <= 0 || !samples || rate < 0) return -1;
    uint64_t stored = static_cast<uint64_t>(length);
    if (rate > 0) stored = stored * static_cast<uint64_t>(g_mixer.rate) / rate;
    if (stored == 0 || stored > (1u << 30)) return -1;
    int d = new_data_slot();
    mixer_data& data = g_mixer.data[d];
    data.bytes.resize(stored);
    if (rate == 0) {
        std::memcpy(data.bytes.data(), samples, stored);
    } else {
        // Point sampling with an integer step and remainder: stored sample k is source sample
        // floor(k * rate / mixer rate).
        const uint32_t whole = static_cast<uint32_t>(rate) / g_mixer.rate;
        const uint32_t remainder = static_cast<uint32_t>(rate) % g_mixer.rate;
        uint32_t source = 0, carry = 0;
        for (uint64_t k = 0; k < stored; k++) {
            data.bytes[k] = samples[std::min<uint32_t>(source, length - 1)];
            source += whole;
            carry += remainder;
            if (carry >= static_cast<uint32_t>(g_mixer.rate)) {
                carry -= g_mixer.rate;
                source++;
            }
        }
    }
    data.users = 1;
    int sound = new_sound_slot();
    mixer_sound& s = g_mixer.sounds[sound];
    s = mixer_sound{};
    s.used = true;
    s.data = d;
    s.rate = g_mixer.rate;
    s.stereo = g_mixer.stereo;
    compute_levels(s, &s.side[0].level, &s.side[1].level);
    return sound;
}

int mixer_duplicate(int sound) {
    if (!valid(sound)) return -1;
    int copy = new_sound_slot();
    // The vector may have grown: take the original again.
    const mixer_sound& original = g_mixer.sounds[sound];
    mixer_sound s{};
    s.used = true;
    s.data = original.data;
    s.rate = original.rate;
    s.volume = original.volume;
    s.pan = original.pan;
    s.loop = original.loop;
    s.stereo = original.stereo;
    s.side[0].level = original.side[0].level;
    s.side[1].level = original.side[1].level;
    g_mixer.data[s.data].users++;
    g_mixer.sounds[copy] = s;
    return copy;
}

void mixer_free(int sound) {
    if (!valid(sound)) return;
    mixer_sound& s = g_mixer.sounds[sound];
    if (s.playing) unlink_sound(sound);
    mixer_data& data = g_mixer.data[s.data];
    if (--data.users == 0) data.bytes = std::vector<uint8_t>();
    s = mixer_sound{};
}

void mixer_play(int sound) {
    if (!valid(sound)) return;
    mixer_sound& s = g_mixer.sounds[sound];
    s.ended = false;
    s.stopped = false;
    if (s.playing) {
        s.restart = true;
        return;
    }
    for (mixer_entry& e : s.side) {
        e.position = 0;
        e.fraction = 0;
        e.last_level = 0;
    }
    s.restart = false;
    s.playing = true;
    link_sound(sound);
}

void mixer_stop(int sound) {
    if (valid(sound) && g_mixer.sounds[sound].playing) g_mixer.sounds[sound].stopped = true;
}

void mixer_set_rate(int sound, int rate) {
    if (valid(sound)) g_mixer.sounds[sound].rate = rate > 0 ? rate : g_mixer.rate;
}

void mixer_set_volume(int sound, int volume) {
    if (!valid(sound)) return;
    g_mixer.sounds[sound].volume = std::clamp(volume, 0, k_mixer_max_volume);
    update_levels(sound);
}

void mixer_set_pan(int sound, int pan) {
    if (!valid(sound)) return;
    g_mixer.sounds[sound].pan = std::clamp(pan, -32768, 32767);
    update_levels(sound);
}

void mixer_set_loop(int sound, bool loop) {
    if (valid(sound)) g_mixer.sounds[sound].loop = loop;
}

int mixer_position(int sound) {
    if (!valid(sound)) return 0;
    const mixer_sound& s = g_mixer.sounds[sound];
    return s.playing && !s.restart ? static_cast<int>(s.side[0].position) : 0;
}

void mixer_write(int sound, int count, const uint8_t* bytes, int offset) {
    if (!valid(sound) || count <= 0 || !bytes) return;
    std::vector<uint8_t>& data = g_mixer.data[g_mixer.sounds[sound].data].bytes;
    const int64_t c = static_cast<int64_t>(data.size());
    int64_t a = count, b = offset;
    if (a > c) {
        bytes += a - c;
        b += a - c;
        a = c;
    }
    int64_t start = ((b % c) + c) % c;
    int64_t first = std::min(a, c - start);
    std::memcpy(data.data() + start, bytes, static_cast<size_t>(first));
    std::memcpy(data.data(), bytes + first, static_cast<size_t>(a - first));
}

bool mixer_playing(int sound) { return valid(sound) && g_mixer.sounds[sound].playing; }

int mixer_length(int sound) {
    return valid(sound) ? static_cast<int>(g_mixer.data[g_mixer.sounds[sound].data].bytes.size())
                        : 0;
}

void mixer_mix(void* out, int samples, bool sixteen_bit) {
    if (!g_mixer.open || samples <= 0) return;
    for (std::vector<int32_t>& acc : g_mixer.accumulators)
        if (static_cast<int>(acc.size()) < samples) acc.resize(static_cast<size_t>(samples));
    for (std::vector<int32_t>& acc : g_mixer.accumulators)
        std::fill(acc.begin(), acc.begin() + samples, 0);
    int budget = g_mixer.budget;
    // The loudest entries first, left and right in turn, until the budget is used up; the rest
    // only keep their place.
    for (int level = k_mixer_levels - 1; level >= 0; level--) {
        int ids[k_sides] = {g_mixer.lists[0][level].head, g_mixer.lists[1][level].head};
        while (ids[0] >= 0 || ids[1] >= 0) {
            for (int side = 0; side < k_sides; side++) {
                int id = ids[side];
                if (id < 0) continue;
                ids[side] = entry_of(id).next;
                int heard = 0;
                if (level >= 1 && budget > 0) {
                    heard = level;
                    budget--;
                }
                mixer_sound& s = g_mixer.sounds[id / k_sides];
                if (!s.stopped)
                    mix_entry(s, entry_of(id), heard, g_mixer.accumulators[side].data(), samples);
            }
        }
    }
    for (int sound = 0; sound < static_cast<int>(g_mixer.sounds.size()); sound++) {
        mixer_sound& s = g_mixer.sounds[sound];
        if (!s.used || !s.playing) continue;
        if (s.restarted) s.restart = false;
        s.restarted = false;
        s.side[1].position = s.side[0].position;
        s.side[1].fraction = s.side[0].fraction;
        if (s.ended || s.stopped) {
            unlink_sound(sound);
            s.playing = false;
        }
    }
    convert(out, samples, sixteen_bit);
}
