// The 128 bytes before the surfaces, and the file's length, for every format and size.
#include <gtest/gtest.h>

#include <cstring>

#include "dds_test_support.h"

namespace {

using dds_test::read_le32;

struct expected_format {
    std::uint16_t code;
    const char* fourcc; // null for the pixel layouts
    int bits;
    std::uint32_t masks[4]; // red, green, blue, alpha
    int block_or_pixel_bytes;
};

const expected_format expected[] = {
    {dds_format_dxt1, "DXT1", 0, {0, 0, 0, 0}, 8},
    {dds_format_dxt1a, "DXT1", 0, {0, 0, 0, 0}, 8},
    {dds_format_dxt3, "DXT3", 0, {0, 0, 0, 0}, 16},
    {dds_format_dxt5, "DXT5", 0, {0, 0, 0, 0}, 16},
    {dds_format_4444, nullptr, 16, {0x0f00, 0x00f0, 0x000f, 0xf000}, 2},
    {dds_format_1555, nullptr, 16, {0x7c00, 0x03e0, 0x001f, 0x8000}, 2},
    {dds_format_565, nullptr, 16, {0xf800, 0x07e0, 0x001f, 0}, 2},
    {dds_format_8888, nullptr, 32, {0xff0000, 0xff00, 0xff, 0xff000000}, 4},
    {dds_format_888, nullptr, 24, {0xff0000, 0xff00, 0xff, 0}, 3},
    {dds_format_555, nullptr, 16, {0x7c00, 0x03e0, 0x001f, 0}, 2},
};

// Header offsets counted from the start of the file.
constexpr std::size_t flags_at = 8, height_at = 12, width_at = 16, pitch_at = 20, mips_at = 28,
                      pf_at = 76, caps_at = 108;

std::uint64_t level_bytes(const expected_format& f, int width, int height) {
    if (f.fourcc != nullptr) {
        return static_cast<std::uint64_t>((width + 3) / 4) * ((height + 3) / 4) *
               f.block_or_pixel_bytes;
    }
    return static_cast<std::uint64_t>(width) * height * f.block_or_pixel_bytes;
}

void expect_header(const expected_format& f, int width, int height, bool mipmaps,
                   int expected_levels) {
    dds_test::image source = dds_test::make_mixed_image(width, height, 2);
    dds_test::compressed out = dds_test::compress(source, f.code, mipmaps);
    SCOPED_TRACE("format " + std::to_string(f.code) + " " + std::to_string(width) + "x" +
                 std::to_string(height) + (mipmaps ? " with mipmaps" : ""));
    ASSERT_GE(out.result, 128);
    ASSERT_EQ(static_cast<std::size_t>(out.result), out.file.size());
    EXPECT_EQ(out.file.substr(0, 4), "DDS ");
    EXPECT_EQ(read_le32(out.file, 4), 124u);
    bool block = f.fourcc != nullptr;
    std::uint32_t flags =
        0x1 | 0x2 | 0x4 | 0x1000 | (block ? 0x80000 : 0x8) | (mipmaps ? 0x20000 : 0);
    EXPECT_EQ(read_le32(out.file, flags_at), flags);
    EXPECT_EQ(read_le32(out.file, height_at), static_cast<std::uint32_t>(height));
    EXPECT_EQ(read_le32(out.file, width_at), static_cast<std::uint32_t>(width));
    std::uint64_t pitch_or_size = block
                                      ? level_bytes(f, width, height)
                                      : static_cast<std::uint64_t>(width) * f.block_or_pixel_bytes;
    EXPECT_EQ(read_le32(out.file, pitch_at), pitch_or_size);
    EXPECT_EQ(read_le32(out.file, 24), 0u); // depth
    EXPECT_EQ(read_le32(out.file, mips_at),
              mipmaps ? static_cast<std::uint32_t>(expected_levels) : 0u);
    for (std::size_t reserved = 32; reserved < pf_at; reserved += 4) {
        EXPECT_EQ(read_le32(out.file, reserved), 0u) << "offset " << reserved;
    }
    EXPECT_EQ(read_le32(out.file, pf_at), 32u);
    if (block) {
        EXPECT_EQ(read_le32(out.file, pf_at + 4), 0x4u);
        EXPECT_EQ(out.file.substr(pf_at + 8, 4), f.fourcc);
    } else {
        EXPECT_EQ(read_le32(out.file, pf_at + 4), 0x40u | (f.masks[3] ? 0x1u : 0u));
        EXPECT_EQ(read_le32(out.file, pf_at + 8), 0u);
        EXPECT_EQ(read_le32(out.file, pf_at + 12), static_cast<std::uint32_t>(f.bits));
        for (int m = 0; m < 4; ++m) {
            EXPECT_EQ(read_le32(out.file, pf_at + 16 + 4 * m), f.masks[m]) << "mask " << m;
        }
    }
    EXPECT_EQ(read_le32(out.file, caps_at), mipmaps ? 0x1000u | 0x8u | 0x400000u : 0x1000u);
    for (std::size_t rest = caps_at + 4; rest < 128; rest += 4) {
        EXPECT_EQ(read_le32(out.file, rest), 0u) << "offset " << rest;
    }
    std::uint64_t total = 128;
    int levels = mipmaps ? expected_levels : 1;
    for (int level = 0; level < levels; ++level) {
        total += level_bytes(f, std::max(1, width >> level), std::max(1, height >> level));
    }
    EXPECT_EQ(out.file.size(), total);
}

TEST(DdsHeader, EveryFormatWithoutMipmaps) {
    for (const expected_format& f : expected) {
        expect_header(f, 64, 64, false, 1);
        expect_header(f, 128, 32, false, 1);
        expect_header(f, 4, 256, false, 1);
    }
}

TEST(DdsHeader, EveryFormatWithGeneratedMipmaps) {
    for (const expected_format& f : expected) {
        expect_header(f, 64, 64, true, 7);
        expect_header(f, 256, 128, true, 9); // the larger side sets the count
        expect_header(f, 2, 32, true, 6);
        expect_header(f, 1, 1, true, 1);
    }
}

TEST(DdsHeader, PixelLayoutsTakeAnySize) {
    for (const expected_format& f : expected) {
        if (f.fourcc == nullptr) {
            expect_header(f, 300, 7, false, 1);
            expect_header(f, 300, 256, true, 9); // 300 halves 8 times down to 1
            expect_header(f, 5, 3, true, 3);
        }
    }
}

TEST(DdsHeader, DevilSeesTheGeneratedMipmaps) {
    dds_test::image source = dds_test::make_mixed_image(256, 128, 4);
    for (std::uint16_t format : {dds_format_dxt1, dds_format_dxt5, dds_format_8888}) {
        dds_test::compressed with = dds_test::compress(source, format, true);
        dds_test::compressed without = dds_test::compress(source, format, false);
        EXPECT_EQ(dds_test::devil_mipmap_count(with.file), 8) << "format " << format;
        EXPECT_EQ(dds_test::devil_mipmap_count(without.file), 0) << "format " << format;
    }
}

TEST(DdsHeader, MipmapModeNoneWritesOneLevelForEveryFormat) {
    // Choosing which formats get mipmaps is the caller's business: the compressor follows the
    // mode it is given, so "none" means the top level alone even for block formats.
    dds_test::image source = dds_test::make_mixed_image(32, 32, 4);
    for (const expected_format& f : expected) {
        dds_test::compressed out = dds_test::compress(source, f.code, false);
        EXPECT_EQ(out.file.size(), 128 + level_bytes(f, 32, 32)) << "format " << f.code;
    }
}

} // namespace
