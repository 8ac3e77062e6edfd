// The rider's part of a bike's tic: crash rules, aids, springs, steering, dabbing and feet.
#pragma once

struct bike_state;

// Each runs at its place in bike_prepare's order.
void rider_down_start_test(bike_state& b);
void crash_detect(bike_state& b);
void knockout_update(bike_state& b);
void low_speed_aids(bike_state& b);
void rider_springs_apply(bike_state& b);
void steering_apply(bike_state& b);
void steering_damper_apply(bike_state& b);
void dab_and_realign(bike_state& b);
void foot_update(bike_state& b);
