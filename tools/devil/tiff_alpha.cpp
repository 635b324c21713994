// Mends the alpha declaration of the TIF files the library writes.
#include <cstdint>
#include <unistd.h>
#include <utility>

#include "tools/devil/tiff_alpha.h"

namespace {

constexpr std::uint16_t extra_samples_tag = 338;
constexpr std::uint16_t short_type = 3;
constexpr std::uint16_t associated_alpha = 1;
constexpr std::uint16_t unassociated_alpha = 2;
constexpr off_t entry_size = 12;

// Whole-field reads and writes at an offset, in the file's byte order.
class tiff_fields {
  public:
    explicit tiff_fields(int descriptor) : descriptor(descriptor) {}

    bool read_order() {
        unsigned char mark[2];
        if (pread(descriptor, mark, 2, 0) != 2 || mark[0] != mark[1]) {
            return false;
        }
        little_endian = mark[0] == 'I';
        return mark[0] == 'I' || mark[0] == 'M';
    }
    bool read(off_t at, std::uint32_t& value, int bytes) {
        unsigned char field[4] = {};
        if (pread(descriptor, field, bytes, at) != bytes) {
            return false;
        }
        value = 0;
        for (int i = 0; i < bytes; ++i) {
            value |= std::uint32_t{field[little_endian ? i : bytes - 1 - i]} << (8 * i);
        }
        return true;
    }
    bool write_short(off_t at, std::uint16_t value) {
        unsigned char field[2] = {static_cast<unsigned char>(value & 0xFF),
                                  static_cast<unsigned char>(value >> 8)};
        if (!little_endian) {
            std::swap(field[0], field[1]);
        }
        return pwrite(descriptor, field, 2, at) == 2;
    }

  private:
    int descriptor;
    bool little_endian = true;
};

} // namespace

namespace devil_internal {

bool mark_tiff_alpha_unassociated(int descriptor) {
    tiff_fields fields(descriptor);
    std::uint32_t directory = 0;
    std::uint32_t entries = 0;
    if (!fields.read_order() || !fields.read(4, directory, 4) ||
        !fields.read(directory, entries, 2)) {
        return false;
    }
    for (std::uint32_t i = 0; i < entries; ++i) {
        off_t entry = off_t{directory} + 2 + entry_size * i;
        std::uint32_t tag = 0;
        std::uint32_t type = 0;
        std::uint32_t count = 0;
        std::uint32_t value = 0;
        if (!fields.read(entry, tag, 2) || !fields.read(entry + 2, type, 2) ||
            !fields.read(entry + 4, count, 4) || !fields.read(entry + 8, value, 2)) {
            return false;
        }
        if (tag == extra_samples_tag && type == short_type && count == 1) {
            return value != associated_alpha || fields.write_short(entry + 8, unassociated_alpha);
        }
    }
    return true;
}

} // namespace devil_internal
