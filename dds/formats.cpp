#include "dds/formats.h"

#include "dds/dds.h"

namespace dds {

namespace {

constexpr std::uint32_t fourcc(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b) << 8 |
           static_cast<std::uint32_t>(c) << 16 | static_cast<std::uint32_t>(d) << 24;
}

constexpr std::uint32_t pf_alpha = 0x1;
constexpr std::uint32_t pf_fourcc = 0x4;
constexpr std::uint32_t pf_rgb = 0x40;

// One row per code; looked up by its code, so the order here carries no meaning.
constexpr format_info formats[] = {
    {dds_format_dxt1, true, 8, fourcc('D', 'X', 'T', '1'), pf_fourcc, 0, 0, 0, 0, 0},
    {dds_format_dxt1a, true, 8, fourcc('D', 'X', 'T', '1'), pf_fourcc, 0, 0, 0, 0, 0},
    {dds_format_dxt3, true, 16, fourcc('D', 'X', 'T', '3'), pf_fourcc, 0, 0, 0, 0, 0},
    {dds_format_dxt5, true, 16, fourcc('D', 'X', 'T', '5'), pf_fourcc, 0, 0, 0, 0, 0},
    {dds_format_4444, false, 2, 0, pf_rgb | pf_alpha, 16, 0x0f00, 0x00f0, 0x000f, 0xf000},
    {dds_format_1555, false, 2, 0, pf_rgb | pf_alpha, 16, 0x7c00, 0x03e0, 0x001f, 0x8000},
    {dds_format_565, false, 2, 0, pf_rgb, 16, 0xf800, 0x07e0, 0x001f, 0},
    {dds_format_8888, false, 4, 0, pf_rgb | pf_alpha, 32, 0xff0000, 0xff00, 0xff, 0xff000000},
    {dds_format_888, false, 3, 0, pf_rgb, 24, 0xff0000, 0xff00, 0xff, 0},
    {dds_format_555, false, 2, 0, pf_rgb, 16, 0x7c00, 0x03e0, 0x001f, 0},
};

} // namespace

const format_info* find_format(std::uint16_t code) {
    for (const format_info& format : formats) {
        if (format.code == code) {
            return &format;
        }
    }
    return nullptr;
}

std::uint64_t row_bytes(const format_info& format, int width) {
    std::uint64_t units = format.block ? (static_cast<std::uint64_t>(width) + 3) / 4
                                       : static_cast<std::uint64_t>(width);
    return units * static_cast<std::uint64_t>(format.bytes);
}

std::uint64_t surface_bytes(const format_info& format, int width, int height) {
    std::uint64_t rows = format.block ? (static_cast<std::uint64_t>(height) + 3) / 4
                                      : static_cast<std::uint64_t>(height);
    return rows * row_bytes(format, width);
}

int full_chain_levels(int width, int height) {
    int side = width > height ? width : height;
    int levels = 1;
    while (side > 1) {
        side >>= 1;
        ++levels;
    }
    return levels;
}

} // namespace dds
