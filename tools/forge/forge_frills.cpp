// Rabbithill's track script "frills.js" and what it drives: a scoreboard by the finish showing
// the lap and the running order (a card whose picture the script pastes together from a glyph
// sheet), and a flag on a pole across the finish that waves, harder after every lap the leader
// completes.
#include "forge.h"
#include "forge_layout.h"
#include "forge_mesh.h"
#include "forge_resources.h"
#include "forge_track_files.h"

#include "resources/image.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {
constexpr int k_board = 128; // px, both pictures of the scoreboard
constexpr int k_cell_w = 8;  // px, one glyph cell of the sheet
constexpr int k_cell_h = 12; // px
constexpr const char* k_glyphs = "0123456789LAP/-";
constexpr int k_flag_segments = 4; // cloth bones after the pole's

// The glyphs as 3 x 5 dots, top row first, 3 bits a row (4 = left).
constexpr uint16_t k_glyph_dots[15][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
    {4, 4, 4, 4, 7}, {2, 5, 7, 5, 5}, {6, 5, 6, 4, 4}, {1, 1, 2, 4, 4}, {0, 0, 7, 0, 0},
};

void fill(image& im, int x0, int y0, int x1, int y1, const uint8_t c[4]) {
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++)
            for (int k = 0; k < 4; k++)
                im.pixels[(static_cast<size_t>(y) * im.width + x) * 4 + k] = c[k];
}

// Glyph g with its top left corner at (x, y), each dot 2 px.
void glyph(image& im, int g, int x, int y, const uint8_t c[4]) {
    for (int row = 0; row < 5; row++)
        for (int col = 0; col < 3; col++)
            if (k_glyph_dots[g][row] & (4 >> col))
                fill(im, x + 1 + 2 * col, y + 1 + 2 * row, x + 3 + 2 * col, y + 3 + 2 * row, c);
}

constexpr uint8_t k_panel[4] = {18, 22, 30, 255};
constexpr uint8_t k_rim[4] = {230, 190, 40, 255};
constexpr uint8_t k_amber[4] = {255, 176, 32, 255};

// The empty board: a dark panel in a yellow rim, "LAP" written at the top left.
image board_picture() {
    image im;
    image_allocate(&im, k_board, k_board, 4);
    fill(im, 0, 0, k_board, k_board, k_rim);
    fill(im, 3, 3, k_board - 3, k_board - 3, k_panel);
    fill(im, 3, 22, k_board - 3, 24, k_rim);
    for (int k = 0; k < 3; k++) glyph(im, 10 + k, 8 + k * k_cell_w, 6, k_amber);
    return im;
}

// The glyph sheet: every glyph in its cell along the top row, on the panel's colour.
image glyph_picture() {
    image im;
    image_allocate(&im, k_board, k_board, 4);
    fill(im, 0, 0, k_board, k_board, k_panel);
    const uint8_t white[4] = {240, 240, 230, 255};
    for (int g = 0; g < 15; g++) glyph(im, g, g * k_cell_w, 0, g < 10 ? white : k_amber);
    return im;
}

// The flag's picture: the left half grey for the pole, the right half chequers for the cloth
// (eight squares across its length, six down).
image flag_picture() {
    image im;
    image_allocate(&im, 64, 64, 4);
    const uint8_t grey[4] = {150, 150, 155, 255}, black[4] = {20, 20, 20, 255},
                  white[4] = {235, 235, 235, 255};
    fill(im, 0, 0, 32, 64, grey);
    for (int y = 0; y < 64; y++)
        for (int x = 32; x < 64; x++)
            fill(im, x, y, x + 1, y + 1, ((x / 4 + y * 6 / 64) % 2) ? black : white);
    return im;
}

// A pole 12 ft high (bone 0) and a cloth of four segments hinged one after another along +x
// (bones 1 to 4), each 1 ft long and 3 ft high. The cloth's texture runs over all four segments
// so that the chequers bend with it.
model_mesh flag_model() {
    mesh_builder m;
    m.bone = 0;
    m.add(shape_box({0, 6, 0}, {0.3f, 12, 0.3f}), 0, k_satin);
    for (int k = 0; k < k_flag_segments; k++) {
        m.bone = k + 1;
        model_part cloth =
            shape_box({0.2f + static_cast<float>(k) + 0.5f, 10.5f, 0}, {1.0f, 3, 0.05f});
        for (int v = 0; v < cloth.vertex_count; v++) {
            const float x = cloth.positions[3 * v], y = cloth.positions[3 * v + 1];
            cloth.uvs[2 * v] = 0.5f + 0.5f * (x - 0.2f) / static_cast<float>(k_flag_segments);
            cloth.uvs[2 * v + 1] = (y - 9) / 3;
        }
        m.add(std::move(cloth), k_own_uvs, k_matte);
    }
    return m.mesh(1 + k_flag_segments);
}

void beside(const track_layout& layout, float s, float offset, float* x, float* z) {
    const layout_point p = layout_at(layout, s);
    *x = p.x + offset * p.dir_z;
    *z = p.z - offset * p.dir_x;
}

bool read_text(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream all;
    all << in.rdbuf();
    *text = all.str();
    return true;
}

int line_count(const std::string& text) {
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

// The script. `FLAG` is the flag's statue number among the track's own statues.
constexpr const char* k_script =
    R"(// Rabbithill's frills: the scoreboard by the finish and the flag across it.
var board = qv.read_texture('@objects/scoreboard.seq');
var flag = FLAG;
var glyphs = '0123456789LAP/-';
var cell_w = 8 / 128, cell_h = 12 / 128;
var shown = '';
var leader_position = -1;
var cheer_until = 0;

// Text at (x, y) in board fractions, from the glyph sheet; other characters show as '-'.
function put(text, x, y) {
    for (var i = 0; i < text.length; i++) {
        var g = glyphs.indexOf(text.charAt(i));
        if (g < 0) g = 14;
        qv.paste_custom_frame(board, 1, g * cell_w, 0, x + i * cell_w, y, cell_w, cell_h);
    }
}

// The lap the leader is on out of the race's laps, then the first six of the running order.
function board_lines() {
    var order = qv.get_running_order();
    var laps = qv.get_finish_laps();
    var lap = order.length ? qv.index_to_lap(order[0].position) + 1 : 1;
    if (laps > 0 && lap > laps) lap = laps;
    var lines = [lap + '/' + laps];
    for (var i = 0; i < order.length && i < 6; i++)
        lines.push((i + 1) + ' ' + qv.get_rider_number(order[i].slot));
    return lines;
}

function draw_board() {
    var lines = board_lines();
    var text = lines.join('|');
    if (!board || text == shown) return;
    shown = text;
    qv.begin_custom_frame(board);
    qv.paste_custom_frame(board, 0, 0, 0, 0, 0, 1, 1);
    put(lines[0], 40 / 128, 6 / 128);
    for (var i = 1; i < lines.length; i++) put(lines[i], 10 / 128, (16 + 14 * i) / 128);
    qv.end_custom_frame(board);
}

// Each cloth segment turns about the upright a little more than the one before it, the turn
// running along the cloth as a wave.
function wave(seconds) {
    var hard = seconds < cheer_until;
    var amplitude = hard ? 0.55 : 0.25, speed = hard ? 9 : 4;
    var centres = [0, 0, 0], moved = [0, 0, 0], turns = [1, 0, 0, 0, 1, 0, 0, 0, 1];
    var x = 0.2, z = 0, angle = 0;
    for (var k = 0; k < 4; k++) {
        angle += amplitude * Math.sin(speed * seconds - 0.9 * k);
        var c = Math.cos(angle), s = Math.sin(angle);
        centres.push(0.2 + k, 10.5, 0);
        moved.push(x, 10.5, z);
        turns.push(c, 0, s, 0, 1, 0, -s, 0, c);
        x += c;
        z -= s;
    }
    qv.pose_statue(flag, 5, centres, moved, turns);
}

qv.frame_handler = function (seconds) {
    draw_board();
    wave(seconds);
};

// Every lap the leader completes makes the flag wave hard for three seconds.
qv.tic_handler = function (seconds) {
    if (qv.get_running_count() == 0) return;
    var p = qv.get_running_order_position(0);
    if (p != leader_position) {
        if (leader_position >= 0 && qv.index_to_lap(p) != qv.index_to_lap(leader_position))
            cheer_until = seconds + 3;
        leader_position = p;
    }
};
)";
} // namespace

bool forge_rabbithill_frills(const std::string& out) {
    const std::string shared = out + "objects/";
    const std::string folder = out + k_rabbithill_folder + "/";
    const std::string seq = "ANIM1\n1 2 1 0\n0\nPNG\n@objects/scoreboard_board.png\n"
                            "PNG\n@objects/scoreboard_glyphs.png\n";
    if (!forge_write_png(shared + "scoreboard_board.png", board_picture()) ||
        !forge_write_png(shared + "scoreboard_glyphs.png", glyph_picture()) ||
        !forge_write_file(shared + "scoreboard.seq", seq) ||
        !forge_write_png(shared + "flag.png", flag_picture()) ||
        !forge_write_model(shared + "flag.jm", flag_model()))
        return false;
    // The objects step wrote the track's statues and cards; the flag and the board come last.
    std::string statues, billboards;
    if (!read_text(folder + "statues", &statues) || !read_text(folder + "billboards", &billboards))
        return false;
    const track_layout& layout = rabbithill_layout();
    const layout_point finish = layout_at(layout, layout.finish_s);
    const int flag = line_count(statues);
    char line[256];
    float x, z;
    beside(layout, layout.finish_s, -(finish.half_width + 5), &x, &z);
    snprintf(line, sizeof line, "[%f 0 %f] %f @objects/flag.jm @objects/flag.png null\n", x, z,
             std::atan2(finish.dir_x, finish.dir_z) + 1.5707964f);
    statues += line;
    beside(layout, layout.finish_s + 25, finish.half_width + 14, &x, &z);
    snprintf(line, sizeof line, "[%f 4 %f] 12 1 @objects/scoreboard.seq\n", x, z);
    billboards += line;
    std::string script = k_script;
    script.replace(script.find("FLAG"), 4, std::to_string(flag));
    return forge_write_file(folder + "statues", statues) &&
           forge_write_file(folder + "billboards", billboards) &&
           forge_write_file(folder + "frills.js", script);
}
