// The desktop backend's messages: SDL events of our window translated into the program's.
#include <cstdlib>

#include "platform/backend.h"
#include "platform/backends/sdl/sdl_window.h"

namespace platform {

namespace {

bool is_ours(const native_window& native, Uint32 window_id) {
    return window_id == SDL_GetWindowID(native.window);
}

// A held key repeats as the desktop repeats it; a repeat that arrived before the program had
// finished its last message is stale, and dropping it keeps a slow command from queueing up
// behind itself.
void translate_key(native_window& native, const SDL_KeyboardEvent& key) {
    if (key.repeat != 0 && SDL_TICKS_PASSED(native.done_ticks, key.timestamp)) {
        return;
    }
    if (int code = virtual_key_from_native(key.keysym.sym); code != 0) {
        native.pending.push_back(key_down_message(code));
    }
}

// One message per notch, as the wheel sends them.
void translate_wheel(native_window& native, const SDL_MouseWheelEvent& wheel) {
    int notches = wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -wheel.y : wheel.y;
    int delta = notches > 0 ? wheel_delta : -wheel_delta;
    for (int i = std::abs(notches); i > 0; --i) {
        native.pending.push_back(wheel_message(delta));
    }
}

void translate_button(native_window& native, const SDL_MouseButtonEvent& button) {
    std::uint32_t id = button.button == SDL_BUTTON_LEFT     ? wm_lbuttondown
                       : button.button == SDL_BUTTON_MIDDLE ? wm_mbuttondown
                       : button.button == SDL_BUTTON_RIGHT  ? wm_rbuttondown
                                                            : 0;
    if (id != 0) {
        native.pending.push_back(button_message(id, button.x, button.y));
    }
}

// Motion comes in bursts: only the latest position waiting counts.
void translate_motion(native_window& native, const SDL_MouseMotionEvent& motion) {
    message moved = button_message(wm_mousemove, motion.x, motion.y);
    if (!native.pending.empty() && native.pending.back().id == wm_mousemove) {
        native.pending.back() = moved;
    } else {
        native.pending.push_back(moved);
    }
}

// Showing, exposing and resizing come in bursts: one paint serves them all.
void paint_once(native_window& native) {
    for (const message& waiting : native.pending) {
        if (waiting.id == wm_paint) {
            return;
        }
    }
    native.pending.push_back({wm_paint, 0, 0});
}

void translate_window_event(native_window& native, const SDL_WindowEvent& change) {
    switch (change.event) {
    case SDL_WINDOWEVENT_CLOSE:
        native.pending.push_back({wm_close, 0, 0});
        break;
    case SDL_WINDOWEVENT_LEAVE:
        native.pending.push_back({wm_mouseleave, 0, 0});
        break;
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_RESTORED:
        paint_once(native);
        break;
    default:
        break;
    }
}

void translate(native_window& native, const SDL_Event& event) {
    if (sdl::translate_watch_event(native, event)) {
        return;
    }
    switch (event.type) {
    case SDL_KEYDOWN:
        if (is_ours(native, event.key.windowID)) {
            translate_key(native, event.key);
        }
        break;
    case SDL_MOUSEWHEEL:
        if (is_ours(native, event.wheel.windowID)) {
            translate_wheel(native, event.wheel);
        }
        break;
    case SDL_MOUSEBUTTONDOWN:
        if (is_ours(native, event.button.windowID)) {
            translate_button(native, event.button);
        }
        break;
    case SDL_MOUSEMOTION:
        if (is_ours(native, event.motion.windowID)) {
            translate_motion(native, event.motion);
        }
        break;
    case SDL_WINDOWEVENT:
        if (is_ours(native, event.window.windowID)) {
            translate_window_event(native, event.window);
        }
        break;
    case SDL_QUIT: // a signal asking the program to end
        native.pending.push_back({wm_close, 0, 0});
        break;
    default:
        break;
    }
}

} // namespace

namespace backend {

bool wait_message(native_window* native, message& next) {
    while (native->pending.empty()) {
        SDL_Event event;
        if (SDL_WaitEvent(&event) == 0) {
            return false;
        }
        translate(*native, event);
        while (SDL_PollEvent(&event) != 0) { // the rest of a burst, so that its paints merge
            translate(*native, event);
        }
    }
    next = native->pending.front();
    native->pending.pop_front();
    sdl::watch_message_handed_out(*native, next);
    return true;
}

void message_done(native_window* native) {
    // SDL stamps an event when it reads it from the X server: read what piled up during the
    // message now, so that its repeats count as older than this moment.
    SDL_PumpEvents();
    native->done_ticks = SDL_GetTicks();
    sdl::watch_message_done(*native);
}

} // namespace backend

} // namespace platform
