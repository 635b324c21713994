// Painting: the image, the three panels laid out character by character, the minimised icon.
#include <algorithm>

#include "config/settings.h"
#include "resources/icon_130.h"
#include "viewer_fixture.h"

namespace {

constexpr std::uint32_t image_colour = 0x204060;
constexpr std::uint32_t background = 81 << 16 | 53 << 8 | 36; // the default panel background

class Panels : public ViewerFixture {
  protected:
    // A plain image of one colour, so that every pixel a panel draws shows.
    void use_plain(const std::string& name, unsigned width, unsigned height) {
        bytes plain;
        for (unsigned i = 0; i < width * height; ++i) {
            plain.insert(plain.end(), {0x60, 0x40, 0x20, 0xFF});
        }
        use_image(name, encoded(IL_PNG, width, height, plain));
    }
    // Shows one panel and returns the painted frame.
    headless::frame painted(void (viewer_dialog::*toggle)()) {
        headless::frame shown;
        run({[&](viewer_dialog& v) {
            (v.*toggle)();
            v.repaint();
            shown = last_frame();
        }});
        return shown;
    }
    static long count(const headless::frame& f, std::uint32_t colour) {
        return std::count(f.pixels.begin(), f.pixels.end(), colour);
    }
};

} // namespace

TEST_F(Panels, help_columns_follow_the_worked_layout) {
    // Outer 276 x 295 with the caption: columns start at 27 - 15 and 165 - 15, the first line
    // at 29, and lines are 19 + 5 apart, so the second column's first text is at 29 + 3 x 24.
    viewer_settings.show_caption_bar = true;
    use_plain("help.png", 276, 276);
    headless::frame f = painted(&viewer_dialog::toggle_help);
    ASSERT_EQ(f.width, 276);
    EXPECT_EQ(f.at(12, 29), background);
    EXPECT_EQ(f.at(11, 29), image_colour);
    EXPECT_EQ(f.at(12, 28), image_colour);
    EXPECT_EQ(f.at(12, 101), background); // "Zoom in:"
    EXPECT_EQ(f.at(150, 101), background);
    EXPECT_EQ(f.at(149, 101), image_colour);
    EXPECT_EQ(f.at(150, 100), image_colour);
}

TEST_F(Panels, opaque_text_fills_its_cells_and_transparent_text_only_its_glyphs) {
    use_plain("text.png", 300, 200);
    for (bool transparent : {false, true}) {
        viewer_settings.osd_text_transparent = transparent;
        headless::frame f = painted(&viewer_dialog::toggle_version);
        long untouched = count(f, image_colour);
        EXPECT_LT(untouched, 300 * 200) << transparent;
        EXPECT_EQ(count(f, background) > 0, !transparent) << transparent;
        for (std::uint32_t pixel : f.pixels) {
            std::uint32_t green = pixel >> 8 & 0xFF;
            // Blends of the text colour (green 239) over the image or the background.
            ASSERT_TRUE(pixel == image_colour || pixel == background || green > 0x35)
                << std::hex << pixel;
        }
    }
}

TEST_F(Panels, info_and_version_texts) {
    use_plain("50%s.png", 300, 200);
    std::string info, version;
    run({[&](viewer_dialog& v) {
        v.zoom_step(true);
        v.toggle_info();
        v.repaint();
        info = v.get_image()->get_osd_text();
        v.toggle_version();
        v.repaint();
        version = v.get_image()->get_osd_text();
    }});
    EXPECT_EQ(info, "Information about \"50%s.png\"\n----\n\nSize: 428x285 (actual: 300x200)\n"
                    "Color depth: 32bpp\nColors used: 1 (actual: 1)\nMipmaps: 0");
    EXPECT_EQ(version.rfind("Glintview 1.0\n", 0), 0u);
    EXPECT_NE(version.find("\nThird-party library:\n\n---- DevIL ----\n| Version tag: 1.7.8\n"
                           "| Home page: "),
              std::string::npos);
}

TEST_F(Panels, a_minimised_window_paints_only_its_icon_centred) {
    use_plain("small.png", 100, 80);
    headless::frame f;
    run({[&](viewer_dialog& v) {
        v.get_window()->minimize();
        v.repaint();
        f = last_frame();
    }});
    const platform::icon picture(32, 32, resources::icon_130_bgr);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            ASSERT_EQ(f.at(34 + x, 24 + y), picture.pixels()[y * 32 + x] & 0xFFFFFF) << x << y;
        }
    }
    EXPECT_EQ(f.at(33, 24), image_colour);
}

// Text that does not fit is drawn smaller: inside the window, the help columns apart; a name in
// UTF-8 shows its characters, as its Latin-1 spelling does.
TEST_F(Panels, text_that_does_not_fit_is_drawn_smaller_and_names_are_utf8) {
    auto touches_right_edge = [](const headless::frame& f) {
        for (int y = 0; y < f.height; ++y) {
            if (f.at(f.width - 1, y) != image_colour)
                return true;
        }
        return false;
    };
    use_plain("wall.png", 256, 256);
    headless::frame info = painted(&viewer_dialog::toggle_info);
    EXPECT_LT(count(info, image_colour), 256 * 256);
    EXPECT_FALSE(touches_right_edge(info)); // at the text size's 19 pixels, "Size: ..." runs off

    use_plain("wall.png", 512, 300);
    headless::frame help = painted(&viewer_dialog::toggle_help);
    EXPECT_FALSE(touches_right_edge(help));
    const int second_column = 512 * 60 / 100 - 15;
    // Above the first column's last line ("NB: ..."), which stands alone, no line of the first
    // column reaches into the second.
    auto has_text = [&](int y) {
        for (int x = 0; x < help.width; ++x)
            if (help.at(x, y) != image_colour)
                return true;
        return false;
    };
    int last_line = help.height - 1;
    while (last_line > 0 && !has_text(last_line))
        --last_line;
    while (last_line > 0 && has_text(last_line))
        --last_line;
    ASSERT_GT(last_line, 60);
    for (int y = 0; y < last_line; ++y)
        ASSERT_EQ(help.at(second_column - 1, y), image_colour) << y;

    use_plain("gr\xC3\xBCne.png", 300, 200);
    headless::frame utf8 = painted(&viewer_dialog::toggle_info);
    use_plain("gr\xFCne.png", 300, 200);
    EXPECT_EQ(painted(&viewer_dialog::toggle_info).pixels, utf8.pixels);
}
