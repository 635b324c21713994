#include "viewer/fit_to_screen.h"

#include <algorithm>

std::int64_t fitted_width(std::int64_t width, std::int64_t height, int screen_width,
                          int screen_height, int margin, int caption) {
    const std::int64_t room_width = std::int64_t{screen_width} - 2 * std::int64_t{margin};
    const std::int64_t room_height =
        std::int64_t{screen_height} - 2 * std::int64_t{margin} - caption;
    if (width <= 0 || height <= 0 || room_width <= 0 || room_height <= 0) {
        return 0;
    }
    if (width <= room_width && height <= room_height) {
        return 0;
    }
    // The widest width whose truncated height still fits.
    std::int64_t fitted = std::min(room_width, room_height * width / height);
    return fitted > 0 ? fitted : 0;
}
