// Test controls of the headless backend: what was shown, and what the process looks like.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/messages.h"
#include "platform/window.h"

namespace headless {

struct shown_box {
    std::string text;
    std::string caption;
    unsigned style;
};

// Every message box shown since the last clear, oldest first. Each was answered OK at once.
const std::vector<shown_box>& message_boxes();
void clear_message_boxes();

// Where module_path() says the executable is; empty restores the real one.
void set_module_path(const std::string& path);

// The messages the next modal run receives, in order. A queued call runs the function in the
// modal loop's place instead, so a test can look at the window between messages; messages it
// queues come next, before the rest of the queue. When the
// queue is empty the modal run ends.
void queue_message(const platform::message& m);
void queue_call(std::function<void()> call);

// The last window made, kept after it is gone.
struct window_state {
    platform::rect client; // screen coordinates
    std::string title;
    bool decorated = false;
    bool topmost = false;
    bool shown = false;
    bool minimized = false;
    bool destroyed = false;
    int icons_set = 0;
    int move_drags = 0;
    // What the loop would watch: a test delivers wm_descriptor_ready and wm_timer itself.
    int watched_descriptor = -1;
    int timer_milliseconds = -1; // the last timer set
    int timers_set = 0;
    std::vector<std::string>
        operations; // "create 0 0 380 238", "set_client_area 19 493 256 256"...
};
const window_state& last_window();

// Each frame presented, a copy of the client area (0x00RRGGBB per pixel, rows top first); with
// keep_every_frame(false), only the last, copied into the same store (for benchmarks).
struct frame {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};
const std::vector<frame>& frames();
void keep_every_frame(bool every);

// Forgets windows, frames, boxes and queued messages.
void reset();

} // namespace headless
