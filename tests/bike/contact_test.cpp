// Tyre and sphere contacts against a flat ground made here, soft-contact numbers, statue buckets.
#include "bike/contact/bike_contact.h"
#include "bike_test_world.h"

#include "terrain/terrain.h"

namespace {
// A flat ground at height 0 under the test bike, 129 samples of 1 ft a side.
class contact_test : public bike_world_test {
  protected:
    void SetUp() override {
        bike_world_test::SetUp();
        ground_free();
        ground_create(6, 1.0f, 0, 10);
    }
    void TearDown() override {
        ground_free();
        statue_buckets_clear();
        bike_world_test::TearDown();
    }
    // Moves the front wheel alone to `centre`, its axle turned by `tilt` about the world z axis.
    void wheel_at(vec3d centre, double tilt) {
        dBodyID w = body(body_front_wheel);
        dMatrix3 r;
        dRFromAxisAndAngle(r, 0, 0, 1, tilt);
        dBodySetRotation(w, r);
        dBodySetPosition(w, centre.x, centre.y, centre.z);
    }
};

TEST_F(contact_test, TyreStiffensAsItFlattens) {
    double k = 0, c = 0;
    tyre_softness(0.25, 0.25, &k, &c);
    EXPECT_DOUBLE_EQ(k, 25000);
    EXPECT_DOUBLE_EQ(c, 2500);
    tyre_softness(0.125, 0.25, &k, &c);
    EXPECT_DOUBLE_EQ(k, 4000);
    EXPECT_DOUBLE_EQ(c, 487.5);
    // Sunk deeper than its section it is no stiffer than fully flat.
    tyre_softness(0.6, 0.25, &k, &c);
    EXPECT_DOUBLE_EQ(k, 25000);
    // A spring of k and damping c over one tic.
    EXPECT_DOUBLE_EQ(soft_erp(2500, 250), (2500.0 / 128) / (2500.0 / 128 + 250));
    EXPECT_DOUBLE_EQ(soft_cfm(2500, 250), 1 / (2500.0 / 128 + 250));
}

TEST_F(contact_test, UprightWheelTouchesAtItsLowestPoint) {
    const wheel_part& w = state().front_wheel;
    double rolling = w.rim_radius + w.tyre_radius;
    wheel_at({20.3, rolling - 0.05, 30.6}, 0);
    ground_hit hit;
    ASSERT_TRUE(wheel_ground_test(w, state().ride.front_contact, &hit));
    EXPECT_NEAR(hit.depth, 0.05, 1e-5);
    EXPECT_NEAR(hit.normal.y, 1, 1e-9);
    EXPECT_NEAR(hit.point.x, 20.3, 1e-5);
    EXPECT_NEAR(hit.point.z, 30.6, 1e-5);
    EXPECT_NEAR(hit.point.y, 0, 1e-5);
    // Lifted clear of the ground it does not touch.
    wheel_at({20.3, rolling + 0.01, 30.6}, 0);
    EXPECT_FALSE(wheel_ground_test(w, state().ride.front_contact, &hit));
}

TEST_F(contact_test, LeaningWheelTouchesOnItsTyreShoulder) {
    const wheel_part& w = state().front_wheel;
    // Leaning 30 degrees the rim's lowest point is R cos 30 below the axle.
    double tilt = 0.5235987755982988;
    double h = w.rim_radius * std::cos(tilt) + w.tyre_radius - 0.04;
    wheel_at({40, h, 40}, tilt);
    ground_hit hit;
    ASSERT_TRUE(wheel_ground_test(w, state().ride.front_contact, &hit));
    EXPECT_NEAR(hit.depth, 0.04, 1e-5);
    // The contact lies off to the low side, under the rim's lowest point.
    EXPECT_NEAR(std::fabs(hit.point.x - 40), w.rim_radius * std::sin(tilt), 1e-4);
}

TEST_F(contact_test, RimThroughTheGroundIsDeeperThanTheTyre) {
    const wheel_part& w = state().front_wheel;
    wheel_at({10, w.rim_radius - 0.1, 10}, 0);
    ground_hit hit;
    ASSERT_TRUE(wheel_ground_test(w, state().ride.front_contact, &hit));
    EXPECT_NEAR(hit.depth, w.tyre_radius + 0.1, 1e-5);
}

TEST_F(contact_test, TyreOnBumpyGroundFindsItsDeepestPoint) {
    // Bumps and ridges a few inches high over 1 ft cells, so the deepest point lies now on a
    // face, now on an edge or a corner of the triangles.
    for (int j = 0; j < ground().field.samples_per_side; j++)
        for (int i = 0; i < ground().field.samples_per_side; i++)
            ground_set_height(i, j,
                              static_cast<float>(0.15 * std::sin(i * 1.3 + j * 0.7) +
                                                 0.08 * std::cos(i * 0.4 - j * 1.9)));
    const wheel_part& w = state().front_wheel;
    dBodyID wheel = body(body_front_wheel);
    int touching = 0;
    for (int k = 0; k < 200; k++) {
        // Leaning up to 40 degrees, any heading, sunk by up to half the tyre's section.
        double lean_angle = 0.7 * std::sin(k * 2.1);
        dMatrix3 lean, yaw, r;
        dRFromAxisAndAngle(lean, 0, 0, 1, lean_angle);
        dRFromAxisAndAngle(yaw, 0, 1, 0, k * 0.37);
        dMultiply0_333(r, yaw, lean);
        dBodySetRotation(wheel, r);
        vec3d c = {20 + 40 * (1 + std::sin(k * 12.9898)), 0, 20 + 40 * (1 + std::cos(k * 78.233))};
        c.y = contact_ground_height(static_cast<float>(c.x), static_cast<float>(c.z)) +
              w.rim_radius * std::cos(lean_angle) +
              w.tyre_radius * (0.75 - 0.25 * std::sin(k * 4.7));
        dBodySetPosition(wheel, c.x, c.y, c.z);
        // The tyre is every sphere of its section's radius centred on the rim: its depth is the
        // deepest of theirs, found here by walking the rim in small steps.
        double deepest = 0;
        vec3d u = body_axis(wheel, 1), v = body_axis(wheel, 2);
        for (int a = 0; a < 1024; a++) {
            double t = a * (2 * k_pi / 1024);
            ground_hit h;
            vec3d p = c + (u * std::cos(t) + v * std::sin(t)) * w.rim_radius;
            if (sphere_ground_test(p, w.tyre_radius, &h)) deepest = std::max(deepest, h.depth);
        }
        // What the rim's steps may miss between them.
        constexpr double k_tolerance = 1e-4;
        ground_hit hit;
        bool found = wheel_ground_test(w, state().ride.front_contact, &hit);
        if (deepest > k_tolerance) {
            ASSERT_TRUE(found) << "pose " << k;
            EXPECT_NEAR(hit.depth, deepest, k_tolerance) << "pose " << k;
            touching++;
        } else if (found) {
            EXPECT_LE(hit.depth, 2 * k_tolerance) << "pose " << k;
        }
    }
    EXPECT_GT(touching, 150);
}

TEST_F(contact_test, SphereAgainstTheGround) {
    ground_hit hit;
    ASSERT_TRUE(sphere_ground_test({5.5, 0.75, 7.25}, 1.0, &hit));
    EXPECT_NEAR(hit.depth, 0.25, 1e-6);
    EXPECT_NEAR(hit.normal.y, 1, 1e-9);
    EXPECT_FALSE(sphere_ground_test({5.5, 1.01, 7.25}, 1.0, &hit));
    // Sunk below the surface it is pushed out from above, never pulled through.
    ASSERT_TRUE(sphere_ground_test({5.5, -0.5, 7.25}, 1.0, &hit));
    EXPECT_NEAR(hit.depth, 1.5, 1e-6);
    EXPECT_GT(hit.normal.y, 0.99);
}

TEST_F(contact_test, WithoutAGroundNothingTouches) {
    ground_free();
    ground_hit hit;
    EXPECT_FALSE(sphere_ground_test({0, 0, 0}, 1.0, &hit));
    EXPECT_FALSE(wheel_ground_test(state().front_wheel, state().ride.front_contact, &hit));
    EXPECT_FALSE(bike_collide_world(bike, now));
}

TEST_F(contact_test, FreshBikeIsPushedUpOutOfTheGround) {
    // The tyres start a little into flat ground at y = 0; the contacts lift the bike.
    EXPECT_TRUE(bike_collide_world(bike, now));
    EXPECT_GT(state().ride.front_contact.depth, 0);
    EXPECT_GT(state().ride.rear_contact.depth, 0);
    double y0 = dBodyGetPosition(body(body_front_wheel))[1];
    world_step();
    EXPECT_GT(dBodyGetLinearVel(body(body_front_wheel))[1], 0);
    EXPECT_GE(dBodyGetPosition(body(body_front_wheel))[1], y0);
}

TEST_F(contact_test, SpherePairsTouchPushAndAreCapped) {
    shape_sphere a{{0, 0, 0}, 1, 0.5f, 10000, 300};
    shape_sphere b{{0, 0, 0}, 1, 0.8f, 20000, 200};
    sphere_pair_hit h;
    ASSERT_TRUE(sphere_pair_test({0, 0, 0}, a, {1.5, 0, 0}, b, &h));
    EXPECT_DOUBLE_EQ(h.depth, 0.5);
    EXPECT_TRUE(h.joined);
    // The softer of the two, then lowered so the spring alone pushes at most 2500 lbf.
    EXPECT_DOUBLE_EQ(h.k, 5000);
    EXPECT_DOUBLE_EQ(h.c, 200);
    EXPECT_FLOAT_EQ(static_cast<float>(h.mu), 0.5f);
    EXPECT_DOUBLE_EQ(h.normal.x, 1);
    EXPECT_DOUBLE_EQ(h.point.x, 0.75);
    // Centres 1/32 ft apart touch, but give no direction to push along.
    ASSERT_TRUE(sphere_pair_test({0, 0, 0}, a, {1.0 / 32, 0, 0}, b, &h));
    EXPECT_FALSE(h.joined);
    EXPECT_FALSE(sphere_pair_test({0, 0, 0}, a, {2.0, 0, 0}, b, &h));
}

TEST_F(contact_test, StatueBucketsSpanTheMiddleOfTheTerrain) {
    EXPECT_EQ(statue_bucket_index(0, 512), 0);
    EXPECT_EQ(statue_bucket_index(64, 512), 0);
    EXPECT_EQ(statue_bucket_index(255, 512), 3);
    EXPECT_EQ(statue_bucket_index(256, 512), 4);
    EXPECT_EQ(statue_bucket_index(447, 512), 7);
    EXPECT_EQ(statue_bucket_index(600, 512), 7);
    EXPECT_EQ(statue_bucket_index(-50, 512), 0);
}

TEST_F(contact_test, NearbyStatuesComeSortedOnce) {
    shape big;
    big.spheres.push_back({{0, 0, 0}, 3, 1, 5000, 500});
    big.bounding_radius = 3;
    std::vector<contact_statue> list(3);
    list[0].position = {400, 0, 400};
    list[1].position = {256, 0, 256}; // on a bucket border: entered in four buckets
    list[2].position = {250, 0, 258};
    for (contact_statue& s : list) s.statue_shape = &big;
    statue_buckets_build(list, 512);
    std::vector<int> near = statues_near(240, 240, 270, 270);
    ASSERT_EQ(near.size(), 2u);
    EXPECT_EQ(near[0], 1);
    EXPECT_EQ(near[1], 2);
    EXPECT_TRUE(statues_near(10, 10, 20, 20).empty());
}

TEST_F(contact_test, BikeTouchingAStatueRecordsTheTic) {
    shape post;
    post.spheres.push_back({{0, 0, 0}, 1, 1, 5000, 500});
    post.bounding_radius = 1;
    std::vector<contact_statue> list(1);
    // Right where the front wheel stands.
    vec3d w = vec_of(dBodyGetPosition(body(body_front_wheel)));
    list[0].position = w + vec3d{0, 0, -1};
    list[0].statue_shape = &post;
    statue_buckets_build(list, 128);
    bike_collide_world(bike, bike_tic{77});
    EXPECT_EQ(statue_at(0).touched_tic, 77);
}
} // namespace

namespace {
// Moves every body of a bike and gives them all one velocity.
void shove(int bike, vec3d d, vec3d v) {
    bike_translate(bike, d);
    for (dBodyID body : bike_at(bike).bodies) dBodySetLinearVel(body, v.x, v.y, v.z);
}

TEST_F(contact_test, BikesFarApartDoNotTouch) {
    int other = bike_create("cr125", 8, "2", "", "", "", "");
    shove(other, {20, 0, 0}, {});
    EXPECT_FALSE(bike_collide_bike(bike, other, false));
    int both[] = {bike, other};
    EXPECT_EQ(bikes_collide_all(both, 2, now), 0);
}

TEST_F(contact_test, SideBySideOverlapTouches) {
    int other = bike_create("cr125", 8, "2", "", "", "", "");
    // The test bikes have no shape files, so their tyres are what meet: 0.3 ft apart they overlap.
    shove(other, {0.3, 0, 0}, {});
    EXPECT_TRUE(bike_collide_bike(bike, other, false));
    // Standing still neither loses its roll damping.
    EXPECT_EQ(state().ride.contact_timer, 0);
    EXPECT_EQ(bike_at(other).ride.contact_timer, 0);
}

TEST_F(contact_test, RunningIntoABikeWithTheFrontWheel) {
    int other = bike_create("cr125", 8, "2", "", "", "", "");
    const wheel_part& front = state().front_wheel;
    double front_z = dBodyGetPosition(body(body_front_wheel))[2];
    double rear_z = dBodyGetPosition(bike_at(other).bodies[body_rear_wheel])[2];
    // The other bike just ahead: its rear tyre overlaps this bike's front tyre by 0.1 ft.
    double gap = 2 * (front.rim_radius + front.tyre_radius) - 0.1;
    shove(other, {0, 0, front_z - rear_z - gap}, {0, 0, -6});
    shove(bike, {}, {0, 0, -15});
    ASSERT_TRUE(bike_collide_bike(bike, other, false));
    // This bike ran in with its front; the other rides on at 6 ft/s, so this one pays.
    EXPECT_EQ(state().ride.contact_timer, 192);
    EXPECT_EQ(bike_at(other).ride.contact_timer, 0);
}

TEST_F(contact_test, PassiveContactPushesInsteadOfJoining) {
    int other = bike_create("cr125", 8, "2", "", "", "", "");
    shove(other, {0.3, 0, 0}, {});
    dBodySetForce(body(body_frame), 0, 0, 0);
    ASSERT_TRUE(bike_collide_bike(bike, other, true));
    // Forces only: nothing waits in the contact group, the bikes are pushed apart sideways.
    double push = 0;
    for (dBodyID b : bike_at(other).bodies) push += dBodyGetForce(b)[0];
    EXPECT_GT(push, 0);
}
} // namespace

namespace {
TEST_F(contact_test, RollingResistanceFadesOutBelowOneFootPerSecond) {
    const wheel_part& w = state().front_wheel;
    double rolling = w.rim_radius + w.tyre_radius;
    double depth = w.tyre_radius / 2;
    // Without surface types the ground rolls with the default 5 lbf (15 lbf fully sunk).
    double full = 5 + (15 - 5) * 0.5;
    auto drag_at = [&](double v) {
        wheel_at({30, rolling - depth, 30}, 0);
        dBodySetLinearVel(body(body_front_wheel), 0, 0, -v);
        dBodySetAngularVel(body(body_front_wheel), 0, 0, 0);
        dBodySetForce(body(body_front_wheel), 0, 0, 0);
        bike_collide_world(bike, now);
        return dBodyGetForce(body(body_front_wheel))[2];
    };
    EXPECT_NEAR(drag_at(3), full, 1e-6);
    EXPECT_NEAR(drag_at(0.5), full * 0.5, 1e-6);
    EXPECT_NEAR(drag_at(0), 0, 1e-12);
}
} // namespace
