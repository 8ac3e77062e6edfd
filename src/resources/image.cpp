// Decoded images: level geometry, mip chains, resampling, the redundant-detail test, info keywords.
#include "resources/image.h"

#include "platform/log.h"

#include <algorithm>
#include <cstring>

image_info_flags image_info_parse(const std::string& info) {
    image_info_flags flags;
    flags.mip_max_alpha = info.find("[mip_max_alpha]") != std::string::npos;
    flags.mip_custom = info.find("[mip_custom]") != std::string::npos;
    flags.compress = info.find("[compress]") != std::string::npos;
    return flags;
}

std::string image_info_text(const image_info_flags& flags) {
    std::string text;
    if (flags.mip_max_alpha) text += "[mip_max_alpha]\n";
    if (flags.mip_custom) text += "[mip_custom]\n";
    if (flags.compress) text += "[compress]\n";
    return text;
}

int image_level_width(const image& im, int level) { return std::max(1, im.width >> level); }
int image_level_height(const image& im, int level) { return std::max(1, im.height >> level); }

size_t image_level_offset(const image& im, int level) {
    size_t offset = 0;
    for (int l = 0; l < level; l++)
        offset +=
            static_cast<size_t>(image_level_width(im, l)) * image_level_height(im, l) * im.channels;
    return offset;
}

uint8_t* image_level(image& im, int level) {
    return im.pixels.data() + image_level_offset(im, level);
}
const uint8_t* image_level(const image& im, int level) {
    return im.pixels.data() + image_level_offset(im, level);
}

bool image_size_acceptable(int64_t width, int64_t height, const char* what) {
    if (width < 1 || height < 1 || width > k_image_max_side || height > k_image_max_side ||
        width * height > k_image_max_pixels) {
        log("Refusing %s of %lld x %lld pixels\n", what, static_cast<long long>(width),
            static_cast<long long>(height));
        return false;
    }
    return true;
}

bool image_allocate(image* im, int width, int height, int channels) {
    if (!image_size_acceptable(width, height, "image")) return false;
    im->width = width;
    im->height = height;
    im->channels = channels;
    im->levels = 1;
    im->pixels.assign(static_cast<size_t>(width) * height * channels, 0);
    return true;
}

namespace {
int full_level_count(int width, int height) {
    int levels = 1;
    while (width > 1 || height > 1) {
        width = std::max(1, width >> 1);
        height = std::max(1, height >> 1);
        levels++;
    }
    return levels;
}

// One 2 x 2 box step from a level to the next.
void box_filter(const uint8_t* src, int sw, int sh, uint8_t* dst, int dw, int dh, int channels,
                bool max_alpha) {
    for (int y = 0; y < dh; y++) {
        int y0 = sh > 1 ? 2 * y : 0, y1 = sh > 1 ? 2 * y + 1 : 0;
        for (int x = 0; x < dw; x++) {
            int x0 = sw > 1 ? 2 * x : 0, x1 = sw > 1 ? 2 * x + 1 : 0;
            const uint8_t* p[4] = {src + (static_cast<size_t>(y0) * sw + x0) * channels,
                                   src + (static_cast<size_t>(y0) * sw + x1) * channels,
                                   src + (static_cast<size_t>(y1) * sw + x0) * channels,
                                   src + (static_cast<size_t>(y1) * sw + x1) * channels};
            uint8_t* out = dst + (static_cast<size_t>(y) * dw + x) * channels;
            if (channels == 4) {
                int alpha_sum = 0, alpha_max = 0, opaque = 0, clear = 0;
                for (const uint8_t* q : p) {
                    alpha_sum += q[3];
                    alpha_max = std::max(alpha_max, static_cast<int>(q[3]));
                    opaque += q[3] == 255;
                    clear += q[3] == 0;
                }
                bool plain = opaque == 4 || clear == 4;
                for (int c = 0; c < 3; c++) {
                    if (plain) {
                        out[c] =
                            static_cast<uint8_t>((p[0][c] + p[1][c] + p[2][c] + p[3][c] + 2) >> 2);
                    } else {
                        int weighted = 0;
                        for (const uint8_t* q : p) weighted += q[c] * q[3];
                        out[c] = static_cast<uint8_t>((weighted + alpha_sum / 2) / alpha_sum);
                    }
                }
                out[3] = static_cast<uint8_t>(max_alpha ? alpha_max : (alpha_sum + 2) >> 2);
            } else {
                for (int c = 0; c < channels; c++)
                    out[c] = static_cast<uint8_t>((p[0][c] + p[1][c] + p[2][c] + p[3][c] + 2) >> 2);
            }
        }
    }
}

// The 3/4, 1/4 neighbour of output index i when a side of n grows from m.
void upsample_taps(int i, int n, int m, int* near, int* far) {
    if (m == n) {
        *near = *far = i;
        return;
    }
    *near = std::min(i / 2, m - 1);
    *far = (i & 1) ? std::min(*near + 1, m - 1) : std::max(*near - 1, 0);
}
} // namespace

void image_build_mips(image* im, bool max_alpha) {
    int levels = full_level_count(im->width, im->height);
    im->levels = 1;
    size_t total = 0;
    for (int l = 0; l < levels; l++) {
        image probe = {im->width, im->height, im->channels, 0, {}};
        total += static_cast<size_t>(image_level_width(probe, l)) * image_level_height(probe, l) *
                 im->channels;
    }
    im->pixels.resize(total);
    im->levels = levels;
    for (int l = 1; l < levels; l++)
        box_filter(image_level(*im, l - 1), image_level_width(*im, l - 1),
                   image_level_height(*im, l - 1), image_level(*im, l), image_level_width(*im, l),
                   image_level_height(*im, l), im->channels, max_alpha);
}

void image_resample(image* im, int width, int height) {
    std::vector<uint8_t> out(static_cast<size_t>(width) * height * im->channels);
    const int c = im->channels;
    for (int j = 0; j < height; j++) {
        int sj = static_cast<int>(static_cast<int64_t>(j) * im->height / height);
        for (int i = 0; i < width; i++) {
            int si = static_cast<int>(static_cast<int64_t>(i) * im->width / width);
            memcpy(&out[(static_cast<size_t>(j) * width + i) * c],
                   &im->pixels[(static_cast<size_t>(sj) * im->width + si) * c], c);
        }
    }
    im->pixels = std::move(out);
    im->width = width;
    im->height = height;
    im->levels = 1;
}

int image_power_of_two_below(int n) {
    if (n < 3) return 1;
    int p = 1;
    while (p * 2 <= n) p *= 2;
    return p;
}

bool image_is_power_of_two(int n) { return n > 0 && (n & (n - 1)) == 0; }

void image_drop_level(image* im) {
    if (im->levels < 2) return;
    size_t first = image_level_offset(*im, 1);
    int width = image_level_width(*im, 1), height = image_level_height(*im, 1);
    im->pixels.erase(im->pixels.begin(), im->pixels.begin() + static_cast<ptrdiff_t>(first));
    im->width = width;
    im->height = height;
    im->levels--;
}

bool image_level_redundant(const image& im) {
    if (im.levels < 2) return false;
    const int w = im.width, h = im.height, c = im.channels;
    const int nw = image_level_width(im, 1), nh = image_level_height(im, 1);
    const uint8_t* cur = image_level(im, 0);
    const uint8_t* next = image_level(im, 1);
    // Rows of the next level widened along x first, then blended along y.
    std::vector<int> wide(static_cast<size_t>(w) * nh * c);
    for (int y = 0; y < nh; y++)
        for (int x = 0; x < w; x++) {
            int b, a;
            upsample_taps(x, w, nw, &b, &a);
            for (int k = 0; k < c; k++)
                wide[(static_cast<size_t>(y) * w + x) * c + k] =
                    (next[(static_cast<size_t>(y) * nw + a) * c + k] +
                     3 * next[(static_cast<size_t>(y) * nw + b) * c + k]) >>
                    2;
        }
    for (int y = 0; y < h; y++) {
        int b, a;
        upsample_taps(y, h, nh, &b, &a);
        for (int x = 0; x < w; x++)
            for (int k = 0; k < c; k++) {
                int predicted = (wide[(static_cast<size_t>(a) * w + x) * c + k] +
                                 3 * wide[(static_cast<size_t>(b) * w + x) * c + k]) >>
                                2;
                int actual = cur[(static_cast<size_t>(y) * w + x) * c + k];
                if (actual - predicted > 4 || predicted - actual > 4) return false;
            }
    }
    return true;
}

void image_grey_to_rgb(image* im) {
    if (im->channels != 1) return;
    std::vector<uint8_t> rgb(im->pixels.size() * 3);
    for (size_t i = 0; i < im->pixels.size(); i++)
        rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = im->pixels[i];
    im->pixels = std::move(rgb);
    im->channels = 3;
}

bool image_from_custom_mips(const image& file, image* out) {
    const int fh = file.height;
    if ((2 * fh) % 3 != 0 || fh < 3) return false;
    const int w = file.width, h = 2 * fh / 3, c = file.channels;
    image result = {w, h, c, 0, {}};
    result.levels = full_level_count(w, h);
    result.pixels.resize(image_level_offset(result, result.levels));
    int column = 0, row = 0;
    for (int l = 0; l < result.levels; l++) {
        int lw = image_level_width(result, l), lh = image_level_height(result, l);
        if (l == 1) {
            column = 0;
            row = h;
        } else if (l == 2) {
            column = std::max(1, w / 2);
            row = h;
        }
        if (column + lw > w || row + lh > fh) return false;
        uint8_t* dst = image_level(result, l);
        for (int y = 0; y < lh; y++)
            memcpy(dst + static_cast<size_t>(y) * lw * c,
                   &file.pixels[(static_cast<size_t>(row + y) * w + column) * c],
                   static_cast<size_t>(lw) * c);
        if (l >= 2) row += lh;
    }
    *out = std::move(result);
    return true;
}
