// The message box the layer draws itself, on the headless backend: its window, its drawing and
// the inputs that answer it.
#include <gtest/gtest.h>

#include "platform/backends/headless/headless.h"
#include "platform/framework.h"
#include "platform/message_window.h"

namespace {

// A left click at (x, y) of the client area, counted from its bottom centre when `from_button`.
platform::message click(int x, int y, bool from_button) {
    const platform::rect& client = headless::last_window().client;
    if (from_button) {
        x += client.width() / 2;
        y += client.height() - 27; // the button's middle: 14 below it, 26 high
    }
    return platform::button_message(platform::wm_lbuttondown, x, y);
}

// Pixels of the rows from top to bottom whose blue is below `below`, or equal to `colour`.
int count_pixels(const headless::frame& f, int top, int bottom, std::uint32_t below,
                 std::uint32_t colour = 0x1000000) {
    int count = 0;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < f.width; ++x) {
            count += (f.at(x, y) & 0xFF) < below || f.at(x, y) == colour;
        }
    }
    return count;
}

} // namespace

TEST(message_window, draws_the_text_and_a_button_and_any_answer_is_ok) {
    const platform::message answers[] = {
        platform::key_down_message(platform::vk_return),
        platform::key_down_message(platform::vk_escape),
        platform::key_down_message(platform::vk_space),
        {platform::wm_close, 0, 0},
        platform::message{}, // replaced below by a click on the button
    };
    for (std::size_t i = 0; i < std::size(answers); ++i) {
        headless::reset();
        bool still_open_after_stray_input = false;
        bool ran_past_the_answer = false;
        headless::queue_call([&] {
            headless::queue_message(click(3, 3, false));              // beside the button
            headless::queue_message(platform::key_down_message('K')); // no answer
            headless::queue_call([&] {
                still_open_after_stray_input = !headless::last_window().destroyed;
                headless::queue_message(i + 1 < std::size(answers) ? answers[i]
                                                                   : click(0, 0, true));
                headless::queue_call([&] { ran_past_the_answer = true; });
            });
        });
        EXPECT_EQ(platform::run_message_window("First line\nSecond, longer line\n", "Caption"),
                  platform::id_ok);
        const headless::window_state& box = headless::last_window();
        EXPECT_TRUE(still_open_after_stray_input) << i;
        EXPECT_FALSE(ran_past_the_answer) << i;
        EXPECT_TRUE(box.destroyed) << i;
        EXPECT_EQ(box.title, "Caption");
        EXPECT_TRUE(box.topmost && box.decorated);
        // Centred on the 1024 x 768 screen, below its caption.
        EXPECT_EQ(box.client.left + box.client.right, 1024) << i;
        EXPECT_NEAR(box.client.top - 19 + box.client.bottom, 768, 1) << i;
        ASSERT_FALSE(headless::frames().empty());
        const headless::frame& drawn = headless::frames().front();
        // Two lines of black text above the button, a grey border and "OK" in it.
        int text_rows = drawn.height - 14 - 26 - 14;
        int button_top = drawn.height - 14 - 26;
        EXPECT_GT(count_pixels(drawn, 0, text_rows / 2, 0x60), 20) << i;
        EXPECT_GT(count_pixels(drawn, text_rows / 2, text_rows, 0x60), 20) << i;
        EXPECT_GT(count_pixels(drawn, button_top, button_top + 26, 0x60), 10) << i;
        EXPECT_GE(count_pixels(drawn, button_top, button_top + 26, 0, 0x707070), 2 * 88) << i;
        EXPECT_EQ(drawn.at(2, 2), 0xF0F0F0u) << i;
    }
}
