// The one table from native keys (SDL key codes) to virtual-key codes.
#include <SDL_keycode.h>
#include <array>

#include "platform/messages.h"

namespace platform {

namespace {

// A run of native keys whose codes follow each other, and the virtual key of the first.
struct key_run {
    SDL_Keycode first;
    SDL_Keycode last;
    int first_virtual_key;
};

constexpr key_run single(SDL_Keycode native, int virtual_key) {
    return {native, native, virtual_key};
}

constexpr std::array key_runs{
    key_run{SDLK_a, SDLK_z, 65},
    key_run{SDLK_0, SDLK_9, 48},
    key_run{SDLK_F1, SDLK_F12, vk_f1},
    key_run{SDLK_F13, SDLK_F24, vk_f1 + 12},
    key_run{SDLK_KP_1, SDLK_KP_9, vk_numpad0 + 1},
    single(SDLK_KP_0, vk_numpad0),
    single(SDLK_KP_MULTIPLY, vk_multiply),
    single(SDLK_KP_PLUS, vk_add),
    single(SDLK_KP_COMMA, vk_separator),
    single(SDLK_KP_MINUS, vk_subtract),
    single(SDLK_KP_PERIOD, vk_decimal),
    single(SDLK_KP_DIVIDE, vk_divide),
    single(SDLK_KP_ENTER, vk_return),
    single(SDLK_TAB, vk_tab),
    single(SDLK_RETURN, vk_return),
    single(SDLK_ESCAPE, vk_escape),
    single(SDLK_SPACE, vk_space),
    single(SDLK_PAGEUP, vk_prior),
    single(SDLK_PAGEDOWN, vk_next),
    single(SDLK_END, vk_end),
    single(SDLK_HOME, vk_home),
    single(SDLK_LEFT, vk_left),
    single(SDLK_UP, vk_up),
    single(SDLK_RIGHT, vk_right),
    single(SDLK_DOWN, vk_down),
    single(SDLK_INSERT, vk_insert),
    single(SDLK_DELETE, vk_delete),
    single(SDLK_LSHIFT, vk_shift),
    single(SDLK_RSHIFT, vk_shift),
    single(SDLK_LCTRL, vk_control),
    single(SDLK_RCTRL, vk_control),
    single(SDLK_LALT, vk_menu),
    single(SDLK_RALT, vk_menu),
};

} // namespace

int virtual_key_from_native(std::int32_t native_key) {
    for (const key_run& run : key_runs) {
        if (native_key >= run.first && native_key <= run.last) {
            return run.first_virtual_key + (native_key - run.first);
        }
    }
    return 0;
}

} // namespace platform
