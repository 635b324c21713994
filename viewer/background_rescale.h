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

    // Notes that every part of `what`'s result outside `done` is yet to be made into `to`
    // (rows `stride` bytes apart), once `start` is called.
    void prepare(const resample::job& what, const resample::area& done, unsigned char* to,
                 std::size_t stride);
    // Makes the rest on a second thread; where none can be started, here, before returning.
    // False when the rest could not be made (memory short).
    bool start();
    // Waits for the rest, making it here if it was not started; with `cancel` it is dropped
    // or stopped early instead, leaving the result incomplete. True when the result is whole.
    bool finish(bool cancel);
    // True while the rest is yet to be made or being made.
    bool pending() const { return prepared || started; }

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
    bool prepared = false;
    bool started = false;
    bool whole = true;
};
