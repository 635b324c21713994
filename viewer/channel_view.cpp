#include "viewer/channel_view.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <pthread.h>

namespace {

// Byte offsets in a blue, green, red, alpha pixel.
constexpr int blue_byte = 0;
constexpr int green_byte = 1;
constexpr int red_byte = 2;
constexpr int alpha_byte = 3;

// Views of at least this many pixels are shown by two threads.
constexpr std::int64_t pixels_worth_a_second_thread = 512 * 512;

// A pixel as one number: blue in the low byte, alpha in the high one.
static_assert(std::endian::native == std::endian::little, "pixels are read as little-endian");

std::uint32_t load_pixel(const std::uint8_t* at) {
    std::uint32_t pixel = 0;
    std::memcpy(&pixel, at, sizeof pixel);
    return pixel;
}

void store_pixel(std::uint8_t* at, std::uint32_t pixel) {
    std::memcpy(at, &pixel, sizeof pixel);
}

constexpr std::uint32_t alpha_bits = 0xFF000000u;

void show_grey_row(std::uint8_t* row, int width, int channel) {
    const int shift = channel * 8;
    const auto count = static_cast<std::size_t>(std::max(width, 0));
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t pixel = load_pixel(row + i * 4);
        store_pixel(row + i * 4, ((pixel >> shift) & 0xFFu) * 0x010101u | (pixel & alpha_bits));
    }
}

// Each 16-bit half of `value` divided by 255, exactly for halves up to 255 * 255 + 127.
std::uint32_t halves_by_255(std::uint32_t value) {
    return ((value + 0x00010001u + ((value >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
}

// Each colour becomes (colour * alpha + grey * (255 - alpha) + 127) / 255, blue and red side by
// side in the halves of one number; the grey is its square's. Branch-free, so that the compiler
// can take several pixels at once.
void show_checkerboard_row(std::uint8_t* row, int width, int image_x, int image_y) {
    static_assert(checker_square == 8, "a square's column is the image column shifted by 3");
    // Unsigned shifts keep the squares' alternation left of the corner too.
    const std::uint32_t odd_row = (static_cast<std::uint32_t>(image_y) >> 3) & 1;
    const auto first_column = static_cast<std::uint32_t>(image_x);
    const auto count = static_cast<std::size_t>(std::max(width, 0));
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t pixel = load_pixel(row + i * 4);
        const std::uint32_t alpha = pixel >> 24;
        const std::uint32_t dark =
            (((first_column + static_cast<std::uint32_t>(i)) >> 3) ^ odd_row) & 1;
        const std::uint32_t grey = checker_light - dark * (checker_light - checker_dark);
        const std::uint32_t backdrop = grey * (255 - alpha) + 127;
        const std::uint32_t blue_red =
            halves_by_255((pixel & 0x00FF00FFu) * alpha + backdrop * 0x00010001u);
        const std::uint32_t green = halves_by_255(((pixel >> 8) & 0xFFu) * alpha + backdrop);
        store_pixel(row + i * 4, blue_red | green << 8 | (pixel & alpha_bits));
    }
}

// The rows top to bottom of the columns left to right, in the surface's coordinates.
struct view_rows {
    channel_view view;
    const platform::surface* pixels;
    int left, right, top, bottom, origin_x, origin_y;
};

void show_rows(const view_rows& part) {
    const platform::surface& pixels = *part.pixels;
    const int count = part.right - part.left;
    for (int row = part.top; row < part.bottom; ++row) {
        std::uint8_t* at = pixels.pixels +
                           static_cast<std::ptrdiff_t>(row - pixels.top) * pixels.pitch +
                           static_cast<std::ptrdiff_t>(part.left - pixels.left) * 4;
        switch (part.view) {
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
            show_checkerboard_row(at, count, part.left - part.origin_x, row - part.origin_y);
            break;
        case channel_view::colour:
            break;
        }
    }
}

void* show_rows_thread(void* part) {
    show_rows(*static_cast<const view_rows*>(part));
    return nullptr;
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
    view_rows all{view,
                  &pixels,
                  std::max(x, pixels.left),
                  std::min(x + width, pixels.left + pixels.width),
                  std::max(y, pixels.top),
                  std::min(y + height, pixels.top + pixels.height),
                  origin_x,
                  origin_y};
    if (all.right <= all.left || all.bottom <= all.top) {
        return;
    }
    // A large area gives its top half to the second core; all of it stays here when no thread
    // starts.
    view_rows top_half = all, bottom_half = all;
    top_half.bottom = bottom_half.top = all.top + (all.bottom - all.top) / 2;
    pthread_t helper{};
    bool helped = std::int64_t{all.right - all.left} * (all.bottom - all.top) >=
                      pixels_worth_a_second_thread &&
                  pthread_create(&helper, nullptr, show_rows_thread, &top_half) == 0;
    show_rows(helped ? bottom_half : all);
    if (helped) {
        pthread_join(helper, nullptr);
    }
}
