// The texture cache: names, generations, links and animated textures; uploads go to the gpu table.
#include "resources/texture.h"
#include "resources/anim.h"
#include "resources/gpu.h"
#include "resources/resources_local.h"

#include "common/message.h"
#include "files/files.h"
#include "platform/log.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {
struct texture_record {
    uint32_t id = 0;
    int generation = 0; // 0 permanent, else the load generation that last used it
    int64_t memory = 0; // bytes added to the texture memory counter
    std::string info;
    std::string name;
    std::string key; // a picture made in memory that can be shared: what it shows
    int width = 0, height = 0, channels = 0; // of level 0 as uploaded
};

struct texture_link {
    std::string name;
    std::string target;
};

struct anim_record {
    uint32_t texture_id = 0;
    anim_sequence sequence;
    int start_tic = 0;
    bool paused = false;
    int shown_frame = -1;
    int generation = 0;
};

struct texture_state {
    std::vector<texture_record> textures;
    std::vector<texture_link> links;
    std::vector<anim_record> anims;
    int generation = 0; // textures loaded before the first track are permanent
    int64_t memory = 0; // bytes
    int skip = 0;       // mip levels
    int compress_mode = 1;
    uint32_t next_headless_id = k_headless_first_id;
    static constexpr uint32_t k_headless_first_id = 0x40000000;
};
texture_state g_textures;

constexpr int k_max_link_depth = 16;

bool is_verbose() { return debug_level() >= 1; }

// Wrap flags from the name: "-hrepeat." and "-vrepeat." repeat one way, "-repeat." both.
void wrap_from_name(const char* name, bool* repeat_s, bool* repeat_t) {
    const bool both = strstr(name, "-repeat.") != nullptr;
    *repeat_s = both || strstr(name, "-hrepeat.") != nullptr;
    *repeat_t = both || strstr(name, "-vrepeat.") != nullptr;
}

int64_t level_bytes(const image& im) {
    int64_t bytes = 0;
    for (int l = 0; l < im.levels; l++)
        bytes += static_cast<int64_t>(image_level_width(im, l)) * image_level_height(im, l) *
                 im.channels;
    return bytes;
}

// A new texture name holding the picture; headless, an id of our own so the cache still works.
uint32_t create_texture(const image& im, bool repeat_s, bool repeat_t, bool compress,
                        int64_t* memory) {
    const resources_gpu& gpu = resources_gpu_current();
    if (!gpu.current()) {
        *memory = level_bytes(im);
        return g_textures.next_headless_id++;
    }
    return gpu.texture_create(im, repeat_s, repeat_t, compress, memory);
}

void delete_texture_id(uint32_t id) {
    const resources_gpu& gpu = resources_gpu_current();
    if (id < texture_state::k_headless_first_id && gpu.current()) gpu.texture_delete(id);
}

texture_record* find_by_id(uint32_t id) {
    for (texture_record& t : g_textures.textures)
        if (t.id == id) return &t;
    return nullptr;
}

anim_record* find_anim(uint32_t id) {
    for (anim_record& a : g_textures.anims)
        if (a.texture_id == id) return &a;
    return nullptr;
}

// An exact name match, else one ignoring case (with the console warning).
texture_record* find_by_name(const std::string& name) {
    for (texture_record& t : g_textures.textures)
        if (t.name == name) return &t;
    for (texture_record& t : g_textures.textures)
        if (strcasecmp(t.name.c_str(), name.c_str()) == 0) {
            show_message("Warning: case mismatch on '%.900s'", name.c_str());
            return &t;
        }
    return nullptr;
}

const texture_link* find_link(const std::string& name) {
    for (const texture_link& l : g_textures.links)
        if (strcasecmp(l.name.c_str(), name.c_str()) == 0) return &l;
    return nullptr;
}

uint32_t record(uint32_t id, const std::string& name, const std::string& info, int64_t memory,
                const image& uploaded) {
    texture_record t;
    t.id = id;
    t.width = uploaded.width;
    t.height = uploaded.height;
    t.channels = uploaded.channels;
    t.generation = g_textures.generation;
    t.memory = memory;
    t.info = info;
    t.name = name;
    g_textures.textures.push_back(std::move(t));
    g_textures.memory += memory;
    return id;
}

uint32_t load_anim(const std::string& name, const std::string& bytes, bool repeat_s,
                   bool repeat_t) {
    anim_sequence seq;
    auto read_png = [](const std::string& frame_name, image* out) {
        return image_load(frame_name.c_str(), out);
    };
    if (!anim_decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), read_png, &seq))
        return 0;
    for (image& frame : seq.frames) image_prepare_anim_frame(&frame);
    int64_t memory = 0;
    const image& first = seq.frames[seq.sequence[0]];
    uint32_t id = create_texture(first, repeat_s, repeat_t, false, &memory);
    anim_record a;
    a.texture_id = id;
    a.shown_frame = seq.sequence[0];
    a.sequence = std::move(seq);
    a.generation = g_textures.generation;
    g_textures.anims.push_back(std::move(a));
    return record(id, name, "", memory, first);
}

uint32_t load(const char* requested, int depth) {
    const int skip = requested[0] == '!' ? 0 : g_textures.skip;
    std::string name = requested[0] == '!' ? requested + 1 : requested;
    for (const texture_link* l = find_link(name); l; l = find_link(name)) {
        if (++depth > k_max_link_depth) {
            log("Too many links from %.900s (a loop?)\n", requested);
            return 0;
        }
        name = l->target;
    }
    if (texture_record* t = find_by_name(name)) {
        if (t->generation != 0 && t->generation != g_textures.generation) {
            t->generation = g_textures.generation;
            g_textures.memory += t->memory;
            if (anim_record* a = find_anim(t->id)) a->generation = g_textures.generation;
        }
        return t->id;
    }
    std::string bytes;
    if (!file_to_string(name.c_str(), &bytes)) {
        if (is_verbose()) log("Can't open texture \"%.900s\"\n", name.c_str());
        return 0;
    }
    bool repeat_s, repeat_t;
    wrap_from_name(name.c_str(), &repeat_s, &repeat_t);
    const std::string word = resources_first_word(bytes);
    if (word == "LINK") {
        std::string target;
        resources_link_target(bytes, &target);
        if (target.empty() || depth >= k_max_link_depth) {
            log("Bad link in %.900s\n", name.c_str());
            return 0;
        }
        g_textures.links.push_back({name, target});
        return load(target.c_str(), depth + 1);
    }
    if (word == "ANIM1") return load_anim(name, bytes, repeat_s, repeat_t);
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    image im;
    std::string chunk_text;
    bool ok;
    if (word == "J7")
        ok = image_decode_j7(data, bytes.size(), &im);
    else if (word == "J6")
        ok = image_decode_j6(data, bytes.size(), &im);
    else if (word == "P3" || word == "P6")
        ok = image_decode_ppm(data, bytes.size(), &im);
    else
        ok = image_decode_png(data, bytes.size(), &im, &chunk_text);
    if (!ok) {
        log("Can't read texture \"%.900s\"\n", name.c_str());
        return 0;
    }
    const std::string info = image_info_for(name.c_str(), chunk_text);
    const image_info_flags flags = image_info_parse(info);
    if (flags.mip_custom) {
        image custom;
        if (image_from_custom_mips(im, &custom))
            im = std::move(custom);
        else
            show_message("Warning: Invalid height for custom MIP map in '%.950s'", name.c_str());
    }
    if (!image_is_power_of_two(im.width) || !image_is_power_of_two(im.height))
        show_message("Warning: Non power of 2 texture '%.950s'", name.c_str());
    image_prepare_texture(&im, skip, flags.mip_max_alpha, name.c_str());
    const bool compress =
        g_textures.compress_mode == 2 || (g_textures.compress_mode == 1 && flags.compress);
    int64_t memory = 0;
    uint32_t id = create_texture(im, repeat_s, repeat_t, compress, &memory);
    return record(id, name, info, memory, im);
}

void upload_frame(anim_record& a, int frame) {
    a.shown_frame = frame;
    const resources_gpu& gpu = resources_gpu_current();
    if (!gpu.current() || a.texture_id >= texture_state::k_headless_first_id) return;
    gpu.texture_replace(a.texture_id, a.sequence.frames[frame]);
}
} // namespace

uint32_t texture_load(const char* name) { return load(name, 0); }

uint32_t texture_from_image(const image& source, const char* name, bool repeat) {
    image im = source;
    image_grey_to_rgb(&im);
    if (!image_is_power_of_two(im.width) || !image_is_power_of_two(im.height))
        image_resample(&im, image_power_of_two_below(im.width),
                       image_power_of_two_below(im.height));
    if (im.levels < 2) image_build_mips(&im, false);
    int64_t memory = 0;
    uint32_t id = create_texture(im, repeat, repeat, false, &memory);
    return record(id, name, "", memory, im);
}

uint32_t texture_number(const char* number, const uint8_t background[3],
                        const uint8_t foreground[3]) {
    // One texture for each number in its colours, shared by every bike that shows it: a
    // restart re-creates the bikes, and new plates every time would pile up on the card.
    char colours[16];
    snprintf(colours, sizeof colours, "%02x%02x%02x%02x%02x%02x", background[0], background[1],
             background[2], foreground[0], foreground[1], foreground[2]);
    const std::string key = std::string(colours) + " " + number;
    for (texture_record& t : g_textures.textures)
        if (t.key == key) {
            if (t.generation != 0) t.generation = g_textures.generation;
            return t.id;
        }
    const uint32_t id = texture_from_image(image_number_plate(number, background, foreground),
                                           "number plate", false);
    if (texture_record* t = find_by_id(id)) t->key = key;
    return id;
}

const char* texture_name(uint32_t id) {
    const texture_record* t = find_by_id(id);
    return t ? t->name.c_str() : "";
}

const char* texture_info(uint32_t id) {
    const texture_record* t = find_by_id(id);
    return t ? t->info.c_str() : "";
}

uint32_t texture_variant(const char* name, const std::vector<const char*>& suffixes) {
    std::string base = name;
    size_t cut = std::string::npos;
    for (const char* ending : {"-repeat.png", "-repeat.ppm", "-repeat.seq"})
        if (base.size() >= strlen(ending) &&
            base.compare(base.size() - strlen(ending), std::string::npos, ending) == 0)
            cut = base.rfind('-');
    if (cut == std::string::npos) cut = base.rfind('.');
    if (cut != std::string::npos) base.resize(cut);
    for (const char* suffix : suffixes)
        if (uint32_t id = texture_load((base + suffix).c_str())) return id;
    return 0;
}

void texture_make_permanent(uint32_t id) {
    if (texture_record* t = find_by_id(id)) t->generation = 0;
    if (anim_record* a = find_anim(id)) a->generation = 0;
}

std::vector<std::string> texture_cached_names() {
    std::vector<std::string> names;
    for (const texture_record& t : g_textures.textures) names.push_back(t.name);
    return names;
}

void texture_purge(bool all) {
    const int current = g_textures.generation;
    auto stale = [&](int generation) { return all || (generation != 0 && generation != current); };
    for (auto it = g_textures.anims.begin(); it != g_textures.anims.end();) {
        if (stale(it->generation)) {
            if (is_verbose())
                log("deleting anim %d for tid %u\n",
                    static_cast<int>(it - g_textures.anims.begin()), it->texture_id);
            it = g_textures.anims.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = g_textures.textures.begin(); it != g_textures.textures.end();) {
        if (stale(it->generation)) {
            if (is_verbose()) log("deleting tid %u (%.900s)\n", it->id, it->name.c_str());
            delete_texture_id(it->id);
            it = g_textures.textures.erase(it);
        } else {
            ++it;
        }
    }
    if (all) {
        g_textures.links.clear();
        g_textures.generation = 0;
        g_textures.memory = 0;
        g_textures.next_headless_id = texture_state::k_headless_first_id;
    }
}

void texture_generation_advance() { g_textures.generation++; }
int texture_generation() { return g_textures.generation; }
int texture_count() { return static_cast<int>(g_textures.textures.size()); }
int64_t texture_memory() { return g_textures.memory; }
void texture_memory_reset() { g_textures.memory = 0; }

void texture_set_detail(int skip, int compress_mode) {
    g_textures.skip = std::clamp(skip, 0, 10);
    g_textures.compress_mode = std::clamp(compress_mode, 0, 2);
}

void anim_update(int tic) {
    for (anim_record& a : g_textures.anims) {
        if (a.paused) continue;
        int frame = a.sequence.sequence[anim_step_at(a.sequence, a.start_tic, tic)];
        if (frame != a.shown_frame) upload_frame(a, frame);
    }
}

void anim_start(uint32_t id, int tic) {
    if (anim_record* a = find_anim(id)) {
        a->start_tic = tic;
        a->paused = false;
    }
}

void anim_pause(uint32_t id) {
    if (anim_record* a = find_anim(id)) a->paused = true;
}

int anim_shown_frame(uint32_t id) {
    const anim_record* a = find_anim(id);
    return a ? a->shown_frame : -1;
}

bool texture_frames(uint32_t id, std::vector<image>* frames) {
    if (const anim_record* a = find_anim(id)) {
        *frames = a->sequence.frames;
        return true;
    }
    const texture_record* t = find_by_id(id);
    if (!t || t->width <= 0) return false;
    image im;
    if (!image_load(t->name.c_str(), &im)) return false;
    image_grey_to_rgb(&im);
    if (im.channels != t->channels) return false;
    // Detail skipping and the redundant-detail test may have made the texture smaller than its
    // file.
    if (im.width != t->width || im.height != t->height) image_resample(&im, t->width, t->height);
    image_build_mips(&im, false);
    frames->assign(1, std::move(im));
    return true;
}

bool texture_replace_pixels(uint32_t id, const image& im) {
    const texture_record* t = find_by_id(id);
    if (!t || im.width != t->width || im.height != t->height || im.channels != t->channels)
        return false;
    // The animation would put its own frame back at its next step.
    if (anim_record* a = find_anim(id)) a->paused = true;
    const resources_gpu& gpu = resources_gpu_current();
    if (gpu.current() && id < texture_state::k_headless_first_id) gpu.texture_replace(id, im);
    return true;
}

void links_forget() { g_textures.links.clear(); }
