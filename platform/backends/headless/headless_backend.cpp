// The test backend: an in-memory screen of 1024 x 768. Windows record what is done to them,
// each presented frame is kept as pixels, boxes are recorded and answered OK at once, and the
// modal run takes its messages from a queue that the test fills.
#include <algorithm>
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
    std::vector<std::uint8_t> pixels; // client area, 4 bytes a pixel
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

// Resizes the client pixels, keeping what overlaps, as a window keeps its drawing.
void resize_pixels(platform::native_window* native, int width, int height) {
    platform::rect& old = native->state->client;
    std::vector<std::uint8_t> resized(static_cast<std::size_t>(width) * height * 4);
    int rows = std::min(old.height(), height);
    int row_bytes = std::min(old.width(), width) * 4;
    for (int y = 0; y < rows && row_bytes > 0; ++y) {
        std::memcpy(&resized[static_cast<std::size_t>(y) * width * 4],
                    &native->pixels[static_cast<std::size_t>(y) * old.width() * 4], row_bytes);
    }
    native->pixels.swap(resized);
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
    auto* native = new native_window{&last_state, {}};
    resize_pixels(native, width, height);
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

void set_client_area(native_window* native, int x, int y, int width, int height) {
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
    return {native->pixels.data(), client.width(), client.height(), client.width() * 4};
}

void present(native_window* native) {
    const rect& client = native->state->client;
    if (every_frame || presented.empty()) {
        presented.emplace_back();
    }
    headless::frame& copy = presented.back();
    copy.width = client.width();
    copy.height = client.height();
    copy.pixels.resize(static_cast<std::size_t>(copy.width) * copy.height);
    std::memcpy(copy.pixels.data(), native->pixels.data(), copy.pixels.size() * 4);
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

void watch_descriptor(native_window* native, int descriptor) {
    native->state->watched_descriptor = descriptor;
}

void set_timer(native_window* native, int milliseconds) {
    native->state->timer_milliseconds = milliseconds;
    ++native->state->timers_set;
}

} // namespace backend
} // namespace platform
