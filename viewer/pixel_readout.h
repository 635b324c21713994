// The information panel's readout of the pixel under the pointer.
#pragma once

#include <cstddef>
#include <cstdint>

struct image_point {
    int x = 0;
    int y = 0;
};

// The pixel of an image of image_width x image_height under the client point (x, y) of the
// image shown at shown_width x shown_height. False outside the image shown.
bool image_point_under(int x, int y, int shown_width, int shown_height, int image_width,
                       int image_height, image_point& at);

// How the loaded image's values are read out: red, green, blue and alpha; grey and alpha; or
// either as fractions of 1 for an image loaded as floats.
struct readout_kind {
    bool grey = false;
    bool floating = false;
};
readout_kind readout_kind_of(std::uint32_t format, std::uint32_t type);

// "Pixel x, y: R r G g B b A a" (or "gray g alpha a") into `text` of `size` bytes, cut to fit.
void format_readout(char* text, std::size_t size, image_point at, const std::uint8_t (&bgra)[4],
                    readout_kind kind);
