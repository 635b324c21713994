// Every format written by the compressor and read back by DevIL, compared with the source.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "dds_test_support.h"

namespace {

using dds_test::image;

// Bits kept per channel: blue, green, red, alpha (0: none kept, read back as 255).
struct layout_case {
    std::uint16_t format;
    int bits[4];
};

const layout_case layouts[] = {
    {dds_format_8888, {8, 8, 8, 8}}, {dds_format_888, {8, 8, 8, 0}},
    {dds_format_565, {5, 6, 5, 0}},  {dds_format_555, {5, 5, 5, 0}},
    {dds_format_1555, {5, 5, 5, 1}}, {dds_format_4444, {4, 4, 4, 4}},
};

// The value a reader shows for an n-bit code when it repeats the top bits into the low ones.
int widened(int code, int bits) {
    return bits == 1 ? code * 255 : (code << (8 - bits)) | (code >> (2 * bits - 8));
}

// The n-bit code whose widened value lies nearest `value`, found by trying them all.
int nearest_code(int value, int bits) {
    int best = 0;
    for (int code = 1; code < (1 << bits); ++code) {
        if (std::abs(widened(code, bits) - value) < std::abs(widened(best, bits) - value)) {
            best = code;
        }
    }
    return best;
}

// DevIL widens 16-bit layouts by shifting alone (Debian's 1.7/1.8 readers), other readers by
// repeating bits; either is accepted, but the stored code must be the nearest one.
void expect_channel(int decoded, int source, int bits, const char* what) {
    if (bits == 0) {
        EXPECT_EQ(decoded, 255) << what;
        return;
    }
    if (bits == 8) {
        EXPECT_EQ(decoded, source) << what;
        return;
    }
    int code = bits == 1 ? decoded >> 7 : decoded >> (8 - bits);
    bool shifted = decoded == (bits == 1 ? code * 255 : code << (8 - bits));
    EXPECT_TRUE(shifted || decoded == widened(code, bits)) << what << ": " << decoded;
    EXPECT_EQ(code, nearest_code(source, bits)) << what << ": source " << source;
}

void expect_layout_round_trip(const layout_case& layout, int width, int height) {
    image source = dds_test::make_mixed_image(width, height, 3);
    dds_test::compressed out = dds_test::compress(source, layout.format, false);
    ASSERT_GT(out.result, 0);
    image decoded;
    ASSERT_TRUE(dds_test::devil_decode(out.file, decoded)) << "format " << layout.format;
    ASSERT_EQ(decoded.width, width);
    ASSERT_EQ(decoded.height, height);
    std::string what = "format " + std::to_string(layout.format);
    for (std::size_t i = 0; i < source.bgra.size() && !testing::Test::HasFailure(); i += 4) {
        for (int c = 0; c < 4; ++c) {
            expect_channel(decoded.bgra[i + c], source.bgra[i + c], layout.bits[c], what.c_str());
        }
    }
}

TEST(DdsRoundTrip, UncompressedLayoutsSquare) {
    for (const layout_case& layout : layouts) {
        expect_layout_round_trip(layout, 32, 32);
    }
}

TEST(DdsRoundTrip, UncompressedLayoutsNonSquareAndNotPowerOfTwo) {
    for (const layout_case& layout : layouts) {
        expect_layout_round_trip(layout, 64, 16);
        expect_layout_round_trip(layout, 30, 7);
    }
}

TEST(DdsRoundTrip, EightBitLayoutsKeepEveryValue) {
    // Every byte value in every channel, so no value is mangled on the way.
    image source{256, 4, std::vector<std::uint8_t>(256 * 4 * 4)};
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 256; ++x) {
            std::uint8_t* p = &source.bgra[(y * 256 + x) * 4];
            for (int c = 0; c < 4; ++c) {
                p[c] = static_cast<std::uint8_t>((x + 64 * ((c + y) % 4)) % 256);
            }
        }
    }
    for (std::uint16_t format : {dds_format_8888, dds_format_888}) {
        dds_test::compressed out = dds_test::compress(source, format, false);
        image decoded;
        ASSERT_TRUE(dds_test::devil_decode(out.file, decoded));
        EXPECT_EQ(dds_test::max_channel_error(source, decoded, format == dds_format_8888), 0);
    }
}

// A photo-like image: smooth gradients with a few sharp steps. Alpha runs from 0 to 255.
image smooth_image(int width, int height) {
    image result{width, height,
                 std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &result.bgra[(static_cast<std::size_t>(y) * width + x) * 4];
            p[0] = static_cast<std::uint8_t>(128 + 100 * std::sin(x * 0.1) * std::cos(y * 0.07));
            p[1] = static_cast<std::uint8_t>(y * 255 / height);
            p[2] = static_cast<std::uint8_t>(x < width / 2 ? 30 + x : 220 - y / 2);
            p[3] = static_cast<std::uint8_t>(x * 255 / width);
        }
    }
    return result;
}

// Colours on one line through colour space, as small mipmaps often are: a line is all a block
// can show, so these must come back close.
image line_image(int width, int height) {
    image result{width, height,
                 std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4)};
    for (int i = 0; i < width * height; ++i) {
        int t = i * 255 / std::max(1, width * height - 1);
        std::uint8_t* p = &result.bgra[static_cast<std::size_t>(i) * 4];
        p[0] = static_cast<std::uint8_t>(40 + t * 150 / 255);
        p[1] = static_cast<std::uint8_t>(200 - t * 100 / 255);
        p[2] = static_cast<std::uint8_t>(90 + t * 60 / 255);
        p[3] = static_cast<std::uint8_t>(64 + t / 2);
    }
    return result;
}

// alpha_allowance: -1 shown opaque, -2 one bit at 128, else the largest alpha error.
struct block_case {
    std::uint16_t format;
    int alpha_allowance;
};

const block_case block_formats[] = {
    {dds_format_dxt1, -1},
    {dds_format_dxt1a, -2},
    {dds_format_dxt3, 8}, // 4 bits, 17 apart
    {dds_format_dxt5, 4}, // a smooth ramp: eight levels per block serve well
};

int expected_alpha(int source, int allowance) {
    if (allowance == -1) {
        return 255;
    }
    return allowance == -2 ? (source >= 128 ? 255 : 0) : source;
}

// Colour within `colour_allowance` everywhere (where shown) and RMSE within `rmse_allowance`;
// alpha as the format keeps it.
void expect_block_round_trip(const block_case& block, const image& source, int colour_allowance,
                             double rmse_allowance) {
    dds_test::compressed out = dds_test::compress(source, block.format, false);
    ASSERT_GT(out.result, 0);
    image decoded;
    ASSERT_TRUE(dds_test::devil_decode(out.file, decoded)) << "format " << block.format;
    ASSERT_EQ(decoded.width, source.width);
    ASSERT_EQ(decoded.height, source.height);
    int worst_colour = 0;
    int alpha_slack = block.alpha_allowance > 0 ? block.alpha_allowance : 0;
    for (std::size_t i = 0; i < source.bgra.size(); i += 4) {
        bool shown = block.alpha_allowance != -2 || source.bgra[i + 3] >= 128;
        for (int c = 0; c < 3 && shown; ++c) {
            worst_colour =
                std::max(worst_colour, std::abs(decoded.bgra[i + c] - source.bgra[i + c]));
        }
        ASSERT_NEAR(decoded.bgra[i + 3], expected_alpha(source.bgra[i + 3], block.alpha_allowance),
                    alpha_slack)
            << "format " << block.format << " pixel " << i / 4;
    }
    EXPECT_LE(worst_colour, colour_allowance) << "format " << block.format;
    if (block.alpha_allowance != -2) {
        EXPECT_LE(dds_test::rmse(source, decoded), rmse_allowance) << "format " << block.format;
    }
}

TEST(DdsRoundTrip, BlockFormatsSquare) {
    for (const block_case& block : block_formats) {
        expect_block_round_trip(block, smooth_image(64, 64), 40, 4.0);
    }
}

TEST(DdsRoundTrip, BlockFormatsNonSquare) {
    for (const block_case& block : block_formats) {
        expect_block_round_trip(block, smooth_image(128, 32), 40, 4.0);
        expect_block_round_trip(block, smooth_image(8, 64), 40, 4.0);
    }
}

TEST(DdsRoundTrip, BlockFormatsSmallerThanOneBlock) {
    for (block_case block : block_formats) {
        // Four alphas 42 apart in one block: eight levels over that span leave up to 9 off.
        block.alpha_allowance = block.alpha_allowance > 0 ? 10 : block.alpha_allowance;
        for (int side : {1, 2}) {
            expect_block_round_trip(block, line_image(side, side), 8, 4.0);
        }
        expect_block_round_trip(block, line_image(4, 1), 8, 4.0);
        expect_block_round_trip(block, line_image(1, 8), 8, 4.0);
    }
}

TEST(DdsRoundTrip, ThreeChannelInputIsOpaque) {
    image source = dds_test::make_mixed_image(16, 8, 5);
    std::vector<std::uint8_t> bgr;
    for (std::size_t i = 0; i < source.bgra.size(); i += 4) {
        bgr.insert(bgr.end(), source.bgra.begin() + i, source.bgra.begin() + i + 3);
    }
    for (std::uint16_t format : {dds_format_8888, dds_format_dxt5, dds_format_dxt1a}) {
        dds_test::compressed out =
            dds_test::compress(bgr.data(), 16, 8, 16 * 3, 3, dds_test::options_for(format, false));
        image decoded;
        ASSERT_TRUE(dds_test::devil_decode(out.file, decoded));
        for (std::size_t i = 0; i < decoded.bgra.size(); i += 4) {
            ASSERT_EQ(decoded.bgra[i + 3], 255) << "format " << format;
        }
        if (format == dds_format_8888) {
            EXPECT_EQ(dds_test::max_channel_error(source, decoded, false), 0);
        }
    }
}

TEST(DdsRoundTrip, RowPitchBeyondTheRowIsHonoured) {
    image source = dds_test::make_mixed_image(10, 6, 9);
    int pitch = 10 * 4 + 12;
    std::vector<std::uint8_t> padded(static_cast<std::size_t>(pitch) * 6, 0xee);
    for (int y = 0; y < 6; ++y) {
        std::memcpy(&padded[static_cast<std::size_t>(y) * pitch], &source.bgra[y * 40], 40);
    }
    dds_test::compressed out = dds_test::compress(padded.data(), 10, 6, pitch, 4,
                                                  dds_test::options_for(dds_format_8888, false));
    image decoded;
    ASSERT_TRUE(dds_test::devil_decode(out.file, decoded));
    EXPECT_EQ(dds_test::max_channel_error(source, decoded), 0);
}

} // namespace
