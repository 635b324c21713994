// The one table from native keys (X keysyms) to virtual-key codes.
#include <X11/keysym.h>
#include <array>

#include "platform/messages.h"

namespace platform {

namespace {

// A run of keysyms whose values follow each other, and the virtual key of the first.
struct key_run {
    std::uint32_t first;
    std::uint32_t last;
    int first_virtual_key;
};

constexpr key_run single(std::uint32_t native, int virtual_key) {
    return {native, native, virtual_key};
}

// A layout may give capitals without Shift; both cases name the same key. The keypad's keys
// without Num Lock are the navigation keys they are labelled with.
constexpr std::array key_runs{
    key_run{XK_a, XK_z, 'A'},
    key_run{XK_A, XK_Z, 'A'},
    key_run{XK_0, XK_9, '0'},
    key_run{XK_F1, XK_F24, vk_f1},
    key_run{XK_KP_0, XK_KP_9, vk_numpad0},
    single(XK_KP_Multiply, vk_multiply),
    single(XK_KP_Add, vk_add),
    single(XK_KP_Separator, vk_separator),
    single(XK_KP_Subtract, vk_subtract),
    single(XK_KP_Decimal, vk_decimal),
    single(XK_KP_Divide, vk_divide),
    single(XK_KP_Enter, vk_return),
    single(XK_Tab, vk_tab),
    single(XK_ISO_Left_Tab, vk_tab),
    single(XK_Return, vk_return),
    single(XK_Escape, vk_escape),
    single(XK_space, vk_space),
    single(XK_KP_Space, vk_space),
    single(XK_Page_Up, vk_prior),
    single(XK_KP_Page_Up, vk_prior),
    single(XK_Page_Down, vk_next),
    single(XK_KP_Page_Down, vk_next),
    single(XK_End, vk_end),
    single(XK_KP_End, vk_end),
    single(XK_Home, vk_home),
    single(XK_KP_Home, vk_home),
    key_run{XK_Left, XK_Down, vk_left}, // left, up, right, down
    key_run{XK_KP_Left, XK_KP_Down, vk_left},
    single(XK_Insert, vk_insert),
    single(XK_KP_Insert, vk_insert),
    single(XK_Delete, vk_delete),
    single(XK_KP_Delete, vk_delete),
    single(XK_Shift_L, vk_shift),
    single(XK_Shift_R, vk_shift),
    single(XK_Control_L, vk_control),
    single(XK_Control_R, vk_control),
    single(XK_Alt_L, vk_menu),
    single(XK_Alt_R, vk_menu),
};

} // namespace

int virtual_key_from_native(std::uint32_t native_key) {
    for (const key_run& run : key_runs) {
        if (native_key >= run.first && native_key <= run.last) {
            return run.first_virtual_key + static_cast<int>(native_key - run.first);
        }
    }
    return 0;
}

} // namespace platform
