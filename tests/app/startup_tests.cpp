#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "app/viewer_app.h"
#include "config/settings.h"
#include "platform/backends/headless/headless.h"
#include "platform/system.h"
#include "test_support.h"

using test_support::exists;
using test_support::read_file;
using test_support::scratch_dir;
using test_support::tiny_tga;
using test_support::write_file;

TEST(extract_image_path, follows_the_quoted_program_path) {
    char path[platform::max_path];
    EXPECT_TRUE(extract_image_path("\"C:\\glintview.exe\" wall.dds", path));
    EXPECT_STREQ(path, "wall.dds");
    EXPECT_TRUE(extract_image_path("\"prog\" \"my texture.tga\"", path));
    EXPECT_STREQ(path, "my texture.tga");
    EXPECT_TRUE(extract_image_path("\"prog\" my texture.tga", path));
    EXPECT_STREQ(path, "my texture.tga");
    EXPECT_TRUE(extract_image_path("\"prog\"  two.png", path));
    EXPECT_STREQ(path, " two.png");
    EXPECT_TRUE(extract_image_path("\"prog\" 100%done.png", path));
    EXPECT_STREQ(path, "100%done.png");
}

TEST(extract_image_path, removes_one_pair_of_quotes_only) {
    char path[platform::max_path];
    EXPECT_TRUE(extract_image_path("\"prog\" \"", path));
    EXPECT_STREQ(path, ""); // a lone quote counts as both
    EXPECT_TRUE(extract_image_path("\"prog\" \"open.png", path));
    EXPECT_STREQ(path, "\"open.png");
    EXPECT_TRUE(extract_image_path("\"prog\" \"\"twice.png\"\"", path));
    EXPECT_STREQ(path, "\"twice.png\"");
}

TEST(extract_image_path, never_reads_past_a_short_command_line) {
    char path[platform::max_path];
    EXPECT_TRUE(extract_image_path("\"prog\"", path));
    EXPECT_STREQ(path, "");
    EXPECT_TRUE(extract_image_path("", path));
    EXPECT_STREQ(path, "");
    EXPECT_TRUE(extract_image_path("prog wall.dds", path)); // program path not quoted
    EXPECT_STREQ(path, "wall.dds");
    EXPECT_TRUE(extract_image_path("\"prog", path));
    EXPECT_STREQ(path, "");
    EXPECT_FALSE(extract_image_path(nullptr, path));
}

TEST(extract_image_path, refuses_what_does_not_fit) {
    char path[platform::max_path];
    std::string fits = "\"prog\" " + std::string(platform::max_path - 1, 'a');
    EXPECT_TRUE(extract_image_path(fits.c_str(), path));
    EXPECT_EQ(std::string(path).size(), platform::max_path - 1);
    std::string too_long = "\"prog\" " + std::string(platform::max_path, 'a');
    EXPECT_FALSE(extract_image_path(too_long.c_str(), path));
    EXPECT_STREQ(path, "");
    std::string huge_line = "\"" + std::string(2 * platform::max_path, 'p') + "\" a.png";
    EXPECT_FALSE(extract_image_path(huge_line.c_str(), path));
    EXPECT_STREQ(path, "");
}

namespace {

// Runs start-up as if the executable sat in `dir` and was started with `args`.
class startup : public ::testing::Test {
  protected:
    void SetUp() override {
        headless::set_module_path(dir.file("glintview"));
        headless::clear_message_boxes();
        set_environment(dir.file("xdg"), dir.file("home")); // never the real home
    }
    void TearDown() override {
        headless::set_module_path("");
        set_environment(saved_xdg, saved_home);
    }

    // Sets or, for an empty text, removes XDG_CONFIG_HOME and HOME.
    static void set_environment(const std::string& xdg, const std::string& home) {
        for (auto [name, value] : {std::pair{"XDG_CONFIG_HOME", &xdg}, {"HOME", &home}}) {
            value->empty() ? unsetenv(name) : setenv(name, value->c_str(), 1);
        }
    }
    static std::string variable(const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr ? value : "";
    }

    bool run(const std::vector<std::string>& args) {
        std::vector<const char*> argv = {"glintview"};
        for (const std::string& arg : args) {
            argv.push_back(arg.c_str());
        }
        platform::set_command_line(static_cast<int>(argv.size()), argv.data());
        viewer_app app;
        bool result = app.init_instance();
        image_path = app.image_path;
        config_path = app.config_path;
        return result;
    }

    bool usage_shown() const {
        const auto& boxes = headless::message_boxes();
        return boxes.size() == 1 &&
               boxes[0].text ==
                   std::string("************ ERROR ************\n") + usage_message + "\n";
    }

    std::string ini() const { return dir.file("Glintview.ini"); }

    scratch_dir dir;
    std::string image_path;
    std::string config_path;
    std::string saved_xdg = variable("XDG_CONFIG_HOME");
    std::string saved_home = variable("HOME");
};

} // namespace

TEST_F(startup, without_a_file_shows_usage_and_writes_nothing) {
    EXPECT_FALSE(run({}));
    ASSERT_TRUE(usage_shown());
    const headless::shown_box& box = headless::message_boxes()[0];
    EXPECT_EQ(box.caption, "Glintview 1.0");
    EXPECT_EQ(box.style, 0x12010u);
    EXPECT_EQ(box.text, "************ ERROR ************\nNo file to process!\n\nUsage: "
                        "\"Glintview\" <image_file>\n\nNB: this tool is best used when associated "
                        "to an image file format; this way,\nWindows can automatically start it as "
                        "you click on an image file of that format\n");
    EXPECT_FALSE(exists(ini()));
}

TEST_F(startup, refuses_empty_files_folders_wildcards_and_missing_names) {
    ASSERT_TRUE(write_file(dir.file("empty.png"), ""));
    ASSERT_TRUE(write_file(dir.file("full.png"), "data"));
    for (const std::string& arg : {dir.file("empty.png"), dir.path(), dir.file("*.png"),
                                   dir.file("missing.png"), std::string("\"")}) {
        headless::clear_message_boxes();
        EXPECT_FALSE(run({arg}));
        EXPECT_TRUE(usage_shown()) << arg;
    }
    EXPECT_FALSE(exists(ini()));
}

TEST_F(startup, takes_a_path_with_blanks_and_writes_the_default_configuration) {
    std::string image = dir.file("my texture.tga");
    ASSERT_TRUE(write_file(image, tiny_tga()));
    EXPECT_FALSE(run({image}));
    EXPECT_TRUE(headless::message_boxes().empty());
    EXPECT_EQ(image_path, image);
    EXPECT_EQ(config_path, ini());
    std::string text = read_file(ini());
    EXPECT_EQ(text.rfind("; this file was generated on ", 0), 0u);
    EXPECT_NE(text.find("$exit:\t\t\tleft\t;"), std::string::npos);
}

TEST_F(startup, takes_a_quoted_path_and_a_percent_sign_unchanged) {
    std::string image = dir.file("50%s done.tga");
    ASSERT_TRUE(write_file(image, tiny_tga()));
    EXPECT_FALSE(run({"\"" + image + "\""}));
    EXPECT_TRUE(headless::message_boxes().empty());
    EXPECT_EQ(image_path, image);
}

TEST_F(startup, two_arguments_name_nothing) {
    ASSERT_TRUE(write_file(dir.file("a"), "data"));
    EXPECT_FALSE(run({dir.file("a"), "b"}));
    EXPECT_TRUE(usage_shown());
}

TEST_F(startup, rewrites_an_empty_configuration_and_keeps_a_written_one) {
    std::string image = dir.file("wall.tga");
    ASSERT_TRUE(write_file(image, tiny_tga()));
    ASSERT_TRUE(write_file(ini(), ""));
    run({image});
    EXPECT_NE(read_file(ini()).find("#eof"), std::string::npos);

    ASSERT_TRUE(write_file(ini(), "$resize threshold: 64\n"));
    run({image});
    EXPECT_EQ(read_file(ini()), "$resize threshold: 64\n");
}

TEST_F(startup, leaves_the_configuration_path_empty_when_it_would_not_fit) {
    headless::set_module_path(std::string(platform::max_path - 10, 'd') + "/glintview");
    set_environment("/" + std::string(platform::max_path - 10, 'x'), "");
    std::string image = dir.file("wall.tga");
    ASSERT_TRUE(write_file(image, tiny_tga()));
    run({image});
    EXPECT_EQ(config_path, "");
}

TEST_F(startup, reads_the_users_configuration_into_the_settings) {
    std::string image = dir.file("wall.tga");
    ASSERT_TRUE(write_file(image, tiny_tga()));
    ASSERT_TRUE(write_file(ini(), "; mine\r\n$resize threshold:\t32\r\n$resize filter:\tBOX\r\n"
                                  "$osd font color:\t(1 2 3)\r\n$exit:\t\t\tEscape\r\n#eof\r\n"
                                  "$osd font height: 99\r\n"));
    std::memset(&viewer_settings, 0, sizeof viewer_settings);
    run({image});
    EXPECT_EQ(viewer_settings.resize_threshold, 32);
    EXPECT_STREQ(viewer_settings.resize_filter, "box");
    EXPECT_EQ(viewer_settings.osd_font_color[2], 3);
    EXPECT_STREQ(viewer_settings.key_exit.key_name, "escape");
    EXPECT_EQ(viewer_settings.key_exit.virtual_key, 27);
    EXPECT_EQ(viewer_settings.osd_font_height, 14); // behind the end marker
    EXPECT_STREQ(viewer_settings.key_zoom_in.key_name, "up");
    EXPECT_EQ(viewer_settings.key_zoom_in.virtual_key, 38);
    EXPECT_FALSE(exists(dir.file("vorlex.log")));
    EXPECT_FALSE(exists("vorlex.log")); // the log is off
}

TEST_F(startup, reads_the_configuration_it_has_just_written) {
    std::string image = dir.file("wall.tga");
    ASSERT_TRUE(write_file(image, tiny_tga()));
    std::memset(&viewer_settings, 0, sizeof viewer_settings);
    run({image});
    EXPECT_STREQ(viewer_settings.default_layout, "top left");
    EXPECT_EQ(viewer_settings.key_snapshot.virtual_key, 122);
    EXPECT_EQ(viewer_settings.key_exit.virtual_key, 37);
}

TEST_F(startup, keeps_the_parser_until_the_application_object_goes) {
    std::string image = dir.file("wall.tga");
    ASSERT_TRUE(write_file(image, tiny_tga()));
    const char* argv[] = {"glintview", image.c_str()};
    platform::set_command_line(2, argv);
    {
        viewer_app app;
        EXPECT_EQ(app.parser, nullptr);
        app.init_instance();
        ASSERT_NE(app.parser, nullptr);
        EXPECT_EQ(app.parser->cursor, app.parser->text); // rewound after the last key
    }
}

TEST_F(startup, creates_no_parser_when_the_file_is_refused) {
    const char* argv[] = {"glintview"};
    platform::set_command_line(1, argv);
    viewer_app app;
    app.init_instance();
    EXPECT_EQ(app.parser, nullptr);
}

TEST_F(startup, keeps_the_configuration_in_the_users_folder_beside_an_unwritable_program) {
    headless::set_module_path(dir.file("missing/glintview")); // no folder to write into
    std::string image = dir.file("wall.tga");
    ASSERT_TRUE(write_file(image, tiny_tga()));
    run({image});
    std::string user_ini = dir.file("xdg/glintview/Glintview.ini");
    EXPECT_EQ(config_path, user_ini);
    EXPECT_NE(read_file(user_ini).find("#eof"), std::string::npos);

    ASSERT_TRUE(write_file(user_ini, "$resize threshold:\t32\n"));
    std::memset(&viewer_settings, 0, sizeof viewer_settings);
    run({image});
    EXPECT_EQ(viewer_settings.resize_threshold, 32);
    EXPECT_EQ(read_file(user_ini), "$resize threshold:\t32\n");
}

TEST_F(startup, finds_the_users_folder_from_xdg_config_home_or_home) {
    headless::set_module_path(dir.file("missing/glintview"));
    std::string image = dir.file("wall.tga");
    ASSERT_TRUE(write_file(image, tiny_tga()));
    std::string home_ini = dir.file("home/.config/glintview/Glintview.ini");
    const struct {
        std::string xdg, home, expected;
    } cases[] = {{dir.file("a/b"), dir.file("home"), dir.file("a/b/glintview/Glintview.ini")},
                 {"relative", dir.file("home"), home_ini},
                 {"", dir.file("home"), home_ini},
                 {"", "", ""}};
    for (const auto& c : cases) {
        set_environment(c.xdg, c.home);
        std::memset(&viewer_settings, 0, sizeof viewer_settings);
        run({image});
        EXPECT_EQ(config_path, c.expected) << c.xdg << " " << c.home;
        EXPECT_TRUE(c.expected.empty() || exists(c.expected)) << c.expected;
        EXPECT_EQ(viewer_settings.resize_threshold, 128); // the defaults serve in every case
    }
}

// Something at the configuration path that cannot be read is never written and never waited
// for: the defaults serve for this run and the thing stays as it was.
TEST_F(startup, leaves_an_unreadable_configuration_alone_and_uses_the_defaults) {
    std::string image = dir.file("wall.tga");
    ASSERT_TRUE(write_file(image, tiny_tga()));
    const struct {
        const char* what;
        void (*make)(const std::string& path);
    } cases[] = {
        {"fifo", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }},
        {"folder", [](const std::string& path) { ASSERT_EQ(mkdir(path.c_str(), 0700), 0); }},
        {"link to nothing",
         [](const std::string& path) { ASSERT_EQ(symlink("nowhere.ini", path.c_str()), 0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.make(ini());
        struct stat before {};
        ASSERT_EQ(lstat(ini().c_str(), &before), 0);
        std::memset(&viewer_settings, 0, sizeof viewer_settings);
        run({image});
        EXPECT_EQ(config_path, ini());
        EXPECT_EQ(viewer_settings.resize_threshold, 128);
        EXPECT_STREQ(viewer_settings.snapshot_type, "jpg");
        EXPECT_EQ(viewer_settings.key_exit.virtual_key, 37);
        struct stat after {};
        ASSERT_EQ(lstat(ini().c_str(), &after), 0);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_FALSE(exists(dir.file("nowhere.ini")));
        std::filesystem::remove(ini());
    }
}
