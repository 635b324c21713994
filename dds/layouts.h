// The uncompressed pixel layouts: 4444, 1555, 565, 8888, 888 and 555.
#pragma once

#include <cstdint>

namespace dds {

// Converts `width` BGRA pixels to the layout of `format_code` (one of the pixel formats) into
// `out`, little-endian, as many bytes per pixel as the layout has. Channels are rounded to the
// nearest level the layout holds; the 1-bit alpha is set where alpha >= 128.
void convert_row(std::uint16_t format_code, const std::uint8_t* bgra, int width, std::uint8_t* out);

} // namespace dds
