// The little Xlib the backend needs beyond SDL: where the window is, move drags and the handling
// of X errors.
//
// Move drags: the window manager moves the window with the pointer (EWMH _NET_WM_MOVERESIZE).
// SDL's own hit test cannot serve: it is asked when the button goes down, before the program
// has seen the press and decided to drag.
#include "platform/backends/sdl/sdl_window.h"

#include <SDL_syswm.h>
#include <cstdio>
#include <unistd.h>

#include "platform/backend.h"

namespace platform {

namespace {

// SDL wakes its waiting loop with an event sent to our window over a second connection, which
// the server may carry out after the window is gone; Xlib's default handler would end the
// program for that. A request for a window already gone needs nothing; other errors are told.
int on_x_error(Display* display, XErrorEvent* error) {
    if (error->error_code != BadWindow) {
        char text[160];
        XGetErrorText(display, error->error_code, text, sizeof text);
        std::fprintf(stderr, "X error: %s (request %d)\n", text, error->request_code);
    }
    return 0;
}

// The connection is gone (the server ended, the session closed): nothing can be shown any
// more, so the program ends at once. Xlib's own handler would call exit(), whose handlers
// include the image library's shutdown, which frees our image blocks with the C library's
// free() although our allocator made them.
int on_connection_lost(Display*) {
    std::fputs("Glintview: the connection to the X server was lost\n", stderr);
    _exit(1);
}

constexpr long net_wm_moveresize_move = 8;
constexpr long source_application = 1;

void send_move_request(Display* display, Window window, int x, int y) {
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = window;
    request.xclient.message_type = XInternAtom(display, "_NET_WM_MOVERESIZE", False);
    request.xclient.format = 32;
    request.xclient.data.l[0] = x;
    request.xclient.data.l[1] = y;
    request.xclient.data.l[2] = net_wm_moveresize_move;
    request.xclient.data.l[3] = Button1;
    request.xclient.data.l[4] = source_application;
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &request);
}

// The window manager takes the pointer, so the release never reaches SDL, which would then
// take the next press for the same held button and drop it: tell it the button is up.
void send_release(Display* display, Window window, int x, int y, int root_x, int root_y) {
    XEvent release{};
    release.xbutton.type = ButtonRelease;
    release.xbutton.display = display;
    release.xbutton.window = window;
    release.xbutton.root = DefaultRootWindow(display);
    release.xbutton.x = x;
    release.xbutton.y = y;
    release.xbutton.x_root = root_x;
    release.xbutton.y_root = root_y;
    release.xbutton.button = Button1;
    release.xbutton.same_screen = True;
    XSendEvent(display, window, False, ButtonReleaseMask, &release);
}

} // namespace

namespace sdl {

void handle_x_errors() {
    XSetErrorHandler(on_x_error);
    XSetIOErrorHandler(on_connection_lost);
}

// SDL 2.26 counts the frame's position twice once a reparenting window manager has framed the
// window (openbox reports 38, 38 for a window at 19, 19), so the server is asked.
bool x11_handles(const native_window& native, Display*& display, Window& window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(native.window, &info) || info.subsystem != SDL_SYSWM_X11) {
        return false;
    }
    display = info.info.x11.display;
    window = info.info.x11.window;
    return true;
}

bool client_origin(const native_window& native, int& x, int& y) {
    Display* display = nullptr;
    Window window = 0;
    Window child = 0;
    return x11_handles(native, display, window) &&
           XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y,
                                 &child) != 0;
}

} // namespace sdl

namespace backend {

void begin_move_drag(native_window* native) {
    Display* display = nullptr;
    Window window = 0;
    if (!sdl::x11_handles(*native, display, window)) {
        return;
    }
    int root_x = 0;
    int root_y = 0;
    // Released already (a quick click): a move now would follow the pointer until the next
    // click.
    if ((SDL_GetGlobalMouseState(&root_x, &root_y) & SDL_BUTTON_LMASK) == 0) {
        return;
    }
    rect client = client_area(native);
    // The press grabbed the pointer for us; the window manager needs it.
    XUngrabPointer(display, CurrentTime);
    send_move_request(display, window, root_x, root_y);
    send_release(display, window, root_x - client.left, root_y - client.top, root_x, root_y);
    XFlush(display);
}

} // namespace backend

} // namespace platform
