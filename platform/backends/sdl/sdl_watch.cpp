// The window's watch of a descriptor and its timer: SDL's wait knows neither, so one thread per
// window sleeps in poll() on the descriptor, a wake-up pipe and the timer's deadline, and posts
// an SDL event for each. Nothing polls: with no descriptor readable and no timer set, the
// thread waits without a timeout.
#include <SDL.h>
#include <chrono>
#include <algorithm>
#include <functional>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

#include "platform/backend.h"
#include "platform/backends/sdl/sdl_window.h"

namespace platform::sdl {

using clock = std::chrono::steady_clock;

struct loop_watch {
    Uint32 window_id = 0;
    int wake[2] = {-1, -1};
    std::mutex lock;
    int descriptor = -1;
    bool armed = true;      // readable descriptor not yet reported
    bool delivered = false; // reported, and the message handed out: re-arm once handled
    bool timer_set = false;
    clock::time_point deadline;
    bool stopping = false;
    std::thread thread;
};

namespace {

Uint32 watch_event_type() {
    static const Uint32 type = SDL_RegisterEvents(1);
    return type;
}

void post(const loop_watch& watch, std::uint32_t id, int descriptor) {
    SDL_Event event{};
    event.type = watch_event_type();
    event.user.windowID = watch.window_id;
    event.user.code = static_cast<Sint32>(id);
    event.user.data1 = reinterpret_cast<void*>(static_cast<std::intptr_t>(descriptor));
    SDL_PushEvent(&event);
}

void wake(loop_watch& watch) {
    char byte = 1;
    [[maybe_unused]] ssize_t written = ::write(watch.wake[1], &byte, 1);
}

void run(loop_watch& watch) {
    for (;;) {
        pollfd watched[2] = {{watch.wake[0], POLLIN, 0}, {-1, POLLIN, 0}};
        int timeout = -1;
        {
            std::lock_guard<std::mutex> held(watch.lock);
            if (watch.stopping) {
                return;
            }
            if (watch.armed) {
                watched[1].fd = watch.descriptor;
            }
            if (watch.timer_set) {
                auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(watch.deadline - clock::now());
                timeout = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
            }
        }
        ::poll(watched, 2, timeout);
        if ((watched[0].revents & POLLIN) != 0) {
            char drained[64];
            while (::read(watch.wake[0], drained, sizeof drained) > 0) {
            }
        }
        std::lock_guard<std::mutex> held(watch.lock);
        if (watched[1].fd >= 0 && (watched[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0 &&
            watch.armed) {
            watch.armed = false;
            post(watch, wm_descriptor_ready, watch.descriptor);
        }
        if (watch.timer_set && clock::now() >= watch.deadline) {
            watch.timer_set = false;
            post(watch, wm_timer, 0);
        }
    }
}

// Made on first use; null when the pipe or the thread cannot be made.
loop_watch* watch_of(native_window& native) {
    if (native.watch != nullptr) {
        return native.watch;
    }
    auto* made = new loop_watch;
    made->window_id = SDL_GetWindowID(native.window);
    watch_event_type();
    if (::pipe2(made->wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        delete made;
        return nullptr;
    }
    made->thread = std::thread(run, std::ref(*made));
    native.watch = made;
    return made;
}

} // namespace

bool translate_watch_event(native_window& native, const SDL_Event& event) {
    if (native.watch == nullptr || event.type != watch_event_type() ||
        event.user.windowID != native.watch->window_id) {
        return false;
    }
    auto id = static_cast<std::uint32_t>(event.user.code);
    auto descriptor = reinterpret_cast<std::intptr_t>(event.user.data1);
    native.pending.push_back({id, static_cast<std::uintptr_t>(descriptor), 0});
    return true;
}

void watch_message_handed_out(native_window& native, const message& handed) {
    if (native.watch != nullptr && handed.id == wm_descriptor_ready) {
        std::lock_guard<std::mutex> held(native.watch->lock);
        native.watch->delivered = true;
    }
}

void watch_message_done(native_window& native) {
    loop_watch* watch = native.watch;
    if (watch == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> held(watch->lock);
        if (!watch->delivered) {
            return;
        }
        watch->delivered = false;
        watch->armed = true;
    }
    wake(*watch);
}

void end_watch(native_window& native) {
    loop_watch* watch = native.watch;
    if (watch == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> held(watch->lock);
        watch->stopping = true;
    }
    wake(*watch);
    watch->thread.join();
    ::close(watch->wake[0]);
    ::close(watch->wake[1]);
    delete watch;
    native.watch = nullptr;
}

} // namespace platform::sdl

namespace platform::backend {

void watch_descriptor(native_window* native, int descriptor) {
    sdl::loop_watch* watch = sdl::watch_of(*native);
    if (watch == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> held(watch->lock);
        watch->descriptor = descriptor;
        watch->armed = true;
    }
    sdl::wake(*watch);
}

void set_timer(native_window* native, int milliseconds) {
    sdl::loop_watch* watch = sdl::watch_of(*native);
    if (watch == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> held(watch->lock);
        watch->timer_set = true;
        watch->deadline = sdl::clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
    }
    sdl::wake(*watch);
}

} // namespace platform::backend
