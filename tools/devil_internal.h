// Pieces shared by the devil wrapper's source files; not for other callers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace devil_internal {

// From now on in this process (a decoding child), the library gets no block over 64 MiB while
// its current image is larger than the viewer can show (tools/image_budget.h): a declared-size
// bomb fails at its first allocation instead of being decoded and refused afterwards.
void refuse_images_beyond_budget();

// ASCII letters of a zero-terminated text to lower case, in place; null is left alone.
void lower_in_place(char* text);

// Distinct values as iluColoursUsed counts them: `size` bytes taken as values of `bpp` bytes
// each (the channel count, whatever the channel type), keyed by their bytes. False, and the
// library's own count must serve, for any other width than 1, 3 or 4 (with 2 the library reads
// a byte past each pixel) or when memory is short.
bool count_distinct_values(const unsigned char* data, std::size_t size, unsigned bpp,
                           std::uint32_t& count);

// Channels in a pixel of the library's `format` (IL_RGB and so on); 0 for a format it does not
// have.
std::uint32_t channels_of(std::uint32_t format);

// 8-bit blue, green, red, alpha 255 from `pixels` three-byte pixels: red first (RGB) when
// `red_first`, else blue first (BGR). The blocks must not overlap.
void three_bytes_to_bgra(const unsigned char* from, unsigned char* to, std::size_t pixels,
                         bool red_first);
// Exchanges the first and third byte of `count` four-byte pixels in place: RGBA becomes BGRA.
void swap_red_and_blue(unsigned char* pixels, std::size_t count);

// The library's TIF writer declares alpha samples associated (premultiplied) while it writes
// them straight. Marks them unassociated in the first directory of the file open on
// `descriptor` (readable and writable). False when the file cannot be read or written.
bool mark_tiff_alpha_unassociated(int descriptor);

// A temporary file beside a target, renamed over the target only when the write succeeded, so
// a failed write never destroys what was there. The temporary file is removed unless committed.
class staged_file {
  public:
    explicit staged_file(const char* target);
    ~staged_file();
    staged_file(const staged_file&) = delete;
    staged_file& operator=(const staged_file&) = delete;

    // True when a target may be written: its folder exists and, if the target exists, it is a
    // writable regular file or a link, which is replaced by the new file and never followed.
    static bool can_replace(const char* target);

    // False when the target may not be replaced or the temporary file could not be made.
    bool ready() const { return descriptor >= 0; }
    // Open for reading and writing, so that a writer's output can be mended in place.
    int file_descriptor() const { return descriptor; }
    // A buffered stream on the temporary file, for writers that take one; null on failure.
    std::FILE* stream();

    // Flushes the temporary file to the disk, closes it and renames it over the target; false
    // when any of them fails, a write error having been left on the stream included.
    bool commit();

  private:
    std::string target_path;
    std::string temp_path;
    int descriptor = -1;
    std::FILE* buffered = nullptr;
    bool committed = false;
};

} // namespace devil_internal
