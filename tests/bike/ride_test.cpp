// Riding the default bike on the practice field: settling, pulling away, braking, turning (in
// arcade and in simulation mode), jumping, crashing and walking back.
#include "ride_world.h"

#include "bike/sim/bike_drivetrain.h"
#include "bike/bike_data.h"
#include "common/ripemd160.h"

#include <algorithm>
#include <string>

namespace {
// The default bike, a two-stroke 125 and a 450 four-stroke.
class ride_bikes : public ride_world, public ::testing::WithParamInterface<const char*> {};

TEST_P(ride_bikes, SettlesToItsStaticSagWithoutSinkingOrBouncing) {
    start(GetParam(), 60, 480, 0);
    const bike_info& info = bike_info_at(state().catalogue_index);
    rider_input idle;
    script_step s[] = {{0, idle}};
    double low = 1e9, high = -1e9;
    run(s, 1, 128 * 4, [&](int t) {
        // Never through the ground: the tyres carry the bike on a fraction of their section.
        EXPECT_LT(state().ride.front_contact.depth, info.front_tyre_radius) << t;
        EXPECT_LT(state().ride.rear_contact.depth, info.rear_tyre_radius) << t;
        if (t >= 128 * 3) {
            low = std::min(low, position(body_frame).y);
            high = std::max(high, position(body_frame).y);
        }
    });
    // At rest: no creeping, no bouncing in the last second.
    EXPECT_LT(speed(), 0.05);
    EXPECT_LT(high - low, 0.005);
    EXPECT_EQ(state().ride.crash_count, 0);
    EXPECT_NEAR(bike_lean_angle(bike), 0, 0.01);
    // The tyres together carry the whole bike and rider.
    double carried =
        state().ride.front_contact.feedback.f1[1] + state().ride.rear_contact.feedback.f1[1];
    EXPECT_NEAR(carried, state().total_mass * 32, state().total_mass * 32 * 0.03);
    // Both ends sag into the first part of their travel, the rear more, as a set-up bike does.
    double fork = -dJointGetSliderPosition(state().joints[joint_fork]) / info.fork_travel;
    double arm = -dJointGetHingeAngle(state().joints[joint_swingarm_pivot]) / info.swingarm_travel;
    EXPECT_GT(fork, 0.1);
    EXPECT_LT(fork, 0.4);
    EXPECT_GT(arm, 0.2);
    EXPECT_LT(arm, 0.45);
    EXPECT_GT(arm, fork);
}
} // namespace
namespace {
// Clutch out over a second in first gear at full throttle, shifting up near the top of the revs.
rider_input pull_away(int t, int bike) {
    rider_input in;
    in.clutch = t < 128 ? 0 : std::min(1.0f, (t - 128) / 128.0f);
    in.throttle = t < 64 ? 0 : 1;
    float shift_rpm = bike_info_at(bike_at(bike).catalogue_index).auto_upshift_rpm;
    in.shift = in.clutch >= 1 && engine_rpm(bike) > shift_rpm && t % 16 == 0 ? 1 : 0;
    return in;
}

double up_y(dBodyID frame) { return body_axis(frame, 1).y; }

constexpr double k_ft_per_mph = 22.0 / 15;
constexpr double k_rad_per_rpm = k_pi / 30; // rad/s per rpm

// The world's pull downwards (ft/s^2).
double gravity() {
    dVector3 g;
    dWorldGetGravity(world_id(), g);
    return -g[1];
}

// Pulling away, braking and turning on the player's setup, in arcade and in simulation mode.
class ride_modes : public ride_world, public ::testing::WithParamInterface<bike_in_mode> {
  protected:
    void start_in_mode(double x, double z) {
        start(std::get<0>(GetParam()), x, z, 0);
        use_player_setup(bike, std::get<1>(GetParam()));
    }
    ride_mode mode() const { return std::get<1>(GetParam()); }
    // Runs the pull-away script from tic `t` until the bike passes `mph`; returns the tic after.
    int pull_away_to(int t, float mph) {
        for (int end = t + 128 * 10; t < end && bike_speed_mph(bike) < mph; t++)
            tic(pull_away(t, bike));
        return t;
    }

    struct stop_run {
        double v0 = 0;        // ft/s when the levers were pulled
        double distance = -1; // ft to the stop; -1 when the bike never stopped
        bool upright = true;  // the frame stayed within 25 degrees of upright
    };
    // Pulls away to 40 mph, then pulls the clutch and the brake levers until the bike has stood
    // for a second.
    stop_run brake_from_forty(float front, float rear) {
        stop_run run;
        pull_away_to(0, 40);
        if (bike_speed_mph(bike) < 40) return run;
        run.v0 = speed();
        double z0 = position(body_frame).z;
        rider_input stop;
        stop.clutch = 0;
        stop.front_brake = front;
        stop.rear_brake = rear;
        int stood = -1;
        for (int k = 0; k < 128 * 8 && (stood < 0 || k < stood + 128); k++) {
            tic(stop);
            run.upright = run.upright && up_y(body(body_frame)) > 0.9;
            if (stood < 0 && speed() < 0.5) {
                stood = k;
                run.distance = z0 - position(body_frame).z;
            }
        }
        return run;
    }

    // How the turn's pull balances the bike's weight about the tyres' contact: the moment of
    // the centripetal force needed at the centre of mass over the moment of its weight, both
    // about the line between the contact points. 1 in a steady turn that nothing else holds up.
    double turn_balance() {
        vec3d centre, velocity;
        double mass = 0;
        for (int i = 0; i < k_bike_body_count; i++) {
            dMass m;
            dBodyGetMass(body(i), &m);
            centre = centre + position(i) * m.mass;
            velocity = velocity + this->velocity(i) * m.mass;
            mass += m.mass;
        }
        centre = centre * (1 / mass);
        velocity = velocity * (1 / mass);
        double v = std::sqrt(velocity.x * velocity.x + velocity.z * velocity.z);
        double yaw = dBodyGetAngularVel(body(body_frame))[1];
        vec3d contact = (state().ride.front_contact.point + state().ride.rear_contact.point) * 0.5;
        vec3d arm = centre - contact;
        // Across the path, towards the outside of a right turn.
        vec3d across = {velocity.z / v, 0, -velocity.x / v};
        double inward = -dot(arm, across); // the centre's lean into the turn (ft)
        if (arm.y <= 0 || inward <= 0) return 0;
        return v * std::fabs(yaw) * arm.y / (gravity() * inward);
    }
};

// The engine's most power at full throttle (ft·lbf/s).
double peak_power(const bike_info& info) {
    double most = 0;
    for (int i = 0; i < k_torque_samples; i++)
        most = std::max(most, info.open_throttle_torque[i] * i * 500 * k_rad_per_rpm);
    return most;
}

TEST_P(ride_modes, PullsAwayShiftsUpAndPassesSixtyMph) {
    start_in_mode(60, 490);
    int t = pull_away_to(0, 40);
    ASSERT_GE(bike_speed_mph(bike), 40);
    // Off the line the tyre's grip sets the pace: no tyre grips better than about 1.2 g, and a
    // bike with its engine and grip is past 40 mph in a few seconds from the clutch.
    double launch = (t - 128) / 128.0;
    EXPECT_GT(launch, 40 * k_ft_per_mph / (1.2 * gravity()));
    EXPECT_LT(launch, 3.5);
    int from = t;
    t = pull_away_to(t, 60);
    ASSERT_GE(bike_speed_mph(bike), 60);
    // From 40 to 60 mph the engine sets the pace: the energy gained takes at least as long as
    // the engine's peak power allows, and a working drivetrain delivers at least half of it.
    const bike_info& info = bike_info_at(state().catalogue_index);
    double v40 = 40 * k_ft_per_mph, v60 = 60 * k_ft_per_mph;
    double least = 0.5 * state().total_mass * (v60 * v60 - v40 * v40) / peak_power(info);
    double seconds = (t - from) / 128.0;
    EXPECT_GT(seconds, least);
    EXPECT_LT(seconds, 2 * least);
    EXPECT_GT(state().ride.gear, 1);
    EXPECT_GT(up_y(body(body_frame)), 0.9);
    EXPECT_EQ(state().ride.crash_count, 0);
    // Straight ahead along -z without a steering input.
    EXPECT_NEAR(position(body_frame).x, 60, 1);
    EXPECT_LT(position(body_frame).z, 490);
}

TEST_P(ride_modes, BrakesFromFortyMphToAStopWithoutFlipping) {
    start_in_mode(60, 490);
    stop_run run = brake_from_forty(1, 1);
    ASSERT_GT(run.distance, 0) << "never stopped";
    // No tyre grips better than about 1.2 g; both brakes together use most of the grip.
    EXPECT_GT(run.distance, run.v0 * run.v0 / (2 * 1.2 * gravity()));
    EXPECT_LT(run.distance, run.v0 * run.v0 / (2 * 0.85 * gravity()));
    EXPECT_TRUE(run.upright);
    EXPECT_EQ(state().ride.crash_count, 0);
    // Standing on both wheels, not tipped onto its nose.
    EXPECT_TRUE(wheel_touches(state().ride.rear_contact));
    EXPECT_TRUE(wheel_touches(state().ride.front_contact));
    EXPECT_LT(speed(), 0.5);
}

TEST_P(ride_modes, TheRearBrakeAloneStopsTheBikeWithItsTorque) {
    start_in_mode(60, 490);
    stop_run run = brake_from_forty(0, 1);
    ASSERT_GT(run.distance, 0) << "never stopped";
    // The rear brake's torque at the tyre's rolling radius slows the whole bike and rider;
    // rolling resistance adds a little.
    const bike_info& info = bike_info_at(state().catalogue_index);
    double force =
        state().params.rear_brake_torque / (info.rear_rim_radius + info.rear_tyre_radius);
    double expected = force / state().total_mass;
    double decel = run.v0 * run.v0 / (2 * run.distance);
    EXPECT_GT(decel, 0.8 * expected);
    EXPECT_LT(decel, 1.25 * expected);
    EXPECT_TRUE(run.upright);
    EXPECT_EQ(state().ride.crash_count, 0);
}

TEST_P(ride_modes, LeansIntoATurnAndHoldsACircle) {
    start_in_mode(150, 450);
    pull_away_to(0, 20);
    ASSERT_GE(bike_speed_mph(bike), 20);
    rider_input turn;
    turn.clutch = 1;
    turn.steer = 0.5f;
    double lean_sum = 0, radius_sum = 0, balance_sum = 0;
    int samples = 0;
    double x0 = position(body_frame).x;
    for (int k = 0; k < 128 * 8; k++) {
        turn.throttle = bike_speed_mph(bike) < 20 ? 0.4f : 0.1f;
        tic(turn);
        if (k < 128 * 3) continue;
        double yaw = dBodyGetAngularVel(body(body_frame))[1];
        // Turning right: clockwise seen from above.
        EXPECT_LT(yaw, 0) << k;
        lean_sum += bike_lean_angle(bike);
        radius_sum += speed() / std::fabs(yaw);
        balance_sum += turn_balance();
        samples++;
    }
    double lean = lean_sum / samples, radius = radius_sum / samples;
    double v = speed();
    if (mode() == ride_arcade) {
        // The balance motor holds the lean asked for, 45 degrees times the command, and the
        // bike turns about as tightly as a balanced bike at that lean would: tan(lean) = v^2 /
        // (g r).
        EXPECT_NEAR(lean, -k_pi / 4 * 0.5, 0.01);
        double balanced = v * v / (gravity() * std::tan(std::fabs(lean)));
        EXPECT_NEAR(radius, balanced, balanced * 0.2);
    } else {
        // The steering controller leans the bike to about the lean asked for, the roll limit
        // times the command. Holding a steady turn takes some torque on the bar, which it gives
        // only for a lean off by more than its dead band, so the bike settles a little further
        // over.
        double asked = -0.5 * state().params.roll_limit_angle;
        EXPECT_LT(lean, asked + 0.02);
        EXPECT_GT(lean, asked - 0.1);
        // Nothing holds the bike up but the turn: its weight and the turn's pull balance about
        // the tyres' contact (the ratio of the two moments is 1).
        EXPECT_NEAR(balance_sum / samples, 1, 0.1);
    }
    EXPECT_GT(position(body_frame).x, x0);
    EXPECT_EQ(state().ride.crash_count, 0);
}

INSTANTIATE_TEST_SUITE_P(catalogue, ride_modes, bikes_in_both_modes(), bike_in_mode_name());

TEST_P(ride_bikes, ClearsTheThreeFootTabletopAndLandsRiding) {
    const practice_jump& jump = k_practice_jumps[0];
    double top_end = jump.x_begin + jump.height / jump.up_slope + jump.top_length;
    start(GetParam(), 15, k_practice_straight_z, -k_pi / 2);
    use_player_setup(bike, ride_arcade);
    bool flying = false, landed = false;
    int took_off = -1, touched = -1;
    double landing_x = 0;
    for (int t = 0; t < 128 * 12 && !(landed && t > touched + 128); t++) {
        rider_input in = pull_away(t, bike);
        // Just fast enough to land on the far face rather than case the top or overshoot to flat.
        if (bike_speed_mph(bike) > 17) in.throttle = bike_speed_mph(bike) > 17.5f ? 0 : 0.2f;
        tic(in);
        bool air =
            !wheel_touches(state().ride.front_contact) && !wheel_touches(state().ride.rear_contact);
        if (air && !flying && position(body_frame).x > jump.x_begin) {
            flying = true;
            took_off = t;
        }
        if (flying && !air && !landed) {
            landed = true;
            touched = t;
            // Where the first tyre came down.
            landing_x = wheel_touches(state().ride.rear_contact)
                            ? state().ride.rear_contact.point.x
                            : state().ride.front_contact.point.x;
        }
    }
    ASSERT_TRUE(landed);
    EXPECT_GT((touched - took_off) / 128.0, 0.4);
    EXPECT_GT(landing_x, top_end);
    EXPECT_EQ(state().ride.crash_count, 0);
    EXPECT_EQ(state().ride.rider_down, 0);
    EXPECT_NEAR(bike_lean_angle(bike), 0, 0.1);
    EXPECT_GT(bike_speed_mph(bike), 10);
}

TEST_P(ride_bikes, NoseFirstLandingThrowsTheRiderWhoComesBack) {
    start(GetParam(), 256, 300, 0);
    bike_reset(bike);
    // Twenty feet up, pointing 69 degrees nose-down, moving forward at 30 ft/s.
    bike_place(bike, {1, 0, 0}, -1.2);
    bike_translate(bike, {256, 20, 300});
    for (int i = 0; i < k_bike_body_count; i++) dBodySetLinearVel(body(i), 0, -1, -30);
    bike_prepare(bike, clock);
    rider_input idle;
    dJointID mount = state().joints[joint_rider_mount];
    int crashed = -1;
    for (int t = 0; t < 128 * 3 && crashed < 0; t++) {
        tic(idle);
        if (state().ride.crash_count > 0) crashed = t;
    }
    ASSERT_GE(crashed, 0);
    EXPECT_TRUE(knocked_off(bike));
    EXPECT_EQ(dJointGetBody(mount, 0), nullptr);
    EXPECT_GE(state().ride.knockout_tics, 500);
    // The count runs down once the rider lies still, and he is put back on the bike.
    int t = 0;
    for (; t < 128 * 60 && knocked_off(bike); t++) tic(idle);
    ASSERT_FALSE(knocked_off(bike));
    EXPECT_EQ(state().ride.crash_count, 1);
    EXPECT_EQ(dJointGetBody(mount, 0), body(body_rider));
    const bike_info& info = bike_info_at(state().catalogue_index);
    dVector3 place;
    vec3d rel = vec_of(info.rider_position) - vec_of(info.frame_position);
    dBodyGetRelPointPos(body(body_frame), rel.x, rel.y, rel.z, place);
    EXPECT_LT(length(position(body_rider) - vec_of(place)), 0.01);
}

TEST_P(ride_bikes, StandsAtTheGateThenWalksBackInSteps) {
    start(GetParam(), 100, 190, -k_pi / 2);
    use_player_setup(bike, ride_arcade);
    clock.gate_drop_tic = 128 * 20;
    vec3d at = position(body_frame);
    rider_input rev;
    rev.clutch = 0;
    rev.throttle = 0.5f;
    script_step hold[] = {{0, rev}};
    run(hold, 1, 128 * 4, [](int) {});
    // Revving against the lever the bike stays where it was put, upright.
    EXPECT_LT(length(position(body_frame) - at), 0.3);
    EXPECT_LT(speed(), 0.2);
    EXPECT_GT(up_y(body(body_frame)), 0.95);

    rider_input back;
    back.clutch = 0;
    back.back_up = 1;
    double x0 = position(body_frame).x;
    double at_step_start = 0, mid_step = 0;
    script_step walk[] = {{0, back}};
    run(walk, 1, 128 * 6, [&](int) {
        int phase = clock.tic % 128;
        if (phase == 0) at_step_start = std::max(at_step_start, speed());
        if (phase == 64) mid_step = std::max(mid_step, speed());
    });
    double moved = x0 - position(body_frame).x; // facing +x, so backwards is -x
    EXPECT_GT(moved, 3);
    EXPECT_LT(moved, 6 * 4.0);
    // One step per 128 tics: still at each step's start, walking in its middle.
    EXPECT_LT(at_step_start, 0.75);
    EXPECT_GT(mid_step, 1.5);
    EXPECT_GT(up_y(body(body_frame)), 0.95);
}

TEST_P(ride_bikes, TheSameScriptGivesBitIdenticalStates) {
    auto ride = [&]() {
        start(GetParam(), 150, 450, 0);
        use_player_setup(bike, ride_arcade);
        for (int t = 0; t < 128 * 6; t++) {
            rider_input in = pull_away(t, bike);
            if (t > 128 * 3) in.steer = 0.4f;
            if (t > 128 * 5) in.front_brake = 1;
            tic(in);
        }
        ripemd160_state h;
        ripemd160_init(h);
        bike_digest_update(h, bike);
        uint8_t digest[20];
        ripemd160_final(h, digest);
        return ripemd160_hex(digest);
    };
    std::string first = ride();
    std::string second = ride();
    EXPECT_EQ(first, second);
}

// Every body's place and motion and the rider's levels are numbers.
bool state_is_finite(const bike_state& b) {
    for (dBodyID body : b.bodies)
        for (const dReal* v :
             {dBodyGetPosition(body), dBodyGetLinearVel(body), dBodyGetAngularVel(body)})
            for (int i = 0; i < 3; i++)
                if (!std::isfinite(v[i])) return false;
    return std::isfinite(b.ride.steering_lock_level) && std::isfinite(b.ride.dab_level) &&
           std::isfinite(b.ride.land_damping_level);
}

TEST_F(ride_world, NoRestrictedLockAtAllKeepsTheBikeSound) {
    start("yz250f(2017)", 150, 450, 0);
    setup_values v;
    setup_values_reset(v);
    setup_set_slider(v, key_restricted_lock, 0); // the slider's lowest setting
    v.choice[key_arcade] = 0;                    // the steering controller with its lock
    bike_params p = state().params;
    setup_apply_values(v, bike_info_at(state().catalogue_index), p);
    bike_set_params(bike, p);
    ASSERT_EQ(state().params.restricted_lock, 0.0f);
    ASSERT_FALSE(state().params.arcade);
    const bike_info& info = bike_info_at(state().catalogue_index);
    auto front_wheel_speed = [&] {
        return (info.front_rim_radius + info.front_tyre_radius) *
               dJointGetHingeAngleRate(state().joints[joint_front_axle]);
    };
    auto check = [&](int t, const char* stage) {
        ASSERT_TRUE(state_is_finite(state())) << stage << " at tic " << t;
        EXPECT_GE(state().ride.steering_lock_level, 0.0f) << stage << " at tic " << t;
        EXPECT_LE(state().ride.steering_lock_level, 1.0f) << stage << " at tic " << t;
    };
    // Past the speed where the lock closes to nothing, then into a turn.
    const double closed = state().params.restricted_lock_speed + 5;
    int t = 0;
    for (; t < 128 * 12 && front_wheel_speed() < closed; t++) {
        tic(pull_away(t, bike));
        check(t, "pulling away");
    }
    ASSERT_GE(front_wheel_speed(), closed);
    rider_input turn;
    turn.clutch = 1;
    turn.steer = 0.5f;
    for (int k = 0; k < 128 * 2; k++) {
        turn.throttle = front_wheel_speed() < closed + 5 ? 1.0f : 0.3f;
        tic(turn);
        check(k, "turning");
    }
    // A state with the bike standing still and its front wheel spinning fast, as a remote
    // rider's snapshot may hold, prepared at once: the wheel turns past the closed-lock speed
    // while it does not travel.
    ASSERT_GE(front_wheel_speed(), closed);
    for (int i = 0; i < k_bike_body_count; i++) {
        dBodySetLinearVel(state().bodies[i], 0, 0, 0);
        if (i != body_front_wheel) dBodySetAngularVel(state().bodies[i], 0, 0, 0);
    }
    bike_prepare(bike, clock);
    check(0, "standing");
    rider_input idle;
    idle.clutch = 0;
    for (int k = 0; k < 128 * 2; k++) {
        tic(idle);
        check(k, "standing");
    }
}

INSTANTIATE_TEST_SUITE_P(catalogue, ride_bikes,
                         ::testing::Values("yz250f(2017)", "cr125", "crf450(2018)"),
                         catalogue_test_name());
} // namespace
