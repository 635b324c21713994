// The test backend: an in-memory screen of 1024 x 768. Windows record what is done to them,
// each presented frame is kept as pixels, boxes are recorded and answered OK at once, and the
// modal run takes its messages from a queue that the test fills.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

#include "platform/backend.h"
#include "platform/backends/headless/headless.h"
#include "platform/dialogs.h"
#include "platform/module_path.h"
#include "platform/system.h"

namespace platform {
struct native_window {
    headless::window_state* state;
    std::uint8_t* pixels = nullptr; // client area, 4 bytes a pixel, from malloc
    std::size_t pixel_bytes = 0;
    ~native_window() { std::free(pixels); }
};
} // namespace platform

namespace {

std::vector<headless::shown_box> boxes;
std::string module_path_override;
headless::window_state last_state;
std::vector<headless::frame> presented;
bool every_frame = true;

struct queued {
    platform::message m;
    std::function<void()> call;
};
std::deque<queued> queue;
// Messages queued by a queued call go before the rest of the queue.
bool inside_call = false;
std::vector<queued> queued_by_call;

void record(platform::native_window* native, const std::string& operation) {
    native->state->operations.push_back(operation);
}

std::string numbers(int a, int b, int c, int d) {
    return std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) + " " +
           std::to_string(d);
}

// Moves the rows that stay to their places at the new width and clears the rest. Rows that
// get wider move back to front, narrower ones front to back, so that none overwrites another.
void place_rows(std::uint8_t* pixels, const platform::rect& old, int width, int height) {
    int rows = std::min(old.height(), height);
    auto row_bytes = static_cast<std::size_t>(std::max(0, std::min(old.width(), width)) * 4);
    auto old_pitch = static_cast<std::size_t>(old.width()) * 4;
    auto pitch = static_cast<std::size_t>(width) * 4;
    auto move = [&](int y) {
        std::memmove(pixels + y * pitch, pixels + y * old_pitch, row_bytes);
        std::memset(pixels + y * pitch + row_bytes, 0, pitch - row_bytes);
    };
    if (width >= old.width()) {
        for (int y = rows - 1; y >= 0; --y) {
            move(y);
        }
    } else {
        for (int y = 0; y < rows; ++y) {
            move(y);
        }
    }
    auto kept = static_cast<std::size_t>(std::max(rows, 0)) * pitch;
    std::memset(pixels + kept, 0, static_cast<std::size_t>(height) * pitch - kept);
}

// Resizes the client pixels, keeping what overlaps, as a window keeps its drawing. Resized in
// place (a large block is remapped, not copied), so that the old and the new area are never
// held at once: the window's pixels would otherwise count twice in a benchmark's peak.
void resize_pixels(platform::native_window* native, int width, int height) {
    const platform::rect old = native->state->client;
    std::size_t bytes = std::max<std::size_t>(static_cast<std::size_t>(width) * height * 4, 1);
    if (bytes > native->pixel_bytes) {
        auto* grown = static_cast<std::uint8_t*>(std::realloc(native->pixels, bytes));
        if (grown == nullptr) {
            std::abort(); // as the vector it replaces would have thrown
        }
        native->pixels = grown;
        native->pixel_bytes = bytes;
    }
    place_rows(native->pixels, old, width, height);
    if (bytes < native->pixel_bytes) {
        if (auto* shrunk = static_cast<std::uint8_t*>(std::realloc(native->pixels, bytes))) {
            native->pixels = shrunk;
            native->pixel_bytes = bytes;
        }
    }
}

} // namespace

namespace headless {

const std::vector<shown_box>& message_boxes() {
    return boxes;
}
void clear_message_boxes() {
    boxes.clear();
}
void set_module_path(const std::string& path) {
    module_path_override = path;
}

void queue_message(const platform::message& m) {
    if (inside_call) {
        queued_by_call.push_back({m, nullptr});
    } else {
        queue.push_back({m, nullptr});
    }
}
void queue_call(std::function<void()> call) {
    queue.push_back({{}, std::move(call)});
}

const window_state& last_window() {
    return last_state;
}
const std::vector<frame>& frames() {
    return presented;
}
void keep_every_frame(bool every) {
    every_frame = every;
}

void reset() {
    boxes.clear();
    queue.clear();
    presented.clear();
    every_frame = true;
    last_state = window_state{};
}

} // namespace headless

namespace platform {

bool module_path(char* out, std::size_t size) {
    if (module_path_override.empty()) {
        return real_module_path(out, size);
    }
    if (out == nullptr || size == 0 || module_path_override.size() >= size) {
        return false;
    }
    std::memcpy(out, module_path_override.c_str(), module_path_override.size() + 1);
    return true;
}

int message_box(const char* text, const char* caption, unsigned style) {
    boxes.push_back({text != nullptr ? text : "", caption != nullptr ? caption : "", style});
    return id_ok;
}

int system_metric(metric which) {
    switch (which) {
    case metric::caption_height:
        return 19;
    case metric::screen_width:
        return 1024;
    case metric::screen_height:
        return 768;
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
    last_state = headless::window_state{};
    last_state.title = title;
    last_state.decorated = decorated;
    last_state.topmost = topmost;
    auto* native = new native_window{&last_state};
    resize_pixels(native, width, height);
    y += frame_of(native).top;
    last_state.client = {x, y, x + width, y + height};
    record(native, "create " + numbers(x, y, width, height));
    return native;
}

void destroy_window(native_window* native) {
    if (native != nullptr) {
        native->state->destroyed = true;
        record(native, "destroy");
        delete native;
    }
}

rect client_area(const native_window* native) {
    return native->state->client;
}

// No window manager: a decorated window's caption is the metric's height above its client area.
frame_extents frame_of(native_window* native) {
    frame_extents frame;
    frame.top = native->state->decorated ? system_metric(metric::caption_height) : 0;
    return frame;
}

void place(native_window* native, int x, int y, int width, int height) {
    y += frame_of(native).top;
    width = std::max(width, 0);
    height = std::max(height, 0);
    resize_pixels(native, width, height);
    native->state->client = {x, y, x + width, y + height};
    record(native, "set_client_area " + numbers(x, y, width, height));
}

void raise(native_window* native) {
    record(native, "raise");
}

void set_title(native_window* native, const char* title) {
    native->state->title = title;
    record(native, std::string("set_title ") + title);
}

void set_icon(native_window* native, const icon&) {
    ++native->state->icons_set;
    record(native, "set_icon");
}

void set_decorated(native_window* native, bool decorated) {
    native->state->decorated = decorated;
    record(native, decorated ? "decorate" : "undecorate");
}

// As a window system does, showing brings a paint before anything else.
void show(native_window* native) {
    native->state->shown = true;
    record(native, "show");
    queue.push_front({{wm_paint, 0, 0}, nullptr});
}

void minimize(native_window* native) {
    native->state->minimized = true;
    record(native, "minimize");
}

bool is_minimized(const native_window* native) {
    return native->state->minimized;
}

void begin_move_drag(native_window* native) {
    ++native->state->move_drags;
    record(native, "begin_move_drag");
}

surface frame(native_window* native) {
    const rect& client = native->state->client;
    return {native->pixels, client.width(), client.height(), client.width() * 4};
}

void present(native_window* native) {
    const rect& client = native->state->client;
    if (every_frame || presented.empty()) {
        presented.emplace_back();
    }
    headless::frame& copy = presented.back();
    copy.width = client.width();
    copy.height = client.height();
    std::size_t count = static_cast<std::size_t>(copy.width) * copy.height;
    if (count != copy.pixels.size()) {
        std::vector<std::uint32_t>().swap(copy.pixels); // the old frame goes before the new one
        copy.pixels.resize(count);
    }
    std::memcpy(copy.pixels.data(), native->pixels, count * 4);
    for (std::uint32_t& pixel : copy.pixels) {
        pixel &= 0x00FFFFFF;
    }
}

bool wait_message(native_window*, message& next) {
    while (!queue.empty()) {
        queued front = std::move(queue.front());
        queue.pop_front();
        if (!front.call) {
            next = front.m;
            return true;
        }
        inside_call = true;
        front.call();
        inside_call = false;
        queue.insert(queue.begin(), queued_by_call.begin(), queued_by_call.end());
        queued_by_call.clear();
    }
    return false;
}

void message_done(native_window*) {}

void prepare_display() {}

bool display_unavailable() {
    return false;
}

void watch_descriptor(native_window* native, int descriptor) {
    native->state->watched_descriptor = descriptor;
}

void set_timer(native_window* native, int milliseconds) {
    native->state->timer_milliseconds = milliseconds;
    ++native->state->timers_set;
}

} // namespace backend
} // namespace platform
