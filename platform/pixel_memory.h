// Memory for pixels and other large blocks. Blocks from half a megabyte up are mapped in huge
// pages where the system gives them: touching a fresh 64 MiB image 4 KiB page at a time costs
// several times more than copying it, and every load, conversion and zoom makes such blocks.
#pragma once

#include <cstddef>

namespace platform {

// A block of at least `size` bytes aligned to 16, or null when memory is short or size is 0.
// Any thread may allocate and free.
void* allocate_pixels(std::size_t size);
// Frees a block of allocate_pixels, or of malloc; null is ignored.
void free_pixels(void* block);

struct pixel_deleter {
    void operator()(void* block) const { free_pixels(block); }
};

} // namespace platform
