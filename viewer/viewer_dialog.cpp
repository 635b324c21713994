#include "viewer/viewer_dialog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "config/settings.h"
#include "resources/icon_130.h"
#include "tools/tools.h"
#include "viewer/fit_to_screen.h"
#include "viewer/pixel_readout.h"

const platform::window_description viewer_template = {
    platform::ws_popup | platform::ws_visible | platform::ws_caption | platform::ws_sysmenu |
        platform::ws_minimizebox | platform::ds_setforeground | platform::ds_modalframe |
        platform::ds_setfont | platform::ds_absalign,
    platform::ws_ex_topmost | platform::ws_ex_appwindow,
    "Glintview",
    0,
    0,
    380, // 253 x 146 dialog units of 8-point Tahoma
    237,
    "Tahoma",
    8,
};

namespace {

constexpr int smallest_zoom_width = 64;
constexpr bool big_icon = true;

const char* const load_error =
    "Error loading [%s]\n\nThis is an error from the DevIL image library, not my code";

// Where a window of width x height goes for a layout text; an unknown text means bottom right.
struct corner {
    int x;
    int y;
};
corner corner_position(const char* layout, int width, int height, int margin, int caption) {
    int screen_width = platform::system_metric(platform::metric::screen_width);
    int screen_height = platform::system_metric(platform::metric::screen_height);
    int left = margin;
    int right = screen_width - width - margin;
    int top = margin;
    int bottom = screen_height - height - margin - caption;
    if (std::strcmp(layout, "top left") == 0) {
        return {left, top};
    }
    if (std::strcmp(layout, "top right") == 0) {
        return {right, top};
    }
    if (std::strcmp(layout, "bottom left") == 0) {
        return {left, bottom};
    }
    return {right, bottom};
}

} // namespace

viewer_dialog::viewer_dialog(const char* image_path)
    : platform::dialog(viewer_template), image_path(image_path),
      icon(resources::icon_130_size, resources::icon_130_size, resources::icon_130_bgr) {}

viewer_dialog::~viewer_dialog() {
    image.reset();
}

bool viewer_dialog::on_init_dialog() {
    platform::dialog::on_init_dialog();
    platform::window& shown = *get_window();
    shown.set_icon(&icon, big_icon);
    shown.set_icon(&icon, !big_icon);
    if (!viewer_settings.show_caption_bar) {
        shown.modify_style(platform::ws_caption, 0);
    }
    show_help = show_info = show_version = 0;
    image = std::make_unique<displayed_image>();
    // An image to be fitted to the screen gets its bitmap from the rescale alone.
    const bool fitting = viewer_settings.fit_to_screen;
    if (!image->load_image(image_path, nullptr, !fitting)) {
        error_box(load_error, image_path);
        load_failed = true;
        end_dialog(0);
        return true;
    }
    if (fitting && !fit_to_screen()) {
        image->show_loaded();
    }
    const platform::bitmap_info& shown_size = image->get_bitmap_desc();
    place_window(shown_size.width, shown_size.height, true);
    place_window(shown_size.width, shown_size.height, false);
    take_over_settings();
    start_watching();
    count_due = true;
    get_window()->set_timer(0);
    return true;
}

// One setting, snapshot_use_rle, drives both RLE options.
void viewer_dialog::take_over_settings() {
    const settings_record& s = viewer_settings;
    image->set_font_name(s.osd_font_name);
    image->set_font_height(s.osd_font_height);
    image->set_font_color(s.osd_font_color[0], s.osd_font_color[1], s.osd_font_color[2]);
    image->set_back_color(s.osd_background_color[0], s.osd_background_color[1],
                          s.osd_background_color[2]);
    image->set_transparent(s.osd_text_transparent);
    image->set_tga_rle(s.snapshot_use_rle);
    image->set_bmp_rle(s.snapshot_use_rle);
    image->set_jpg_quality(s.snapshot_jpg_quality);
}

std::span<const platform::message_entry> viewer_dialog::message_table() const {
    using platform::answer;
    using platform::handle;
    static const platform::message_entry table[] = {
        {platform::wm_paint, handle<viewer_dialog, &viewer_dialog::on_paint>},
        {platform::wm_querydragicon, answer<viewer_dialog, &viewer_dialog::on_query_drag_icon>},
        {platform::wm_rbuttondown, handle<viewer_dialog, &viewer_dialog::on_rbutton_down>},
        {platform::wm_mousewheel, answer<viewer_dialog, &viewer_dialog::on_mouse_wheel>},
        {platform::wm_lbuttondown, handle<viewer_dialog, &viewer_dialog::on_lbutton_down>},
        {platform::wm_mbuttondown, handle<viewer_dialog, &viewer_dialog::on_mbutton_down>},
        {platform::wm_mousemove, handle<viewer_dialog, &viewer_dialog::on_mouse_move>},
        {platform::wm_mouseleave, handle<viewer_dialog, &viewer_dialog::on_mouse_leave>},
        {platform::wm_descriptor_ready, handle<viewer_dialog, &viewer_dialog::on_descriptor_ready>},
        {platform::wm_timer, handle<viewer_dialog, &viewer_dialog::on_timer>},
    };
    return table;
}

std::intptr_t viewer_dialog::on_query_drag_icon(const platform::message&) {
    return reinterpret_cast<std::intptr_t>(&icon);
}

void viewer_dialog::on_rbutton_down(const platform::message&) {
    reset_zoom(true);
}

std::intptr_t viewer_dialog::on_mouse_wheel(const platform::message& m) {
    zoom_step(platform::wheel_delta_of(m) >= 0);
    return 0;
}

void viewer_dialog::on_lbutton_down(const platform::message&) {
    get_window()->begin_move_drag();
}

void viewer_dialog::on_mbutton_down(const platform::message&) {
    end_dialog(0);
}

// The information panel reads out the pixel under the pointer: only it changes as it moves.
void viewer_dialog::on_mouse_move(const platform::message& m) {
    pointer_inside = true;
    pointer_x = platform::x_of(m);
    pointer_y = platform::y_of(m);
    if (show_info) {
        repaint();
    }
}

void viewer_dialog::on_mouse_leave(const platform::message&) {
    pointer_inside = false;
    if (show_info) {
        repaint();
    }
}

bool viewer_dialog::pointer_readout(char* line, std::size_t size) {
    image_point at;
    const platform::bitmap_info& shown = image->get_bitmap_desc();
    if (!pointer_inside ||
        !image_point_under(pointer_x, pointer_y, shown.width, shown.height,
                           image->get_level_width(), image->get_level_height(), at)) {
        return false;
    }
    const stored_pixels* stored = image->get_stored_pixels();
    if (stored != nullptr && format_stored_readout(line, size, at, *stored)) {
        return true;
    }
    std::uint8_t bgra[4] = {};
    if (!image->pixel_as_loaded(at.x, at.y, bgra)) {
        std::snprintf(line, size, "Pixel %d, %d", at.x, at.y);
        return true;
    }
    const ILinfo& loaded = image->get_image_lib()->loaded_image_info();
    format_readout(line, size, at, bgra, readout_kind_of(loaded.Format, loaded.Type));
    return true;
}

void viewer_dialog::place_window(int width, int height, bool to_corner) {
    platform::window& shown = *get_window();
    int caption_height = platform::system_metric(platform::metric::caption_height);
    int caption = viewer_settings.show_caption_bar ? caption_height : 0;
    platform::rect outer = shown.window_rect();
    if (to_corner) {
        corner at =
            corner_position(viewer_settings.default_layout, width, height, caption_height, caption);
        shown.set_window_pos(at.x, at.y, width, height + caption);
    } else {
        shown.set_window_pos(outer.left, outer.top, width, height + caption);
        set_title();
    }
    repaint();
}

void viewer_dialog::set_title() {
    const char* name = file_name_part(image_path, platform::path_separator == '/');
    double kilobytes = static_cast<double>(file_size(image_path)) / 1000.0;
    get_window()->set_text(format_text("Glintview - %s | %dx%d @ %dbpp | %.0fkb", name,
                                       image->get_actual_width(), image->get_actual_height(),
                                       image->get_actual_bpp(), kilobytes));
}

void viewer_dialog::repaint() {
    get_window()->invalidate();
    get_window()->update();
}

void viewer_dialog::zoom_step(bool zoom_in) {
    int step = viewer_settings.resize_threshold;
    std::int64_t current = image->get_bitmap_desc().width;
    std::int64_t new_width = zoom_in ? current + step : current - step;
    if (new_width < smallest_zoom_width) {
        return;
    }
    // The height follows the aspect ratio of the level shown; a size no bitmap can hold is
    // refused too.
    std::int64_t loaded_width = image->get_level_width();
    std::int64_t new_height =
        loaded_width > 0 ? new_width * image->get_level_height() / loaded_width : 0;
    if (!platform::bitmap::size_possible(new_width, std::max<std::int64_t>(new_height, 1))) {
        return;
    }
    if (!image->holds_loaded(image_path, nullptr)) {
        image->load_image(image_path, nullptr, false);
    }
    resample::area on_screen = part_on_screen();
    image->resize_image(static_cast<int>(new_width), 0, viewer_settings.resize_filter, &on_screen);
    // Sized to what is shown, which is the loaded size when the rescale failed.
    const platform::bitmap_info& shown = image->get_bitmap_desc();
    place_window(shown.width, shown.height, false);
    image->complete_in_background();
}

bool viewer_dialog::fit_to_screen() {
    int caption_height = platform::system_metric(platform::metric::caption_height);
    std::int64_t width =
        fitted_width(image->get_actual_width(), image->get_actual_height(),
                     platform::system_metric(platform::metric::screen_width),
                     platform::system_metric(platform::metric::screen_height), caption_height,
                     viewer_settings.show_caption_bar ? caption_height : 0);
    if (width <= 0) {
        return false;
    }
    // Not yet on the screen: the whole of it is made at once.
    image->resize_image(static_cast<int>(width), 0, viewer_settings.resize_filter);
    return true;
}

void viewer_dialog::cycle_channel_view() {
    image->set_channel_view(next_channel_view(image->get_channel_view()));
    repaint();
}

void viewer_dialog::step_mip_level(bool smaller) {
    std::int32_t level = image->get_mip_level() + (smaller ? 1 : -1);
    if (level < 0 || level > image->get_mipmaps()) {
        return;
    }
    image->set_mip_level(level);
    image->load_image(image_path, nullptr);
    const platform::bitmap_info& shown = image->get_bitmap_desc();
    place_window(shown.width, shown.height, false);
}

void viewer_dialog::reset_zoom(bool only_if_zoomed) {
    if (only_if_zoomed && image->get_bitmap_desc().width == image->get_level_width()) {
        return;
    }
    if (image->holds_loaded(image_path, nullptr)) {
        image->show_loaded();
    } else {
        image->load_image(image_path, nullptr);
    }
    const platform::bitmap_info& shown = image->get_bitmap_desc();
    place_window(shown.width, shown.height, false);
}

// The part of the image that the screen shows with the window where it is: the window keeps
// its top-left corner as it grows.
resample::area viewer_dialog::part_on_screen() {
    int screen_width = platform::system_metric(platform::metric::screen_width);
    int screen_height = platform::system_metric(platform::metric::screen_height);
    int caption_height = platform::system_metric(platform::metric::caption_height);
    platform::rect outer = get_window()->window_rect();
    int top = outer.top + (viewer_settings.show_caption_bar ? caption_height : 0);
    int left = std::max(0, -outer.left);
    int above = std::max(0, -top);
    int right = std::max(0, screen_width - outer.left);
    int below = std::max(0, screen_height - top);
    if (right <= left || below <= above) {
        return {0, 0, static_cast<std::uint32_t>(std::max(screen_width, 1)),
                static_cast<std::uint32_t>(std::max(screen_height, 1))};
    }
    return {static_cast<std::uint32_t>(left), static_cast<std::uint32_t>(above),
            static_cast<std::uint32_t>(right - left), static_cast<std::uint32_t>(below - above)};
}
