// The DDS reader on damaged files: every truncation and scattered byte changes of well-formed
// files are refused or decoded, never read past their end (the sanitizer build checks that).
#include <gtest/gtest.h>
#include <random>

#include "dds/dds_file_builder.h"
#include "dds/dds_reader.h"

namespace {

using namespace dds_files;

std::vector<std::string> well_formed_files() {
    std::string bc7(16, '\x55');
    bc7[0] = 0x40;
    std::string bc6h(16, '\x33');
    std::string cube;
    for (int face = 0; face < 6; ++face) {
        cube += std::string((16 + 4 + 1) * 4, static_cast<char>(face * 40 + 1));
    }
    return {
        dx10(8, 8, 98, bc7 + bc7 + bc7 + bc7 + bc7, 2),
        dx10(4, 4, 95, bc6h),
        dx10(4, 4, 96, bc6h),
        legacy(4, 4, masks(rgb | alpha_pixels, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), cube, 3,
               all_cube_faces),
        legacy(6, 5, fourcc("DXT5"), std::string(16 * 4, '\x7A')),
        dx10(3, 3, 24, std::string(36, '\x11')),
    };
}

TEST(DdsReader, TruncatedFilesAreRefused) {
    for (const std::string& file : well_formed_files()) {
        dds::texture texture;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.data());
        ASSERT_EQ(dds::read_texture(bytes, file.size(), texture), dds::read_result::decoded);
        for (std::size_t size = 0; size < file.size(); ++size) {
            std::vector<std::uint8_t> cut(bytes, bytes + size); // exactly `size` bytes held
            EXPECT_EQ(dds::read_texture(cut.data(), cut.size(), texture), dds::read_result::refused)
                << size;
        }
    }
}

TEST(DdsReader, ChangedBytesNeverReadPastTheEnd) {
    std::mt19937 random(20);
    for (const std::string& file : well_formed_files()) {
        for (int attempt = 0; attempt < 2000; ++attempt) {
            std::vector<std::uint8_t> changed(file.begin(), file.end());
            for (int n = 0; n < 4; ++n) {
                // Mostly the header, where the sizes and counts are.
                std::size_t at = random() % (attempt % 2 == 0 ? 148 : changed.size());
                changed[at % changed.size()] = static_cast<std::uint8_t>(random());
            }
            dds::texture texture;
            if (dds::read_texture(changed.data(), changed.size(), texture) ==
                dds::read_result::decoded) {
                ASSERT_EQ(texture.surfaces.size(), std::size_t{texture.faces} * texture.levels);
                for (const dds::surface& surface : texture.surfaces) {
                    EXPECT_EQ(surface.pixels.size(), std::size_t{surface.width} * surface.height *
                                                         surface.depth *
                                                         dds::channel_count(texture.channels) *
                                                         dds::channel_bytes(texture.type));
                }
            }
        }
    }
}

} // namespace
