// A window on the desktop backend for the end-to-end tests: placed, painted with a given bitmap
// and a line of text, dragged with the left button, ended with Escape.
//
//   platform_probe X Y WIDTH HEIGHT CAPTION PICTURE PICTURE_WIDTH PICTURE_HEIGHT
//
// The outer rectangle is X, Y, WIDTH x HEIGHT, with a caption bar when CAPTION is 1. PICTURE is
// raw blue, green, red, unused bytes, drawn at the client's top-left; the text goes below it.
// Prints "text X Y WIDTH HEIGHT" (its cell in client coordinates) on the first paint, the
// caption height when Escape is pressed, and the dialog's result at the end.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/framework.h"

using namespace platform;

namespace {

constexpr char text[] = "Glintview";
constexpr int text_length = sizeof text - 1;
constexpr colour_ref text_colour = rgb(255, 255, 0);
constexpr colour_ref text_background = rgb(0, 0, 255);

struct placement {
    int x;
    int y;
    int width;
    int height;
};

class probe_dialog : public dialog {
  public:
    probe_dialog(const window_description& description, placement outer, bitmap& picture,
                 const font& face)
        : dialog(description), outer(outer), picture(picture), face(face),
          window_icon(32, 32, icon_pixels().data()) {}

  protected:
    bool on_init_dialog() override {
        get_window()->set_icon(&window_icon, true);
        get_window()->set_window_pos(outer.x, outer.y, outer.width, outer.height);
        return true;
    }

    bool pre_translate_message(const message& m) override {
        if (m.id == wm_keydown && m.wparam == vk_escape) {
            std::printf("caption %d\n", system_metric(metric::caption_height));
        }
        if (m.id == wm_keydown && m.wparam == vk_space) {
            rect at = get_window()->window_rect();
            std::printf("at %d %d %d %d\n", at.left, at.top, at.width(), at.height());
            std::fflush(stdout);
        }
        return dialog::pre_translate_message(m);
    }

    std::span<const message_entry> message_table() const override {
        static constexpr message_entry rows[] = {
            {wm_paint, handle<probe_dialog, &probe_dialog::on_paint>},
            {wm_lbuttondown, handle<probe_dialog, &probe_dialog::on_left_button>},
        };
        return rows;
    }

  private:
    static std::vector<std::uint8_t> icon_pixels() {
        return std::vector<std::uint8_t>(32 * 32 * 3, 200);
    }

    // Reports the text's cell once what was drawn is on the screen.
    void on_paint(const message&) {
        int text_top = picture.describe().height;
        size extent;
        {
            paint_context paint(*get_window());
            draw(paint.dc(), text_top);
            paint.dc().text_extent(text, text_length, extent);
        }
        if (!text_reported) {
            std::printf("text 0 %d %d %d\n", text_top, extent.cx, extent.cy);
            std::fflush(stdout);
            text_reported = true;
        }
    }

    void draw(device_context& dc, int text_top) {
        auto memory = device_context::create_compatible(dc);
        memory->select_bitmap(&picture);
        bit_blt(dc, 0, 0, picture.describe().width, text_top, *memory, 0, 0);
        dc.select_font(&face);
        dc.set_background_mode(background_mode::opaque);
        dc.set_background_colour(text_background);
        dc.set_text_colour(text_colour);
        dc.text_out(0, text_top, text, text_length);
    }

    void on_left_button(const message&) { get_window()->begin_move_drag(); }

    placement outer;
    bitmap& picture;
    const font& face;
    icon window_icon;
    bool text_reported = false;
};

std::unique_ptr<bitmap> read_picture(const char* path, int width, int height) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    if (bytes.size() != static_cast<std::size_t>(width) * height * 4) {
        return nullptr;
    }
    return bitmap::create(width, height, 1, 32, bytes.data());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 9) {
        std::fprintf(stderr, "usage: platform_probe X Y W H CAPTION PICTURE PW PH\n");
        return 64;
    }
    placement outer{std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4])};
    bool caption = std::atoi(argv[5]) != 0;
    auto picture = read_picture(argv[6], std::atoi(argv[7]), std::atoi(argv[8]));
    log_font description{-19, fw_normal, out_tt_only_precis, 0, "DejaVu Sans"};
    auto face = font::create(description);
    if (picture == nullptr || face == nullptr) {
        std::fprintf(stderr, "no picture or no font\n");
        return 65;
    }
    // Made small at the origin; on_init_dialog places it, as the viewer does.
    window_description window{ws_popup | ws_visible | (caption ? ws_caption | ws_sysmenu : 0),
                              ws_ex_topmost | ws_ex_appwindow,
                              "Glintview probe",
                              0,
                              0,
                              100,
                              100,
                              nullptr,
                              0};
    probe_dialog probe(window, outer, *picture, *face);
    int result = probe.do_modal();
    std::printf("result %d\n", result);
    return result == id_cancel ? 0 : 1;
}
