#include "viewer/displayed_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tools/devil/bgra_pixels.h"
#include "tools/devil/colour_count.h"
#include "tools/tools.h"
#include "viewer/mip_levels.h"

namespace {

constexpr const char* default_font_name = "Tahoma";
constexpr std::int32_t default_font_height = 14;

// An 8-bit red, green, blue (or blue, green, red) image, kept as loaded.
bool three_bytes(const ILinfo& image) {
    return image.Bpp == 3 && image.Type == IL_UNSIGNED_BYTE &&
           (image.Format == IL_RGB || image.Format == IL_BGR) && image.Data != nullptr;
}

// The screen's blue, green, red, alpha rows from such an image.
void widen_rows(const ILinfo& image, const platform::surface& to) {
    const std::size_t row_bytes = std::size_t{image.Width} * 3;
    for (ILuint row = 0; row < image.Height; ++row) {
        devil_internal::three_bytes_to_bgra(image.Data + row_bytes * row,
                                            to.pixels + static_cast<std::size_t>(to.pitch) * row,
                                            image.Width, image.Format == IL_RGB);
    }
}

} // namespace

displayed_image::displayed_image() : image_lib(std::make_unique<devil>()) {
    image_name = image_lib->create_image();
    std::memset(font_name, 0, sizeof font_name);
    set_font_name(default_font_name);
    set_font_height(default_font_height);
    set_font_color(0, 255, 0);
    set_back_color(0, 0, 64);
    set_transparent(true);
    tga_rle = false;
    image_lib->set_tga_rle(tga_rle);
    bmp_rle = false;
    image_lib->set_bmp_rle(bmp_rle);
    jpg_quality = 99;
    image_lib->set_jpg_quality(jpg_quality);
}

displayed_image::~displayed_image() {
    colour_counting.forget(); // it reads the bound image
    rest.finish(true);        // it reads the bound image and writes the bitmap
    if (image_name != 0) {
        image_lib->delete_image(image_name);
    }
    image_lib.reset();
    screen_bitmap.reset();
}

bool displayed_image::load_image(const char* path, const char* archive, bool with_bitmap) {
    if (path == nullptr || path[0] == '\0' || !file_exists(path, archive)) {
        return false;
    }
    // Made anew from the loaded image below: the old bitmap would only sit beside the image
    // that the load puts in its place.
    colour_counting.forget();
    rest.finish(true);
    screen_bitmap.reset();
    loaded_intact = false;
    file_state state = state_of_file(archive != nullptr ? archive : path);
    if (!image_lib->load_file(path, archive)) {
        return false;
    }
    actual_width = image_lib->get_width();
    actual_height = image_lib->get_height();
    actual_bpp = image_lib->get_bits_per_pixel();
    mipmaps = image_lib->get_mipmap_count();
    lib_version = image_lib->get_library_version();
    // Counted when first asked for, from the image kept as loaded or only reordered; counted
    // now when a mipmap level or a conversion that changes the values is to take its place.
    colours_pending = true;
    show_chosen_mip_level();
    keep_stored_pixels(stored);
    count_serves_shown = mip_level == 0 && image_lib->converts_keeping_colour_count();
    if (!count_serves_shown) {
        count_colours_as_loaded();
    }
    if (!image_lib->shows_three_bytes()) {
        image_lib->convert_to_bgra(); // on failure the bitmap is made from the pixels as they are
    }
    if (image_lib->rescales_in_place_of_library()) {
        // Every zoom starts from the bound image, which stays as loaded: the decoding child's
        // copy of it would only double it.
        image_lib->forget_kept_decode();
    }
    loaded_intact = true;
    loaded_state = state;
    loaded_path = path;
    loaded_archive = archive != nullptr ? archive : "";
    return !with_bitmap || build_screen_bitmap();
}

std::int32_t displayed_image::get_colors_used() {
    if (colours_pending && loaded_intact) {
        count_colours_as_loaded();
    }
    return colors_used;
}

void displayed_image::count_colours_as_loaded() {
    std::uint32_t counted = 0;
    if (colour_counting.take(counted) && colours_pending) {
        colors_used = static_cast<std::int32_t>(counted);
        colours_pending = false;
    }
    if (colours_pending) {
        colors_used = static_cast<std::int32_t>(image_lib->get_colours_used());
        colours_pending = false;
    }
}

void displayed_image::count_colours_later() {
    if (!colours_pending || !loaded_intact) {
        return;
    }
    ILinfo bound = image_lib->get_image_info();
    if (bound.Data != nullptr) {
        colour_counting.start(bound.Data, bound.SizeOfData, bound.Bpp);
    }
}

// A level the file does not have becomes its smallest; the base when it has none.
void displayed_image::show_chosen_mip_level() {
    mip_level = std::clamp(mip_level, 0, std::max(mipmaps, 0));
    if (mip_level > 0) {
        count_colours_as_loaded(); // of the base level, which the chosen level replaces
    }
    if (mip_level > 0 && !make_mip_level_the_image(image_name, mip_level)) {
        mip_level = 0;
    }
    level_width = mip_level > 0 ? image_lib->get_width() : actual_width;
    level_height = mip_level > 0 ? image_lib->get_height() : actual_height;
}

bool displayed_image::holds_loaded(const char* path, const char* archive) const {
    if (!loaded_intact || !loaded_state.known || path == nullptr || loaded_path != path ||
        loaded_archive != (archive != nullptr ? archive : "")) {
        return false;
    }
    return state_of_file(archive != nullptr ? archive : path) == loaded_state;
}

bool displayed_image::pixel_as_loaded(int x, int y, std::uint8_t (&bgra)[4]) {
    if (!loaded_intact) {
        return false;
    }
    ILinfo bound = image_lib->get_image_info();
    if (bound.Data == nullptr || (bound.Bpp != 4 && !three_bytes(bound)) || x < 0 || y < 0 ||
        static_cast<ILuint>(x) >= bound.Width || static_cast<ILuint>(y) >= bound.Height) {
        return false;
    }
    const unsigned char* at = bound.Data + (std::size_t{bound.Width} * y + x) * bound.Bpp;
    if (bound.Bpp == 4) {
        std::memcpy(bgra, at, 4);
    } else {
        devil_internal::three_bytes_to_bgra(at, bgra, 1, bound.Format == IL_RGB);
    }
    return true;
}

bool displayed_image::show_loaded() {
    rest.finish(true);
    return build_screen_bitmap();
}

bool displayed_image::build_screen_bitmap() {
    made_in_parts = false;
    first_paint_pending = false;
    info = image_lib->get_image_info();
    screen_bitmap.reset(); // never show a stale bitmap
    if (three_bytes(info)) {
        screen_bitmap = platform::bitmap::create(static_cast<int>(info.Width),
                                                 static_cast<int>(info.Height), 1, 32, nullptr);
        if (screen_bitmap != nullptr) {
            widen_rows(info, screen_bitmap->pixels());
        }
    } else {
        screen_bitmap =
            platform::bitmap::create(static_cast<int>(info.Width), static_cast<int>(info.Height), 1,
                                     info.Bpp * 8, info.Data);
    }
    if (screen_bitmap == nullptr) {
        bitmap_desc = {0,
                       static_cast<std::int32_t>(info.Width),
                       static_cast<std::int32_t>(info.Height),
                       0,
                       1,
                       32,
                       nullptr};
        return false;
    }
    bitmap_desc = screen_bitmap->describe();
    return true;
}

// The bitmap goes before the rescale, which holds the image at both sizes for a while; it is
// then made from whatever the rescale leaves bound, the image as it was when it failed.
bool displayed_image::resize_image(int width, int height, char* filter,
                                   const resample::area* on_screen) {
    rest.finish(true);
    screen_bitmap.reset();
    resample::job what;
    if (image_lib->resample_job(static_cast<ILuint>(width), static_cast<ILuint>(height), filter,
                                what) &&
        (what.from.channels == 4 || what.from.channels == 3)) {
        what.to_bgra = what.from.channels == 3;
        return resize_in_parts(what, on_screen);
    }
    count_colours_as_loaded(); // the library's rescale takes the loaded image's place
    bool rescaled =
        image_lib->rescale(static_cast<ILuint>(width), static_cast<ILuint>(height), filter);
    loaded_intact = loaded_intact && !rescaled;
    return build_screen_bitmap() && rescaled;
}

// The on-screen part straight into the new bitmap, the rest behind it; the bound image stays
// as loaded for the next zoom.
bool displayed_image::resize_in_parts(const resample::job& what, const resample::area* on_screen) {
    std::unique_ptr<platform::bitmap> made = platform::bitmap::create(
        static_cast<int>(what.width), static_cast<int>(what.height), 1, 32, nullptr);
    if (made == nullptr) {
        build_screen_bitmap();
        return false;
    }
    platform::surface pixels = made->pixels();
    auto stride = static_cast<std::size_t>(pixels.pitch);
    resample::area first{0, 0, what.width, what.height};
    if (on_screen != nullptr && on_screen->x < what.width && on_screen->y < what.height &&
        on_screen->width > 0 && on_screen->height > 0) {
        first = {on_screen->x, on_screen->y, std::min(on_screen->width, what.width - on_screen->x),
                 std::min(on_screen->height, what.height - on_screen->y)};
    }
    unsigned char* corner = pixels.pixels + stride * first.y + std::size_t{first.x} * 4;
    if (!resample::rescale_part(what, first, corner, stride)) {
        build_screen_bitmap();
        return false;
    }
    screen_bitmap = std::move(made);
    bitmap_desc = screen_bitmap->describe();
    info = image_lib->get_image_info();
    info.Width = what.width;
    info.Height = what.height;
    info.Data = nullptr; // the pixels are the bitmap's
    info.SizeOfData = what.width * what.height * 4;
    made_in_parts = true;
    made_first = first;
    colours_of_parts = -1;
    rest.prepare(what, first, pixels.pixels, stride);
    first_paint_pending = rest.pending();
    return true;
}

std::int32_t displayed_image::colours_shown() {
    if (!made_in_parts && loaded_intact && count_serves_shown) {
        return get_colors_used(); // the image shown is the image as loaded, reordered at most
    }
    if (!made_in_parts || screen_bitmap == nullptr) {
        return static_cast<std::int32_t>(image_lib->get_colours_used());
    }
    rest.finish(false);
    if (colours_of_parts < 0) {
        platform::surface pixels = screen_bitmap->pixels();
        std::uint32_t count = 0;
        std::size_t bytes = static_cast<std::size_t>(pixels.pitch) * pixels.height;
        bool counted = pixels.pitch == pixels.width * 4 &&
                       devil_internal::count_distinct_values(pixels.pixels, bytes, 4, count);
        colours_of_parts = counted ? count : 0;
    }
    return static_cast<std::int32_t>(colours_of_parts);
}

void displayed_image::blit(platform::device_context& dc, int x, int y) {
    if (screen_bitmap == nullptr) {
        platform::surface plain = dc.target();
        for (int row = 0; row < plain.height; ++row) {
            std::memset(plain.pixels + static_cast<std::size_t>(row) * plain.pitch, 0,
                        static_cast<std::size_t>(plain.width) * 4);
        }
        return;
    }
    std::unique_ptr<platform::device_context> memory =
        platform::device_context::create_compatible(dc);
    platform::bitmap* previous = memory->select_bitmap(screen_bitmap.get());
    if (first_paint_pending && rest.pending()) {
        // The rest is being written beside this part, which is all the screen shows.
        first_paint_pending = false;
        const resample::area& part = made_first;
        platform::bit_blt(dc, x + static_cast<int>(part.x), y + static_cast<int>(part.y),
                          static_cast<int>(part.width), static_cast<int>(part.height), *memory,
                          static_cast<int>(part.x), static_cast<int>(part.y));
        memory->select_bitmap(previous);
        show_channel_view(view, dc.target(), x + static_cast<int>(part.x),
                          y + static_cast<int>(part.y), static_cast<int>(part.width),
                          static_cast<int>(part.height), x, y);
        return;
    }
    first_paint_pending = false;
    rest.finish(false);
    platform::bit_blt(dc, x, y, bitmap_desc.width, bitmap_desc.height, *memory, 0, 0);
    memory->select_bitmap(previous);
    show_channel_view(view, dc.target(), x, y, bitmap_desc.width, bitmap_desc.height, x, y);
}

void displayed_image::set_font_name(const char* name) {
    std::memset(font_name, 0, sizeof font_name);
    // A name too long for the field is refused rather than cut, as a cut name is another font.
    if (name == nullptr || name[0] == '\0' || std::strlen(name) >= sizeof font_name) {
        name = default_font_name;
    }
    std::memcpy(font_name, name, std::strlen(name));
}

void displayed_image::set_font_height(std::int32_t height) {
    font_height = height == 0 ? default_font_height : height;
}

void displayed_image::set_font_color(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    font_color[0] = red;
    font_color[1] = green;
    font_color[2] = blue;
}

void displayed_image::set_back_color(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    back_color[0] = red;
    back_color[1] = green;
    back_color[2] = blue;
}

void displayed_image::set_transparent(std::uint8_t on) {
    transparent = on;
}

void displayed_image::set_tga_rle(std::uint8_t on) {
    tga_rle = on != 0;
}

void displayed_image::set_bmp_rle(std::uint8_t on) {
    bmp_rle = on != 0;
}

void displayed_image::set_jpg_quality(std::int32_t quality) {
    if (quality >= 0 && quality <= 100) {
        jpg_quality = quality - 1;
    }
}
