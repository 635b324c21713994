// DDS files built field by field for the reader's tests: legacy headers with a FourCC or bit
// masks, and DX10 headers with a DXGI format.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace dds_files {

constexpr std::uint32_t alpha_pixels = 0x1, alpha_only = 0x2, has_fourcc = 0x4, rgb = 0x40,
                        luminance = 0x20000;
constexpr std::uint32_t all_cube_faces = 0xFE00;

struct pixel_format {
    std::uint32_t flags = 0, fourcc = 0, bits = 0, masks[4] = {};
};

inline pixel_format fourcc(const char (&code)[5]) {
    pixel_format format;
    format.flags = has_fourcc;
    std::memcpy(&format.fourcc, code, 4);
    return format;
}

inline pixel_format masks(std::uint32_t flags, std::uint32_t bits, std::uint32_t r, std::uint32_t g,
                          std::uint32_t b, std::uint32_t a) {
    return pixel_format{flags, 0, bits, {r, g, b, a}};
}

inline void put32(std::string& out, std::size_t at, std::uint32_t value) {
    std::memcpy(out.data() + at, &value, 4);
}

// Magic, header and `data`; `extra` goes between the header and the data (a DX10 header).
inline std::string legacy(std::uint32_t width, std::uint32_t height, const pixel_format& format,
                          const std::string& data, std::uint32_t mips = 1, std::uint32_t caps2 = 0,
                          const std::string& extra = "") {
    std::string out(128, '\0');
    std::memcpy(out.data(), "DDS ", 4);
    put32(out, 4, 124);
    put32(out, 8, 0x1007 | (mips > 1 ? 0x20000 : 0));
    put32(out, 12, height);
    put32(out, 16, width);
    put32(out, 28, mips);
    put32(out, 76, 32);
    put32(out, 80, format.flags);
    put32(out, 84, format.fourcc);
    put32(out, 88, format.bits);
    for (int c = 0; c < 4; ++c) {
        put32(out, 92 + 4 * c, format.masks[c]);
    }
    put32(out, 108, 0x1000 | (mips > 1 ? 0x400008 : 0) | (caps2 != 0 ? 8 : 0));
    put32(out, 112, caps2);
    return out + extra + data;
}

inline std::string dx10(std::uint32_t width, std::uint32_t height, std::uint32_t dxgi,
                        const std::string& data, std::uint32_t mips = 1, std::uint32_t misc = 0,
                        std::uint32_t array_size = 1) {
    std::string extra(20, '\0');
    put32(extra, 0, dxgi);
    put32(extra, 4, 3); // a two-dimensional texture
    put32(extra, 8, misc);
    put32(extra, 12, array_size);
    return legacy(width, height, fourcc("DX10"), data, mips, 0, extra);
}

// `count` copies of a 16-bit or 32-bit value, little-endian.
inline std::string repeated16(std::uint16_t value, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out.append(reinterpret_cast<const char*>(&value), 2);
    }
    return out;
}

inline std::string block(std::initializer_list<int> bytes) {
    std::string out;
    for (int b : bytes) {
        out.push_back(static_cast<char>(b));
    }
    return out;
}

} // namespace dds_files
