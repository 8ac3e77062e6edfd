// Bike-to-bike contacts with the data set's shapes: the quick rejections drop no touching pair.
#include "bike/contact/bike_contact.h"
#include "bike/sim/bike_local.h"
#include "bike/bike_data.h"
#include "bike/sim/bike_local.h"

#include "files/data_file.h"
#include "terrain/terrain.h"

#include "support/data_set_home.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

namespace {
// Two yz250f bikes with the data set's body shapes over a flat ground.
class contact_pairs_test : public ::testing::Test {
  protected:
    void SetUp() override {
        home = data_set_home_open("tb_contact_pairs_");
        ground_free();
        ground_create(6, 1.0f, 0, 10);
        world_create();
        a = bike_create("yz250f(2017)", 0, "1", "", "", "", "");
        b = bike_create("yz250f(2017)", 1, "2", "", "", "", "");
    }
    void TearDown() override {
        world_destroy();
        shape_cache_free();
        ground_free();
        data_set_home_close(home);
    }
    // Puts bike `bike` back upright, turned by `yaw` and rolled by `roll`, with its frame at p.
    void put(int bike, vec3d p, double yaw, double roll) {
        bike_reset(bike);
        if (roll != 0) bike_place(bike, {0, 0, 1}, roll);
        if (yaw != 0) bike_place(bike, {0, 1, 0}, yaw);
        vec3d at = vec_of(dBodyGetPosition(bike_at(bike).bodies[body_frame]));
        bike_translate(bike, p - at);
    }
    std::filesystem::path home;
    int a = -1, b = -1;
};

// The sphere standing for a wheel: its rim point nearest `towards`, with the tyre's radius.
std::pair<vec3d, shape_sphere> rim_sphere(const wheel_part& w, vec3d towards) {
    vec3d c = vec_of(dBodyGetPosition(w.wheel));
    vec3d axle = body_axis(w.wheel, 0);
    vec3d q = towards - c;
    vec3d radial = q - axle * dot(axle, q);
    shape_sphere s;
    s.radius = w.tyre_radius;
    s.friction = 1;
    s.stiffness = 25000;
    s.damping = 2500;
    return {c + radial * (w.rim_radius / length(radial)), s};
}

// Every sphere of every part of bike x against every sphere of every part of bike y, with no
// bounding test at all: the joints the contact rules ask for.
int touching_pairs_brute(int x, int y) {
    struct part {
        dBodyID body;
        const shape* sh;
        const wheel_part* wheel;
    };
    auto parts_of = [](bike_state& s) {
        std::vector<part> out;
        const int shaped[][2] = {{body_frame, shape_frame},
                                 {body_fork_upper, shape_fork_upper},
                                 {body_fork_lower, shape_fork_lower},
                                 {body_swingarm, shape_swingarm},
                                 {body_rider, shape_rider}};
        for (const auto& bs : shaped)
            if (!s.shapes[bs[1]].spheres.empty())
                out.push_back({s.bodies[bs[0]], &s.shapes[bs[1]], nullptr});
        out.push_back({s.bodies[body_front_wheel], nullptr, &s.front_wheel});
        out.push_back({s.bodies[body_rear_wheel], nullptr, &s.rear_wheel});
        return out;
    };
    auto spheres_of = [](const part& p, vec3d towards) {
        std::vector<std::pair<vec3d, shape_sphere>> out;
        if (!p.sh) {
            out.push_back(rim_sphere(*p.wheel, towards));
            return out;
        }
        for (const shape_sphere& s : p.sh->spheres) {
            dVector3 w;
            dBodyGetRelPointPos(p.body, s.centre.x, s.centre.y, s.centre.z, w);
            out.push_back({vec_of(w), s});
        }
        return out;
    };
    int count = 0;
    for (const part& p : parts_of(bike_at(x)))
        for (const part& q : parts_of(bike_at(y)))
            for (const auto& s1 : spheres_of(p, vec_of(dBodyGetPosition(q.body))))
                for (const auto& s2 : spheres_of(q, s1.first)) {
                    auto one = p.sh ? s1 : rim_sphere(*p.wheel, s2.first);
                    sphere_pair_hit h;
                    if (sphere_pair_test(one.first, one.second, s2.first, s2.second, &h) &&
                        h.joined)
                        count++;
                }
    return count;
}

// Contact joints made between a body of bike x and a body of bike y.
int joints_between(int x, int y) {
    int count = 0;
    for (dBodyID body : bike_at(x).bodies)
        for (int i = 0; i < dBodyGetNumJoints(body); i++) {
            dJointID j = dBodyGetJoint(body, i);
            if (dJointGetType(j) != dJointTypeContact) continue;
            dBodyID other = dJointGetBody(j, 0) == body ? dJointGetBody(j, 1) : dJointGetBody(j, 0);
            for (dBodyID theirs : bike_at(y).bodies)
                if (other == theirs) count++;
        }
    return count;
}

TEST_F(contact_pairs_test, EveryTouchingSpherePairGetsItsJoint) {
    ASSERT_FALSE(bike_at(a).shapes[shape_frame].spheres.empty()) << "no shapes in the data set";
    put(a, {32, 3, 32}, 0, 0);
    int configurations = 0, touching = 0;
    // Beside, behind, ahead and across each other, leaning in or away, at gaps from deep overlap
    // to just apart.
    for (double dx : {-2.6, -1.9, -1.2, -0.6, 0.0, 0.7, 1.4, 2.2})
        for (double dz : {-5.0, -3.1, -1.5, 0.0, 1.7, 3.3})
            for (double yaw : {0.0, 0.4, 1.571, 3.1}) {
                put(b, {32 + dx, 3 + 0.05 * dz, 32 + dz}, yaw, dx > 0 ? -0.3 : 0.2);
                dJointGroupEmpty(world_contact_group());
                int expected = touching_pairs_brute(a, b);
                bool touched = bike_collide_bike(a, b, false);
                EXPECT_EQ(joints_between(a, b), expected) << dx << " " << dz << " " << yaw;
                EXPECT_EQ(touched, expected > 0) << dx << " " << dz << " " << yaw;
                configurations++;
                if (expected > 0) touching++;
            }
    dJointGroupEmpty(world_contact_group());
    // The set covers both touching and clear placements.
    EXPECT_GT(touching, configurations / 4);
    EXPECT_LT(touching, configurations);
}

TEST_F(contact_pairs_test, TheWholeFieldPhaseMakesTheSameJointsAsEachPairAlone) {
    put(a, {32, 3, 32}, 0, 0);
    put(b, {33.1, 3, 32.5}, 0.2, -0.2);
    int bikes[] = {a, b};
    dJointGroupEmpty(world_contact_group());
    int expected = touching_pairs_brute(a, b);
    ASSERT_GT(expected, 0);
    EXPECT_EQ(bikes_collide_all(bikes, 2, bike_tic{}), 1);
    EXPECT_EQ(joints_between(a, b), expected);
    dJointGroupEmpty(world_contact_group());
}
// Contact joints between a body of bike x and the static world.
int joints_with_world(int x) {
    int count = 0;
    for (dBodyID body : bike_at(x).bodies)
        for (int i = 0; i < dBodyGetNumJoints(body); i++) {
            dJointID j = dBodyGetJoint(body, i);
            if (dJointGetType(j) == dJointTypeContact &&
                (dJointGetBody(j, 0) == nullptr || dJointGetBody(j, 1) == nullptr))
                count++;
        }
    return count;
}

TEST_F(contact_pairs_test, EveryTouchingStatueSphereGetsItsJoint) {
    // Another bike's frame shape stands as the statue, turned and tipped, beside a bike held
    // high above the ground so only the statue can touch it.
    const shape& post = bike_at(b).shapes[shape_frame];
    ASSERT_FALSE(post.spheres.empty());
    put(a, {32, 40, 32}, 0.3, 0);
    dMatrix3 r;
    dRFromEulerAngles(r, 0.2, 1.1, -0.4);
    int configurations = 0, touching = 0;
    for (double dx = -4.5; dx <= 4.5; dx += 0.75)
        for (double dz = -5; dz <= 5; dz += 1.25) {
            std::vector<contact_statue> list(1);
            list[0].position = {32 + dx, 40 + 0.1 * dz, 32 + dz};
            for (int k = 0; k < 12; k++) list[0].rotation[k] = r[k];
            list[0].statue_shape = &post;
            statue_buckets_build(list, ground().field.extent);
            // Every sphere of every part against every statue sphere, without bounds.
            int expected = 0;
            bike_state& s = bike_at(a);
            const int shaped[][2] = {{body_frame, shape_frame},
                                     {body_fork_upper, shape_fork_upper},
                                     {body_fork_lower, shape_fork_lower},
                                     {body_swingarm, shape_swingarm},
                                     {body_rider, shape_rider}};
            for (const shape_sphere& st : post.spheres) {
                vec3d c = list[0].position +
                          vec3d{r[0] * st.centre.x + r[1] * st.centre.y + r[2] * st.centre.z,
                                r[4] * st.centre.x + r[5] * st.centre.y + r[6] * st.centre.z,
                                r[8] * st.centre.x + r[9] * st.centre.y + r[10] * st.centre.z};
                auto count = [&](vec3d cm, const shape_sphere& sm) {
                    sphere_pair_hit h;
                    if (sphere_pair_test(cm, sm, c, st, &h) && h.joined) expected++;
                };
                for (const auto& bs : shaped)
                    for (const shape_sphere& m : s.shapes[bs[1]].spheres) {
                        dVector3 w;
                        dBodyGetRelPointPos(s.bodies[bs[0]], m.centre.x, m.centre.y, m.centre.z, w);
                        count(vec_of(w), m);
                    }
                for (const wheel_part* wc : {&s.front_wheel, &s.rear_wheel}) {
                    auto rim = rim_sphere(*wc, c);
                    count(rim.first, rim.second);
                }
            }
            dJointGroupEmpty(world_contact_group());
            statue_contacts(s, 0);
            EXPECT_EQ(joints_with_world(a), expected) << dx << " " << dz;
            configurations++;
            if (expected > 0) touching++;
        }
    dJointGroupEmpty(world_contact_group());
    statue_buckets_clear();
    EXPECT_GT(touching, configurations / 4);
    EXPECT_LT(touching, configurations);
}
} // namespace
