// The desktop backend's window: one top-level X window, described to the window manager by its
// properties (ICCCM, EWMH and Motif hints).
#include "platform/backends/x11/x11_window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <chrono>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// The windows alive now, the newest last: the caption's height is the newest decorated one's.
std::vector<native_window*> alive;

constexpr int default_caption = 19;
constexpr int frame_extents_wait_ms = 200;
constexpr int first_expose_wait_ms = 1000;
constexpr long event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask |
                            PointerMotionMask | LeaveWindowMask | StructureNotifyMask |
                            FocusChangeMask | KeymapStateMask | PropertyChangeMask;

void set_atom_list(const native_window& native, Atom property, const Atom* values, int count) {
    XChangeProperty(native.x->display, native.window, property, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(values), count);
}

void set_cardinals(const native_window& native, Atom property, const long* values, int count) {
    XChangeProperty(native.x->display, native.window, property, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(values), count);
}

bool is_utf8(const std::string& bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = lead < 0x80         ? 1
                             : (lead >> 5) == 6  ? 2
                             : (lead >> 4) == 14 ? 3
                             : (lead >> 3) == 30 ? 4
                                                 : 0;
        if (length == 0 || i + length > bytes.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(bytes[i + k]) >> 6) != 2) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

// Bytes that are not UTF-8 are taken as Latin-1, as the layer's text is.
std::string as_utf8(const char* text) {
    std::string bytes = text;
    if (is_utf8(bytes)) {
        return bytes;
    }
    std::string converted;
    for (char c : bytes) {
        auto code = static_cast<unsigned char>(c);
        if (code < 0x80) {
            converted += c;
        } else {
            converted += static_cast<char>(0xC0 | code >> 6);
            converted += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return converted;
}

// No decoration while the caption is hidden: the Motif hints' decorations field.
void set_decoration_hint(const native_window& native) {
    constexpr long decorations_flag = 2;
    const long hints[5] = {decorations_flag, 0, native.decorated ? 1 : 0, 0, 0};
    XChangeProperty(native.x->display, native.window, native.x->atoms.motif_wm_hints,
                    native.x->atoms.motif_wm_hints, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(hints), 5);
}

// Asks the window manager for the frame it would give the window; the answer comes as the
// _NET_FRAME_EXTENTS property.
void request_frame_extents(const native_window& native) {
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = native.window;
    request.xclient.message_type = native.x->atoms.net_request_frame_extents;
    request.xclient.format = 32;
    XSendEvent(native.x->display, native.x->root, False,
               SubstructureRedirectMask | SubstructureNotifyMask, &request);
}

void set_fixed_properties(native_window& native, bool topmost) {
    Display* display = native.x->display;
    XClassHint class_hint{const_cast<char*>("glintview"), const_cast<char*>("Glintview")};
    XSetClassHint(display, native.window, &class_hint);
    XWMHints wm_hints{};
    wm_hints.flags = InputHint | StateHint;
    wm_hints.input = True;
    wm_hints.initial_state = NormalState;
    XSetWMHints(display, native.window, &wm_hints);
    XSetWMProtocols(display, native.window, &native.x->atoms.wm_delete_window, 1);
    const long pid = getpid();
    set_cardinals(native, native.x->atoms.net_wm_pid, &pid, 1);
    if (topmost) {
        set_atom_list(native, native.x->atoms.net_wm_state, &native.x->atoms.net_wm_state_above, 1);
    }
    set_decoration_hint(native);
}

void set_size_hints(const native_window& native, int x, int y, int width, int height) {
    XSizeHints hints{};
    // The program sizes its windows; the user does not (a dialog has no sizing border).
    hints.flags = USPosition | USSize | PPosition | PSize | PWinGravity | PMinSize | PMaxSize;
    hints.x = x;
    hints.y = y;
    hints.width = hints.min_width = hints.max_width = width;
    hints.height = hints.min_height = hints.max_height = height;
    hints.win_gravity = NorthWestGravity;
    XSetWMNormalHints(native.x->display, native.window, &hints);
}

// Puts the frame's corner at (x, y) and sizes the client area; `frame` is the frame round it.
// A window manager puts the frame's corner where the window asks to be (north-west gravity);
// with none, the window stands where its client area goes.
void place_with(native_window& native, int x, int y, int width, int height,
                const backend::frame_extents& frame) {
    native.wanted = {x + frame.left, y + frame.top, x + frame.left + width, y + frame.top + height};
    native.placing = native.shown;
    const rect& screen = x11::screen_area();
    int at_x = screen.left + (native.x->window_manager ? x : native.wanted.left);
    int at_y = screen.top + (native.x->window_manager ? y : native.wanted.top);
    set_size_hints(native, at_x, at_y, width, height);
    // Nothing stands between the request and the server: it goes where it is asked.
    native.reported = native.wanted;
    native.reported_known = !native.x->window_manager;
    native.placed_serial = NextRequest(native.x->display);
    XMoveResizeWindow(native.x->display, native.window, at_x, at_y, width, height);
}

// The window manager answers the request made when the caption was given; until then the
// caption's usual height stands in.
void await_frame_extents(native_window& native) {
    if (native.frame_known) {
        return;
    }
    x11::read_frame_extents(native);
    using clock = std::chrono::steady_clock;
    auto deadline = clock::now() + std::chrono::milliseconds(frame_extents_wait_ms);
    while (!native.frame_known && clock::now() < deadline) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
        if (!x11::wait_for_events(native.x->display, static_cast<int>(left.count()) + 1)) {
            break;
        }
        x11::read_events(native, false);
    }
    if (!native.frame_known) {
        native.frame = {0, default_caption, 0, 0};
        native.frame_known = true;
    }
}

int caption_height() {
    for (auto window = alive.rbegin(); window != alive.rend(); ++window) {
        if ((*window)->decorated) {
            return backend::frame_of(*window).top;
        }
    }
    return default_caption;
}

// The part of the client area (client coordinates) that lies on the root window. A window as
// large as a 4096 x 4096 image is mostly off the screen; what comes into view later is exposed
// and painted then.
rect visible_part(native_window& native) {
    rect client = backend::client_area(&native);
    const rect& screen = x11::screen_area();
    int root_width = DisplayWidth(native.x->display, native.x->screen);
    int root_height = DisplayHeight(native.x->display, native.x->screen);
    int left = std::max(client.left, -screen.left);
    int top = std::max(client.top, -screen.top);
    int right = std::min(client.right, root_width - screen.left);
    int bottom = std::min(client.bottom, root_height - screen.top);
    if (right <= left || bottom <= top) {
        return {};
    }
    return {left - client.left, top - client.top, right - client.left, bottom - client.top};
}

} // namespace

namespace x11 {

native_window* find_window(Window window) {
    for (native_window* native : alive) {
        if (native->window == window) {
            return native;
        }
    }
    return nullptr;
}

} // namespace x11

int system_metric(metric which) {
    switch (which) {
    case metric::caption_height:
        return caption_height();
    case metric::screen_width:
        return x11::screen_area().width();
    case metric::screen_height:
        return x11::screen_area().height();
    case metric::icon_width:
    case metric::icon_height:
        return 32;
    case metric::small_caption_height:
        return 15;
    case metric::dpi_y:
        return 96;
    }
    return 0;
}

namespace backend {

native_window* create_window(const char* title, int x, int y, int width, int height, bool decorated,
                             bool topmost) {
    x11::connection* c = x11::open_connection();
    native_window* native = c != nullptr ? new (std::nothrow) native_window : nullptr;
    if (native == nullptr) {
        return nullptr;
    }
    native->x = c;
    native->decorated = decorated;
    XSetWindowAttributes attributes{};
    attributes.background_pixmap = None; // nothing drawn before our first frame
    attributes.bit_gravity = NorthWestGravity;
    attributes.event_mask = event_mask;
    native->window = XCreateWindow(
        c->display, c->root, 0, 0, std::max(width, 1), std::max(height, 1), 0, CopyFromParent,
        InputOutput, CopyFromParent, CWBackPixmap | CWBitGravity | CWEventMask, &attributes);
    set_fixed_properties(*native, topmost);
    set_title(native, title);
    if (decorated && c->window_manager) {
        request_frame_extents(*native);
    }
    alive.push_back(native);
    // The window manager's answer about the frame is not awaited here: the caption may yet go.
    frame_extents assumed = decorated ? frame_extents{0, default_caption, 0, 0} : frame_extents{};
    place_with(*native, x, y, std::max(width, 1), std::max(height, 1), assumed);
    return native;
}

void destroy_window(native_window* native) {
    if (native == nullptr) {
        return;
    }
    std::erase(alive, native);
    // With no window manager the keyboard goes back to the window that had it, if it is ours.
    native_window* previous = x11::find_window(native->previous_focus);
    if (previous != nullptr && previous->shown) {
        XSetInputFocus(native->x->display, previous->window, RevertToParent, CurrentTime);
    }
    x11::end_frame(*native);
    XDestroyWindow(native->x->display, native->window);
    XFlush(native->x->display);
    delete native;
}

rect client_area(const native_window* native) {
    if (!native->shown || native->placing) {
        return native->wanted;
    }
    if (native->reported_known) {
        return native->reported;
    }
    Display* display = native->x->display;
    Window child = 0;
    Window root = 0;
    int x = 0;
    int y = 0;
    int ignored = 0;
    unsigned width = 0;
    unsigned height = 0;
    unsigned border = 0;
    unsigned depth = 0;
    if (!XTranslateCoordinates(display, native->window, native->x->root, 0, 0, &x, &y, &child) ||
        !XGetGeometry(display, native->window, &root, &ignored, &ignored, &width, &height, &border,
                      &depth)) {
        return native->wanted;
    }
    const rect& screen = x11::screen_area();
    x -= screen.left;
    y -= screen.top;
    return {x, y, x + static_cast<int>(width), y + static_cast<int>(height)};
}

frame_extents frame_of(native_window* native) {
    if (!native->decorated) {
        return {};
    }
    if (!native->x->window_manager) {
        return {0, default_caption, 0, 0};
    }
    await_frame_extents(*native);
    return native->frame;
}

void place(native_window* native, int x, int y, int width, int height) {
    place_with(*native, x, y, std::max(width, 1), std::max(height, 1), frame_of(native));
}

void raise(native_window* native) {
    XRaiseWindow(native->x->display, native->window);
}

void set_title(native_window* native, const char* title) {
    Display* display = native->x->display;
    std::string utf8 = as_utf8(title);
    XChangeProperty(display, native->window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title),
                    static_cast<int>(std::char_traits<char>::length(title)));
    XChangeProperty(display, native->window, native->x->atoms.net_wm_name,
                    native->x->atoms.utf8_string, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8.data()),
                    static_cast<int>(utf8.size()));
}

// _NET_WM_ICON: width, height, then opaque 0xAARRGGBB pixels, each in a long.
void set_icon(native_window* native, const icon& picture) {
    std::vector<long> data;
    data.reserve(2 + picture.pixels().size());
    data.push_back(picture.width());
    data.push_back(picture.height());
    for (std::uint32_t pixel : picture.pixels()) {
        data.push_back(static_cast<long>(0xFF000000u | pixel));
    }
    set_cardinals(*native, native->x->atoms.net_wm_icon, data.data(),
                  static_cast<int>(data.size()));
}

// Meant for a hidden window, as the viewer removes its caption before showing it.
void set_decorated(native_window* native, bool decorated) {
    native->decorated = decorated;
    native->frame_known = false;
    set_decoration_hint(*native);
    if (decorated && native->x->window_manager) {
        request_frame_extents(*native);
    }
}

// Keys held now were pressed for another window. With no window manager to give the window
// the keyboard, it takes it, as a dialog brought to the foreground does.
void show(native_window* native) {
    x11::note_keys_held(*native);
    native->placing = true; // until the server tells where the window went
    XMapRaised(native->x->display, native->window);
    x11::await_expose(*native, first_expose_wait_ms);
    native->shown = true;
    if (!native->x->window_manager && native->exposed) {
        int revert = 0;
        XGetInputFocus(native->x->display, &native->previous_focus, &revert);
        XSetInputFocus(native->x->display, native->window, RevertToParent, CurrentTime);
    }
    x11::ask_for_detectable_repeat(*native->x);
}

void minimize(native_window* native) {
    XIconifyWindow(native->x->display, native->window, native->x->screen);
    XFlush(native->x->display);
}

// Only a window manager iconifies a window, and it says so in WM_STATE.
bool is_minimized(const native_window* native) {
    if (!native->x->window_manager) {
        return false;
    }
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    bool iconic = XGetWindowProperty(native->x->display, native->window, native->x->atoms.wm_state,
                                     0, 2, False, native->x->atoms.wm_state, &type, &format, &count,
                                     &after, &data) == Success &&
                  data != nullptr && format == 32 && count >= 1 &&
                  reinterpret_cast<const long*>(data)[0] == IconicState;
    if (data != nullptr) {
        XFree(data);
    }
    return iconic;
}

// The window manager moves the window with the pointer (EWMH _NET_WM_MOVERESIZE), as if its
// caption were dragged. A button already released (a quick click) starts nothing: the move
// would follow the pointer until the next click.
void begin_move_drag(native_window* native) {
    Display* display = native->x->display;
    Window root = 0;
    Window child = 0;
    int root_x = 0;
    int root_y = 0;
    int x = 0;
    int y = 0;
    unsigned buttons = 0;
    if (!XQueryPointer(display, native->window, &root, &child, &root_x, &root_y, &x, &y,
                       &buttons) ||
        (buttons & Button1Mask) == 0) {
        return;
    }
    constexpr long move = 8;
    constexpr long source_application = 1;
    XUngrabPointer(display, CurrentTime); // the press grabbed the pointer for us
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = native->window;
    request.xclient.message_type = native->x->atoms.net_wm_moveresize;
    request.xclient.format = 32;
    request.xclient.data.l[0] = root_x;
    request.xclient.data.l[1] = root_y;
    request.xclient.data.l[2] = move;
    request.xclient.data.l[3] = Button1;
    request.xclient.data.l[4] = source_application;
    XSendEvent(display, native->x->root, False, SubstructureRedirectMask | SubstructureNotifyMask,
               &request);
    XFlush(display);
}

surface frame(native_window* native) {
    return x11::frame_for(*native, visible_part(*native));
}

void present(native_window* native) {
    x11::put_frame(*native);
}

void prepare_display() {
    x11::start_connecting();
}

bool display_unavailable() {
    return x11::connection_failed();
}

} // namespace backend

} // namespace platform
