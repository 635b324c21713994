#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "config/configuration_reader.h"
#include "config/settings.h"
#include "parser/vorlex_parser.h"
#include "test_support.h"

using test_support::read_file;
using test_support::scratch_dir;
using test_support::write_file;

namespace {

// Reads `text` as the configuration file, into a record zeroed as at process start.
class reader : public ::testing::Test {
  protected:
    const settings_record& load(const std::string& text) {
        std::string path = dir.file("Glintview.ini");
        EXPECT_TRUE(write_file(path, text));
        parser = std::make_unique<vorlex_parser>(false, "vorlex.log");
        parser->open_file(path.c_str());
        std::memset(&viewer_settings, 0, sizeof viewer_settings);
        read_configuration(*parser);
        return viewer_settings;
    }

    // The record that a file without any key gives.
    static settings_record defaults() {
        settings_record saved = viewer_settings;
        use_default_configuration();
        settings_record result = viewer_settings;
        viewer_settings = saved;
        return result;
    }

    static void expect_same(const settings_record& s, const settings_record& e) {
        EXPECT_EQ(s.resize_threshold, e.resize_threshold);
        EXPECT_STREQ(s.resize_filter, e.resize_filter);
        EXPECT_STREQ(s.default_layout, e.default_layout);
        EXPECT_EQ(s.show_caption_bar, e.show_caption_bar);
        EXPECT_STREQ(s.osd_font_name, e.osd_font_name);
        EXPECT_EQ(s.osd_font_height, e.osd_font_height);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(s.osd_font_color[i], e.osd_font_color[i]) << i;
            EXPECT_EQ(s.osd_background_color[i], e.osd_background_color[i]) << i;
        }
        EXPECT_EQ(s.osd_text_transparent, e.osd_text_transparent);
        EXPECT_STREQ(s.snapshot_type, e.snapshot_type);
        EXPECT_EQ(s.snapshot_jpg_quality, e.snapshot_jpg_quality);
        EXPECT_EQ(s.snapshot_use_rle, e.snapshot_use_rle);
        EXPECT_STREQ(s.snapshot_dds_format, e.snapshot_dds_format);
        EXPECT_EQ(s.snapshot_do_mipmaps, e.snapshot_do_mipmaps);
        for (const hot_key_setting& key : hot_key_settings) {
            EXPECT_STREQ((s.*key.field).key_name, (e.*key.field).key_name) << key.token;
            EXPECT_EQ((s.*key.field).virtual_key, (e.*key.field).virtual_key) << key.token;
        }
    }

    static void expect_defaults(const settings_record& s) { expect_same(s, defaults()); }

    scratch_dir dir;
    std::unique_ptr<vorlex_parser> parser;
};

} // namespace

TEST_F(reader, reads_the_default_file_back_into_exactly_the_defaults) {
    std::string path = dir.file("written.ini");
    write_default_configuration(path.c_str());
    settings_record written = viewer_settings;
    const settings_record& s = load(read_file(path));
    expect_defaults(s);
    for (const hot_key_setting& key : hot_key_settings) {
        EXPECT_STREQ((s.*key.field).key_name, (written.*key.field).key_name);
    }
    EXPECT_FALSE(test_support::exists(dir.file("vorlex.log")));
}

TEST_F(reader, gives_every_other_field_its_default_around_a_lone_exit_key) {
    settings_record expected = defaults();
    std::strcpy(expected.key_exit.key_name, "escape");
    expected.key_exit.virtual_key = 27;
    expect_same(load("$exit:\tescape\n"), expected);
}

TEST_F(reader, gives_defaults_for_an_empty_or_missing_text) {
    expect_defaults(load(""));
    parser = std::make_unique<vorlex_parser>(false, "vorlex.log");
    parser->open_file(dir.file("missing.ini").c_str());
    read_configuration(*parser);
    expect_defaults(viewer_settings);
}

TEST_F(reader, matches_keys_in_any_letter_case_and_checks_filter_and_layout) {
    const settings_record& s = load("$Resize Filter: BSpline\n$DEFAULT LAYOUT:\tBottom Right\n");
    EXPECT_STREQ(s.resize_filter, "bspline");
    EXPECT_STREQ(s.default_layout, "bottom right");
    load("$resize filter: cubic\n$default layout: bottom-right\n");
    EXPECT_STREQ(viewer_settings.resize_filter, "lanczos");
    EXPECT_STREQ(viewer_settings.default_layout, "top left");
}

TEST_F(reader, accepts_colours_strictly_inside_the_byte_range_and_truncates) {
    const settings_record& s = load("$osd font color: (255 0 0)\n"
                                    "$osd background color: (12.9 0.5 255.9)\n");
    EXPECT_EQ(s.osd_font_color[0], 255);
    EXPECT_EQ(s.osd_font_color[1], 0);
    EXPECT_EQ(s.osd_font_color[2], 0);
    EXPECT_EQ(s.osd_background_color[0], 12);
    EXPECT_EQ(s.osd_background_color[1], 0);
    EXPECT_EQ(s.osd_background_color[2], 255);
    EXPECT_FALSE(s.osd_text_transparent);
    for (const char* bad : {"(256 0 0)", "(-1 0 0)", "(0 0 256)", "255 0 0", "(red 0 0)"}) {
        load(std::string("$osd font color: ") + bad + "\n");
        expect_defaults(viewer_settings);
    }
}

TEST_F(reader, checks_font_height_and_jpeg_quality) {
    EXPECT_EQ(load("$osd font height: 0\n").osd_font_height, 14);
    EXPECT_EQ(load("$osd font height: -12\n").osd_font_height, -12);
    EXPECT_EQ(load("$snapshot jpg quality: 0\n").snapshot_jpg_quality, 0);
    EXPECT_EQ(load("$snapshot jpg quality: 100\n").snapshot_jpg_quality, 100);
    EXPECT_EQ(load("$snapshot jpg quality: 101\n").snapshot_jpg_quality, 65);
    EXPECT_EQ(load("$snapshot jpg quality: -1\n").snapshot_jpg_quality, 65);
    EXPECT_EQ(load("$snapshot jpg quality: high\n").snapshot_jpg_quality, 65);
    EXPECT_EQ(load("$resize threshold: -40\n").resize_threshold, -40);
    EXPECT_EQ(load("$resize threshold: wide\n").resize_threshold, -1);
}

TEST_F(reader, reads_booleans_and_leaves_unknown_words_as_they_were) {
    EXPECT_FALSE(load("$snapshot use rle: maybe\n").snapshot_use_rle);
    EXPECT_TRUE(load("$snapshot use rle: TRUE\n").snapshot_use_rle);
    EXPECT_TRUE(load("$snapshot use rle: 2\n").snapshot_use_rle);
    EXPECT_TRUE(load("$show caption bar: Yes\n").show_caption_bar);
    EXPECT_FALSE(load("$snapshot do mipmaps: no\n").snapshot_do_mipmaps);
}

TEST_F(reader, handles_keys_with_nothing_behind_them) {
    const settings_record& s = load("$resize filter:\n$default layout:\n$osd font name:\n"
                                    "$zoom in:\n$snapshot use rle:\n");
    EXPECT_STREQ(s.resize_filter, "lanczos");
    EXPECT_STREQ(s.default_layout, "top left");
    EXPECT_STREQ(s.osd_font_name, "");
    EXPECT_STREQ(s.key_zoom_in.key_name, "");
    EXPECT_EQ(s.key_zoom_in.virtual_key, 38);
    EXPECT_FALSE(s.snapshot_use_rle);
    // an integer key reads on into the next line
    EXPECT_EQ(load("$resize threshold:\n$resize filter: box\n").resize_threshold, -1);
}

TEST_F(reader, takes_the_first_of_two_lines_and_ignores_commented_keys) {
    const settings_record& s = load("; $resize threshold: 5\n"
                                    "\n"
                                    "$resize threshold: 64 ; first\n"
                                    "$resize threshold: 32\n"
                                    "  ; $osd font name: Courier\n");
    EXPECT_EQ(s.resize_threshold, 64);
    EXPECT_STREQ(s.osd_font_name, "Tahoma");
}

TEST_F(reader, keeps_unknown_key_names_with_the_default_code) {
    const settings_record& s = load("$zoom in: PageUp\n$minimize: F11\n$text bigger: numpad5\n");
    EXPECT_STREQ(s.key_zoom_in.key_name, "pageup");
    EXPECT_EQ(s.key_zoom_in.virtual_key, 38);
    EXPECT_STREQ(s.key_minimize.key_name, "f11");
    EXPECT_EQ(s.key_minimize.virtual_key, 122);
    EXPECT_EQ(s.key_text_bigger.virtual_key, 101);
}

TEST_F(reader, tells_the_snapshot_key_from_the_snapshot_type) {
    const settings_record& s = load("$snapshot type: PNG\n$snapshot: space\n");
    EXPECT_STREQ(s.snapshot_type, "PNG"); // stored as written
    EXPECT_STREQ(s.key_snapshot.key_name, "space");
    EXPECT_EQ(s.key_snapshot.virtual_key, 32);
    const settings_record& t = load("$snapshot type: tga\n");
    EXPECT_STREQ(t.key_snapshot.key_name, "f11");
    EXPECT_STREQ(t.snapshot_type, "tga");
}

TEST_F(reader, treats_values_longer_than_their_field_as_missing) {
    const settings_record& s =
        load("$osd font name: " + std::string(31, 'F') + "\n" + // fits exactly
             "$snapshot type: " + std::string(8, 't') + "\n" +  // one too many
             "$snapshot dds format: dxt5dxt5\n" +               // one too many
             "$zoom in: " + std::string(16, 'k') + "\n" +       // one too many
             "$exit: " + std::string(15, 'e') + "\n" +          // fits exactly
             "$resize filter: " + std::string(300, 'l') + "\n");
    EXPECT_STREQ(s.osd_font_name, std::string(31, 'F').c_str());
    EXPECT_STREQ(s.snapshot_type, "jpg");
    EXPECT_STREQ(s.snapshot_dds_format, "dxt3");
    EXPECT_STREQ(s.key_zoom_in.key_name, "up");
    EXPECT_EQ(s.key_zoom_in.virtual_key, 38);
    EXPECT_STREQ(s.key_exit.key_name, std::string(15, 'e').c_str());
    EXPECT_EQ(s.key_exit.virtual_key, 37);
    EXPECT_STREQ(s.resize_filter, "lanczos");
}

TEST_F(reader, gives_usable_values_for_junk_huge_and_unbroken_files) {
    std::string junk;
    for (int i = 0; i < 70000; ++i) {
        junk += static_cast<char>((i * 131 + 7) % 256);
    }
    expect_defaults(load(junk));

    std::string huge(600000, 'x');
    huge += "\n$resize threshold: 5\n";
    const settings_record& s = load(huge);
    EXPECT_EQ(s.resize_threshold, 128); // past what the parser holds
    EXPECT_STREQ(s.resize_filter, "lanczos");

    const settings_record& t = load("$resize threshold: 77 $resize filter: box $exit: up");
    EXPECT_EQ(t.resize_threshold, 77);
    EXPECT_STREQ(t.resize_filter, "lanczos"); // not at a line start
    EXPECT_EQ(t.key_exit.virtual_key, 37);
}

TEST_F(reader, optional_lines_keep_their_defaults_when_absent_and_are_read_when_present) {
    const settings_record& absent = load("$exit: escape\n");
    EXPECT_STREQ(absent.key_channel_view.key_name, "c");
    EXPECT_EQ(absent.key_channel_view.virtual_key, 67);
    EXPECT_EQ(absent.key_mip_level_smaller.virtual_key, 78);
    EXPECT_EQ(absent.key_mip_level_larger.virtual_key, 66);
    EXPECT_TRUE(absent.reload_on_change);
    EXPECT_TRUE(absent.fit_to_screen);

    const settings_record& s = load("$Channel View: F2\n$mip level smaller: pageup\n"
                                    "$mip level larger: x\n$reload on change: no\n"
                                    "$fit to screen: maybe\n");
    EXPECT_STREQ(s.key_channel_view.key_name, "f2");
    EXPECT_EQ(s.key_channel_view.virtual_key, 113);
    EXPECT_STREQ(s.key_mip_level_smaller.key_name, "pageup"); // unknown name: default code
    EXPECT_EQ(s.key_mip_level_smaller.virtual_key, 78);
    EXPECT_EQ(s.key_mip_level_larger.virtual_key, 88);
    EXPECT_FALSE(s.reload_on_change);
    EXPECT_TRUE(s.fit_to_screen); // a word the reader does not know keeps the default
}
