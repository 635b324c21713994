// What each surface format code means on disk: block or pixel size and the header's pixel format.
#pragma once

#include <cstdint>

namespace dds {

struct format_info {
    std::uint16_t code;
    bool block;                // 4 x 4 blocks rather than rows of pixels
    int bytes;                 // per block, or per pixel
    std::uint32_t fourcc;      // block formats only
    std::uint32_t pixel_flags; // DDPF_* bits of the header's pixel format
    int bit_count;             // pixel formats only
    std::uint32_t red_mask;
    std::uint32_t green_mask;
    std::uint32_t blue_mask;
    std::uint32_t alpha_mask;
};

// The row for `code`, or null when the code names no format.
const format_info* find_format(std::uint16_t code);

// Bytes of one surface of the given size, padded to whole blocks for block formats.
std::uint64_t surface_bytes(const format_info& format, int width, int height);

// Bytes of one row of pixels, or of one row of blocks.
std::uint64_t row_bytes(const format_info& format, int width);

// Levels in a full chain: how often the larger side halves down to 1, plus one.
int full_chain_levels(int width, int height);

// Side of level `level`, never below 1.
inline int level_side(int side, int level) {
    int reduced = side >> level;
    return reduced > 0 ? reduced : 1;
}

} // namespace dds
