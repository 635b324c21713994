// The desktop backend's window: an SDL2 window on X11 whose surface holds our frame.
#include "platform/backends/sdl/sdl_window.h"

#include <cstdlib>
#include <new>
#include <string>

#include "platform/backend.h"

namespace platform {

namespace {

// The window alive now: the caption's height is its frame's.
native_window* alive = nullptr;

// The environment SDL starts in, put back as it was once SDL has started:
// - LC_ALL=C: SDL opens an X input method in the environment's locale, and in a UTF-8 locale
//   that means parsing the locale's whole compose table (about 10 ms here). The viewer reads
//   keys, never text, so the input method is never used; the C locale's table is small.
// - With no session bus named, libdbus would launch one for SDL: a daemon left running after
//   the viewer, which needs no bus. An address of no known kind fails at once.
class start_environment {
  public:
    start_environment() {
        set("LC_ALL", "C", false);
        set("DBUS_SESSION_BUS_ADDRESS", "disabled:", true);
    }
    ~start_environment() {
        for (const variable& v : saved) {
            if (!v.changed) {
                continue;
            }
            if (v.had_value) {
                setenv(v.name, v.value.c_str(), 1);
            } else {
                unsetenv(v.name);
            }
        }
    }
    start_environment(const start_environment&) = delete;
    start_environment& operator=(const start_environment&) = delete;

  private:
    struct variable {
        const char* name = nullptr;
        bool had_value = false;
        bool changed = false;
        std::string value;
    };

    void set(const char* name, const char* value, bool only_when_unset) {
        variable& v = saved[count++];
        const char* was = std::getenv(name);
        v.name = name;
        v.had_value = was != nullptr;
        v.value = was != nullptr ? was : "";
        v.changed = !(only_when_unset && v.had_value) && setenv(name, value, 1) == 0;
    }

    variable saved[2];
    int count = 0;
};

// Started once and kept for the life of the process. SDL's shutdown puts Xlib's default error
// handler back before it closes its second connection, where an error about a window already
// gone may still wait to be read, and that handler ends the program.
bool start_video() {
    static bool started = false;
    if (started) {
        return true;
    }
    // Hints, not overrides, so SDL_VIDEODRIVER set by the user still wins. Wayland lets no
    // client place itself or stay on top; on a Wayland desktop XWayland serves.
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    // The X server's shared image holds our pixels as they are; a GL texture in between would
    // cost a context and a copy per frame for nothing.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // Closing the window is a message to the dialog, not the end of the program.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // A picture left open for an hour is no game: the screen saver and the compositor carry on.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    {
        start_environment quiet;
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            return false;
        }
        // The viewer reads keys, never text: no input method to wake on every key.
        SDL_StopTextInput();
    }
    sdl::handle_x_errors();
    started = true;
    return true;
}

Uint32 window_flags(bool decorated, bool topmost) {
    return SDL_WINDOW_HIDDEN | (decorated ? 0 : SDL_WINDOW_BORDERLESS) |
           (topmost ? SDL_WINDOW_ALWAYS_ON_TOP : 0);
}

// SDL moves a framed window by its frame extents, which the window manager tells only once it
// has framed the window; read them, then ask for the client position again.
void place_in_frame(native_window& native) {
    SDL_PumpEvents();
    SDL_SetWindowPosition(native.window, native.wanted.left, native.wanted.top);
}

bool is_xrgb(const SDL_Surface& screen) {
    return screen.format->format == SDL_PIXELFORMAT_RGB888;
}

int caption_height() {
    int top = 0;
    if (alive == nullptr || !alive->decorated ||
        SDL_GetWindowBordersSize(alive->window, &top, nullptr, nullptr, nullptr) != 0 || top <= 0) {
        return 19;
    }
    return top;
}

int screen_size(bool width) {
    if (!start_video()) {
        return 0;
    }
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) {
        return 0;
    }
    return width ? mode.w : mode.h;
}

// The part of the client area (client coordinates) that lies on the displays: the box round
// its parts on each. A window as large as a 4096 x 4096 image is mostly off the screen; what
// comes into view later is exposed and painted then. The whole area when nothing is known of
// the displays.
rect visible_part(native_window& native) {
    rect client = backend::client_area(&native);
    SDL_Rect window_box{client.left, client.top, client.width(), client.height()};
    int displays = SDL_GetNumVideoDisplays();
    if (displays < 1) {
        return {0, 0, client.width(), client.height()};
    }
    SDL_Rect box{};
    for (int display = 0; display < displays; ++display) {
        SDL_Rect bounds;
        SDL_Rect part;
        if (SDL_GetDisplayBounds(display, &bounds) == 0 &&
            SDL_IntersectRect(&window_box, &bounds, &part) == SDL_TRUE) {
            SDL_UnionRect(&box, &part, &box);
        }
    }
    return {box.x - client.left, box.y - client.top, box.x - client.left + box.w,
            box.y - client.top + box.h};
}

} // namespace

int system_metric(metric which) {
    switch (which) {
    case metric::caption_height:
        return caption_height();
    case metric::screen_width:
        return screen_size(true);
    case metric::screen_height:
        return screen_size(false);
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
    if (!start_video()) {
        return nullptr;
    }
    SDL_Window* window =
        SDL_CreateWindow(title, x, y, width, height, window_flags(decorated, topmost));
    native_window* native = window != nullptr ? new (std::nothrow) native_window : nullptr;
    if (native == nullptr) {
        if (window != nullptr) {
            SDL_DestroyWindow(window);
        }
        return nullptr;
    }
    native->window = window;
    native->wanted = {x, y, x + width, y + height};
    native->decorated = decorated;
    alive = native;
    return native;
}

void destroy_window(native_window* native) {
    if (native == nullptr) {
        return;
    }
    if (alive == native) {
        alive = nullptr;
    }
    sdl::end_watch(*native);
    sdl::end_frame(*native);
    SDL_DestroyWindow(native->window);
    delete native;
}

rect client_area(const native_window* native) {
    rect area;
    int width = 0;
    int height = 0;
    if (!native->shown || !sdl::client_origin(*native, area.left, area.top)) {
        SDL_GetWindowPosition(native->window, &area.left, &area.top);
    }
    SDL_GetWindowSize(native->window, &width, &height);
    area.right = area.left + width;
    area.bottom = area.top + height;
    return area;
}

void set_client_area(native_window* native, int x, int y, int width, int height) {
    native->wanted = {x, y, x + width, y + height};
    SDL_SetWindowSize(native->window, width, height);
    SDL_SetWindowPosition(native->window, x, y);
}

void raise(native_window* native) {
    SDL_RaiseWindow(native->window);
}

void set_title(native_window* native, const char* title) {
    SDL_SetWindowTitle(native->window, title);
}

void set_icon(native_window* native, const icon& picture) {
    // The icon's pixels are 0x00RRGGBB words: SDL's RGB888. SDL keeps a copy.
    void* pixels = const_cast<std::uint32_t*>(picture.pixels().data());
    SDL_Surface* image = SDL_CreateRGBSurfaceWithFormatFrom(
        pixels, picture.width(), picture.height(), 32, picture.width() * 4, SDL_PIXELFORMAT_RGB888);
    if (image != nullptr) {
        SDL_SetWindowIcon(native->window, image);
        SDL_FreeSurface(image);
    }
}

// Meant for a hidden window, as the viewer removes its caption before showing it. On a shown
// one the window manager's new frame extents come later, and a placement made before they do is
// off by the old ones.
void set_decorated(native_window* native, bool decorated) {
    native->decorated = decorated;
    SDL_SetWindowBordered(native->window, decorated ? SDL_TRUE : SDL_FALSE);
}

void show(native_window* native) {
    native->shown = true;
    SDL_ShowWindow(native->window);
    if (native->decorated) {
        place_in_frame(*native);
    }
}

// The window manager iconifies the window when it gets to it; is_minimized() tells what it has
// done so far.
void minimize(native_window* native) {
    SDL_MinimizeWindow(native->window);
}

bool is_minimized(const native_window* native) {
    return (SDL_GetWindowFlags(native->window) & SDL_WINDOW_MINIMIZED) != 0;
}

// An X server of another depth (16 bits, say) gives the window another layout: we paint into
// a buffer of our own beside SDL's window surface and convert it once on present().
surface frame(native_window* native) {
    if (sdl::frame_possible(*native)) {
        return sdl::frame_for(*native, visible_part(*native));
    }
    SDL_Surface* screen = SDL_GetWindowSurface(native->window);
    if (screen == nullptr) {
        return {};
    }
    if (is_xrgb(*screen)) {
        return {static_cast<std::uint8_t*>(screen->pixels), screen->w, screen->h, screen->pitch};
    }
    native->staging.resize(static_cast<std::size_t>(screen->w) * screen->h * 4);
    native->staging_width = screen->w;
    native->staging_height = screen->h;
    return {native->staging.data(), screen->w, screen->h, screen->w * 4};
}

void present(native_window* native) {
    if (sdl::frame_possible(*native)) {
        sdl::put_frame(*native);
        return;
    }
    SDL_Surface* screen = SDL_GetWindowSurface(native->window);
    if (screen == nullptr) {
        return;
    }
    if (!is_xrgb(*screen) && native->staging_width == screen->w &&
        native->staging_height == screen->h) {
        SDL_ConvertPixels(screen->w, screen->h, SDL_PIXELFORMAT_RGB888, native->staging.data(),
                          screen->w * 4, screen->format->format, screen->pixels, screen->pitch);
    }
    SDL_UpdateWindowSurface(native->window);
}

} // namespace backend

} // namespace platform
