// The common TGA files, read here instead of by the library: uncompressed true colour of 24 or
// 32 bits and uncompressed 8-bit grey, with no colour map. The library reads such a file into
// one block and then turns it upright into another; here each row goes straight to its place
// in the block that the library's image takes. The image is the one the library makes: BGR,
// BGRA or luminance bytes, with the library's origin. Any other file, or anything unusual in
// one, is left to the library.
#pragma once

#include <cstdint>

namespace tga_reader {

enum class outcome { loaded, for_library };

// Decodes a TGA file of `size` bytes into the bound image, or leaves it untouched and the file
// to the library.
outcome load(const void* data, std::uint32_t size);

} // namespace tga_reader
