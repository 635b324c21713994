#include "tools/devil/png_reader.h"

#include <IL/il.h>
#include <cstdlib>
#include <cstring>
#include <libdeflate.h>
#include <memory>

#include "platform/pixel_memory.h"
#include "tools/sandbox/image_budget.h"
#include "tools/sandbox/image_transfer.h"

namespace png_reader {
namespace {

constexpr unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// The library's reader refuses longer sides (libpng's default limits).
constexpr std::uint32_t longest_side = 1000000;

using block = std::unique_ptr<unsigned char[], platform::pixel_deleter>;

std::uint32_t big_endian(const unsigned char* at) {
    return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 |
           at[3];
}

struct chunk {
    const unsigned char* type = nullptr;
    const unsigned char* data = nullptr;
    std::uint32_t length = 0;
};

// The chunk at `at`, when all of it lies in the file.
bool chunk_at(const unsigned char* file, std::uint64_t size, std::uint64_t at, chunk& found) {
    if (at > size || size - at < 12) {
        return false;
    }
    found.length = big_endian(file + at);
    if (found.length > 0x7FFFFFFFu || size - at - 12 < found.length) {
        return false;
    }
    found.type = file + at + 4;
    found.data = file + at + 8;
    return true;
}

std::uint64_t after(const chunk& c, const unsigned char* file) {
    return static_cast<std::uint64_t>(c.data - file) + c.length + 4;
}

bool named(const chunk& c, const char* name) {
    return std::memcmp(c.type, name, 4) == 0;
}

bool crc_matches(const chunk& c) {
    return libdeflate_crc32(0, c.type, std::size_t{c.length} + 4) == big_endian(c.data + c.length);
}

struct header {
    std::uint32_t width = 0, height = 0, channels = 0;
    ILenum format = 0;
    std::size_t row_bytes() const { return std::size_t{width} * channels; }
};

// An IHDR of the kind decoded here.
bool read_header(const chunk& c, header& h) {
    if (!named(c, "IHDR") || c.length != 13 || !crc_matches(c)) {
        return false;
    }
    h.width = big_endian(c.data);
    h.height = big_endian(c.data + 4);
    const unsigned char depth = c.data[8], colour = c.data[9];
    if (depth != 8 || c.data[10] != 0 || c.data[11] != 0 || c.data[12] != 0) {
        return false; // other depths, compressions, filter methods and interlacing
    }
    switch (colour) {
    case 0:
        h = {h.width, h.height, 1, IL_LUMINANCE};
        break;
    case 2:
        h = {h.width, h.height, 3, IL_RGB};
        break;
    case 4:
        h = {h.width, h.height, 2, IL_LUMINANCE_ALPHA};
        break;
    case 6:
        h = {h.width, h.height, 4, IL_RGBA};
        break;
    default:
        return false; // palette images
    }
    return h.width > 0 && h.height > 0 && h.width <= longest_side && h.height <= longest_side &&
           image_budget::displayable(h.width, h.height, 1);
}

// The compressed image data: the IDAT chunks, one straight after the other, each checked, and
// joined into `joined` when there are several. Chunks that would change the image (a palette,
// transparency, any critical chunk not known here) leave the file to the library.
bool gather_data(const unsigned char* file, std::uint64_t size, std::uint64_t at, block& joined,
                 const unsigned char*& data, std::size_t& length) {
    std::uint64_t first = 0, total = 0;
    std::uint32_t runs = 0, count = 0;
    bool in_run = false;
    chunk c;
    for (; chunk_at(file, size, at, c) && !named(c, "IEND"); at = after(c, file)) {
        if (named(c, "IDAT")) {
            if (!in_run && runs++ > 0) {
                return false; // image data split by another chunk
            }
            if (!crc_matches(c)) {
                return false;
            }
            first = in_run ? first : at;
            in_run = true;
            total += c.length;
            ++count;
            continue;
        }
        in_run = false;
        bool critical = (c.type[0] & 0x20) == 0;
        if (critical || named(c, "tRNS")) {
            return false;
        }
    }
    if (!chunk_at(file, size, at, c) || count == 0 || total == 0) {
        return false;
    }
    chunk_at(file, size, first, c);
    if (count == 1) {
        data = c.data;
        length = c.length;
        return true;
    }
    joined.reset(static_cast<unsigned char*>(platform::allocate_pixels(total)));
    if (joined == nullptr) {
        return false;
    }
    std::size_t filled = 0;
    for (std::uint32_t i = 0; i < count; ++i, chunk_at(file, size, after(c, file), c)) {
        std::memcpy(joined.get() + filled, c.data, c.length);
        filled += c.length;
    }
    data = joined.get();
    length = filled;
    return true;
}

unsigned char paeth(int left, int above, int corner) {
    int to_left = std::abs(above - corner);
    int to_above = std::abs(left - corner);
    int to_corner = std::abs(left + above - 2 * corner);
    if (to_left <= to_above && to_left <= to_corner) {
        return static_cast<unsigned char>(left);
    }
    return static_cast<unsigned char>(to_above <= to_corner ? above : corner);
}

// One row undone in place; `prior` is the row above, already undone (null above the first).
bool unfilter_row(unsigned char filter, unsigned char* row, const unsigned char* prior,
                  std::size_t bytes, unsigned bpp) {
    switch (filter) {
    case 0:
        return true;
    case 1:
        for (std::size_t i = bpp; i < bytes; ++i) {
            row[i] = static_cast<unsigned char>(row[i] + row[i - bpp]);
        }
        return true;
    case 2:
        for (std::size_t i = 0; prior != nullptr && i < bytes; ++i) {
            row[i] = static_cast<unsigned char>(row[i] + prior[i]);
        }
        return true;
    case 3:
        for (std::size_t i = 0; i < bytes; ++i) {
            int left = i >= bpp ? row[i - bpp] : 0;
            int above = prior != nullptr ? prior[i] : 0;
            row[i] = static_cast<unsigned char>(row[i] + ((left + above) >> 1));
        }
        return true;
    case 4:
        for (std::size_t i = 0; i < bytes; ++i) {
            int left = i >= bpp ? row[i - bpp] : 0;
            int above = prior != nullptr ? prior[i] : 0;
            int corner = prior != nullptr && i >= bpp ? prior[i - bpp] : 0;
            row[i] = static_cast<unsigned char>(row[i] + paeth(left, above, corner));
        }
        return true;
    default:
        return false; // the library's reader refuses unknown filters
    }
}

// Rows stored as a filter byte and the filtered row: undone, then moved together into the
// image's pixels at the start of the block.
bool unfilter(unsigned char* rows, const header& h) {
    const std::size_t row_bytes = h.row_bytes();
    const unsigned char* prior = nullptr;
    for (std::uint32_t y = 0; y < h.height; ++y) {
        unsigned char* stored = rows + (row_bytes + 1) * y;
        if (!unfilter_row(stored[0], stored + 1, prior, row_bytes, h.channels)) {
            return false;
        }
        prior = stored + 1;
    }
    for (std::uint32_t y = 0; y < h.height; ++y) {
        std::memmove(rows + row_bytes * y, rows + (row_bytes + 1) * y + 1, row_bytes);
    }
    return true;
}

bool inflate(const unsigned char* data, std::size_t length, unsigned char* into,
             std::size_t expected) {
    libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
    if (inflater == nullptr) {
        return false;
    }
    std::size_t used = 0, made = 0;
    libdeflate_result result =
        libdeflate_zlib_decompress_ex(inflater, data, length, into, expected, &used, &made);
    libdeflate_free_decompressor(inflater);
    return result == LIBDEFLATE_SUCCESS && used == length && made == expected;
}

bool bind(block pixels, const header& h) {
    bool made = image_transfer::image_from_block(
        pixels.release(), h.row_bytes() * h.height, h.width, h.height, 1,
        static_cast<ILubyte>(h.channels), h.format, IL_UNSIGNED_BYTE);
    if (made) {
        ilRegisterOrigin(IL_ORIGIN_UPPER_LEFT);
    }
    return made;
}

// The library's loaders end by turning an image to the origin, format or type set as wanted;
// only an image they would leave as it is read is made here.
bool library_keeps_images_as_read() {
    bool upright =
        !ilIsEnabled(IL_ORIGIN_SET) || ilGetInteger(IL_ORIGIN_MODE) == IL_ORIGIN_UPPER_LEFT;
    return upright && !ilIsEnabled(IL_FORMAT_SET) && !ilIsEnabled(IL_TYPE_SET);
}

} // namespace

outcome load(const void* data, std::uint32_t size) {
    const auto* file = static_cast<const unsigned char*>(data);
    chunk first;
    header h;
    if (!library_keeps_images_as_read() || data == nullptr || size < sizeof signature ||
        std::memcmp(file, signature, sizeof signature) != 0 ||
        !chunk_at(file, size, sizeof signature, first) || !read_header(first, h)) {
        return outcome::for_library;
    }
    block joined;
    const unsigned char* compressed = nullptr;
    std::size_t compressed_bytes = 0;
    if (!gather_data(file, size, after(first, file), joined, compressed, compressed_bytes)) {
        return outcome::for_library;
    }
    const std::size_t stored_bytes = (h.row_bytes() + 1) * h.height;
    block rows(static_cast<unsigned char*>(platform::allocate_pixels(stored_bytes)));
    if (rows == nullptr || !inflate(compressed, compressed_bytes, rows.get(), stored_bytes)) {
        return outcome::for_library;
    }
    joined.reset();
    if (!unfilter(rows.get(), h)) {
        return outcome::for_library;
    }
    return bind(std::move(rows), h) ? outcome::loaded : outcome::for_library;
}

} // namespace png_reader
