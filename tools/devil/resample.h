// The wrapper's own rescale of 8-bit images: the nine filters of the image library's iluScale
// (DevIL 1.7.8), with its kernels, supports and sample positions, many times faster.
//
// Nearest, linear and bilinear give the library's pixels exactly (its linear is its own odd
// formula, kept as it is). The six kernel filters apply, as the library does, only when a side
// grows (else its bilinear serves, also for first shrinking the other side), and follow its
// separable zoom: horizontal first into 8-bit values, then vertical, weights as it makes them
// (not normalised), rounded half away from zero, and a window whose samples are all equal
// giving that value. They sum in single precision, so a value may differ by one level where
// the library's double sum lies within a hair of a half. Where the library reads outside the
// image (mirrored positions past the far side of a tiny image, the linear's neighbour past the
// last column), the position is folded back into the image instead.
//
// Any rectangle of the result can be made alone, with exactly the pixels the whole result has
// there: the screen's part first, the rest after.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace resample {

enum class filter { nearest, linear, bilinear, box, triangle, bell, bspline, lanczos3, mitchell };

// 8-bit pixels of 1 to 4 channels in rows of width x channels bytes, one after the other.
struct image {
    const unsigned char* pixels = nullptr;
    std::uint32_t width = 0, height = 0, channels = 0;
};

// A rectangle of the result.
struct area {
    std::uint32_t x = 0, y = 0, width = 0, height = 0;
};

// What a rescale makes: `from` at `width` x `height` through `how`. With `to_bgra` a
// three-channel image's result is written as blue, green, red, alpha 255, red first in `from`
// when `red_first`: the screen's pixels straight from an image kept as it was loaded.
struct job {
    image from;
    std::uint32_t width = 0, height = 0;
    filter how = filter::lanczos3;
    bool to_bgra = false;
    bool red_first = false;
};

// Bytes of one pixel of the result.
inline std::uint32_t result_pixel_bytes(const job& what) {
    return what.to_bgra ? 4 : what.from.channels;
}

// Writes `part` of the result into `to`, whose rows are `to_stride` bytes apart, on up to
// `threads` threads. Stops early, false, when `cancel` (may be null) becomes true. False as
// well, with `to` partly written, when the part is not inside the result, a size is 0, a
// channel count is not 1 to 4 (3 with to_bgra) or memory is short.
bool rescale_part(const job& what, const area& part, unsigned char* to, std::size_t to_stride,
                  unsigned threads = 2, const std::atomic<bool>* cancel = nullptr);

// The whole result, rows packed.
bool rescale(const job& what, unsigned char* to, unsigned threads = 2);

} // namespace resample
