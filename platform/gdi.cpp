// Drawing into 32-bit surfaces: bitmaps, device contexts, block copies, text and icons.
//
// Every operation clips to the surfaces it touches: callers place panels and images by window
// percentages, so partly (or wholly) outside positions are ordinary.
#include "platform/gdi.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "platform/fonts.h"

namespace platform {

namespace {

constexpr int bytes_per_pixel = 4;

// A half-open rectangle in 64 bits, so that position plus size never overflows.
struct area {
    std::int64_t left = 0;
    std::int64_t top = 0;
    std::int64_t right = 0;
    std::int64_t bottom = 0;

    bool empty() const { return left >= right || top >= bottom; }
};

area placed(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height) {
    return {x, y, x + width, y + height};
}

area bounds(const surface& s) {
    return placed(s.left, s.top, s.width, s.height);
}

area operator&(const area& a, const area& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

std::uint8_t* pixel(const surface& s, std::int64_t x, std::int64_t y) {
    return s.pixels + (y - s.top) * s.pitch + (x - s.left) * bytes_per_pixel;
}

struct bgr {
    std::uint8_t blue;
    std::uint8_t green;
    std::uint8_t red;
};

bgr channels(colour_ref colour) {
    return {static_cast<std::uint8_t>(colour >> 16), static_cast<std::uint8_t>(colour >> 8),
            static_cast<std::uint8_t>(colour)};
}

void fill(const surface& s, const area& where, bgr colour) {
    for (std::int64_t y = where.top; y < where.bottom; ++y) {
        std::uint8_t* p = pixel(s, where.left, y);
        for (std::int64_t x = where.left; x < where.right; ++x, p += bytes_per_pixel) {
            p[0] = colour.blue;
            p[1] = colour.green;
            p[2] = colour.red;
        }
    }
}

std::uint8_t blend(std::uint8_t under, std::uint8_t over, int coverage) {
    return static_cast<std::uint8_t>(under + (over - under) * coverage / 255);
}

// Blends the glyph in `colour` wherever it falls inside `clip`, its pen at (x, baseline).
void draw_glyph(const surface& s, const area& clip, const glyph_image& glyph, std::int64_t x,
                std::int64_t baseline, bgr colour) {
    const std::int64_t left = x + glyph.left;
    const std::int64_t top = baseline - glyph.top;
    const area drawn = placed(left, top, glyph.width, glyph.rows) & clip;
    for (std::int64_t y = drawn.top; y < drawn.bottom; ++y) {
        const std::uint8_t* cover = glyph.coverage + (y - top) * glyph.pitch + (drawn.left - left);
        std::uint8_t* p = pixel(s, drawn.left, y);
        for (std::int64_t px = drawn.left; px < drawn.right; ++px, ++cover, p += bytes_per_pixel) {
            if (*cover != 0) {
                p[0] = blend(p[0], colour.blue, *cover);
                p[1] = blend(p[1], colour.green, *cover);
                p[2] = blend(p[2], colour.red, *cover);
            }
        }
    }
}

} // namespace

int mul_div(int a, int b, int c) {
    if (c == 0) {
        return -1;
    }
    const std::int64_t product = std::int64_t{a} * b;
    const std::int64_t divisor = std::llabs(c);
    // Round half away from zero, on magnitudes.
    const std::int64_t magnitude = (std::llabs(product) + divisor / 2) / divisor;
    const std::int64_t result = (product < 0) != (c < 0) ? -magnitude : magnitude;
    if (result > INT32_MAX || result < INT32_MIN) {
        return -1;
    }
    return static_cast<int>(result);
}

bitmap::bitmap(int width, int height) : width(width), height(height) {}

bool bitmap::size_possible(std::int64_t width, std::int64_t height) {
    return width >= 1 && height >= 1 && width <= bitmap_max_side && height <= bitmap_max_side &&
           static_cast<std::uint64_t>(width * height * bytes_per_pixel) <= bitmap_max_bytes;
}

std::unique_ptr<bitmap> bitmap::create(int width, int height, int planes, int bits_per_pixel,
                                       const void* pixels) {
    if (planes != 1 || bits_per_pixel != 32 || !size_possible(width, height)) {
        return nullptr;
    }
    const std::uint64_t bytes = std::uint64_t{bytes_per_pixel} * width * height;
    std::unique_ptr<std::uint8_t[], pixel_deleter> bits(
        static_cast<std::uint8_t*>(allocate_pixels(bytes)));
    std::unique_ptr<bitmap> made(new (std::nothrow) bitmap(width, height));
    if (!bits || !made) {
        return nullptr;
    }
    if (pixels) {
        std::memcpy(bits.get(), pixels, bytes);
    } else {
        std::memset(bits.get(), 0, bytes);
    }
    made->bits = std::move(bits);
    return made;
}

bitmap_info bitmap::describe() const {
    return {0, width, height, width * bytes_per_pixel, 1, 32, bits.get()};
}

long bitmap::get_bits(long count, void* out) const {
    const long total = static_cast<long>(width) * height * bytes_per_pixel;
    const long copied = std::clamp(count, 0L, total);
    if (out && copied > 0) {
        std::memcpy(out, bits.get(), static_cast<std::size_t>(copied));
        return copied;
    }
    return 0;
}

surface bitmap::pixels() {
    return {bits.get(), width, height, width * bytes_per_pixel};
}

icon::icon(int width, int height, const std::uint8_t* bgr)
    : side_x(std::max(width, 0)), side_y(std::max(height, 0)),
      argb(static_cast<std::size_t>(side_x) * side_y) {
    for (std::size_t i = 0; bgr && i < argb.size(); ++i, bgr += 3) {
        argb[i] = std::uint32_t{bgr[2]} << 16 | std::uint32_t{bgr[1]} << 8 | bgr[0];
    }
}

device_context::device_context(surface target) : own_target(target) {}

std::unique_ptr<device_context> device_context::create_compatible(const device_context&) {
    std::unique_ptr<device_context> memory(new (std::nothrow) device_context(surface{}));
    if (memory) {
        memory->is_memory = true;
    }
    return memory;
}

bitmap* device_context::select_bitmap(bitmap* selected) {
    return std::exchange(selected_bitmap, selected);
}

const font* device_context::select_font(const font* selected) {
    return std::exchange(selected_font, selected);
}

background_mode device_context::set_background_mode(background_mode next) {
    return std::exchange(mode, next);
}

colour_ref device_context::set_background_colour(colour_ref colour) {
    return std::exchange(background_colour, colour);
}

colour_ref device_context::set_text_colour(colour_ref colour) {
    return std::exchange(text_colour, colour);
}

surface device_context::target() const {
    if (!is_memory) {
        return own_target;
    }
    return selected_bitmap ? selected_bitmap->pixels() : surface{};
}

char32_t next_character(const char* text, std::size_t available, std::size_t& used) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    used = 1;
    const unsigned lead = bytes[0];
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length == 1 || length > available || lead > 0xF4) {
        return lead;
    }
    char32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((bytes[i] & 0xC0) != 0x80) {
            return lead;
        }
        code = code << 6 | (bytes[i] & 0x3F);
    }
    // Overlong forms, surrogates and code points past Unicode's end are not UTF-8.
    constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
        return lead;
    }
    used = length;
    return code;
}

// Each character changes only its own cell (advance x cell height): the background in opaque
// mode, then the glyph's pixels that fall inside the cell.
bool device_context::text_out(int x, int y, const char* text, int count) {
    if (!selected_font || count < 0 || (count > 0 && !text)) {
        return false;
    }
    const surface s = target();
    font_face& face = selected_font->face();
    const int cell_height = selected_font->cell_height();
    std::int64_t pen = x;
    for (std::size_t i = 0, used = 0; i < static_cast<std::size_t>(count); i += used) {
        const char32_t character = next_character(text + i, count - i, used);
        const int advance = face.advance(character);
        const area cell = placed(pen, y, advance, cell_height) & bounds(s);
        if (!cell.empty()) {
            if (mode == background_mode::opaque) {
                fill(s, cell, channels(background_colour));
            }
            draw_glyph(s, cell, face.glyph(character), pen, std::int64_t{y} + face.ascent(),
                       channels(text_colour));
        }
        pen += advance;
    }
    return true;
}

bool device_context::text_extent(const char* text, int count, size& out) const {
    if (!selected_font || count < 0 || (count > 0 && !text)) {
        return false;
    }
    int width = 0;
    for (std::size_t i = 0, used = 0; i < static_cast<std::size_t>(count); i += used) {
        width += selected_font->advance(next_character(text + i, count - i, used));
    }
    out = {width, selected_font->cell_height()};
    return true;
}

bool device_context::draw_icon(int x, int y, const icon& picture) {
    const surface s = target();
    if (!s.pixels) {
        return false;
    }
    const area drawn = placed(x, y, picture.width(), picture.height()) & bounds(s);
    const std::size_t row_bytes = static_cast<std::size_t>(drawn.right - drawn.left) * 4;
    for (std::int64_t row = drawn.top; !drawn.empty() && row < drawn.bottom; ++row) {
        const std::uint32_t* from =
            picture.pixels().data() + (row - y) * picture.width() + (drawn.left - x);
        std::memcpy(pixel(s, drawn.left, row), from, row_bytes); // 0x00RRGGBB is B, G, R, 0
    }
    return true;
}

// The destination area is cut to the destination, then to where the source surface lands on
// it; every row left is one copy. Rows run bottom-up when a surface is copied down onto itself.
bool bit_blt(device_context& destination, int x, int y, int width, int height,
             const device_context& source, int source_x, int source_y) {
    const surface to = destination.target();
    const surface from = source.target();
    if (!to.pixels || !from.pixels) {
        return false;
    }
    const std::int64_t shift_x = std::int64_t{x} - source_x;
    const std::int64_t shift_y = std::int64_t{y} - source_y;
    const area drawn = placed(x, y, std::max(width, 0), std::max(height, 0)) & bounds(to) &
                       placed(from.left + shift_x, from.top + shift_y, from.width, from.height);
    if (drawn.empty()) {
        return true;
    }
    const std::size_t row_bytes = static_cast<std::size_t>(drawn.right - drawn.left) * 4;
    const bool upward = to.pixels == from.pixels && shift_y > 0;
    for (std::int64_t i = 0; i < drawn.bottom - drawn.top; ++i) {
        const std::int64_t row = upward ? drawn.bottom - 1 - i : drawn.top + i;
        std::memmove(pixel(to, drawn.left, row), pixel(from, drawn.left - shift_x, row - shift_y),
                     row_bytes);
    }
    return true;
}

} // namespace platform
