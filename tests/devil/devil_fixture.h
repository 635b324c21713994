// Shared by the devil tests: a started library with a bound image, images made from bytes, zip
// archives made with minizip, and pixel comparison.
#pragma once

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

#include "platform/backends/headless/headless.h"
#include "test_support.h"
#include "tools/devil/devil.h"
#include "tools/sandbox/sandbox.h"

// How a sandboxed child ends when malloc runs out of memory: a sanitizer's allocator ends the
// process where the C library's fails the allocation.
#if defined(__SANITIZE_ADDRESS__)
constexpr sandbox::outcome out_of_memory = sandbox::outcome::crashed;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr sandbox::outcome out_of_memory = sandbox::outcome::crashed;
#else
constexpr sandbox::outcome out_of_memory = sandbox::outcome::refused;
#endif
#else
constexpr sandbox::outcome out_of_memory = sandbox::outcome::refused;
#endif

using bytes = std::vector<unsigned char>;

// Pixels, top row first, blue, green, red (, alpha 255): every pixel differs from its mirror
// image across the middle row, so an upside-down result cannot pass.
bytes pattern(unsigned width, unsigned height, unsigned channels);

// Uncompressed 24-bit files, rows stored bottom first (BMP with a positive height, TGA with
// the origin bit clear) or top first; `top_first` holds blue, green, red pixels.
std::string bmp_file(unsigned width, unsigned height, const bytes& top_first,
                     bool stored_top_first);
std::string tga_file(unsigned width, unsigned height, const bytes& top_first,
                     bool stored_top_first);
// An uncompressed 32-bit A8R8G8B8 DDS file without mipmaps.
std::string dds_file(unsigned width, unsigned height, const bytes& top_first_bgra);
// What the library itself writes for `type` from top-first pixels (blue, green, red and, with
// four channels, alpha).
std::string encoded(ILenum type, unsigned width, unsigned height, const bytes& top_first_bgra,
                    unsigned channels = 4);

// Writes a zip archive; `stored` keeps members uncompressed.
bool write_zip(const std::string& path,
               const std::vector<std::pair<std::string, std::string>>& members, bool stored);
// Sets a 32-bit little-endian field at `offset` after the first `signature` in `data`.
void patch_field(std::string& data, std::uint32_t signature, std::size_t offset,
                 std::uint32_t value);

// The largest difference of any colour channel (and alpha, when asked) between two images.
int largest_difference(const bytes& a, const bytes& b, bool with_alpha);

// The bound image as a reader left it: format, type, origin, size and pixels.
struct bound_image {
    ILint format = 0, type = 0, origin = 0, width = 0, height = 0;
    bytes pixels;
    bool operator==(const bound_image&) const = default;
};
bound_image bound();

// The line of /proc/self/maps whose mapping holds `address`, or nothing.
std::string mapping_of(const void* address);

class DevilFixture : public ::testing::Test {
  protected:
    DevilFixture() { headless::clear_message_boxes(); }
    ~DevilFixture() override { lib.delete_image(image); }

    // Loads a file into the bound image and returns its pixels as 8-bit BGRA.
    bool load_bgra(const std::string& name, const char* archive, bytes& out);
    std::string file(const std::string& name) const { return dir.file(name); }
    // The names in the scratch folder, hidden ones included.
    std::vector<std::string> folder_listing() const;

    devil lib;
    ILuint image = lib.create_image();
    test_support::scratch_dir dir;
};
