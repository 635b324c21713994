#include "dds/header.h"

#include <cstring>

#include "dds/packing.h"

namespace dds {

namespace {

constexpr std::uint32_t flag_caps = 0x1;
constexpr std::uint32_t flag_height = 0x2;
constexpr std::uint32_t flag_width = 0x4;
constexpr std::uint32_t flag_pitch = 0x8;
constexpr std::uint32_t flag_pixel_format = 0x1000;
constexpr std::uint32_t flag_mipmap_count = 0x20000;
constexpr std::uint32_t flag_linear_size = 0x80000;

constexpr std::uint32_t caps_complex = 0x8;
constexpr std::uint32_t caps_texture = 0x1000;
constexpr std::uint32_t caps_mipmap = 0x400000;

// Offsets from the start of the file (the magic word takes the first four bytes).
constexpr int at_size = 4;
constexpr int at_flags = 8;
constexpr int at_height = 12;
constexpr int at_width = 16;
constexpr int at_pitch_or_linear_size = 20;
constexpr int at_mipmap_count = 28;
constexpr int at_pixel_format = 76;
constexpr int at_caps = 108;

void put_pixel_format(const format_info& format, std::uint8_t* out) {
    store_le32(out, 32);
    store_le32(out + 4, format.pixel_flags);
    store_le32(out + 8, format.fourcc);
    store_le32(out + 12, static_cast<std::uint32_t>(format.bit_count));
    store_le32(out + 16, format.red_mask);
    store_le32(out + 20, format.green_mask);
    store_le32(out + 24, format.blue_mask);
    store_le32(out + 28, format.alpha_mask);
}

} // namespace

void build_header(const format_info& format, int width, int height, bool mipmapped, int levels,
                  std::uint8_t out[header_bytes]) {
    std::memset(out, 0, header_bytes);
    std::memcpy(out, "DDS ", 4);
    // Block formats state the top surface's byte count (linear size); pixel formats state the
    // bytes of one row (pitch), as the format's readers expect.
    std::uint32_t flags = flag_caps | flag_height | flag_width | flag_pixel_format;
    flags |= format.block ? flag_linear_size : flag_pitch;
    std::uint64_t size =
        format.block ? surface_bytes(format, width, height) : row_bytes(format, width);
    std::uint32_t caps = caps_texture;
    if (mipmapped) {
        flags |= flag_mipmap_count;
        caps |= caps_complex | caps_mipmap;
        store_le32(out + at_mipmap_count, static_cast<std::uint32_t>(levels));
    }
    store_le32(out + at_size, 124);
    store_le32(out + at_flags, flags);
    store_le32(out + at_height, static_cast<std::uint32_t>(height));
    store_le32(out + at_width, static_cast<std::uint32_t>(width));
    store_le32(out + at_pitch_or_linear_size, static_cast<std::uint32_t>(size));
    put_pixel_format(format, out + at_pixel_format);
    store_le32(out + at_caps, caps);
}

} // namespace dds
