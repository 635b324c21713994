// The rest of a rescale, made on a second thread while the part on the screen is shown.
#pragma once

#include <atomic>
#include <cstddef>
#include <pthread.h>

#include "tools/devil/resample.h"

class background_rescale {
  public:
    background_rescale() = default;
    ~background_rescale() { finish(true); }
    background_rescale(const background_rescale&) = delete;
    background_rescale& operator=(const background_rescale&) = delete;

    // Makes every part of `what`'s result outside `done` into `to` (rows `stride` bytes apart).
    // Where no thread can be started, it is made here, before returning. False when the rest
    // could not be made (memory short).
    bool start(const resample::job& what, const resample::area& done, unsigned char* to,
               std::size_t stride);
    // Waits for the rest; with `cancel` it stops early, leaving the result incomplete. True
    // when the result is whole.
    bool finish(bool cancel);
    bool running() const { return started; }

  private:
    static void* run(void* context);
    bool make_rest();

    resample::job what;
    resample::area parts[4];
    int part_count = 0;
    unsigned char* to = nullptr;
    std::size_t stride = 0;
    std::atomic<bool> cancel{false};
    pthread_t thread{};
    bool started = false;
    bool whole = true;
};
