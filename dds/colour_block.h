// The colour half of a DXT block: two 565 endpoints and a 2-bit palette index per pixel.
#pragma once

#include <cstdint>

namespace dds {

constexpr int colour_block_bytes = 8;

// Encodes the 16 BGRA pixels `bgra` (row by row) into 8 bytes. Without one-bit alpha the block
// is always in four-colour mode, as DXT3 and DXT5 need. With it, a block holding any pixel of
// alpha < 128 is written in three-colour mode with those pixels on the transparent index 3.
void encode_colour_block(const std::uint8_t bgra[64], bool one_bit_alpha, std::uint8_t out[8]);

} // namespace dds
