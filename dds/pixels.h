// Read access to a surface of BGR or BGRA pixels, rows top first at any pitch.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dds {

struct pixel_view {
    const std::uint8_t* data = nullptr;
    std::ptrdiff_t pitch = 0; // bytes from one row to the next
    int width = 0;
    int height = 0;
    int channels = 4; // 3: blue, green, red and taken as opaque

    const std::uint8_t* at(int x, int y) const { return data + y * pitch + x * channels; }

    // Row `y` as BGRA into `out` (4 x width bytes).
    void fetch_row(int y, std::uint8_t* out) const;

    // The 4 x 4 block whose top-left pixel is (x, y) as 16 BGRA pixels, row by row. Positions
    // past the right or bottom edge repeat the last column or row, so a partial block is fitted
    // to its real pixels only.
    void fetch_block(int x, int y, std::uint8_t out[64]) const;
};

} // namespace dds
