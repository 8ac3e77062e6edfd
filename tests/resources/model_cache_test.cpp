// The model cache on files the test writes: levels of detail, generations and purging, case,
// compressed companions, failures and the ray tracer export.
#include "resources_fixture.h"

#include "files/gzip.h"

namespace {
// A triangle model of the given size, written with the generator's writer.
std::string triangle_model(float size, int version = 0) {
    model_mesh mesh;
    mesh.plain = version == 0;
    mesh.version = version;
    model_part part;
    part.vertex_count = 3;
    part.triangle_count = 1;
    part.positions = {0, 0, 0, size, 0, 0, 0, size, 0};
    part.normals = {0, 0, 1, 0, 0, 1, 0, 0, 1};
    part.uvs = {0, 0, 1, 0, 0, 1};
    part.triangles = {0, 1, 2};
    mesh.parts.push_back(part);
    return model_jm_encode(mesh);
}

} // namespace

TEST_F(ResourcesTest, ModelLoadsFromItsFile) {
    write(data / "cone.jm", triangle_model(2));
    int id = model_load("@cone.jm");
    ASSERT_NE(id, 0);
    const model_mesh* mesh = model_get(id);
    ASSERT_NE(mesh, nullptr);
    EXPECT_TRUE(mesh->plain);
    EXPECT_EQ(mesh->parts[0].positions[3], 2);
    EXPECT_STREQ(model_name(id), "@cone.jm");
    EXPECT_EQ(model_level_count(id), 0);
    EXPECT_EQ(model_load("@missing.jm"), 0);
    write(data / "junk.jm", "JM7\n");
    EXPECT_EQ(model_load("@junk.jm"), 0);
}

TEST_F(ResourcesTest, LevelsOfDetailSwitchAtPowersOfTwo) {
    write(data / "bike.jm", triangle_model(1));
    write(data / "bike_lod3.jm", triangle_model(3));
    write(data / "bike_lod5.jm", triangle_model(5));
    write(data / "bike_lodx.jm", triangle_model(9)); // no number: not a level
    write(data / "bikes.jm", triangle_model(7));
    file_index();
    int id = model_load("@bike.jm");
    ASSERT_NE(id, 0);
    ASSERT_EQ(model_level_count(id), 2);
    EXPECT_FLOAT_EQ(model_level_distance(id, 0), 8);
    EXPECT_FLOAT_EQ(model_level_distance(id, 1), 32);
    auto size_at = [&](float distance) {
        return model_level_for_distance(id, distance)->parts[0].positions[3];
    };
    EXPECT_EQ(size_at(0), 1);
    EXPECT_EQ(size_at(7.99f), 1);
    EXPECT_EQ(size_at(8), 3);
    EXPECT_EQ(size_at(31.9f), 3);
    EXPECT_EQ(size_at(32), 5);
    EXPECT_EQ(size_at(1000), 5);
    model_set_lod(10, 1); // a bias of 10 ft: the first level always, the second from 22 ft
    EXPECT_EQ(size_at(0), 3);
    EXPECT_EQ(size_at(21.9f), 3);
    EXPECT_EQ(size_at(22), 5);
    model_set_lod(0, 0.5f); // half the scale: twice the distances
    EXPECT_EQ(size_at(15.9f), 1);
    EXPECT_EQ(size_at(16), 3);
}

TEST_F(ResourcesTest, CompressedCompanionIsLoadedByItsPlainName) {
    write(data / "gate.jm.gz", gzip_bytes(triangle_model(1, 1)));
    write(data / "gate_lod2.jm.gz", gzip_bytes(triangle_model(4, 1)));
    file_index();
    int id = model_load("@gate.jm");
    ASSERT_NE(id, 0);
    ASSERT_EQ(model_level_count(id), 1);
    EXPECT_FLOAT_EQ(model_level_distance(id, 0), 4);
    EXPECT_EQ(model_level_for_distance(id, 5)->parts[0].positions[3], 4);
}

TEST_F(ResourcesTest, ModelGenerationsAndCase) {
    for (const char* name : {"statue.jm", "tree.jm", "rock.jm"})
        write(data / name, triangle_model(1));
    int statue = model_load("@statue.jm"); // before any track: permanent
    resources_generation_advance();
    int tree = model_load("@tree.jm"), rock = model_load("@rock.jm");
    resources_generation_advance();
    EXPECT_EQ(model_load("@TREE.jm"), tree);
    EXPECT_TRUE(shown("Warning: case mismatch on '@TREE.jm'"));
    set_debug_level(1);
    resources_purge_unused();
    EXPECT_NE(model_get(statue), nullptr);
    EXPECT_NE(model_get(tree), nullptr);
    EXPECT_EQ(model_get(rock), nullptr);
    EXPECT_NE(log_text().find("deleting model @rock.jm"), std::string::npos);
    int again = model_load("@rock.jm");
    EXPECT_NE(again, 0);
    EXPECT_NE(again, tree);
    EXPECT_EQ(again, rock) << "the purged model's place is taken again";
    models_free();
    EXPECT_EQ(model_get(statue), nullptr);
}

TEST_F(ResourcesTest, ReaderWarningsReachTheLogAndScreen) {
    std::string text = "JM2\n5 rig\n1 1 1 1 1 3 2\n"
                       "0 0 0 0 0 1 0 0 1 1 1 1 1\n"
                       "1 0 0 0 0 1 1 0 1 0 0 0 0\n"
                       "0 1 0 0 0 1 0 1 1 0 0 0 0\n"
                       "0 1 2\n0 1 7\n";
    write(data / "rider.jm", text);
    ASSERT_NE(model_load("@rider.jm"), 0);
    EXPECT_TRUE(shown("Warning: vertex with more than 4 bone influences in '@rider.jm'"));
    EXPECT_NE(log_text().find("1 degenerate triangles deleted in @rider.jm"), std::string::npos);
}

TEST_F(ResourcesTest, RayTracerExportWritesTheMeshText) {
    write(data / "post.jm", triangle_model(2, 1));
    int id = model_load("@post.jm");
    ASSERT_NE(id, 0);
    data_file* scene = data_file_open("@track.pov", "wb");
    ASSERT_NE(scene, nullptr);
    EXPECT_TRUE(model_export_pov(id, scene));
    EXPECT_TRUE(data_file_close(scene));
    EXPECT_EQ(read(home / "track.pov"), model_pov_text(*model_get(id)));
    EXPECT_FALSE(model_export_pov(999, nullptr));
}

TEST_F(ResourcesTest, HugeHeadersAreRefusedWithALogLine) {
    write(data / "huge.j6", "J6\n60000 60000\n" + std::string(256, '\0'));
    write(data / "huge.jm", "2147483647 1\n0 0 0 0 0 1 0 0\n");
    write(data / "bones.jm", "JM2\n2147483647 bones\n1 1 1 1 1 0 0\n");
    EXPECT_EQ(texture_load("@huge.j6"), 0u);
    image im;
    EXPECT_FALSE(image_load("@huge.j6", &im));
    EXPECT_EQ(model_load("@huge.jm"), 0);
    EXPECT_EQ(model_load("@bones.jm"), 0);
    const std::string text = log_text();
    EXPECT_NE(text.find("Refusing J6 picture of 60000 x 60000 pixels"), std::string::npos);
    EXPECT_NE(text.find("Bad model part counts: 2147483647 vertices, 1 triangles"),
              std::string::npos);
    EXPECT_NE(text.find("Bad model bone count 2147483647"), std::string::npos);
}
