// Committing a height edit into the undo ring, and undoing back through it.
#include "editor/editor_local.h"

#include "terrain/ground_shading.h"
#include "terrain/terrain.h"

#include <algorithm>

void editor_commit() {
    editor_state& e = editor_get();
    const height_field& field = ground().field;
    if (!field.heights) return;
    const size_t count = static_cast<size_t>(field.samples_per_side) * field.samples_per_side;
    e.snapshot.assign(field.heights, field.heights + count);
    e.update_needed = false;
    ground_mark_heights_committed();
    ground_shading_refresh();
    undo_entry& slot = e.ring[e.ring_index];
    slot.heights = e.snapshot;
    slot.shading = ground_shading().shading;
    slot.normals = ground_shading().normals;
    e.ring_index = (e.ring_index + 1) % k_undo_levels;
    e.ring_count = std::min(e.ring_count + 1, k_undo_levels);
}

void editor_undo() {
    editor_state& e = editor_get();
    editor_message("OK");
    if (e.update_needed) editor_commit();
    if (e.ring_count < 2) {
        editor_message("No more undo levels!");
        return;
    }
    e.ring_count--;
    e.ring_index = (e.ring_index + k_undo_levels - 1) % k_undo_levels;
    // The entry before the new index: the state the commit before the last one took.
    const undo_entry& back = e.ring[(e.ring_index + k_undo_levels - 1) % k_undo_levels];
    const height_field& field = ground().field;
    const size_t count = static_cast<size_t>(field.samples_per_side) * field.samples_per_side;
    if (!field.heights || back.heights.size() != count) return;
    const int n = field.samples_per_side;
    // Through the height write, so the minimum, maximum and normals follow; the shading is put
    // back whole below, so nothing waits to be reshaded.
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            const float h = back.heights[static_cast<size_t>(j) * n + i];
            if (field.heights[static_cast<size_t>(j) * n + i] != h) ground_set_height(i, j, h);
        }
    e.snapshot = back.heights;
    ground_shading_restore(back.shading, back.normals);
    e.update_needed = false;
    ground_mark_heights_committed();
    ground_shading_forget_reshades();
    ground_count_height_change();
    ground_mark_dirty(0, 0, n - 1, n - 1);
    ground_refresh_full();
    editor_message("Undo!");
}

void editor_undo_clear() {
    editor_state& e = editor_get();
    for (undo_entry& u : e.ring) u = undo_entry{};
    e.ring_index = e.ring_count = 0;
}
