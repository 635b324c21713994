// BC6H blocks decoded as the block format defines them: fourteen modes, each a row of data
// whose field layout is written in the format's own notation.
#pragma once

#include <cstdint>

namespace dds {

// Decodes one 16-byte block into 16 texels of float red, green, blue, row by row. `is_signed`
// for BC6H_SF16, false for BC6H_UF16. A reserved mode decodes to black.
void decode_bc6h_block(const std::uint8_t block[16], bool is_signed, float rgb[48]);

} // namespace dds
