// Distinct pixel values counted the way the library's iluColoursUsed counts them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace devil_internal {

// Distinct values as iluColoursUsed counts them: `size` bytes taken as values of `bpp` bytes
// each (the channel count, whatever the channel type), keyed by their bytes. False, and the
// library's own count must serve, for any other width than 1, 3 or 4 (with 2 the library reads
// a byte past each pixel) or when memory is short.
bool count_distinct_values(const unsigned char* data, std::size_t size, unsigned bpp,
                           std::uint32_t& count);

} // namespace devil_internal
