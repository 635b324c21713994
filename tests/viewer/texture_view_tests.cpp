// The texture artist's views: channels, the fit to the screen, and the keys of optional lines.
#include <array>
#include <cstdio>
#include <cstring>
#include <poll.h>

#include "config/settings.h"
#include "viewer/channel_view.h"
#include "viewer/fit_to_screen.h"
#include "viewer/pixel_readout.h"
#include "viewer_fixture.h"

namespace {

constexpr int channel_key = 67; // c

// 2 x 2, blue, green, red, alpha: alpha 0, 128, 255 and 64.
const bytes two_by_two = {10, 20, 30, 0, 40, 50, 60, 128, 70, 80, 90, 255, 100, 110, 120, 64};

class TextureView : public ViewerFixture {
  protected:
    // The four frame pixels after `presses` of the channel key.
    std::vector<std::uint32_t> shown_after(int presses) {
        std::vector<std::uint32_t> shown;
        std::vector<std::function<void(viewer_dialog&)>> steps;
        for (int i = 0; i < presses; ++i) {
            steps.push_back([](viewer_dialog&) {
                headless::queue_message(platform::key_down_message(channel_key));
            });
        }
        steps.push_back([&](viewer_dialog&) {
            for (int y = 0; y < 2; ++y) {
                for (int x = 0; x < 2; ++x) {
                    shown.push_back(last_frame().at(x, y));
                }
            }
        });
        run(steps);
        return shown;
    }
};

TEST_F(TextureView, EachChannelViewOfKnownPixels) {
    use_image("four.dds", dds_file(2, 2, two_by_two));
    struct row {
        int presses;
        std::vector<std::uint32_t> expected; // 0x00RRGGBB
    };
    const row rows[] = {
        {0, {0x1E140A, 0x3C3228, 0x5A5046, 0x786E64}}, // colour
        {1, {0x000000, 0x808080, 0xFFFFFF, 0x404040}}, // alpha as grey
        {2, {0x1E1E1E, 0x3C3C3C, 0x5A5A5A, 0x787878}}, // red
        {3, {0x141414, 0x323232, 0x505050, 0x6E6E6E}}, // green
        {4, {0x0A0A0A, 0x282828, 0x464646, 0x646464}}, // blue
        {5, {0xCCCCCC, 0x847F7A, 0x5A5046, 0xB7B4B2}}, // over the light square
        {6, {0x1E140A, 0x3C3228, 0x5A5046, 0x786E64}}, // colour again
    };
    for (const row& r : rows) {
        EXPECT_EQ(shown_after(r.presses), r.expected) << r.presses << " presses";
    }
}

TEST(ChannelView, CheckerboardSquaresAlternateEveryEightPixelsFromTheImageCorner) {
    std::vector<std::uint8_t> pixels(17 * 4, 0); // transparent black
    platform::surface row{pixels.data(), 17, 1, 17 * 4, 0, 0};
    show_channel_view(channel_view::checkerboard, row, 0, 0, 17, 1, 0, 0);
    EXPECT_EQ(pixels[7 * 4], checker_light);
    EXPECT_EQ(pixels[8 * 4], checker_dark);
    EXPECT_EQ(pixels[16 * 4], checker_light);
}

// An area large enough to be shown by two threads: the rows beside the split as every other,
// the pixels outside the area as they were.
TEST(ChannelView, ALargeAreaIsShownWhole) {
    constexpr int side = 530, corner = 2;
    auto original = [](int x, int y, int c) {
        const int values[4] = {x, y, x + y, x * y};
        return static_cast<std::uint8_t>(values[c] & 0xFF);
    };
    std::vector<std::uint8_t> pixels(std::size_t{side} * side * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = original(static_cast<int>(i / 4 % side), static_cast<int>(i / 4 / side), i % 4);
    }
    platform::surface surface{pixels.data(), side, side, side * 4, 0, 0};
    show_channel_view(channel_view::checkerboard, surface, corner, corner, side, side, corner,
                      corner);
    for (int y : {0, 2, 265, 266, side - 1}) { // the split lies between rows 265 and 266
        for (int x : {1, 2, 9, 10, side - 1}) {
            const bool dark = ((x - corner) / 8 + (y - corner) / 8) % 2 != 0;
            const unsigned grey = dark ? checker_dark : checker_light, alpha = original(x, y, 3);
            for (int c = 0; c < 4; ++c) {
                unsigned blended = (original(x, y, c) * alpha + grey * (255 - alpha) + 127) / 255;
                bool inside = x >= corner && y >= corner && c < 3;
                EXPECT_EQ(pixels[(static_cast<std::size_t>(y) * side + x) * 4 + c],
                          inside ? blended : original(x, y, c))
                    << x << ", " << y << " channel " << c;
            }
        }
    }
}

TEST_F(TextureView, SnapshotsKeepTheColoursWhileAChannelIsShown) {
    use_image("four.dds", dds_file(2, 2, two_by_two));
    bytes kept(16);
    run({[](viewer_dialog&) { headless::queue_message(platform::key_down_message(channel_key)); },
         [&](viewer_dialog& v) {
             EXPECT_EQ(last_frame().at(1, 0), 0x808080u);
             v.get_image()->get_screen_bitmap()->get_bits(16, kept.data());
         }});
    EXPECT_EQ(kept, two_by_two);
}

TEST_F(TextureView, AConfiguredHotKeyWinsOverTheChannelKey) {
    use_image("four.dds", dds_file(2, 2, two_by_two));
    viewer_settings.key_osd_info.virtual_key = channel_key;
    run({[](viewer_dialog&) { headless::queue_message(platform::key_down_message(channel_key)); },
         [](viewer_dialog& v) {
             EXPECT_TRUE(v.info_shown());
             EXPECT_EQ(v.get_image()->get_channel_view(), channel_view::colour);
         }});
}

TEST(FitToScreen, LargestSizeInsideTheScreenLessTheMargins) {
    struct row {
        std::int64_t width, height;
        int caption;
        std::int64_t expected;
    };
    const row rows[] = {
        {4096, 4096, 0, 730}, {1024, 768, 0, 973}, {1024, 768, 19, 948},
        {986, 730, 0, 0},     {987, 10, 0, 986},   {10, 5000, 0, 1},
    };
    for (const row& r : rows) {
        std::int64_t width = fitted_width(r.width, r.height, 1024, 768, 19, r.caption);
        EXPECT_EQ(width, r.expected) << r.width << "x" << r.height;
        if (width > 0) {
            EXPECT_LE(width * r.height / r.width, 768 - 38 - r.caption);
        }
    }
}

TEST_F(TextureView, ALargeImageOpensFittedAndZoomsOnFromThere) {
    use_pattern("big.png", IL_PNG, 1500, 1100);
    run({[](viewer_dialog& v) {
             platform::rect r = v.get_window()->window_rect();
             EXPECT_EQ(r.left, 19);
             EXPECT_EQ(r.top, 19);
             EXPECT_EQ(r.width(), 986);
             EXPECT_EQ(r.height(), 723);
             headless::queue_message(platform::key_down_message(platform::vk_up));
         },
         [](viewer_dialog& v) { EXPECT_EQ(v.get_image()->get_bitmap_desc().width, 986 + 128); }});
}

TEST_F(TextureView, WithoutFitToScreenALargeImageOpensAtItsSize) {
    use_pattern("big.png", IL_PNG, 1500, 1100);
    viewer_settings.fit_to_screen = false;
    run({[](viewer_dialog& v) { EXPECT_EQ(v.get_image()->get_bitmap_desc().width, 1500); }});
}

} // namespace

namespace {

void put32(std::string& file, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        file[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
    }
}

// A 16 x 16 A8R8G8B8 DDS with its 5 levels; level n is one grey, 40 x (n + 1).
std::string five_level_dds() {
    std::string file(128, '\0');
    file.replace(0, 4, "DDS ");
    put32(file, 4, 124);
    put32(file, 8, 0x1 | 0x2 | 0x4 | 0x1000 | 0x20000); // caps, sizes, format, mipmap count
    put32(file, 12, 16);
    put32(file, 16, 16);
    put32(file, 20, 16 * 4);
    put32(file, 28, 5);
    put32(file, 76, 32);
    put32(file, 80, 0x41); // RGB with alpha
    put32(file, 88, 32);
    put32(file, 92, 0x00FF0000);
    put32(file, 96, 0x0000FF00);
    put32(file, 100, 0x000000FF);
    put32(file, 104, 0xFF000000);
    put32(file, 108, 0x1000 | 0x8 | 0x400000); // texture, complex, mipmap
    for (int level = 0, side = 16; level < 5; ++level, side /= 2) {
        auto grey = static_cast<char>(40 * (level + 1));
        for (int i = 0; i < side * side; ++i) {
            file += {grey, grey, grey, static_cast<char>(255)};
        }
    }
    return file;
}

} // namespace

TEST_F(TextureView, MipLevelsStepDownToTheSmallestAndBack) {
    use_image("levels.dds", five_level_dds());
    constexpr int smaller = 78, larger = 66; // n, b
    std::vector<std::function<void(viewer_dialog&)>> steps;
    auto expect_level = [&](int level) {
        steps.push_back([this, level](viewer_dialog& v) {
            int side = 16 >> level;
            EXPECT_EQ(v.get_image()->get_mip_level(), level);
            EXPECT_EQ(v.get_window()->window_rect().width(), side) << level;
            std::uint32_t grey = 40u * (level + 1);
            EXPECT_EQ(last_frame().at(0, 0), grey << 16 | grey << 8 | grey) << level;
        });
    };
    auto press = [&](int key) {
        steps.push_back(
            [key](viewer_dialog&) { headless::queue_message(platform::key_down_message(key)); });
    };
    expect_level(0);
    for (int level = 1; level <= 5; ++level) {
        press(smaller);
        expect_level(std::min(level, 4)); // no level past the smallest
    }
    for (int level = 3; level >= -1; --level) {
        press(larger);
        expect_level(std::max(level, 0));
    }
    run(steps);
}

TEST_F(TextureView, ZoomAndResetWorkOnTheLevelShownAndThePanelNamesIt) {
    use_image("levels.dds", five_level_dds());
    run({[](viewer_dialog&) { headless::queue_message(platform::key_down_message(78)); },
         [](viewer_dialog&) {
             headless::queue_message(platform::key_down_message(platform::vk_up));
         },
         [](viewer_dialog& v) {
             EXPECT_EQ(v.get_image()->get_bitmap_desc().width, 8 + 128);
             EXPECT_EQ(v.get_image()->get_bitmap_desc().height, 8 + 128);
             v.toggle_info();
             v.repaint();
             EXPECT_NE(std::string(v.get_image()->get_osd_text()).find("Showing mip 2 of 5: 8x8"),
                       std::string::npos)
                 << v.get_image()->get_osd_text();
             EXPECT_NE(v.get_window()->text().find("| 16x16 @ 32bpp"), std::string::npos);
             headless::queue_message(platform::key_down_message(platform::vk_right));
         },
         [](viewer_dialog& v) { EXPECT_EQ(v.get_image()->get_bitmap_desc().width, 8); }});
}

TEST_F(TextureView, ReadoutFollowsThePointerThroughTheZoom) {
    use_pattern("read.png", IL_PNG, 300, 200);
    const bytes loaded = pattern(300, 200, 4);
    auto expected = [&](int x, int y) {
        const unsigned char* p = &loaded[(static_cast<std::size_t>(y) * 300 + x) * 4];
        char line[96];
        std::snprintf(line, sizeof line, "Pixel %d, %d: R %d G %d B %d A %d", x, y, p[2], p[1],
                      p[0], p[3]);
        return std::string(line);
    };
    struct row {
        int pointer_x, pointer_y, image_x, image_y;
    };
    // Shown at 428 x 285: the first and last pixel, and both sides of a step between pixels.
    const row rows[] = {{0, 0, 0, 0}, {427, 284, 299, 199}, {2, 10, 1, 7}, {3, 10, 2, 7}};
    const platform::bitmap* bitmap = nullptr;
    std::vector<std::function<void(viewer_dialog&)>> steps = {[&](viewer_dialog& v) {
        v.zoom_step(true);
        v.get_image()->finish_rescale();
        v.toggle_info();
        bitmap = v.get_image()->get_screen_bitmap();
    }};
    for (const row& r : rows) {
        steps.push_back([r](viewer_dialog&) {
            headless::queue_message(
                platform::button_message(platform::wm_mousemove, r.pointer_x, r.pointer_y));
        });
        steps.push_back([&, r](viewer_dialog& v) {
            std::string panel = v.get_image()->get_osd_text();
            EXPECT_NE(panel.find(expected(r.image_x, r.image_y)), std::string::npos) << panel;
            EXPECT_EQ(v.get_image()->get_screen_bitmap(), bitmap); // painted, not made again
        });
    }
    steps.push_back([](viewer_dialog&) {
        headless::queue_message({platform::wm_mouseleave, 0, 0});
    });
    steps.push_back([](viewer_dialog& v) {
        EXPECT_EQ(std::string(v.get_image()->get_osd_text()).find("Pixel"), std::string::npos);
    });
    run(steps);
}

namespace {

// Waits up to a second for the watched descriptor, then hands the loop's messages over as the
// desktop backend would: the descriptor ready; then, in the next step, the timer that it set.
void deliver_change(viewer_dialog&) {
    pollfd ready{headless::last_window().watched_descriptor, POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 1000), 1);
    headless::queue_message({platform::wm_descriptor_ready, 0, 0});
}

void fire_gathering_timer(viewer_dialog&) {
    EXPECT_EQ(headless::last_window().timer_milliseconds, 150);
    headless::queue_message({platform::wm_timer, 0, 0});
}

std::string grey_tga(unsigned char grey) {
    return tga_file(100, 50, bytes(100 * 50 * 3, grey), true);
}

} // namespace

TEST_F(TextureView, ReloadsOnRenameAndInPlaceKeepingZoomAndPanelAndSurvivesABadWrite) {
    use_image("live.tga", grey_tga(10));
    viewer_settings.resize_threshold = 100;
    auto rewrite_by_rename = [this](const std::string& data) {
        std::string temporary = dir.file("live.tga.part");
        ASSERT_TRUE(test_support::write_file(temporary, data));
        ASSERT_EQ(std::rename(temporary.c_str(), image_path.c_str()), 0);
    };
    auto expect_shown = [this](std::uint32_t grey) {
        return [this, grey](viewer_dialog& v) {
            EXPECT_EQ(v.get_image()->get_bitmap_desc().width, 200);
            EXPECT_TRUE(v.info_shown());
            EXPECT_EQ(last_frame().at(199, 99), grey << 16 | grey << 8 | grey);
        };
    };
    run({[&](viewer_dialog& v) {
             v.zoom_step(true);
             v.toggle_info();
             rewrite_by_rename(grey_tga(20));
         },
         deliver_change, fire_gathering_timer, expect_shown(20),
         [&](viewer_dialog&) { ASSERT_TRUE(test_support::write_file(image_path, "not an image")); },
         deliver_change, fire_gathering_timer, expect_shown(20), // the last good image stays
         [&](viewer_dialog&) { ASSERT_TRUE(test_support::write_file(image_path, grey_tga(30))); },
         deliver_change, fire_gathering_timer, expect_shown(30)});
    EXPECT_TRUE(headless::message_boxes().empty());
}

namespace {

// A 2 x 2 DDS of 16-bit or float channels: a four-character code's format, or 32-bit masks
// when `fourcc` is 0; `pixels` as the file stores them, top row first.
std::string wide_dds(std::uint32_t fourcc, std::uint32_t format_flags,
                     std::array<std::uint32_t, 4> masks, const std::string& pixels) {
    std::string file(128, '\0');
    file.replace(0, 4, "DDS ");
    put32(file, 4, 124);
    put32(file, 8, 0x1 | 0x2 | 0x4 | 0x1000); // caps, sizes, format
    put32(file, 12, 2);
    put32(file, 16, 2);
    put32(file, 76, 32);
    put32(file, 80, format_flags);
    put32(file, 84, fourcc);
    put32(file, 88, fourcc == 0 ? 32 : 0);
    for (int c = 0; c < 4; ++c) {
        put32(file, 92 + 4 * c, masks[c]);
    }
    put32(file, 108, 0x1000); // texture
    return file + pixels;
}

template <typename value> std::string stored(std::initializer_list<value> values) {
    std::string out;
    for (value v : values) {
        out.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
    return out;
}

} // namespace

TEST_F(TextureView, ReadoutGivesWideValuesAsStored) {
    struct row {
        const char* name;
        std::string file;
        const char* first; // the pixel at 0, 0
        const char* last;  // the pixel at 1, 1
    };
    const row rows[] = {
        {"float.dds",
         wide_dds(116, 0x4, {},
                  stored<float>(
                      {3.5f, -0.25f, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 123456.0f, 0.125f, -2, 0.5f})),
         "Pixel 0, 0: R 3.5 G -0.25 B 0 A 1", "Pixel 1, 1: R 1.235e+05 G 0.125 B -2 A 0.5"},
        {"sixteen.dds",
         wide_dds(
             36, 0x4, {},
             stored<std::uint16_t>({65535, 1, 300, 40000, 0, 0, 0, 0, 0, 0, 0, 0, 7, 0, 65534, 2})),
         "Pixel 0, 0: R 65535 G 1 B 300 A 40000", "Pixel 1, 1: R 7 G 0 B 65534 A 2"},
        {"grey.dds",
         wide_dds(0, 0x20001, {0xFFFF, 0, 0, 0xFFFF0000},
                  stored<std::uint16_t>({1234, 65535, 0, 0, 0, 0, 40000, 3})),
         "Pixel 0, 0: gray 1234 alpha 65535", "Pixel 1, 1: gray 40000 alpha 3"},
        {"eight.dds", dds_file(2, 2, two_by_two), "Pixel 0, 0: R 30 G 20 B 10 A 0",
         "Pixel 1, 1: R 120 G 110 B 100 A 64"},
    };
    for (const row& r : rows) {
        use_image(r.name, r.file);
        auto move_to = [](int x, int y) {
            return [x, y](viewer_dialog&) {
                headless::queue_message(platform::button_message(platform::wm_mousemove, x, y));
            };
        };
        auto expect = [](const char* line) {
            return [line](viewer_dialog& v) {
                std::string panel = v.get_image()->get_osd_text();
                EXPECT_NE(panel.find(line), std::string::npos) << panel;
            };
        };
        run({[](viewer_dialog& v) { v.toggle_info(); }, move_to(0, 0), expect(r.first),
             move_to(1, 1), expect(r.last)});
    }
}

TEST(StoredPixels, KeptForWideTypesInTheirOwnChannelsAndDroppedFor8Bits) {
    struct row {
        ILenum format, type;
        std::string pixels; // 2 x 1
        const char* second; // the readout of the pixel at 1, 0; null: no copy kept
    };
    const row rows[] = {
        {IL_LUMINANCE_ALPHA, IL_FLOAT, stored<float>({0, 0, -1.5f, 0.75f}),
         "Pixel 1, 0: gray -1.5 alpha 0.75"},
        {IL_BGR, IL_HALF, stored<std::uint16_t>({0, 0, 0, 0x4100, 0xB800, 0x3C00}), // 2.5, -0.5, 1
         "Pixel 1, 0: R 1 G -0.5 B 2.5 A 1"},
        {IL_LUMINANCE, IL_DOUBLE, stored<double>({0, 1e-3}), "Pixel 1, 0: gray 0.001 alpha 1"},
        {IL_RGBA, IL_UNSIGNED_BYTE, std::string(8, '\x40'), nullptr}, // after a wide image
    };
    ILuint name = ilGenImage();
    ilBindImage(name);
    stored_pixels kept;
    for (const row& r : rows) {
        ILubyte channels = r.format == IL_LUMINANCE ? 1 : r.format == IL_LUMINANCE_ALPHA ? 2 : 3;
        channels = r.format == IL_RGBA ? 4 : channels;
        ASSERT_TRUE(
            ilTexImage(2, 1, 1, channels, r.format, r.type, const_cast<char*>(r.pixels.data())));
        keep_stored_pixels(kept);
        char line[96] = "untouched";
        bool read = format_stored_readout(line, sizeof line, {1, 0}, kept);
        EXPECT_EQ(read, r.second != nullptr) << line;
        EXPECT_STREQ(line, r.second != nullptr ? r.second : "untouched");
        EXPECT_FALSE(format_stored_readout(line, sizeof line, {2, 0}, kept)); // outside
    }
    EXPECT_TRUE(kept.empty());
    ilDeleteImage(name);
}
