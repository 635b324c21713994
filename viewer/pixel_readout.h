// The information panel's readout of the pixel under the pointer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/pixel_memory.h"

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

// A copy of an image's pixels as loaded, kept beside the 8-bit pixels shown for an image of
// more than 8 bits a channel: floats (from float, half and double images) or 16-bit integers,
// in the loaded channels (red, green, blue with or without alpha, in either order; grey with
// or without alpha). Empty for every other image.
struct stored_pixels {
    std::uint32_t format = 0; // the library's format of the loaded image
    bool floating = false;    // floats, else 16-bit integers
    int width = 0;
    int height = 0;
    std::unique_ptr<std::uint8_t[], platform::pixel_deleter> bytes; // null when none are kept

    bool empty() const { return bytes == nullptr; }
};

// Keeps a copy of the bound image's pixels in `kept` when it is an image that stored_pixels
// holds; otherwise (and when the copy cannot be made) leaves it empty, its memory freed.
void keep_stored_pixels(stored_pixels& kept);

// The readout of the stored pixel at `at`: "Pixel x, y: R r G g B b A a" (or "gray g alpha a"),
// floats as %.4g (3.5, -0.25, 1.234e+05: values above 1 and below 0 as they are) and 16-bit
// integers as they are; a channel the image lacks reads as opaque (1 or 65535). False, with
// `text` untouched, when the copy is empty or `at` lies outside it.
bool format_stored_readout(char* text, std::size_t size, image_point at,
                           const stored_pixels& stored);
