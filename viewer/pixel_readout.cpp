#include "viewer/pixel_readout.h"

#include <IL/il.h>
#include <cstdio>
#include <cstring>

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

namespace {

// Where a format keeps red, green, blue and alpha, or grey and alpha (in the first two
// places); -1 for a channel it lacks.
struct channel_places {
    std::uint32_t format;
    int channels;
    bool grey;
    int place[4];
};

constexpr channel_places kept_formats[] = {
    {IL_RGB, 3, false, {0, 1, 2, -1}},        {IL_RGBA, 4, false, {0, 1, 2, 3}},
    {IL_BGR, 3, false, {2, 1, 0, -1}},        {IL_BGRA, 4, false, {2, 1, 0, 3}},
    {IL_LUMINANCE, 1, true, {0, -1, -1, -1}}, {IL_LUMINANCE_ALPHA, 2, true, {0, 1, -1, -1}},
};

const channel_places* places_of(std::uint32_t format) {
    for (const channel_places& places : kept_formats) {
        if (places.format == format) {
            return &places;
        }
    }
    return nullptr;
}

double stored_value(const stored_pixels& stored, std::size_t index) {
    if (stored.floating) {
        float value = 0;
        std::memcpy(&value, stored.bytes.get() + index * sizeof value, sizeof value);
        return value;
    }
    std::uint16_t value = 0;
    std::memcpy(&value, stored.bytes.get() + index * sizeof value, sizeof value);
    return value;
}

// One value as the readout writes it, into `text` of `size` bytes.
void format_value(char* text, std::size_t size, double value, bool floating) {
    if (floating) {
        std::snprintf(text, size, "%.4g", value);
    } else {
        std::snprintf(text, size, "%.0f", value);
    }
}

} // namespace

void keep_stored_pixels(stored_pixels& kept) {
    kept = stored_pixels{}; // the old copy goes before the new one
    const auto type = static_cast<std::uint32_t>(ilGetInteger(IL_IMAGE_TYPE));
    const auto format = static_cast<std::uint32_t>(ilGetInteger(IL_IMAGE_FORMAT));
    const bool floating = type == IL_FLOAT || type == IL_HALF || type == IL_DOUBLE;
    const channel_places* places = places_of(format);
    const ILint width = ilGetInteger(IL_IMAGE_WIDTH), height = ilGetInteger(IL_IMAGE_HEIGHT);
    if ((!floating && type != IL_UNSIGNED_SHORT) || places == nullptr || width <= 0 ||
        height <= 0) {
        return;
    }
    const std::size_t value_size = floating ? sizeof(float) : sizeof(std::uint16_t);
    std::unique_ptr<std::uint8_t[], platform::pixel_deleter> bytes(
        static_cast<std::uint8_t*>(platform::allocate_pixels(static_cast<std::size_t>(width) *
                                                             static_cast<std::size_t>(height) *
                                                             places->channels * value_size)));
    if (bytes == nullptr ||
        ilCopyPixels(0, 0, 0, static_cast<ILuint>(width), static_cast<ILuint>(height), 1, format,
                     floating ? IL_FLOAT : IL_UNSIGNED_SHORT, bytes.get()) == 0) {
        return;
    }
    kept.format = format;
    kept.floating = floating;
    kept.width = width;
    kept.height = height;
    kept.bytes = std::move(bytes);
}

bool format_stored_readout(char* text, std::size_t size, image_point at,
                           const stored_pixels& stored) {
    const channel_places* places = places_of(stored.format);
    if (places == nullptr || stored.empty() || at.x < 0 || at.y < 0 || at.x >= stored.width ||
        at.y >= stored.height) {
        return false;
    }
    const std::size_t first =
        (static_cast<std::size_t>(stored.width) * at.y + at.x) * places->channels;
    const double opaque = stored.floating ? 1.0 : 65535.0;
    char values[4][32] = {};
    for (int c = 0; c < 4; ++c) {
        int place = places->place[c];
        format_value(values[c], sizeof values[c],
                     place >= 0 ? stored_value(stored, first + place) : opaque, stored.floating);
    }
    if (places->grey) {
        std::snprintf(text, size, "Pixel %d, %d: gray %s alpha %s", at.x, at.y, values[0],
                      values[1]);
    } else {
        std::snprintf(text, size, "Pixel %d, %d: R %s G %s B %s A %s", at.x, at.y, values[0],
                      values[1], values[2], values[3]);
    }
    return true;
}
