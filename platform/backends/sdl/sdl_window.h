// The SDL backend's part of a window, shared by its window, event and X11 code. Private to
// backends/sdl.
#pragma once

#include <SDL.h>
#include <cstdint>
#include <deque>
#include <vector>

#include "platform/messages.h"
#include "platform/window.h"

namespace platform {

struct native_window {
    SDL_Window* window = nullptr;
    // The client area last asked for: the window manager frames a window only once it is
    // shown, so the position is asked for again then.
    rect wanted;
    bool decorated = false;
    // Shown once: from then on the X server tells where the window is.
    bool shown = false;
    // Our frame when the window surface is not XRGB8888, converted on present().
    std::vector<std::uint8_t> staging;
    int staging_width = 0;
    int staging_height = 0;
    // Messages translated but not yet handed out (a wheel turn of several notches).
    std::deque<message> pending;
    // SDL_GetTicks() when the program last finished a message.
    std::uint32_t done_ticks = 0;
};

namespace sdl {

// Installs the backend's X error handler in place of the one SDL's start put there.
void handle_x_errors();
// The client area's top-left corner on the screen, as the X server has it.
bool client_origin(const native_window& native, int& x, int& y);

} // namespace sdl

} // namespace platform
