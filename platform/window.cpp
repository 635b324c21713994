#include "platform/window.h"

#include "platform/backend.h"
#include "platform/framework.h"

namespace platform {

window::window(const window_description& description, dialog* owner)
    : owning_dialog(owner), styles(description.style & ~ws_visible),
      ex_styles(description.ex_style),
      title(description.caption != nullptr ? description.caption : ""),
      backend_part(nullptr, backend::destroy_window) {
    bool decorated = (styles & ws_caption) == ws_caption;
    int caption = decorated ? system_metric(metric::caption_height) : 0;
    backend_part.reset(backend::create_window(title.c_str(), description.x, description.y,
                                              description.width, description.height - caption,
                                              decorated, (ex_styles & ws_ex_topmost) != 0));
}

window::~window() = default;

// The outer rectangle starts at the frame's corner and is the client area's width wide and the
// caption's height taller: the arithmetic of placement counts no side borders.
rect window::window_rect() const {
    rect client = backend::client_area(native());
    backend::frame_extents frame = backend::frame_of(native());
    return {client.left - frame.left, client.top - frame.top, client.right - frame.left,
            client.bottom};
}

rect window::client_rect() const {
    rect client = backend::client_area(native());
    return {0, 0, client.width(), client.height()};
}

void window::set_window_pos(int x, int y, int width, int height) {
    backend::place(native(), x, y, width, height - backend::frame_of(native()).top);
    backend::raise(native());
}

void window::set_text(const char* text) {
    title = text != nullptr ? text : "";
    backend::set_title(native(), title.c_str());
}

void window::set_icon(const icon* picture, bool big) {
    (big ? big_icon : small_icon) = picture;
    if (picture != nullptr) {
        backend::set_icon(native(), *picture);
    }
}

void window::modify_style(std::uint32_t remove, std::uint32_t add) {
    bool had_caption = (styles & ws_caption) == ws_caption;
    styles = (styles & ~remove) | add;
    bool has_caption = (styles & ws_caption) == ws_caption;
    if (had_caption != has_caption) {
        backend::set_decorated(native(), has_caption);
    }
}

void window::show() {
    styles |= ws_visible;
    backend::show(native());
}

void window::minimize() {
    backend::minimize(native());
}

bool window::is_minimized() const {
    return backend::is_minimized(native());
}

void window::invalidate() {
    invalid = true;
}

// A hidden window is not painted: showing it brings its first paint.
void window::update() {
    if (invalid && (styles & ws_visible) != 0 && owning_dialog != nullptr) {
        owning_dialog->deliver({wm_paint, 0, 0});
    }
}

void window::begin_move_drag() {
    backend::begin_move_drag(native());
}

surface window::frame() {
    return backend::frame(native());
}

void window::present() {
    backend::present(native());
}

void window::watch_descriptor(int descriptor) {
    backend::watch_descriptor(native(), descriptor);
}

void window::set_timer(int milliseconds) {
    backend::set_timer(native(), milliseconds);
}

} // namespace platform
