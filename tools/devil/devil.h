// The image-library wrapper: starts and stops DevIL, loads files from disk or zip archives,
// answers queries on the bound image, converts, rescales and saves; and the DDS snapshot writer.
//
// DevIL keeps one bound image per process. Every operation below acts on whatever image is bound
// at the time of the call. Nothing here shows a message, except write_dds_snapshot's three.
#pragma once

#include <IL/il.h>
#include <IL/ilu.h>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/system.h"
#include "tools/devil/dds_snapshot.h"
#include "tools/devil/resample.h"

class decode_child;
struct child_decoder;

// Final: init is virtual but the destructor is not, so the class cannot be derived from.
class devil final {
  public:
    // Creates the private heap and starts the library (init).
    devil();
    // Destroys the heap; the library is shut down when the last live object goes.
    ~devil();
    devil(const devil&) = delete;
    devil& operator=(const devil&) = delete;

    // Library start-up: hints, upper-left origin, overwriting saves, options reset.
    virtual void init();

    // A new image name, bound at once.
    ILuint create_image();
    void delete_image(ILuint name);

    // Loads `name` from disk (archive null) or the archive's member `name` (letter case ignored)
    // into the bound image, first row at the top. False for a missing, unreadable, undecodable
    // or truncated file; the bound image's content is then undefined.
    bool load_file(const char* name, const char* archive);
    // Starts decoding the disk file `name` at once, before any wrapper exists, for the first
    // load of it to take up (tools/sandbox/decode_child.h): start-up need not wait for it.
    static void start_early_decode(const char* name);

    // IL_BMP, IL_JPG, IL_PNG, IL_TGA, IL_TIF or IL_PSD for their three-letter extensions,
    // IL_TYPE_UNKNOWN for anything else or null. The text is lower-cased in place first.
    static ILenum type_from_extension(char* text);

    // Queries on the bound image.
    ILint get_width();
    ILint get_height();
    ILint get_bits_per_pixel();
    ILint get_mipmap_count();
    ILint get_library_version();
    // Counted once per state of the bound image and kept until a load, conversion or rescale
    // through this object, or binding another image; changes made to the image directly
    // through the library while it keeps its size and data block go unseen.
    ILuint get_colours_used();
    ILinfo get_image_info();

    // The bound image becomes 8-bit blue, green, red, alpha.
    bool convert_to_bgra();
    // True when the bound image is 8-bit red, green, blue (or blue, green, red) that the screen
    // can be made from as it stands: no converted copy, a quarter less memory.
    bool shows_three_bytes();
    // True when convert_to_bgra would leave the distinct pixel values as many as they are: an
    // 8-bit RGB or RGBA image (or one in blue-first order) without a palette or key colour,
    // whose conversion only reorders each pixel's bytes.
    bool converts_keeping_colour_count();
    // True when every rescale of the bound image goes through the wrapper's resampler, which
    // leaves the image as it is: a caller keeping it need not have it decoded again.
    bool rescales_in_place_of_library();
    // Drops the decode kept for reloads of the same file (tools/sandbox/decode_child.h), for a
    // caller that keeps the decoded image bound itself.
    void forget_kept_decode();

    // Resamples the bound image; a 0 side is derived from the other to keep the aspect ratio.
    // `filter` is lower-cased in place; unknown names use Lanczos. False, with the image and the
    // filter setting unchanged, when both sides are 0 or equal the current size, or the library
    // cannot do it.
    bool rescale(ILuint width, ILuint height, char* filter);

    // The rescale that `rescale` would make of the bound image with the wrapper's resampler,
    // sizes derived as there, for a caller that writes the result where it wants it (a part
    // first, the rest later), leaving the bound image as it is. Sets the library's filter as
    // `rescale` does. False when `rescale` would fail or would take the library's own path.
    bool resample_job(ILuint width, ILuint height, char* filter, resample::job& what);

    // Writes top-row-first pixels (blue, green, red, and alpha when `bytes` is 4) as `file` in
    // the format named by `type`: bmp, jpg, png, tga, tif or psd. Any other type text is
    // overwritten with "bmp" and BMP is written. The file is replaced only when the whole save
    // succeeded. `rebind` is bound afterwards on every path. TIF files declare their alpha
    // unassociated (straight), as it is written.
    template <std::size_t type_size>
    bool save_file(ILuint rebind, const char* file, char (&type)[type_size], ILuint width,
                   ILuint height, ILuint bytes, const void* pixels) {
        static_assert(type_size >= 4, "the type text must be able to take \"bmp\"");
        return save_file(rebind, file, type, type_size, width, height, bytes, pixels);
    }
    // The same for a type text in a buffer of `type_size` characters; one too small for "bmp"
    // is left as it is (BMP is written all the same).
    bool save_file(ILuint rebind, const char* file, char* type, std::size_t type_size, ILuint width,
                   ILuint height, ILuint bytes, const void* pixels);

    void set_tga_rle(bool on) { tga_rle = on; }
    void set_bmp_rle(bool on) { bmp_rle = on; }
    // Stores q - 1 when q, taken as unsigned, is at most 100; other values are ignored.
    void set_jpg_quality(int q);

    // Writes top-row-first pixels (blue, green, red, alpha) as a DDS file in the surface format
    // named by `format` (lower-cased in place), with generated mipmaps when asked for and the
    // format is block-compressed. Shows a message for a size that is not a power of two, a file
    // that cannot be created and an unknown format; the file is replaced only on success.
    bool write_dds_snapshot(const char* file, char* format, ILuint width, ILuint height,
                            const void* pixels, bool mipmaps);

    // The stored options and the description taken by the last load that reached the library.
    bool tga_rle_option() const { return tga_rle; }
    bool bmp_rle_option() const { return bmp_rle; }
    int jpg_quality_option() const { return jpg_quality; }
    const ILinfo& loaded_image_info() const { return image_info; }
    // Null when the heap could not be made.
    const platform::private_heap* heap() const { return hHeap.get(); }

    // From now on in this process (a decoding child), the library gets no block over 64 MiB
    // while its current image is larger than the viewer can show (image_budget.h): a declared-
    // size bomb fails at its first allocation instead of being decoded and refused afterwards.
    static void refuse_images_beyond_budget();

  private:
    // Loads decode in a sandboxed child, which calls decode through these
    // (tools/sandbox/decode_child.h).
    static const child_decoder& decoder();
    static bool decode_with(void* library, const void* data, std::uint32_t size, ILenum type);
    static void* start_library();
    static void end_library(void* library);

    bool decode(const void* data, std::uint32_t size, ILenum type);
    // The decode through the child, then the description of what it made.
    bool decode_in_child(const void* data, std::uint32_t size, ILenum type);
    void* read_member(const char* name, const char* archive, std::uint32_t& size);
    void* allocate_file_data(std::uint32_t size);
    void free_file_data(void* pFileData);

    bool colours_counted_for(const ILinfo& current) const;
    bool rescaled_size(ILuint& width, ILuint& height);

    std::unique_ptr<platform::private_heap> hHeap;
    std::unique_ptr<decode_child> child;
    ILinfo image_info{};
    bool tga_rle = false;
    bool bmp_rle = false;
    int jpg_quality = 99;
    // The last colour count and the description of the image it was made on.
    bool colours_known = false;
    ILinfo colours_info{};
    ILuint colours = 0;
};
