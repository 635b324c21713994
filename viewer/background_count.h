// The distinct pixel values of the image as loaded, counted on a thread of their own while the
// viewer is idle, so that neither the first frame nor the first information panel waits for a
// pass over every pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <pthread.h>

class background_count {
  public:
    background_count() = default;
    ~background_count() { forget(); }
    background_count(const background_count&) = delete;
    background_count& operator=(const background_count&) = delete;

    // Starts counting `size` bytes of `bpp`-byte pixels, which must stay as they are until the
    // count is taken or forgotten. False when no thread could be had.
    bool start(const unsigned char* data, std::size_t size, unsigned bpp);
    // Waits for the count started last; true with the count when it could be made.
    bool take(std::uint32_t& count);
    // Waits for a running count and drops it: its pixels are about to change.
    void forget();

  private:
    static void* run(void* self);

    pthread_t thread{};
    bool running = false;
    const unsigned char* pixels = nullptr;
    std::size_t bytes = 0;
    unsigned pixel_bytes = 0;
    std::uint32_t counted = 0;
    bool made = false;
};
