#include "platform/message_window.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/framework.h"

namespace platform {

namespace {

constexpr int padding = 14;
constexpr int line_gap = 2;
constexpr int button_width = 88;
constexpr int button_height = 26;
constexpr int smallest_width = 240;
constexpr colour_ref face_colour = rgb(240, 240, 240);
constexpr colour_ref text_colour = rgb(0, 0, 0);
constexpr colour_ref button_border = rgb(112, 112, 112);
constexpr colour_ref button_face = rgb(225, 225, 225);
constexpr char button_label[] = "OK";

// The text's lines; a final line break ends the last line rather than starting an empty one.
std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return lines;
}

// Fills the part of `area` (context coordinates) that the surface holds.
void fill(const surface& s, const rect& area, colour_ref colour) {
    const std::uint32_t pixel = (colour & 0xFF) << 16 | (colour & 0xFF00) | (colour >> 16 & 0xFF);
    int left = std::max(area.left - s.left, 0);
    int top = std::max(area.top - s.top, 0);
    int right = std::min(area.right - s.left, s.width);
    int bottom = std::min(area.bottom - s.top, s.height);
    for (int y = top; y < bottom; ++y) {
        auto* row =
            reinterpret_cast<std::uint32_t*>(s.pixels + static_cast<std::ptrdiff_t>(y) * s.pitch);
        std::fill(row + left, row + std::max(right, left), pixel);
    }
}

int text_width(device_context& dc, std::string_view line) {
    size extent;
    dc.text_extent(line.data(), static_cast<int>(line.size()), extent);
    return extent.cx;
}

class message_window : public dialog {
  public:
    message_window(const window_description& description, std::vector<std::string_view> lines,
                   const font& face, const rect& button)
        : dialog(description), lines(std::move(lines)), face(face), button(button) {}

  protected:
    bool pre_translate_message(const message& m) override {
        bool answers = m.id == wm_keydown &&
                       (m.wparam == vk_return || m.wparam == vk_escape || m.wparam == vk_space);
        if (answers) {
            end_dialog(id_ok);
        }
        return answers;
    }

    std::span<const message_entry> message_table() const override {
        static constexpr message_entry rows[] = {
            {wm_paint, handle<message_window, &message_window::on_paint>},
            {wm_lbuttondown, handle<message_window, &message_window::on_left_button>},
        };
        return rows;
    }

  private:
    void on_paint(const message&) {
        paint_context paint(*get_window());
        device_context& dc = paint.dc();
        rect client = get_window()->client_rect();
        fill(dc.target(), client, face_colour);
        dc.select_font(&face);
        dc.set_background_mode(background_mode::transparent);
        dc.set_text_colour(text_colour);
        int step = face.cell_height() + line_gap;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            dc.text_out(padding, padding + static_cast<int>(i) * step, lines[i].data(),
                        static_cast<int>(lines[i].size()));
        }
        fill(dc.target(), button, button_border);
        fill(dc.target(), {button.left + 1, button.top + 1, button.right - 1, button.bottom - 1},
             button_face);
        int label_width = text_width(dc, button_label);
        dc.text_out(button.left + (button.width() - label_width) / 2,
                    button.top + (button.height() - face.cell_height()) / 2, button_label,
                    static_cast<int>(std::strlen(button_label)));
    }

    void on_left_button(const message& m) {
        int x = static_cast<std::int16_t>(m.lparam & 0xFFFF);
        int y = static_cast<std::int16_t>(m.lparam >> 16 & 0xFFFF);
        if (x >= button.left && x < button.right && y >= button.top && y < button.bottom) {
            end_dialog(id_ok);
        }
    }

    std::vector<std::string_view> lines;
    const font& face;
    rect button;
};

} // namespace

int run_message_window(const char* text, const char* caption) {
    log_font description{-13, fw_normal, out_tt_only_precis, 0, "Tahoma"};
    std::unique_ptr<font> face = font::create(description);
    if (face == nullptr) {
        return id_ok;
    }
    std::vector<std::string_view> lines = split_lines(text != nullptr ? text : "");
    // Measured on a context with no pixels: only the font's widths are read.
    device_context measure(surface{});
    measure.select_font(face.get());
    int widest = 0;
    for (std::string_view line : lines) {
        widest = std::max(widest, text_width(measure, line));
    }
    int screen_width = system_metric(metric::screen_width);
    int screen_height = system_metric(metric::screen_height);
    int width = std::clamp(widest + 2 * padding, smallest_width, std::max(screen_width, 1));
    int text_height = static_cast<int>(lines.size()) * (face->cell_height() + line_gap);
    int height = padding + text_height + padding + button_height + padding;
    int caption_height = system_metric(metric::caption_height);
    rect button{(width - button_width) / 2, height - padding - button_height,
                (width + button_width) / 2, height - padding};
    window_description box{ws_popup | ws_visible | ws_caption | ws_sysmenu,
                           ws_ex_topmost,
                           caption != nullptr ? caption : "",
                           std::max((screen_width - width) / 2, 0),
                           std::max((screen_height - height - caption_height) / 2, 0),
                           width,
                           height + caption_height,
                           nullptr,
                           0};
    message_window window(box, std::move(lines), *face, button);
    window.do_modal();
    return id_ok;
}

} // namespace platform
