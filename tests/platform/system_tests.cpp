#include <gtest/gtest.h>

#include <cstring>

#include "platform/backends/headless/headless.h"
#include "platform/dialogs.h"
#include "platform/system.h"
#include "test_support.h"

using test_support::scratch_dir;
using test_support::write_file;

TEST(command_line, quotes_the_program_path_and_joins_arguments_with_one_blank) {
    const char* one[] = {"/usr/bin/glintview", "my texture.tga"};
    platform::set_command_line(2, one);
    EXPECT_STREQ(platform::command_line(), "\"/usr/bin/glintview\" my texture.tga");

    const char* two[] = {"glintview", "a", "b"};
    platform::set_command_line(3, two);
    EXPECT_STREQ(platform::command_line(), "\"glintview\" a b");

    const char* none[] = {"glintview"};
    platform::set_command_line(1, none);
    EXPECT_STREQ(platform::command_line(), "\"glintview\"");
}

TEST(find_file, honours_star_and_question_mark_and_nothing_else) {
    scratch_dir dir;
    ASSERT_TRUE(write_file(dir.file("wall.dds"), "x"));
    ASSERT_TRUE(write_file(dir.file("[x].png"), "x"));
    EXPECT_TRUE(platform::find_file(dir.file("wall.dds").c_str()));
    EXPECT_TRUE(platform::find_file(dir.file("*.dds").c_str()));
    EXPECT_TRUE(platform::find_file(dir.file("w?ll.*").c_str()));
    EXPECT_TRUE(platform::find_file(dir.file("[x].png").c_str())); // brackets are literal
    EXPECT_FALSE(platform::find_file(dir.file("x].png").c_str()));
    EXPECT_FALSE(platform::find_file(dir.file("*.png.*").c_str()));
    EXPECT_FALSE(platform::find_file(dir.file("w?l.dds").c_str()));
    EXPECT_TRUE(platform::find_file(dir.path().c_str())); // folders are found too
    EXPECT_FALSE(platform::find_file(""));
    EXPECT_FALSE(platform::find_file(nullptr));
}

TEST(regular_file_size, counts_regular_files_only) {
    scratch_dir dir;
    ASSERT_TRUE(write_file(dir.file("five"), "12345"));
    ASSERT_TRUE(write_file(dir.file("empty"), ""));
    EXPECT_EQ(platform::regular_file_size(dir.file("five").c_str()), 5u);
    EXPECT_EQ(platform::regular_file_size(dir.file("empty").c_str()), 0u);
    EXPECT_EQ(platform::regular_file_size(dir.file("missing").c_str()), 0u);
    EXPECT_EQ(platform::regular_file_size(dir.path().c_str()), 0u);
    EXPECT_EQ(platform::regular_file_size("/dev/null"), 0u);
}

TEST(private_heap, frees_its_own_blocks_only) {
    platform::private_heap heap;
    void* a = heap.allocate(100);
    void* b = heap.allocate(200);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(heap.allocate(0), nullptr);
    EXPECT_EQ(heap.blocks_held(), 2u);
    EXPECT_TRUE(heap.free(a));
    EXPECT_FALSE(heap.free(a)); // already gone
    int not_ours = 0;
    EXPECT_FALSE(heap.free(&not_ours));
    EXPECT_EQ(heap.blocks_held(), 1u);
    // b is freed by the destructor; the sanitized run would report it otherwise.
}

TEST(local_time, is_a_plausible_calendar_date) {
    platform::local_time now = platform::now_local();
    EXPECT_GE(now.year, 2024);
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
    EXPECT_GE(now.day, 1);
    EXPECT_LE(now.day, 31);
    EXPECT_LE(now.second, 60);
    EXPECT_LT(now.millisecond, 1000);
}

TEST(module_path, is_the_real_executable_unless_a_test_sets_it) {
    char path[260];
    ASSERT_TRUE(platform::module_path(path, sizeof path));
    EXPECT_NE(std::strstr(path, "platform_tests"), nullptr);

    headless::set_module_path("/opt/glintview/glintview");
    ASSERT_TRUE(platform::module_path(path, sizeof path));
    EXPECT_STREQ(path, "/opt/glintview/glintview");
    char small[8];
    EXPECT_FALSE(platform::module_path(small, sizeof small));
    headless::set_module_path("");
}

TEST(message_box, is_recorded_and_answered_ok) {
    headless::clear_message_boxes();
    EXPECT_EQ(platform::message_box("text", "caption", platform::mb_iconerror), platform::id_ok);
    ASSERT_EQ(headless::message_boxes().size(), 1u);
    EXPECT_EQ(headless::message_boxes()[0].text, "text");
    EXPECT_EQ(headless::message_boxes()[0].caption, "caption");
    EXPECT_EQ(headless::message_boxes()[0].style, platform::mb_iconerror);
}
