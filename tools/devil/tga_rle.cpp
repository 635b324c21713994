#include "tools/devil/tga_rle.h"

#include <cstdio>
#include <cstring>

#include "tools/devil/staged_file.h"

namespace tga_rle {

namespace {

constexpr std::uint32_t most_packet = 128;
constexpr std::uint8_t run_flag = 0x80;
constexpr std::uint8_t image_type_rle_true_colour = 10;
constexpr std::uint32_t largest_side = 65535;

void put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put_header(std::vector<std::uint8_t>& out, std::uint32_t width, std::uint32_t height,
                std::uint32_t bytes) {
    out.push_back(0); // no image id
    out.push_back(0); // no colour map
    out.push_back(image_type_rle_true_colour);
    out.insert(out.end(), 5, 0); // colour map description
    put16(out, 0);               // x origin
    put16(out, 0);               // y origin
    put16(out, width);
    put16(out, height);
    out.push_back(static_cast<std::uint8_t>(bytes * 8));
    // Alpha bits; the origin bits stay 0: rows run bottom first.
    out.push_back(bytes == 4 ? 8 : 0);
}

// Pixels equal to the one at `at`, it included, up to a packet's length and the row's end.
std::uint32_t run_length(const std::uint8_t* row, std::uint32_t at, std::uint32_t width,
                         std::uint32_t bytes) {
    std::uint32_t length = 1;
    while (at + length < width && length < most_packet &&
           std::memcmp(row + (at + length) * bytes, row + at * bytes, bytes) == 0) {
        ++length;
    }
    return length;
}

void encode_row(std::vector<std::uint8_t>& out, const std::uint8_t* row, std::uint32_t width,
                std::uint32_t bytes) {
    std::uint32_t at = 0;
    while (at < width) {
        std::uint32_t run = run_length(row, at, width, bytes);
        if (run >= 2) {
            out.push_back(static_cast<std::uint8_t>(run_flag | (run - 1)));
            out.insert(out.end(), row + at * bytes, row + (at + 1) * bytes);
            at += run;
            continue;
        }
        // A raw packet, up to the next pair of equal pixels.
        std::uint32_t length = 1;
        while (at + length < width && length < most_packet &&
               run_length(row, at + length, width, bytes) < 2) {
            ++length;
        }
        out.push_back(static_cast<std::uint8_t>(length - 1));
        out.insert(out.end(), row + at * bytes, row + (at + length) * bytes);
        at += length;
    }
}

} // namespace

std::vector<std::uint8_t> encode(std::uint32_t width, std::uint32_t height, std::uint32_t bytes,
                                 const void* pixels) {
    std::vector<std::uint8_t> out;
    put_header(out, width, height, bytes);
    const auto* first = static_cast<const std::uint8_t*>(pixels);
    std::size_t row_bytes = std::size_t{width} * bytes;
    for (std::uint32_t row = height; row-- > 0;) {
        encode_row(out, first + row * row_bytes, width, bytes);
    }
    return out;
}

bool save(const char* file, std::uint32_t width, std::uint32_t height, std::uint32_t bytes,
          const void* pixels) {
    if (file == nullptr || pixels == nullptr || (bytes != 3 && bytes != 4) || width == 0 ||
        height == 0 || width > largest_side || height > largest_side) {
        return false;
    }
    std::vector<std::uint8_t> encoded = encode(width, height, bytes, pixels);
    devil_internal::staged_file staged(file);
    std::FILE* stream = staged.stream();
    return stream != nullptr &&
           std::fwrite(encoded.data(), 1, encoded.size(), stream) == encoded.size() &&
           staged.commit();
}

} // namespace tga_rle
