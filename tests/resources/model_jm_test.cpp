// The ".jm" reader and writer on text: round trips, dropped triangles, bone weights, tangents,
// the ray tracer's text, skinning and malformed files.
#include "resources/model.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
const uint8_t* bytes_of(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

bool decode(const std::string& text, model_mesh* out) {
    return model_jm_decode(bytes_of(text), text.size(), out);
}

// A quad in the x-y plane with u along x, as two triangles.
model_part quad(float shininess, const float colour[4]) {
    model_part part;
    part.shininess = shininess;
    for (int k = 0; k < 4; k++) part.colour[k] = colour[k];
    const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (const auto& c : corners) {
        part.positions.insert(part.positions.end(), {c[0] * 2.5f, c[1] * 1.25f, 0.1f});
        part.normals.insert(part.normals.end(), {0, 0, 1});
        part.uvs.insert(part.uvs.end(), {c[0], 1 - c[1]});
    }
    part.vertex_count = 4;
    part.triangles = {0, 1, 2, 0, 2, 3};
    part.triangle_count = 2;
    return part;
}

const char k_plain_triangle[] = "3 1\n"
                                "0 0 0  0 0 1  0 0\n"
                                "1 0 0  0 0 1  1 0\n"
                                "0 1 0  0 0 1  0 1\n"
                                "0 1 2\n";
} // namespace

TEST(ModelJm, PlainTriangleIsOneWhitePartWithShininess32) {
    model_mesh mesh;
    ASSERT_TRUE(decode(k_plain_triangle, &mesh));
    EXPECT_TRUE(mesh.plain);
    ASSERT_EQ(mesh.parts.size(), 1u);
    const model_part& part = mesh.parts[0];
    EXPECT_EQ(part.vertex_count, 3);
    EXPECT_EQ(part.triangle_count, 1);
    EXPECT_FLOAT_EQ(part.shininess, 32);
    for (float c : part.colour) EXPECT_FLOAT_EQ(c, 1);
    EXPECT_FLOAT_EQ(part.uvs[1], 1) << "v is flipped";
    EXPECT_FLOAT_EQ(part.uvs[5], 0);
}

TEST(ModelJm, VersionOneRoundTripKeepsEveryPart) {
    const float red[4] = {1, 0, 0, 1}, glass[4] = {0.2f, 0.3f, 0.4f, 0.5f};
    model_mesh mesh;
    mesh.version = 1;
    mesh.parts.push_back(quad(16, red));
    mesh.parts.push_back(quad(k_model_mode_environment, glass));
    mesh.parts.push_back(quad(k_model_mode_self_lit, glass));
    model_mesh back;
    ASSERT_TRUE(decode(model_jm_encode(mesh), &back));
    ASSERT_EQ(back.parts.size(), 3u);
    EXPECT_TRUE(back.has_environment_part);
    for (size_t p = 0; p < 3; p++) {
        EXPECT_EQ(back.parts[p].positions, mesh.parts[p].positions);
        EXPECT_EQ(back.parts[p].normals, mesh.parts[p].normals);
        EXPECT_EQ(back.parts[p].uvs, mesh.parts[p].uvs);
        EXPECT_EQ(back.parts[p].triangles, mesh.parts[p].triangles);
        EXPECT_EQ(back.parts[p].shininess, mesh.parts[p].shininess);
    }
    EXPECT_FLOAT_EQ(back.parts[0].colour[3], 1);
    EXPECT_FLOAT_EQ(back.parts[1].colour[3], 0.5f) << "the alpha of environment parts comes from k";
    EXPECT_FLOAT_EQ(back.parts[2].colour[0], 0.2f);
}

TEST(ModelJm, VersionTwoRoundTripKeepsWeights) {
    const float white[4] = {1, 1, 1, 1};
    model_mesh mesh;
    mesh.version = 2;
    mesh.file_bone_count = 6;
    model_part part = quad(8, white);
    part.bone_count = 6;
    part.bone_weights = {0.5f,  0.5f,  0,     0,     1,     0,     0, 0,
                         0.25f, 0.25f, 0.25f, 0.25f, 0.75f, 0.25f, 0, 0};
    part.bone_indices = {0, 5, 0, 0, 3, 0, 0, 0, 1, 2, 3, 4, 2, 1, 0, 0};
    mesh.parts.push_back(part);
    model_mesh back;
    ASSERT_TRUE(decode(model_jm_encode(mesh), &back));
    ASSERT_EQ(back.parts.size(), 1u);
    const model_part& b = back.parts[0];
    EXPECT_EQ(b.bone_count, 6);
    // Per vertex, the weight each bone carries must survive (slot order may differ).
    for (int v = 0; v < 4; v++)
        for (int bone = 0; bone < 6; bone++) {
            float want = 0, got = 0;
            for (int k = 0; k < 4; k++) {
                if (part.bone_indices[v * 4 + k] == bone) want += part.bone_weights[v * 4 + k];
                if (b.bone_indices[v * 4 + k] == bone) got += b.bone_weights[v * 4 + k];
            }
            EXPECT_NEAR(got, want, 1e-6) << "vertex " << v << " bone " << bone;
        }
    EXPECT_EQ(b.rest_positions, b.positions);
}

TEST(ModelJm, FivePositiveWeightsKeepFourNormalised) {
    std::string text = "JM2\n5 skeleton\n"
                       "1 1 1 1 1 3 1\n"
                       "0 0 0 0 0 1 0 0  0.3 0.1 0.2 0.25 0.15\n"
                       "1 0 0 0 0 1 1 0  0 0 0 0 0\n"
                       "0 1 0 0 0 1 0 1  0 2 0 0 0\n"
                       "0 1 2\n";
    model_mesh mesh;
    ASSERT_TRUE(decode(text, &mesh));
    const model_part& part = mesh.parts[0];
    EXPECT_TRUE(part.warned_bones);
    float sum = 0;
    for (int k = 0; k < 4; k++) {
        sum += part.bone_weights[k];
        EXPECT_NE(part.bone_indices[k] == 1 && part.bone_weights[k] > 0, true)
            << "the weakest influence goes";
    }
    EXPECT_NEAR(sum, 1.0f, 1e-6);
    for (int k = 4; k < 8; k++)
        EXPECT_FLOAT_EQ(part.bone_weights[k], 0.25f) << "no weights: all 0.25";
    EXPECT_FLOAT_EQ(part.bone_weights[8] + part.bone_weights[9] + part.bone_weights[10] +
                        part.bone_weights[11],
                    1);
}

TEST(ModelJm, OutOfRangeAndDegenerateTrianglesAreDroppedAndCounted) {
    std::string text =
        "JM1\n"
        "32 1 1 1 1 5 3\n"
        "0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 1\n2 0 0 0 0 1 0 0\n3 0 0 0 0 1 0 0\n"
        "0 1 5\n" // index 5 of 5 vertices
        "0 3 4\n" // three points on a line
        "0 1 2\n";
    model_mesh mesh;
    ASSERT_TRUE(decode(text, &mesh));
    EXPECT_EQ(mesh.dropped_triangles, 2);
    ASSERT_EQ(mesh.parts[0].triangle_count, 1);
    EXPECT_EQ(mesh.parts[0].triangles, (std::vector<int32_t>{0, 1, 2}));
}

TEST(ModelJm, TangentsFollowU) {
    const float white[4] = {1, 1, 1, 1};
    model_mesh mesh;
    mesh.version = 1;
    mesh.parts.push_back(quad(8, white));
    model_mesh back;
    ASSERT_TRUE(decode(model_jm_encode(mesh), &back));
    const std::vector<float>& t = back.parts[0].tangents;
    for (int v = 0; v < 4; v++) {
        EXPECT_GT(t[v * 3], 0.5f) << "u grows along +x";
        EXPECT_NEAR(t[v * 3 + 1], 0, 1e-6);
    }
    // A triangle with no uv area gets a tiny tangent along its longest edge.
    model_mesh flat;
    ASSERT_TRUE(decode("3 1\n0 0 0 0 0 1 0 0\n0 4 0 0 0 1 0 0\n1 0 0 0 0 1 0 0\n0 1 2\n", &flat));
    const std::vector<float>& ft = flat.parts[0].tangents;
    EXPECT_GT(ft[1], 0);
    EXPECT_LT(ft[1], 1e-5);
    EXPECT_EQ(ft[0], 0);
}

TEST(ModelJm, TexelDensityCountsEdgesOfAtLeastOneSixteenth) {
    model_mesh mesh;
    // u changes by 1 over an edge of 2 ft; v by 1 over 4 ft.
    ASSERT_TRUE(decode("3 1\n0 0 0 0 0 1 0 0\n2 0 0 0 0 1 1 0\n0 4 0 0 0 1 0 1\n0 1 2\n", &mesh));
    EXPECT_FLOAT_EQ(mesh.texel_density_u, 0.5f);
    EXPECT_FLOAT_EQ(mesh.texel_density_v, 0.25f)
        << "the edge from (0,0) to (0,4), not the longer slant";
}

TEST(ModelJm, MalformedFilesGiveNoModel) {
    model_mesh mesh;
    EXPECT_FALSE(decode("", &mesh));
    EXPECT_FALSE(decode("JM3\n1 1 1 1 1 0 0\n", &mesh)) << "unknown version";
    EXPECT_FALSE(decode("JMx\n", &mesh));
    EXPECT_FALSE(decode("3 1\n0 0 0 0 0 1 0 0\n", &mesh)) << "vertices missing";
    EXPECT_FALSE(decode("2147483647 1\n0 0 0\n", &mesh)) << "a count the file can't hold";
    EXPECT_FALSE(decode("-3 1\n", &mesh));
    EXPECT_FALSE(decode("JM2\n100000 bones\n1 1 1 1 1 0 0\n", &mesh));
    EXPECT_FALSE(decode("JM2\n-1 bones\n1 1 1 1 1 0 0\n", &mesh));
    EXPECT_FALSE(decode("JM1\n1 1 1 1 1 3 1\n0 0 0 0 0 1 0 0\n", &mesh)) << "the first part fails";
}

TEST(ModelJm, ALaterBrokenPartEndsThePartList) {
    std::string good = "1 1 1 1 1 3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 1\n0 1 2\n";
    model_mesh mesh;
    ASSERT_TRUE(decode("JM1\n" + good + good + "1 1 1 1 1 3 1\n0 0 0\n", &mesh));
    EXPECT_EQ(mesh.parts.size(), 2u);
}

TEST(ModelJm, PovTextOfOnePartAndOfSeveral) {
    model_mesh mesh;
    ASSERT_TRUE(decode(k_plain_triangle, &mesh));
    std::string pov = model_pov_text(mesh);
    EXPECT_EQ(pov,
              "mesh2 {\n"
              "\tvertex_vectors {\n\t\t3\n"
              "\t\t<0.000000,0.000000,0.000000>,\n\t\t<1.000000,0.000000,0.000000>,\n"
              "\t\t<0.000000,1.000000,0.000000>\n\t}\n"
              "\tnormal_vectors {\n\t\t3\n"
              "\t\t<0.000000,0.000000,1.000000>,\n\t\t<0.000000,0.000000,1.000000>,\n"
              "\t\t<0.000000,0.000000,1.000000>\n\t}\n"
              "\tuv_vectors {\n\t\t3\n"
              "\t\t<0.000000,1.000000>,\n\t\t<1.000000,1.000000>,\n\t\t<0.000000,0.000000>\n\t}\n"
              "\tface_indices {\n\t\t1\n\t\t<0,1,2>\n\t}\n"
              "}\n");
    mesh.parts.push_back(mesh.parts[0]);
    std::string two = model_pov_text(mesh);
    EXPECT_EQ(two.substr(0, 8), "union {\n");
    EXPECT_EQ(two, "union {\n" + pov + pov + "}\n");
}

TEST(ModelJm, SkinningMovesVerticesByTheirBones) {
    std::string text = "JM2\n2 rig\n"
                       "1 1 1 1 1 3 1\n"
                       "1 0 0 0 0 1 0 0 1 0\n"
                       "0 1 0 0 0 1 1 0 0 1\n"
                       "1 1 0 0 0 1 0 1 0.5 0.5\n"
                       "0 1 2\n";
    model_mesh mesh;
    ASSERT_TRUE(decode(text, &mesh));
    model_part& part = mesh.parts[0];
    // Bone 0 stays; bone 1 turns a quarter about z around the origin and moves up by 10.
    model_bone bones[2] = {{{0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 0}},
                           {{0, 0, 0}, {0, -1, 0, 1, 0, 0, 0, 0, 1}, {0, 10, 0}}};
    model_part_skin(&part, model_pose{2, bones});
    EXPECT_FLOAT_EQ(part.positions[0], 1);
    EXPECT_FLOAT_EQ(part.positions[3], -1);
    EXPECT_FLOAT_EQ(part.positions[4], 10);
    EXPECT_FLOAT_EQ(part.positions[6], 0.5f * 1 + 0.5f * -1);
    EXPECT_FLOAT_EQ(part.positions[7], 0.5f * 1 + 0.5f * (1 + 10));
    EXPECT_FLOAT_EQ(part.normals[5], 1) << "normals turn about z and stay";
    model_part_skin(&part, model_pose{3, bones});
    EXPECT_FLOAT_EQ(part.positions[3], -1) << "a pose of another bone count leaves the part alone";
}
