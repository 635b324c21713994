#include "viewer/pixel_readout.h"

#include <IL/il.h>
#include <cstdio>

bool image_point_under(int x, int y, int shown_width, int shown_height, int image_width,
                       int image_height, image_point& at) {
    if (x < 0 || y < 0 || x >= shown_width || y >= shown_height || image_width <= 0 ||
        image_height <= 0) {
        return false;
    }
    at.x = static_cast<int>(std::int64_t{x} * image_width / shown_width);
    at.y = static_cast<int>(std::int64_t{y} * image_height / shown_height);
    return true;
}

readout_kind readout_kind_of(std::uint32_t format, std::uint32_t type) {
    readout_kind kind;
    kind.grey = format == IL_LUMINANCE || format == IL_LUMINANCE_ALPHA || format == IL_ALPHA;
    kind.floating = type == IL_FLOAT || type == IL_DOUBLE || type == IL_HALF;
    return kind;
}

void format_readout(char* text, std::size_t size, image_point at, const std::uint8_t (&bgra)[4],
                    readout_kind kind) {
    const int blue = bgra[0], green = bgra[1], red = bgra[2], alpha = bgra[3];
    if (kind.grey && kind.floating) {
        std::snprintf(text, size, "Pixel %d, %d: gray %.3f alpha %.3f", at.x, at.y, red / 255.0,
                      alpha / 255.0);
    } else if (kind.grey) {
        std::snprintf(text, size, "Pixel %d, %d: gray %d alpha %d", at.x, at.y, red, alpha);
    } else if (kind.floating) {
        std::snprintf(text, size, "Pixel %d, %d: R %.3f G %.3f B %.3f A %.3f", at.x, at.y,
                      red / 255.0, green / 255.0, blue / 255.0, alpha / 255.0);
    } else {
        std::snprintf(text, size, "Pixel %d, %d: R %d G %d B %d A %d", at.x, at.y, red, green, blue,
                      alpha);
    }
}
