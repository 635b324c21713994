// The desktop backend's one connection to the X server, opened on first use and kept for the
// life of the process. Private to backends/x11.
#pragma once

#include <X11/Xlib.h>

#include "platform/window.h"

namespace platform::x11 {

struct atom_set {
    Atom wm_protocols;
    Atom wm_delete_window;
    Atom wm_state;
    Atom net_wm_name;
    Atom utf8_string;
    Atom net_wm_state;
    Atom net_wm_state_above;
    Atom net_wm_icon;
    Atom net_wm_pid;
    Atom net_frame_extents;
    Atom net_request_frame_extents;
    Atom net_wm_moveresize;
    Atom motif_wm_hints;
};

struct connection {
    Display* display = nullptr;
    int screen = 0;
    Window root = 0;
    atom_set atoms{};
    // A window manager redirects the root's children: it frames, places and iconifies them.
    bool window_manager = false;
    // The server tells a held key's repeats from new presses (XKB's detectable auto-repeat),
    // once asked.
    bool detectable_repeat = false;
    bool repeat_asked = false;
};

// Opens the connection on a thread of its own while the program goes on; open_connection()
// waits for it. Only before the first use of the connection.
void start_connecting();
// The connection; null when no display can be opened, which is said once on standard error.
connection* open_connection();
// True once opening the display has failed.
bool connection_failed();
// Asks the server, once, to tell a held key's repeats from new presses: a round trip, which
// the first window makes once it is on the screen.
void ask_for_detectable_repeat(connection& c);

// The primary output's area in root coordinates (XRandR), else the root window's. The layer's
// screen coordinates start at its corner, as a desktop's primary screen does.
const rect& screen_area();

// Waits until the connection has events to read, at most `timeout_ms` (-1: no limit). False
// when the time ran out or the program was asked to end (SIGINT, SIGTERM).
bool wait_for_events(Display* display, int timeout_ms);

} // namespace platform::x11
