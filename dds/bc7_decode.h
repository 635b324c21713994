// BC7 blocks decoded as the block format defines them: eight modes, each a row of data.
#pragma once

#include <cstdint>

namespace dds {

// Decodes one 16-byte block into 16 texels of 8-bit red, green, blue, alpha, row by row. A
// block of the reserved mode (its first byte 0) decodes to transparent black.
void decode_bc7_block(const std::uint8_t block[16], std::uint8_t rgba[64]);

// Reads `count` bits (at most 32) of a 128-bit block, lowest first, from a moving position.
class block_bits {
  public:
    explicit block_bits(const std::uint8_t block[16]);
    std::uint32_t take(std::uint32_t count);
    std::uint32_t position() const { return at; }

  private:
    std::uint64_t low = 0, high = 0;
    std::uint32_t at = 0;
};

// The interpolation weights (out of 64) for 2-, 3- and 4-bit indices.
const std::uint8_t* interpolation_weights(std::uint32_t index_bits);

} // namespace dds
