#include "platform/module_path.h"

#include <unistd.h>

namespace platform {

bool real_module_path(char* out, std::size_t size) {
    if (out == nullptr || size == 0) {
        return false;
    }
    out[0] = '\0';
    ssize_t length = readlink("/proc/self/exe", out, size - 1);
    if (length <= 0) {
        out[0] = '\0';
        return false;
    }
    out[length] = '\0';
    return true;
}

} // namespace platform
