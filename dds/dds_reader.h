// The DDS reader: a whole DDS file in memory to plain pixel buffers and the facts a viewer
// needs (format, channel layout and type, sizes, mipmap chain, cube faces).
//
// Nothing in the file is trusted: every size and count is checked against the file's length
// before it is used, and a file that lies is refused. Pixels come out top row first, channels
// in the order red, green, blue, alpha (or luminance, alpha), each channel 8 or 16 bits
// unsigned or 32-bit float, in native byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dds {

enum class channel_set : std::uint8_t { luminance, luminance_alpha, alpha, rgb, rgba };
enum class channel_type : std::uint8_t { u8, u16, f32 };

std::uint32_t channel_count(channel_set set);
std::uint32_t channel_bytes(channel_type type);

// One decoded image: a mipmap level of one cube face (or of the only face).
struct surface {
    std::uint32_t width = 0, height = 0, depth = 0;
    std::vector<std::uint8_t> pixels;
};

// Cube face flags as DDS files store them (DDSCAPS2_CUBEMAP_POSITIVEX and on).
constexpr std::uint32_t cube_face_flags[6] = {0x400, 0x800, 0x1000, 0x2000, 0x4000, 0x8000};

struct texture {
    channel_set channels = channel_set::rgba;
    channel_type type = channel_type::u8;
    std::uint32_t faces = 1;  // 1, or the cube faces present (up to 6)
    std::uint32_t levels = 1; // mipmap levels per face, the base included
    // The face's flag for each face of a cube map, 0 for a plain texture.
    std::uint32_t face_flags[6] = {};
    // The file's format: its FourCC ("DXT1"), its DXGI format's name ("BC7_UNORM") or the
    // layout of its masks ("R5G6B5").
    char format_name[24] = {};
    // faces x levels surfaces, face by face, each face's levels largest first.
    std::vector<surface> surfaces;

    const surface& at(std::uint32_t face, std::uint32_t level) const {
        return surfaces[face * levels + level];
    }
};

enum class read_result {
    decoded,
    refused,    // not a DDS file, or one whose header or sizes do not hold together
    not_handled // a well-formed legacy file in a layout this reader does not decode
};

// Decodes `size` bytes of a DDS file. A DX10 texture array yields its first element.
read_result read_texture(const std::uint8_t* data, std::size_t size, texture& out);

// True when the bytes begin with the DDS magic word "DDS ".
bool starts_as_dds(const void* data, std::size_t size);

} // namespace dds
