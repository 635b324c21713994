#include "platform/pixel_memory.h"

#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unordered_map>

namespace platform {

namespace {

constexpr std::size_t huge_page = std::size_t{2} << 20;
constexpr std::size_t mapped_from = 2 * huge_page;

// The mapped blocks and their mappings' sizes: a block not in here came from malloc. Keeping
// no header before a block lets free_pixels take any malloc block too, which the image
// library's own code may hand it.
std::unordered_map<void*, std::size_t>& mapped_blocks() {
    static std::unordered_map<void*, std::size_t> blocks;
    return blocks;
}

void* map_block(std::size_t size) {
    std::size_t mapped_size = (size + huge_page - 1) / huge_page * huge_page;
    void* block =
        mmap(nullptr, mapped_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
        return nullptr;
    }
    madvise(block, mapped_size, MADV_HUGEPAGE); // a hint: fine if refused
    mapped_blocks().emplace(block, mapped_size);
    return block;
}

} // namespace

void* allocate_pixels(std::size_t size) {
    if (size == 0 || size > SIZE_MAX - huge_page) {
        return nullptr;
    }
    return size >= mapped_from ? map_block(size) : std::malloc(size);
}

void free_pixels(void* block) {
    if (block == nullptr) {
        return;
    }
    auto mapped = mapped_blocks().find(block);
    if (mapped == mapped_blocks().end()) {
        std::free(block);
        return;
    }
    munmap(mapped->first, mapped->second);
    mapped_blocks().erase(mapped);
}

} // namespace platform
