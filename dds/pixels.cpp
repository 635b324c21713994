#include "dds/pixels.h"

#include <cstring>

namespace dds {

void pixel_view::fetch_row(int y, std::uint8_t* out) const {
    const std::uint8_t* in = at(0, y);
    if (channels == 4) {
        std::memcpy(out, in, static_cast<std::size_t>(width) * 4);
        return;
    }
    for (int x = 0; x < width; ++x, in += 3, out += 4) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        out[3] = 255;
    }
}

void pixel_view::fetch_block(int x, int y, std::uint8_t out[64]) const {
    if (channels == 4 && x + 4 <= width && y + 4 <= height) {
        for (int row = 0; row < 4; ++row) {
            std::memcpy(out + 16 * row, at(x, y + row), 16);
        }
        return;
    }
    for (int row = 0; row < 4; ++row) {
        int sy = y + row < height ? y + row : height - 1;
        for (int column = 0; column < 4; ++column) {
            int sx = x + column < width ? x + column : width - 1;
            const std::uint8_t* in = at(sx, sy);
            std::uint8_t* pixel = out + (row * 4 + column) * 4;
            pixel[0] = in[0];
            pixel[1] = in[1];
            pixel[2] = in[2];
            pixel[3] = channels == 4 ? in[3] : 255;
        }
    }
}

} // namespace dds
