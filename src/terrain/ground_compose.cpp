// Composing ground textures on the processor: every ground cell's surface picture, the decals
// over them and the shading, by the same rules the card composes with; the packed pixel path
// gives the same bytes as the plain one.
#include "terrain/ground_local.h"

#include "platform/log.h"
#include "resources/texture.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
// The middle 7/8 of a surface picture covers one ground cell.
constexpr float k_surface_margin = 0.0625f;
constexpr float k_surface_span = 0.875f;
constexpr float k_shade_scale = 2.0f / 255.0f;

// The two placeholder colours, dark enough not to pass for composed ground.
constexpr uint8_t k_placeholder[2][3] = {{150, 126, 96}, {96, 112, 88}};

// One level of a surface picture, as a square of the composed texture samples it.
struct picture_level {
    const uint8_t* pixels = nullptr; // RGB rows
    int width = 0, height = 0;
};

// Bilinear sample of one level of an RGB picture at texel coordinates (texel centres at .5).
void sample_bilinear(const picture_level& l, float u, float v, float out[3]) {
    const int w = l.width, h = l.height;
    const uint8_t* p = l.pixels;
    u -= 0.5f, v -= 0.5f;
    const int i0 = static_cast<int>(std::floor(u)), j0 = static_cast<int>(std::floor(v));
    const float fu = u - static_cast<float>(i0), fv = v - static_cast<float>(j0);
    const int ia = std::clamp(i0, 0, w - 1), ib = std::clamp(i0 + 1, 0, w - 1);
    const int ja = std::clamp(j0, 0, h - 1), jb = std::clamp(j0 + 1, 0, h - 1);
    const uint8_t* a = p + (static_cast<size_t>(ja) * w + ia) * 3;
    const uint8_t* b = p + (static_cast<size_t>(ja) * w + ib) * 3;
    const uint8_t* c = p + (static_cast<size_t>(jb) * w + ia) * 3;
    const uint8_t* d = p + (static_cast<size_t>(jb) * w + ib) * 3;
    for (int k = 0; k < 3; k++) {
        const float top = a[k] + (b[k] - a[k]) * fu;
        const float bottom = c[k] + (d[k] - c[k]) * fu;
        out[k] = top + (bottom - top) * fv;
    }
}

// The level whose texels are about the size of a composed texel, as the card's mipmap choice.
int level_for(const image& im, float texels_per_texel) {
    if (texels_per_texel <= 1 || im.levels <= 1) return 0;
    return std::clamp(static_cast<int>(std::lround(std::log2(texels_per_texel))), 0, im.levels - 1);
}

void blend_decal(const ground_decal& d, const ground_compose_inputs& in, int cell_x, int cell_z,
                 int cells, int size, uint8_t* rgb, std::vector<uint8_t>* scratch) {
    const image& pic = d.picture;
    if (pic.width <= 0 || pic.height <= 0 || (pic.channels != 4 && pic.channels != 3)) return;
    const float ground_cell = 2 * in.field->cell_size; // ft
    const float step = static_cast<float>(cells) / static_cast<float>(size) * ground_cell;
    const float along_u = d.size * d.aspect, along_v = d.size;
    // A row of the picture's colours, then their alphas repeated for the three channels.
    scratch->assign(static_cast<size_t>(size) * 6, 0);
    uint8_t* colour = scratch->data();
    uint8_t* alpha = colour + static_cast<size_t>(size) * 3;
    for (int tz = 0; tz < size; tz++) {
        const float z =
            static_cast<float>(cell_z) * ground_cell + (static_cast<float>(tz) + 0.5f) * step;
        bool any = false;
        for (int tx = 0; tx < size; tx++) {
            const float x =
                static_cast<float>(cell_x) * ground_cell + (static_cast<float>(tx) + 0.5f) * step;
            const float dx = x - d.x, dz = z - d.z;
            const float a = (dx * d.cosine - dz * d.sine) / along_u + 0.5f;
            const float b = (dx * d.sine + dz * d.cosine) / along_v + 0.5f;
            uint8_t* c = colour + static_cast<size_t>(tx) * 3;
            uint8_t* al = alpha + static_cast<size_t>(tx) * 3;
            if (a < 0 || a >= 1 || b < 0 || b >= 1) {
                al[0] = al[1] = al[2] = 0;
                continue;
            }
            const int pi =
                std::min(static_cast<int>(a * static_cast<float>(pic.width)), pic.width - 1);
            const int pj =
                std::min(static_cast<int>(b * static_cast<float>(pic.height)), pic.height - 1);
            const uint8_t* p =
                &pic.pixels[(static_cast<size_t>(pj) * pic.width + pi) * pic.channels];
            c[0] = p[0], c[1] = p[1], c[2] = p[2];
            al[0] = al[1] = al[2] = pic.channels == 4 ? p[3] : 255;
            any = any || al[0] != 0;
        }
        if (any)
            ground_blend_row(rgb + static_cast<size_t>(tz) * size * 3, colour, alpha, size * 3,
                             in.packed);
    }
}
} // namespace

ground_picture ground_picture_load(const char* name) {
    ground_picture p;
    image im;
    if (!image_load(name, &im) || im.width <= 0 || im.height <= 0) {
        log("Ground picture '%s' did not load; it composes grey\n", name);
        image_allocate(&p.rgb, 1, 1, 3);
        memset(p.rgb.pixels.data(), 128, 3);
        return p;
    }
    if (im.channels == 1) image_grey_to_rgb(&im);
    image_allocate(&p.rgb, im.width, im.height, 3);
    const size_t pixels = static_cast<size_t>(im.width) * im.height;
    for (size_t k = 0; k < pixels; k++)
        for (int c = 0; c < 3; c++) p.rgb.pixels[k * 3 + c] = im.pixels[k * im.channels + c];
    image_build_mips(&p.rgb, false);
    return p;
}

void ground_shade_row(uint8_t* rgb, const uint8_t* shading, int bytes, bool packed) {
    int k = 0;
#if defined(__SSE2__)
    if (packed) {
        const __m128 scale = _mm_set1_ps(k_shade_scale), half = _mm_set1_ps(0.5f);
        const __m128i zero = _mm_setzero_si128();
        for (; k + 8 <= bytes; k += 8) {
            __m128i c = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rgb + k));
            __m128i s = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(shading + k));
            c = _mm_unpacklo_epi8(c, zero);
            s = _mm_unpacklo_epi8(s, zero);
            __m128i result[2];
            for (int h = 0; h < 2; h++) {
                const __m128i c32 = h ? _mm_unpackhi_epi16(c, zero) : _mm_unpacklo_epi16(c, zero);
                const __m128i s32 = h ? _mm_unpackhi_epi16(s, zero) : _mm_unpacklo_epi16(s, zero);
                __m128 v = _mm_mul_ps(_mm_cvtepi32_ps(c32), _mm_cvtepi32_ps(s32));
                v = _mm_add_ps(_mm_mul_ps(v, scale), half);
                result[h] = _mm_cvttps_epi32(v);
            }
            const __m128i words = _mm_packs_epi32(result[0], result[1]);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(rgb + k), _mm_packus_epi16(words, words));
        }
    }
#else
    (void)packed;
#endif
    for (; k < bytes; k++) {
        const float v = static_cast<float>(rgb[k]) * static_cast<float>(shading[k]);
        const int r = static_cast<int>(v * k_shade_scale + 0.5f);
        rgb[k] = static_cast<uint8_t>(std::min(r, 255));
    }
}

void ground_blend_row(uint8_t* rgb, const uint8_t* picture_rgb, const uint8_t* alpha, int bytes,
                      bool packed) {
    int k = 0;
#if defined(__SSE2__)
    if (packed) {
        const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi16(255),
                      one = _mm_set1_epi16(1);
        for (; k + 8 <= bytes; k += 8) {
            const __m128i p =
                _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(rgb + k)), zero);
            const __m128i im = _mm_unpacklo_epi8(
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(picture_rgb + k)), zero);
            const __m128i a = _mm_unpacklo_epi8(
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(alpha + k)), zero);
            // Both products stay below 2^16, so the sums are exact in 16 bits; x / 255 rounded
            // down is (x + 1 + (x >> 8)) >> 8 for every such x.
            const __m128i x =
                _mm_add_epi16(_mm_mullo_epi16(im, a), _mm_mullo_epi16(p, _mm_sub_epi16(full, a)));
            const __m128i q =
                _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(x, one), _mm_srli_epi16(x, 8)), 8);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(rgb + k), _mm_packus_epi16(q, q));
        }
    }
#else
    (void)packed;
#endif
    for (; k < bytes; k++) {
        const int a = alpha[k];
        rgb[k] = static_cast<uint8_t>((picture_rgb[k] * a + rgb[k] * (255 - a)) / 255);
    }
}

int ground_level_count(int side) {
    int count = 1;
    while (side > 1) side /= 2, count++;
    return count;
}

size_t ground_levels_bytes(int side) {
    size_t bytes = 0;
    for (int s = side; s >= 1; s /= 2) bytes += static_cast<size_t>(s) * s * 3;
    return bytes;
}

void ground_make_levels(int side, uint8_t* rgb) {
    const uint8_t* from = rgb;
    uint8_t* to = rgb + static_cast<size_t>(side) * side * 3;
    for (int s = side / 2; s >= 1; s /= 2) {
        const size_t row = static_cast<size_t>(2 * s) * 3;
        for (int z = 0; z < s; z++)
            for (int x = 0; x < s; x++) {
                const uint8_t* a = from + 2 * z * row + 2 * x * 3;
                uint8_t* out = to + (static_cast<size_t>(z) * s + x) * 3;
                for (int k = 0; k < 3; k++)
                    out[k] = static_cast<uint8_t>(
                        (a[k] + a[k + 3] + a[row + k] + a[row + k + 3] + 2) / 4);
            }
        from = to;
        to += static_cast<size_t>(s) * s * 3;
    }
}

void ground_placeholder(int level, int size, uint8_t* rgb) {
    if (level >= k_block_level) {
        memset(rgb, 0, static_cast<size_t>(size) * size * 3);
        return;
    }
    const int square = std::max(64 >> level, 1);
    const float dark = (255.0f - 42.5f * static_cast<float>(level)) / 255.0f;
    for (int z = 0; z < size; z++)
        for (int x = 0; x < size; x++) {
            const uint8_t* c = k_placeholder[((x / square) + (z / square)) & 1];
            uint8_t* p = rgb + (static_cast<size_t>(z) * size + x) * 3;
            for (int k = 0; k < 3; k++)
                p[k] = static_cast<uint8_t>(static_cast<float>(c[k]) * dark);
        }
}

void ground_decals_overlapping(const std::vector<ground_decal>& decals, float cell_size, int cell_x,
                               int cell_z, int cells, std::vector<int>* out) {
    out->clear();
    const float ground_cell = 2 * cell_size;
    const float x0 = static_cast<float>(cell_x) * ground_cell;
    const float z0 = static_cast<float>(cell_z) * ground_cell;
    const float x1 = x0 + static_cast<float>(cells) * ground_cell;
    const float z1 = z0 + static_cast<float>(cells) * ground_cell;
    for (size_t k = 0; k < decals.size(); k++) {
        const ground_decal& d = decals[k];
        const float reach = 0.5f * std::hypot(d.size * d.aspect, d.size);
        if (d.x + reach < x0 || d.x - reach > x1 || d.z + reach < z0 || d.z - reach > z1) continue;
        out->push_back(static_cast<int>(k));
    }
}

int ground_compose_software(const ground_compose_inputs& in, int cell_x, int cell_z, int cells,
                            int size, uint8_t* rgb, std::vector<uint8_t>* scratch) {
    const height_field& f = *in.field;
    const surface_set& surfaces = *in.surfaces;
    const int tiles = surfaces.tiles_per_side, n = f.samples_per_side;
    const float step = static_cast<float>(cells) / static_cast<float>(size); // cells a texel
    // The level of each picture whose texels are about the size of a composed texel.
    const int picture_count = static_cast<int>(in.pictures->size());
    picture_level levels[256];
    for (int t = 0; t < std::min(picture_count, 256); t++) {
        const image& pic = (*in.pictures)[t].rgb;
        const int level = level_for(pic, static_cast<float>(pic.width) * k_surface_span * step);
        levels[t] = {image_level(pic, level), image_level_width(pic, level),
                     image_level_height(pic, level)};
    }
    // 1. Each texel takes the surface picture of the cell under its centre.
    for (int tz = 0; tz < size; tz++) {
        const float gz = static_cast<float>(cell_z) + (static_cast<float>(tz) + 0.5f) * step;
        const int cz = std::clamp(static_cast<int>(std::floor(gz)), 0, tiles - 1);
        const float fz = gz - std::floor(gz);
        for (int tx = 0; tx < size; tx++) {
            const float gx = static_cast<float>(cell_x) + (static_cast<float>(tx) + 0.5f) * step;
            const int cx = std::clamp(static_cast<int>(std::floor(gx)), 0, tiles - 1);
            const float fx = gx - std::floor(gx);
            int type =
                surfaces.tilemap ? surfaces.tilemap[static_cast<size_t>(cz) * tiles + cx] : 0;
            type = std::min(type, std::min(picture_count, 256) - 1);
            uint8_t* out = rgb + (static_cast<size_t>(tz) * size + tx) * 3;
            if (type < 0) {
                out[0] = out[1] = out[2] = 128;
                continue;
            }
            const picture_level& l = levels[type];
            float c[3];
            sample_bilinear(
                l, (k_surface_margin + fx * k_surface_span) * static_cast<float>(l.width),
                (k_surface_margin + fz * k_surface_span) * static_cast<float>(l.height), c);
            for (int k = 0; k < 3; k++)
                out[k] = static_cast<uint8_t>(std::clamp(std::lround(c[k]), 0L, 255L));
        }
    }
    // 2. The decals, each by its alpha.
    int drawn = 0;
    if (in.decals && !in.decals->empty()) {
        std::vector<int> over;
        ground_decals_overlapping(*in.decals, f.cell_size, cell_x, cell_z, cells, &over);
        for (int k : over)
            blend_decal((*in.decals)[k], in, cell_x, cell_z, cells, size, rgb, scratch);
        drawn = static_cast<int>(over.size());
    }
    // 3. The shading between the samples around each texel centre, as a filtered texture
    // whose texel centres fall on the samples.
    if (in.shading) {
        scratch->resize(static_cast<size_t>(size) * 3);
        uint8_t* shade = scratch->data();
        const float sample_step = 2 * step;
        // The two samples around texel t of the square along one axis, and how far between.
        struct between {
            int lo, hi;
            float f;
        };
        auto samples_around = [&](int first_cell, int t) {
            const float at =
                2 * static_cast<float>(first_cell) + (static_cast<float>(t) + 0.5f) * sample_step;
            const int below = static_cast<int>(std::floor(at));
            return between{std::clamp(below, 0, n - 1), std::clamp(below + 1, 0, n - 1),
                           at - static_cast<float>(below)};
        };
        for (int tz = 0; tz < size; tz++) {
            const between z = samples_around(cell_z, tz);
            for (int tx = 0; tx < size; tx++) {
                const between x = samples_around(cell_x, tx);
                const uint8_t* a = in.shading + (static_cast<size_t>(z.lo) * n + x.lo) * 3;
                const uint8_t* b = in.shading + (static_cast<size_t>(z.lo) * n + x.hi) * 3;
                const uint8_t* c = in.shading + (static_cast<size_t>(z.hi) * n + x.lo) * 3;
                const uint8_t* d = in.shading + (static_cast<size_t>(z.hi) * n + x.hi) * 3;
                for (int k = 0; k < 3; k++) {
                    const float top = a[k] + (b[k] - a[k]) * x.f;
                    const float bottom = c[k] + (d[k] - c[k]) * x.f;
                    shade[tx * 3 + k] = static_cast<uint8_t>(top + (bottom - top) * z.f + 0.5f);
                }
            }
            ground_shade_row(rgb + static_cast<size_t>(tz) * size * 3, shade, size * 3, in.packed);
        }
    }
    return drawn;
}
