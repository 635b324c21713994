#include "config/configuration_reader.h"

#include <cstring>

#include "config/key_names.h"
#include "config/settings.h"
#include "parser/vorlex_parser.h"

namespace {

constexpr const char* filter_names[] = {"nearest", "linear",  "bilinear", "box",     "triangle",
                                        "bell",    "bspline", "lanczos",  "mitchell"};
constexpr const char* layout_names[] = {"top left", "top right", "bottom left", "bottom right"};

// Finds the key and leaves the cursor behind it; false when the key is missing.
bool find_key(vorlex_parser& parser, const char* token) {
    return parser.search_token(token);
}

// The rest of the key's line into the zero-filled field; false when it would not fit, so that
// the caller treats it as missing rather than keep a cut value.
template <std::size_t size> bool read_line_value(vorlex_parser& parser, char (&field)[size]) {
    char value[vorlex_parser::value_size] = {};
    parser.stuff_string(value, 0, sizeof value);
    std::memset(field, 0, size);
    if (std::strlen(value) >= size) {
        return false;
    }
    std::memcpy(field, value, std::strlen(value));
    return true;
}

template <std::size_t size>
void read_text(vorlex_parser& parser, const char* token, char (&field)[size],
               const char* fallback) {
    std::memset(field, 0, size);
    if (!find_key(parser, token) || !read_line_value(parser, field)) {
        set_text_field(field, fallback);
    }
    parser.rewind_search_cursor();
}

// A text that must be one of `names` (compared after lower-casing), else the fallback.
template <std::size_t size, std::size_t count>
void read_choice(vorlex_parser& parser, const char* token, char (&field)[size],
                 const char* const (&names)[count], const char* fallback) {
    std::memset(field, 0, size);
    const char* chosen = fallback;
    if (find_key(parser, token) && read_line_value(parser, field)) {
        lower_case_in_place(field);
        for (const char* name : names) {
            if (std::strcmp(field, name) == 0) {
                chosen = name;
                break;
            }
        }
    }
    set_text_field(field, chosen);
    parser.rewind_search_cursor();
}

using integer_check = bool (*)(std::int32_t value);
bool any_integer(std::int32_t) {
    return true;
}
bool not_zero(std::int32_t value) {
    return value != 0;
}
bool percentage(std::int32_t value) {
    return value >= 0 && value <= 100;
}

void read_integer(vorlex_parser& parser, const char* token, std::int32_t& field,
                  std::int32_t fallback, integer_check acceptable) {
    std::int32_t value = fallback;
    if (find_key(parser, token)) {
        parser.stuff_integer(&value);
    }
    field = acceptable(value) ? value : fallback;
    parser.rewind_search_cursor();
}

// An unknown word leaves the field as it was, as the boolean reader does.
void read_boolean(vorlex_parser& parser, const char* token, bool& field, bool fallback) {
    if (find_key(parser, token)) {
        parser.stuff_boolean(&field);
    } else {
        field = fallback;
    }
    parser.rewind_search_cursor();
}

bool colour_component(float value) {
    return value > -1.0f && value < 256.0f;
}

// "(red green blue)", each strictly between -1 and 256, truncated toward zero; all or nothing.
void read_colour(vorlex_parser& parser, const char* token, std::uint8_t (&field)[3],
                 const std::uint8_t (&fallback)[3]) {
    vector3 colour{};
    bool accepted = find_key(parser, token) && parser.stuff_parenthesized_vector(&colour) &&
                    colour_component(colour.x) && colour_component(colour.y) &&
                    colour_component(colour.z);
    if (accepted) {
        field[0] = static_cast<std::uint8_t>(colour.x);
        field[1] = static_cast<std::uint8_t>(colour.y);
        field[2] = static_cast<std::uint8_t>(colour.z);
    } else {
        std::memcpy(field, fallback, sizeof field);
    }
    parser.rewind_search_cursor();
}

// A name outside the key table keeps its text and gets the default key's code.
void read_hot_key(vorlex_parser& parser, const hot_key_setting& setting) {
    hot_key& key = viewer_settings.*setting.field;
    std::memset(key.key_name, 0, sizeof key.key_name);
    if (!find_key(parser, setting.token) || !read_line_value(parser, key.key_name)) {
        set_text_field(key.key_name, setting.default_name);
    }
    key_code_from_name(key.key_name, &key.virtual_key, setting.default_code);
    parser.rewind_search_cursor();
}

// An optional switch: absent, or a word the boolean reader does not know, keeps its default.
void read_optional_boolean(vorlex_parser& parser, const char* token, bool& field, bool fallback) {
    field = fallback;
    read_boolean(parser, token, field, fallback);
}

} // namespace

void read_configuration(vorlex_parser& parser) {
    settings_record& s = viewer_settings;
    read_integer(parser, "$resize threshold:", s.resize_threshold, 128, any_integer);
    read_choice(parser, "$resize filter:", s.resize_filter, filter_names, "lanczos");
    read_choice(parser, "$default layout:", s.default_layout, layout_names, "top left");
    read_boolean(parser, "$show caption bar:", s.show_caption_bar, false);
    read_text(parser, "$osd font name:", s.osd_font_name, "Tahoma");
    read_integer(parser, "$osd font height:", s.osd_font_height, 14, not_zero);
    read_colour(parser, "$osd font color:", s.osd_font_color, {217, 239, 161});
    s.osd_text_transparent = false; // no key sets it: the panels start opaque
    read_colour(parser, "$osd background color:", s.osd_background_color, {81, 53, 36});
    read_text(parser, "$snapshot type:", s.snapshot_type, "jpg");
    read_integer(parser, "$snapshot jpg quality:", s.snapshot_jpg_quality, 65, percentage);
    read_boolean(parser, "$snapshot use rle:", s.snapshot_use_rle, true);
    read_text(parser, "$snapshot dds format:", s.snapshot_dds_format, "dxt3");
    read_boolean(parser, "$snapshot do mipmaps:", s.snapshot_do_mipmaps, true);
    for (const hot_key_setting& setting : hot_key_settings) {
        read_hot_key(parser, setting);
    }
    for (const hot_key_setting& setting : optional_hot_key_settings) {
        read_hot_key(parser, setting);
    }
    read_optional_boolean(parser, "$reload on change:", s.reload_on_change, true);
    read_optional_boolean(parser, "$fit to screen:", s.fit_to_screen, true);
}

void use_default_configuration() {
    set_default_settings();
    for (const hot_key_setting& setting : hot_key_settings) {
        (viewer_settings.*setting.field).virtual_key = setting.default_code;
    }
    for (const hot_key_setting& setting : optional_hot_key_settings) {
        (viewer_settings.*setting.field).virtual_key = setting.default_code;
    }
}
