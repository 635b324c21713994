#include "tools/devil/devil.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>
#include <utility>

#include "platform/pixel_memory.h"
#include "tools/devil/bgra_pixels.h"
#include "tools/devil/colour_count.h"
#include "tools/devil/jpeg_writer.h"
#include "tools/devil/own_readers.h"
#include "tools/devil/resample.h"
#include "tools/devil/staged_file.h"
#include "tools/devil/tga_rle.h"
#include "tools/devil/tiff_alpha.h"
#include "tools/sandbox/decode_child.h"
#include "tools/sandbox/image_budget.h"
#include "tools/sandbox/image_transfer.h"
#include "tools/sandbox/sandbox.h"
#include "tools/tools.h"

namespace {

constexpr const char* trace_source = "tools/devil/devil.cpp";

// Objects alive: the library is shut down only when the last one goes, since shutting it down
// frees every image, those of other objects too.
int live_objects = 0;

// DevIL sizes images in 32-bit arithmetic; larger images would overflow inside the library.
constexpr std::uint64_t library_byte_limit = INT32_MAX;

bool fits_library(std::uint64_t width, std::uint64_t height, std::uint64_t bytes_per_pixel) {
    return width > 0 && height > 0 && width * height * bytes_per_pixel <= library_byte_limit;
}

// Drops errors left by earlier calls, so that the next call's own can be told apart.
void clear_library_errors() {
    for (int i = 0; i < 64 && ilGetError() != IL_NO_ERROR; ++i) {
    }
}

// The library reports data that ends early, and a failed write, as a file error (one code for
// both), yet some of its decoders and writers still return success.
bool library_reported_file_error() {
    bool file_error = false;
    for (int i = 0; i < 64; ++i) {
        ILenum error = ilGetError();
        if (error == IL_NO_ERROR) {
            break;
        }
        file_error = file_error || error == IL_FILE_READ_ERROR;
    }
    return file_error;
}

// A member's header can claim any size. Refuse what its stored bytes cannot hold, so that a
// lying header never makes us allocate more than deflate could ever expand them to.
bool plausible_member_size(const unz_file_info& info, std::uint64_t archive_size) {
    constexpr std::uint64_t stored = 0;
    constexpr std::uint64_t deflate_best_ratio = 1032;
    std::uint64_t packed = info.compressed_size;
    std::uint64_t unpacked = info.uncompressed_size;
    if (unpacked == 0 || unpacked > image_budget::most_file_bytes || packed > archive_size) {
        return false;
    }
    if (info.compression_method == stored) {
        return unpacked == packed;
    }
    return unpacked <= packed * deflate_best_ratio + deflate_best_ratio;
}

// The library's PNG reader loops for ever on a file that ends inside its image data, so PNG
// bytes are only handed over when their chunks run whole up to the closing IEND.
bool png_cut_short(const unsigned char* data, std::uint32_t size) {
    static constexpr unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size < sizeof signature || std::memcmp(data, signature, sizeof signature) != 0) {
        return false;
    }
    std::uint64_t at = sizeof signature;
    while (at + 8 <= size) {
        std::uint64_t length = std::uint64_t{data[at]} << 24 | std::uint64_t{data[at + 1]} << 16 |
                               std::uint64_t{data[at + 2]} << 8 | data[at + 3];
        bool end = std::memcmp(data + at + 4, "IEND", 4) == 0;
        at += 8 + length + 4;
        if (end) {
            return at > size;
        }
    }
    return true;
}

// A whole regular file in a new block; null when it is empty, larger than any image the viewer
// can show needs (image_budget::most_file_bytes: refused unread) or cannot be read in full.
// The file's bytes, in pixel memory: a large file comes in huge pages, which saves most of the
// cost of touching the fresh block.
using file_bytes = std::unique_ptr<unsigned char[], platform::pixel_deleter>;

file_bytes read_disk_file(const char* name, std::uint32_t& size) {
    // Opened without waiting: a FIFO put in the file's place must not hang the viewer.
    int file = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file < 0) {
        return nullptr;
    }
    struct stat facts {};
    bool sized = fstat(file, &facts) == 0 && S_ISREG(facts.st_mode) && facts.st_size > 0 &&
                 static_cast<std::uint64_t>(facts.st_size) <= image_budget::most_file_bytes;
    size = sized ? static_cast<std::uint32_t>(facts.st_size) : 0;
    file_bytes bytes(sized ? static_cast<unsigned char*>(platform::allocate_pixels(size))
                           : nullptr);
    bool read = bytes != nullptr && sandbox::read_exactly(file, bytes.get(), size);
    close(file);
    return read ? std::move(bytes) : nullptr;
}

struct filter_name {
    const char* name;
    ILenum filter;
};

constexpr filter_name filters[] = {
    {"nearest", ILU_NEAREST},         {"linear", ILU_LINEAR},
    {"bilinear", ILU_BILINEAR},       {"box", ILU_SCALE_BOX},
    {"triangle", ILU_SCALE_TRIANGLE}, {"bell", ILU_SCALE_BELL},
    {"bspline", ILU_SCALE_BSPLINE},   {"lanczos", ILU_SCALE_LANCZOS3},
    {"mitchell", ILU_SCALE_MITCHELL},
};

ILenum filter_from_name(char* name) {
    lower_in_place(name);
    for (const filter_name& entry : filters) {
        if (name != nullptr && std::strcmp(name, entry.name) == 0) {
            return entry.filter;
        }
    }
    return ILU_SCALE_LANCZOS3;
}

struct type_name {
    const char* extension;
    ILenum type;
};

constexpr type_name types[] = {
    {"bmp", IL_BMP}, {"jpg", IL_JPG}, {"png", IL_PNG},
    {"tga", IL_TGA}, {"tif", IL_TIF}, {"psd", IL_PSD},
};

// The largest side each format can record. Beyond it the library writes a damaged file (TGA,
// PSD) and reports success, crashes (PNG) or lets its codec end the process (JPEG).
ILuint largest_side(ILenum type) {
    switch (type) {
    case IL_JPG:
        return 65500;
    case IL_PNG:
        return 1000000;
    case IL_TGA:
        return 65535;
    case IL_PSD:
        return 30000;
    default:
        return UINT32_MAX;
    }
}

// The library's TIF writer leaves its alpha marked premultiplied; other programs would show
// translucent pixels in wrong colours.
bool tiff_alpha_mended(std::FILE* stream) {
    return std::fflush(stream) == 0 && devil_internal::mark_tiff_alpha_unassociated(fileno(stream));
}

} // namespace

devil::devil() {
    hHeap.reset(new (std::nothrow) platform::private_heap);
    if (hHeap != nullptr) {
        trace(trace_source, __LINE__, "\"devil::devil() successfully created hHeap\"");
    } else {
        trace(trace_source, __LINE__, "\"devil::devil() failed to create hHeap\"");
    }
    child.reset(new (std::nothrow) decode_child(decoder(), this));
    ++live_objects;
    init();
}

devil::~devil() {
    if (hHeap != nullptr) {
        // Destroying the heap frees every block it still holds; it cannot fail.
        hHeap.reset();
        trace(trace_source, __LINE__, "\"devil::~devil() successfully destroyed hHeap\"");
    }
    if (--live_objects == 0) {
        ilShutDown();
    }
}

namespace {

// A pixel block the wrapper keeps through ilTexImage, which frees the image's block before it
// asks for the new one. The library's free is held back, so the old pixels stay readable, and a
// request of the same size gets the block itself back, pixels and all.
enum class hold { off, armed, released, handed_back };

struct held_block {
    hold state = hold::off;
    const void* block = nullptr;
    std::size_t size = 0;
};

held_block held;

} // namespace

namespace {

bool refusing_beyond_budget = false;

// The library sizes an image before it asks for its block, so a block for an image the viewer
// could not show is refused before any pixel is decoded into it.
bool block_for_an_image_beyond_budget(ILsizei size) {
    constexpr ILsizei small_block = ILsizei{64} << 20; // scan lines, palettes, small images
    return refusing_beyond_budget && size > small_block &&
           !image_budget::displayable(static_cast<ILuint>(ilGetInteger(IL_IMAGE_WIDTH)),
                                      static_cast<ILuint>(ilGetInteger(IL_IMAGE_HEIGHT)),
                                      static_cast<ILuint>(ilGetInteger(IL_IMAGE_DEPTH)));
}

} // namespace

void devil::refuse_images_beyond_budget() {
    refusing_beyond_budget = true;
}

// The library's image blocks come from the pixel allocator: huge pages save most of the cost
// of touching a fresh image for the first time.
// A block the wrapper filled itself goes to the library's next request of its size through
// platform::offer_block.
static void* ILAPIENTRY allocate_library_block(const ILsizei size) {
    if (held.state == hold::released && size == held.size) {
        held.state = hold::handed_back;
        return const_cast<void*>(held.block);
    }
    if (block_for_an_image_beyond_budget(size)) {
        return nullptr;
    }
    return platform::allocate_pixels(size > 0 ? size : 1); // the library asks for 0 bytes too
}
static void ILAPIENTRY free_library_block(const void* CONST_RESTRICT block) {
    if (held.state == hold::armed && block == held.block) {
        held.state = hold::released; // the wrapper frees it, or hands it back
        return;
    }
    platform::free_pixels(const_cast<void*>(block));
}

namespace {

// The bound image as the wrapper's own conversion needs it, with the facts ilTexImage resets.
struct convertible_image {
    ILuint width = 0, height = 0, depth = 0;
    ILenum format = 0, origin = 0;
    ILint duration = 0, offset_x = 0, offset_y = 0;
    unsigned char* pixels = nullptr;
    std::size_t pixel_count = 0;
};

bool image_has_extras() {
    for (ILenum extra :
         {IL_NUM_IMAGES, IL_NUM_MIPMAPS, IL_NUM_FACES, IL_NUM_LAYERS, IL_IMAGE_CUBEFLAGS}) {
        if (ilGetInteger(extra) != 0) {
            return true;
        }
    }
    return ilGetInteger(IL_DXTC_DATA_FORMAT) != IL_DXT_NO_COMP;
}

// True when converting here gives exactly what ilConvertImage gives: an 8-bit RGB, BGR or RGBA
// image without a palette, and nothing that ilTexImage would drop with no way to put it back
// (sub-images, cube flags, kept DXTC data). Both calls behave as read in DevIL 1.7.8. Its
// ilTexImage also drops a colour profile (some PSD and TIF files have one): images rebuilt
// from the decoding child never carry one, and nothing here applies one.
bool convertible_here(convertible_image& image) {
    ILint format = ilGetInteger(IL_IMAGE_FORMAT);
    if (ilGetInteger(IL_VERSION_NUM) != 178 ||
        (format != IL_RGB && format != IL_BGR && format != IL_RGBA) ||
        ilGetInteger(IL_IMAGE_TYPE) != IL_UNSIGNED_BYTE ||
        ilGetInteger(IL_PALETTE_TYPE) != IL_PAL_NONE || ilIsEnabled(IL_USE_KEY_COLOUR) ||
        image_has_extras()) {
        return false;
    }
    image.width = static_cast<ILuint>(ilGetInteger(IL_IMAGE_WIDTH));
    image.height = static_cast<ILuint>(ilGetInteger(IL_IMAGE_HEIGHT));
    image.depth = static_cast<ILuint>(ilGetInteger(IL_IMAGE_DEPTH));
    image.format = static_cast<ILenum>(format);
    image.origin = static_cast<ILenum>(ilGetInteger(IL_IMAGE_ORIGIN));
    image.duration = ilGetInteger(IL_IMAGE_DURATION);
    image.offset_x = ilGetInteger(IL_IMAGE_OFFX);
    image.offset_y = ilGetInteger(IL_IMAGE_OFFY);
    image.pixels = ilGetData();
    image.pixel_count = std::size_t{image.width} * image.height * image.depth;
    auto bytes = static_cast<std::size_t>(ilGetInteger(IL_IMAGE_SIZE_OF_DATA));
    bool upright_known = image.origin == IL_ORIGIN_LOWER_LEFT ||
                         image.origin == IL_ORIGIN_UPPER_LEFT; // ilRegisterOrigin takes no other
    return image.pixels != nullptr && image.pixel_count > 0 && upright_known &&
           bytes == image.pixel_count * ilGetInteger(IL_IMAGE_BYTES_PER_PIXEL);
}

// The bound image made anew as 8-bit `format`, its block from the library's allocator.
bool remake_as(const convertible_image& image, ILenum format) {
    return ilTexImage(image.width, image.height, image.depth,
                      static_cast<ILubyte>(image_transfer::channels_of(format)), format,
                      IL_UNSIGNED_BYTE, nullptr) == IL_TRUE;
}

// ilTexImage sets these as for a new image.
void restore_facts(const convertible_image& image) {
    ilRegisterOrigin(image.origin);
    ilSetDuration(static_cast<ILuint>(image.duration));
    ilSetInteger(IL_IMAGE_OFFX, image.offset_x);
    ilSetInteger(IL_IMAGE_OFFY, image.offset_y);
}

// The peak is the library's own: RGBA is swapped in its block, and for RGB and BGR the old
// block lives beside the new one until the pixels are across. Should the library free the old
// block some other way (allocator functions not ours), it is not read: the result is false.
bool convert_here(const convertible_image& image) {
    held = {hold::armed, image.pixels,
            image.pixel_count * image_transfer::channels_of(image.format)};
    bool made = remake_as(image, IL_BGRA);
    if (!made && held.state == hold::released) {
        remake_as(image, image.format); // no memory for the new block: the old one comes back
    }
    hold outcome = held.state;
    held = {};
    if (made && outcome == hold::handed_back) {
        devil_internal::swap_red_and_blue(ilGetData(), image.pixel_count);
    } else if (made && outcome == hold::released) {
        devil_internal::three_bytes_to_bgra(image.pixels, ilGetData(), image.pixel_count,
                                            image.format == IL_RGB);
        platform::free_pixels(image.pixels);
    }
    restore_facts(image);
    return made && outcome != hold::armed;
}

// The library computes the converted size in 32 bits; beyond its reach it would wrap round.
bool bgra_within_reach() {
    return image_budget::convertible(static_cast<ILuint>(ilGetInteger(IL_IMAGE_WIDTH)),
                                     static_cast<ILuint>(ilGetInteger(IL_IMAGE_HEIGHT)),
                                     static_cast<ILuint>(ilGetInteger(IL_IMAGE_DEPTH)));
}

// The PNG writer finds the rows where the image's origin says they are and only reads them: it
// can write the caller's pixels as the image's own block, with no copy and no flip. The others
// flip or convert in place.
bool reads_rows_in_place(ILenum type) {
    return type == IL_PNG;
}

void copy_rows_bottom_up(const unsigned char* from, unsigned char* to, std::size_t row_bytes,
                         std::size_t rows) {
    for (std::size_t row = 0; row < rows; ++row) {
        std::memcpy(to + (rows - 1 - row) * row_bytes, from + row * row_bytes, row_bytes);
    }
}

// The library's filter as the wrapper's resampler names it; false for any other value.
bool own_filter(ILenum filter, resample::filter& how) {
    constexpr std::pair<ILenum, resample::filter> names[] = {
        {ILU_NEAREST, resample::filter::nearest},
        {ILU_LINEAR, resample::filter::linear},
        {ILU_BILINEAR, resample::filter::bilinear},
        {ILU_SCALE_BOX, resample::filter::box},
        {ILU_SCALE_TRIANGLE, resample::filter::triangle},
        {ILU_SCALE_BELL, resample::filter::bell},
        {ILU_SCALE_BSPLINE, resample::filter::bspline},
        {ILU_SCALE_LANCZOS3, resample::filter::lanczos3},
        {ILU_SCALE_MITCHELL, resample::filter::mitchell},
    };
    for (const auto& [library, own] : names) {
        if (library == filter) {
            how = own;
            return true;
        }
    }
    return false;
}

// The bound image as the wrapper's resampler takes it: 8-bit channels without a palette, one
// plane, nothing that ilTexImage would drop, in the library version whose results it matches.
bool resamplable_here(resample::image& image, ILenum& format) {
    format = static_cast<ILenum>(ilGetInteger(IL_IMAGE_FORMAT));
    std::uint32_t channels = image_transfer::channels_of(format);
    if (ilGetInteger(IL_VERSION_NUM) != 178 || format == IL_COLOUR_INDEX || channels == 0 ||
        ilGetInteger(IL_IMAGE_TYPE) != IL_UNSIGNED_BYTE || ilGetInteger(IL_IMAGE_DEPTH) != 1 ||
        ilGetInteger(IL_IMAGE_BYTES_PER_PIXEL) != static_cast<ILint>(channels) ||
        image_has_extras()) {
        return false;
    }
    image.pixels = ilGetData();
    image.width = static_cast<std::uint32_t>(ilGetInteger(IL_IMAGE_WIDTH));
    image.height = static_cast<std::uint32_t>(ilGetInteger(IL_IMAGE_HEIGHT));
    image.channels = channels;
    auto bytes = static_cast<std::size_t>(ilGetInteger(IL_IMAGE_SIZE_OF_DATA));
    return image.pixels != nullptr &&
           bytes == std::size_t{image.width} * image.height * image.channels;
}

// Resamples into a block of its own first, so that a failure leaves the image as it was; the
// library then takes that block as the image's new one, and frees the old.
bool rescale_here(const resample::job& what, ILenum format) {
    std::size_t bytes = std::size_t{what.width} * what.height * what.from.channels;
    auto* result = static_cast<unsigned char*>(platform::allocate_pixels(bytes));
    if (result == nullptr || !resample::rescale(what, result)) {
        platform::free_pixels(result);
        return false;
    }
    auto origin = static_cast<ILenum>(ilGetInteger(IL_IMAGE_ORIGIN));
    held = {hold::armed, what.from.pixels,
            std::size_t{what.from.width} * what.from.height * what.from.channels};
    platform::offer_block(result, bytes);
    bool made = ilTexImage(what.width, what.height, 1, static_cast<ILubyte>(what.from.channels),
                           format, IL_UNSIGNED_BYTE, nullptr) == IL_TRUE;
    bool taken = platform::withdraw_offer() == nullptr;
    if (!made && held.state == hold::released) {
        // No memory for the new block: the old one comes back, with the image's facts.
        ilTexImage(what.from.width, what.from.height, 1, static_cast<ILubyte>(what.from.channels),
                   format, IL_UNSIGNED_BYTE, nullptr);
    }
    hold outcome = held.state;
    held = {};
    if (made && !taken) {
        std::memcpy(ilGetData(), result, bytes); // the library asked for another size
    }
    if (!taken) {
        platform::free_pixels(result);
    }
    if (made && outcome == hold::released) {
        platform::free_pixels(const_cast<unsigned char*>(what.from.pixels));
    }
    ilRegisterOrigin(origin);
    return made && outcome != hold::armed;
}

} // namespace

void devil::init() {
    ilSetMemory(allocate_library_block, free_library_block);
    ilInit();
    ilHint(IL_MEM_SPEED_HINT, IL_FASTEST);
    ilHint(IL_COMPRESSION_HINT, IL_USE_COMPRESSION);
    ilEnable(IL_ORIGIN_SET);
    iluInit();
    ilEnable(IL_FILE_OVERWRITE);
    bmp_rle = false;
    tga_rle = false;
    jpg_quality = 99;
}

ILuint devil::create_image() {
    ILuint name = 0;
    ilGenImages(1, &name);
    ilBindImage(name);
    return name;
}

void devil::delete_image(ILuint name) {
    // The name may be handed out again for another image.
    colours_known = colours_known && name != colours_info.Id;
    ilDeleteImages(1, &name);
}

ILenum devil::type_from_extension(char* text) {
    lower_in_place(text);
    for (const type_name& entry : types) {
        if (text != nullptr && std::strcmp(text, entry.extension) == 0) {
            return entry.type;
        }
    }
    return IL_TYPE_UNKNOWN;
}

bool devil::load_file(const char* name, const char* archive) {
    if (name == nullptr || *name == '\0') {
        return false;
    }
    if (!file_exists(name, archive)) {
        return false;
    }
    ilOriginFunc(IL_ORIGIN_UPPER_LEFT);
    colours_known = false; // the image is built anew, perhaps in the same block
    if (child != nullptr && child->reuse(name, archive)) {
        image_info = get_image_info();
        return true;
    }
    std::uint32_t size = 0;
    if (archive == nullptr) {
        // Read whole and decoded from memory, as a member is: the library's own file reader
        // takes a truncated BMP for a whole one. The decoder is the one its extension names.
        file_bytes bytes = read_disk_file(name, size);
        return bytes != nullptr && decode_in_child(bytes.get(), size, ilTypeFromExt(name));
    }
    void* pFileData = read_member(name, archive, size);
    if (pFileData == nullptr) {
        return false;
    }
    char extension[16] = {};
    if (const char* found = file_extension(name); found != nullptr) {
        std::snprintf(extension, sizeof extension, "%s", found);
    }
    bool loaded = decode_in_child(pFileData, size, type_from_extension(extension));
    free_file_data(pFileData);
    return loaded;
}

void devil::start_early_decode(const char* name) {
    decode_child::start_early(name, decoder());
}

bool devil::decode_in_child(const void* data, std::uint32_t size, ILenum type) {
    bool loaded = child != nullptr && child->decode(data, size, type);
    image_info = get_image_info();
    return loaded;
}

const child_decoder& devil::decoder() {
    static const child_decoder hooks{decode_with, start_library, end_library,
                                     refuse_images_beyond_budget};
    return hooks;
}

bool devil::decode_with(void* library, const void* data, std::uint32_t size, ILenum type) {
    return static_cast<devil*>(library)->decode(data, size, type);
}

// In the child, which has no wrapper of its own yet, before its walls go up: the library
// started as a load finds it, with an image bound as a load binds it.
void* devil::start_library() {
    auto* library = new (std::nothrow) devil;
    if (library != nullptr) {
        library->create_image();
        ilOriginFunc(IL_ORIGIN_UPPER_LEFT);
    }
    return library;
}

void devil::end_library(void* library) {
    delete static_cast<devil*>(library);
}

bool devil::decode(const void* data, std::uint32_t size, ILenum type) {
    if (png_cut_short(static_cast<const unsigned char*>(data), size)) {
        return false;
    }
    // DDS and 16-bit PNM files go to readers of our own: the library's get them wrong.
    if (auto how = own_readers::decode(data, size, type); how != own_readers::outcome::not_ours) {
        colours_known = false;
        image_info = get_image_info();
        return how == own_readers::outcome::loaded;
    }
    if (type == IL_TYPE_UNKNOWN) {
        // The format probes read past the end of data under about 512 bytes and leave file
        // errors that say nothing about the image; only the decoder's own errors count.
        type = ilDetermineTypeL(data, size);
    }
    clear_library_errors();
    colours_known = false;
    bool loaded = ilLoadL(type, data, size) == IL_TRUE;
    image_info = get_image_info();
    return !library_reported_file_error() && loaded;
}

void* devil::read_member(const char* name, const char* archive, std::uint32_t& size) {
    unzFile zip = unzOpen(archive);
    if (zip == nullptr) {
        return nullptr;
    }
    constexpr int case_insensitive = 2;
    if (unzLocateFile(zip, name, case_insensitive) != UNZ_OK) {
        unzClose(zip);
        return nullptr;
    }
    if (unzOpenCurrentFile(zip) != UNZ_OK) {
        unzClose(zip);
        return nullptr;
    }
    unz_file_info info{};
    if (unzGetCurrentFileInfo(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK ||
        !plausible_member_size(info, platform::regular_file_size(archive))) {
        unzCloseCurrentFile(zip);
        unzClose(zip);
        return nullptr;
    }
    size = static_cast<std::uint32_t>(info.uncompressed_size);
    void* pFileData = allocate_file_data(size);
    if (pFileData == nullptr) {
        unzCloseCurrentFile(zip);
        unzClose(zip);
        return nullptr;
    }
    // A member must deliver exactly the size its header claims, and its checksum (tested when
    // the member is closed after a full read) must hold.
    auto* bytes = static_cast<char*>(pFileData);
    std::uint32_t done = 0;
    while (done < size) {
        unsigned chunk = std::min<std::uint32_t>(size - done, 1u << 30);
        int got = unzReadCurrentFile(zip, bytes + done, chunk);
        if (got <= 0) {
            break;
        }
        done += static_cast<std::uint32_t>(got);
    }
    bool intact = unzCloseCurrentFile(zip) == UNZ_OK && done == size;
    unzClose(zip);
    if (!intact) {
        free_file_data(pFileData);
        return nullptr;
    }
    return pFileData;
}

void* devil::allocate_file_data(std::uint32_t size) {
    void* pFileData = hHeap != nullptr ? hHeap->allocate(size) : nullptr;
    if (pFileData == nullptr) {
        trace(trace_source, __LINE__, "\"devil::load_file() failed to allocate pFileData\"");
        return nullptr;
    }
    std::memset(pFileData, 0, size);
    trace(trace_source, __LINE__, "\"devil::load_file() successfully allocated pFileData\"");
    return pFileData;
}

void devil::free_file_data(void* pFileData) {
    if (hHeap != nullptr && hHeap->free(pFileData)) {
        trace(trace_source, __LINE__, "\"devil::load_file() successfully deallocated pFileData\"");
    } else {
        trace(trace_source, __LINE__, "\"devil::load_file() failed to deallocate pFileData\"");
    }
}

ILint devil::get_width() {
    return ilGetInteger(IL_IMAGE_WIDTH);
}

ILint devil::get_height() {
    return ilGetInteger(IL_IMAGE_HEIGHT);
}

ILint devil::get_bits_per_pixel() {
    return ilGetInteger(IL_IMAGE_BYTES_PER_PIXEL) * 8;
}

ILint devil::get_mipmap_count() {
    return ilGetInteger(IL_NUM_MIPMAPS);
}

ILint devil::get_library_version() {
    return ilGetInteger(IL_VERSION_NUM);
}

ILuint devil::get_colours_used() {
    ILinfo current = get_image_info();
    if (colours_counted_for(current)) {
        return colours;
    }
    std::uint32_t count = 0;
    colours =
        devil_internal::count_distinct_values(current.Data, current.SizeOfData, current.Bpp, count)
            ? count
            : iluColoursUsed();
    colours_info = current;
    colours_known = true;
    return colours;
}

bool devil::colours_counted_for(const ILinfo& current) const {
    const ILinfo& was = colours_info;
    return colours_known && current.Id == was.Id && current.Data == was.Data &&
           current.SizeOfData == was.SizeOfData && current.Width == was.Width &&
           current.Height == was.Height && current.Depth == was.Depth && current.Bpp == was.Bpp &&
           current.Format == was.Format && current.Type == was.Type;
}

ILinfo devil::get_image_info() {
    ILinfo info{};
    iluGetImageInfo(&info);
    return info;
}

bool devil::convert_to_bgra() {
    colours_known = false;
    if (!bgra_within_reach()) {
        return false;
    }
    convertible_image image;
    if (convertible_here(image)) {
        return convert_here(image);
    }
    // Everything else goes to the library; BGRA too, which it leaves as it is at no cost.
    return ilConvertImage(IL_BGRA, IL_UNSIGNED_BYTE) == IL_TRUE;
}

bool devil::shows_three_bytes() {
    return converts_keeping_colour_count() && ilGetInteger(IL_IMAGE_BYTES_PER_PIXEL) == 3;
}

bool devil::converts_keeping_colour_count() {
    resample::image from;
    ILenum format = 0;
    return resamplable_here(from, format) &&
           (format == IL_RGB || format == IL_BGR || format == IL_RGBA || format == IL_BGRA) &&
           !ilIsEnabled(IL_USE_KEY_COLOUR);
}

bool devil::rescales_in_place_of_library() {
    resample::image from;
    ILenum format = 0;
    return resamplable_here(from, format);
}

void devil::forget_kept_decode() {
    if (child != nullptr) {
        child->forget();
    }
}

// The size a rescale makes, a 0 side derived from the other; false for no change or a size
// the library cannot hold.
bool devil::rescaled_size(ILuint& width, ILuint& height) {
    if (width == 0 && height == 0) {
        return false;
    }
    ILinfo current = get_image_info();
    if (width == current.Width && height == current.Height) {
        return false;
    }
    if (current.Width == 0 || current.Height == 0) {
        return false;
    }
    // 64 bits, so that a large product cannot wrap round; a side derived as 0 becomes 1.
    std::uint64_t new_width = width;
    std::uint64_t new_height = height;
    if (new_width == 0) {
        new_width = std::max<std::uint64_t>(1, new_height * current.Width / current.Height);
    }
    if (new_height == 0) {
        new_height = std::max<std::uint64_t>(1, new_width * current.Height / current.Width);
    }
    std::uint64_t pixel_bytes = std::uint64_t{current.Bpp} * ilGetInteger(IL_IMAGE_BPC) *
                                std::max<std::uint64_t>(1, current.Depth);
    if (!fits_library(new_width, new_height, pixel_bytes)) {
        return false;
    }
    width = static_cast<ILuint>(new_width);
    height = static_cast<ILuint>(new_height);
    return true;
}

bool devil::rescale(ILuint width, ILuint height, char* filter) {
    if (!rescaled_size(width, height)) {
        return false;
    }
    ILenum library_filter = filter_from_name(filter);
    iluImageParameter(ILU_FILTER, library_filter);
    colours_known = false;
    resample::job what;
    ILenum format = 0;
    if (own_filter(library_filter, what.how) && resamplable_here(what.from, format)) {
        what.width = width;
        what.height = height;
        return rescale_here(what, format);
    }
    return iluScale(width, height, 1) == IL_TRUE;
}

bool devil::resample_job(ILuint width, ILuint height, char* filter, resample::job& what) {
    if (!rescaled_size(width, height)) {
        return false;
    }
    ILenum library_filter = filter_from_name(filter);
    iluImageParameter(ILU_FILTER, library_filter);
    ILenum format = 0;
    what.width = width;
    what.height = height;
    bool own = own_filter(library_filter, what.how) && resamplable_here(what.from, format);
    what.red_first = format == IL_RGB;
    return own;
}

void devil::set_jpg_quality(int q) {
    if (static_cast<unsigned>(q) <= 100) {
        jpg_quality = q - 1;
    }
}

bool devil::save_file(ILuint rebind, const char* file, char* type, std::size_t type_size,
                      ILuint width, ILuint height, ILuint bytes, const void* pixels) {
    if (file == nullptr || *file == '\0') {
        return false;
    }
    ILenum il_type = type_from_extension(type);
    if (il_type == IL_TYPE_UNKNOWN) {
        // Later snapshots take their extension from the text, so it must say what was written.
        if (type != nullptr && type_size >= sizeof "bmp") {
            std::snprintf(type, type_size, "%s", "bmp");
        }
        il_type = IL_BMP;
    }
    if (pixels == nullptr || (bytes != 3 && bytes != 4) || !fits_library(width, height, bytes) ||
        width > largest_side(il_type) || height > largest_side(il_type)) {
        return false;
    }
    if (il_type == IL_TGA && tga_rle) {
        return tga_rle::save(file, width, height, bytes, pixels); // the library's is broken
    }
    if (il_type == IL_JPG) {
        // The library's own file, byte for byte, without its whole-image RGB copy.
        devil_internal::staged_file staged(file);
        std::FILE* stream = staged.stream();
        bool ok =
            stream != nullptr &&
            jpeg_writer::save(stream, width, height, bytes, pixels, std::max(jpg_quality, 0)) &&
            staged.commit();
        ilBindImage(rebind);
        return ok;
    }
    ILuint temporary = 0;
    ilGenImages(1, &temporary);
    ilBindImage(temporary);
    std::size_t byte_count = std::size_t{width} * height * bytes;
    if (reads_rows_in_place(il_type)) {
        platform::offer_block(const_cast<void*>(pixels), byte_count);
    }
    bool ok = ilTexImage(width, height, 1, static_cast<ILubyte>(bytes),
                         bytes == 3 ? IL_BGR : IL_BGRA, IL_UNSIGNED_BYTE, nullptr) == IL_TRUE;
    bool wrapped = platform::withdraw_offer() == nullptr && reads_rows_in_place(il_type);
    if (ok) {
        if (wrapped) {
            ilRegisterOrigin(IL_ORIGIN_UPPER_LEFT); // the caller's rows, top first
        } else {
            // The library keeps rows bottom first; every other format, TIF too, reads back
            // upright only when the top-first rows go in that order: one copy, no flip after.
            copy_rows_bottom_up(static_cast<const unsigned char*>(pixels), ilGetData(),
                                std::size_t{width} * bytes, height);
        }
        switch (il_type) {
        case IL_BMP:
            ilSetInteger(IL_BMP_RLE, bmp_rle ? 1 : 0);
            break;
        case IL_JPG:
            // The library refuses -1 (quality 0 handed over) and would keep an earlier value.
            ilSetInteger(IL_JPG_QUALITY, std::max(jpg_quality, 0));
            break;
        case IL_TGA:
            ilSetInteger(IL_TGA_RLE, tga_rle ? 1 : 0);
            break;
        default:
            break;
        }
        // Written through our own stream: the library reports success for some formats even
        // when the disk refused their bytes, but the stream keeps the error.
        devil_internal::staged_file staged(file);
        std::FILE* stream = staged.stream();
        clear_library_errors();
        ok = stream != nullptr && ilSaveF(il_type, stream) > 0 && !library_reported_file_error() &&
             (il_type != IL_TIF || bytes != 4 || tiff_alpha_mended(stream)) && staged.commit();
    }
    if (wrapped) {
        held = {hold::armed, pixels, byte_count}; // the caller's block: the library lets go only
    }
    ilDeleteImages(1, &temporary);
    held = {};
    ilBindImage(rebind);
    return ok;
}
