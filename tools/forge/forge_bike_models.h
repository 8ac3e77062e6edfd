// The generator's bike and rider models: shapes placed at the catalogue's bodies, in three
// levels of detail, coloured by the swatches of the bike, wheel and rider pictures.
#pragma once

#include "bike/bike_data.h"
#include "resources/model.h"

// The swatches of every bike, wheel and rider picture, row by row in a 4 x 4 grid.
enum swatch {
    sw_primary, // the maker's plastic; the jersey
    sw_stripe,  // graphics across the plastic; the pants
    sw_black,
    sw_frame,
    sw_engine,
    sw_dark,
    sw_gold,
    sw_chrome, // also the rims
    sw_plate,
    sw_white,
    sw_skin,
    sw_accent,
    sw_count
};

// Detail 0 is drawn near, 1 from 16 ft ("_lod4") and 2 from 64 ft ("_lod6").
constexpr int k_model_details = 3;
constexpr int k_detail_lod_numbers[k_model_details] = {0, 4, 6};

model_mesh frame_model(const bike_info& b, int detail);
model_mesh side_plates_model(const bike_info& b);
model_mesh fork_upper_model(const bike_info& b, int detail);
model_mesh front_plate_model(const bike_info& b);
model_mesh fork_lower_model(const bike_info& b, int detail);
model_mesh swingarm_model(const bike_info& b, int detail);
// A wheel in its body's y-z plane; the rear one carries the sprocket, the front its brake disc.
model_mesh wheel_model(const bike_info& b, bool front, int detail);
// The rider in its bind pose, skinned to the nine bones; the first-person body has no torso.
model_mesh rider_body_model(const bike_info& b, bool with_torso, int detail);
model_mesh rider_head_model(int detail);
model_mesh rider_plate_model(const bike_info& b);
