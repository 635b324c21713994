// The dialog framework on the headless backend: the modal run, the message table, the default
// handling, the window's rectangles, the key table and the metrics.
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "platform/backends/headless/headless.h"
#include "platform/framework.h"

namespace {

constexpr platform::window_description captioned = {platform::ws_popup | platform::ws_caption,
                                                    platform::ws_ex_topmost,
                                                    "probe",
                                                    10,
                                                    20,
                                                    100,
                                                    80,
                                                    "Tahoma",
                                                    8};

// Counts what reaches its table; consumes the key 'C' before the default handling.
class probe : public platform::dialog {
  public:
    probe() : platform::dialog(captioned) {}
    int wheels = 0;
    int paints = 0;
    bool initialised_before_shown = false;

  protected:
    bool on_init_dialog() override {
        initialised_before_shown = !headless::last_window().shown;
        return true;
    }
    bool pre_translate_message(const platform::message& m) override {
        return (m.id == platform::wm_keydown && m.wparam == 'C') ||
               platform::dialog::pre_translate_message(m);
    }
    std::span<const platform::message_entry> message_table() const override {
        static const platform::message_entry table[] = {
            {platform::wm_mousewheel, platform::handle<probe, &probe::on_wheel>},
            {platform::wm_paint, platform::handle<probe, &probe::on_paint>},
        };
        return table;
    }

  private:
    void on_wheel(const platform::message& m) { wheels += platform::wheel_delta_of(m); }
    void on_paint(const platform::message&) {
        platform::paint_context paint(*get_window());
        ++paints;
    }
};

} // namespace

TEST(framework, runs_the_table_and_ends_as_a_dialog_does) {
    struct case_t {
        platform::message last;
        int result;
        int wheels;
    } cases[] = {
        {platform::key_down_message(platform::vk_return), platform::id_ok, -120},
        {platform::key_down_message(platform::vk_escape), platform::id_cancel, -120},
        {{platform::wm_close, 0, 0}, platform::id_cancel, -120},
        {platform::key_down_message('K'), 0, 0}, // no end: both wheels, then the queue runs dry
    };
    for (const case_t& c : cases) {
        headless::reset();
        probe dialog;
        headless::queue_message(platform::wheel_message(-120));
        headless::queue_message(platform::key_down_message('C'));
        headless::queue_message(c.last);
        headless::queue_message(platform::wheel_message(120)); // never reached once ended
        EXPECT_EQ(dialog.do_modal(), c.result);
        EXPECT_EQ(dialog.wheels, c.wheels);
        EXPECT_TRUE(dialog.initialised_before_shown);
        EXPECT_TRUE(headless::last_window().destroyed);
        EXPECT_EQ(dialog.get_window(), nullptr);
    }
}

TEST(framework, the_outer_rectangle_holds_the_caption_and_update_paints_once) {
    headless::reset();
    probe dialog;
    headless::queue_call([&] {
        platform::window& w = *dialog.get_window();
        w.set_window_pos(19, 474, 256, 275);
        platform::rect outer = w.window_rect();
        EXPECT_EQ(outer.top, 474);
        EXPECT_EQ(outer.height(), 275);
        EXPECT_EQ(w.client_rect().height(), 256);
        w.modify_style(platform::ws_caption, 0);
        EXPECT_FALSE(headless::last_window().decorated);
        EXPECT_EQ(w.window_rect().height(), 256);
        int before = dialog.paints;
        w.invalidate();
        w.update();
        w.update();
        EXPECT_EQ(dialog.paints, before + 1);
    });
    dialog.do_modal();
}

TEST(framework, key_table_and_metrics) {
    struct case_t {
        std::uint32_t native;
        int virtual_key;
    } keys[] = {
        {XK_a, 65},
        {XK_z, 90},
        {XK_A, 65},
        {XK_Z, 90},
        {XK_0, 48},
        {XK_9, 57},
        {XK_F1, 112},
        {XK_F12, 123},
        {XK_F13, 124},
        {XK_F24, 135},
        {XK_KP_0, 96},
        {XK_KP_9, 105},
        {XK_KP_Multiply, 106},
        {XK_KP_Add, 107},
        {XK_KP_Separator, 108},
        {XK_KP_Subtract, 109},
        {XK_KP_Decimal, 110},
        {XK_KP_Divide, 111},
        {XK_Tab, 9},
        {XK_Return, 13},
        {XK_Escape, 27},
        {XK_space, 32},
        {XK_Page_Up, 33},
        {XK_Page_Down, 34},
        {XK_End, 35},
        {XK_Home, 36},
        {XK_Left, 37},
        {XK_Up, 38},
        {XK_Right, 39},
        {XK_Down, 40},
        {XK_Insert, 45},
        {XK_Delete, 46},
        {XK_KP_Left, 37},
        {XK_KP_Down, 40},
        {XK_KP_Home, 36},
        {XK_KP_Delete, 46},
        {XK_Shift_R, 16},
        {XK_Control_L, 17},
        {XK_Alt_R, 18},
        {XK_KP_Enter, 13},
        {XK_Caps_Lock, 0},
        {XK_F25, 0},
        {XK_bracketleft, 0},
        {XK_Meta_L, 0},
    };
    for (const case_t& k : keys) {
        EXPECT_EQ(platform::virtual_key_from_native(k.native), k.virtual_key) << k.native;
    }
    using platform::metric;
    EXPECT_EQ(platform::system_metric(metric::caption_height), 19);
    EXPECT_EQ(platform::system_metric(metric::small_caption_height), 15);
    EXPECT_EQ(platform::system_metric(metric::screen_width), 1024);
    EXPECT_EQ(platform::system_metric(metric::screen_height), 768);
    EXPECT_EQ(platform::system_metric(metric::icon_width), 32);
    EXPECT_EQ(platform::system_metric(metric::dpi_y), 96);
}
