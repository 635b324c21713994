// Hot keys, mouse commands and snapshots on the headless screen.
#include <filesystem>

#include "config/settings.h"
#include "platform/system.h"
#include "viewer_fixture.h"

using Commands = ViewerFixture;
using platform::key_down_message;

namespace {

// A snapshot's path beside the image, or "" when it is refused.
std::string snapshot_name(const std::string& image, const char* type) {
    char name[platform::max_path];
    return viewer_dialog::make_snapshot_name(image.c_str(), type, name) ? name : "";
}

} // namespace

TEST_F(Commands, keys_are_compared_in_row_order_and_others_reach_the_dialog) {
    use_pattern("keys.png", IL_PNG, 300, 200);
    viewer_settings.key_zoom_out.virtual_key = 'W';    // row 3 ...
    viewer_settings.key_osd_help.virtual_key = 'W';    // ... before row 5
    viewer_settings.key_exit.virtual_key = 'X';        // Escape still ends the program
    viewer_settings.key_text_smaller.virtual_key = 27; // ... for no later row
    int width = 0;
    bool help = true;
    EXPECT_EQ(run({[](viewer_dialog&) { headless::queue_message(key_down_message('W')); },
                   [&](viewer_dialog& v) {
                       width = v.get_image()->get_bitmap_desc().width;
                       help = v.help_shown();
                       headless::queue_message(key_down_message(27));
                   }}),
              0);
    EXPECT_EQ(width, 172);
    EXPECT_FALSE(help);
    // A key that is no hot key reaches the dialog: Enter ends it as OK.
    EXPECT_EQ(run({[](viewer_dialog&) {
                  headless::queue_message(key_down_message('K'));
                  headless::queue_message(key_down_message(13));
              }}),
              1);
}

TEST_F(Commands, panel_toggles_text_size_and_transparency) {
    use_pattern("panels.png", IL_PNG, 300, 200);
    struct step {
        int key;
        bool help, info, version;
        int font_height;
        bool transparent;
    } steps[] = {
        {9, true, false, false, 14, false},   // tab: help
        {'I', false, true, false, 14, false}, // info replaces it
        {'I', false, false, false, 14, false}, {'V', false, false, true, 14, false},
        {'O', false, false, true, 13, false},  {'P', false, false, true, 14, false},
        {'T', false, false, true, 14, true},
    };
    std::vector<std::function<void(viewer_dialog&)>> script;
    for (const step& s : steps) {
        script.push_back(
            [&s](viewer_dialog&) { headless::queue_message(key_down_message(s.key)); });
        script.push_back([&s](viewer_dialog& v) {
            EXPECT_EQ(v.help_shown(), s.help) << s.key;
            EXPECT_EQ(v.info_shown(), s.info) << s.key;
            EXPECT_EQ(v.version_shown(), s.version) << s.key;
            EXPECT_EQ(v.get_image()->get_font_height(), s.font_height) << s.key;
            EXPECT_EQ(v.get_image()->get_transparent() != 0, s.transparent) << s.key;
        });
    }
    script.push_back([](viewer_dialog& v) {
        v.get_image()->set_font_height(1);
        headless::queue_message(key_down_message('O'));
    });
    script.push_back([](viewer_dialog& v) { EXPECT_EQ(v.get_image()->get_font_height(), 14); });
    std::size_t frames = 0;
    script.insert(script.begin(), [&](viewer_dialog&) { frames = headless::frames().size(); });
    run(script);
    EXPECT_EQ(headless::frames().size(), frames + std::size(steps) + 1); // each repainted
    EXPECT_TRUE(viewer_settings.osd_text_transparent);
}

TEST_F(Commands, layout_keys_move_the_window_minimise_and_the_mouse) {
    use_pattern("corner.png", IL_PNG, 200, 100);
    std::string title;
    run({[&](viewer_dialog& v) {
             title = v.get_window()->text();
             headless::queue_message(key_down_message('S'));
         },
         [&](viewer_dialog& v) {
             platform::rect r = v.get_window()->window_rect();
             EXPECT_EQ(r.left, 1024 - 200 - 19);
             EXPECT_EQ(r.top, 768 - 100 - 19);
             EXPECT_STREQ(viewer_settings.default_layout, "bottom right");
             EXPECT_EQ(v.get_window()->text(), title);
             headless::queue_message(key_down_message('M'));
             headless::queue_message(platform::button_message(platform::wm_lbuttondown, 3, 3));
         },
         [](viewer_dialog&) {
             EXPECT_TRUE(headless::last_window().minimized);
             EXPECT_EQ(headless::last_window().move_drags, 1);
             headless::queue_message(platform::button_message(platform::wm_mbuttondown, 3, 3));
         },
         [](viewer_dialog&) { ADD_FAILURE() << "the middle button should have ended it"; }});
}

TEST_F(Commands, snapshot_names_never_overwrite_the_image) {
    struct case_t {
        const char* image;
        const char* type;
        const char* expected;
    } cases[] = {
        {"/img/wall.tga", "tga", "/img/wall (snapshot).tga"},
        {"/img/wall.tga", "bmp", "/img/wall.bmp"},
        {"/img/WALL.TGA", "tga", "/img/WALL (snapshot).tga"},
        {"/img/my.pics/wall", "png", "/img/my.pics/wall (snapshot).png"},
        {"/img/wall.tga", "", "/img/wall (snapshot)."},
    };
    for (const case_t& c : cases) {
        EXPECT_EQ(snapshot_name(c.image, c.type), c.expected) << c.image << c.type;
    }
    EXPECT_EQ(snapshot_name("/" + std::string(platform::max_path - 10, 'a') + ".tga", "tga"), "");
}

TEST_F(Commands, snapshots_write_what_is_shown) {
    use_pattern("shot.png", IL_PNG, 300, 200);
    std::string base = dir.file("shot");
    auto snapshot = [](viewer_dialog&) {
        headless::queue_message(key_down_message(122)); // f11
    };
    set_text_field(viewer_settings.snapshot_type, "tga");
    viewer_settings.snapshot_use_rle = false;
    run({[](viewer_dialog& v) { v.zoom_step(true); }, snapshot});
    ILuint check = library.create_image();
    ASSERT_TRUE(library.load_file((base + ".tga").c_str(), nullptr));
    EXPECT_EQ(library.get_width(), 428);
    EXPECT_EQ(library.get_height(), 285);
    EXPECT_EQ(test_support::read_file(base + ".tga")[2], 2); // uncompressed

    viewer_settings.snapshot_use_rle = true;
    run({snapshot}); // a new run did not write shot.tga: the other form
    EXPECT_EQ(test_support::read_file(base + " (snapshot).tga")[2], 10); // run-length encoded
    library.delete_image(check);

    set_text_field(viewer_settings.snapshot_type, "dds");
    run({snapshot});
    EXPECT_FALSE(test_support::exists(base + ".dds"));
    ASSERT_EQ(headless::message_boxes().size(), 1u);
    EXPECT_NE(headless::message_boxes()[0].text.find("power of 2"), std::string::npos)
        << headless::message_boxes()[0].text;
    use_pattern("square.png", IL_PNG, 384, 384); // zoomed out to 256 x 256
    run({[](viewer_dialog& v) { v.zoom_step(false); }, snapshot});
    EXPECT_TRUE(test_support::exists(dir.file("square.dds")));
}

// A snapshot whose name is a link (to the image, to a folder) replaces the link and follows
// nothing; one whose name is the image's own file under another name writes nothing; a type
// that is no plain word becomes "bmp", so it can never make the name a path elsewhere.
TEST_F(Commands, snapshots_never_write_through_links_or_onto_the_image) {
    use_pattern("pic.png", IL_PNG, 64, 32);
    const std::string image = test_support::read_file(image_path);
    std::filesystem::create_directory(dir.file("folder"));
    std::filesystem::create_directory(dir.file("pic.")); // for the name "pic./../pic.p"
    std::filesystem::create_symlink(image_path, dir.file("pic.jpg"));
    std::filesystem::create_directory_symlink(dir.file("folder"), dir.file("pic.tga"));
    std::filesystem::create_hard_link(image_path, dir.file("pic.bmp"));
    std::filesystem::create_hard_link(image_path, dir.file("pic.p"));
    ASSERT_TRUE(test_support::write_file(dir.file("pic.dds"), "a game's own texture"));
    ASSERT_TRUE(test_support::write_file(dir.file("pic.tif"), "another program's file"));
    std::filesystem::create_symlink(image_path, dir.file("pic (snapshot).tif"));
    std::filesystem::create_hard_link(image_path, dir.file("pic (snapshot).psd"));
    ASSERT_TRUE(test_support::write_file(dir.file("pic.psd"), "another program's file"));
    // Names taken by anything this run did not write get the "(snapshot)" form, which is never
    // written through a link nor onto the image.
    const struct {
        const char* type;
        const char* written; // the file that must now hold the snapshot, or null for none
        const char* type_after;
    } cases[] = {
        {"jpg", "pic (snapshot).jpg", "jpg"},       // beside a link to the image
        {"tga", "pic (snapshot).tga", "tga"},       // beside a link to a folder
        {"bmp", "pic (snapshot).bmp", "bmp"},       // beside the image under another name
        {"/../pic.p", "pic (snapshot).bmp", "bmp"}, // a path: the unknown type
        {"..", "pic (snapshot).bmp", "bmp"},
        {"dds", "pic (snapshot).dds", "dds"},
        {"tif", "pic (snapshot).tif", "tif"}, // the link replaced by a file, never followed
        {"psd", nullptr, "psd"},              // the "(snapshot)" name is the image: refused
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        set_text_field(viewer_settings.snapshot_type, c.type);
        run({[](viewer_dialog&) { headless::queue_message(key_down_message(122)); }});
        EXPECT_STREQ(viewer_settings.snapshot_type, c.type_after);
        EXPECT_EQ(test_support::read_file(image_path), image);
        if (c.written != nullptr) {
            EXPECT_FALSE(std::filesystem::is_symlink(dir.file(c.written)));
            EXPECT_NE(test_support::read_file(dir.file(c.written)), image);
            EXPECT_GT(test_support::read_file(dir.file(c.written)).size(), 0u);
        }
    }
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("pic.jpg")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("pic.tga")));
    EXPECT_EQ(test_support::read_file(dir.file("pic.dds")), "a game's own texture");
    EXPECT_EQ(test_support::read_file(dir.file("pic.tif")), "another program's file");
    EXPECT_EQ(test_support::read_file(dir.file("pic.psd")), "another program's file");
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("folder")));
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("pic.")));
    EXPECT_EQ(test_support::read_file(dir.file("pic.bmp")), image);
    EXPECT_EQ(test_support::read_file(dir.file("pic.p")), image);
    const char with_nul[8] = {'p', 'n', 'g', '\0', '/', '.', '.', '\0'};
    EXPECT_EQ(snapshot_name("/img/a.tga", with_nul), "/img/a.png");
    for (const char* path_like : {"/../a.p", "..", "a/b", "p g", "png."}) {
        EXPECT_EQ(snapshot_name("/img/a.tga", path_like), "") << path_like;
    }
}

// A name that this run wrote is replaced by its next snapshot, not moved to the other form.
TEST_F(Commands, a_snapshot_this_run_wrote_is_replaced) {
    use_pattern("pair.png", IL_PNG, 64, 32);
    set_text_field(viewer_settings.snapshot_type, "jpg");
    run({[](viewer_dialog&) {
        headless::queue_message(key_down_message(122));
        headless::queue_message(key_down_message(122));
    }});
    EXPECT_GT(test_support::read_file(dir.file("pair.jpg")).size(), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir.file("pair (snapshot).jpg")));
    // A later run did not write it: its snapshot takes the other form.
    run({[](viewer_dialog&) { headless::queue_message(key_down_message(122)); }});
    EXPECT_TRUE(std::filesystem::exists(dir.file("pair (snapshot).jpg")));
}
