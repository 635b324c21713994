// DDS snapshots: the size and format checks with their messages, the options handed to the
// compressor, and files that read back upright.
#include "devil_fixture.h"

#include <cstring>
#include <filesystem>
#include <sys/stat.h>

namespace {

// The error box's text for a snapshot message that names `file` (and the format).
std::string shown(const std::string& file, const std::string& reason) {
    return "************ ERROR ************\nCannot create the snapshot [" + file + "]\n\n" +
           reason + "\n";
}

const std::string not_power_of_two =
    "The size of this image is not a power of 2 (32x64, 256x256, 512x128 ...)";
const std::string cannot_create = "Make sure this file, if it already exists, is not "
                                  "write-protected or currently accessed by an other application";
std::string invalid_format(const std::string& format) {
    return "Invalid surface format specified [" + format +
           "]. Check the token [$snapshot dds format:] in the config file\n\nValid formats are: "
           "dxt1, dxt1a, dxt3, dxt5, 4444, 1555, 565, 8888, 888, 555";
}

std::uint32_t field(const std::string& data, std::size_t offset) {
    std::uint32_t value = 0;
    std::memcpy(&value, data.data() + offset, 4);
    return value;
}

class DevilDds : public DevilFixture {
  protected:
    bool snapshot(const std::string& name, const char* format_text, unsigned width, unsigned height,
                  bool mipmaps) {
        std::strcpy(format, format_text);
        pixels = pattern(width, height, 4);
        return lib.write_dds_snapshot(file(name).c_str(), format, width, height, pixels.data(),
                                      mipmaps);
    }
    // The one message shown since the test began.
    std::string only_message() {
        const auto& boxes = headless::message_boxes();
        EXPECT_EQ(boxes.size(), 1u);
        return boxes.empty() ? std::string() : boxes.back().text;
    }

    char format[16] = {};
    bytes pixels;
};

TEST_F(DevilDds, PowersOfTwoAndSurfaceFormatCodes) {
    for (std::uint32_t value : {1u, 2u, 4u, 256u, 1u << 31}) {
        EXPECT_TRUE(is_power_of_two(value)) << value;
    }
    for (std::uint32_t value : {0u, 3u, 6u, 300u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(is_power_of_two(value)) << value;
    }
    const char* names[] = {"dxt1", "DXT1A", "dxt3", "Dxt5", "4444",
                           "1555", "565",   "8888", "888",  "555"};
    for (std::uint16_t code = 10; code <= 19; ++code) {
        char text[16];
        std::strcpy(text, names[code - 10]);
        EXPECT_EQ(surface_format_code(text), code) << text;
    }
    char dxt2[] = "DXT2";
    EXPECT_EQ(surface_format_code(dxt2), 0);
    EXPECT_STREQ(dxt2, "dxt2");
    EXPECT_EQ(surface_format_code(nullptr), 0);
}

TEST_F(DevilDds, EveryFormatReadsBackUpright) {
    // Blocks of the DXT formats and 4-bit channels round colours the most.
    const std::pair<const char*, int> formats[] = {
        {"dxt1", 24}, {"dxt1a", 24}, {"dxt3", 24}, {"dxt5", 24}, {"4444", 20},
        {"1555", 12}, {"565", 12},   {"8888", 0},  {"888", 0},   {"555", 12}};
    for (const auto& [format_text, allowance] : formats) {
        SCOPED_TRACE(format_text);
        ASSERT_TRUE(snapshot("snap.dds", format_text, 32, 16, false));
        bytes got;
        ASSERT_TRUE(load_bgra(file("snap.dds"), nullptr, got));
        EXPECT_LE(largest_difference(got, pixels, false), allowance);
    }
    EXPECT_EQ(folder_listing(), std::vector<std::string>{"snap.dds"});
    EXPECT_TRUE(headless::message_boxes().empty());
}

TEST_F(DevilDds, OnlyBlockFormatsGetTheMipmapsAskedFor) {
    ASSERT_TRUE(snapshot("plain.dds", "565", 256, 128, true));
    EXPECT_EQ(dds_options.mipmap_mode, dds_mipmap_none);
    EXPECT_EQ(dds_options.surface_format, dds_format_565);
    EXPECT_EQ(dds_options.texture_kind, dds_texture_plain);
    EXPECT_EQ(dds_options.mipmaps_in_input, 0);
    ASSERT_TRUE(lib.load_file(file("plain.dds").c_str(), nullptr));
    EXPECT_EQ(lib.get_mipmap_count(), 0);

    ASSERT_TRUE(snapshot("chain.dds", "DXT5", 256, 128, true));
    EXPECT_STREQ(format, "dxt5");
    EXPECT_EQ(dds_options.mipmap_mode, dds_mipmap_generate);
    EXPECT_EQ(dds_options.surface_format, dds_format_dxt5);
    std::string data = test_support::read_file(file("chain.dds"));
    EXPECT_EQ(field(data, 28), 9u) << "256 halves to 1 eight times, plus one";
    ASSERT_TRUE(lib.load_file(file("chain.dds").c_str(), nullptr));
    EXPECT_EQ(lib.get_mipmap_count(), 8);
    EXPECT_EQ(lib.get_width(), 256);

    ASSERT_TRUE(snapshot("single.dds", "dxt1", 64, 64, false));
    EXPECT_EQ(dds_options.mipmap_mode, dds_mipmap_none);
}

TEST_F(DevilDds, SizesThatAreNotPowersOfTwoAreRefusedBeforeAnything) {
    const std::pair<unsigned, unsigned> sizes[] = {{300, 256}, {256, 300}, {0, 16}};
    for (const auto& [width, height] : sizes) {
        headless::clear_message_boxes();
        // An unknown format as well: the size is told first.
        EXPECT_FALSE(snapshot("snap.dds", "bogus", width, height, true));
        EXPECT_EQ(only_message(), shown(file("snap.dds"), not_power_of_two));
    }
    EXPECT_TRUE(folder_listing().empty());
}

TEST_F(DevilDds, UnknownFormatsCreateNothingAndKeepWhatWasThere) {
    ASSERT_TRUE(test_support::write_file(file("old.dds"), "old"));
    EXPECT_FALSE(snapshot("new.dds", "DXT2", 64, 64, false));
    EXPECT_EQ(only_message(), shown(file("new.dds"), invalid_format("dxt2")));
    headless::clear_message_boxes();
    EXPECT_FALSE(snapshot("old.dds", "", 64, 64, false));
    EXPECT_EQ(only_message(), shown(file("old.dds"), invalid_format("")));
    EXPECT_EQ(folder_listing(), std::vector<std::string>{"old.dds"});
    EXPECT_EQ(test_support::read_file(file("old.dds")), "old");
}

TEST_F(DevilDds, FilesThatCannotBeCreatedAreToldBeforeTheFormat) {
    ASSERT_TRUE(test_support::write_file(file("locked.dds"), "old"));
    chmod(file("locked.dds").c_str(), 0444);
    std::filesystem::create_directory(file("folder.dds"));
    for (const char* name : {"locked.dds", "folder.dds", "no/such/folder.dds"}) {
        headless::clear_message_boxes();
        EXPECT_FALSE(snapshot(name, "bogus", 64, 64, false));
        EXPECT_EQ(only_message(), shown(file(name), cannot_create));
    }
    EXPECT_EQ(test_support::read_file(file("locked.dds")), "old");
    EXPECT_EQ(folder_listing(), (std::vector<std::string>{"folder.dds", "locked.dds"}));
}

TEST_F(DevilDds, ReplacesAnExistingFileOnlyOnSuccess) {
    ASSERT_TRUE(test_support::write_file(file("snap.dds"), "old"));
    std::strcpy(format, "8888");
    EXPECT_FALSE(lib.write_dds_snapshot(file("snap.dds").c_str(), format, 4, 4, nullptr, false));
    EXPECT_FALSE(lib.write_dds_snapshot("", format, 4, 4, nullptr, false));
    EXPECT_FALSE(lib.write_dds_snapshot(nullptr, format, 4, 4, nullptr, false));
    EXPECT_EQ(test_support::read_file(file("snap.dds")), "old");
    ASSERT_TRUE(snapshot("snap.dds", "8888", 4, 4, false));
    EXPECT_EQ(test_support::read_file(file("snap.dds")).substr(0, 4), "DDS ");
    EXPECT_EQ(folder_listing(), std::vector<std::string>{"snap.dds"});
    EXPECT_TRUE(headless::message_boxes().empty());
}

} // namespace
