#include "dds/dds_reader.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include "dds/texel_decode.h"

namespace dds {

namespace {

constexpr std::size_t header_size = 128;
constexpr std::size_t dx10_header_size = 20;

// Pixel format flags.
constexpr std::uint32_t pf_alpha_pixels = 0x1;
constexpr std::uint32_t pf_alpha = 0x2;
constexpr std::uint32_t pf_fourcc = 0x4;
constexpr std::uint32_t pf_rgb = 0x40;
constexpr std::uint32_t pf_luminance = 0x20000;

constexpr std::uint32_t flag_depth = 0x800000;
constexpr std::uint32_t caps2_cube = 0x200;
constexpr std::uint32_t caps2_volume = 0x200000;
constexpr std::uint32_t dx10_misc_cube = 0x4;
constexpr std::uint32_t dx10_dimension_3d = 4;

// The largest side a DDS file may declare (Direct3D's own limit is 16384).
constexpr std::uint32_t most_side = 1u << 16;

std::uint32_t field(const std::uint8_t* data, std::size_t offset) {
    std::uint32_t value = 0;
    std::memcpy(&value, data + offset, sizeof value);
    return value; // little-endian machines only, as the rest of the program
}

constexpr std::uint32_t fourcc(const char (&text)[5]) {
    return std::uint32_t(std::uint8_t(text[0])) | std::uint32_t(std::uint8_t(text[1])) << 8 |
           std::uint32_t(std::uint8_t(text[2])) << 16 | std::uint32_t(std::uint8_t(text[3])) << 24;
}

struct named_format {
    std::uint32_t code;
    texel_kind kind;
    channel_set channels;
    channel_type type;
    const char* name;
};

// Legacy FourCC codes: the letters, or Direct3D 9's numbered formats.
constexpr named_format legacy_formats[] = {
    {fourcc("DXT1"), texel_kind::bc1, channel_set::rgba, channel_type::u8, "DXT1"},
    {fourcc("DXT2"), texel_kind::bc2_premultiplied, channel_set::rgba, channel_type::u8, "DXT2"},
    {fourcc("DXT3"), texel_kind::bc2, channel_set::rgba, channel_type::u8, "DXT3"},
    {fourcc("DXT4"), texel_kind::bc3_premultiplied, channel_set::rgba, channel_type::u8, "DXT4"},
    {fourcc("DXT5"), texel_kind::bc3, channel_set::rgba, channel_type::u8, "DXT5"},
    {fourcc("ATI1"), texel_kind::bc4, channel_set::luminance, channel_type::u8, "ATI1"},
    {fourcc("BC4U"), texel_kind::bc4, channel_set::luminance, channel_type::u8, "BC4U"},
    {fourcc("ATI2"), texel_kind::bc5, channel_set::rgb, channel_type::u8, "ATI2"},
    {fourcc("BC5U"), texel_kind::bc5, channel_set::rgb, channel_type::u8, "BC5U"},
    {36, texel_kind::rgba16, channel_set::rgba, channel_type::u16, "A16B16G16R16"},
    {113, texel_kind::rgba16f, channel_set::rgba, channel_type::f32, "A16B16G16R16F"},
    {116, texel_kind::rgba32f, channel_set::rgba, channel_type::f32, "A32B32G32R32F"},
};

// DXGI formats of the DX10 header; sRGB and typeless ones show their stored values.
constexpr named_format dxgi_formats[] = {
    {2, texel_kind::rgba32f, channel_set::rgba, channel_type::f32, "R32G32B32A32_FLOAT"},
    {10, texel_kind::rgba16f, channel_set::rgba, channel_type::f32, "R16G16B16A16_FLOAT"},
    {11, texel_kind::rgba16, channel_set::rgba, channel_type::u16, "R16G16B16A16_UNORM"},
    {24, texel_kind::rgb10a2, channel_set::rgba, channel_type::u16, "R10G10B10A2_UNORM"},
    {28, texel_kind::rgba8, channel_set::rgba, channel_type::u8, "R8G8B8A8_UNORM"},
    {29, texel_kind::rgba8, channel_set::rgba, channel_type::u8, "R8G8B8A8_UNORM_SRGB"},
    {49, texel_kind::rg8, channel_set::rgb, channel_type::u8, "R8G8_UNORM"},
    {61, texel_kind::r8, channel_set::luminance, channel_type::u8, "R8_UNORM"},
    {70, texel_kind::bc1, channel_set::rgba, channel_type::u8, "BC1_TYPELESS"},
    {71, texel_kind::bc1, channel_set::rgba, channel_type::u8, "BC1_UNORM"},
    {72, texel_kind::bc1, channel_set::rgba, channel_type::u8, "BC1_UNORM_SRGB"},
    {73, texel_kind::bc2, channel_set::rgba, channel_type::u8, "BC2_TYPELESS"},
    {74, texel_kind::bc2, channel_set::rgba, channel_type::u8, "BC2_UNORM"},
    {75, texel_kind::bc2, channel_set::rgba, channel_type::u8, "BC2_UNORM_SRGB"},
    {76, texel_kind::bc3, channel_set::rgba, channel_type::u8, "BC3_TYPELESS"},
    {77, texel_kind::bc3, channel_set::rgba, channel_type::u8, "BC3_UNORM"},
    {78, texel_kind::bc3, channel_set::rgba, channel_type::u8, "BC3_UNORM_SRGB"},
    {79, texel_kind::bc4, channel_set::luminance, channel_type::u8, "BC4_TYPELESS"},
    {80, texel_kind::bc4, channel_set::luminance, channel_type::u8, "BC4_UNORM"},
    {82, texel_kind::bc5, channel_set::rgb, channel_type::u8, "BC5_TYPELESS"},
    {83, texel_kind::bc5, channel_set::rgb, channel_type::u8, "BC5_UNORM"},
    {87, texel_kind::bgra8, channel_set::rgba, channel_type::u8, "B8G8R8A8_UNORM"},
    {88, texel_kind::bgrx8, channel_set::rgb, channel_type::u8, "B8G8R8X8_UNORM"},
    {91, texel_kind::bgra8, channel_set::rgba, channel_type::u8, "B8G8R8A8_UNORM_SRGB"},
    {93, texel_kind::bgrx8, channel_set::rgb, channel_type::u8, "B8G8R8X8_UNORM_SRGB"},
    {94, texel_kind::bc6h_unsigned, channel_set::rgb, channel_type::f32, "BC6H_TYPELESS"},
    {95, texel_kind::bc6h_unsigned, channel_set::rgb, channel_type::f32, "BC6H_UF16"},
    {96, texel_kind::bc6h_signed, channel_set::rgb, channel_type::f32, "BC6H_SF16"},
    {97, texel_kind::bc7, channel_set::rgba, channel_type::u8, "BC7_TYPELESS"},
    {98, texel_kind::bc7, channel_set::rgba, channel_type::u8, "BC7_UNORM"},
    {99, texel_kind::bc7, channel_set::rgba, channel_type::u8, "BC7_UNORM_SRGB"},
};

template <std::size_t count>
const named_format* find_format(const named_format (&table)[count], std::uint32_t code) {
    for (const named_format& entry : table) {
        if (entry.code == code) {
            return &entry;
        }
    }
    return nullptr;
}

void take_format(const named_format& entry, texel_format& format, texture& out) {
    format.kind = entry.kind;
    format.channels = entry.channels;
    format.type = entry.type;
    std::snprintf(out.format_name, sizeof out.format_name, "%s", entry.name);
}

// A mask is usable when its bits are contiguous, at most 16 and within the pixel.
bool mask_usable(std::uint32_t mask, std::uint32_t bits) {
    if (mask == 0) {
        return true;
    }
    std::uint32_t shifted = mask >> std::countr_zero(mask);
    return (shifted & (shifted + 1)) == 0 && std::popcount(mask) <= 16 &&
           (bits == 32 || mask < (1u << bits));
}

// Masked layouts: RGB with or without alpha, luminance with or without alpha, alpha alone.
read_result mask_format(const std::uint8_t* data, texel_format& format, texture& out) {
    std::uint32_t flags = field(data, 80), bits = field(data, 88);
    mask_layout& layout = format.layout;
    layout.bits = bits;
    for (int c = 0; c < 4; ++c) {
        layout.masks[c] = field(data, 92 + 4 * c);
    }
    bool alpha = (flags & (pf_alpha_pixels | pf_alpha)) != 0 && layout.masks[3] != 0;
    if (!alpha) {
        layout.masks[3] = 0;
    }
    if (flags & pf_rgb) {
        format.channels = alpha ? channel_set::rgba : channel_set::rgb;
    } else if (flags & pf_luminance) {
        format.channels = alpha ? channel_set::luminance_alpha : channel_set::luminance;
    } else if ((flags & pf_alpha) && alpha) {
        format.channels = channel_set::alpha;
    } else {
        return read_result::not_handled;
    }
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return read_result::not_handled;
    }
    int widest = 0;
    for (std::uint32_t mask : layout.masks) {
        if (!mask_usable(mask, bits)) {
            return read_result::not_handled;
        }
        widest = std::max(widest, std::popcount(mask));
    }
    format.kind = texel_kind::masks;
    format.type = widest > 8 ? channel_type::u16 : channel_type::u8;
    std::snprintf(out.format_name, sizeof out.format_name, "%u-bit masks", bits);
    return read_result::decoded;
}

// The whole chain's length for the larger side, so that a header cannot ask for more levels.
std::uint32_t full_chain(std::uint32_t width, std::uint32_t height, std::uint32_t depth) {
    std::uint32_t largest = std::max({width, height, depth});
    return static_cast<std::uint32_t>(std::bit_width(largest));
}

struct layout_facts {
    std::uint32_t width = 0, height = 0, depth = 1, levels = 1, faces = 1;
    std::uint32_t face_flags[6] = {};
    std::size_t data_offset = header_size;
};

// Sizes, levels and faces from the header; false for a header that does not hold together.
bool read_layout(const std::uint8_t* data, bool dx10, layout_facts& facts) {
    std::uint32_t flags = field(data, 8), caps2 = field(data, 112);
    facts.height = field(data, 12);
    facts.width = field(data, 16);
    bool volume = dx10 ? field(data, 132) == dx10_dimension_3d
                       : (caps2 & caps2_volume) != 0 && (flags & flag_depth) != 0;
    facts.depth = volume ? std::max(1u, field(data, 24)) : 1;
    if (facts.width == 0 || facts.height == 0 || facts.width > most_side ||
        facts.height > most_side || facts.depth > most_side) {
        return false;
    }
    // The count is honoured whenever it is above one: writers often leave its flag out.
    facts.levels =
        std::clamp(field(data, 28), 1u, full_chain(facts.width, facts.height, facts.depth));
    bool cube = dx10 ? (field(data, 136) & dx10_misc_cube) != 0 : (caps2 & caps2_cube) != 0;
    if (cube && volume) {
        return false;
    }
    if (cube) {
        facts.faces = 0;
        for (std::uint32_t flag : cube_face_flags) {
            if (dx10 || (caps2 & flag) != 0) {
                facts.face_flags[facts.faces++] = flag;
            }
        }
        if (facts.faces == 0) {
            return false;
        }
    }
    facts.data_offset = header_size + (dx10 ? dx10_header_size : 0);
    return true;
}

std::uint32_t halved(std::uint32_t side, std::uint32_t level) {
    return std::max(1u, side >> level);
}

// Every surface decoded in file order (face by face, each face's levels largest first); false
// when the file ends before the last one.
bool decode_all(const std::uint8_t* data, std::size_t size, const texel_format& format,
                const layout_facts& facts, texture& out) {
    std::uint64_t at = facts.data_offset;
    out.surfaces.resize(std::size_t{facts.faces} * facts.levels);
    for (std::uint32_t face = 0; face < facts.faces; ++face) {
        for (std::uint32_t level = 0; level < facts.levels; ++level) {
            surface& target = out.surfaces[face * facts.levels + level];
            target.width = halved(facts.width, level);
            target.height = halved(facts.height, level);
            target.depth = halved(facts.depth, level);
            std::uint64_t bytes = stored_bytes(format, target.width, target.height, target.depth);
            if (at > size || bytes > size - at) {
                return false;
            }
            decode_surface(format, data + at, target);
            at += bytes;
        }
    }
    return true;
}

} // namespace

std::uint32_t channel_count(channel_set set) {
    switch (set) {
    case channel_set::luminance:
    case channel_set::alpha:
        return 1;
    case channel_set::luminance_alpha:
        return 2;
    case channel_set::rgb:
        return 3;
    case channel_set::rgba:
        return 4;
    }
    return 0;
}

std::uint32_t channel_bytes(channel_type type) {
    switch (type) {
    case channel_type::u8:
        return 1;
    case channel_type::u16:
        return 2;
    case channel_type::f32:
        return 4;
    }
    return 0;
}

bool starts_as_dds(const void* data, std::size_t size) {
    return data != nullptr && size >= 4 && std::memcmp(data, "DDS ", 4) == 0;
}

read_result read_texture(const std::uint8_t* data, std::size_t size, texture& out) {
    out = texture{};
    if (!starts_as_dds(data, size) || size < header_size || field(data, 4) != 124) {
        return read_result::refused;
    }
    texel_format format;
    bool dx10 = false;
    std::uint32_t pixel_flags = field(data, 80), code = field(data, 84);
    if ((pixel_flags & pf_fourcc) != 0 && code == fourcc("DX10")) {
        dx10 = true;
        const named_format* entry = size >= header_size + dx10_header_size
                                        ? find_format(dxgi_formats, field(data, 128))
                                        : nullptr;
        if (entry == nullptr) {
            return read_result::refused; // the library reads no DX10 file at all
        }
        take_format(*entry, format, out);
    } else if ((pixel_flags & pf_fourcc) != 0) {
        const named_format* entry = find_format(legacy_formats, code);
        if (entry == nullptr) {
            return read_result::not_handled;
        }
        take_format(*entry, format, out);
    } else if (read_result how = mask_format(data, format, out); how != read_result::decoded) {
        return how;
    }
    layout_facts facts;
    if (!read_layout(data, dx10, facts)) {
        return read_result::refused;
    }
    out.channels = format.channels;
    out.type = format.type;
    out.faces = facts.faces;
    out.levels = facts.levels;
    std::copy(std::begin(facts.face_flags), std::end(facts.face_flags), out.face_flags);
    if (!decode_all(data, size, format, facts, out)) {
        out.surfaces.clear();
        return read_result::refused;
    }
    return read_result::decoded;
}

} // namespace dds
