#include "platform/pixel_memory.h"

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace platform {

namespace {

constexpr std::size_t huge_page = std::size_t{2} << 20;
// From here on a block is mapped, rounded up to whole huge pages: even a 1 MiB block then costs
// one fault instead of 256.
constexpr std::size_t mapped_from = huge_page / 4;

// The mapped blocks and their mappings' sizes: a block not in here came from malloc. Keeping
// no header before a block lets free_pixels take any malloc block too, which the image
// library's own code may hand it. Never destroyed: objects with static lifetimes free their
// blocks when the program ends, in any order.
std::unordered_map<void*, std::size_t>& mapped_blocks() {
    static auto* blocks = new std::unordered_map<void*, std::size_t>;
    return *blocks;
}

// Guards mapped_blocks: a background count or rescale may allocate beside the main thread.
// A fork waits until no thread holds it: a decoding child allocates here too, and would wait
// for ever on a lock that a thread it does not have took before the fork.
std::mutex& blocks_lock() {
    static auto* lock = new std::mutex;
    static const bool kept_free_across_forks =
        pthread_atfork([] { lock->lock(); }, [] { lock->unlock(); }, [] { lock->unlock(); }) == 0;
    static_cast<void>(kept_free_across_forks);
    return *lock;
}

// The kernel backs only aligned 2 MiB stretches with huge pages: map a huge page more than
// needed, then give back what lies outside the aligned block.
void* map_block(std::size_t size) {
    std::size_t mapped_size = (size + huge_page - 1) / huge_page * huge_page;
    std::size_t reserved = mapped_size + huge_page;
    void* start =
        mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED) {
        return nullptr;
    }
    auto first = reinterpret_cast<std::uintptr_t>(start);
    std::uintptr_t aligned = (first + huge_page - 1) & ~(huge_page - 1);
    std::size_t head = aligned - first;
    std::size_t tail = reserved - head - mapped_size;
    if (head > 0) {
        munmap(start, head);
    }
    if (tail > 0) {
        munmap(reinterpret_cast<void*>(aligned + mapped_size), tail);
    }
    auto* block = reinterpret_cast<void*>(aligned);
    madvise(block, mapped_size, MADV_HUGEPAGE); // a hint: fine if refused
    std::lock_guard<std::mutex> held(blocks_lock());
    mapped_blocks().emplace(block, mapped_size);
    return block;
}

struct offer {
    void* block = nullptr;
    std::size_t size = 0;
};
thread_local offer offered;

} // namespace

void* allocate_pixels(std::size_t size) {
    if (offered.block != nullptr && size == offered.size) {
        return std::exchange(offered.block, nullptr);
    }
    if (size == 0 || size > SIZE_MAX - 2 * huge_page) {
        return nullptr;
    }
    return size >= mapped_from ? map_block(size) : std::malloc(size);
}

void offer_block(void* block, std::size_t size) {
    offered = {block, size};
}

void* withdraw_offer() {
    return std::exchange(offered.block, nullptr);
}

void* adopt_pages(const void* start, std::size_t size) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    auto first = reinterpret_cast<std::uintptr_t>(start);
    if (start == nullptr || size == 0 || page == 0 || first % page != 0 || size > SIZE_MAX - page) {
        return nullptr;
    }
    std::size_t length = (size + page - 1) / page * page;
    // A place of its own first, so that the move cannot land on anything else.
    void* place = mmap(nullptr, length, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (place == MAP_FAILED) {
        return nullptr;
    }
    void* moved =
        mremap(const_cast<void*>(start), length, length, MREMAP_MAYMOVE | MREMAP_FIXED, place);
    if (moved == MAP_FAILED) {
        munmap(place, length);
        return nullptr;
    }
    if (mprotect(moved, length, PROT_READ | PROT_WRITE) != 0) {
        mremap(moved, length, length, MREMAP_MAYMOVE | MREMAP_FIXED, const_cast<void*>(start));
        return nullptr;
    }
    std::lock_guard<std::mutex> held(blocks_lock());
    mapped_blocks().emplace(moved, length);
    return moved;
}

void free_pixels(void* block) {
    if (block == nullptr) {
        return;
    }
    std::size_t mapped_size = 0;
    {
        std::lock_guard<std::mutex> held(blocks_lock());
        auto mapped = mapped_blocks().find(block);
        if (mapped != mapped_blocks().end()) {
            mapped_size = mapped->second;
            mapped_blocks().erase(mapped);
        }
    }
    if (mapped_size == 0) {
        std::free(block);
        return;
    }
    munmap(block, mapped_size);
}

} // namespace platform
