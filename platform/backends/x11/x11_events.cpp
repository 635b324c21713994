// The desktop backend's messages: X events of our window turned into the program's.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>

#include "platform/backends/x11/x11_window.h"
#include "platform/termination.h"

namespace platform {

namespace {

// The keysym of the key as its label reads: Shift and Caps Lock left out (a Windows virtual
// key names the key, not the character), Num Lock and the layout group kept.
KeySym key_symbol(const XKeyEvent& key) {
    KeySym symbol = NoSymbol;
    unsigned int modifiers = 0;
    XkbLookupKeySym(key.display, static_cast<KeyCode>(key.keycode),
                    key.state & ~(ShiftMask | LockMask), &modifiers, &symbol);
    return symbol;
}

// Without detectable auto-repeat a held key sends a release and a press with the same time
// stamp: the release is taken back when that press is next in the queue.
bool is_repeat_release(const XKeyEvent& release) {
    if (XEventsQueued(release.display, QueuedAfterReading) == 0) {
        return false;
    }
    XEvent next;
    XPeekEvent(release.display, &next);
    return next.type == KeyPress && next.xkey.keycode == release.keycode &&
           next.xkey.time == release.time;
}

// A press of a key that is down already is the desktop's repeat. Presses and repeats of a key
// that was down before the window had the keyboard belong to another window (the one an Escape
// ended a moment ago, say) and never reach this one. A repeat that piled up while the program
// was busy is dropped when `drop_repeats`: a slow command does not queue up behind itself.
void translate_key_press(native_window& native, const XKeyEvent& key, bool drop_repeats) {
    std::size_t code = key.keycode & 0xFF;
    bool repeat = native.keys_down[code];
    native.keys_down[code] = true;
    if (native.keys_held_from_before[code] || (repeat && drop_repeats)) {
        return;
    }
    if (int virtual_key = virtual_key_from_native(static_cast<std::uint32_t>(key_symbol(key)));
        virtual_key != 0) {
        native.pending.push_back(key_down_message(virtual_key));
    }
}

void translate_key_release(native_window& native, const XKeyEvent& key) {
    if (!native.x->detectable_repeat && is_repeat_release(key)) {
        return;
    }
    std::size_t code = key.keycode & 0xFF;
    native.keys_down[code] = false;
    native.keys_held_from_before[code] = false;
}

// The keyboard's state when the window got the focus (or the pointer): a key down now that
// was not pressed for this window was pressed for another.
void take_keymap(native_window& native, const char (&keys)[32]) {
    for (std::size_t code = 0; code < 256; ++code) {
        bool down = (keys[code / 8] >> (code % 8) & 1) != 0;
        native.keys_held_from_before[code] =
            down && (native.keys_held_from_before[code] || !native.keys_down[code]);
        native.keys_down[code] = down;
    }
}

// Buttons 4 and 5 are the wheel's notches.
void translate_button(native_window& native, const XButtonEvent& button) {
    switch (button.button) {
    case Button1:
        native.pending.push_back(button_message(wm_lbuttondown, button.x, button.y));
        break;
    case Button2:
        native.pending.push_back(button_message(wm_mbuttondown, button.x, button.y));
        break;
    case Button3:
        native.pending.push_back(button_message(wm_rbuttondown, button.x, button.y));
        break;
    case Button4:
        native.pending.push_back(wheel_message(wheel_delta));
        break;
    case Button5:
        native.pending.push_back(wheel_message(-wheel_delta));
        break;
    default:
        break;
    }
}

// A pointer that moves sends many events: the last waiting one takes the newest position.
void translate_motion(native_window& native, const XMotionEvent& motion) {
    message moved = button_message(wm_mousemove, motion.x, motion.y);
    if (!native.pending.empty() && native.pending.back().id == wm_mousemove) {
        native.pending.back() = moved;
    } else {
        native.pending.push_back(moved);
    }
}

// Exposures come in bursts: one paint serves them all.
void paint_once(native_window& native) {
    for (const message& waiting : native.pending) {
        if (waiting.id == wm_paint) {
            return;
        }
    }
    native.pending.push_back({wm_paint, 0, 0});
}

} // namespace

namespace x11 {

void read_frame_extents(native_window& native) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(native.x->display, native.window, native.x->atoms.net_frame_extents, 0,
                           4, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success &&
        data != nullptr && format == 32 && count == 4 && native.decorated) {
        const long* sides = reinterpret_cast<const long*>(data);
        native.frame = {static_cast<int>(sides[0]), static_cast<int>(sides[2]),
                        static_cast<int>(sides[1]), static_cast<int>(sides[3])};
        native.frame_known = true;
    }
    if (data != nullptr) {
        XFree(data);
    }
}

} // namespace x11

namespace {

// With no window manager the window's parent is the root, so the report tells where the client
// area is (another client may have moved it); one sent before the server carried out our last
// request is out of date.
void note_configuration(native_window& native, const XConfigureEvent& event) {
    if (native.x->window_manager || event.serial < native.placed_serial) {
        return;
    }
    const rect& screen = x11::screen_area();
    int x = event.x - screen.left;
    int y = event.y - screen.top;
    native.reported = {x, y, x + event.width, y + event.height};
    native.reported_known = true;
}

void translate(native_window& native, XEvent& event, bool drop_repeats) {
    switch (event.type) {
    case KeymapNotify: // follows a FocusIn or EnterNotify of the window
        take_keymap(native, event.xkeymap.key_vector);
        break;
    case KeyPress:
        translate_key_press(native, event.xkey, drop_repeats);
        break;
    case KeyRelease:
        translate_key_release(native, event.xkey);
        break;
    case ButtonPress:
        translate_button(native, event.xbutton);
        break;
    case MotionNotify:
        translate_motion(native, event.xmotion);
        break;
    case LeaveNotify:
        if (event.xcrossing.mode == NotifyNormal) {
            native.pending.push_back({wm_mouseleave, 0, 0});
        }
        break;
    case Expose:
        native.exposed = true;
        if (event.xexpose.count == 0) {
            paint_once(native);
        }
        break;
    case ConfigureNotify:
        native.placing = false; // the server (or the window manager) has said where it is
        note_configuration(native, event.xconfigure);
        break;
    case PropertyNotify:
        if (event.xproperty.atom == native.x->atoms.net_frame_extents) {
            x11::read_frame_extents(native);
        }
        break;
    case ClientMessage:
        if (event.xclient.message_type == native.x->atoms.wm_protocols &&
            static_cast<Atom>(event.xclient.data.l[0]) == native.x->atoms.wm_delete_window) {
            native.pending.push_back({wm_close, 0, 0});
        }
        break;
    default:
        break;
    }
}

} // namespace

namespace x11 {

void read_events(native_window& native, bool drop_repeats) {
    Display* display = native.x->display;
    // Xlib gives a keymap event no window: it follows the focus event of the window it is for.
    static Window focused = None;
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == FocusIn) {
            focused = event.xfocus.window;
        }
        Window window = event.type == KeymapNotify ? focused : event.xany.window;
        if (native_window* target = find_window(window)) {
            translate(*target, event, drop_repeats);
        }
    }
}

void await_expose(native_window& native, int timeout_ms) {
    using clock = std::chrono::steady_clock;
    auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
    read_events(native, false);
    while (!native.exposed && clock::now() < deadline) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
        if (!wait_for_events(native.x->display, static_cast<int>(left.count()) + 1)) {
            return;
        }
        read_events(native, false);
    }
}

void note_keys_held(native_window& native) {
    char keys[32] = {};
    XQueryKeymap(native.x->display, keys);
    take_keymap(native, keys);
}

} // namespace x11

namespace backend {

namespace {

// Milliseconds until the window's timer runs out (0 when it has), or -1 with no timer set.
int timer_left(const native_window& native) {
    if (!native.timer_set) {
        return -1;
    }
    auto left = std::chrono::ceil<std::chrono::milliseconds>(native.timer_deadline -
                                                             std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
}

// Messages for the watched descriptor and the timer, when they are due.
void take_watch_and_timer(native_window& native) {
    if (native.watched >= 0 && !native.watched_delivered) {
        pollfd watched{native.watched, POLLIN, 0};
        if (poll(&watched, 1, 0) > 0) {
            native.watched_delivered = true;
            native.pending.push_back(
                {wm_descriptor_ready, static_cast<std::uintptr_t>(native.watched), 0});
        }
    }
    if (native.timer_set && timer_left(native) == 0) {
        native.timer_set = false;
        native.pending.push_back({wm_timer, 0, 0});
    }
}

// Sleeps until the X connection, the termination pipe or the watched descriptor is readable,
// or the timer runs out. False when the program is asked to end.
bool sleep_for_input(native_window& native) {
    if (termination_signal() != 0) {
        return false;
    }
    if (XPending(native.x->display) > 0) {
        return true;
    }
    pollfd watched[3] = {{ConnectionNumber(native.x->display), POLLIN, 0},
                         {termination_descriptor(), POLLIN, 0},
                         {native.watched_delivered ? -1 : native.watched, POLLIN, 0}};
    int ready = poll(watched, 3, timer_left(native));
    return ready >= 0 || errno == EINTR;
}

} // namespace

bool wait_message(native_window* native, message& next) {
    for (;;) {
        // Asked first: a steady stream of events (a folder written to all the time, pointer
        // motion) must not keep the program from ending.
        if (termination_signal() != 0) {
            return false;
        }
        x11::read_events(*native, false);
        take_watch_and_timer(*native);
        if (!native->pending.empty()) {
            break;
        }
        if (!sleep_for_input(*native)) {
            return false; // asked to end
        }
    }
    next = native->pending.front();
    native->pending.pop_front();
    return true;
}

void watch_descriptor(native_window* native, int descriptor) {
    native->watched = descriptor;
    native->watched_delivered = false;
}

void set_timer(native_window* native, int milliseconds) {
    native->timer_set = true;
    native->timer_deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
}

// What the server sent while the program was busy is read now, after a round trip that brings
// every event up to this moment: its key repeats are older than the end of the message.
void message_done(native_window* native) {
    native->watched_delivered = false; // its handler has read what made it readable
    XSync(native->x->display, False);
    x11::read_events(*native, true);
}

} // namespace backend

} // namespace platform
