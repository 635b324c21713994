// The desktop backend's services beside the window: the executable's real path, and message
// boxes drawn by the layer in the program's own process and loop.
#include <cstdio>
#include <cstring>

#include "platform/backends/x11/x11_display.h"
#include "platform/dialogs.h"
#include "platform/message_window.h"
#include "platform/module_path.h"
#include "platform/system.h"
#include "platform/termination.h"

namespace platform {

bool module_path(char* out, std::size_t size) {
    return real_module_path(out, size);
}

// The text goes to standard error first, for a terminal user and a script; then the box is
// shown, unless there is no display or the program was asked to end.
int message_box(const char* text, const char* caption, unsigned) {
    const char* body = text != nullptr ? text : "";
    std::size_t length = std::strlen(body);
    std::fprintf(stderr, "%s\n%s%s", caption != nullptr ? caption : "", body,
                 length == 0 || body[length - 1] != '\n' ? "\n" : "");
    std::fflush(stderr);
    if (termination_signal() != 0 || x11::open_connection() == nullptr) {
        return id_ok;
    }
    return run_message_window(body, caption);
}

} // namespace platform
