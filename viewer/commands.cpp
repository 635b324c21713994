// The hot keys as rows of data walked by one loop, the panel toggles and the snapshot command.
#include <cstdio>
#include <cstring>

#include "config/settings.h"
#include "tools/tools.h"
#include "viewer/viewer_dialog.h"

// One hot key: the setting that names it, a second key that always matches (or 0), what it
// does, and whether the window is repainted afterwards.
struct hot_key_row {
    hot_key settings_record::*key;
    int also;
    void (*command)(viewer_dialog& dialog);
    bool repaint;

    static void reset(viewer_dialog& d) { d.reset_zoom(false); }
    static void zoom_in(viewer_dialog& d) { d.zoom_step(true); }
    static void zoom_out(viewer_dialog& d) { d.zoom_step(false); }
    static void exit(viewer_dialog& d) { d.end_dialog(0); }
    static void help(viewer_dialog& d) { d.toggle_help(); }
    static void info(viewer_dialog& d) { d.toggle_info(); }
    static void version(viewer_dialog& d) { d.toggle_version(); }
    // From 1 this gives 0, which the setter takes as the default 14.
    static void smaller(viewer_dialog& d) {
        d.image->set_font_height(d.image->get_font_height() - 1);
    }
    static void bigger(viewer_dialog& d) {
        d.image->set_font_height(d.image->get_font_height() + 1);
    }
    static void transparency(viewer_dialog& d) {
        viewer_settings.osd_text_transparent = !viewer_settings.osd_text_transparent;
        d.image->set_transparent(viewer_settings.osd_text_transparent);
    }
    static void snapshot(viewer_dialog& d) { d.take_snapshot_command(); }
    static void minimize(viewer_dialog& d) { d.get_window()->minimize(); }
    static void layout(viewer_dialog& d, const char* corner) {
        set_text_field(viewer_settings.default_layout, corner);
        const platform::bitmap_info& shown = d.image->get_bitmap_desc();
        d.place_window(shown.width, shown.height, true);
    }
    static void channel(viewer_dialog& d) { d.cycle_channel_view(); }
    static void mip_smaller(viewer_dialog& d) { d.step_mip_level(true); }
    static void mip_larger(viewer_dialog& d) { d.step_mip_level(false); }
    static void top_left(viewer_dialog& d) { layout(d, "top left"); }
    static void top_right(viewer_dialog& d) { layout(d, "top right"); }
    static void bottom_left(viewer_dialog& d) { layout(d, "bottom left"); }
    static void bottom_right(viewer_dialog& d) { layout(d, "bottom right"); }
};

namespace {

// In the order keys are compared: when two hot keys share a code the earlier row wins, and
// Escape ends the program unless an earlier row claims it.
const hot_key_row hot_key_rows[] = {
    {&settings_record::key_reset_zoom, 0, hot_key_row::reset, false},
    {&settings_record::key_zoom_in, 0, hot_key_row::zoom_in, false},
    {&settings_record::key_zoom_out, 0, hot_key_row::zoom_out, false},
    {&settings_record::key_exit, platform::vk_escape, hot_key_row::exit, false},
    {&settings_record::key_osd_help, 0, hot_key_row::help, true},
    {&settings_record::key_osd_info, 0, hot_key_row::info, true},
    {&settings_record::key_osd_version, 0, hot_key_row::version, true},
    {&settings_record::key_text_smaller, 0, hot_key_row::smaller, true},
    {&settings_record::key_text_bigger, 0, hot_key_row::bigger, true},
    {&settings_record::key_text_transparency, 0, hot_key_row::transparency, true},
    {&settings_record::key_snapshot, 0, hot_key_row::snapshot, false},
    {&settings_record::key_minimize, 0, hot_key_row::minimize, false},
    {&settings_record::key_top_left_layout, 0, hot_key_row::top_left, false},
    {&settings_record::key_top_right_layout, 0, hot_key_row::top_right, false},
    {&settings_record::key_bottom_left_layout, 0, hot_key_row::bottom_left, false},
    {&settings_record::key_bottom_right_layout, 0, hot_key_row::bottom_right, false},
    // The keys of optional lines come last, so a configured hot key with their code wins.
    {&settings_record::key_channel_view, 0, hot_key_row::channel, false},
    {&settings_record::key_mip_level_smaller, 0, hot_key_row::mip_smaller, false},
    {&settings_record::key_mip_level_larger, 0, hot_key_row::mip_larger, false},
};

bool row_matches(const hot_key_row& row, std::uintptr_t code) {
    return static_cast<std::uintptr_t>((viewer_settings.*row.key).virtual_key) == code ||
           (row.also != 0 && static_cast<std::uintptr_t>(row.also) == code);
}

// Flips one panel flag; when it comes on, the other two go off.
void toggle(std::uint8_t& chosen, std::uint8_t& other, std::uint8_t& third) {
    chosen = !chosen;
    if (chosen) {
        other = third = 0;
    }
}

// Where the extension of the file name starts (its '.'), or null when the name has none; a
// '.' in a folder's name is no extension.
const char* extension_dot(const char* path) {
    const char* dot = std::strrchr(path, '.');
    const char* separator = std::strrchr(path, platform::path_separator);
    return dot != nullptr && (separator == nullptr || dot > separator) ? dot : nullptr;
}

bool same_ignoring_case(const char* a, const char* b) {
    std::unique_ptr<char[]> lower_a = lower_copy(a);
    std::unique_ptr<char[]> lower_b = lower_copy(b);
    return lower_a != nullptr && lower_b != nullptr &&
           std::strcmp(lower_a.get(), lower_b.get()) == 0;
}

} // namespace

bool viewer_dialog::pre_translate_message(const platform::message& m) {
    if (m.id != platform::wm_keydown || image == nullptr) {
        return platform::dialog::pre_translate_message(m);
    }
    for (const hot_key_row& row : hot_key_rows) {
        if (row_matches(row, m.wparam)) {
            row.command(*this);
            if (row.repaint && !ended()) {
                repaint();
            }
            return true;
        }
    }
    return platform::dialog::pre_translate_message(m);
}

void viewer_dialog::toggle_help() {
    toggle(show_help, show_info, show_version);
}
void viewer_dialog::toggle_info() {
    toggle(show_info, show_help, show_version);
}
void viewer_dialog::toggle_version() {
    toggle(show_version, show_help, show_info);
}

bool viewer_dialog::make_snapshot_name(const char* image_path, const char* type,
                                       char (&name)[platform::max_path], bool snapshot_form) {
    std::memset(name, 0, sizeof name);
    if (!snapshot_type_is_plain(type)) {
        return false;
    }
    const char* dot = extension_dot(image_path);
    std::size_t stem =
        dot != nullptr ? static_cast<std::size_t>(dot - image_path) : std::strlen(image_path);
    // The image's own format, no extension or no type: the "(snapshot)" form, so that the
    // image file itself is never the snapshot's name.
    bool own_name =
        snapshot_form || dot == nullptr || type[0] == '\0' || same_ignoring_case(dot + 1, type);
    int length = own_name ? std::snprintf(name, sizeof name, "%.*s (snapshot).%s",
                                          static_cast<int>(stem), image_path, type)
                          : std::snprintf(name, sizeof name, "%.*s.%s", static_cast<int>(stem),
                                          image_path, type);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof name) {
        std::memset(name, 0, sizeof name); // a cut name could name another file
        return false;
    }
    return true;
}

bool viewer_dialog::take_snapshot_command() {
    keep_snapshot_type_plain(viewer_settings.snapshot_type);
    if (!pick_snapshot_name() || is_the_image(snapshot_name, image_path)) {
        return false;
    }
    bool written = image->take_snapshot(snapshot_name, viewer_settings.snapshot_type,
                                        viewer_settings.snapshot_dds_format,
                                        viewer_settings.snapshot_do_mipmaps);
    if (written) {
        remember_snapshot_written();
    }
    return written;
}
