// The desktop entry offers Glintview for the image types the library decodes and the desktop's
// MIME database knows: each type has a sample here, made by ImageMagick (or by the library itself
// where ImageMagick cannot write the type), that loads through the program's own `devil` wrapper.
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
    bool in_entry;             // false: shared-mime-info has no such type, so the entry omits it
};

// In the entry's order. ImageMagick's BMP carries a newer header than the library knows, so the
// sample is the classic BMP3; .rgb is the SGI format under its other name.
const sampled_type types[] = {
    {"image/bmp", "s.bmp", "bmp3", true},
    {"image/gif", "s.gif", "gif", true},
    {"image/jpeg", "s.jpg", "jpeg", true},
    {"image/png", "s.png", "png", true},
    {"image/tiff", "s.tif", "tiff", true},
    {"image/x-tga", "s.tga", "tga", true},
    {"image/x-dds", "s.dds", "dds", true},
    {"image/vnd.adobe.photoshop", "s.psd", "psd", true},
    {"image/vnd.zbrush.pcx", "s.pcx", "pcx", true},
    {"image/vnd.microsoft.icon", "s.ico", "ico", true},
    {"image/x-win-bitmap", "s.cur", "cur", true},
    {"image/x-portable-anymap", "s.pnm", "pnm", true},
    {"image/x-portable-bitmap", "s.pbm", "pbm", true},
    {"image/x-portable-graymap", "s.pgm", "pgm", true},
    {"image/x-portable-pixmap", "s.ppm", "ppm", true},
    {"image/x-sgi", "s.sgi", "sgi", true},
    {"image/x-rgb", "s.rgb", "sgi", true},
    {"image/x-sun-raster", "s.sun", "sun", true},
    {"image/x-photo-cd", "s.pcd", "pcd", true},
    {"image/vnd.radiance", "s.hdr", "hdr", false},
    {"image/vnd.valve.source.texture", "s.vtf", nullptr, false},
    {"application/fits", "s.fits", "fits", true},
    {"video/x-mng", "s.mng", "mng", true},
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
        if (type.in_entry)
            expected.push_back(type.mime);
    }
    EXPECT_EQ(entry_mime_types(), expected);
}

// A type the MIME database does not know is never matched to a file, so listing it only misleads.
TEST(desktop_entry, lists_only_types_the_mime_database_knows) {
    std::string known = test_support::read_file("/usr/share/mime/types");
    ASSERT_FALSE(known.empty()) << "shared-mime-info is not installed";
    known.insert(known.begin(), '\n');
    for (const std::string& type : entry_mime_types()) {
        std::string line(1, '\n');
        line.append(type).push_back('\n');
        EXPECT_NE(known.find(line), std::string::npos) << type;
    }
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
