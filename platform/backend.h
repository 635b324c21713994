// What a backend provides under the window and the modal run. Private to the layer: nothing
// above platform/ includes it. The desktop backend is Xlib; the headless one keeps an in-memory
// screen for tests.
#pragma once

#include "platform/gdi.h"
#include "platform/messages.h"
#include "platform/window.h"

namespace platform::backend {

// What the frame round a window's client area adds on each side. A decorated window that no
// window manager frames keeps the caption's height above its client area all the same.
struct frame_extents {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// A hidden window with a client area of width x height, its frame's outer corner at (x, y),
// kept above other windows when `topmost`, with a frame and caption while `decorated`. Null
// when none can be made.
native_window* create_window(const char* title, int x, int y, int width, int height, bool decorated,
                             bool topmost);
void destroy_window(native_window* native);

// Client area in screen coordinates.
rect client_area(const native_window* native);
frame_extents frame_of(native_window* native);
// Puts the frame's outer corner at (x, y) and makes the client area width x height.
void place(native_window* native, int x, int y, int width, int height);
void raise(native_window* native);
void set_title(native_window* native, const char* title);
void set_icon(native_window* native, const icon& picture);
void set_decorated(native_window* native, bool decorated);
void show(native_window* native);
void minimize(native_window* native);
bool is_minimized(const native_window* native);
void begin_move_drag(native_window* native);

// The client area's pixels, valid until present() or the next resize.
surface frame(native_window* native);
void present(native_window* native);

// Blocks until the next message for the window (no polling). False when no message will ever
// come (headless: its queue is empty; desktop: the program was asked to end), which ends the
// modal run.
bool wait_message(native_window* native, message& next);
// Called when the program has finished with a message; a backend may drop key repeats that
// piled up meanwhile, so that a slow command does not queue up behind itself.
void message_done(native_window* native);

// Starts connecting to the display while the program goes on; the first window waits for it.
void prepare_display();
// True once the backend found no display to show anything on: the program ends with status 1.
bool display_unavailable();

// The wait also watches `descriptor` (-1: none) and delivers wm_descriptor_ready when it is
// readable, then not again before message_done; and one wm_timer after `milliseconds`.
void watch_descriptor(native_window* native, int descriptor);
void set_timer(native_window* native, int milliseconds);

} // namespace platform::backend
