// The speed law: throttle, clutch and brakes towards the target speed, in the air and on the
// ground, and the gears by the road speed.
#include "race/pilot_local.h"
#include "race/race_local.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int k_shift_tics = 32;        // between gear changes
constexpr double k_no_brake_lean = 0.8; // rad of lean from which a robot does not brake

// The engine speed the bike's road speed s makes in its gear (rpm).
double road_rpm(int bike, double s) {
    const bike_info& info = bike_info_of(bike);
    double radius = info.rear_rim_radius + info.rear_tyre_radius;
    double ratio = info.gear_ratios[bike_gear(bike)] * info.primary_ratio *
                   bike_params_of(bike).final_drive_ratio;
    return radius > 0 ? s / radius * ratio * k_rpm_per_radian_per_second : 0;
}

// Throttle, clutch and brakes for a speed s towards the target T.
void speed_control(int bike, double s, double target, double pitch_rate, bool rear_down,
                   bool knocked, rider_input& in) {
    if (!rear_down) {
        in.front_brake = in.rear_brake = 0;
        in.clutch = 1;
        double rear_y = bike_body_position(bike, body_rear_wheel).y;
        double front_y = bike_body_position(bike, body_front_wheel).y;
        if ((rear_y <= front_y || pitch_rate >= 0) && pitch_rate >= -k_pi / 4) {
            // In the air, nose up or level: off the throttle; a high nose is brought down with
            // the rear brake.
            in.throttle = 0;
            if (front_y > rear_y + 1 && pitch_rate >= -k_pi / 8) {
                in.clutch = 0;
                in.rear_brake = 1;
            } else {
                in.clutch = 0.125f;
            }
        } else {
            // Nose falling: the spinning wheel lifts it.
            in.throttle = knocked ? 0 : 1;
            in.clutch = 0.125f;
        }
        return;
    }
    in.front_brake = in.rear_brake = 0;
    if (s < target - 1) {
        in.throttle = 1;
    } else {
        double over = s - (target - 1);
        if (over < 1) {
            in.throttle = static_cast<float>(1 - over);
        } else {
            in.throttle = 0;
            in.front_brake = in.rear_brake = static_cast<float>(clamp01(over - 1));
        }
    }
    if (knocked) in.throttle = 0;
    // In first gear the clutch slips until the engine is well above its shift-down speed.
    if (bike_gear(bike) > 0) {
        in.clutch = 1;
    } else {
        double low = bike_info_of(bike).auto_downshift_rpm - 1000;
        in.clutch = static_cast<float>(clamp01((engine_rpm(bike) - low) / 1000));
    }
}
} // namespace

void speed_step(robot_state& r, drive_state& d, rider_input& in) {
    speed_control(d.bike, d.s, d.target, d.pitch_rate, d.rear.touching, d.knocked, in);
    // Gears go by the road speed at the automatic shifting's engine speeds: a spinning rear
    // wheel is no reason to shift up, and a bike stuck with its wheel spinning goes down to
    // first.
    if (d.rear.touching && d.now % k_shift_tics == 0) {
        const bike_info& info = bike_info_of(d.bike);
        double rpm = road_rpm(d.bike, d.s);
        if (rpm > info.auto_upshift_rpm)
            in.shift = 1;
        else if (rpm < info.auto_downshift_rpm)
            in.shift = -1;
    }
    // Leaned over, a rider brakes gently or not at all: hard brakes on a leaned bike wash the
    // front out or stand it up, and the robot goes down.
    double upright = clamp01(1 - std::fabs(d.lambda) / k_no_brake_lean);
    in.front_brake *= static_cast<float>(upright);
    in.rear_brake *= static_cast<float>(upright);
    double t = d.throttle_scale * in.throttle;
    if (d.now - r.grip_limited_tic <= k_tics_per_second / 8)
        t = std::clamp(t, 0.0, r.previous_throttle + 1.0 / 32);
    else
        t = std::clamp(t, r.previous_throttle - 1.0 / 32, 1.0);
    r.previous_throttle = d.knocked ? 0.0f : static_cast<float>(t);
    in.throttle = static_cast<float>(clamp01(t));
}
