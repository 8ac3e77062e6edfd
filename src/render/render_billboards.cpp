// Billboards: cards in front of the eye sorted far to near without comparisons, reordered to
// share textures where that changes nothing visible, and drawn in runs of one texture.
#include "render/render_local.h"

#include "resources/gl/gl_bind.h"
#include "track/track_view.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace {
// The ends of a card, seen from the eye, on the ground plane.
struct card_ends {
    float left[2], right[2]; // x, z relative to the eye
};

card_ends ends_of(const billboard& c, const float right[3], const float eye[3]) {
    const float h = c.size * c.factor / 2;
    return {{c.x - right[0] * h - eye[0], c.z - right[2] * h - eye[2]},
            {c.x + right[0] * h - eye[0], c.z + right[2] * h - eye[2]}};
}

float cross2(const float p[2], const float q[2]) { return p[0] * q[1] - p[1] * q[0]; }

bool cards_overlap(const billboard& c, const billboard& k, const float right[3],
                   const float eye[3]) {
    const card_ends ec = ends_of(c, right, eye), ek = ends_of(k, right, eye);
    return cross2(ek.right, ec.left) < 0 && cross2(ec.right, ek.left) < 0;
}

uint32_t key_bits(int32_t key) { return static_cast<uint32_t>(key); }
} // namespace

int billboards_keep(const billboard* cards, int count, int reserved, const float back[3],
                    const float eye[3], int32_t* keys, int32_t* kept) {
    const double eye_along = back[0] * eye[0] + back[1] * eye[1] + back[2] * eye[2];
    const int32_t eye_key = depth_key(eye_along);
    int n = 0;
    for (int i = 0; i < count; i++) {
        const billboard& c = cards[i];
        if (!c.texture || c.colour[3] == 0) continue;
        // A roost particle counts as nearer by its width, so it sorts in front of what it rises
        // from.
        const double w = i < reserved ? c.size * c.factor : 0;
        keys[i] = depth_key(back[0] * c.x + back[1] * c.y + back[2] * c.z + w);
        if (keys[i] < eye_key) kept[n++] = i;
    }
    return n;
}

void billboards_radix_sort(const int32_t* keys, int32_t* order, int32_t* scratch, int count) {
    radix_sort(order, scratch, count, [&](int32_t i) { return key_bits(keys[i]); });
}

void billboards_batch(const billboard* cards, int32_t* order, int count, int window,
                      const float right[3], const float eye[3]) {
    if (window <= 1) return;
    for (int i = 0; i < count; i++) {
        const uint32_t texture = cards[order[i]].texture;
        int j = -1;
        for (int k = i + 1; k < std::min(count, i + window) && j < 0; k++)
            if (cards[order[k]].texture == texture) j = k;
        if (j <= i + 1) continue;
        bool hidden = false;
        for (int k = i + 1; k < j && !hidden; k++)
            hidden = cards_overlap(cards[order[j]], cards[order[k]], right, eye);
        if (hidden) continue;
        const int32_t moved = order[j];
        std::copy_backward(order + i + 1, order + j, order + j + 1);
        order[i + 1] = moved;
    }
}

void billboards_draw(const scene_camera& camera, int optimize_lookahead) {
    render_state& r = renderer();
    const billboard* cards = billboards();
    const int count = billboard_count();
    if (count == 0) return;
    float back[3];
    rotation_column(camera.rotation, 2, back);
    const float flat = std::sqrt(back[0] * back[0] + back[2] * back[2]);
    // Looking straight up or down, no card has a side to turn to the eye.
    if (flat == 0) return;
    const float right[3] = {back[2] / flat, 0, -back[0] / flat};
    r.order.resize(static_cast<size_t>(count) + 1);
    r.scratch.resize(static_cast<size_t>(count) + 1);
    r.card_keys.resize(static_cast<size_t>(count));
    const int n = billboards_keep(cards, count, billboard_reserved_count(), back, camera.eye,
                                  r.card_keys.data(), r.order.data());
    billboards_radix_sort(r.card_keys.data(), r.order.data(), r.scratch.data(), n);
    r.order[n] = -1;
    billboards_batch(cards, r.order.data(), n, optimize_lookahead, right, camera.eye);

    r.card_vertices.resize(static_cast<size_t>(n) * 12);
    r.card_uvs.resize(static_cast<size_t>(n) * 8);
    r.card_colours.resize(static_cast<size_t>(n) * 16);
    for (int k = 0; k < n; k++) {
        const billboard& c = cards[r.order[k]];
        const float h = c.size * c.factor / 2;
        const float corners[4][3] = {
            {c.x - right[0] * h, c.y, c.z - right[2] * h},
            {c.x + right[0] * h, c.y, c.z + right[2] * h},
            {c.x + right[0] * h, c.y + c.size, c.z + right[2] * h},
            {c.x - right[0] * h, c.y + c.size, c.z - right[2] * h},
        };
        const float uvs[8] = {0, 1, 1, 1, 1, 0, 0, 0};
        std::copy(&corners[0][0], &corners[0][0] + 12,
                  &r.card_vertices[static_cast<size_t>(k) * 12]);
        std::copy(uvs, uvs + 8, &r.card_uvs[static_cast<size_t>(k) * 8]);
        for (int v = 0; v < 4; v++)
            std::copy(c.colour, c.colour + 4, &r.card_colours[static_cast<size_t>(k) * 16 + v * 4]);
    }
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDepthMask(GL_FALSE);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, r.card_vertices.data());
    glTexCoordPointer(2, GL_FLOAT, 0, r.card_uvs.data());
    glColorPointer(4, GL_UNSIGNED_BYTE, 0, r.card_colours.data());
    for (int start = 0; start < n;) {
        const uint32_t texture = cards[r.order[start]].texture;
        int end = start + 1;
        while (end < n && cards[r.order[end]].texture == texture) end++;
        gl_bind_texture(texture);
        glDrawArrays(GL_QUADS, start * 4, (end - start) * 4);
        start = end;
    }
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDepthMask(GL_TRUE);
    glEnable(GL_CULL_FACE);
    glColor4f(1, 1, 1, 1);
    r.stats.billboards = n;
}
