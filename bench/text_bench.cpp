// text_bench: one on-screen panel drawn the way the viewer draws it. The font is made, each of
// about 300 characters is drawn with text_out and measured with text_extent on its own, and the
// font is released. The first font pays for fontconfig and the match, the first panel for the
// glyphs; later panels show what a repaint costs.
//
// Usage: text_bench [panels] (default 200)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/fonts.h"
#include "platform/gdi.h"

namespace {

const char panel_text[] = "Hot key bindings\n----\n\nZoom in: ADD\nZoom out: SUBTRACT\n"
                          "Reset zoom: MULTIPLY, RIGHT-CLICK\n\nTop left layout: NUMPAD7\n"
                          "Top right layout: NUMPAD9\nBottom left layout: NUMPAD1\n"
                          "Bottom right layout: NUMPAD3\n\nDisplay program's info (toggle): F1\n"
                          "\nNB: you can also close this program by right-clicking straight on "
                          "the texture\nInformation about \"caf\xE9 wall.dds\" 512x512 32bpp";

platform::log_font panel_font() {
    platform::log_font description;
    description.height = -platform::mul_div(14, 96, 72);
    description.weight = platform::fw_normal;
    description.out_precision = platform::out_tt_only_precis;
    description.quality = platform::cleartype_quality;
    std::strcpy(description.face_name, "Tahoma");
    return description;
}

// One panel as draw_osd_text lays it out; returns the characters drawn.
int draw_panel(platform::device_context& dc, bool transparent) {
    auto font = platform::font::create(panel_font());
    if (!font) {
        return 0;
    }
    const platform::font* previous = dc.select_font(font.get());
    dc.set_background_mode(transparent ? platform::background_mode::transparent
                                       : platform::background_mode::opaque);
    dc.set_background_colour(platform::rgb(0, 0, 64));
    dc.set_text_colour(platform::rgb(0, 255, 0));
    int drawn = 0;
    int dx = -15;
    int y = 10;
    for (const char* c = panel_text; *c; ++c) {
        if (*c == '\n') {
            dx = -15;
            y += 19 + 5;
            continue;
        }
        dc.text_out(60 + dx, y, c, 1);
        platform::size extent;
        dc.text_extent(c, 1, extent);
        dx += extent.cx;
        ++drawn;
    }
    dc.select_font(previous);
    return drawn;
}

double milliseconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

int main(int argc, char** argv) {
    const int panels = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    std::vector<std::uint32_t> pixels(640 * 480, 0x00808080);
    platform::device_context dc({reinterpret_cast<std::uint8_t*>(pixels.data()), 640, 480, 2560});

    auto start = std::chrono::steady_clock::now();
    auto font = platform::font::create(panel_font());
    const double first_font = milliseconds_since(start);
    if (!font) {
        std::puts("no font could be made");
        return 1;
    }
    start = std::chrono::steady_clock::now();
    const int characters = draw_panel(dc, false);
    const double first_panel = milliseconds_since(start);
    for (bool transparent : {false, true}) {
        std::vector<double> times;
        for (int i = 0; i < panels; ++i) {
            start = std::chrono::steady_clock::now();
            draw_panel(dc, transparent);
            times.push_back(milliseconds_since(start));
        }
        std::sort(times.begin(), times.end());
        std::printf(
            "%s panel, %d characters: median %.3f ms, 99th percentile %.3f ms (%d panels)\n",
            transparent ? "transparent" : "opaque", characters, times[times.size() / 2],
            times[times.size() * 99 / 100], panels);
    }
    std::printf("first font (fontconfig start-up, match, face): %.3f ms\n", first_font);
    std::printf("first panel (glyphs rendered): %.3f ms\n", first_panel);
    std::printf("font: %s (%s), em %d px, ascent %d, descent %d\n", font->face().family().c_str(),
                font->face().file().c_str(), font->face().em_pixels(), font->ascent(),
                font->descent());
    return 0;
}
