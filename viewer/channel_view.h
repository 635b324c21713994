// What the window shows of the image's pixels: the colour, one channel as grey, or the colour
// blended over a checkerboard by its alpha. Applied to the pixels as they are painted, so the
// screen bitmap (and every snapshot made from it) keeps the image's own colours.
#pragma once

#include "platform/gdi.h"

enum class channel_view { colour, alpha, red, green, blue, checkerboard };

// The next view in the cycle; after the checkerboard comes the colour again.
channel_view next_channel_view(channel_view view);
// "colour", "alpha", "red", "green", "blue" or "checkerboard".
const char* channel_view_name(channel_view view);

// The checkerboard's squares, in image pixels, and their two greys.
constexpr int checker_square = 8;
constexpr int checker_light = 204;
constexpr int checker_dark = 153;

// Rewrites the blue, green, red, alpha pixels of `pixels` inside the rectangle (x, y, width,
// height), in the surface's coordinates, as `view` shows them, in one pass; the alpha bytes
// stay. The image's top-left pixel stands at (origin_x, origin_y), where the checkerboard
// starts with a light square.
void show_channel_view(channel_view view, const platform::surface& pixels, int x, int y, int width,
                       int height, int origin_x, int origin_y);
