// The test backend: boxes are recorded and answered OK at once.
#include <cstring>

#include "platform/backends/headless/headless.h"
#include "platform/dialogs.h"
#include "platform/module_path.h"
#include "platform/system.h"

namespace {
std::vector<headless::shown_box> boxes;
std::string module_path_override;
} // namespace

namespace headless {

const std::vector<shown_box>& message_boxes() { return boxes; }
void clear_message_boxes() { boxes.clear(); }
void set_module_path(const std::string& path) { module_path_override = path; }

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

} // namespace platform
