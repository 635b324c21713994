// The 128 bytes that open a DDS file: the magic word and the standard 124-byte header.
#pragma once

#include <cstdint>

#include "dds/formats.h"

namespace dds {

constexpr int header_bytes = 128;

// `levels` is the number of surfaces that follow; a value above zero with `mipmapped` set
// marks the file as carrying a generated mipmap chain.
void build_header(const format_info& format, int width, int height, bool mipmapped, int levels,
                  std::uint8_t out[header_bytes]);

} // namespace dds
