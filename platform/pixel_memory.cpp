#include "platform/pixel_memory.h"

#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>

namespace platform {

namespace {

constexpr std::size_t huge_page = std::size_t{2} << 20;
constexpr std::size_t mapped_from = 2 * huge_page;

// Every block starts with this, 16 bytes before what the caller gets.
struct alignas(16) block_header {
    std::size_t mapped_size; // 0 for a block of malloc
    void* mapping;
};

void* after_header(block_header* header) {
    return header + 1;
}

void* map_block(std::size_t size) {
    // One huge page more than needed, so that the block can start on a huge page boundary.
    std::size_t mapped_size = size + sizeof(block_header) + huge_page;
    void* mapping =
        mmap(nullptr, mapped_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
        return nullptr;
    }
    auto start = reinterpret_cast<std::uintptr_t>(mapping) + sizeof(block_header);
    start = (start + huge_page - 1) / huge_page * huge_page;
    madvise(reinterpret_cast<void*>(start), size, MADV_HUGEPAGE); // a hint: fine if refused
    auto* header = reinterpret_cast<block_header*>(start) - 1;
    header->mapped_size = mapped_size;
    header->mapping = mapping;
    return after_header(header);
}

} // namespace

void* allocate_pixels(std::size_t size) {
    if (size == 0 || size > SIZE_MAX - sizeof(block_header) - huge_page) {
        return nullptr;
    }
    if (size >= mapped_from) {
        return map_block(size);
    }
    auto* header = static_cast<block_header*>(std::malloc(sizeof(block_header) + size));
    if (header == nullptr) {
        return nullptr;
    }
    header->mapped_size = 0;
    header->mapping = header;
    return after_header(header);
}

void free_pixels(void* block) {
    if (block == nullptr) {
        return;
    }
    block_header* header = static_cast<block_header*>(block) - 1;
    if (header->mapped_size == 0) {
        std::free(header);
    } else {
        munmap(header->mapping, header->mapped_size);
    }
}

} // namespace platform
