// The viewer window on the headless screen (1024 x 768, caption 19): loading, placement, title
// and zoom.
#include <cstring>

#include "config/settings.h"
#include "viewer_fixture.h"

using Window = ViewerFixture;

namespace {

// The outer rectangle: the client area and, with a caption bar, the caption above it.
platform::rect outer(viewer_dialog& viewer) {
    return viewer.get_window()->window_rect();
}

} // namespace

TEST_F(Window, goes_to_the_configured_corner_with_and_without_a_caption) {
    struct case_t {
        const char* layout;
        bool caption;
        platform::rect expected;
    } cases[] = {
        {"bottom left", true, {19, 474, 19 + 256, 474 + 275}},
        {"bottom left", false, {19, 493, 19 + 256, 493 + 256}},
        {"top left", true, {19, 19, 275, 19 + 275}},
        {"top right", false, {749, 19, 1005, 275}},
        {"Top Left", true, {749, 474, 1005, 749}}, // names no corner: bottom right
    };
    use_pattern("square.png", IL_PNG, 256, 256);
    for (const case_t& c : cases) {
        set_text_field(viewer_settings.default_layout, c.layout);
        viewer_settings.show_caption_bar = c.caption;
        platform::rect got{};
        run({[&](viewer_dialog& v) { got = outer(v); }});
        EXPECT_EQ(got.left, c.expected.left) << c.layout << c.caption;
        EXPECT_EQ(got.top, c.expected.top) << c.layout << c.caption;
        EXPECT_EQ(got.right, c.expected.right) << c.layout << c.caption;
        EXPECT_EQ(got.bottom, c.expected.bottom) << c.layout << c.caption;
        EXPECT_EQ(headless::last_window().decorated, c.caption);
        EXPECT_TRUE(headless::last_window().topmost);
    }
}

TEST_F(Window, titles_the_file_as_loaded_with_its_size_in_kilobytes) {
    std::string file = tga_file(16, 16, pattern(16, 16, 3), false);
    file.resize(1536, '\0'); // the reader stops at the pixels' end
    use_image("pad.tga", file);
    std::string title;
    run({[&](viewer_dialog& v) {
        v.zoom_step(true);
        title = v.get_window()->text();
    }});
    EXPECT_EQ(title, "Glintview - pad.tga | 16x16 @ 24bpp | 2kb");
}

TEST_F(Window, zooms_in_steps_from_the_file_and_refuses_below_64_pixels) {
    viewer_settings.resize_threshold = 128;
    viewer_settings.fit_to_screen = false; // the widest case starts at the file's own width
    struct case_t {
        unsigned width, height;
        bool zoom_in;
        int shown_width, shown_height;
    } cases[] = {
        {180, 90, false, 180, 90}, // 52 is below 64
        {192, 96, false, 64, 32},
        {300, 200, true, 428, 285}, // 285.33 truncated
        {32700, 2, true, 32700, 2}, // no bitmap is that wide
    };
    for (const case_t& c : cases) {
        use_pattern("zoom.png", IL_PNG, c.width, c.height);
        platform::bitmap_info shown{};
        platform::rect window{};
        run({[&](viewer_dialog& v) {
            v.zoom_step(c.zoom_in);
            shown = v.get_image()->get_bitmap_desc();
            window = outer(v);
        }});
        EXPECT_EQ(shown.width, c.shown_width) << c.width;
        EXPECT_EQ(shown.height, c.shown_height) << c.width;
        EXPECT_EQ(window.width(), c.shown_width);
        EXPECT_EQ(window.height(), c.shown_height);
        EXPECT_EQ(last_frame().width, c.shown_width);
    }
}

TEST_F(Window, wheel_zooms_and_the_right_button_resets_only_a_zoomed_image) {
    use_pattern("wheel.png", IL_PNG, 300, 200);
    std::vector<int> widths;
    std::size_t frames_before = 0;
    auto then = [&](platform::message next) {
        return [&widths, next](viewer_dialog& v) {
            widths.push_back(v.get_image()->get_bitmap_desc().width);
            headless::queue_message(next);
        };
    };
    auto right_button = platform::button_message(platform::wm_rbuttondown, 5, 5);
    run({[&](viewer_dialog&) { frames_before = headless::frames().size(); }, then(right_button),
         [&](viewer_dialog&) { EXPECT_EQ(headless::frames().size(), frames_before); },
         then(platform::wheel_message(-120)), then(platform::wheel_message(-240)),
         then(right_button), then(platform::wheel_message(120)), then({})});
    // 300 - 128 = 172; 172 - 128 is below 64, refused; back to 300; 300 + 128.
    EXPECT_EQ(widths, (std::vector<int>{300, 300, 172, 172, 300, 428}));
}

TEST_F(Window, shows_every_kind_of_image_upright_through_a_32_bit_bitmap) {
    bytes rgb = pattern(3, 4, 3);
    struct case_t {
        const char* name;
        std::string file;
        int bpp;
    } cases[] = {
        {"bottom-up.bmp", bmp_file(3, 4, rgb, false), 24},
        {"top-down.tga", tga_file(3, 4, rgb, true), 24},
        {"bottom-up.tga", tga_file(3, 4, rgb, false), 24},
    };
    for (const case_t& c : cases) {
        use_image(c.name, c.file);
        run();
        ASSERT_FALSE(headless::frames().empty()) << c.name;
        const headless::frame& shown = last_frame();
        ASSERT_EQ(shown.width, 3) << c.name; // rows of 12 bytes
        bytes bgra = pattern(3, 4, 4);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 3; ++x) {
                EXPECT_EQ(shown.at(x, y), pattern_pixel(bgra, 3, x, y)) << c.name << x << y;
            }
        }
        EXPECT_NE(headless::last_window().title.find(" | 3x4 @ 24bpp | "), std::string::npos);
    }
}

TEST_F(Window, keeps_the_facts_as_loaded_for_grey_and_palette_images) {
    // A grey image with four levels, and the same as an 8-bit palette image.
    for (ILenum format : {IL_LUMINANCE, IL_COLOUR_INDEX}) {
        ILuint temporary = 0;
        ilGenImages(1, &temporary);
        ilBindImage(temporary);
        unsigned char grey[8 * 8];
        for (int i = 0; i < 64; ++i) {
            grey[i] = static_cast<unsigned char>(60 * (i % 4));
        }
        ilTexImage(8, 8, 1, 1, IL_LUMINANCE, IL_UNSIGNED_BYTE, grey);
        if (format == IL_COLOUR_INDEX) {
            ilConvertImage(IL_COLOUR_INDEX, IL_UNSIGNED_BYTE);
        }
        std::string path = dir.file(format == IL_LUMINANCE ? "grey.tga" : "palette.bmp");
        ASSERT_TRUE(ilSave(format == IL_LUMINANCE ? IL_TGA : IL_BMP, path.c_str()));
        ilDeleteImages(1, &temporary);
        image_path = path;
        displayed_image* image = nullptr;
        int actual_bpp = 0, colours = 0;
        run({[&](viewer_dialog& v) {
            image = v.get_image();
            actual_bpp = image->get_actual_bpp();
            colours = image->get_colors_used();
            EXPECT_EQ(image->get_bitmap_desc().bits_pixel, 32);
        }});
        EXPECT_EQ(actual_bpp, 8) << path;
        EXPECT_EQ(colours, 4) << path;
    }
}

TEST_F(Window, an_undecodable_file_is_reported_and_ends_the_viewer) {
    use_image("broken.png", "this is no picture");
    EXPECT_EQ(run(), 0);
    ASSERT_EQ(headless::message_boxes().size(), 1u);
    EXPECT_EQ(headless::message_boxes()[0].text,
              "************ ERROR ************\nError loading [" + image_path +
                  "]\n\nThis is an error from the DevIL image library, not my code\n");
    EXPECT_FALSE(headless::last_window().shown);
    EXPECT_TRUE(headless::last_window().destroyed);
}

TEST_F(Window, takes_over_the_panel_style_and_snapshot_options) {
    use_pattern("style.png", IL_PNG, 64, 64);
    viewer_settings.snapshot_use_rle = true;
    viewer_settings.snapshot_jpg_quality = 100;
    run({[](viewer_dialog& v) {
        displayed_image& image = *v.get_image();
        EXPECT_STREQ(image.get_font_name(), "Tahoma");
        EXPECT_EQ(image.get_transparent(), 0); // the settings' toggle starts off
        EXPECT_TRUE(image.get_tga_rle() && image.get_bmp_rle());
        EXPECT_EQ(image.get_jpg_quality(), 99);
        EXPECT_FALSE(v.help_shown() || v.info_shown() || v.version_shown());
        EXPECT_EQ(headless::last_window().icons_set, 2);
    }});
}
