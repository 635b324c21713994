// Buffers the file's bytes and hands them to the caller's write routine in file order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dds/dds.h"

namespace dds {

class byte_sink {
  public:
    byte_sink(dds_write_routine write, void* context) : write(write), context(context) {}

    // False once the write routine has refused bytes; later calls then do nothing.
    bool put(const void* bytes, std::size_t count);
    bool flush();

    std::uint64_t written() const { return total; }
    bool failed() const { return refused; }

  private:
    bool pass_on(const void* bytes, std::size_t count);

    static constexpr std::size_t capacity = 16384;
    dds_write_routine write;
    void* context;
    std::uint8_t buffer[capacity];
    std::size_t used = 0;
    std::uint64_t total = 0;
    bool refused = false;
};

// Reports the share of pixels encoded so far, at most about a hundred times per file.
class progress_meter {
  public:
    progress_meter(dds_progress_routine routine, void* context, std::uint64_t total_pixels)
        : routine(routine), context(context), total(total_pixels > 0 ? total_pixels : 1) {}

    void advance(std::uint64_t pixels);
    void finish();

  private:
    dds_progress_routine routine;
    void* context;
    std::uint64_t total;
    std::uint64_t done = 0;
    float reported = -1.0f;
};

} // namespace dds
