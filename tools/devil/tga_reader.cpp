#include "tools/devil/tga_reader.h"

#include <IL/il.h>
#include <cstring>
#include <memory>

#include "platform/pixel_memory.h"
#include "tools/sandbox/image_transfer.h"

namespace tga_reader {
namespace {

constexpr std::uint32_t header_bytes = 18;
constexpr unsigned true_colour = 2;
constexpr unsigned grey = 3;
constexpr unsigned right_to_left = 0x10; // the library refuses such files
constexpr unsigned top_to_bottom = 0x20;

struct header {
    std::uint32_t width = 0, height = 0, channels = 0;
    ILenum format = 0;
    bool top_first = false;
    std::uint64_t pixels_at = 0;
    std::uint64_t row_bytes() const { return std::uint64_t{width} * channels; }
};

unsigned little_endian(const unsigned char* at) {
    return at[0] | unsigned{at[1]} << 8;
}

// The header of a file whose pixels all lie in it, in one of the layouts read here.
bool read_header(const unsigned char* file, std::uint32_t size, header& h) {
    if (size < header_bytes) {
        return false;
    }
    const unsigned kind = file[2];
    const unsigned bits = file[16];
    const unsigned descriptor = file[17];
    h.width = little_endian(file + 12);
    h.height = little_endian(file + 14);
    h.top_first = (descriptor & top_to_bottom) != 0;
    h.pixels_at = header_bytes + file[0]; // past the image's ID
    if (kind == true_colour && (bits == 24 || bits == 32)) {
        h.channels = bits / 8;
        h.format = bits == 24 ? IL_BGR : IL_BGRA;
    } else if (kind == grey && bits == 8) {
        h.channels = 1;
        h.format = IL_LUMINANCE;
    } else {
        return false;
    }
    // The library reads no colour map in these layouts, so a file that has one is left to it.
    const bool colour_map = file[1] != 0 || little_endian(file + 5) != 0;
    return !colour_map && (descriptor & right_to_left) == 0 && h.width > 0 && h.height > 0 &&
           h.pixels_at <= size && size - h.pixels_at >= h.row_bytes() * h.height;
}

// The origin the library gives the image: the one asked for, else the file's own. Null when it
// would also change the format or type, which is left to it.
ILenum wanted_origin(const header& h) {
    if (ilIsEnabled(IL_FORMAT_SET) || ilIsEnabled(IL_TYPE_SET)) {
        return 0;
    }
    if (ilIsEnabled(IL_ORIGIN_SET)) {
        return static_cast<ILenum>(ilGetInteger(IL_ORIGIN_MODE));
    }
    return h.top_first ? IL_ORIGIN_UPPER_LEFT : IL_ORIGIN_LOWER_LEFT;
}

} // namespace

outcome load(const void* data, std::uint32_t size) {
    const auto* file = static_cast<const unsigned char*>(data);
    header h;
    if (data == nullptr || !read_header(file, size, h)) {
        return outcome::for_library;
    }
    const ILenum origin = wanted_origin(h);
    if (origin != IL_ORIGIN_UPPER_LEFT && origin != IL_ORIGIN_LOWER_LEFT) {
        return outcome::for_library;
    }
    const std::uint64_t row_bytes = h.row_bytes();
    const std::uint64_t bytes = row_bytes * h.height;
    std::unique_ptr<unsigned char[], platform::pixel_deleter> pixels(
        static_cast<unsigned char*>(platform::allocate_pixels(bytes)));
    if (pixels == nullptr) {
        return outcome::for_library;
    }
    const bool flipped = h.top_first != (origin == IL_ORIGIN_UPPER_LEFT);
    const unsigned char* stored = file + h.pixels_at;
    for (std::uint32_t y = 0; y < h.height; ++y) {
        const std::uint32_t to = flipped ? h.height - 1 - y : y;
        std::memcpy(pixels.get() + row_bytes * to, stored + row_bytes * y, row_bytes);
    }
    if (!image_transfer::image_from_block(pixels.release(), bytes, h.width, h.height, 1,
                                          static_cast<ILubyte>(h.channels), h.format,
                                          IL_UNSIGNED_BYTE)) {
        return outcome::for_library;
    }
    ilRegisterOrigin(origin);
    return outcome::loaded;
}

} // namespace tga_reader
