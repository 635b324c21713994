// The desktop entry offers Glintview for exactly the image types the library decodes: each type
// listed has a sample here, made by ImageMagick (or by the library itself where ImageMagick
// cannot write the type), that loads through the program's own `devil` wrapper.
#include <gtest/gtest.h>

#include <IL/il.h>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"
#include "tools/devil/devil.h"

namespace {

struct sampled_type {
    const char* mime;
    const char* file_name;
    const char* magick_format; // null: the library writes the sample
};

// In the entry's order. ImageMagick's BMP carries a newer header than the library knows, so the
// sample is the classic BMP3; .rgb is the SGI format under its other name.
const sampled_type types[] = {
    {"image/bmp", "s.bmp", "bmp3"},
    {"image/gif", "s.gif", "gif"},
    {"image/jpeg", "s.jpg", "jpeg"},
    {"image/png", "s.png", "png"},
    {"image/tiff", "s.tif", "tiff"},
    {"image/x-tga", "s.tga", "tga"},
    {"image/x-dds", "s.dds", "dds"},
    {"image/vnd.adobe.photoshop", "s.psd", "psd"},
    {"image/vnd.zbrush.pcx", "s.pcx", "pcx"},
    {"image/vnd.microsoft.icon", "s.ico", "ico"},
    {"image/x-win-bitmap", "s.cur", "cur"},
    {"image/x-portable-anymap", "s.pnm", "pnm"},
    {"image/x-portable-bitmap", "s.pbm", "pbm"},
    {"image/x-portable-graymap", "s.pgm", "pgm"},
    {"image/x-portable-pixmap", "s.ppm", "ppm"},
    {"image/x-sgi", "s.sgi", "sgi"},
    {"image/x-rgb", "s.rgb", "sgi"},
    {"image/x-sun-raster", "s.sun", "sun"},
    {"image/x-photo-cd", "s.pcd", "pcd"},
    {"image/vnd.radiance", "s.hdr", "hdr"},
    {"image/vnd.valve.source.texture", "s.vtf", nullptr},
    {"application/fits", "s.fits", "fits"},
    {"video/x-mng", "s.mng", "mng"},
};

const std::string source_image = std::string(RESOURCES_DIR) + "/icons/glintview-32.png";

std::vector<std::string> entry_mime_types() {
    std::istringstream entry(test_support::read_file(RESOURCES_DIR "/glintview.desktop"));
    std::vector<std::string> found;
    for (std::string line; std::getline(entry, line);) {
        if (line.rfind("MimeType=", 0) == 0) {
            std::istringstream list(line.substr(9));
            for (std::string type; std::getline(list, type, ';');) {
                found.push_back(type);
            }
        }
    }
    return found;
}

bool make_sample(devil& lib, const sampled_type& type, const std::string& path) {
    if (type.magick_format != nullptr) {
        std::string command =
            "convert '" + source_image + "' " + type.magick_format + ":'" + path + "' 2>/dev/null";
        return std::system(command.c_str()) == 0;
    }
    return lib.load_file(source_image.c_str(), nullptr) && ilSaveImage(path.c_str()) == IL_TRUE;
}

} // namespace

TEST(desktop_entry, lists_exactly_the_sampled_types) {
    std::vector<std::string> expected;
    for (const sampled_type& type : types) {
        expected.push_back(type.mime);
    }
    EXPECT_EQ(entry_mime_types(), expected);
}

TEST(desktop_entry, every_listed_type_decodes) {
    test_support::scratch_dir dir;
    devil lib;
    ILuint image = lib.create_image();
    for (const sampled_type& type : types) {
        std::string path = dir.file(type.file_name);
        ASSERT_TRUE(make_sample(lib, type, path)) << type.mime;
        EXPECT_TRUE(lib.load_file(path.c_str(), nullptr)) << type.mime;
        EXPECT_GT(lib.get_width(), 0) << type.mime;
    }
    lib.delete_image(image);
}
