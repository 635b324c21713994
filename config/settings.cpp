#include "config/settings.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/system.h"

settings_record viewer_settings;

const hot_key_setting hot_key_settings[hot_key_count] = {
    {"$zoom in:", &settings_record::key_zoom_in, "up", 38},
    {"$zoom out:", &settings_record::key_zoom_out, "down", 40},
    {"$reset zoom:", &settings_record::key_reset_zoom, "right", 39},
    {"$top left layout:", &settings_record::key_top_left_layout, "a", 65},
    {"$top right layout:", &settings_record::key_top_right_layout, "z", 90},
    {"$bottom left layout:", &settings_record::key_bottom_left_layout, "q", 81},
    {"$bottom right layout:", &settings_record::key_bottom_right_layout, "s", 83},
    {"$osd help:", &settings_record::key_osd_help, "tab", 9},
    {"$osd info:", &settings_record::key_osd_info, "i", 73},
    {"$osd version:", &settings_record::key_osd_version, "v", 86},
    {"$text smaller:", &settings_record::key_text_smaller, "o", 79},
    {"$text bigger:", &settings_record::key_text_bigger, "p", 80},
    {"$text transparency:", &settings_record::key_text_transparency, "t", 84},
    {"$snapshot:", &settings_record::key_snapshot, "f11", 122},
    {"$minimize:", &settings_record::key_minimize, "m", 77},
    {"$exit:", &settings_record::key_exit, "left", 37},
};

const hot_key_setting optional_hot_key_settings[optional_hot_key_count] = {
    {"$channel view:", &settings_record::key_channel_view, "c", 67},
    {"$mip level smaller:", &settings_record::key_mip_level_smaller, "n", 78},
    {"$mip level larger:", &settings_record::key_mip_level_larger, "b", 66},
};

namespace {

// The template's sixteen key lines take the key names in hot_key_settings order.
constexpr const char configuration_template[] =
    "; config file for Glintview v1.0\n"
    "\n"
    "; nb: the semi-column character denotes a line of comments\n"
    "; --> do not use it as a punctuation sign!\n"
    "\n"
    ";---------------------------------------------------------------------------\n"
    "; amount of pixels to add/subtract to an image width when resizing it\n"
    "$resize threshold:\t%d\n"
    "; filter to apply when resizing an image. Possible choices: nearest, linear,\n"
    "; bilinear, box, triangle, bell, bspline, lanczos and mitchell\n"
    "$resize filter:\t\t%s\n"
    "\n"
    ";---------------------------------------------------------------------------\n"
    "; initial position of the application's window when it first pops out\n"
    "; possible choices: top left, top right, bottom left and bottom right\n"
    "$default layout:\t%s\n"
    "; should the title bar be displayed or not (yes or no)?\n"
    "$show caption bar:\t%s\n"
    "\n"
    ";---------------------------------------------------------------------------\n"
    "; font characteristics for the OSD stuff (help panel, info screen ...)\n"
    "$osd font name:\t\t%s\n"
    "$osd font height:\t%d\n"
    "$osd font color:\t(%d %d %d)\t; red amount, green amount, blue amount\n"
    "$osd background color:\t(%d %d %d)\t; each value ranges from 0 to 255\n"
    "\n"
    ";---------------------------------------------------------------------------\n"
    "$snapshot type:\t\t%s\t; bmp/dds/jpg/png/psd/tga/tif\n"
    "$snapshot jpg quality:\t%d\t; ranges from 0 to 100\n"
    "$snapshot use rle:\t%s\t; makes bmp and tga save RLE-compressed data\n"
    "$snapshot dds format:\t%s\t; dxt1/dxt1a/dxt3/dxt5/4444/1555/565/8888/888/555\n"
    "$snapshot do mipmaps:\t%s\t; generate mipmaps for dds snapshots?\n"
    "\n"
    ";---------------------------------------------------------------------------\n"
    "$zoom in:\t\t%s\t; key to perform zoom in\n"
    "$zoom out:\t\t%s\t; key to perform zoom out\n"
    "$reset zoom:\t\t%s\t; key to reset the original image size\n"
    "\n"
    "$top left layout:\t%s\t; keys to reset the application's window\n"
    "$top right layout:\t%s\t;\n"
    "$bottom left layout:\t%s\t;\n"
    "$bottom right layout:\t%s\t;\n"
    "\n"
    "$osd help:\t\t%s\t; key to display hot keys\n"
    "$osd info:\t\t%s\t; key to display info about an image\n"
    "$osd version:\t\t%s\t; key to display info about this application\n"
    "\n"
    "$text smaller:\t\t%s\t; key to decrease osd text size\n"
    "$text bigger:\t\t%s\t; key to increase osd text size\n"
    "$text transparency:\t%s\t; key to trigger osd text background color\n"
    "\n"
    "$snapshot:\t\t%s\t; key to create a snapshot of the current display\n"
    "\n"
    "$minimize:\t\t%s\t; key to minimize the application's window\n"
    "$exit:\t\t\t%s\t; key to exit the application\n"
    "\n"
    ";---------------------------------------------------------------------------\n"
    "#eof\n";

const char* yes_no(bool value) {
    return value ? "yes" : "no";
}

const char* key_name(int index) {
    return (viewer_settings.*hot_key_settings[index].field).key_name;
}

} // namespace

void set_default_settings() {
    settings_record& s = viewer_settings;
    set_text_field(s.resize_filter, "lanczos");
    s.resize_threshold = 128;
    set_text_field(s.default_layout, "top left");
    s.show_caption_bar = false;
    set_text_field(s.osd_font_name, "Tahoma");
    s.osd_font_height = 14;
    s.osd_font_color[0] = 217;
    s.osd_font_color[1] = 239;
    s.osd_font_color[2] = 161;
    s.osd_text_transparent = false;
    s.osd_background_color[0] = 81;
    s.osd_background_color[1] = 53;
    s.osd_background_color[2] = 36;
    set_text_field(s.snapshot_type, "jpg");
    s.snapshot_jpg_quality = 65;
    s.snapshot_use_rle = true;
    set_text_field(s.snapshot_dds_format, "dxt3");
    s.snapshot_do_mipmaps = true;
    for (const hot_key_setting& key : hot_key_settings) {
        set_text_field((s.*key.field).key_name, key.default_name);
    }
    for (const hot_key_setting& key : optional_hot_key_settings) {
        set_text_field((s.*key.field).key_name, key.default_name);
    }
    s.reload_on_change = true;
    s.fit_to_screen = true;
}

namespace {

// A new file, or an empty regular one, open for writing; null for anything else. Never waits
// (a FIFO without a reader is refused at once) and never cuts a file that holds something.
std::FILE* open_new_or_empty(const char* path) {
    int descriptor = open(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        return nullptr;
    }
    struct stat status {};
    std::FILE* file = nullptr;
    if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && status.st_size == 0) {
        file = fdopen(descriptor, "w");
    }
    if (file == nullptr) {
        close(descriptor);
    }
    return file;
}

} // namespace

void write_default_configuration(const char* config_path) {
    set_default_settings();
    std::FILE* file = config_path != nullptr ? open_new_or_empty(config_path) : nullptr;
    if (file == nullptr) {
        return;
    }

    platform::local_time now = platform::now_local();
    char header[128] = {};
    std::snprintf(header, sizeof header,
                  "; this file was generated on %02d/%02d/%02d @ %02d:%02d:%02d\n\n", now.month,
                  now.day, now.year % 100, now.hour, now.minute, now.second);
    std::fputs(header, file);

    const settings_record& s = viewer_settings;
    static char body[8192];
    std::memset(body, 0, sizeof body);
    std::snprintf(body, sizeof body, configuration_template, s.resize_threshold, s.resize_filter,
                  s.default_layout, yes_no(s.show_caption_bar), s.osd_font_name, s.osd_font_height,
                  s.osd_font_color[0], s.osd_font_color[1], s.osd_font_color[2],
                  s.osd_background_color[0], s.osd_background_color[1], s.osd_background_color[2],
                  s.snapshot_type, s.snapshot_jpg_quality, yes_no(s.snapshot_use_rle),
                  s.snapshot_dds_format, yes_no(s.snapshot_do_mipmaps), key_name(0), key_name(1),
                  key_name(2), key_name(3), key_name(4), key_name(5), key_name(6), key_name(7),
                  key_name(8), key_name(9), key_name(10), key_name(11), key_name(12), key_name(13),
                  key_name(14), key_name(15));
    std::fputs(body, file);
    std::fclose(file);
}
