// Panel text: laid out character by character over the image, in the panel font and colours.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "viewer/displayed_image.h"

namespace {

platform::colour_ref colour_of(const std::uint8_t (&rgb)[3]) {
    return platform::rgb(rgb[0], rgb[1], rgb[2]);
}

std::unique_ptr<platform::font> panel_font(const char* face_name, int pixel_height) {
    platform::log_font description{};
    description.height = -pixel_height;
    description.weight = platform::fw_normal;
    description.out_precision = platform::out_tt_only_precis;
    description.quality = platform::cleartype_quality;
    std::memcpy(description.face_name, face_name, sizeof description.face_name);
    return platform::font::create(description);
}

// Lines start at x0 less a small caption's height and are the font's pixel height plus 5 apart;
// characters (UTF-8 sequences) are placed one by one by their own advance widths. Calls
// place(x, y, character, bytes, advance) for each.
template <typename placer>
void lay_out(platform::device_context& dc, const platform::rect& window_rect,
             std::int32_t x_percent, std::int32_t y_percent, int pixel_height, const char* text,
             placer place) {
    std::int64_t width = window_rect.right - window_rect.left;
    std::int64_t height = window_rect.bottom - window_rect.top;
    int x0 = static_cast<int>(width * x_percent / 100);
    int y = static_cast<int>(height * y_percent / 100);
    int line_step = pixel_height + 5;
    const int line_start = -platform::system_metric(platform::metric::small_caption_height);
    int dx = line_start;
    const std::size_t length = std::strlen(text);
    for (std::size_t at = 0, used = 1; at < length; at += used) {
        used = 1;
        if (text[at] == '\n') {
            dx = line_start;
            y += line_step;
            continue;
        }
        platform::next_character(text + at, length - at, used);
        platform::size extent;
        dc.text_extent(text + at, static_cast<int>(used), extent);
        place(x0 + dx, y, text + at, static_cast<int>(used), extent);
        dx += extent.cx;
    }
}

} // namespace

void displayed_image::draw_osd_text(platform::device_context& dc, const platform::rect& window_rect,
                                    std::int32_t x_percent, std::int32_t y_percent,
                                    const char* format, ...) {
    std::memset(osd_text, 0, sizeof osd_text);
    va_list values;
    va_start(values, format);
    std::vsnprintf(osd_text, sizeof osd_text, format, values);
    va_end(values);
    draw_osd_characters(dc, window_rect, x_percent, y_percent, osd_pixel_height());
}

void displayed_image::draw_osd_finished_text(platform::device_context& dc,
                                             const platform::rect& window_rect,
                                             std::int32_t x_percent, std::int32_t y_percent,
                                             const char* text, int pixel_height) {
    std::memset(osd_text, 0, sizeof osd_text);
    std::snprintf(osd_text, sizeof osd_text, "%s", text != nullptr ? text : "");
    draw_osd_characters(dc, window_rect, x_percent, y_percent,
                        pixel_height > 0 ? pixel_height : osd_pixel_height());
}

int displayed_image::osd_pixel_height() const {
    int height =
        platform::mul_div(font_height, platform::system_metric(platform::metric::dpi_y), 72);
    return height < 0 ? -height : height;
}

void displayed_image::draw_osd_characters(platform::device_context& dc,
                                          const platform::rect& window_rect, std::int32_t x_percent,
                                          std::int32_t y_percent, int pixel_height) {
    std::unique_ptr<platform::font> font = panel_font(font_name, pixel_height);
    if (font == nullptr) {
        return;
    }
    const platform::font* previous = dc.select_font(font.get());
    if (transparent) {
        dc.set_background_mode(platform::background_mode::transparent);
    }
    dc.set_background_colour(colour_of(back_color));
    dc.set_text_colour(colour_of(font_color));
    lay_out(dc, window_rect, x_percent, y_percent, pixel_height, osd_text,
            [&](int x, int y, const char* character, int bytes, const platform::size&) {
                dc.text_out(x, y, character, bytes);
            });
    dc.select_font(previous);
}

std::vector<platform::rect>
displayed_image::osd_line_boxes(platform::device_context& dc, const platform::rect& window_rect,
                                std::int32_t x_percent, std::int32_t y_percent, int pixel_height,
                                const char* text) const {
    std::vector<platform::rect> lines;
    std::unique_ptr<platform::font> font = panel_font(font_name, pixel_height);
    if (font == nullptr) {
        return lines;
    }
    const platform::font* previous = dc.select_font(font.get());
    lay_out(dc, window_rect, x_percent, y_percent, pixel_height, text,
            [&](int x, int y, const char*, int, const platform::size& extent) {
                if (lines.empty() || lines.back().top != y) {
                    lines.push_back({x, y, x, y + extent.cy});
                }
                lines.back().right = x + extent.cx;
            });
    dc.select_font(previous);
    return lines;
}
