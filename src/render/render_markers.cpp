// Trail markers: balloons with the simulation's notes, left where the bike was while logging.
#include "render/render_local.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>

namespace {
// One line of a balloon's text: where it starts in the text and how long it is.
struct text_line {
    size_t start, length;
};

std::vector<text_line> lines_of(const std::string& text) {
    std::vector<text_line> lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find('\n', start);
        lines.push_back({start, (end == std::string::npos ? text.size() : end) - start});
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

void draw_marker(const trail_marker& m, const float rotation[9]) {
    glPushMatrix();
    glTranslatef(m.position[0], m.position[1], m.position[2]);
    // Cancel the camera's rotation, so the balloon faces the eye.
    const float* r = rotation;
    const float facing[16] = {r[0], r[3], r[6], 0, r[1], r[4], r[7], 0,
                              r[2], r[5], r[8], 0, 0,    0,    0,    1};
    glMultMatrixf(facing);
    glScalef(0.5f, 0.5f, 0.5f);
    const std::vector<text_line> lines = lines_of(m.text);
    const float n = static_cast<float>(lines.size());
    float widest = 0;
    for (const text_line& l : lines) {
        std::string line = m.text.substr(l.start, l.length);
        widest = std::max(widest, text_drawer().width(line.c_str(), 1));
    }
    const float q = widest / 2;
    glDisable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    glBegin(GL_TRIANGLE_FAN);
    const float fan[][2] = {{0, 1 + n / 2}, {-q, n + 1}, {-q, 1},    {-1, 1},    {0, 0},
                            {1, 1},         {q, 1},      {q, n + 1}, {-q, n + 1}};
    for (const auto& p : fan) glVertex2f(p[0], p[1]);
    glEnd();
    const float black[4] = {0, 0, 0, 1};
    for (size_t k = 0; k < lines.size(); k++) {
        std::string line = m.text.substr(lines[k].start, lines[k].length);
        text_drawer().draw(line.c_str(), 0, n - static_cast<float>(k), 1, black, 1, false);
    }
    glPopMatrix();
}
} // namespace

void trail_marker_add(const float position[3], const char* text) {
    trail_marker m;
    std::copy(position, position + 3, m.position);
    m.text = text ? text : "";
    renderer().markers.push_back(std::move(m));
}

void trail_markers_clear() { renderer().markers.clear(); }
int trail_marker_count() { return static_cast<int>(renderer().markers.size()); }

void trail_markers_draw(const scene_camera& camera) {
    render_state& r = renderer();
    const int count = trail_marker_count();
    if (count == 0) return;
    float back[3];
    rotation_column(camera.rotation, 2, back);
    const int32_t near_key =
        depth_key(back[0] * camera.eye[0] + back[1] * camera.eye[1] + back[2] * camera.eye[2] - 2);
    r.order.resize(static_cast<size_t>(count));
    r.scratch.resize(static_cast<size_t>(count));
    int n = 0;
    for (int i = 0; i < count; i++) {
        trail_marker& m = r.markers[i];
        m.sort_key =
            depth_key(back[0] * m.position[0] + back[1] * m.position[1] + back[2] * m.position[2]);
        if (m.sort_key < near_key) r.order[n++] = i;
    }
    radix_sort(r.order.data(), r.scratch.data(), n,
               [&](int32_t i) { return static_cast<uint32_t>(r.markers[i].sort_key); });
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    for (int k = 0; k < n; k++) draw_marker(r.markers[r.order[k]], camera.rotation);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
}
