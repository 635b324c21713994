// The size an image opens at when it is larger than the screen.
#pragma once

#include <cstdint>

// The width (the height follows the aspect ratio, truncated, as a rescale makes it) at which an
// image of width x height fits the screen less a margin on each side and the caption, or 0 when
// it fits as it is or nothing would fit.
std::int64_t fitted_width(std::int64_t width, std::int64_t height, int screen_width,
                          int screen_height, int margin, int caption);
