#include "tools/devil/dds_snapshot.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "tools/devil/devil.h"
#include "tools/devil/staged_file.h"
#include "tools/tools.h"

dds_options_record dds_options{};

namespace {

constexpr const char* size_not_power_of_two =
    "Cannot create the snapshot [%s]\n\nThe size of this image is not a power of 2 (32x64, "
    "256x256, 512x128 ...)";
constexpr const char* cannot_create =
    "Cannot create the snapshot [%s]\n\nMake sure this file, if it already exists, is not "
    "write-protected or currently accessed by an other application";
constexpr const char* invalid_format =
    "Cannot create the snapshot [%s]\n\nInvalid surface format specified [%s]. Check the token "
    "[$snapshot dds format:] in the config file\n\nValid formats are: dxt1, dxt1a, dxt3, dxt5, "
    "4444, 1555, 565, 8888, 888, 555";

struct format_name {
    const char* text;
    std::uint16_t code;
};

constexpr format_name surface_formats[] = {
    {"dxt1", dds_format_dxt1}, {"dxt1a", dds_format_dxt1a}, {"dxt3", dds_format_dxt3},
    {"dxt5", dds_format_dxt5}, {"4444", dds_format_4444},   {"1555", dds_format_1555},
    {"565", dds_format_565},   {"8888", dds_format_8888},   {"888", dds_format_888},
    {"555", dds_format_555},
};

// The compressor takes its sizes and the row pitch (width x 4) as int.
constexpr ILuint largest_side = 1u << 28;

// The compressor's write routine: every byte goes to the snapshot's file, or the file is
// abandoned.
bool write_to_file(const void* bytes, std::size_t count, void* context) {
    int descriptor = *static_cast<const int*>(context);
    const char* next = static_cast<const char*>(bytes);
    while (count > 0) {
        ssize_t written = write(descriptor, next, count);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        next += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

std::uint16_t surface_format_code(char* text) {
    lower_in_place(text);
    for (const format_name& entry : surface_formats) {
        if (text != nullptr && std::strcmp(text, entry.text) == 0) {
            return entry.code;
        }
    }
    return 0;
}

bool is_power_of_two(std::uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

bool devil::write_dds_snapshot(const char* file, char* format, ILuint width, ILuint height,
                               const void* pixels, bool mipmaps) {
    if (file == nullptr || *file == '\0') {
        return false;
    }
    if (!is_power_of_two(width) || !is_power_of_two(height)) {
        error_box(size_not_power_of_two, file);
        return false;
    }
    // Everything is checked before anything is created, in the order of the messages.
    if (!devil_internal::staged_file::can_replace(file)) {
        error_box(cannot_create, file);
        return false;
    }
    std::uint16_t code = surface_format_code(format);
    if (code == 0) {
        error_box(invalid_format, file, format != nullptr ? format : "");
        return false;
    }
    if (pixels == nullptr || width > largest_side || height > largest_side) {
        return false;
    }
    bool generate = mipmaps && code >= dds_format_dxt1 && code <= dds_format_dxt5;
    dds_options.mipmaps_in_input = 0;
    dds_options.mipmap_mode = generate ? dds_mipmap_generate : dds_mipmap_none;
    dds_options.texture_kind = dds_texture_plain;
    dds_options.surface_format = code;

    devil_internal::staged_file staged(file);
    if (!staged.ready()) {
        error_box(cannot_create, file);
        return false;
    }
    int descriptor = staged.file_descriptor();
    long written = dds_compress(pixels, static_cast<int>(width), static_cast<int>(height),
                                static_cast<int>(width * 4), dds_options, 4, nullptr, nullptr,
                                write_to_file, &descriptor);
    if (written < 0) {
        return false;
    }
    if (!staged.commit()) {
        error_box(cannot_create, file);
        return false;
    }
    return true;
}
