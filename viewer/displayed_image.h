// The record of the displayed image: the image library's bound image, the screen bitmap made
// from it, the style of the on-screen text panels and the snapshot options.
#pragma once

#include <IL/il.h>
#include <cstdint>
#include <memory>
#include <vector>

#include <string>

#include "platform/gdi.h"
#include "platform/window.h"
#include "tools/devil/devil.h"
#include "tools/tools.h"
#include "viewer/background_count.h"
#include "viewer/background_rescale.h"
#include "viewer/channel_view.h"
#include "viewer/pixel_readout.h"

// The size of the settings' snapshot type text.
constexpr std::size_t snapshot_type_size = 8;
// Panel texts are cut to this many bytes, terminator included.
constexpr std::size_t osd_text_size = 512;

// True when the type text holds only ASCII letters and digits (or nothing): a type that can
// never turn a snapshot's name into a path elsewhere.
bool snapshot_type_is_plain(const char* type);

class displayed_image {
  public:
    // Starts the image library and binds a new image; panel style and snapshot options take
    // their defaults (Tahoma 14, green on dark blue, transparent; no RLE; quality 99).
    displayed_image();
    ~displayed_image();
    displayed_image(const displayed_image&) = delete;
    displayed_image& operator=(const displayed_image&) = delete;

    // Loads the file (or the archive's member), records its facts as loaded, takes the mipmap
    // level chosen (the nearest there is), converts it to blue, green, red, alpha (8-bit red,
    // green, blue stays as loaded: the screen's pixels are widened from it) and makes the
    // screen bitmap; with `with_bitmap` false the bitmap is left to a rescale that follows at
    // once. False when any of that fails.
    bool load_image(const char* path, const char* archive, bool with_bitmap = true);
    // Makes the screen bitmap from the bound image in one copy. False, with no bitmap held,
    // when it cannot be made; the displayed size is then the bound image's.
    bool build_screen_bitmap();
    // True when the bound image is the one loaded from `path` (and `archive`) as it was
    // converted, and the file is in the same state: a zoom can start from it without a load.
    bool holds_loaded(const char* path, const char* archive) const;
    // Shows the bound image at its own size again. False when the bitmap cannot be made.
    bool show_loaded();
    // Rescales to width x height (a 0 side keeps the aspect ratio) into a new screen bitmap.
    // For an 8-bit BGRA image the bound image is left as loaded, the part `on_screen` of the
    // result (null: all of it) is made at once, the rest when complete_in_background starts it
    // on a second thread; everything needing the whole bitmap waits for it, and a new rescale
    // or load cancels it. Other
    // images are rescaled by the library, the bitmap made from the image as it stands when
    // the rescale fails. False when the rescale or the bitmap fails.
    bool resize_image(int width, int height, char* filter,
                      const resample::area* on_screen = nullptr);
    // Starts completing the bitmap on a second thread, once its first part is on the screen.
    bool complete_in_background() { return rest.start(); }
    // Waits until the screen bitmap is whole.
    void finish_rescale() { rest.finish(false); }

    // Copies the screen bitmap to (x, y) of `dc` as the channel view shows it; with no bitmap
    // the client area is painted plain black. The first paint after a rescale copies only the
    // part made at once.
    void blit(platform::device_context& dc, int x, int y);
    // The distinct pixel values of the shown image, counted as the library counts them.
    std::int32_t colours_shown();
    // Formats the text into osd_text and draws it character by character at x and y percent
    // of the window rectangle's size, in the panel font and colours.
    void draw_osd_text(platform::device_context& dc, const platform::rect& window_rect,
                       std::int32_t x_percent, std::int32_t y_percent, const char* format, ...)
        __attribute__((format(printf, 6, 7)));
    // The same with a finished text, drawn as it stands, at `pixel_height` when it is positive
    // instead of the height the text size gives.
    void draw_osd_finished_text(platform::device_context& dc, const platform::rect& window_rect,
                                std::int32_t x_percent, std::int32_t y_percent, const char* text,
                                int pixel_height = 0);
    // The pixel height of panel text at the current text size.
    int osd_pixel_height() const;
    // The box of each line of `text` that has characters, as draw_osd_finished_text would draw
    // it at `pixel_height`, top to bottom; none when the panel font cannot be made. Draws nothing.
    std::vector<platform::rect> osd_line_boxes(platform::device_context& dc,
                                               const platform::rect& window_rect,
                                               std::int32_t x_percent, std::int32_t y_percent,
                                               int pixel_height, const char* text) const;

    // Writes the displayed pixels (the zoomed image, no panels) as `name`: DDS through the
    // surface compressor, every other type through the image library, which may rewrite the
    // type text (lower case, "bmp" for an unknown type).
    bool take_snapshot(const char* name, char (&type)[snapshot_type_size], char* dds_format,
                       bool mipmaps);

    // The mipmap level shown, 0 for the base; the next load_image shows it.
    void set_mip_level(std::int32_t level) { mip_level = level; }
    std::int32_t get_mip_level() const { return mip_level; }
    // The size of the level shown, as loaded.
    std::int32_t get_level_width() const { return level_width; }
    std::int32_t get_level_height() const { return level_height; }

    // The pixel (x, y) of the level shown as loaded and converted, blue, green, red, alpha.
    // False when the bound image is no longer the one loaded or the point lies outside it.
    bool pixel_as_loaded(int x, int y, std::uint8_t (&bgra)[4]);

    // The level shown as loaded, for an image of more than 8 bits a channel (pixel_readout.h);
    // null for other images and once the bound image is no longer the one loaded.
    const stored_pixels* get_stored_pixels() const {
        return loaded_intact && !stored.empty() ? &stored : nullptr;
    }

    // What painting shows of the pixels; the screen bitmap keeps the colours.
    void set_channel_view(channel_view shown) { view = shown; }
    channel_view get_channel_view() const { return view; }

    void set_font_name(const char* name);
    void set_font_height(std::int32_t height);
    void set_font_color(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
    void set_back_color(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
    void set_transparent(std::uint8_t on);
    void set_tga_rle(std::uint8_t on);
    void set_bmp_rle(std::uint8_t on);
    void set_jpg_quality(std::int32_t quality);

    devil* get_image_lib() const { return image_lib.get(); }
    ILuint get_image_name() const { return image_name; }
    const ILinfo& get_info() const { return info; }
    const platform::bitmap* get_screen_bitmap() const { return screen_bitmap.get(); }
    const platform::bitmap_info& get_bitmap_desc() const { return bitmap_desc; }
    const char* get_osd_text() const { return osd_text; }
    const char* get_font_name() const { return font_name; }
    std::int32_t get_font_height() const { return font_height; }
    const std::uint8_t* get_font_color() const { return font_color; }
    const std::uint8_t* get_back_color() const { return back_color; }
    std::uint8_t get_transparent() const { return transparent; }
    std::int32_t get_mipmaps() const { return mipmaps; }
    // The distinct pixel values of the image as loaded, counted when first asked for.
    std::int32_t get_colors_used();
    // Starts that count on a second thread, for when the viewer is idle after a load.
    void count_colours_later();
    std::int32_t get_actual_width() const { return actual_width; }
    std::int32_t get_actual_height() const { return actual_height; }
    std::int32_t get_actual_bpp() const { return actual_bpp; }
    std::int32_t get_lib_version() const { return lib_version; }
    bool get_tga_rle() const { return tga_rle; }
    bool get_bmp_rle() const { return bmp_rle; }
    std::int32_t get_jpg_quality() const { return jpg_quality; }

  private:
    void show_chosen_mip_level();
    void count_colours_as_loaded();
    void draw_osd_characters(platform::device_context& dc, const platform::rect& window_rect,
                             std::int32_t x_percent, std::int32_t y_percent, int pixel_height);
    bool resize_in_parts(const resample::job& what, const resample::area* on_screen);

    std::unique_ptr<devil> image_lib;
    ILuint image_name = 0;
    ILinfo info{};
    std::unique_ptr<platform::bitmap> screen_bitmap;
    platform::bitmap_info bitmap_desc{};
    char osd_text[osd_text_size] = {};
    char font_name[32] = {};
    std::int32_t font_height = 0;
    std::uint8_t font_color[3] = {};
    std::uint8_t back_color[3] = {};
    std::uint8_t transparent = 0;
    std::int32_t mipmaps = 0;
    std::int32_t colors_used = 0;
    bool colours_pending = false;
    // The loaded image's pixels were at most reordered: its count is that of the image shown.
    bool count_serves_shown = false;
    background_count colour_counting;
    std::int32_t actual_width = 0;
    std::int32_t actual_height = 0;
    std::int32_t actual_bpp = 0;
    std::int32_t lib_version = 0;
    bool tga_rle = false;
    bool bmp_rle = false;
    std::int32_t jpg_quality = 0;
    channel_view view = channel_view::colour;
    std::int32_t mip_level = 0;
    std::int32_t level_width = 0;
    std::int32_t level_height = 0;
    // The wide values of the level loaded, which the conversion to 8 bits loses.
    stored_pixels stored;

    // The loaded image, kept bound at its size while zooms are made from it.
    bool loaded_intact = false;
    file_state loaded_state;
    std::string loaded_path, loaded_archive;
    // A bitmap made by parts: what was made first, whether it is yet to be painted, the rest
    // and the colours of the whole (-1 until counted).
    bool made_in_parts = false;
    resample::area made_first;
    bool first_paint_pending = false;
    background_rescale rest;
    std::int64_t colours_of_parts = -1;
};
