// A zoom's first part on the screen and the rest behind it: whatever waits for the whole sees
// the pixels of a whole-image rescale.
#include <cstring>
#include <set>
#include <tuple>

#include "config/settings.h"
#include "viewer_fixture.h"

namespace {

class Zoom : public ViewerFixture {
  protected:
    // The screen bitmap's pixels, waited for.
    static bytes shown_pixels(viewer_dialog& v) {
        displayed_image& image = *v.get_image();
        image.finish_rescale();
        const platform::bitmap_info& desc = image.get_bitmap_desc();
        bytes pixels(static_cast<std::size_t>(desc.width_bytes) * desc.height);
        image.get_screen_bitmap()->get_bits(static_cast<long>(pixels.size()), pixels.data());
        return pixels;
    }

    // The image as loaded, converted and rescaled whole by the wrapper to `width`.
    bytes whole_rescale(unsigned width) {
        ILuint name = library.create_image();
        EXPECT_TRUE(library.load_file(image_path.c_str(), nullptr));
        EXPECT_TRUE(library.convert_to_bgra());
        char filter[32];
        std::snprintf(filter, sizeof filter, "%s", viewer_settings.resize_filter);
        EXPECT_TRUE(library.rescale(width, 0, filter));
        bytes pixels(ilGetData(), ilGetData() + ilGetInteger(IL_IMAGE_SIZE_OF_DATA));
        library.delete_image(name);
        return pixels;
    }

    bytes snapshot_bytes(viewer_dialog& v, const char* name) {
        EXPECT_TRUE(v.take_snapshot_command());
        std::string written = dir.file("big.bmp");
        std::string kept = dir.file(name);
        EXPECT_EQ(std::rename(written.c_str(), kept.c_str()), 0);
        std::string data = test_support::read_file(kept);
        return bytes(data.begin(), data.end());
    }
};

// Taken while the rest is still to be made, being made, or made: the same file.
TEST_F(Zoom, SnapshotsDuringTheCompletionEqualOneAfterIt) {
    use_pattern("big.png", IL_PNG, 1500, 1100); // larger than the 1024 x 768 screen
    set_text_field(viewer_settings.snapshot_type, "bmp");
    bytes pending, running, after, shown;
    run({[&](viewer_dialog& v) {
        char filter[32];
        std::snprintf(filter, sizeof filter, "%s", viewer_settings.resize_filter);
        resample::area corner{100, 50, 400, 300};
        ASSERT_TRUE(v.get_image()->resize_image(1700, 0, filter, &corner));
        pending = snapshot_bytes(v, "pending.bmp");
        ASSERT_TRUE(v.get_image()->resize_image(1700, 0, filter, &corner));
        v.get_image()->complete_in_background();
        running = snapshot_bytes(v, "running.bmp");
        after = snapshot_bytes(v, "after.bmp");
        v.reset_zoom(false);
        v.zoom_step(true);
        shown = shown_pixels(v);
    }});
    ASSERT_FALSE(after.empty());
    EXPECT_TRUE(pending == after);
    EXPECT_TRUE(running == after);
    EXPECT_TRUE(shown == whole_rescale(static_cast<unsigned>(1500 + 128)));
}

// A held key: every step cancels the unfinished one before it and the last one is whole.
TEST_F(Zoom, HeldKeyEndsAtTheRightSizeWithTheWholeImage) {
    use_pattern("big.png", IL_PNG, 900, 700);
    const int steps = 9;
    bytes shown;
    int width = 0;
    run({[&](viewer_dialog& v) {
        for (int i = 0; i < steps; ++i) {
            v.zoom_step(true);
        }
        width = v.get_image()->get_bitmap_desc().width;
        shown = shown_pixels(v);
    }});
    EXPECT_EQ(width, 900 + steps * 128);
    EXPECT_TRUE(shown == whole_rescale(static_cast<unsigned>(width)));
}

// An 8-bit RGB (PNG) or BGR (TGA) image stays as loaded, three bytes a pixel; an RGBA one is
// only reordered. The screen, the readout, the colour count (made later, on a second thread or
// when asked) and a zoom all see the pixels of the file.
TEST_F(Zoom, ImagesKeptAsLoadedOrReorderedShowThePixelsOfTheFile) {
    const unsigned width = 300, height = 200;
    bytes bgr = pattern(width, height, 3);
    std::set<std::uint32_t> distinct;
    bytes bgra;
    for (std::size_t i = 0; i < bgr.size(); i += 3) {
        distinct.insert(bgr[i] | bgr[i + 1] << 8 | bgr[i + 2] << 16);
        bgra.insert(bgra.end(), {bgr[i], bgr[i + 1], bgr[i + 2], 255});
    }
    const std::tuple<const char*, ILenum, unsigned> files[] = {
        {"rgb.png", IL_PNG, 3}, {"bgr.tga", IL_TGA, 3}, {"rgba.png", IL_PNG, 4}};
    for (auto [name, type, channels] : files) {
        SCOPED_TRACE(name);
        use_image(name, encoded(type, width, height, channels == 3 ? bgr : bgra, channels));
        int bound_bytes = 0, colours = 0, shown_colours = 0;
        bytes loaded, zoomed;
        std::uint8_t first[4] = {}, last[4] = {};
        run({[&](viewer_dialog& v) {
            displayed_image& image = *v.get_image();
            bound_bytes = image.get_image_lib()->get_image_info().Bpp;
            loaded = shown_pixels(v);
            shown_colours = image.colours_shown();
            image.pixel_as_loaded(0, 0, first);
            image.pixel_as_loaded(width - 1, height - 1, last);
            v.zoom_step(true);
            zoomed = shown_pixels(v);
            colours = image.get_colors_used();
        }});
        EXPECT_EQ(bound_bytes, static_cast<int>(channels));
        EXPECT_TRUE(loaded == bgra);
        EXPECT_EQ(std::memcmp(first, &bgra[0], 4), 0);
        EXPECT_EQ(std::memcmp(last, &bgra[bgra.size() - 4], 4), 0);
        EXPECT_EQ(colours, static_cast<int>(distinct.size()));
        EXPECT_EQ(shown_colours, static_cast<int>(distinct.size()));
        EXPECT_TRUE(zoomed == whole_rescale(width + 128));
    }
}

} // namespace
