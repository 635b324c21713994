// Endpoints for a block of one colour, from tables built once by exhaustive search.
#pragma once

#include "dds/packing.h"

namespace dds {

struct endpoint_pair {
    colour565 first;
    colour565 second;
};

// In a four-colour block the colour is given by index 2, two thirds of `first` and one third
// of `second`; in a three-colour block by the midpoint (index 2 as well). Each channel is
// chosen on its own, so the result is the best any decoder rounding down can show.
endpoint_pair fit_single_colour(int red, int green, int blue, bool three_colour);

} // namespace dds
