// What the viewer takes from a decoder: checked before the parent copies, converts or shows an
// image, and before it reads a file whole.
//
// The first image must fit a screen bitmap of the layer (platform/gdi.h: 32767 pixels a side,
// 1 GiB of pixels); every image, sub-images included, must stay within the library's 32-bit
// sizes once converted to 8-bit blue, green, red, alpha, since the library computes that size in
// 32 bits and would wrap round to a small block.
#pragma once

#include <cstdint>

#include "tools/sandbox/sandbox.h"

namespace image_budget {

// The most bytes of an image file that are read for decoding. The largest image a bitmap can
// show has 2^28 pixels; stored at 4 bytes a pixel with a full mipmap chain (a third more) it
// takes 1.33 GiB, and every image up to 8192 x 8192, even at 16 bytes a pixel (float RGBA)
// with mipmaps, takes less. Larger files, sparse ones included, are refused unread.
constexpr std::uint64_t most_file_bytes = std::uint64_t{3} << 29; // 1.5 GiB

// True when the 8-bit BGRA form of a width x height x depth image stays within the library's
// reach (at most 2^31 - 1 bytes).
bool convertible(std::uint64_t width, std::uint64_t height, std::uint64_t depth);

// True when the image can be shown: convertible, and a 32-bit bitmap of width x height is
// within the layer's limits.
bool displayable(std::uint64_t width, std::uint64_t height, std::uint64_t depth);

// The time a child gets to decode a file of `file_bytes`, within the ceilings `most`: 2 s of
// CPU time and 2 s more per MiB (rounded up), and on the clock half as long again plus 2 s, for
// a machine busy with other work. A decoder caught in a loop on a small hostile file is stopped
// after 3 s; the costliest real images measured, 8192 x 8192 Radiance files (4 MiB flat, 5 s of
// CPU time; 200 MiB of noise, 5 s), get twice what they took.
sandbox::limits decode_limits(const sandbox::limits& most, std::uint64_t file_bytes);

} // namespace image_budget
