#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "config/settings.h"
#include "test_support.h"

using test_support::read_file;
using test_support::scratch_dir;

namespace {

std::string fixture(const char* name) {
    return read_file(std::string(FIXTURE_DIR) + "/" + name);
}

} // namespace

TEST(set_default_settings, fills_every_field_and_zeroes_text_tails) {
    std::memset(&viewer_settings, 0x5a, sizeof viewer_settings);
    set_default_settings();
    const settings_record& s = viewer_settings;
    EXPECT_STREQ(s.resize_filter, "lanczos");
    EXPECT_EQ(s.resize_threshold, 128);
    EXPECT_STREQ(s.default_layout, "top left");
    EXPECT_FALSE(s.show_caption_bar);
    EXPECT_STREQ(s.osd_font_name, "Tahoma");
    EXPECT_EQ(s.osd_font_height, 14);
    EXPECT_EQ(s.osd_font_color[0], 217);
    EXPECT_EQ(s.osd_font_color[1], 239);
    EXPECT_EQ(s.osd_font_color[2], 161);
    EXPECT_FALSE(s.osd_text_transparent);
    EXPECT_EQ(s.osd_background_color[0], 81);
    EXPECT_EQ(s.osd_background_color[1], 53);
    EXPECT_EQ(s.osd_background_color[2], 36);
    EXPECT_STREQ(s.snapshot_type, "jpg");
    EXPECT_EQ(s.snapshot_jpg_quality, 65);
    EXPECT_TRUE(s.snapshot_use_rle);
    EXPECT_STREQ(s.snapshot_dds_format, "dxt3");
    EXPECT_TRUE(s.snapshot_do_mipmaps);
    for (char c : std::string(s.resize_filter + 7, s.resize_filter + sizeof s.resize_filter)) {
        EXPECT_EQ(c, '\0');
    }
    const char* names[] = {"up", "down", "right", "a", "z", "q",   "s", "tab",
                           "i",  "v",    "o",     "p", "t", "f11", "m", "left"};
    for (int i = 0; i < hot_key_count; ++i) {
        EXPECT_STREQ((s.*hot_key_settings[i].field).key_name, names[i]) << i;
        // codes are derived when the file is read, not here
        EXPECT_EQ((s.*hot_key_settings[i].field).virtual_key, 0x5a5a5a5a) << i;
    }
}

TEST(write_default_configuration, writes_the_dated_header_and_the_template) {
    scratch_dir dir;
    std::string path = dir.file("Glintview.ini");
    write_default_configuration(path.c_str());
    std::string text = read_file(path);

    int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0, length = 0;
    ASSERT_EQ(std::sscanf(text.c_str(),
                          "; this file was generated on %2d/%2d/%2d @ %2d:%2d:%2d\n\n%n", &month,
                          &day, &year, &hour, &minute, &second, &length),
              6)
        << text.substr(0, 80);
    ASSERT_EQ(length, 50); // every number two digits wide, then the empty line
    EXPECT_EQ(text.substr(48, 2), "\n\n");
    EXPECT_GE(month, 1); // month first, then the day
    EXPECT_LE(month, 12);
    EXPECT_LE(day, 31);
    EXPECT_LE(hour, 23);
    EXPECT_EQ(text.substr(length), fixture("default_configuration.ini"));
}

TEST(write_default_configuration, writes_current_values_and_unsigned_colours) {
    scratch_dir dir;
    std::string path = dir.file("Glintview.ini");
    write_default_configuration(path.c_str());
    std::string text = read_file(path);
    EXPECT_NE(text.find("$osd font color:\t(217 239 161)\t;"), std::string::npos);
    EXPECT_NE(text.find("$exit:\t\t\tleft\t; key to exit the application\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 5), "#eof\n");
}

TEST(write_default_configuration, sets_defaults_even_when_the_file_cannot_be_made) {
    std::memset(&viewer_settings, 0, sizeof viewer_settings);
    write_default_configuration("/nonexistent-folder/for/sure/Glintview.ini");
    EXPECT_STREQ(viewer_settings.resize_filter, "lanczos");
    EXPECT_STREQ(viewer_settings.key_exit.key_name, "left");
}
