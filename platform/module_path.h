// Shared by the backends: the real executable path.
#pragma once

#include <cstddef>

namespace platform {
bool real_module_path(char* out, std::size_t size);
}
