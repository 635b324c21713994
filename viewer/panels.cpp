// Painting: the image, and over it at most one of the three text panels.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "config/settings.h"
#include "tools/tools.h"
#include "viewer/viewer_dialog.h"

namespace {

constexpr const char* help_first_column =
    "Hot key bindings\n----\n\nZoom in: %s\nZoom out: %s\nReset zoom: %s, RIGHT-CLICK\n\nTop "
    "left layout: %s\nTop right layout: %s\nBottom left layout: %s\nBottom right layout: "
    "%s\n\nDisplay program's info (toggle): %s\n\nNB: you can also close this program by "
    "middle-clicking straight on the texture";

constexpr const char* help_second_column =
    "\n\n\nIncrease text size: %s\nDecrease text size: %s\nToggle text transparency: "
    "%s\n\nDisplay image info (toggle): %s\n\nTake a screenshot (%s): %s\n\nMinimize the "
    "window: %s\nExit this program: %s, MIDDLE-CLICK";

constexpr const char* info_format =
    "Information about \"%s\"\n----\n\nSize: %dx%d (actual: %dx%d)\nColor depth: %dbpp\nColors "
    "used: %d (actual: %d)\nMipmaps: %d";

constexpr const char* maker_line = "Written by the Glintview developers";
constexpr const char* library_home_page = "http://openil.sourceforge.net/";

// Panel text is made smaller, down to this height in pixels, when it does not fit the window.
constexpr int smallest_fitted_height = 8;

// The upper-case copy of a setting's text, kept alive while a column is drawn.
struct upper {
    explicit upper(const char* text) : copy(upper_copy(text)) {}
    const char* c_str() const { return copy != nullptr ? copy.get() : ""; }
    std::unique_ptr<char[]> copy;
};

// The library's version number as a dotted tag of its first three digits: 178 gives "1.7.8".
// With fewer digits, those there are: 78 gives "7.8".
void version_tag(std::int32_t version, char (&tag)[16]) {
    char digits[16] = {};
    std::snprintf(digits, sizeof digits, "%d", version);
    std::memset(tag, 0, sizeof tag);
    std::size_t used = 0;
    for (std::size_t i = 0; i < 3 && digits[i] != '\0'; ++i) {
        if (i > 0) {
            tag[used++] = '.';
        }
        tag[used++] = digits[i];
    }
}

// Appends to the panel text at `used`, cut at the buffer's end; returns the new length.
template <std::size_t size>
std::size_t append_text(char (&text)[size], std::size_t used, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
template <std::size_t size>
std::size_t append_text(char (&text)[size], std::size_t used, const char* format, ...) {
    if (used + 1 >= size) {
        return used;
    }
    va_list values;
    va_start(values, format);
    int written = std::vsnprintf(text + used, size - used, format, values);
    va_end(values);
    if (written < 0) {
        return used;
    }
    return std::min(size - 1, used + static_cast<std::size_t>(written));
}

} // namespace

void viewer_dialog::on_paint(const platform::message&) {
    platform::paint_context paint(*get_window());
    platform::device_context& dc = paint.dc();
    if (get_window()->is_minimized()) {
        paint_minimized(dc);
        return;
    }
    if (image == nullptr) {
        return;
    }
    image->blit(dc, 0, 0);
    platform::rect outer = get_window()->window_rect();
    if (show_help && !show_info && !show_version) {
        draw_help_panel(dc, outer);
    } else if (show_info && !show_help && !show_version) {
        draw_info_panel(dc, outer);
    } else if (show_version && !show_help && !show_info) {
        draw_version_panel(dc, outer);
    }
}

// The icon, centred in the client area.
void viewer_dialog::paint_minimized(platform::device_context& dc) {
    int icon_width = platform::system_metric(platform::metric::icon_width);
    int icon_height = platform::system_metric(platform::metric::icon_height);
    platform::rect client = get_window()->client_rect();
    dc.draw_icon((client.width() - icon_width + 1) / 2, (client.height() - icon_height + 1) / 2,
                 icon);
}

// True when every line lies inside the client area's right and bottom edges and no line reaches
// into a line of the next column that stands beside it.
bool viewer_dialog::columns_fit(platform::device_context& dc, const platform::rect& outer,
                                std::span<const panel_column> columns, int height) {
    const platform::rect client = get_window()->client_rect();
    std::vector<platform::rect> previous;
    for (const panel_column& column : columns) {
        std::vector<platform::rect> lines = image->osd_line_boxes(
            dc, outer, column.x_percent, column.y_percent, height, column.text);
        for (const platform::rect& line : lines) {
            if (line.right > client.width() || line.bottom > client.height()) {
                return false;
            }
            for (const platform::rect& left : previous) {
                if (left.top < line.bottom && line.top < left.bottom && left.right > line.left) {
                    return false;
                }
            }
        }
        previous = std::move(lines);
    }
    return true;
}

// The height panel text is drawn at: the text size's when the columns fit there, else the
// largest height down to smallest_fitted_height at which they fit, else the text size's.
int viewer_dialog::fitting_text_height(platform::device_context& dc, const platform::rect& outer,
                                       std::span<const panel_column> columns) {
    const int wanted = image->osd_pixel_height();
    for (int height = wanted; height >= smallest_fitted_height; --height) {
        if (columns_fit(dc, outer, columns, height)) {
            return height;
        }
    }
    return wanted;
}

void viewer_dialog::draw_panel(platform::device_context& dc, const platform::rect& outer,
                               std::span<const panel_column> columns) {
    const int height = fitting_text_height(dc, outer, columns);
    for (const panel_column& column : columns) {
        image->draw_osd_finished_text(dc, outer, column.x_percent, column.y_percent, column.text,
                                      height);
    }
}

void viewer_dialog::draw_help_panel(platform::device_context& dc, const platform::rect& outer) {
    const settings_record& s = viewer_settings;
    char first[osd_text_size] = {};
    char second[osd_text_size] = {};
    {
        upper zoom_in(s.key_zoom_in.key_name), zoom_out(s.key_zoom_out.key_name),
            reset(s.key_reset_zoom.key_name), top_left(s.key_top_left_layout.key_name),
            top_right(s.key_top_right_layout.key_name),
            bottom_left(s.key_bottom_left_layout.key_name),
            bottom_right(s.key_bottom_right_layout.key_name), version(s.key_osd_version.key_name);
        std::snprintf(first, sizeof first, help_first_column, zoom_in.c_str(), zoom_out.c_str(),
                      reset.c_str(), top_left.c_str(), top_right.c_str(), bottom_left.c_str(),
                      bottom_right.c_str(), version.c_str());
    }
    {
        upper bigger(s.key_text_bigger.key_name), smaller(s.key_text_smaller.key_name),
            transparency(s.key_text_transparency.key_name), info(s.key_osd_info.key_name),
            type(s.snapshot_type), snapshot(s.key_snapshot.key_name),
            minimize(s.key_minimize.key_name), exit(s.key_exit.key_name);
        std::snprintf(second, sizeof second, help_second_column, bigger.c_str(), smaller.c_str(),
                      transparency.c_str(), info.c_str(), type.c_str(), snapshot.c_str(),
                      minimize.c_str(), exit.c_str());
    }
    const panel_column columns[] = {{first, 10, 10}, {second, 60, 10}};
    draw_panel(dc, outer, columns);
}

void viewer_dialog::draw_info_panel(platform::device_context& dc, const platform::rect& outer) {
    const platform::bitmap_info& shown = image->get_bitmap_desc();
    const char* text =
        format_text(info_format, file_name_part(image_path, platform::path_separator == '/'),
                    shown.width, shown.height, image->get_actual_width(),
                    image->get_actual_height(), image->get_actual_bpp(), image->colours_shown(),
                    image->get_colors_used(), image->get_mipmaps());
    char full[osd_text_size] = {};
    std::size_t used = append_text(full, 0, "%s", text);
    if (image->get_mipmaps() > 0) {
        used = append_text(full, used, "\nShowing mip %d of %d: %dx%d", image->get_mip_level() + 1,
                           image->get_mipmaps() + 1, image->get_level_width(),
                           image->get_level_height());
    }
    if (image->get_channel_view() != channel_view::colour) {
        used = append_text(full, used, "\nView: %s", channel_view_name(image->get_channel_view()));
    }
    char readout[128] = {};
    if (pointer_readout(readout, sizeof readout)) {
        used = append_text(full, used, "\n%s", readout);
    }
    const panel_column columns[] = {{full, 10, 10}};
    draw_panel(dc, outer, columns);
}

void viewer_dialog::draw_version_panel(platform::device_context& dc, const platform::rect& outer) {
    char tag[16];
    version_tag(image->get_lib_version(), tag);
    const char* text = format_text("Glintview 1.0\n%s\nCompiled on %s %s\n\nThird-party "
                                   "library:\n\n---- DevIL ----\n| Version tag: %s\n| Home page: "
                                   "%s",
                                   maker_line, __DATE__, __TIME__, tag, library_home_page);
    const panel_column columns[] = {{text, 10, 10}};
    draw_panel(dc, outer, columns);
}
