// The alpha half of DXT3 and DXT5 blocks.
#pragma once

#include <cstdint>

namespace dds {

constexpr int alpha_block_bytes = 8;

// DXT3: 4 bits per pixel, each the nearest of 16 evenly spaced levels. `bgra` holds 16 pixels.
void encode_explicit_alpha(const std::uint8_t bgra[64], std::uint8_t out[8]);

// DXT5: two 8-bit ends and a 3-bit index per pixel. Both modes are tried: eight levels between
// the ends, or six between them plus exact 0 and 255; the one with the lower error is written.
void encode_interpolated_alpha(const std::uint8_t bgra[64], std::uint8_t out[8]);

} // namespace dds
