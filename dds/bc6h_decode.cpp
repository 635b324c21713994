#include "dds/bc6h_decode.h"

#include <cstring>

#include "dds/bc7_decode.h"
#include "dds/bc_partitions.h"
#include "dds/texel_decode.h"

namespace dds {

namespace {

struct bc6h_mode {
    std::uint8_t number;
    bool transformed;
    std::uint8_t partition_bits;
    std::uint8_t endpoint_bits;
    std::uint8_t delta_bits[3];
    // The fields after the mode bits, lowest bit first: v[a:b] puts the next bits into v's
    // bits b, then towards a.
    const char* layout;
};

constexpr bc6h_mode modes[] = {
    {0,
     true,
     5,
     10,
     {5, 5, 5},
     "g2[4],b2[4],b3[4],r0[9:0],g0[9:0],b0[9:0],r1[4:0],g3[4],g2[3:0],g1[4:0],b3[0],g3[3:0],"
     "b1[4:0],b3[1],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {1,
     true,
     5,
     7,
     {6, 6, 6},
     "g2[5],g3[4],g3[5],r0[6:0],b3[0],b3[1],b2[4],g0[6:0],b2[5],b3[2],g2[4],b0[6:0],b3[3],"
     "b3[5],b3[4],r1[5:0],g2[3:0],g1[5:0],g3[3:0],b1[5:0],b2[3:0],r2[5:0],r3[5:0]"},
    {2,
     true,
     5,
     11,
     {5, 4, 4},
     "r0[9:0],g0[9:0],b0[9:0],r1[4:0],r0[10],g2[3:0],g1[3:0],g0[10],b3[0],g3[3:0],b1[3:0],"
     "b0[10],b3[1],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {6,
     true,
     5,
     11,
     {4, 5, 4},
     "r0[9:0],g0[9:0],b0[9:0],r1[3:0],r0[10],g3[4],g2[3:0],g1[4:0],g0[10],g3[3:0],b1[3:0],"
     "b0[10],b3[1],b2[3:0],r2[3:0],b3[0],b3[2],r3[3:0],g2[4],b3[3]"},
    {10,
     true,
     5,
     11,
     {4, 4, 5},
     "r0[9:0],g0[9:0],b0[9:0],r1[3:0],r0[10],b2[4],g2[3:0],g1[3:0],g0[10],b3[0],g3[3:0],"
     "b1[4:0],b0[10],b2[3:0],r2[3:0],b3[1],b3[2],r3[3:0],b3[4],b3[3]"},
    {14,
     true,
     5,
     9,
     {5, 5, 5},
     "r0[8:0],b2[4],g0[8:0],g2[4],b0[8:0],b3[4],r1[4:0],g3[4],g2[3:0],g1[4:0],b3[0],g3[3:0],"
     "b1[4:0],b3[1],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {18,
     true,
     5,
     8,
     {6, 5, 5},
     "r0[7:0],g3[4],b2[4],g0[7:0],b3[2],g2[4],b0[7:0],b3[3],b3[4],r1[5:0],g2[3:0],g1[4:0],"
     "b3[0],g3[3:0],b1[4:0],b3[1],b2[3:0],r2[5:0],r3[5:0]"},
    {22,
     true,
     5,
     8,
     {5, 6, 5},
     "r0[7:0],b3[0],b2[4],g0[7:0],g2[5],g2[4],b0[7:0],g3[5],b3[4],r1[4:0],g3[4],g2[3:0],"
     "g1[5:0],g3[3:0],b1[4:0],b3[1],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {26,
     true,
     5,
     8,
     {5, 5, 6},
     "r0[7:0],b3[1],b2[4],g0[7:0],b2[5],g2[4],b0[7:0],b3[5],b3[4],r1[4:0],g3[4],g2[3:0],"
     "g1[4:0],b3[0],g3[3:0],b1[5:0],b2[3:0],r2[4:0],b3[2],r3[4:0],b3[3]"},
    {30,
     false,
     5,
     6,
     {6, 6, 6},
     "r0[5:0],g3[4],b3[0],b3[1],b2[4],g0[5:0],g2[5],b2[5],b3[2],g2[4],b0[5:0],g3[5],b3[3],"
     "b3[5],b3[4],r1[5:0],g2[3:0],g1[5:0],g3[3:0],b1[5:0],b2[3:0],r2[5:0],r3[5:0]"},
    {3, false, 0, 10, {10, 10, 10}, "r0[9:0],g0[9:0],b0[9:0],r1[9:0],g1[9:0],b1[9:0]"},
    {7,
     true,
     0,
     11,
     {9, 9, 9},
     "r0[9:0],g0[9:0],b0[9:0],r1[8:0],r0[10],g1[8:0],g0[10],b1[8:0],b0[10]"},
    {11,
     true,
     0,
     12,
     {8, 8, 8},
     "r0[9:0],g0[9:0],b0[9:0],r1[7:0],r0[10:11],g1[7:0],g0[10:11],b1[7:0],b0[10:11]"},
    {15,
     true,
     0,
     16,
     {4, 4, 4},
     "r0[9:0],g0[9:0],b0[9:0],r1[3:0],r0[10:15],g1[3:0],g0[10:15],b1[3:0],b0[10:15]"},
};

// Endpoints as stored: [endpoint][channel], endpoint 0 to 3 (two per subset).
using endpoint_set = std::int32_t[4][3];

int channel_of(char letter) {
    return letter == 'r' ? 0 : letter == 'g' ? 1 : 2;
}

int read_number(const char*& at) {
    int value = 0;
    while (*at >= '0' && *at <= '9') {
        value = value * 10 + (*at++ - '0');
    }
    return value;
}

// Follows the layout text, moving block bits into the endpoints.
void read_layout(const char* layout, block_bits& bits, endpoint_set& ends) {
    const char* at = layout;
    while (*at != '\0') {
        int channel = channel_of(*at++);
        int endpoint = *at++ - '0';
        ++at; // '['
        int from = read_number(at), to = from;
        if (*at == ':') {
            ++at;
            to = read_number(at);
        }
        ++at; // ']'
        int step = from >= to ? 1 : -1;
        for (int bit = to;; bit += step) {
            ends[endpoint][channel] |= static_cast<std::int32_t>(bits.take(1) << bit);
            if (bit == from) {
                break;
            }
        }
        if (*at == ',') {
            ++at;
        }
    }
}

std::int32_t sign_extend(std::int32_t value, int bits) {
    std::int32_t sign = std::int32_t{1} << (bits - 1);
    value &= (sign << 1) - 1;
    return (value ^ sign) - sign;
}

std::int32_t unquantize(std::int32_t x, int bits, bool is_signed) {
    if (!is_signed) {
        if (bits >= 15 || x == 0) {
            return x;
        }
        return x == (1 << bits) - 1 ? 0xFFFF : ((x << 15) + 0x4000) >> (bits - 1);
    }
    if (bits >= 16) {
        return x;
    }
    bool negative = x < 0;
    std::int32_t magnitude = negative ? -x : x;
    std::int32_t unq = 0;
    if (magnitude == 0) {
        unq = 0;
    } else if (magnitude >= (1 << (bits - 1)) - 1) {
        unq = 0x7FFF;
    } else {
        unq = ((magnitude << 15) + 0x4000) >> (bits - 1);
    }
    return negative ? -unq : unq;
}

// Sign extension, the transform from endpoint 0 and unquantization, for every endpoint.
void finish_endpoints(const bc6h_mode& mode, bool is_signed, std::uint32_t count,
                      endpoint_set& ends) {
    int bits = mode.endpoint_bits;
    for (std::uint32_t e = 0; e < count; ++e) {
        for (int c = 0; c < 3; ++c) {
            std::int32_t& v = ends[e][c];
            if (e == 0) {
                v = is_signed ? sign_extend(v, bits) : v;
                continue;
            }
            int width = mode.transformed ? mode.delta_bits[c] : bits;
            if (is_signed || mode.transformed) {
                v = sign_extend(v, width);
            }
            if (mode.transformed) {
                v = (ends[0][c] + v) & ((1 << bits) - 1);
                v = is_signed ? sign_extend(v, bits) : v;
            }
        }
    }
    for (std::uint32_t e = 0; e < count; ++e) {
        for (int c = 0; c < 3; ++c) {
            ends[e][c] = unquantize(ends[e][c], bits, is_signed);
        }
    }
}

// The interpolated value as the half float's bits, then as a float.
float to_float(std::int32_t value, bool is_signed) {
    if (!is_signed) {
        return half_to_float(static_cast<std::uint16_t>((value * 31) >> 6));
    }
    std::int32_t magnitude = value < 0 ? -value : value;
    auto bits = static_cast<std::uint16_t>((magnitude * 31) >> 5);
    return half_to_float(static_cast<std::uint16_t>(bits | (value < 0 ? 0x8000 : 0)));
}

const bc6h_mode* find_mode(block_bits& bits) {
    std::uint32_t number = bits.take(2);
    if (number >= 2) {
        number |= bits.take(3) << 2;
    }
    for (const bc6h_mode& mode : modes) {
        if (mode.number == number) {
            return &mode;
        }
    }
    return nullptr;
}

} // namespace

void decode_bc6h_block(const std::uint8_t block[16], bool is_signed, float rgb[48]) {
    block_bits bits(block);
    const bc6h_mode* mode = find_mode(bits);
    if (mode == nullptr) {
        std::memset(rgb, 0, 48 * sizeof(float));
        return;
    }
    endpoint_set ends = {};
    read_layout(mode->layout, bits, ends);
    std::uint32_t subsets = mode->partition_bits > 0 ? 2 : 1;
    std::uint32_t shape = bits.take(mode->partition_bits);
    finish_endpoints(*mode, is_signed, subsets * 2, ends);
    std::uint32_t index_bits = subsets == 2 ? 3 : 4;
    const std::uint8_t* weights = interpolation_weights(index_bits);
    for (std::uint32_t texel = 0; texel < 16; ++texel) {
        std::uint32_t subset = partition_subset(subsets, shape, texel);
        bool anchor = anchor_texel(subsets, shape, subset) == texel;
        std::int32_t w = weights[bits.take(anchor ? index_bits - 1 : index_bits)];
        for (int c = 0; c < 3; ++c) {
            std::int32_t a = ends[2 * subset][c], b = ends[2 * subset + 1][c];
            rgb[texel * 3 + c] = to_float((a * (64 - w) + b * w + 32) >> 6, is_signed);
        }
    }
}

} // namespace dds
