#include "dds/layouts.h"

#include <cstring>

#include "dds/dds.h"
#include "dds/packing.h"

namespace dds {

namespace {

std::uint32_t pack4444(const std::uint8_t* p) {
    return quantize4(p[3]) << 12 | quantize4(p[2]) << 8 | quantize4(p[1]) << 4 | quantize4(p[0]);
}

std::uint32_t pack1555(const std::uint8_t* p) {
    std::uint32_t alpha = p[3] >= 128 ? 0x8000u : 0u;
    return alpha | quantize5(p[2]) << 10 | quantize5(p[1]) << 5 | quantize5(p[0]);
}

std::uint32_t pack565(const std::uint8_t* p) {
    return quantize5(p[2]) << 11 | quantize6(p[1]) << 5 | quantize5(p[0]);
}

// The spare top bit stays clear, as for X1R5G5B5.
std::uint32_t pack555(const std::uint8_t* p) {
    return quantize5(p[2]) << 10 | quantize5(p[1]) << 5 | quantize5(p[0]);
}

template <std::uint32_t (*Pack)(const std::uint8_t*)>
void pack_row16(const std::uint8_t* bgra, int width, std::uint8_t* out) {
    for (int x = 0; x < width; ++x, bgra += 4, out += 2) {
        store_le16(out, Pack(bgra));
    }
}

void copy_row888(const std::uint8_t* bgra, int width, std::uint8_t* out) {
    for (int x = 0; x < width; ++x, bgra += 4, out += 3) {
        out[0] = bgra[0];
        out[1] = bgra[1];
        out[2] = bgra[2];
    }
}

} // namespace

void convert_row(std::uint16_t format_code, const std::uint8_t* bgra, int width,
                 std::uint8_t* out) {
    switch (format_code) {
    case dds_format_4444:
        pack_row16<pack4444>(bgra, width, out);
        break;
    case dds_format_1555:
        pack_row16<pack1555>(bgra, width, out);
        break;
    case dds_format_565:
        pack_row16<pack565>(bgra, width, out);
        break;
    case dds_format_555:
        pack_row16<pack555>(bgra, width, out);
        break;
    case dds_format_888:
        copy_row888(bgra, width, out);
        break;
    default: // 8888 is BGRA in memory already
        std::memcpy(out, bgra, static_cast<std::size_t>(width) * 4);
        break;
    }
}

} // namespace dds
