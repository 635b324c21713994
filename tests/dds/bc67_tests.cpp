// BC7 and BC6H blocks built bit by bit from the block format's field order, with the texels
// they must give worked out by hand from the format's definition (the sums are in comments).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

#include "dds/bc6h_decode.h"
#include "dds/bc7_decode.h"

namespace {

// Fields written lowest bit first, in the order given.
class block_writer {
  public:
    block_writer& put(std::uint32_t value, int bits) {
        for (int i = 0; i < bits; ++i, ++at) {
            bytes[at / 8] =
                static_cast<std::uint8_t>(bytes[at / 8] | ((value >> i) & 1) << (at % 8));
        }
        return *this;
    }
    // Indices of 16 texels, `bits` each; the anchors named get one bit fewer.
    block_writer& indices(const std::vector<int>& values, int bits, std::vector<int> anchors) {
        for (int texel = 0; texel < 16; ++texel) {
            bool anchor = std::find(anchors.begin(), anchors.end(), texel) != anchors.end();
            put(static_cast<std::uint32_t>(values[static_cast<std::size_t>(texel)]),
                anchor ? bits - 1 : bits);
        }
        return *this;
    }
    int written() const { return at; }
    std::uint8_t bytes[16] = {};

  private:
    int at = 0;
};

// 16 indices: all 0 except those given.
std::vector<int> indices_with(std::initializer_list<std::pair<int, int>> set) {
    std::vector<int> values(16, 0);
    for (auto [texel, value] : set) {
        values[static_cast<std::size_t>(texel)] = value;
    }
    return values;
}

struct rgba {
    int r, g, b, a;
};

void expect_texel(const std::uint8_t* texels, int texel, rgba expected) {
    const std::uint8_t* p = texels + texel * 4;
    EXPECT_EQ((std::vector<int>{p[0], p[1], p[2], p[3]}),
              (std::vector<int>{expected.r, expected.g, expected.b, expected.a}))
        << "texel " << texel;
}

TEST(Bc7Blocks, OneSubsetWithEndpointPBitsAndFourBitIndices) {
    block_writer w; // mode 6
    w.put(1 << 6, 7).put(100, 7).put(0, 7).put(50, 7).put(127, 7).put(0, 7).put(20, 7);
    w.put(127, 7).put(64, 7).put(1, 1).put(0, 1);
    w.indices(indices_with({{1, 15}, {2, 8}}), 4, {0});
    ASSERT_EQ(w.written(), 128);
    std::uint8_t out[64];
    dds::decode_bc7_block(w.bytes, out);
    // e0 = (100, 50, 0, 127) with P-bit 1: 201, 101, 1, 255; e1 with P-bit 0: 0, 254, 40, 128.
    expect_texel(out, 0, {201, 101, 1, 255});
    expect_texel(out, 1, {0, 254, 40, 128});
    // Weight 34: (30 x 201 + 32) >> 6 = 94, (30 x 101 + 34 x 254 + 32) >> 6 = 182, ...
    expect_texel(out, 2, {94, 182, 22, 188});
}

TEST(Bc7Blocks, TwoSubsetsWithSharedPBitsFollowThePartition) {
    block_writer w; // mode 1, partition 13: the top two rows subset 0, the rest subset 1
    w.put(2, 2).put(13, 6);
    w.put(63, 6).put(0, 6).put(0, 6).put(0, 6); // red of s0e0, s0e1, s1e0, s1e1
    w.put(0, 6).put(0, 6).put(63, 6).put(0, 6); // green
    w.put(0, 6).put(0, 6).put(0, 6).put(63, 6); // blue
    w.put(1, 1).put(0, 1);                      // shared P-bits of subsets 0 and 1
    w.indices(indices_with({{1, 7}, {15, 3}}), 3, {0, 15});
    ASSERT_EQ(w.written(), 128);
    std::uint8_t out[64];
    dds::decode_bc7_block(w.bytes, out);
    // Subset 0 with P-bit 1: 63 -> 127 -> 255, 0 -> 1 -> 2. Subset 1 with P-bit 0: 63 -> 253.
    expect_texel(out, 0, {255, 2, 2, 255});
    expect_texel(out, 1, {2, 2, 2, 255});
    expect_texel(out, 7, {255, 2, 2, 255});
    expect_texel(out, 8, {0, 253, 0, 255});
    // The anchor texel 15, weight 27: (37 x 253 + 32) >> 6 = 146, (27 x 253 + 32) >> 6 = 107.
    expect_texel(out, 15, {0, 146, 107, 255});
}

TEST(Bc7Blocks, ThreeSubsetsWithTheirAnchors) {
    block_writer w; // mode 2, partition 8: rows 0-1 subset 0, row 2 subset 1, row 3 subset 2
    w.put(4, 3).put(8, 6);
    w.put(31, 5).put(0, 5).put(0, 5).put(0, 5).put(0, 5).put(0, 5);  // red
    w.put(0, 5).put(0, 5).put(31, 5).put(0, 5).put(0, 5).put(0, 5);  // green
    w.put(0, 5).put(0, 5).put(0, 5).put(0, 5).put(31, 5).put(16, 5); // blue
    w.indices(indices_with({{1, 3}, {8, 1}, {12, 2}, {15, 1}}), 2, {0, 8, 15});
    ASSERT_EQ(w.written(), 128);
    std::uint8_t out[64];
    dds::decode_bc7_block(w.bytes, out);
    expect_texel(out, 0, {255, 0, 0, 255});
    expect_texel(out, 1, {0, 0, 0, 255});
    expect_texel(out, 8, {0, 171, 0, 255});  // (43 x 255 + 32) >> 6
    expect_texel(out, 12, {0, 0, 172, 255}); // 16 -> 132; (21 x 255 + 43 x 132 + 32) >> 6
    expect_texel(out, 15, {0, 0, 215, 255}); // (43 x 255 + 21 x 132 + 32) >> 6
}

TEST(Bc7Blocks, RotationAndIndexSelectionSwapChannelsAndIndexSets) {
    block_writer w; // mode 4, rotation 1 (alpha and red swap), colour on the 3-bit indices
    w.put(1 << 4, 5).put(1, 2).put(1, 1);
    w.put(31, 5).put(0, 5).put(0, 5).put(31, 5).put(0, 5).put(0, 5).put(63, 6).put(0, 6);
    w.indices(indices_with({{1, 3}, {2, 1}}), 2, {0});
    w.indices(indices_with({{1, 7}, {2, 4}}), 3, {0});
    ASSERT_EQ(w.written(), 128);
    std::uint8_t out[64];
    dds::decode_bc7_block(w.bytes, out);
    expect_texel(out, 1, {0, 255, 0, 0});
    // Colour weight 37: red (27 x 255 + 32) >> 6 = 108, green 147; alpha weight 21: 171.
    expect_texel(out, 2, {171, 147, 0, 108});
}

TEST(Bc7Blocks, TheReservedModeIsTransparentBlack) {
    std::uint8_t block[16] = {};
    block[5] = 0xFF;
    std::uint8_t out[64];
    std::memset(out, 7, sizeof out);
    dds::decode_bc7_block(block, out);
    for (std::uint8_t value : out) {
        EXPECT_EQ(value, 0);
    }
}

// ---- BC6H ----

float half(std::uint32_t bits) {
    float magnitude = (bits & 0x7C00) == 0 ? std::ldexp(static_cast<float>(bits & 0x3FF), -24)
                                           : std::ldexp(1.0f + (bits & 0x3FF) / 1024.0f,
                                                        static_cast<int>((bits >> 10) & 31) - 15);
    return (bits & 0x8000) != 0 ? -magnitude : magnitude;
}

// Unsigned unquantization of a 10-bit endpoint, then the final scale by 31/64.
std::int32_t unquantized10(std::int32_t x) {
    return x == 0 ? 0 : x == 1023 ? 0xFFFF : ((x << 15) + 0x4000) >> 9;
}
float unsigned_texel(std::int32_t a, std::int32_t b, int weight) {
    return half(static_cast<std::uint32_t>(((a * (64 - weight) + b * weight + 32) >> 6) * 31 >> 6));
}

TEST(Bc6hBlocks, DirectEndpointsUnsignedAndSigned) {
    block_writer w; // mode 3: ten bits per endpoint channel, one subset, 4-bit indices
    w.put(3, 5).put(1023, 10).put(0, 10).put(512, 10).put(0, 10).put(0, 10).put(0, 10);
    w.indices(indices_with({{1, 15}, {2, 8}}), 4, {0});
    ASSERT_EQ(w.written(), 128);
    float out[48];
    dds::decode_bc6h_block(w.bytes, false, out);
    EXPECT_EQ(out[0], 65504.0f);      // 0xFFFF x 31 / 64 = 0x7BFF
    EXPECT_EQ(out[2], 1.5146484375f); // 512 -> 32800 -> 0x3E0F
    EXPECT_EQ(out[3], 0.0f);
    EXPECT_EQ(out[6], 0.765625f); // (30 x 65535 + 32) >> 6 = 30720 -> 0x3A20
    dds::decode_bc6h_block(w.bytes, true, out);
    // Signed: red 0x3FF is -1, unquantized to -96, scaled to -(96 x 31 / 32) = -93.
    EXPECT_EQ(out[0], -half(93));
}

TEST(Bc6hBlocks, TransformedEndpointsAreDeltasFromTheFirst) {
    block_writer w; // mode 0: two subsets, 10-bit base, 5-bit signed deltas
    w.put(0, 2).put(0, 1).put(0, 1).put(0, 1);           // m, g2[4], b2[4], b3[4]
    w.put(100, 10).put(200, 10).put(300, 10);            // r0, g0, b0
    w.put(31, 5).put(0, 1).put(0, 4).put(5, 5);          // r1 = -1, g3[4], g2[3:0], g1 = 5
    w.put(0, 1).put(0, 4).put(0, 5).put(0, 1);           // b3[0], g3[3:0], b1, b3[1]
    w.put(0, 4).put(2, 5).put(0, 1).put(0, 5).put(0, 1); // b2[3:0], r2 = 2, b3[2], r3, b3[3]
    w.put(13, 5);                                        // partition 13
    w.indices(indices_with({{1, 7}, {15, 3}}), 3, {0, 15});
    ASSERT_EQ(w.written(), 128);
    float out[48];
    dds::decode_bc6h_block(w.bytes, false, out);
    auto channel = [](std::int32_t x) { return unquantized10(x); };
    // Texel 0: e0 = (100, 200, 300); texel 1: e1 = (99, 205, 300); texel 8: e2 = (102, 200, 300).
    EXPECT_EQ(out[0], unsigned_texel(channel(100), channel(100), 0));
    EXPECT_EQ(out[3], unsigned_texel(channel(100), channel(99), 64));
    EXPECT_EQ(out[4], unsigned_texel(channel(200), channel(205), 64));
    EXPECT_EQ(out[24], unsigned_texel(channel(102), channel(100), 0));
    // Texel 15 (the second subset's anchor), weight 27 between e2 and e3 = (100, 200, 300).
    EXPECT_EQ(out[45], unsigned_texel(channel(102), channel(100), 27));
    EXPECT_EQ(out[47], unsigned_texel(channel(300), channel(300), 27));
}

TEST(Bc6hBlocks, ReservedModesAreBlack) {
    std::uint8_t block[16] = {19, 0xFF, 0xFF};
    float out[48];
    dds::decode_bc6h_block(block, false, out);
    for (float value : out) {
        EXPECT_EQ(value, 0.0f);
    }
}

} // namespace
