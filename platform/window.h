// One top-level window: its rectangle, title, icons, caption style, minimising, painting and
// move drags; and the system metrics that place it.
//
// The layer speaks screen pixels. The outer rectangle starts at the corner of the window
// manager's frame and is the client area plus, while the window has a caption, the caption's
// height above it; with the caption hidden it is the client area.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/gdi.h"

namespace platform {

// Window styles, with the classic values a window description is written in.
constexpr std::uint32_t ws_popup = 0x80000000;
constexpr std::uint32_t ws_visible = 0x10000000;
constexpr std::uint32_t ws_caption = 0x00C00000;
constexpr std::uint32_t ws_sysmenu = 0x00080000;
constexpr std::uint32_t ws_minimizebox = 0x00020000;
constexpr std::uint32_t ds_absalign = 0x01;
constexpr std::uint32_t ds_setfont = 0x40;
constexpr std::uint32_t ds_modalframe = 0x80;
constexpr std::uint32_t ds_setforeground = 0x200;
constexpr std::uint32_t ws_ex_topmost = 0x00000008;
constexpr std::uint32_t ws_ex_appwindow = 0x00040000;

struct rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

enum class metric {
    caption_height, // a caption bar
    screen_width,
    screen_height,
    icon_width,
    icon_height,
    small_caption_height, // a tool window's caption bar
    dpi_y,                // vertical dots per inch
};

// Headless: caption 19, screen 1024 x 768, icon 32 x 32, small caption 15, 96 dpi. The desktop
// answers the display's size and the window manager's caption height when it tells it.
int system_metric(metric which);

// What a window is made from: the counterpart of a dialog template. Sizes are pixels.
struct window_description {
    std::uint32_t style;
    std::uint32_t ex_style;
    const char* caption;
    int x;
    int y;
    int width;
    int height;
    const char* font_face;
    int font_points;
};

class dialog;
struct native_window; // the backend's part

class window {
  public:
    // Made hidden; `owner` receives the paint that update() sends.
    window(const window_description& description, dialog* owner);
    ~window();
    window(const window&) = delete;
    window& operator=(const window&) = delete;

    rect window_rect() const;
    rect client_rect() const; // left and top 0
    // Places the window at the top of the z-order with its outer rectangle at (x, y), width x
    // height (the client area is that less the caption, while there is one).
    void set_window_pos(int x, int y, int width, int height);

    void set_text(const char* text);
    const std::string& text() const { return title; }

    void set_icon(const icon* picture, bool big);
    const icon* icon_of(bool big) const { return big ? big_icon : small_icon; }

    std::uint32_t style() const { return styles; }
    std::uint32_t ex_style() const { return ex_styles; }
    // Removes, then adds styles; only the caption changes how the window looks.
    void modify_style(std::uint32_t remove, std::uint32_t add);

    void show();
    void minimize();
    bool is_minimized() const;

    // Marks the whole window for painting (the background is never erased); update() paints
    // it now if it is marked and shown, by sending wm_paint to the owner.
    void invalidate();
    void update();
    bool needs_paint() const { return invalid; }

    // The window manager moves the window with the pointer, as if its caption were dragged.
    void begin_move_drag();

    // The window's loop also watches `descriptor` (-1: none): once it is readable the owner
    // receives wm_descriptor_ready, and again only after that message has been handled, so the
    // handler must read what made it readable. One descriptor per window; the caller keeps it.
    void watch_descriptor(int descriptor);
    // The owner receives one wm_timer after `milliseconds`; setting it again starts it anew.
    void set_timer(int milliseconds);

    // Pixels of the client area, for the paint context; present() shows what was drawn.
    surface frame();
    void present();
    void validate() { invalid = false; }

    dialog* owner() const { return owning_dialog; }
    native_window* native() const { return backend_part.get(); }

  private:
    dialog* owning_dialog;
    std::uint32_t styles;
    std::uint32_t ex_styles;
    std::string title;
    const icon* big_icon = nullptr;
    const icon* small_icon = nullptr;
    bool invalid = true;
    std::unique_ptr<native_window, void (*)(native_window*)> backend_part;
};

} // namespace platform
