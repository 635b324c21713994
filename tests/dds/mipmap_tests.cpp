// Generated mipmaps: each level the box-filtered half of the one above, down to 1 x 1.
#include <gtest/gtest.h>

#include "dds/mipmap.h"
#include "dds_test_support.h"

namespace {

using dds_test::image;

// Each output pixel the rounded mean of the 2 x 2 (or 2 x 1, 1 x 2) source pixels it covers.
image halve(const image& source) {
    image out{std::max(1, source.width / 2), std::max(1, source.height / 2), {}};
    int across = source.width > 1 ? 2 : 1, down = source.height > 1 ? 2 : 1;
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            for (int c = 0; c < 4; ++c) {
                int sum = 0;
                for (int v = 0; v < down; ++v) {
                    for (int u = 0; u < across; ++u) {
                        sum +=
                            source.bgra[((y * down + v) * source.width + x * across + u) * 4 + c];
                    }
                }
                int count = across * down;
                out.bgra.push_back(static_cast<std::uint8_t>((sum + count / 2) / count));
            }
        }
    }
    return out;
}

TEST(DdsMipmaps, EveryLevelIsTheBoxFilteredHalfOfTheOneAbove) {
    for (auto [width, height] : {std::pair{64, 64}, std::pair{32, 4}, std::pair{2, 16}}) {
        image level = dds_test::make_mixed_image(width, height, 6);
        dds_test::compressed out = dds_test::compress(level, dds_format_8888, true);
        int levels = dds_test::devil_mipmap_count(out.file) + 1;
        ASSERT_EQ(static_cast<std::uint32_t>(levels), dds_test::read_le32(out.file, 28));
        for (int n = 1; n < levels; ++n) {
            level = halve(level);
            image decoded;
            ASSERT_TRUE(dds_test::devil_decode(out.file, decoded, n));
            ASSERT_EQ(decoded.width, level.width) << n;
            ASSERT_EQ(decoded.height, level.height) << n;
            EXPECT_EQ(dds_test::max_channel_error(decoded, level), 0)
                << width << "x" << height << " level " << n;
            level = decoded;
        }
        EXPECT_EQ(level.width, 1);
        EXPECT_EQ(level.height, 1);
    }
}

TEST(DdsMipmaps, BlockFormatLevelsFollowTheSource) {
    // A flat colour stays that colour on every level, down to the 1 x 1 block.
    image flat{16, 8, {}};
    for (int i = 0; i < 16 * 8; ++i) {
        flat.bgra.insert(flat.bgra.end(), {66, 132, 198, 255});
    }
    dds_test::compressed out = dds_test::compress(flat, dds_format_dxt1, true);
    ASSERT_EQ(dds_test::read_le32(out.file, 28), 5u);
    for (int n = 0; n < 5; ++n) {
        image decoded;
        ASSERT_TRUE(dds_test::devil_decode(out.file, decoded, n));
        EXPECT_EQ(decoded.width, std::max(1, 16 >> n));
        EXPECT_EQ(decoded.height, std::max(1, 8 >> n));
        for (std::size_t i = 0; i < decoded.bgra.size(); i += 4) {
            ASSERT_NEAR(decoded.bgra[i], 66, 4) << n;
            ASSERT_NEAR(decoded.bgra[i + 1], 132, 4) << n;
            ASSERT_NEAR(decoded.bgra[i + 2], 198, 4) << n;
        }
    }
}

std::vector<std::uint8_t> shrink(const std::vector<std::uint8_t>& bgra, int width, int height,
                                 int to_width, int to_height) {
    dds::pixel_view view{bgra.data(), width * 4, width, height, 4};
    std::vector<std::uint8_t> out(static_cast<std::size_t>(to_width) * to_height * 4);
    EXPECT_TRUE(dds::shrink_box(view, to_width, to_height, out.data()));
    return out;
}

TEST(DdsMipmaps, OddSidesWeighTheSharedPixelByHalf) {
    // Five pixels in a row to two: 0,1,2 (half) and 2 (half),3,4.
    const std::uint8_t blues[] = {0, 40, 100, 200, 240};
    std::vector<std::uint8_t> row(sizeof blues * 4, 0);
    for (std::size_t i = 0; i < sizeof blues; ++i) {
        row[i * 4] = blues[i];
        row[i * 4 + 3] = 255;
    }
    std::vector<std::uint8_t> out = shrink(row, 5, 1, 2, 1);
    EXPECT_EQ(out[0], 36);  // (0 + 40 + 50) / 2.5
    EXPECT_EQ(out[4], 196); // (50 + 200 + 240) / 2.5
    // Three to one: the plain mean.
    std::vector<std::uint8_t> three(row.begin(), row.begin() + 12);
    EXPECT_EQ(shrink(three, 3, 1, 1, 1)[0], 47);
    EXPECT_EQ(shrink(three, 1, 3, 1, 1)[0], 47);
}

TEST(DdsMipmaps, ThreeChannelSourceShrinksOpaque) {
    std::vector<std::uint8_t> bgr = {10, 20, 30, 50, 60, 70, 90, 100, 110, 130, 140, 150};
    dds::pixel_view view{bgr.data(), 6, 2, 2, 3};
    std::uint8_t out[4];
    ASSERT_TRUE(dds::shrink_box(view, 1, 1, out));
    EXPECT_EQ(out[0], 70);
    EXPECT_EQ(out[1], 80);
    EXPECT_EQ(out[2], 90);
    EXPECT_EQ(out[3], 255);
}

} // namespace
