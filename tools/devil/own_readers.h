// The file types the wrapper decodes with readers of its own instead of the library's: DDS
// files (tools/dds_image.h) and PGM or PPM files with 16-bit samples (tools/pnm_wide.h), which
// the library gets wrong; the common PNG files, which it decodes slowly
// (tools/devil/png_reader.h); and uncompressed TGA files, which it copies twice
// (tools/devil/tga_reader.h).
#pragma once

#include <IL/il.h>
#include <cstdint>

namespace own_readers {

enum class outcome { not_ours, loaded, refused };

// Decodes `size` bytes into the bound image when one of our readers takes them. A DDS file in a
// layout our reader leaves to the library comes back not_ours with `type` set to IL_DDS.
outcome decode(const void* data, std::uint32_t size, ILenum& type);

} // namespace own_readers
