#include <gtest/gtest.h>

#include <string>
#include <zip.h>

#include "platform/backends/headless/headless.h"
#include "platform/system.h"
#include "test_support.h"
#include "tools/tools.h"

using test_support::scratch_dir;
using test_support::write_file;

TEST(file_extension, takes_the_text_after_the_last_dot_of_the_whole_path) {
    EXPECT_STREQ(file_extension("photo.tga"), "tga");
    EXPECT_STREQ(file_extension("archive.tar.gz"), "gz");
    EXPECT_STREQ(file_extension("name."), "");
    EXPECT_STREQ(file_extension("C:\\my.dir\\file"), "dir\\file");
    EXPECT_EQ(file_extension("noext"), nullptr);
    EXPECT_EQ(file_extension(""), nullptr);
    EXPECT_EQ(file_extension(nullptr), nullptr);
    EXPECT_STREQ(file_extension("a.fifteenletters"), "fifteenletters"); // 14 fits
    EXPECT_STREQ(file_extension("a.123456789012345"), "123456789012345");
    EXPECT_EQ(file_extension("a.1234567890123456"), nullptr); // would not fit 16
}

TEST(strip_extension, drops_the_last_extension) {
    EXPECT_STREQ(strip_extension("C:\\img\\a.b.dds"), "C:\\img\\a.b");
    EXPECT_STREQ(strip_extension(".hidden"), "");
    const char* plain = "C:\\img\\plain";
    EXPECT_EQ(strip_extension(plain), plain);
    EXPECT_EQ(strip_extension(""), nullptr);
    std::string long_path(platform::max_path, 'x');
    long_path += ".png";
    EXPECT_EQ(strip_extension(long_path.c_str()), nullptr); // refused, not cut
}

TEST(replace_extension, swaps_the_last_extension_or_returns_the_argument) {
    EXPECT_STREQ(replace_extension("a.dds", "png"), "a.png");
    EXPECT_STREQ(replace_extension("dir/a.b.dds", "jpg"), "dir/a.b.jpg");
    const char* plain = "plain";
    EXPECT_EQ(replace_extension(plain, "png"), plain);
    const char* dds = "a.dds";
    EXPECT_EQ(replace_extension(dds, ""), dds);
    EXPECT_EQ(replace_extension(dds, nullptr), dds);
    EXPECT_EQ(replace_extension(nullptr, "png"), nullptr);
    // The stem and ".png" fill a path buffer but for its terminator; ".png8" would not fit.
    std::string edge(platform::max_path - 5, 'x');
    edge += ".dds";
    ASSERT_NE(replace_extension(edge.c_str(), "png"), nullptr);
    EXPECT_EQ(std::string(replace_extension(edge.c_str(), "png")).size(), platform::max_path - 1);
    EXPECT_EQ(replace_extension(edge.c_str(), "png8"), nullptr);
}

TEST(directory_part, splits_at_the_chosen_separator_only) {
    EXPECT_STREQ(directory_part("C:\\tools\\viewer.exe", false, false), "C:\\tools");
    EXPECT_STREQ(directory_part("C:\\tools\\viewer.exe", true, false), "C:\\tools\\");
    EXPECT_EQ(directory_part("viewer.exe", false, false), nullptr);
    EXPECT_EQ(directory_part("C:/tools/viewer.exe", false, false), nullptr);
    EXPECT_STREQ(directory_part("/usr/bin/glintview", false, true), "/usr/bin");
    EXPECT_STREQ(directory_part("/glintview", false, true), "");
    EXPECT_EQ(directory_part(nullptr, false, true), nullptr);
}

TEST(file_name_part, takes_the_text_after_the_last_separator) {
    EXPECT_STREQ(file_name_part("C:\\img\\wall.dds", false), "wall.dds");
    EXPECT_STREQ(file_name_part("C:\\img\\", false), "");
    const char* bare = "wall.dds";
    EXPECT_EQ(file_name_part(bare, false), bare);
    EXPECT_STREQ(file_name_part("/img/wall.dds", true), "wall.dds");
    EXPECT_EQ(file_name_part("", true), nullptr);
}

TEST(format_duration, truncates_each_part) {
    EXPECT_STREQ(format_duration(0.0f), "n/a");
    EXPECT_STREQ(format_duration(59.9f), "00:00:59");
    EXPECT_STREQ(format_duration(60.0f), "00:01:00");
    EXPECT_STREQ(format_duration(3725.0f), "01:02:05");
    EXPECT_STREQ(format_duration(25 * 3600.0f), "25:00:00");
    EXPECT_STREQ(format_duration(-5.0f), "n/a");
    EXPECT_STREQ(format_duration(1e30f), "n/a");
}

TEST(format_text, formats_and_cuts_at_511_characters) {
    EXPECT_STREQ(format_text("%s %d%%", "zoom", 50), "zoom 50%");
    std::string long_text(600, 'y');
    EXPECT_EQ(std::string(format_text("%s", long_text.c_str())), std::string(511, 'y'));
}

TEST(case_copies, change_ascii_letters_only) {
    auto upper = upper_copy("f11 Tab \xe9");
    EXPECT_STREQ(upper.get(), "F11 TAB \xe9");
    auto lower = lower_copy("PNG-Dxt5");
    EXPECT_STREQ(lower.get(), "png-dxt5");
    EXPECT_EQ(upper_copy(nullptr), nullptr);
}

TEST(error_box, shows_the_banner_the_text_and_a_final_line_feed) {
    headless::clear_message_boxes();
    error_box("Error loading [%s]", "wall.dds");
    ASSERT_EQ(headless::message_boxes().size(), 1u);
    const headless::shown_box& box = headless::message_boxes()[0];
    EXPECT_EQ(box.text, "************ ERROR ************\nError loading [wall.dds]\n");
    EXPECT_EQ(box.caption, "Glintview 1.0");
    EXPECT_EQ(box.style, 0x12010u);
}

TEST(error_box, cuts_a_long_message_to_511_characters) {
    headless::clear_message_boxes();
    std::string long_text(1000, 'z');
    error_box("%s", long_text.c_str());
    ASSERT_EQ(headless::message_boxes().size(), 1u);
    const std::string& text = headless::message_boxes()[0].text;
    EXPECT_EQ(text.size(), 511u);
    EXPECT_EQ(text.rfind("************ ERROR ************\nzzz", 0), 0u);
}

namespace {

bool make_zip(const std::string& path, const char* member) {
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr) {
        return false;
    }
    zip_fileinfo info{};
    bool ok = zipOpenNewFileInZip(zip, member, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                  Z_DEFAULT_COMPRESSION) == ZIP_OK &&
              zipWriteInFileInZip(zip, "data", 4) == ZIP_OK && zipCloseFileInZip(zip) == ZIP_OK;
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

} // namespace

TEST(file_exists, searches_the_disk_with_wildcards) {
    scratch_dir dir;
    ASSERT_TRUE(write_file(dir.file("wall.dds"), "x"));
    EXPECT_TRUE(file_exists(dir.file("wall.dds").c_str(), nullptr));
    EXPECT_TRUE(file_exists(dir.file("*.dds").c_str(), nullptr));
    EXPECT_FALSE(file_exists(dir.file("floor.dds").c_str(), nullptr));
    EXPECT_FALSE(file_exists(nullptr, nullptr));
}

TEST(file_exists, finds_archive_members_whatever_their_letter_case) {
    scratch_dir dir;
    std::string archive = dir.file("pack.zip");
    ASSERT_TRUE(make_zip(archive, "Textures/Wall.DDS"));
    EXPECT_TRUE(file_exists("textures/wall.dds", archive.c_str()));
    EXPECT_TRUE(file_exists("TEXTURES/WALL.DDS", archive.c_str()));
    EXPECT_FALSE(file_exists("textures/floor.dds", archive.c_str()));
    EXPECT_FALSE(file_exists("textures/wall.dds", dir.file("missing.zip").c_str()));
    ASSERT_TRUE(write_file(dir.file("damaged.zip"), "PK\x03\x04 not really a zip archive"));
    EXPECT_FALSE(file_exists("textures/wall.dds", dir.file("damaged.zip").c_str()));
}

TEST(file_size, is_zero_for_missing_empty_and_folders) {
    scratch_dir dir;
    ASSERT_TRUE(write_file(dir.file("seven"), "1234567"));
    ASSERT_TRUE(write_file(dir.file("empty"), ""));
    EXPECT_EQ(file_size(dir.file("seven").c_str()), 7u);
    EXPECT_EQ(file_size(dir.file("empty").c_str()), 0u);
    EXPECT_EQ(file_size(dir.file("missing").c_str()), 0u);
    EXPECT_EQ(file_size(dir.path().c_str()), 0u);
}
