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

// Gives `block` to the next request on this thread for exactly `size` bytes: a caller that made
// the pixels first lets a library that allocates through here take them as its own.
void offer_block(void* block, std::size_t size);
// Takes back the block offered last if no request took it; null when one did (or none was).
void* withdraw_offer();

// Makes the pages of [start, start + size) a block of this allocator, private and writable,
// moved out of the mapping they lie in (a file's, a shared memory object's): a large decoded
// image kept where it arrived instead of copied. `start` must lie on a page boundary, and what
// lies after `size` on its last page goes with it. Null when that cannot be done; the pages
// then stay where they were.
void* adopt_pages(const void* start, std::size_t size);

struct pixel_deleter {
    void operator()(void* block) const { free_pixels(block); }
};

} // namespace platform
