#include "platform/backends/x11/x11_display.h"

#include <X11/XKBlib.h>
#include <X11/extensions/Xrandr.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include "platform/termination.h"

namespace platform::x11 {

namespace {

connection the_connection;
rect screen;
bool opened = false;
bool failed = false;
pthread_t connecting_thread{};
bool connecting = false;

// A request about a window already gone needs nothing (a window manager may destroy a frame
// before our last request about it arrives); other errors are told. Xlib's default handler
// would end the program for any of them.
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

// All names in one round trip.
void intern_atoms(connection& c) {
    char* names[] = {
        const_cast<char*>("WM_PROTOCOLS"),
        const_cast<char*>("WM_DELETE_WINDOW"),
        const_cast<char*>("WM_STATE"),
        const_cast<char*>("_NET_WM_NAME"),
        const_cast<char*>("UTF8_STRING"),
        const_cast<char*>("_NET_WM_STATE"),
        const_cast<char*>("_NET_WM_STATE_ABOVE"),
        const_cast<char*>("_NET_WM_ICON"),
        const_cast<char*>("_NET_WM_PID"),
        const_cast<char*>("_NET_FRAME_EXTENTS"),
        const_cast<char*>("_NET_REQUEST_FRAME_EXTENTS"),
        const_cast<char*>("_NET_WM_MOVERESIZE"),
        const_cast<char*>("_MOTIF_WM_HINTS"),
    };
    constexpr int count = sizeof names / sizeof names[0];
    static_assert(sizeof(atom_set) == count * sizeof(Atom));
    Atom values[count] = {};
    XInternAtoms(c.display, names, count, False, values);
    Atom* fields = &c.atoms.wm_protocols;
    for (int i = 0; i < count; ++i) {
        fields[i] = values[i];
    }
}

bool has_window_manager(const connection& c) {
    XWindowAttributes root{};
    return XGetWindowAttributes(c.display, c.root, &root) != 0 &&
           (root.all_event_masks & SubstructureRedirectMask) != 0;
}

// The primary output's crtc, when XRandR names one that is lit.
bool primary_output_area(rect& area) {
    const connection& c = the_connection;
    int event_base = 0;
    int error_base = 0;
    if (!XRRQueryExtension(c.display, &event_base, &error_base)) {
        return false;
    }
    RROutput primary = XRRGetOutputPrimary(c.display, c.root);
    XRRScreenResources* resources =
        primary != None ? XRRGetScreenResourcesCurrent(c.display, c.root) : nullptr;
    if (resources == nullptr) {
        return false;
    }
    bool found = false;
    if (XRROutputInfo* output = XRRGetOutputInfo(c.display, resources, primary)) {
        XRRCrtcInfo* crtc =
            output->crtc != None ? XRRGetCrtcInfo(c.display, resources, output->crtc) : nullptr;
        if (crtc != nullptr && crtc->width > 0 && crtc->height > 0) {
            area = {crtc->x, crtc->y, crtc->x + static_cast<int>(crtc->width),
                    crtc->y + static_cast<int>(crtc->height)};
            found = true;
        }
        if (crtc != nullptr) {
            XRRFreeCrtcInfo(crtc);
        }
        XRRFreeOutputInfo(output);
    }
    XRRFreeScreenResources(resources);
    return found;
}

// A server whose last client has just left resets itself and, for a moment, resets or refuses
// the connections it is offered (Xvfb as scripts and tests run it: a viewer started right after
// the last one ended meets it, and a reset that reloads the keyboard map on a busy machine takes
// a while). Such a display is asked again for up to three seconds; one that is not there at all
// (no socket to connect to) is not.
bool worth_another_try(int error) {
    return error == ECONNRESET || error == EAGAIN || error == EINTR || error == 0;
}

Display* connect_to_server() {
    constexpr int attempts = 60;
    constexpr useconds_t pause_us = 50000;
    const char* name = XDisplayName(nullptr);
    bool named = name != nullptr && name[0] != '\0';
    for (int attempt = 1;; ++attempt) {
        errno = 0;
        Display* display = XOpenDisplay(nullptr);
        if (display != nullptr || !named || !worth_another_try(errno) || attempt == attempts ||
            termination_signal() != 0) {
            return display;
        }
        usleep(pause_us);
    }
}

// Opens the display and asks it everything the first window needs, on the connecting thread or
// on the caller's.
void set_up_connection() {
    connection& c = the_connection;
    c.display = connect_to_server();
    if (c.display == nullptr) {
        failed = true;
        const char* name = XDisplayName(nullptr);
        std::fprintf(stderr, "Glintview: cannot open the X display \"%s\"\n",
                     name != nullptr ? name : "");
        return;
    }
    XSetErrorHandler(on_x_error);
    XSetIOErrorHandler(on_connection_lost);
    c.screen = DefaultScreen(c.display);
    c.root = RootWindow(c.display, c.screen);
    intern_atoms(c);
    c.window_manager = has_window_manager(c);
    if (!primary_output_area(screen)) {
        screen = {0, 0, DisplayWidth(c.display, c.screen), DisplayHeight(c.display, c.screen)};
    }
    opened = true;
}

void* connect_in_background(void*) {
    set_up_connection();
    return nullptr;
}

// Until it is joined, the connecting thread alone touches the connection.
void finish_connecting() {
    if (connecting) {
        pthread_join(connecting_thread, nullptr);
        connecting = false;
    }
}

// A program that ends before it used the display still waits for the thread.
struct joined_at_exit {
    ~joined_at_exit() { finish_connecting(); }
} joiner;

} // namespace

void start_connecting() {
    if (opened || failed || connecting) {
        return;
    }
    // Without a thread the first window connects as before.
    connecting = pthread_create(&connecting_thread, nullptr, connect_in_background, nullptr) == 0;
}

connection* open_connection() {
    finish_connecting();
    if (!opened && !failed) {
        set_up_connection();
    }
    return opened ? &the_connection : nullptr;
}

bool connection_failed() {
    finish_connecting();
    return failed;
}

void ask_for_detectable_repeat(connection& c) {
    if (c.repeat_asked) {
        return;
    }
    Bool supported = False;
    XkbSetDetectableAutoRepeat(c.display, True, &supported);
    c.detectable_repeat = supported != False;
    c.repeat_asked = true;
}

const rect& screen_area() {
    open_connection();
    return screen;
}

bool wait_for_events(Display* display, int timeout_ms) {
    using clock = std::chrono::steady_clock;
    const clock::time_point deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (termination_signal() != 0) {
            return false;
        }
        if (XPending(display) > 0) {
            return true;
        }
        pollfd watched[2] = {{ConnectionNumber(display), POLLIN, 0},
                             {termination_descriptor(), POLLIN, 0}};
        int left = -1;
        if (timeout_ms >= 0) {
            auto rest = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock::now());
            left = static_cast<int>(std::max<std::int64_t>(rest.count(), 0));
        }
        int ready = poll(watched, termination_descriptor() >= 0 ? 2 : 1, left);
        if (ready == 0) {
            return false;
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
}

} // namespace platform::x11
