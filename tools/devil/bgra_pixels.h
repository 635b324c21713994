// The wrapper's own conversions of 8-bit pixels to blue, green, red, alpha.
#pragma once

#include <cstddef>

namespace devil_internal {

// 8-bit blue, green, red, alpha 255 from `pixels` three-byte pixels: red first (RGB) when
// `red_first`, else blue first (BGR). The blocks must not overlap.
void three_bytes_to_bgra(const unsigned char* from, unsigned char* to, std::size_t pixels,
                         bool red_first);
// Exchanges the first and third byte of `count` four-byte pixels in place: RGBA becomes BGRA.
void swap_red_and_blue(unsigned char* pixels, std::size_t count);

} // namespace devil_internal
