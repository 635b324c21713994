#include "dds/bc7_decode.h"

#include <algorithm>
#include <cstring>

#include "dds/bc_partitions.h"

namespace dds {

namespace {

struct bc7_mode {
    std::uint8_t subsets, partition_bits, rotation_bits, selector_bits;
    std::uint8_t colour_bits, alpha_bits, endpoint_pbits, shared_pbits;
    std::uint8_t index_bits, second_index_bits;
};

constexpr bc7_mode modes[8] = {
    {3, 4, 0, 0, 4, 0, 1, 0, 3, 0}, {2, 6, 0, 0, 6, 0, 0, 1, 3, 0}, {3, 6, 0, 0, 5, 0, 0, 0, 2, 0},
    {2, 6, 0, 0, 7, 0, 1, 0, 2, 0}, {1, 0, 2, 1, 5, 6, 0, 0, 2, 3}, {1, 0, 2, 0, 7, 8, 0, 0, 2, 2},
    {1, 0, 0, 0, 7, 7, 1, 0, 4, 0}, {2, 6, 0, 0, 5, 5, 1, 0, 2, 0},
};

constexpr std::uint8_t weights2[4] = {0, 21, 43, 64};
constexpr std::uint8_t weights3[8] = {0, 9, 18, 27, 37, 46, 55, 64};
constexpr std::uint8_t weights4[16] = {0, 4, 9, 13, 17, 21, 26, 30, 34, 38, 43, 47, 51, 55, 60, 64};

constexpr std::uint32_t most_endpoints = 6;

// Endpoints as stored: [endpoint][channel], endpoint = subset * 2 + end.
struct endpoints {
    std::uint32_t value[most_endpoints][4] = {};
};

// A value of `bits` bits (the P-bit included) widened to 8 by replicating its top bits.
std::uint8_t widen(std::uint32_t value, std::uint32_t bits) {
    value <<= 8 - bits;
    return static_cast<std::uint8_t>(value | value >> bits);
}

void read_endpoints(const bc7_mode& mode, block_bits& bits, endpoints& ends) {
    std::uint32_t count = mode.subsets * 2u;
    for (std::uint32_t channel = 0; channel < 4; ++channel) {
        std::uint32_t width = channel < 3 ? mode.colour_bits : mode.alpha_bits;
        for (std::uint32_t e = 0; e < count && width > 0; ++e) {
            ends.value[e][channel] = bits.take(width);
        }
    }
    std::uint32_t pbits[most_endpoints] = {};
    for (std::uint32_t e = 0; e < count && mode.endpoint_pbits; ++e) {
        pbits[e] = bits.take(1);
    }
    for (std::uint32_t s = 0; s < mode.subsets && mode.shared_pbits; ++s) {
        pbits[2 * s] = pbits[2 * s + 1] = bits.take(1);
    }
    bool with_pbits = mode.endpoint_pbits || mode.shared_pbits;
    for (std::uint32_t e = 0; e < count; ++e) {
        for (std::uint32_t channel = 0; channel < 4; ++channel) {
            std::uint32_t width = channel < 3 ? mode.colour_bits : mode.alpha_bits;
            std::uint32_t& v = ends.value[e][channel];
            if (width == 0) {
                v = 255;
            } else if (with_pbits) {
                v = widen(v << 1 | pbits[e], width + 1);
            } else {
                v = widen(v, width);
            }
        }
    }
}

// Indices for all 16 texels; each subset's anchor has one bit fewer.
void read_indices(block_bits& bits, std::uint32_t width, std::uint32_t subsets, std::uint32_t shape,
                  std::uint8_t indices[16]) {
    for (std::uint32_t texel = 0; texel < 16; ++texel) {
        std::uint32_t subset = partition_subset(subsets, shape, texel);
        bool anchor = anchor_texel(subsets, shape, subset) == texel;
        indices[texel] = static_cast<std::uint8_t>(bits.take(anchor ? width - 1 : width));
    }
}

std::uint8_t interpolate(std::uint32_t first, std::uint32_t second, std::uint32_t weight) {
    return static_cast<std::uint8_t>(((64 - weight) * first + weight * second + 32) >> 6);
}

} // namespace

block_bits::block_bits(const std::uint8_t block[16]) {
    std::memcpy(&low, block, 8);
    std::memcpy(&high, block + 8, 8);
}

std::uint32_t block_bits::take(std::uint32_t count) {
    std::uint64_t value = 0;
    for (std::uint32_t i = 0; i < count; ++i, ++at) {
        std::uint64_t bit = at < 64 ? (low >> at) & 1 : (high >> (at - 64)) & 1;
        value |= bit << i;
    }
    return static_cast<std::uint32_t>(value);
}

const std::uint8_t* interpolation_weights(std::uint32_t index_bits) {
    return index_bits == 2 ? weights2 : index_bits == 3 ? weights3 : weights4;
}

void decode_bc7_block(const std::uint8_t block[16], std::uint8_t rgba[64]) {
    if (block[0] == 0) {
        std::memset(rgba, 0, 64);
        return;
    }
    block_bits bits(block);
    std::uint32_t number = 0;
    while (bits.take(1) == 0) {
        ++number;
    }
    const bc7_mode& mode = modes[number];
    std::uint32_t shape = bits.take(mode.partition_bits);
    std::uint32_t rotation = bits.take(mode.rotation_bits);
    std::uint32_t selector = bits.take(mode.selector_bits);
    endpoints ends;
    read_endpoints(mode, bits, ends);
    std::uint8_t first[16] = {}, second[16] = {};
    read_indices(bits, mode.index_bits, mode.subsets, shape, first);
    if (mode.second_index_bits > 0) {
        read_indices(bits, mode.second_index_bits, 1, 0, second);
    }
    // The selector swaps which index set serves colour and which alpha.
    bool swap = selector == 1;
    const std::uint8_t* colour_weights =
        interpolation_weights(swap ? mode.second_index_bits : mode.index_bits);
    const std::uint8_t* alpha_weights = interpolation_weights(
        mode.second_index_bits > 0 && !swap ? mode.second_index_bits : mode.index_bits);
    const std::uint8_t* colour_index = swap ? second : first;
    const std::uint8_t* alpha_index = mode.second_index_bits > 0 && !swap ? second : first;
    for (std::uint32_t texel = 0; texel < 16; ++texel) {
        std::uint32_t subset = partition_subset(mode.subsets, shape, texel);
        const std::uint32_t* e0 = ends.value[2 * subset];
        const std::uint32_t* e1 = ends.value[2 * subset + 1];
        std::uint8_t* out = rgba + texel * 4;
        for (std::uint32_t c = 0; c < 3; ++c) {
            out[c] = interpolate(e0[c], e1[c], colour_weights[colour_index[texel]]);
        }
        out[3] = interpolate(e0[3], e1[3], alpha_weights[alpha_index[texel]]);
        if (rotation > 0) {
            std::swap(out[3], out[rotation - 1]);
        }
    }
}

} // namespace dds
