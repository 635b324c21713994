// The next smaller level of a mipmap chain.
#pragma once

#include <cstdint>

#include "dds/pixels.h"

namespace dds {

// Fills `out` (width x height BGRA pixels, tightly packed) with `source` shrunk to that size by
// an area-weighted box filter: each output pixel is the mean of the source area it covers,
// partial pixels counting by the share covered. Halving an even side averages exact pairs.
// Returns false when scratch memory is not available.
bool shrink_box(const pixel_view& source, int width, int height, std::uint8_t* out);

} // namespace dds
