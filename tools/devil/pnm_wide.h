// Binary PGM and PPM files with more than 8 bits a sample (maxval above 255). The library's
// reader marks such an image 16-bit yet fills a block sized for 8 bits with half the samples,
// so they are decoded here, into the 16-bit image the library meant to make.
#pragma once

#include <cstdint>

namespace pnm_wide {

// True for a P5 or P6 file whose maxval is above 255 (its header read, not its pixels).
bool is_wide(const void* data, std::uint32_t size);

// Decodes such a file into the bound image: IL_LUMINANCE or IL_RGB, IL_UNSIGNED_SHORT, first
// row at the top, samples stretched to the full 16-bit range (v x 65535 / maxval, rounded; a
// sample above maxval counts as maxval). False for a header that does not hold together or
// pixel data that ends early.
bool load(const void* data, std::uint32_t size);

} // namespace pnm_wide
