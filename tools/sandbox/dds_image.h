// DDS files decoded by our own reader (dds/dds_reader.h) and bound as the library's own DDS
// loader binds them: the same format, type, origin, mipmap chain and cube faces, so that
// nothing that works on the bound image can tell the difference, except the pixels.
#pragma once

#include <cstdint>

namespace dds_image {

enum class outcome {
    loaded,
    refused,    // a damaged or lying file, or a format nobody here decodes
    for_library // a layout our reader leaves to the library's own loader
};

// Decodes `size` bytes of a DDS file into the bound image.
outcome load(const void* data, std::uint32_t size);

// Makes the bound image a cube map of six faces, each `levels` mipmap levels of `width` x
// `height` pixels of the library's `format` and `type` (pixels unset), faces flagged as the
// library flags them. ilTexImage on a face drops the faces after it, so the library's own DDS
// loader builds them from a file made for the purpose. False for a format and type that no
// DDS layout it reads gives, or when it fails.
bool make_cube_map(std::uint32_t width, std::uint32_t height, std::uint32_t levels,
                   std::uint32_t format, std::uint32_t type);

// Copies `size` bytes into the current (sub-)image when it holds exactly that many bytes of
// `format` and `type`; false otherwise.
bool fill_current(const void* pixels, std::uint64_t size, std::uint32_t format, std::uint32_t type);

// True when the bytes begin with "DDS ".
bool is_dds(const void* data, std::uint32_t size);

} // namespace dds_image
