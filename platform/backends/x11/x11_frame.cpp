// The window's frame as an X image of our own, covering only the part of the client area that
// lies on a display, sent through shared memory when the server offers it.
//
// An image of the whole client area would be 64 MiB for a 4096 x 4096 picture of which a
// 1920 x 1080 screen shows an eighth, all of it faulted in on the first paint and held for the
// life of the window.
//
// The first frame goes over the connection instead, from huge-page memory: a fresh shared
// segment is faulted in 4 KiB at a time on both sides, ours and the server's, which costs the
// first paint more than sending the pixels. Later paints, where that cost is paid once and the
// copy every time, use a shared segment.
//
// A server of another depth (16 bits, 30 bits) gets our pixels converted into an image of its
// own layout on each paint.
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <array>
#include <bit>
#include <new>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>

#include "platform/backends/x11/x11_window.h"
#include "platform/pixel_memory.h"

namespace platform::x11 {

// One channel's value for each 8-bit intensity, placed under its mask.
using channel_table = std::array<unsigned long, 256>;

struct x_frame {
    Display* display = nullptr;
    Window window = 0;
    Visual* visual = nullptr;
    int depth = 0;
    GC gc = nullptr;
    XImage* image = nullptr;
    XShmSegmentInfo segment{};
    bool shared = false;
    bool sharing_refused = false; // a server on another machine
    bool painted = false;
    rect part; // in client coordinates
    // Another layout than ours: we draw into `staging` and convert into `image` on each paint.
    bool converting = false;
    std::uint8_t* staging = nullptr;
    int staging_width = 0;
    int staging_height = 0;
    channel_table red{};
    channel_table green{};
    channel_table blue{};
};

namespace {

bool attach_refused = false;

int note_refusal(Display*, XErrorEvent*) {
    attach_refused = true;
    return 0;
}

bool is_true_colour(const Visual* visual) {
    return visual != nullptr && (visual->c_class == TrueColor || visual->c_class == DirectColor);
}

// Our pixels are blue, green, red, unused bytes: a little-endian 32-bit 0x00RRGGBB.
bool holds_xrgb(const Visual* visual, int depth) {
    return depth == 24 && is_true_colour(visual) && visual->red_mask == 0xFF0000 &&
           visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
}

channel_table make_channel(unsigned long mask) {
    channel_table table{};
    int shift = std::countr_zero(mask);
    unsigned long top = mask >> shift; // all ones: the channel's largest value
    for (unsigned long value = 0; value < 256; ++value) {
        table[value] = ((value * top + 127) / 255) << shift;
    }
    return table;
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
    frame.image = XShmCreateImage(frame.display, frame.visual, frame.depth, ZPixmap, nullptr,
                                  &frame.segment, width, height);
    if (frame.image != nullptr && layout_fits(*frame.image) && attach_segment(frame)) {
        frame.shared = true;
        return true;
    }
    drop_image(frame);
    frame.sharing_refused = true;
    return false;
}

bool make_plain_image(x_frame& frame, int width, int height) {
    frame.image = XCreateImage(frame.display, frame.visual, frame.depth, ZPixmap, 0, nullptr, width,
                               height, 32, 0);
    if (frame.image == nullptr) {
        return false;
    }
    std::size_t bytes = static_cast<std::size_t>(frame.image->bytes_per_line) * height;
    frame.image->data = static_cast<char*>(platform::allocate_pixels(bytes));
    if (frame.image->data == nullptr || (!frame.converting && !layout_fits(*frame.image))) {
        drop_image(frame);
        return false;
    }
    return true;
}

void drop_staging(x_frame& frame) {
    platform::free_pixels(frame.staging);
    frame.staging = nullptr;
    frame.staging_width = 0;
    frame.staging_height = 0;
}

// Our pixels for `part` on a server of another layout: drawn into our own buffer first.
surface staged_frame(x_frame& frame, const rect& part) {
    bool fits = frame.image != nullptr && part.width() <= frame.staging_width &&
                part.height() <= frame.staging_height;
    if (!fits) {
        drop_image(frame);
        drop_staging(frame);
        std::size_t bytes = static_cast<std::size_t>(part.width()) * part.height() * 4;
        frame.staging = static_cast<std::uint8_t*>(platform::allocate_pixels(bytes));
        if (frame.staging == nullptr || !make_plain_image(frame, part.width(), part.height())) {
            drop_staging(frame);
            return {};
        }
        frame.staging_width = part.width();
        frame.staging_height = part.height();
    }
    frame.part = part;
    return {frame.staging,           part.width(), part.height(),
            frame.staging_width * 4, part.left,    part.top};
}

void convert_staging(x_frame& frame) {
    for (int y = 0; y < frame.part.height(); ++y) {
        const std::uint8_t* from =
            frame.staging + static_cast<std::size_t>(y) * frame.staging_width * 4;
        for (int x = 0; x < frame.part.width(); ++x, from += 4) {
            XPutPixel(frame.image, x, y,
                      frame.blue[from[0]] | frame.green[from[1]] | frame.red[from[2]]);
        }
    }
}

// The window's visual and a graphics context, once per window; null when the visual holds no
// true colours (a palette), which the frame cannot serve. Our windows take the root's visual
// and depth, the screen's defaults, so the server need not be asked.
x_frame* start_frame(native_window& native) {
    Visual* visual = DefaultVisual(native.x->display, native.x->screen);
    if (!is_true_colour(visual)) {
        return nullptr;
    }
    auto* frame = new (std::nothrow) x_frame;
    if (frame == nullptr) {
        return nullptr;
    }
    frame->display = native.x->display;
    frame->window = native.window;
    frame->visual = visual;
    frame->depth = DefaultDepth(native.x->display, native.x->screen);
    frame->converting = !holds_xrgb(visual, frame->depth);
    if (frame->converting) {
        frame->red = make_channel(visual->red_mask);
        frame->green = make_channel(visual->green_mask);
        frame->blue = make_channel(visual->blue_mask);
    }
    frame->gc = XCreateGC(frame->display, frame->window, 0, nullptr);
    return frame;
}

} // namespace

surface frame_for(native_window& native, const rect& part) {
    if (native.image == nullptr) {
        native.image = start_frame(native);
        if (native.image == nullptr) {
            return {};
        }
    }
    x_frame& frame = *native.image;
    if (part.width() <= 0 || part.height() <= 0) {
        drop_image(frame);
        drop_staging(frame);
        frame.part = part;
        return {};
    }
    if (frame.converting) {
        return staged_frame(frame, part);
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
    if (native.image == nullptr || native.image->image == nullptr) {
        return;
    }
    x_frame& frame = *native.image;
    if (frame.converting) {
        convert_staging(frame);
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
    if (native.image == nullptr) {
        return;
    }
    drop_image(*native.image);
    drop_staging(*native.image);
    XFreeGC(native.image->display, native.image->gc);
    delete native.image;
    native.image = nullptr;
}

} // namespace platform::x11
