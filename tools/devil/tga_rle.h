// Run-length encoded TGA files (image type 10), written by our own encoder: the library's RLE
// writer produces files that other readers, and the library itself, read back as garbage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tga_rle {

// The whole file for `height` rows of `width` pixels of `bytes` (3 or 4) bytes each: blue,
// green, red (, alpha), top row first. Rows are stored bottom first, as the library writes
// TGA files; packets hold 1 to 128 pixels and never run across the end of a row.
std::vector<std::uint8_t> encode(std::uint32_t width, std::uint32_t height, std::uint32_t bytes,
                                 const void* pixels);

// Writes the encoded file as `file` through a staged write: the file is replaced only when
// every byte reached the disk. False for sizes a TGA file cannot record (0 or above 65535),
// a `bytes` other than 3 or 4, null pixels, or a failed write.
bool save(const char* file, std::uint32_t width, std::uint32_t height, std::uint32_t bytes,
          const void* pixels);

} // namespace tga_rle
