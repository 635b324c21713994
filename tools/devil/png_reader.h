// The common PNG files, decoded here instead of by the library: 8-bit grey, grey and alpha, RGB
// or RGBA, not interlaced, with no palette, no transparency chunk and nothing the library's
// reader would refuse. The whole image data is inflated at once (libdeflate, about twice as
// fast as the library's zlib stream) and unfiltered in place, and the library's image takes
// that very block. The image is the one the library makes of such a file on this system: the
// same format and pixels, first row at the top, no gamma applied (the library applies it on
// Windows only). Any other file, or anything unusual in one, is left to the library.
#pragma once

#include <cstdint>

namespace png_reader {

enum class outcome { loaded, for_library };

// Decodes a PNG file of `size` bytes into the bound image, or leaves it untouched and the file
// to the library.
outcome load(const void* data, std::uint32_t size);

} // namespace png_reader
