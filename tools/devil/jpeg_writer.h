// The JPEG snapshot writer: top-row-first blue, green, red (and alpha, dropped) pixels written
// row by row through libjpeg with the settings the image library's own JPEG writer uses, so
// the file is the same byte for byte, without the library's whole-image RGB copy.
#pragma once

#include <cstdint>
#include <cstdio>

namespace jpeg_writer {

// Writes width x height pixels of `bytes` (3 or 4) per pixel, rows `width * bytes` apart, to
// `stream` at `quality` (0 to 100, as libjpeg takes it). False when libjpeg reports an error
// or the stream refuses the bytes.
bool save(std::FILE* stream, std::uint32_t width, std::uint32_t height, std::uint32_t bytes,
          const void* pixels, int quality);

} // namespace jpeg_writer
