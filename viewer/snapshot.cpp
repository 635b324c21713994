// Snapshots: the displayed pixels written beside the image.
#include <cerrno>
#include <cstring>
#include <new>
#include <sys/stat.h>

#include "config/settings.h"
#include "tools/tools.h"
#include "viewer/displayed_image.h"
#include "viewer/viewer_dialog.h"

static_assert(sizeof settings_record::snapshot_type == snapshot_type_size);

namespace {

bool names_dds(const char* name) {
    std::unique_ptr<char[]> extension = lower_copy(file_extension(name));
    return extension != nullptr && std::strcmp(extension.get(), "dds") == 0;
}

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

bool snapshot_type_is_plain(const char* type) {
    for (const char* c = type; c != nullptr && *c != '\0'; ++c) {
        bool letter = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z');
        if (!letter && !(*c >= '0' && *c <= '9')) {
            return false;
        }
    }
    return type != nullptr;
}

void viewer_dialog::keep_snapshot_type_plain(char (&type)[8]) {
    if (!snapshot_type_is_plain(type)) {
        set_text_field(type, "bmp");
    }
}

// The image's name with the snapshot type as its extension, unless something stands there that
// this run did not write as a snapshot (another program's file, a game's own texture): then the
// "(snapshot)" form, so that a snapshot never replaces a file it did not write.
bool viewer_dialog::pick_snapshot_name() {
    const char* type = viewer_settings.snapshot_type;
    if (!make_snapshot_name(image_path, type, snapshot_name)) {
        return false;
    }
    struct stat there {};
    if (lstat(snapshot_name, &there) != 0) {
        return errno == ENOENT; // a new file; anything else cannot be told
    }
    for (const auto& [device, inode] : written_snapshots) {
        if (there.st_dev == device && there.st_ino == inode) {
            return true;
        }
    }
    return make_snapshot_name(image_path, type, snapshot_name, true);
}

void viewer_dialog::remember_snapshot_written() {
    struct stat written {};
    if (lstat(snapshot_name, &written) == 0) {
        written_snapshots.emplace_back(written.st_dev, written.st_ino);
    }
}

bool viewer_dialog::is_the_image(const char* name, const char* image_path) {
    struct stat target {};
    if (lstat(name, &target) != 0) {
        return errno != ENOENT; // nothing there is a new file; anything else is unknown
    }
    struct stat image_entry {};
    struct stat image_file {};
    return (lstat(image_path, &image_entry) == 0 && same_file(target, image_entry)) ||
           (stat(image_path, &image_file) == 0 && same_file(target, image_file));
}

bool displayed_image::take_snapshot(const char* name, char (&type)[snapshot_type_size],
                                    char* dds_format, bool mipmaps) {
    if (name == nullptr || name[0] == '\0' || screen_bitmap == nullptr) {
        return false;
    }
    rest.finish(false);
    // The bitmap's own pixels go to the writers, which only read them.
    platform::surface shown = screen_bitmap->pixels();
    if (shown.pitch != bitmap_desc.width_bytes || shown.pixels == nullptr) {
        return false;
    }
    const std::uint8_t* pixels = shown.pixels;
    // A false option is never handed over: the library's options only ever become true.
    if (tga_rle) {
        image_lib->set_tga_rle(true);
    }
    if (bmp_rle) {
        image_lib->set_bmp_rle(true);
    }
    if (jpg_quality != 0) {
        image_lib->set_jpg_quality(jpg_quality);
    }
    ILuint width = static_cast<ILuint>(bitmap_desc.width);
    ILuint height = static_cast<ILuint>(bitmap_desc.height);
    if (names_dds(name)) {
        return image_lib->write_dds_snapshot(name, dds_format, width, height, pixels, mipmaps);
    }
    return image_lib->save_file(image_name, name, type, width, height,
                                static_cast<ILuint>(bitmap_desc.bits_pixel / 8), pixels);
}
