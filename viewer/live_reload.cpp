// Live reload: the image's folder is watched; changes to the file are gathered for a moment, as
// editors write in several steps, then the file is decoded anew beside the image shown, which
// stays until a decode succeeds.
#include <IL/il.h>

#include "config/settings.h"
#include "viewer/viewer_dialog.h"

namespace {

// Changes closer together than this make one reload.
constexpr int gathering_milliseconds = 150;

} // namespace

void viewer_dialog::start_watching() {
    if (viewer_settings.reload_on_change && watch.start(image_path)) {
        get_window()->watch_descriptor(watch.descriptor());
    }
}

void viewer_dialog::on_descriptor_ready(const platform::message&) {
    if (watch.changed()) {
        reload_due = true;
        get_window()->set_timer(gathering_milliseconds);
    }
}

void viewer_dialog::on_timer(const platform::message&) {
    if (count_due) {
        count_due = false;
        image->count_colours_later();
    }
    replaced.reset();
    if (reload_due) {
        reload_due = false;
        reload_image();
    }
}

bool viewer_dialog::reload_image() {
    image->finish_rescale();
    const platform::bitmap_info before = image->get_bitmap_desc();
    const bool zoomed = before.width != image->get_level_width();
    auto fresh = std::make_unique<displayed_image>();
    fresh->set_mip_level(image->get_mip_level());
    if (!fresh->load_image(image_path, nullptr, !zoomed)) {
        fresh.reset();
        ilBindImage(image->get_image_name()); // the image shown stays the bound one
        return false;
    }
    const std::int32_t font_height = image->get_font_height();
    const channel_view view = image->get_channel_view();
    replaced = std::move(image);
    image = std::move(fresh);
    ilBindImage(image->get_image_name());
    take_over_settings();
    image->set_font_height(font_height);
    image->set_channel_view(view);
    if (zoomed) {
        resample::area on_screen = part_on_screen();
        image->resize_image(before.width, 0, viewer_settings.resize_filter, &on_screen);
    }
    const platform::bitmap_info& shown = image->get_bitmap_desc();
    if (shown.width != before.width || shown.height != before.height) {
        place_window(shown.width, shown.height, true); // a new size stays in its corner
    }
    place_window(shown.width, shown.height, false);
    image->complete_in_background();
    if (!reload_due) {
        get_window()->set_timer(0); // frees the replaced image once this turn is over
    }
    return true;
}
