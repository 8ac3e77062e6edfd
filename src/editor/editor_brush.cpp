// The terrain brushes along the stroke's segment (raise, lower, smooth, smudge, the gradients)
// and the snap onto coarse triangles.
#include "editor/editor_local.h"

#include "terrain/terrain.h"

#include <algorithm>
#include <cmath>

namespace {
float distance_to_segment(float px, float pz, float ax, float az, float bx, float bz) {
    const float dx = bx - ax, dz = bz - az;
    const float length2 = dx * dx + dz * dz;
    float t = length2 > 0 ? ((px - ax) * dx + (pz - az) * dz) / length2 : 0;
    t = std::clamp(t, 0.0f, 1.0f);
    const float ex = px - (ax + t * dx), ez = pz - (az + t * dz);
    return std::sqrt(ex * ex + ez * ez);
}

// The snapshot read as a surface: the field's own interpolation over the committed heights.
float snapshot_height_at(const std::vector<float>& snapshot, float x, float z) {
    height_field view = ground().field;
    view.heights = const_cast<float*>(snapshot.data());
    return field_height_at(view, x, z);
}

float snapshot_at(const std::vector<float>& snapshot, int n, int i, int j) {
    i = std::clamp(i, 0, n - 1);
    j = std::clamp(j, 0, n - 1);
    return snapshot[static_cast<size_t>(j) * n + i];
}

// The mean of the snapshot over a disc of r samples around (i, j).
float disc_mean(const std::vector<float>& snapshot, int n, int i, int j, int r) {
    double sum = 0;
    int count = 0;
    for (int k = -(r - 1); k <= r - 1; k++) {
        const int half =
            static_cast<int>(std::lround(std::sqrt(static_cast<double>(r * r - k * k))));
        for (int m = -half; m <= half; m++) {
            sum += snapshot_at(snapshot, n, i + m, j + k);
            count++;
        }
    }
    return count ? static_cast<float>(sum / count) : snapshot_at(snapshot, n, i, j);
}

// The samples an application wrote, as a rectangle (empty while i0 > i1).
struct touched_region {
    int i0 = 1 << 30, j0 = 1 << 30, i1 = -1, j1 = -1;
    // Writes a sample through the editor's height write; remembers it when it was taken.
    void write(int i, int j, float height) {
        if (!ground_edit_height(i, j, height)) return;
        i0 = std::min(i0, i), j0 = std::min(j0, j);
        i1 = std::max(i1, i), j1 = std::max(j1, j);
    }
};

// After a brush or snap: the touched region widened by a sample is scheduled for redrawing.
void after_application(const touched_region& r) {
    editor_state& e = editor_get();
    if (r.i0 > r.i1) return;
    e.update_needed = true;
    editor_message("Update needed!");
    ground_mark_dirty(r.i0 - 1, r.j0 - 1, r.i1 + 1, r.j1 + 1);
    ground_count_height_change();
}
} // namespace

void brush_apply() {
    editor_state& e = editor_get();
    const height_field& field = ground().field;
    if (!field.heights || e.snapshot.empty()) return;
    const int n = field.samples_per_side;
    const float c = field.cell_size;
    const float s = editor_scale();
    const float outer = e.values[item_radius] * s;
    const float inner = e.values[item_radius] * e.values[item_focus] * s;
    const float amount = std::exp2(e.values[item_strength]);
    float x, z;
    editor_pointer_world(&x, &z);
    float ux = 0, uz = 0;
    if (e.mode == mode_smudge) {
        const float dx = e.smudge_x - x, dz = e.smudge_z - z;
        const float d = std::sqrt(dx * dx + dz * dz);
        if (d < 1) return;
        e.smudge_x = x + dx / d;
        e.smudge_z = z + dz / d;
        ux = dx / d;
        uz = dz / d;
    }
    const float ax = e.prev_x >= 0 ? e.prev_x : x, az = e.prev_x >= 0 ? e.prev_z : z;
    e.prev_x = x;
    e.prev_z = z;
    const int i0 = std::max(0, static_cast<int>(std::floor((std::min(ax, x) - outer) / c)));
    const int j0 = std::max(0, static_cast<int>(std::floor((std::min(az, z) - outer) / c)));
    const int i1 = std::min(n - 1, static_cast<int>(std::ceil((std::max(ax, x) + outer) / c)));
    const int j1 = std::min(n - 1, static_cast<int>(std::ceil((std::max(az, z) + outer) / c)));
    const int smooth_r = std::clamp(static_cast<int>(std::lround(amount)), 1, 1024);
    const int sub = static_cast<int>(e.values[item_submode]);
    touched_region touched;
    for (int j = j0; j <= j1; j++)
        for (int i = i0; i <= i1; i++) {
            const float sx = static_cast<float>(i) * c, sz = static_cast<float>(j) * c;
            const float d = distance_to_segment(sx, sz, ax, az, x, z);
            if (d >= outer) continue;
            float w = 1;
            if (d >= inner) {
                const float t = (d - inner) / (outer - inner);
                w = 2 * t * t * t - 3 * t * t + 1;
            }
            const size_t k = static_cast<size_t>(j) * n + i;
            const float h0 = e.snapshot[k];
            float g = h0;
            switch (e.mode) {
            case mode_raise:
                g = h0 + amount;
                break;
            case mode_lower:
                g = h0 - amount;
                break;
            case mode_smooth:
                g = disc_mean(e.snapshot, n, i, j, smooth_r);
                break;
            case mode_smudge: {
                double sum = 0;
                int count = 0;
                for (float step = 0; step < amount * c; step += c * 0.5f) {
                    sum += snapshot_height_at(e.snapshot, sx + ux * step, sz + uz * step);
                    count++;
                }
                g = count ? static_cast<float>(sum / count) : h0;
                break;
            }
            case mode_gradient_linear_paint:
            case mode_gradient_radial_paint:
                g = gradient_value_at(sx, sz, e.mode == mode_gradient_radial_paint);
                break;
            case mode_gradient_linear_add:
            case mode_gradient_radial_add:
                g = h0 + gradient_value_at(sx, sz, e.mode == mode_gradient_radial_add);
                break;
            default:
                break;
            }
            float h = h0 + (g - h0) * w;
            const float now = field.heights[k];
            // Only further from the committed height than an earlier pass of the stroke went.
            if (!(std::fabs(now - h0) < std::fabs(h - h0))) continue;
            if (sub == submode_raise_only) h = std::max(h, h0);
            if (sub == submode_lower_only) h = std::min(h, h0);
            if (h != now) touched.write(i, j, h);
        }
    after_application(touched);
}

void snap_apply() {
    editor_state& e = editor_get();
    const height_field& field = ground().field;
    if (!field.heights || e.snapshot.empty()) return;
    const int n = field.samples_per_side;
    const float c = field.cell_size;
    const float amount = std::exp2(e.values[item_strength]);
    int s = 1;
    while (static_cast<float>(s) * c < amount && s < n) s *= 2;
    float x, z;
    editor_pointer_world(&x, &z);
    auto block_start = [&](float w) {
        int k = static_cast<int>(std::floor(w / c));
        k = std::clamp(k, 0, n - 1);
        return k / s * s;
    };
    const int i0 = block_start(x), j0 = block_start(z);
    const int bi = i0 / s, bj = j0 / s;
    const float h00 = snapshot_at(e.snapshot, n, i0, j0);
    const float h10 = snapshot_at(e.snapshot, n, i0 + s, j0);
    const float h01 = snapshot_at(e.snapshot, n, i0, j0 + s);
    const float h11 = snapshot_at(e.snapshot, n, i0 + s, j0 + s);
    touched_region touched;
    for (int j = j0; j <= std::min(j0 + s, n - 1); j++)
        for (int i = i0; i <= std::min(i0 + s, n - 1); i++) {
            const float u = static_cast<float>(i - i0) / static_cast<float>(s);
            const float v = static_cast<float>(j - j0) / static_cast<float>(s);
            // The field's checkerboard of triangles, laid over blocks of s by s cells.
            float h;
            if ((bi + bj) & 1)
                h = u + v <= 1 ? h00 + u * (h10 - h00) + v * (h01 - h00)
                               : h11 + (1 - u) * (h01 - h11) + (1 - v) * (h10 - h11);
            else
                h = v <= u ? h10 + (1 - u) * (h00 - h10) + v * (h11 - h10)
                           : h01 + u * (h11 - h01) + (1 - v) * (h00 - h01);
            if (field.heights[static_cast<size_t>(j) * n + i] != h) touched.write(i, j, h);
        }
    after_application(touched);
}
