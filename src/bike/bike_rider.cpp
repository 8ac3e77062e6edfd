// The rider's control laws; until they are written the rider rides along on the mount alone.
#include "bike/bike_rider.h"

#include "bike/bike_local.h"

void rider_down_start_test(bike_state&) {}
void crash_detect(bike_state&) {}
void knockout_update(bike_state&) {}
void low_speed_aids(bike_state&) {}
void rider_springs_apply(bike_state&) {}
void steering_apply(bike_state&) {}
void steering_damper_apply(bike_state&) {}
void dab_and_realign(bike_state&) {}
void foot_update(bike_state&) {}
