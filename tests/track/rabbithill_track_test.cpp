// The generated default track through the real loader: its start gate, checkpoints and laps
// against the layout they were placed from, its sun shading and shadows, its map.
#include "forge_layout.h"

#include "bike/bike_data.h"
#include "common/common.h"
#include "files/data_file.h"
#include "files/files.h"
#include "resources/image.h"
#include "resources/model.h"
#include "terrain/ground_shading.h"
#include "terrain/terrain.h"
#include "track/track.h"
#include "track/track_gates.h"
#include "track/track_objects.h"
#include "track/track_view.h"

#include "support/track_suite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {
struct RabbithillTrack : ::testing::Test {
    static inline fs::path home;
    static inline bool loaded = false;
    const track_layout& layout = rabbithill_layout();

    static void SetUpTestSuite() {
        loaded = track_suite_open(home, "tb_rabbithill_track_", k_rabbithill_folder);
    }
    static void TearDownTestSuite() { track_suite_close(home); }
    void SetUp() override { ASSERT_TRUE(loaded); }

    // Riding the path from its start, the timing position reached: each step that lies in the
    // next gate of the lap sequence moves on to the gate after it.
    template <typename Path> static int ride(Path path, float length, int positions) {
        int position = 0;
        for (float t = 0; t <= length && position < positions; t += 0.25f) {
            float x, z;
            path(t, &x, &z);
            if (gate_contains(gate_at(gate_at_position(position)), x, z)) position++;
        }
        return position;
    }

    static std::string file(const char* name) {
        std::string bytes;
        file_to_string(name, &bytes);
        return bytes;
    }
};

TEST_F(RabbithillTrack, ListHoldsBothGeneratedTracksByTheirNames) {
    int rabbithill = track_list_find("rabbithill");
    int practice = track_list_find("practice");
    ASSERT_GE(rabbithill, 0);
    ASSERT_GE(practice, 0);
    EXPECT_EQ(track_list_entry(rabbithill).display_name, "Rabbit Hill");
    EXPECT_EQ(track_list_entry(practice).display_name, "Practice Area");
    // Sorted by display name: "Practice Area" before "Rabbit Hill".
    EXPECT_LT(practice, rabbithill);
    EXPECT_STREQ(track_current(), "rabbithill");
    EXPECT_STREQ(track_display_name(), "Rabbit Hill");
    EXPECT_EQ(track_digest_hex().size(), 40u);
}

TEST_F(RabbithillTrack, TimingIsValidWithLapsAsLongAsTheLayout) {
    ASSERT_GT(gate_count(), 0);
    int first = first_lap_length(), normal = normal_lap_length();
    ASSERT_GT(first, 2);
    ASSERT_GT(normal, 2);
    EXPECT_EQ(first_lap_learned_count(), first);
    EXPECT_EQ(normal_lap_learned_count(), normal);
    // Both laps end on the finish line, which stands where the layout puts it.
    int finish = lap_entry_gate(lap_entry(first - 1));
    EXPECT_EQ(lap_entry_gate(lap_entry(first + normal - 1)), finish);
    layout_point line = layout_at(layout, layout.finish_s);
    EXPECT_LT(std::hypot(gate_at(finish).centre[0] - line.x, gate_at(finish).centre[2] - line.z),
              1.0f);
    // The normal lap holds every gate once; the gate-to-gate distance round it is the lap.
    std::set<int> seen;
    float around = 0;
    for (int k = 0; k < normal; k++) {
        int a = lap_entry_gate(lap_entry(first + k));
        int b = lap_entry_gate(lap_entry(first + (k + 1) % normal));
        seen.insert(a);
        around += std::hypot(gate_at(b).centre[0] - gate_at(a).centre[0],
                             gate_at(b).centre[2] - gate_at(a).centre[2]);
    }
    EXPECT_EQ(static_cast<int>(seen.size()), gate_count());
    EXPECT_EQ(normal, gate_count());
    EXPECT_GT(around, 0.97f * layout.length);
    EXPECT_LE(around, layout.length);
    // The first lap runs from the first gate after the start to the finish line.
    float first_around = 0;
    for (int k = 0; k + 1 < first; k++) {
        const timing_gate& a = gate_at(lap_entry_gate(lap_entry(k)));
        const timing_gate& b = gate_at(lap_entry_gate(lap_entry(k + 1)));
        first_around += std::hypot(b.centre[0] - a.centre[0], b.centre[2] - a.centre[2]);
    }
    EXPECT_GT(first_around, 0.9f * layout.finish_s);
    EXPECT_LT(first_around, layout.finish_s);
}

TEST_F(RabbithillTrack, EveryGateSpansTheGrooveAndFacesAlongTheLap) {
    for (int g = 0; g < gate_count(); g++) {
        const timing_gate& gate = gate_at(g);
        layout_place place = layout_locate(layout, gate.centre[0], gate.centre[2]);
        layout_point p = layout_at(layout, place.s);
        EXPECT_LT(place.distance, 0.5f) << "gate " << g;
        EXPECT_GE(gate.radius, p.half_width + 2) << "gate " << g;
        float length = std::hypot(gate.direction[0], gate.direction[2]);
        EXPECT_GT((gate.direction[0] * p.dir_x + gate.direction[2] * p.dir_z) / length, 0.99f)
            << "gate " << g;
        // The centre stands on the ground.
        EXPECT_NEAR(gate.centre[1], ground_height_at(gate.centre[0], gate.centre[2]), 0.6f);
    }
}

TEST_F(RabbithillTrack, FortySlotsStandOnTheStartStraightFacingAlongTheLap) {
    ASSERT_EQ(start_slot_count(), 40);
    const layout_feature* straight = layout_find(layout, feature_kind::start_straight);
    ASSERT_NE(straight, nullptr);
    const timing_gate& first_gate = gate_at(lap_entry_gate(lap_entry(0)));
    for (int i = 0; i < start_slot_count(); i++) {
        const start_slot& slot = start_slot_at(i);
        layout_place place = layout_locate(layout, slot.point[0], slot.point[2]);
        layout_point p = layout_at(layout, place.s);
        EXPECT_GE(place.s, straight->s_begin) << "slot " << i;
        EXPECT_LT(place.s, straight->s_end) << "slot " << i;
        EXPECT_LT(place.distance, p.half_width - 1.5f) << "slot " << i;
        // The rider faces (-sin a, -cos a): along the lap.
        float fx = -std::sin(slot.heading), fz = -std::cos(slot.heading);
        EXPECT_GT(fx * p.dir_x + fz * p.dir_z, 0.99f) << "slot " << i;
        // The piece stands 3 ft ahead on the straight (which still bends a little out of the
        // last turn, so the outer slots' pieces are a little more or less ahead along the lap),
        // with the default piece files.
        layout_place piece = layout_locate(layout, slot.piece_x, slot.piece_z);
        EXPECT_NEAR(piece.s - place.s, 3.0f, 0.6f) << "slot " << i;
        EXPECT_LT(piece.distance, p.half_width) << "slot " << i;
        EXPECT_EQ(slot.model, "@startgate.jm");
        EXPECT_EQ(slot.texture, "@startgate.ppm");
        EXPECT_EQ(slot.shape, "@startgate.shp");
        // Riders start behind the first gate, so their first crossing is a real one.
        EXPECT_FALSE(gate_contains(first_gate, slot.point[0], slot.point[2])) << "slot " << i;
        for (int j = 0; j < i; j++) {
            const start_slot& other = start_slot_at(j);
            EXPECT_GE(std::hypot(other.point[0] - slot.point[0], other.point[2] - slot.point[2]),
                      2.5f)
                << "slots " << j << " and " << i;
        }
    }
}

TEST_F(RabbithillTrack, RidingTheCentreLineFromTheGatePassesEveryGateInOrder) {
    float start = layout_locate(layout, start_slot_at(0).point[0], start_slot_at(0).point[2]).s;
    int positions = first_lap_length() + 2 * normal_lap_length();
    for (float offset : {0.0f, 0.8f, -0.8f}) {
        // Along the centre line, and near either edge of the groove.
        auto path = [&](float t, float* x, float* z) {
            layout_point p = layout_at(layout, start + t);
            float side = offset * p.half_width;
            *x = p.x + side * p.dir_z;
            *z = p.z - side * p.dir_x;
        };
        EXPECT_EQ(ride(path, 3 * layout.length, positions), positions) << "offset " << offset;
    }
}

TEST_F(RabbithillTrack, CuttingAcrossTheInfieldMissesAGate) {
    // Where the lap is measured along it.
    std::vector<float> gate_s(gate_count());
    for (int g = 0; g < gate_count(); g++)
        gate_s[g] = layout_locate(layout, gate_at(g).centre[0], gate_at(g).centre[2]).s;
    // A straight line from one point of the lap to another that passes 30 ft or more inside the
    // lap's middle point between them cuts a corner: it leaves out at least one gate between.
    int cuts = 0;
    for (float s0 = 0; s0 < layout.length; s0 += 10) {
        for (float span : {60.0f, 90.0f, 120.0f, 180.0f, 240.0f}) {
            layout_point a = layout_at(layout, s0), b = layout_at(layout, s0 + span);
            layout_point m = layout_at(layout, s0 + span / 2);
            float chord = std::hypot(b.x - a.x, b.z - a.z);
            float inside = std::fabs((m.x - a.x) * (b.z - a.z) - (m.z - a.z) * (b.x - a.x)) / chord;
            if (inside < 30) continue;
            cuts++;
            int missed = 0;
            for (int g = 0; g < gate_count(); g++) {
                float along = std::fmod(gate_s[g] - s0 + layout.length, layout.length);
                if (along <= 1 || along >= span - 1) continue;
                bool hit = false;
                for (float t = 0; t <= 1 && !hit; t += 0.25f / chord)
                    hit = gate_contains(gate_at(g), a.x + t * (b.x - a.x), a.z + t * (b.z - a.z));
                missed += !hit;
            }
            EXPECT_GT(missed, 0) << "cut from " << s0 << " to " << s0 + span << " ft";
        }
    }
    EXPECT_GE(cuts, 50);
}

TEST_F(RabbithillTrack, ShadingFollowsTheSunOfTheLightingFile) {
    float sun[3] = {0, 0, 0}, colour[3] = {0, 0, 0}, ambient[3] = {0, 0, 0};
    ASSERT_TRUE(track_lighting_read(k_rabbithill_folder, sun, colour, ambient));
    float length = std::sqrt(sun[0] * sun[0] + sun[1] * sun[1] + sun[2] * sun[2]);
    for (float& v : sun) v /= length;
    const ground_shading_state& shading = ground_shading();
    int n = ground().field.samples_per_side;
    ASSERT_EQ(shading.samples_per_side, n);
    int checked = 0;
    for (int j = 3; j < n - 3; j += 37)
        for (int i = 3; i < n - 3; i += 41) {
            size_t at = static_cast<size_t>(j) * n + i;
            vec3 normal = vertex_normal_at(i, j);
            float l =
                std::clamp(sun[0] * normal.x + sun[1] * normal.y + sun[2] * normal.z, 0.0f, 1.0f);
            float u = l * (1 - shading.shadow[at] / 255.0f);
            for (int k = 0; k < 3; k++) {
                float expected = (colour[k] * u + ambient[k]) * 0.5f * 255;
                EXPECT_NEAR(shading.shading[at * 3 + k], expected, 4.0f) << i << " " << j;
            }
            checked++;
        }
    EXPECT_GT(checked, 500);
}

TEST_F(RabbithillTrack, ShadowBehindAJumpIsDarkerThanItsSunnyFace) {
    const ground_shading_state& shading = ground_shading();
    int n = ground().field.samples_per_side;
    float c = ground().field.cell_size;
    int jumps_with_shadows = 0;
    for (feature_kind kind : {feature_kind::double_jump, feature_kind::step_up}) {
        const layout_feature* f = layout_find(layout, kind);
        ASSERT_NE(f, nullptr);
        // Along the centre line: the take-off faces towards the sun, and the shadowed ground.
        float sunny = 0, shadowed = 0;
        int sunny_count = 0, shadowed_count = 0;
        for (float s = f->s_begin; s < f->s_end; s += 0.5f) {
            layout_point p = layout_at(layout, s);
            int i = static_cast<int>(std::lround(p.x / c)),
                j = static_cast<int>(std::lround(p.z / c));
            size_t at = static_cast<size_t>(j) * n + i;
            float rise = layout_profile(layout, s + 1) - layout_profile(layout, s);
            float brightness = shading.shading[at * 3];
            if (rise > 0.4f && shading.shadow[at] == 0) sunny += brightness, sunny_count++;
            if (shading.shadow[at] > 200) shadowed += brightness, shadowed_count++;
        }
        ASSERT_GT(sunny_count, 0) << f->name;
        if (shadowed_count < 4) continue; // less than 2 ft of shadow
        jumps_with_shadows++;
        EXPECT_LT(shadowed / shadowed_count, sunny / sunny_count - 30) << f->name;
    }
    EXPECT_GE(jumps_with_shadows, 1);
}

TEST_F(RabbithillTrack, StartGatePieceFilesLoad) {
    std::string jm = file("@startgate.jm");
    model_mesh mesh;
    ASSERT_TRUE(model_jm_decode(reinterpret_cast<const uint8_t*>(jm.data()), jm.size(), &mesh));
    ASSERT_FALSE(mesh.parts.empty());
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    for (const model_part& part : mesh.parts)
        for (int v = 0; v < part.vertex_count; v++)
            for (int k = 0; k < 3; k++) {
                lo[k] = std::min(lo[k], part.positions[v * 3 + k]);
                hi[k] = std::max(hi[k], part.positions[v * 3 + k]);
            }
    // About 2 ft wide, standing up to about 1.5 ft above its hinge, thin across.
    EXPECT_NEAR(hi[0] - lo[0], 2.4f, 0.3f);
    EXPECT_GT(hi[1], 1.5f);
    EXPECT_LT(hi[1], 2.0f);
    EXPECT_LT(hi[2] - lo[2], 0.5f);

    std::string shp = file("@startgate.shp");
    shape s;
    ASSERT_TRUE(shape_parse(shp.data(), shp.size(), &s));
    ASSERT_GE(s.spheres.size(), 4u);
    for (const shape_sphere& sphere : s.spheres) {
        EXPECT_LE(std::fabs(sphere.centre.x) + sphere.radius, 1.1f);
        EXPECT_GT(sphere.centre.y, 0.0f);
        EXPECT_LT(sphere.centre.y, 1.8f);
        EXPECT_GT(sphere.stiffness, 0.0f);
    }

    std::string ppm = file("@startgate.ppm");
    ASSERT_GT(ppm.size(), 2u);
    EXPECT_EQ(ppm.substr(0, 2), "P6"); // binary
    image texture;
    ASSERT_TRUE(
        image_decode_ppm(reinterpret_cast<const uint8_t*>(ppm.data()), ppm.size(), &texture));
    EXPECT_TRUE(image_is_power_of_two(texture.width));
    EXPECT_TRUE(image_is_power_of_two(texture.height));
}

TEST_F(RabbithillTrack, MapShowsTheGrooveOverTheFieldAndIsClearElsewhere) {
    std::string png = file("@rabbithill/map.png");
    image map;
    std::string text;
    ASSERT_TRUE(
        image_decode_png(reinterpret_cast<const uint8_t*>(png.data()), png.size(), &map, &text));
    ASSERT_EQ(map.channels, 4);
    ASSERT_TRUE(image_is_power_of_two(map.width));
    ASSERT_EQ(map.width, map.height);
    float extent = ground().field.extent;
    auto alpha = [&](float x, float z) {
        int i = std::clamp(static_cast<int>(x / extent * map.width), 0, map.width - 1);
        int j = std::clamp(static_cast<int>(z / extent * map.height), 0, map.height - 1);
        return map.pixels[(static_cast<size_t>(j) * map.width + i) * 4 + 3];
    };
    // The image spans the field, north (z = 0) at the top: the groove is opaque everywhere.
    for (float s = 0; s < layout.length; s += 10) {
        layout_point p = layout_at(layout, s);
        EXPECT_EQ(alpha(p.x, p.z), 255) << "s " << s;
    }
    EXPECT_EQ(alpha(1, 1), 0);
    EXPECT_EQ(alpha(extent - 1, extent - 1), 0);
    // The middle of the infield between the lanes is far from any groove.
    layout_place middle = layout_locate(layout, extent / 2, extent / 2);
    if (middle.distance > 80) {
        EXPECT_EQ(alpha(extent / 2, extent / 2), 0);
    }
}
} // namespace

TEST_F(RabbithillTrack, EveryGateHasATracksideCameraStandingBesideItsStretch) {
    ASSERT_GE(track_camera_count(), 4);
    std::set<int> used;
    for (int gate = 0; gate < gate_count(); gate++) {
        const int camera = camera_for_gate(gate);
        ASSERT_GE(camera, 0) << "gate " << gate;
        used.insert(camera);
        const track_camera& c = track_camera_at(camera);
        const timing_gate& g = gate_at(gate);
        EXPECT_LT(std::hypot(c.position[0] - g.centre[0], c.position[2] - g.centre[2]), 400)
            << "gate " << gate << " is watched from nearby";
        EXPECT_GT(c.position[1], ground_height_at(c.position[0], c.position[2]) + 5)
            << "cameras stand above the ground";
        EXPECT_GT(c.auto_fov_size, 0) << "and zoom onto their riders";
    }
    EXPECT_EQ(static_cast<int>(used.size()), track_camera_count()) << "no camera is idle";
}

TEST_F(RabbithillTrack, ItsObjectsLoadAndStandOffTheGroove) {
    // Statues: every one drawn, tape lines and hay bales beside the groove, the bales solid.
    int bales = 0;
    ASSERT_GT(statue_count() - statue_first_file(), 50);
    for (int i = statue_first_file(); i < statue_count(); i++) {
        const statue& s = statues()[i];
        EXPECT_NE(s.model, 0) << i;
        EXPECT_NE(s.texture, 0u) << i;
        bales += s.collision != nullptr;
        const layout_place place = layout_locate(layout, s.x, s.z);
        EXPECT_GT(place.distance, layout_at(layout, place.s).half_width + 2) << "statue " << i;
    }
    EXPECT_GT(bales, 10);
    // Cards: trees, bushes, crowds and banners off the groove, every one with its picture.
    ASSERT_GT(billboard_count() - billboard_first_file(), 200);
    for (int i = billboard_first_file(); i < billboard_count(); i++) {
        const billboard& b = billboards()[i];
        EXPECT_NE(b.texture, 0u) << billboard_texture_name(i);
        const layout_place place = layout_locate(layout, b.x, b.z);
        EXPECT_GT(place.distance, layout_at(layout, place.s).half_width + 3) << "card " << i;
    }
    // The starter, the lap board and a marshal at every jump, each watching a gate.
    EXPECT_GE(starter().billboard, 0);
    EXPECT_GE(lap_board().billboard, 0);
    EXPECT_GE(marshal_count(), 4);
    for (int m = 0; m < marshal_count(); m++) {
        EXPECT_GE(marshal_at(m).gates[0], 0) << m;
        EXPECT_NE(marshal_at(m).warning, 0u) << m;
    }
    // Decals on the ground: the start box and tread marks, all loaded, and every one handed to
    // the ground's composition where it lies, as a picture when the ground is composed here.
    EXPECT_GE(decal_count(), 10);
    ASSERT_EQ(static_cast<int>(ground_decals().size()), decal_count());
    for (int i = 0; i < decal_count(); i++) {
        const ground_decal& g = ground_decals()[static_cast<size_t>(i)];
        EXPECT_FLOAT_EQ(g.x, decal_at(i).x) << i;
        EXPECT_FLOAT_EQ(g.z, decal_at(i).z) << i;
        EXPECT_TRUE(g.picture.width > 0 || g.texture != 0) << i;
    }
}

TEST_F(RabbithillTrack, ItsLightingHasTheGroundsSunAHazeAndAFlareOnTheSun) {
    float sun[3] = {0, 0, 0}, colour[3] = {0, 0, 0}, ambient[3] = {0, 0, 0};
    ASSERT_TRUE(track_lighting_read(k_rabbithill_folder, sun, colour, ambient));
    const track_lighting& l = lighting();
    float length = std::sqrt(sun[0] * sun[0] + sun[1] * sun[1] + sun[2] * sun[2]);
    for (int k = 0; k < 3; k++) EXPECT_NEAR(l.sun_vector[k], sun[k] / length, 1e-5);
    EXPECT_GT(l.fog_density, 0);
    // The haze thins the far hills without hiding the other side of the field.
    EXPECT_LT(l.fog_density * ground().field.extent, 1);
    EXPECT_LE(l.near_plane, 0.5f);
    EXPECT_GT(l.far_plane, ground().field.extent * 1.5f);

    // The flare lies on the sun and every piece of it has its picture.
    ASSERT_EQ(flare_count(), 1);
    const flare& f = flare_at(0);
    EXPECT_EQ(f.kind, flare_vector);
    for (int k = 0; k < 3; k++) EXPECT_NEAR(f.where[k], sun[k], 1e-5);
    ASSERT_GT(f.element_count, 2);
    for (int k = 0; k < f.element_count; k++) EXPECT_NE(f.elements[k].texture, 0u) << k;
}

// A rider on the centre line for a lap and a half at 30 ft/s, watched as the trackside view
// does: the camera of the next gate, a cut whenever it changes, the operator following.
TEST_F(RabbithillTrack, TheTracksideCamerasKeepARiderInViewRoundTheLap) {
    const float start =
        layout_locate(layout, start_slot_at(0).point[0], start_slot_at(0).point[2]).s;
    const float speed = 30; // ft/s
    const float step = speed * static_cast<float>(k_tic_length);
    const int positions = first_lap_length() + normal_lap_length() + normal_lap_length() / 2;
    int position = 0, shown = -1, cuts = 0, tics = 0, outside = 0;
    float worst = 0;
    track_camera camera;
    for (float t = 0; position < positions && t < 3 * layout.length; t += step, tics++) {
        const layout_point p = layout_at(layout, start + t);
        if (gate_contains(gate_at(gate_at_position(position)), p.x, p.z)) position++;
        camera_controls in;
        in.has_target = true;
        in.target[0] = p.x;
        in.target[1] = ground_height_at(p.x, p.z) + 3;
        in.target[2] = p.z;
        in.velocity[0] = p.dir_x * speed;
        in.velocity[2] = p.dir_z * speed;
        const int wanted = camera_for_gate(gate_at_position(position));
        ASSERT_GE(wanted, 0);
        if (wanted != shown) {
            shown = wanted;
            camera = track_camera_at(wanted);
            in.cut = true;
            cuts++;
        }
        camera_operate(camera, in);
        const float look[3] = {std::sin(camera.yaw) * std::cos(camera.pitch),
                               std::sin(camera.pitch),
                               std::cos(camera.yaw) * std::cos(camera.pitch)};
        float to[3], range = 0, along = 0;
        for (int k = 0; k < 3; k++) to[k] = in.target[k] - camera.position[k];
        for (int k = 0; k < 3; k++) range += to[k] * to[k], along += to[k] * look[k];
        const float off = std::acos(std::clamp(along / std::sqrt(range), -1.0f, 1.0f));
        const float share = off / (camera.fov * static_cast<float>(k_pi) / 360);
        worst = std::max(worst, share);
        outside += share > 1;
    }
    EXPECT_EQ(position, positions) << "the ride goes round";
    EXPECT_GE(cuts, track_camera_count()) << "every camera takes its turn";
    EXPECT_EQ(outside, 0) << "of " << tics << " tics; at worst " << worst << " of the half-view";
    EXPECT_LT(worst, 0.5f);
}
