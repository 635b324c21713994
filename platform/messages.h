// The messages a window receives and the virtual-key codes they carry. The identifiers are the
// classic values, since a dialog's message table and the configuration file are written in them.
#pragma once

#include <cstdint>

namespace platform {

struct message {
    std::uint32_t id;
    std::uintptr_t wparam;
    std::intptr_t lparam;
};

constexpr std::uint32_t wm_paint = 0x000F;
constexpr std::uint32_t wm_close = 0x0010;
constexpr std::uint32_t wm_querydragicon = 0x0037;
constexpr std::uint32_t wm_keydown = 0x0100;
constexpr std::uint32_t wm_timer = 0x0113;            // the window's timer ran out
constexpr std::uint32_t wm_descriptor_ready = 0x8001; // wparam: the watched descriptor, readable
constexpr std::uint32_t wm_mousemove = 0x0200;        // lparam: client x and y, as for the buttons
constexpr std::uint32_t wm_lbuttondown = 0x0201;
constexpr std::uint32_t wm_rbuttondown = 0x0204;
constexpr std::uint32_t wm_mbuttondown = 0x0207;
constexpr std::uint32_t wm_mousewheel = 0x020A;
constexpr std::uint32_t wm_mouseleave = 0x02A3; // the pointer left the client area

// One wheel notch; the delta travels in the high word of wparam, signed.
constexpr int wheel_delta = 120;

constexpr message key_down_message(int virtual_key) {
    return {wm_keydown, static_cast<std::uintptr_t>(virtual_key), 0};
}
constexpr message wheel_message(int delta) {
    return {wm_mousewheel, static_cast<std::uintptr_t>(static_cast<std::uint16_t>(delta)) << 16, 0};
}
constexpr int wheel_delta_of(const message& m) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(m.wparam >> 16));
}
constexpr message button_message(std::uint32_t id, int x, int y) {
    return {id, 0, static_cast<std::intptr_t>((y & 0xFFFF) << 16 | (x & 0xFFFF))};
}

constexpr int x_of(const message& m) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(m.lparam & 0xFFFF));
}
constexpr int y_of(const message& m) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>((m.lparam >> 16) & 0xFFFF));
}

// Virtual-key codes of keys with no letter or digit of their own.
constexpr int vk_tab = 9;
constexpr int vk_return = 13;
constexpr int vk_shift = 16;
constexpr int vk_control = 17;
constexpr int vk_menu = 18; // alt
constexpr int vk_escape = 27;
constexpr int vk_space = 32;
constexpr int vk_prior = 33; // page up
constexpr int vk_next = 34;  // page down
constexpr int vk_end = 35;
constexpr int vk_home = 36;
constexpr int vk_left = 37;
constexpr int vk_up = 38;
constexpr int vk_right = 39;
constexpr int vk_down = 40;
constexpr int vk_insert = 45;
constexpr int vk_delete = 46;
constexpr int vk_numpad0 = 96; // to 105
constexpr int vk_multiply = 106;
constexpr int vk_add = 107;
constexpr int vk_separator = 108;
constexpr int vk_subtract = 109;
constexpr int vk_decimal = 110;
constexpr int vk_divide = 111;
constexpr int vk_f1 = 112; // to F24, 135

// The virtual-key code of a native key (an X keysym), or 0 for a key with none.
int virtual_key_from_native(std::uint32_t native_key);

} // namespace platform
