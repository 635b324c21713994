// Test controls of the headless backend: what was shown, and what the process looks like.
#pragma once

#include <string>
#include <vector>

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

} // namespace headless
