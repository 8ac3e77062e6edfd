// The seven fixed collision shape files that every bike record names.
#pragma once

// In the order of a bike's collision shapes (frame, fork upper and lower, swingarm, front and
// rear wheel, rider), which is also the order the fixed shape check digests them in. An "@" name
// is looked up in the home folder, the data folder and the archives.
constexpr const char* k_bike_shape_files[] = {
    "@generic_frame.shp",    "@generic_fork_upper.shp", "@generic_fork_lower.shp",
    "@generic_swingarm.shp", "@front_wheel.shp",        "@rear_wheel.shp",
    "@generic_rider.shp",
};
constexpr int k_bike_shape_file_count = sizeof k_bike_shape_files / sizeof k_bike_shape_files[0];
