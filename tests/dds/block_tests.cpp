// The block encoders on their own, checked with the independent reference decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "dds/alpha_block.h"
#include "dds/colour_block.h"
#include "dds/surface.h"
#include "dds_test_support.h"

namespace {

using block = std::uint8_t[64];

int expand5(int v) {
    return (v << 3) | (v >> 2);
}
int expand6(int v) {
    return (v << 2) | (v >> 4);
}

void fill(block& pixels, int blue, int green, int red, int alpha = 255) {
    for (int i = 0; i < 16; ++i) {
        pixels[4 * i] = static_cast<std::uint8_t>(blue);
        pixels[4 * i + 1] = static_cast<std::uint8_t>(green);
        pixels[4 * i + 2] = static_cast<std::uint8_t>(red);
        pixels[4 * i + 3] = static_cast<std::uint8_t>(alpha);
    }
}

// The smallest error any pair of n-bit ends can give for `value` on one shared index: the ends
// themselves, their thirds (four colours) or their midpoint (three colours), rounded down.
int best_single_error(int value, int bits, bool three_colour) {
    int best = 255;
    for (int a = 0; a < (1 << bits); ++a) {
        for (int b = 0; b < (1 << bits); ++b) {
            int ea = bits == 5 ? expand5(a) : expand6(a);
            int eb = bits == 5 ? expand5(b) : expand6(b);
            int shown = three_colour ? (ea + eb) / 2 : (2 * ea + eb) / 3;
            best = std::min({best, std::abs(shown - value), std::abs(ea - value)});
        }
    }
    return best;
}

TEST(DdsColourBlock, EverySingleValueGetsItsBestPair) {
    for (bool one_bit : {false, true}) {
        std::vector<int> best5(256), best6(256);
        for (int v = 0; v < 256; ++v) {
            best5[v] = best_single_error(v, 5, one_bit);
            best6[v] = best_single_error(v, 6, one_bit);
        }
        for (int v = 0; v < 256; ++v) {
            // Each channel walks all 256 values, each against different partners.
            block pixels;
            fill(pixels, v, (v * 7 + 3) % 256, 255 - v);
            if (one_bit) {
                pixels[3] = 0; // forces three-colour mode
            }
            std::uint8_t encoded[8];
            dds::encode_colour_block(pixels, one_bit, encoded);
            block decoded;
            dds_test::decode_dxt1(encoded, decoded);
            for (int i = one_bit ? 1 : 0; i < 16; ++i) {
                ASSERT_EQ(std::abs(decoded[4 * i] - pixels[4 * i]), best5[v]) << v;
                ASSERT_EQ(std::abs(decoded[4 * i + 1] - pixels[4 * i + 1]),
                          best6[(v * 7 + 3) % 256])
                    << v;
                ASSERT_EQ(std::abs(decoded[4 * i + 2] - pixels[4 * i + 2]), best5[255 - v]) << v;
                ASSERT_EQ(decoded[4 * i + 3], 255);
            }
        }
    }
}

// Blocks of one colour take a shortcut: alpha must not change what it writes unless one-bit
// alpha leaves pixels out, and then the block is fitted as before.
TEST(DdsColourBlock, OneColourBlocksGetTheirBestPairWhateverTheAlpha) {
    std::vector<int> four5(256), four6(256), three5(256), three6(256);
    for (int v = 0; v < 256; ++v) {
        four5[v] = best_single_error(v, 5, false);
        four6[v] = best_single_error(v, 6, false);
        three5[v] = best_single_error(v, 5, true);
        three6[v] = best_single_error(v, 6, true);
    }
    std::mt19937 random(5);
    for (int trial = 0; trial < 2000; ++trial) {
        int blue = static_cast<int>(random() % 256);
        int green = static_cast<int>(random() % 256);
        int red = static_cast<int>(random() % 256);
        block pixels;
        fill(pixels, blue, green, red);
        for (int i = 0; i < 16; ++i) {
            pixels[4 * i + 3] = static_cast<std::uint8_t>(128 + random() % 128);
        }
        int cut = trial % 16;
        for (int left_out : {0, 1}) {
            if (left_out) {
                pixels[4 * cut + 3] = static_cast<std::uint8_t>(random() % 128);
            }
            for (bool one_bit : {false, true}) {
                bool three = one_bit && left_out;
                std::uint8_t encoded[8];
                dds::encode_colour_block(pixels, one_bit, encoded);
                block decoded;
                dds_test::decode_dxt1(encoded, decoded);
                for (int i = 0; i < 16; ++i) {
                    bool transparent = three && i == cut;
                    ASSERT_EQ(decoded[4 * i + 3], transparent ? 0 : 255) << trial << " " << i;
                    if (transparent) {
                        continue;
                    }
                    ASSERT_EQ(std::abs(decoded[4 * i] - blue), three ? three5[blue] : four5[blue])
                        << trial;
                    ASSERT_EQ(std::abs(decoded[4 * i + 1] - green),
                              three ? three6[green] : four6[green])
                        << trial;
                    ASSERT_EQ(std::abs(decoded[4 * i + 2] - red), three ? three5[red] : four5[red])
                        << trial;
                }
            }
        }
    }
}

int random_565_channel(std::mt19937& random, bool six) {
    return six ? expand6(static_cast<int>(random() % 64))
               : expand5(static_cast<int>(random() % 32));
}

TEST(DdsColourBlock, TwoExactColoursComeBackExactly) {
    std::mt19937 random(11);
    for (int trial = 0; trial < 3000; ++trial) {
        int colours[2][3];
        for (auto& c : colours) {
            c[0] = random_565_channel(random, false);
            c[1] = random_565_channel(random, true);
            c[2] = random_565_channel(random, false);
        }
        block pixels;
        std::uint32_t pattern = random();
        for (int i = 0; i < 16; ++i) {
            const int* c = colours[(pattern >> i) & 1];
            for (int k = 0; k < 3; ++k) {
                pixels[4 * i + k] = static_cast<std::uint8_t>(c[k]);
            }
            pixels[4 * i + 3] = 255;
        }
        std::uint8_t encoded[8];
        dds::encode_colour_block(pixels, false, encoded);
        block decoded;
        dds_test::decode_dxt1(encoded, decoded);
        for (int i = 0; i < 64; ++i) {
            ASSERT_EQ(decoded[i], pixels[i]) << "trial " << trial << " byte " << i;
        }
    }
}

// Squared error of `pixels` against `decoded` over the colour channels.
int colour_error(const block& pixels, const block& decoded) {
    int sum = 0;
    for (int i = 0; i < 16; ++i) {
        for (int k = 0; k < 3; ++k) {
            int d = pixels[4 * i + k] - decoded[4 * i + k];
            sum += d * d;
        }
    }
    return sum;
}

// A plain encoding for comparison: the bounding box's corners as ends, nearest entry each.
int bounding_box_error(const block& pixels) {
    int low[3] = {255, 255, 255}, high[3] = {0, 0, 0};
    for (int i = 0; i < 16; ++i) {
        for (int k = 0; k < 3; ++k) {
            low[k] = std::min<int>(low[k], pixels[4 * i + k]);
            high[k] = std::max<int>(high[k], pixels[4 * i + k]);
        }
    }
    auto pack = [](const int c[3]) {
        return static_cast<int>((std::lround(c[2] * 31 / 255.0) << 11) |
                                (std::lround(c[1] * 63 / 255.0) << 5) |
                                std::lround(c[0] * 31 / 255.0));
    };
    int first = pack(high), second = pack(low);
    if (first < second) {
        std::swap(first, second);
    }
    std::uint8_t encoded[8] = {
        static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(first >> 8),
        static_cast<std::uint8_t>(second), static_cast<std::uint8_t>(second >> 8)};
    block palette_pixels;
    int best_total = 0;
    for (int i = 0; i < 16; ++i) {
        int best = 1 << 30;
        for (int index = 0; index < 4; ++index) {
            std::uint32_t all = 0x55555555u * static_cast<std::uint32_t>(index);
            for (int b = 0; b < 4; ++b) {
                encoded[4 + b] = static_cast<std::uint8_t>(all >> (8 * b));
            }
            dds_test::decode_dxt1(encoded, palette_pixels);
            int error = 0;
            for (int k = 0; k < 3; ++k) {
                int d = pixels[4 * i + k] - palette_pixels[k];
                error += d * d;
            }
            best = std::min(best, error);
        }
        best_total += best;
    }
    return best_total;
}

TEST(DdsColourBlock, NeverWorseThanThePlainBoundingBox) {
    std::mt19937 random(5);
    for (int trial = 0; trial < 2000; ++trial) {
        block pixels;
        // Half the blocks random, half a noisy ramp between two random colours.
        int a[3], b[3];
        for (int k = 0; k < 3; ++k) {
            a[k] = static_cast<int>(random() % 256);
            b[k] = static_cast<int>(random() % 256);
        }
        for (int i = 0; i < 16; ++i) {
            for (int k = 0; k < 3; ++k) {
                int value =
                    trial % 2 ? static_cast<int>(random() % 256)
                              : a[k] + (b[k] - a[k]) * i / 15 + static_cast<int>(random() % 9) - 4;
                pixels[4 * i + k] = static_cast<std::uint8_t>(std::clamp(value, 0, 255));
            }
            pixels[4 * i + 3] = 255;
        }
        std::uint8_t encoded[8];
        dds::encode_colour_block(pixels, false, encoded);
        block decoded;
        dds_test::decode_dxt1(encoded, decoded);
        // Scattered blocks try the box's diagonal themselves, so never lose to it; on ramps the
        // principal axis and the diagonal nearly agree and rounding decides by a few percent.
        double slack = trial % 2 ? 1.0 : 1.05;
        ASSERT_LE(colour_error(pixels, decoded), bounding_box_error(pixels) * slack) << trial;
        if (trial % 2 == 0) {
            // Four entries spread over a ramp leave up to a sixth of its span off, plus the
            // noise (4), 565 rounding (4) and the decoder rounding down (1).
            for (int i = 0; i < 16; ++i) {
                for (int k = 0; k < 3; ++k) {
                    int allowance = std::abs(b[k] - a[k]) / 6 + 9;
                    ASSERT_LE(std::abs(decoded[4 * i + k] - pixels[4 * i + k]), allowance)
                        << trial << " pixel " << i << " channel " << k;
                }
            }
        }
    }
}

TEST(DdsColourBlock, FourColourModeWithoutOneBitAlpha) {
    std::mt19937 random(3);
    for (int trial = 0; trial < 3000; ++trial) {
        block pixels;
        for (int i = 0; i < 64; ++i) {
            pixels[i] =
                static_cast<std::uint8_t>(trial % 3 == 0 ? 100 + random() % 3 : random() % 256);
        }
        std::uint8_t encoded[8];
        dds::encode_colour_block(pixels, false, encoded);
        int first = encoded[0] | encoded[1] << 8;
        int second = encoded[2] | encoded[3] << 8;
        // Equal ends read as three-colour blocks, harmless only if no pixel takes index 3.
        bool safe = first > second ||
                    (first == second && (encoded[4] | encoded[5] | encoded[6] | encoded[7]) == 0);
        ASSERT_TRUE(safe) << trial;
        block decoded;
        dds_test::decode_dxt1(encoded, decoded);
        for (int i = 0; i < 16; ++i) {
            ASSERT_EQ(decoded[4 * i + 3], 255);
        }
    }
}

TEST(DdsColourBlock, OneBitAlphaMarksExactlyTheTransparentPixels) {
    std::mt19937 random(9);
    for (int trial = 0; trial < 3000; ++trial) {
        block pixels;
        for (int i = 0; i < 16; ++i) {
            for (int k = 0; k < 3; ++k) {
                pixels[4 * i + k] = static_cast<std::uint8_t>(random() % 256);
            }
            // Alphas gather around the threshold, with whole blocks of either kind now and then.
            int alpha = trial % 10 == 0
                            ? 255
                            : (trial % 10 == 1 ? 0 : 120 + static_cast<int>(random() % 16));
            pixels[4 * i + 3] = static_cast<std::uint8_t>(alpha);
        }
        std::uint8_t encoded[8];
        dds::encode_colour_block(pixels, true, encoded);
        block decoded;
        dds_test::decode_dxt1(encoded, decoded);
        for (int i = 0; i < 16; ++i) {
            ASSERT_EQ(decoded[4 * i + 3], pixels[4 * i + 3] >= 128 ? 255 : 0) << trial << " " << i;
        }
        int first = encoded[0] | encoded[1] << 8;
        int second = encoded[2] | encoded[3] << 8;
        if (trial % 10 == 0) {
            EXPECT_GT(first, second) << "opaque blocks keep all four colours";
        }
    }
}

TEST(DdsAlphaBlock, ExplicitAlphaRoundsEveryValueToTheNearestLevel) {
    for (int start = 0; start < 256; start += 16) {
        block pixels;
        fill(pixels, 1, 2, 3);
        for (int i = 0; i < 16; ++i) {
            pixels[4 * i + 3] = static_cast<std::uint8_t>(start + i);
        }
        std::uint8_t encoded[16];
        dds::encode_block(pixels, dds_format_dxt3, encoded);
        block decoded;
        dds_test::decode_dxt3(encoded, decoded);
        for (int i = 0; i < 16; ++i) {
            int value = start + i;
            int nearest = (value + 8) / 17 * 17;
            ASSERT_EQ(decoded[4 * i + 3], nearest) << value;
            ASSERT_LE(std::abs(decoded[4 * i + 3] - value), 8);
        }
    }
}

std::vector<std::uint8_t> dxt5_alpha_round_trip(const std::uint8_t alpha[16]) {
    block pixels;
    fill(pixels, 10, 20, 30);
    for (int i = 0; i < 16; ++i) {
        pixels[4 * i + 3] = alpha[i];
    }
    std::uint8_t encoded[16];
    dds::encode_block(pixels, dds_format_dxt5, encoded);
    block decoded;
    dds_test::decode_dxt5(encoded, decoded);
    std::vector<std::uint8_t> result(16);
    for (int i = 0; i < 16; ++i) {
        result[i] = decoded[4 * i + 3];
    }
    return result;
}

TEST(DdsAlphaBlock, InterpolatedAlphaKeepsAnyTwoValuesExactly) {
    for (int a = 0; a < 256; a += 3) {
        for (int b = 0; b < 256; b += 5) {
            std::uint8_t alpha[16];
            for (int i = 0; i < 16; ++i) {
                alpha[i] = static_cast<std::uint8_t>((i * 5) % 3 ? a : b);
            }
            std::vector<std::uint8_t> back = dxt5_alpha_round_trip(alpha);
            for (int i = 0; i < 16; ++i) {
                ASSERT_EQ(back[i], alpha[i]) << a << " " << b;
            }
        }
    }
}

TEST(DdsAlphaBlock, InterpolatedAlphaKeepsFullAndEmptyExactBesideOthers) {
    std::mt19937 random(2);
    for (int trial = 0; trial < 1000; ++trial) {
        std::uint8_t alpha[16];
        for (int i = 0; i < 16; ++i) {
            int kind = static_cast<int>(random() % 4);
            alpha[i] = static_cast<std::uint8_t>(kind == 0   ? 0
                                                 : kind == 1 ? 255
                                                             : 90 + random() % 40);
        }
        std::vector<std::uint8_t> back = dxt5_alpha_round_trip(alpha);
        for (int i = 0; i < 16; ++i) {
            if (alpha[i] == 0 || alpha[i] == 255) {
                ASSERT_EQ(back[i], alpha[i]) << trial;
            } else {
                // Six levels over a span of at most 39 leave at most 4 off.
                ASSERT_LE(std::abs(back[i] - alpha[i]), 4) << trial;
            }
        }
    }
}

TEST(DdsAlphaBlock, InterpolatedAlphaFollowsARamp) {
    for (int low = 0; low < 200; low += 7) {
        for (int span = 1; span < 56; span += 3) {
            std::uint8_t alpha[16];
            for (int i = 0; i < 16; ++i) {
                alpha[i] = static_cast<std::uint8_t>(low + span * i / 15);
            }
            std::vector<std::uint8_t> back = dxt5_alpha_round_trip(alpha);
            for (int i = 0; i < 16; ++i) {
                // Eight levels over the span: at most span / 14 off, plus rounding.
                ASSERT_LE(std::abs(back[i] - alpha[i]), span / 14 + 1) << low << " " << span;
            }
        }
    }
}

} // namespace
