// Drawing: 32-bit bitmaps, device contexts, block copies, fonts and text, icons. Shared by both
// backends; a device context draws into a surface, which is a window's frame or a bitmap.
//
// Pixels are 32 bits, bytes blue, green, red, unused (alpha), rows top first: what the image
// library delivers after its conversion to BGRA and what an XRGB8888 window surface holds.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/pixel_memory.h"

namespace platform {

// Pixels that a device context draws into; `pitch` is bytes per row. The pixels may hold only
// part of what the context addresses: their first one is at (left, top) in its coordinates, and
// drawing outside them is clipped away (a window's frame holds only what lies on a display).
struct surface {
    std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int pitch = 0;
    int left = 0;
    int top = 0;
};

// Red in the low byte, then green, then blue.
using colour_ref = std::uint32_t;
constexpr colour_ref rgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return red | green << 8 | static_cast<colour_ref>(blue) << 16;
}

// The nearest integer to a * b / c, computed in 64 bits; -1 when c is 0.
int mul_div(int a, int b, int c);

// The character that starts `text` (of `available` bytes, at least 1) and the bytes it takes: a
// well-formed UTF-8 sequence gives its code point, any other byte stands for itself (Latin-1)
// and takes one byte, so that a name in another encoding still shows every byte.
char32_t next_character(const char* text, std::size_t available, std::size_t& used);

struct size {
    int cx = 0;
    int cy = 0;
};

// A bitmap's description: type (0), width, height, bytes per row, planes, bits per pixel, bits.
struct bitmap_info {
    std::int32_t type;
    std::int32_t width;
    std::int32_t height;
    std::int32_t width_bytes;
    std::uint16_t planes;
    std::uint16_t bits_pixel;
    void* bits;
};

// Bitmaps are at most this many pixels a side and this many pixels in all.
constexpr int bitmap_max_side = 32767;
constexpr std::uint64_t bitmap_max_bytes = 1ull << 30;

class bitmap {
  public:
    // A bitmap of width x height pixels made from `pixels` (rows top first, width x 4 bytes
    // each) in one copy; null pixels give a black bitmap. Null when planes is not 1, bits per
    // pixel is not 32, a side is below 1 or above bitmap_max_side, the pixels need more than
    // bitmap_max_bytes (nothing is allocated then), or memory is short.
    static std::unique_ptr<bitmap> create(int width, int height, int planes, int bits_per_pixel,
                                          const void* pixels);

    // Whether a 32-bit bitmap of width x height is within the limits above.
    static bool size_possible(std::int64_t width, std::int64_t height);

    bitmap_info describe() const;
    // Copies at most `count` bytes of the pixels into `out`; returns the bytes copied.
    long get_bits(long count, void* out) const;
    surface pixels();

  private:
    bitmap(int width, int height);
    int width;
    int height;
    std::unique_ptr<std::uint8_t[], pixel_deleter> bits;
};

// The font description a panel fills: a negative height is the em height in pixels, a positive
// one the cell height (ascent + descent), 0 a default of 16 pixels.
struct log_font {
    std::int32_t height = 0;
    std::int32_t weight = 0;
    std::uint8_t out_precision = 0; // 7: outline (TrueType) fonts only
    std::uint8_t quality = 0;
    char face_name[32] = {};
};

constexpr std::int32_t fw_normal = 400;
constexpr std::uint8_t out_tt_only_precis = 7;
constexpr std::uint8_t cleartype_quality = 5;

class font_face; // the rendered face, private to the drawing code (platform/fonts.h)

class font {
  public:
    // Matches the face name through fontconfig (the system's best substitute when the name is
    // unknown; outline fonts only) and opens it with FreeType at the height asked for. Null
    // when no font can be had.
    static std::unique_ptr<font> create(const log_font& description);
    ~font();
    font(const font&) = delete;
    font& operator=(const font&) = delete;

    int ascent() const;
    int descent() const;
    // Ascent plus descent: the height of a character cell.
    int cell_height() const;
    // The advance width of one character (a code point).
    int advance(char32_t character) const;

    font_face& face() const { return *rendered; }

  private:
    explicit font(std::unique_ptr<font_face> face);
    std::unique_ptr<font_face> rendered;
};

// A small picture drawn opaque, made from blue, green, red pixels, rows top first.
class icon {
  public:
    icon(int width, int height, const std::uint8_t* bgr);
    int width() const { return side_x; }
    int height() const { return side_y; }
    const std::vector<std::uint32_t>& pixels() const { return argb; }

  private:
    int side_x;
    int side_y;
    std::vector<std::uint32_t> argb; // 0x00RRGGBB
};

enum class background_mode { transparent = 1, opaque = 2 };

class device_context {
  public:
    // Draws into `target`; a paint context of a window.
    explicit device_context(surface target);
    // A memory context that draws into whichever bitmap is selected into it.
    static std::unique_ptr<device_context> create_compatible(const device_context& other);

    // Each returns what was selected before (null at first).
    bitmap* select_bitmap(bitmap* selected);
    const font* select_font(const font* selected);

    background_mode set_background_mode(background_mode mode);
    colour_ref set_background_colour(colour_ref colour);
    colour_ref set_text_colour(colour_ref colour);
    background_mode background() const { return mode; }

    // Draws `count` characters with the cell's top-left at (x, y): in opaque mode the cells are
    // first filled with the background colour; glyphs are grey-scale anti-aliased and blended
    // in the text colour. Each character changes only its own cell (advance x cell height),
    // clipped to the surface. Text is UTF-8; a byte that starts no valid sequence is a Latin-1
    // character of its own. False without a font.
    bool text_out(int x, int y, const char* text, int count);
    // The advance widths of the characters summed, and the cell height. False without a font.
    bool text_extent(const char* text, int count, size& out) const;
    bool draw_icon(int x, int y, const icon& picture);
    // Vertical dots per inch.
    int logical_pixels_y() const { return 96; }

    surface target() const;

  private:
    surface own_target{};
    bool is_memory = false;
    bitmap* selected_bitmap = nullptr;
    const font* selected_font = nullptr;
    background_mode mode = background_mode::opaque;
    colour_ref background_colour = rgb(255, 255, 255);
    colour_ref text_colour = rgb(0, 0, 0);
};

// Copies a width x height block from (source_x, source_y) of `source` to (x, y) of
// `destination`, row by row, clipped to both surfaces. False when either has no surface.
bool bit_blt(device_context& destination, int x, int y, int width, int height,
             const device_context& source, int source_x, int source_y);

} // namespace platform
