#include "viewer/channel_view.h"

#include <algorithm>
#include <cstdint>

namespace {

// Byte offsets in a blue, green, red, alpha pixel.
constexpr int blue_byte = 0;
constexpr int green_byte = 1;
constexpr int red_byte = 2;
constexpr int alpha_byte = 3;

void set_grey(std::uint8_t* pixel, std::uint8_t grey) {
    pixel[blue_byte] = pixel[green_byte] = pixel[red_byte] = grey;
}

std::uint8_t blend(unsigned colour, unsigned alpha, unsigned grey) {
    return static_cast<std::uint8_t>((colour * alpha + grey * (255 - alpha) + 127) / 255);
}

void show_grey_row(std::uint8_t* row, int width, int channel) {
    for (int i = 0; i < width; ++i, row += 4) {
        set_grey(row, row[channel]);
    }
}

void show_checkerboard_row(std::uint8_t* row, int width, int image_x, int image_y) {
    const bool odd_row = (image_y / checker_square) % 2 != 0;
    for (int i = 0; i < width; ++i, row += 4) {
        bool odd_column = ((image_x + i) / checker_square) % 2 != 0;
        unsigned grey = odd_row != odd_column ? checker_dark : checker_light;
        unsigned alpha = row[alpha_byte];
        row[blue_byte] = blend(row[blue_byte], alpha, grey);
        row[green_byte] = blend(row[green_byte], alpha, grey);
        row[red_byte] = blend(row[red_byte], alpha, grey);
    }
}

} // namespace

channel_view next_channel_view(channel_view view) {
    switch (view) {
    case channel_view::colour:
        return channel_view::alpha;
    case channel_view::alpha:
        return channel_view::red;
    case channel_view::red:
        return channel_view::green;
    case channel_view::green:
        return channel_view::blue;
    case channel_view::blue:
        return channel_view::checkerboard;
    case channel_view::checkerboard:
        break;
    }
    return channel_view::colour;
}

const char* channel_view_name(channel_view view) {
    switch (view) {
    case channel_view::colour:
        break;
    case channel_view::alpha:
        return "alpha";
    case channel_view::red:
        return "red";
    case channel_view::green:
        return "green";
    case channel_view::blue:
        return "blue";
    case channel_view::checkerboard:
        return "checkerboard";
    }
    return "colour";
}

void show_channel_view(channel_view view, const platform::surface& pixels, int x, int y, int width,
                       int height, int origin_x, int origin_y) {
    if (view == channel_view::colour || pixels.pixels == nullptr) {
        return;
    }
    const int left = std::max(x, pixels.left);
    const int top = std::max(y, pixels.top);
    const int right = std::min(x + width, pixels.left + pixels.width);
    const int bottom = std::min(y + height, pixels.top + pixels.height);
    for (int row = top; row < bottom; ++row) {
        std::uint8_t* at = pixels.pixels +
                           static_cast<std::ptrdiff_t>(row - pixels.top) * pixels.pitch +
                           static_cast<std::ptrdiff_t>(left - pixels.left) * 4;
        const int count = right - left;
        switch (view) {
        case channel_view::alpha:
            show_grey_row(at, count, alpha_byte);
            break;
        case channel_view::red:
            show_grey_row(at, count, red_byte);
            break;
        case channel_view::green:
            show_grey_row(at, count, green_byte);
            break;
        case channel_view::blue:
            show_grey_row(at, count, blue_byte);
            break;
        case channel_view::checkerboard:
            show_checkerboard_row(at, count, left - origin_x, row - origin_y);
            break;
        case channel_view::colour:
            break;
        }
    }
}
