// Encodes one surface (one mipmap level) in the file's format.
#pragma once

#include "dds/formats.h"
#include "dds/output.h"
#include "dds/pixels.h"

namespace dds {

// Writes the surface's bytes to `sink`, row of blocks by row of blocks (or row by row).
// Returns 0, dds_error_write when the sink refused bytes, or dds_error_memory.
int encode_surface(const pixel_view& source, const format_info& format, byte_sink& sink,
                   progress_meter& progress);

// One 4 x 4 block of BGRA pixels in a block format, into format.bytes bytes.
void encode_block(const std::uint8_t bgra[64], std::uint16_t format_code, std::uint8_t* out);

} // namespace dds
