// The settings record that the whole program reads, its defaults and the configuration file's
// key table.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

struct hot_key {
    char key_name[16]; // as written in the file, lower-cased when read
    std::int32_t virtual_key;
};

struct settings_record {
    char resize_filter[32];
    std::int32_t resize_threshold;
    char default_layout[32]; // always names the current corner
    bool show_caption_bar;
    char osd_font_name[32];
    std::int32_t osd_font_height;
    std::uint8_t osd_font_color[3]; // red, green, blue
    bool osd_text_transparent;      // live toggle; no configuration key sets it
    std::uint8_t osd_background_color[3];
    char snapshot_type[8];
    std::int32_t snapshot_jpg_quality;
    bool snapshot_use_rle;
    char snapshot_dds_format[8];
    bool snapshot_do_mipmaps;
    hot_key key_zoom_in;
    hot_key key_zoom_out;
    hot_key key_reset_zoom;
    hot_key key_top_left_layout;
    hot_key key_top_right_layout;
    hot_key key_bottom_left_layout;
    hot_key key_bottom_right_layout;
    hot_key key_osd_help;
    hot_key key_osd_info;
    hot_key key_osd_version;
    hot_key key_text_smaller;
    hot_key key_text_bigger;
    hot_key key_text_transparency;
    hot_key key_snapshot;
    hot_key key_minimize;
    hot_key key_exit;
    // Optional lines, absent from the file the program writes; their defaults serve without.
    hot_key key_channel_view;
    hot_key key_mip_level_smaller;
    hot_key key_mip_level_larger;
    bool reload_on_change;
    bool fit_to_screen;
};

// The one settings record; zero at process start.
extern settings_record viewer_settings;

// One hot key of the configuration file: its key token, its field, its default name and the
// code that name gives.
struct hot_key_setting {
    const char* token;
    hot_key settings_record::*field;
    const char* default_name;
    std::int32_t default_code;
};

constexpr int hot_key_count = 16;
// In file order, from "$zoom in:" to "$exit:".
extern const hot_key_setting hot_key_settings[hot_key_count];

constexpr int optional_hot_key_count = 3;
// The hot keys of optional lines: "$channel view:", "$mip level smaller:", "$mip level larger:".
// A configured hot key using the same code wins over them.
extern const hot_key_setting optional_hot_key_settings[optional_hot_key_count];

// Puts every default into the record: text fields zero-filled over their capacity first, the
// panel transparency off, the key names (their codes are left alone), the optional switches on.
void set_default_settings();

// Writes the dated, fully commented default configuration file to `config_path`, after putting
// the defaults into the record. Only a new file or an empty regular one is written: anything
// else at the path (a file with content, a FIFO, a folder) is left alone without a word, as is
// a file that cannot be created.
void write_default_configuration(const char* config_path);

// Zero-fills a text field over its whole capacity, then stores as much of `text` as fits.
template <std::size_t size> void set_text_field(char (&field)[size], const char* text) {
    std::memset(field, 0, size);
    std::size_t length = std::min(std::strlen(text), size - 1);
    std::memcpy(field, text, length);
}
