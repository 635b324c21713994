// The desktop backend's part of a window, shared by its window, event and frame code. Private
// to backends/x11.
#pragma once

#include <X11/Xlib.h>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <deque>

#include "platform/backend.h"
#include "platform/backends/x11/x11_display.h"
#include "platform/messages.h"

namespace platform {

namespace x11 {
struct x_frame;
}

struct native_window {
    x11::connection* x = nullptr;
    Window window = 0;
    bool decorated = false;
    // Mapped once, and its first expose seen: from then on the X server says where it is.
    bool shown = false;
    bool exposed = false;
    // The window that had the keyboard before this one took it (no window manager), or None.
    Window previous_focus = None;
    // The client area last asked for (screen coordinates), and whether the server (or the window
    // manager) may not have carried the request out yet: until it tells of a change, the window
    // is where it was asked to be.
    rect wanted;
    bool placing = false;
    // With no window manager only requests move the window, and the server carries each out as
    // asked and reports the move: the client area as our last request (numbered
    // `placed_serial`) left it, or as a later report tells (screen coordinates). The server
    // need not be asked then.
    rect reported;
    bool reported_known = false;
    unsigned long placed_serial = 0;
    // The window manager's frame, once it has told it (_NET_FRAME_EXTENTS).
    backend::frame_extents frame;
    bool frame_known = false;
    // Our frame: an X image of the part of the client area on the screen (x11_frame.cpp).
    x11::x_frame* image = nullptr;
    // Messages translated but not yet handed out.
    std::deque<message> pending;
    // Keys down as we saw them: a press of a key already down is a repeat. Keys that were down
    // when the window got the keyboard were pressed for another window: their presses and
    // repeats are not ours until they are released.
    std::bitset<256> keys_down;
    std::bitset<256> keys_held_from_before;
    // A descriptor the loop also watches (-1: none), and whether its readiness was handed out
    // and not yet handled; the timer's deadline while one is set.
    int watched = -1;
    bool watched_delivered = false;
    bool timer_set = false;
    std::chrono::steady_clock::time_point timer_deadline;
};

namespace x11 {

// The window of ours that is `window`, or null.
native_window* find_window(Window window);

// Reads the events that have arrived and turns each into a message of the window it is for
// (`native` or another of ours); with `drop_repeats`, key repeats among them are dropped.
void read_events(native_window& native, bool drop_repeats);
// Reads events until the first expose of `native`, at most `timeout_ms`.
void await_expose(native_window& native, int timeout_ms);
// Reads the window manager's frame (_NET_FRAME_EXTENTS) when it has told it.
void read_frame_extents(native_window& native);
// Records the keys down now as pressed for another window.
void note_keys_held(native_window& native);

// The frame for `part` of the client area (client coordinates), made or kept from the last
// paint; no pixels when the part is empty or no image can be made.
surface frame_for(native_window& native, const rect& part);
// Sends the frame's pixels to the window.
void put_frame(native_window& native);
void end_frame(native_window& native);

} // namespace x11

} // namespace platform
