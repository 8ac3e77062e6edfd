// The bike's data, usable with no simulation: the catalogue of 80 bikes, the setup with its keys,
// presets and the parameters it makes, the collision shapes, and the resource loader table.
#pragma once

#include "bike/data/bike_info.h"
#include "bike/data/bike_setup.h"
#include "bike/data/bike_shape.h"
#include "bike/data/bike_shape_files.h"
