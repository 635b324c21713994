// The window's frame as an X image of our own, covering only the part of the client area that
// lies on a display, sent through shared memory when the server offers it.
//
// SDL's window surface would cover the whole client area: 64 MiB for a 4096 x 4096 picture of
// which a 1920 x 1080 screen shows an eighth, all of it faulted in on the first paint and held
// for the life of the window.
//
// The first frame goes over the connection instead, from huge-page memory: a fresh shared
// segment is faulted in 4 KiB at a time on both sides, ours and the server's, which costs the
// first paint more than sending the pixels. Later paints, where that cost is paid once and the
// copy every time, use a shared segment.
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <new>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>

#include "platform/backends/sdl/sdl_window.h"
#include "platform/pixel_memory.h"

namespace platform::sdl {

struct x_frame {
    Display* display = nullptr;
    Window window = 0;
    Visual* visual = nullptr;
    GC gc = nullptr;
    XImage* image = nullptr;
    XShmSegmentInfo segment{};
    bool shared = false;
    bool sharing_refused = false; // a server on another machine
    bool painted = false;
    rect part; // in client coordinates
};

namespace {

bool attach_refused = false;

int note_refusal(Display*, XErrorEvent*) {
    attach_refused = true;
    return 0;
}

// Our pixels are blue, green, red, unused bytes: a little-endian 32-bit 0x00RRGGBB.
bool holds_xrgb(const XWindowAttributes& attributes) {
    const Visual* visual = attributes.visual;
    bool direct =
        visual != nullptr && (visual->c_class == TrueColor || visual->c_class == DirectColor);
    return attributes.depth == 24 && direct && visual->red_mask == 0xFF0000 &&
           visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
}

bool layout_fits(const XImage& image) {
    return image.bits_per_pixel == 32 && image.byte_order == LSBFirst;
}

// A server on another machine refuses to attach our segment, and says so only in an error:
// attach, wait for the answer, and mark the segment for removal once both sides let go.
bool attach_segment(x_frame& frame) {
    XShmSegmentInfo& segment = frame.segment;
    std::size_t bytes = static_cast<std::size_t>(frame.image->bytes_per_line) * frame.image->height;
    segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (segment.shmid < 0) {
        return false;
    }
    segment.shmaddr = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
    bool mapped = segment.shmaddr != reinterpret_cast<char*>(-1);
#ifdef MADV_POPULATE_WRITE
    if (mapped) {
        madvise(segment.shmaddr, bytes, MADV_POPULATE_WRITE); // one call, not a fault per page
    }
#endif
    bool attached = false;
    if (mapped) {
        segment.readOnly = False;
        attach_refused = false;
        XErrorHandler previous = XSetErrorHandler(note_refusal);
        attached = XShmAttach(frame.display, &segment) != 0;
        XSync(frame.display, False);
        XSetErrorHandler(previous);
        attached = attached && !attach_refused;
    }
    shmctl(segment.shmid, IPC_RMID, nullptr);
    if (!attached) {
        if (mapped) {
            shmdt(segment.shmaddr);
        }
        return false;
    }
    frame.image->data = segment.shmaddr;
    return true;
}

void drop_image(x_frame& frame) {
    if (frame.image == nullptr) {
        return;
    }
    if (frame.shared) {
        XShmDetach(frame.display, &frame.segment);
        XSync(frame.display, False);
        shmdt(frame.segment.shmaddr);
    } else {
        platform::free_pixels(frame.image->data);
    }
    frame.image->data = nullptr; // not the C library's to free
    XDestroyImage(frame.image);
    frame.image = nullptr;
    frame.shared = false;
}

bool make_shared_image(x_frame& frame, int width, int height) {
    if (frame.sharing_refused || !XShmQueryExtension(frame.display)) {
        return false;
    }
    frame.image = XShmCreateImage(frame.display, frame.visual, 24, ZPixmap, nullptr, &frame.segment,
                                  width, height);
    if (frame.image != nullptr && layout_fits(*frame.image) && attach_segment(frame)) {
        frame.shared = true;
        return true;
    }
    drop_image(frame);
    frame.sharing_refused = true;
    return false;
}

bool make_plain_image(x_frame& frame, int width, int height) {
    frame.image =
        XCreateImage(frame.display, frame.visual, 24, ZPixmap, 0, nullptr, width, height, 32, 0);
    if (frame.image == nullptr) {
        return false;
    }
    std::size_t bytes = static_cast<std::size_t>(frame.image->bytes_per_line) * height;
    frame.image->data = static_cast<char*>(platform::allocate_pixels(bytes));
    if (frame.image->data == nullptr || !layout_fits(*frame.image)) {
        drop_image(frame);
        return false;
    }
    return true;
}

// The window's connection, visual and a graphics context, once per window; null when the
// window is not on X11 or its pixels are not laid out as ours.
x_frame* start_frame(native_window& native) {
    Display* display = nullptr;
    Window window = 0;
    XWindowAttributes attributes{};
    if (!x11_handles(native, display, window) ||
        !XGetWindowAttributes(display, window, &attributes) || !holds_xrgb(attributes)) {
        return nullptr;
    }
    auto* frame = new (std::nothrow) x_frame;
    if (frame == nullptr) {
        return nullptr;
    }
    frame->display = display;
    frame->window = window;
    frame->visual = attributes.visual;
    frame->gc = XCreateGC(frame->display, frame->window, 0, nullptr);
    return frame;
}

} // namespace

bool frame_possible(native_window& native) {
    if (!native.frame_checked) {
        native.frame_checked = true;
        native.frame = start_frame(native);
    }
    return native.frame != nullptr;
}

surface frame_for(native_window& native, const rect& part) {
    x_frame& frame = *native.frame;
    if (part.width() <= 0 || part.height() <= 0) {
        drop_image(frame);
        frame.part = part;
        return {};
    }
    // A part that fits the image made for an earlier one uses its top-left corner: dragging a
    // large window along a screen edge changes the part at every paint.
    bool fits = frame.image != nullptr && part.width() <= frame.image->width &&
                part.height() <= frame.image->height;
    bool to_share = frame.painted && !frame.shared && !frame.sharing_refused;
    if (!fits || to_share) {
        drop_image(frame);
        bool made = (frame.painted && make_shared_image(frame, part.width(), part.height())) ||
                    make_plain_image(frame, part.width(), part.height());
        if (!made) {
            return {};
        }
    }
    frame.part = part;
    return {reinterpret_cast<std::uint8_t*>(frame.image->data),
            part.width(),
            part.height(),
            frame.image->bytes_per_line,
            part.left,
            part.top};
}

// The server has read a shared image once the round trip is over, so the next paint may
// write into it.
void put_frame(native_window& native) {
    x_frame& frame = *native.frame;
    if (frame.image == nullptr) {
        return;
    }
    int width = frame.part.width();
    int height = frame.part.height();
    if (frame.shared) {
        XShmPutImage(frame.display, frame.window, frame.gc, frame.image, 0, 0, frame.part.left,
                     frame.part.top, width, height, False);
    } else {
        XPutImage(frame.display, frame.window, frame.gc, frame.image, 0, 0, frame.part.left,
                  frame.part.top, width, height);
    }
    XSync(frame.display, False);
    frame.painted = true;
}

void end_frame(native_window& native) {
    if (native.frame == nullptr) {
        return;
    }
    drop_image(*native.frame);
    XFreeGC(native.frame->display, native.frame->gc);
    delete native.frame;
    native.frame = nullptr;
}

} // namespace platform::sdl
