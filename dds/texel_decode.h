// The stored forms of DDS pixel data this reader decodes, and their decoding into plain pixels
// (dds/dds_reader.h describes the output).
#pragma once

#include <cstdint>

#include "dds/dds_reader.h"

namespace dds {

enum class texel_kind : std::uint8_t {
    masks,             // 8 to 32 bits a pixel, channels found by their bit masks
    bc1,               // DXT1
    bc2,               // DXT3
    bc3,               // DXT5
    bc2_premultiplied, // DXT2: shown with its colours divided by alpha
    bc3_premultiplied, // DXT4: the same
    bc4,               // ATI1
    bc5,               // ATI2: blue rebuilt as a unit normal's z
    bc6h_unsigned,
    bc6h_signed,
    bc7,
    rgba8,
    bgra8,
    bgrx8,
    rgb10a2,
    rgba16,
    rgba16f,
    rgba32f,
    r8,
    rg8,
};

// Bit masks of red, green, blue and alpha; luminance takes red's place.
struct mask_layout {
    std::uint32_t bits = 0;
    std::uint32_t masks[4] = {};
};

struct texel_format {
    texel_kind kind = texel_kind::masks;
    channel_set channels = channel_set::rgba;
    channel_type type = channel_type::u8;
    mask_layout layout;
};

// The bytes one surface of these sizes takes in the file.
std::uint64_t stored_bytes(const texel_format& format, std::uint32_t width, std::uint32_t height,
                           std::uint32_t depth);

// Decodes one surface from `stored` (stored_bytes long) into `out`, whose sizes are set.
void decode_surface(const texel_format& format, const std::uint8_t* stored, surface& out);

// A mask's value stretched to the full range of `out_bits` bits, rounded: v x (2^out - 1) /
// (2^bits - 1), which replicates the high bits.
std::uint32_t expand_to_full_range(std::uint32_t value, std::uint32_t bits, std::uint32_t out_bits);

// A 16-bit float's value.
float half_to_float(std::uint16_t half);

} // namespace dds
