// Icon 130: the window's icon, drawn by resources/generator/draw_icon.cpp.
#pragma once
#include <cstdint>
namespace resources {
constexpr int icon_130_size = 32;
// Blue, green, red per pixel, rows top first.
extern const std::uint8_t icon_130_bgr[icon_130_size * icon_130_size * 3];
} // namespace resources
