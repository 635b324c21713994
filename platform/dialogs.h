// Message boxes. The style and result values are the classic ones, since callers store them.
#pragma once

namespace platform {

constexpr unsigned mb_ok = 0x0;
constexpr unsigned mb_iconerror = 0x10;
constexpr unsigned mb_iconinformation = 0x40;
constexpr unsigned mb_taskmodal = 0x2000;
constexpr unsigned mb_setforeground = 0x10000;

constexpr int id_ok = 1;

// Shows a box and blocks until it is closed; returns the button pressed (id_ok).
int message_box(const char* text, const char* caption, unsigned style);

} // namespace platform
