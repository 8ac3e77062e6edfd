// The check of the seven fixed bike shape files against the digests of our data set.
#pragma once

#include <string>

// The RIPEMD-160 of the seven shape files that exist, in their fixed order, as hex.
std::string fixed_shape_digest();
// Computes the check once and keeps the result.
bool fixed_shape_check();
bool fixed_shapes_match();
