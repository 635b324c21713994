// The SDL backend's part of a window, shared by its window, event and X11 code. Private to
// backends/sdl.
#pragma once

#include <SDL.h>
#include <X11/Xlib.h>
#include <cstdint>
#include <deque>
#include <vector>

#include "platform/messages.h"
#include "platform/window.h"

namespace platform {

namespace sdl {
struct x_frame;
struct loop_watch;
} // namespace sdl

struct native_window {
    SDL_Window* window = nullptr;
    // The client area last asked for: the window manager frames a window only once it is
    // shown, so the position is asked for again then.
    rect wanted;
    bool decorated = false;
    // Shown once: from then on the X server tells where the window is.
    bool shown = false;
    // Our frame: an X image of the part on a display (sdl_frame.cpp), when the window's pixels
    // are laid out as ours.
    sdl::x_frame* frame = nullptr;
    bool frame_checked = false;
    // Otherwise SDL's window surface, and our frame beside it when that surface is not
    // XRGB8888, converted on present().
    std::vector<std::uint8_t> staging;
    int staging_width = 0;
    int staging_height = 0;
    // Messages translated but not yet handed out (a wheel turn of several notches).
    std::deque<message> pending;
    // SDL_GetTicks() when the program last finished a message.
    std::uint32_t done_ticks = 0;
    // The watched descriptor and the timer (sdl_watch.cpp), made on first use.
    sdl::loop_watch* watch = nullptr;
};

namespace sdl {

// Installs the backend's X error handler in place of the one SDL's start put there.
void handle_x_errors();
// The window's X connection and window; false when it is not on X11.
bool x11_handles(const native_window& native, Display*& display, Window& window);
// The client area's top-left corner on the screen, as the X server has it.
bool client_origin(const native_window& native, int& x, int& y);

// Whether the window can have a frame of our own: on X11, with pixels laid out as ours.
bool frame_possible(native_window& native);
// The frame for `part` of the client area (client coordinates), made or kept from the last
// paint; no pixels when the part is empty or no image can be made.
surface frame_for(native_window& native, const rect& part);
// Sends the frame's pixels to the window.
void put_frame(native_window& native);
void end_frame(native_window& native);

// A watch event of this window becomes its message; false for any other event.
bool translate_watch_event(native_window& native, const SDL_Event& event);
// The descriptor is watched again once the message that reported it has been handled.
void watch_message_handed_out(native_window& native, const message& handed);
void watch_message_done(native_window& native);
void end_watch(native_window& native);

} // namespace sdl

} // namespace platform
