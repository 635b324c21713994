#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

#include "e2e_support.h"
#include "test_support.h"

using test_support::read_file;
using test_support::scratch_dir;
using test_support::write_file;

namespace {

constexpr int picture_width = 64;
constexpr int picture_height = 48;
using rgb = std::array<int, 3>;

rgb picture_pixel(int x, int y) {
    return {x * y & 255, y * 5, x * 4};
}

// The picture the probe draws, as blue, green, red, unused bytes.
std::string picture_bytes() {
    std::string bytes;
    for (int y = 0; y < picture_height; ++y) {
        for (int x = 0; x < picture_width; ++x) {
            rgb pixel = picture_pixel(x, y);
            bytes += {char(pixel[2]), char(pixel[1]), char(pixel[0]), 0};
        }
    }
    return bytes;
}

// Starts the probe with the picture and waits for its first paint; $id is its window.
std::string start_probe(const std::string& arguments) {
    return "\"$PROBE\" " + arguments + " picture.raw 64 48 > probe.txt & pid=$!\n" + R"(
for i in $(seq 100); do grep -q '^text' probe.txt && break; sleep 0.1; done
id=$(xdotool search --name '^Glintview probe$' | head -1)
)";
}

e2e::run_result run(const scratch_dir& dir, const std::string& script,
                    const std::string& screen = "1024x768x24") {
    EXPECT_TRUE(write_file(dir.file("picture.raw"), picture_bytes()));
    return e2e::run_under_xvfb(dir.path(), "PROBE='" PROBE_EXECUTABLE "'\n" + script, screen);
}

// The number after the first `label` at or after `from`, or -1.
int number_after(const std::string& text, const std::string& label, std::size_t from = 0) {
    std::size_t at = text.find(label, from);
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + label.size());
}

struct screenshot {
    int width = 0;
    std::string bytes; // red, green, blue
    rgb at(int x, int y) const {
        std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        return {bytes[i] & 255, bytes[i + 1] & 255, bytes[i + 2] & 255};
    }
};

// Reads a binary PPM of 8-bit samples, as `import` writes it.
screenshot read_ppm(const std::string& path) {
    std::string file = read_file(path);
    int width = 0, height = 0, maximum = 0, header = 0;
    std::sscanf(file.c_str(), "P6 %d %d %d%n", &width, &height, &maximum, &header);
    return {width, file.substr(static_cast<std::size_t>(header) + 1)};
}

} // namespace

// No window manager: the window is exactly where it was asked, flagged to stay on top, shows the
// picture unchanged and the text in its colours, and ends on Escape.
TEST(platform_e2e, places_and_paints_an_undecorated_topmost_window) {
    scratch_dir dir;
    auto result = run(dir, start_probe("100 150 200 120 0") + R"(
xwininfo -id "$id"
xprop -id "$id" _NET_WM_STATE
xprop -id "$id" _NET_WM_ICON | head -1
import -window root -depth 8 shot.ppm
xdotool key Escape
wait $pid; echo "exit $?"
cat probe.txt
)");
    const std::string& out = result.output;
    ASSERT_NE(out.find("exit 0"), std::string::npos) << out;
    EXPECT_EQ(number_after(out, "Absolute upper-left X:"), 100) << out;
    EXPECT_EQ(number_after(out, "Absolute upper-left Y:"), 150) << out;
    EXPECT_EQ(number_after(out, "Width:"), 200) << out;
    EXPECT_EQ(number_after(out, "Height:"), 120) << out;
    EXPECT_NE(out.find("_NET_WM_STATE(ATOM) = _NET_WM_STATE_ABOVE"), std::string::npos) << out;
    EXPECT_NE(out.find("Icon (32 x 32)"), std::string::npos) << out;

    screenshot shot = read_ppm(dir.file("shot.ppm"));
    ASSERT_EQ(shot.width, 1024);
    int wrong = 0;
    for (int y = 0; y < picture_height; ++y) {
        for (int x = 0; x < picture_width; ++x) {
            wrong += shot.at(100 + x, 150 + y) != picture_pixel(x, y);
        }
    }
    EXPECT_EQ(wrong, 0);

    // Yellow text on blue fills its cell: every pixel is a blend of the two, both appear.
    int left = 0, top = 0, cell_width = 0, cell_height = 0;
    ASSERT_EQ(std::sscanf(out.c_str() + out.find("text "), "text %d %d %d %d", &left, &top,
                          &cell_width, &cell_height),
              4)
        << out;
    int yellow = 0, blue = 0, not_a_blend = 0;
    for (int y = 0; y < cell_height; ++y) {
        for (int x = 0; x < cell_width; ++x) {
            rgb pixel = shot.at(100 + left + x, 150 + top + y);
            yellow += pixel == rgb{255, 255, 0};
            blue += pixel == rgb{0, 0, 255};
            not_a_blend += pixel[0] != pixel[1] || std::abs(pixel[0] + pixel[2] - 255) > 1;
        }
    }
    EXPECT_GT(yellow, 50);
    EXPECT_GT(blue, cell_width * cell_height / 2);
    EXPECT_EQ(not_a_blend, 0);
}

// With no window manager the layer knows where its window is without asking the server, until
// the server reports a move: by its own request or by another client.
TEST(platform_e2e, without_a_window_manager_every_move_is_known) {
    scratch_dir dir;
    auto result = run(dir, start_probe("100 150 200 120 0") + R"(
xdotool key space
xdotool windowmove --sync "$id" 300 200
sleep 0.2
xdotool key space
xdotool key Escape
wait $pid; echo "exit $?"
cat probe.txt
)");
    const std::string& out = result.output;
    ASSERT_NE(out.find("exit 0"), std::string::npos) << out;
    EXPECT_NE(out.find("at 100 150 200 120\nat 300 200 200 120\n"), std::string::npos) << out;
}

// Openbox frames the decorated window and leaves the undecorated one bare; either way the outer
// corner (the frame's, when there is one) is where it was asked, the window stays on top, and a
// press that asks for a move drag moves it with the pointer, every time.
TEST(platform_e2e, under_a_window_manager_places_frames_and_drags_the_window) {
    scratch_dir dir;
    std::string drag = "xdotool mousedown 1 sleep 0.2 mousemove_relative 25 20 sleep 0.2 "
                       "mousemove_relative 25 20 sleep 0.2 mouseup 1 sleep 0.3\n";
    std::string probe = start_probe("300 200 200 120 $caption") + R"sh(
xwininfo -id "$id" | grep Absolute
xprop -id "$id" _NET_WM_STATE _MOTIF_WM_HINTS _NET_FRAME_EXTENTS
xdotool mousemove 350 290
)sh" + drag + drag + R"sh(
xwininfo -id "$id" | grep Absolute
xdotool key Escape
wait $pid; echo "exit $?"
cat probe.txt
# The next probe's window may get the same id: let openbox let go of this one first.
for i in $(seq 100); do xprop -root _NET_CLIENT_LIST | grep -q "$(printf 0x%x "$id")" || break; sleep 0.1; done
)sh";
    auto result = run(dir, R"sh(
export HOME=$PWD
openbox & wm=$!
for i in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' && { echo "openbox is up"; break; }
  sleep 0.1
done
for caption in 0 1; do
echo "== caption $caption"
)sh" + probe + "done\nkill $wm\n");
    const std::string& out = result.output;
    ASSERT_NE(out.find("openbox is up"), std::string::npos) << out;
    for (int caption : {0, 1}) {
        std::size_t from = out.find("== caption " + std::to_string(caption));
        ASSERT_NE(from, std::string::npos) << out;
        std::string run = out.substr(from, out.find("== caption", from + 1) - from);
        // The frame's outer corner is where the window was asked to be.
        int frame_left = -1, frame_top = -1;
        std::sscanf(run.c_str() + run.find("_NET_FRAME_EXTENTS"), "%*[^=]= %d, %*d, %d",
                    &frame_left, &frame_top);
        int client_left = 300 + frame_left;
        int client_top = 200 + frame_top;
        EXPECT_EQ(number_after(run, "upper-left X:"), client_left) << run;
        EXPECT_EQ(number_after(run, "upper-left Y:"), client_top) << run;
        EXPECT_NE(run.find("_NET_WM_STATE(ATOM) = _NET_WM_STATE_ABOVE"), std::string::npos) << run;
        std::size_t moved = run.find("upper-left X:", run.find("_NET_FRAME_EXTENTS"));
        EXPECT_EQ(number_after(run, "upper-left X:", moved), client_left + 100) << run;
        EXPECT_EQ(number_after(run, "upper-left Y:", moved), client_top + 80) << run;
        EXPECT_NE(run.find("exit 0"), std::string::npos) << run;
        if (caption == 0) {
            EXPECT_NE(run.find("_MOTIF_WM_HINTS) = 0x2, 0x0, 0x0"), std::string::npos) << run;
            EXPECT_EQ(frame_top, 0) << run;
        } else {
            EXPECT_GT(frame_top, 0) << run;
            EXPECT_EQ(number_after(run, "\ncaption "), frame_top) << run; // the metric follows it
        }
    }
}

// A server of another depth gets our pixels converted into its own layout: the picture shows
// within the precision of its narrowest channel.
TEST(platform_e2e, paints_on_16_and_30_bit_screens) {
    struct case_t {
        const char* screen;
        int allowance;
    } cases[] = {{"1024x768x16", 8}, {"1024x768x30", 1}};
    for (const case_t& c : cases) {
        scratch_dir dir;
        auto result = run(dir, start_probe("100 150 200 120 0") + R"(
import -window root -depth 8 shot.ppm
xdotool key Escape
wait $pid; echo "exit $?"
)",
                          c.screen);
        ASSERT_NE(result.output.find("exit 0"), std::string::npos) << c.screen << result.output;
        screenshot shot = read_ppm(dir.file("shot.ppm"));
        ASSERT_EQ(shot.width, 1024) << c.screen;
        int wrong = 0;
        for (int y = 0; y < picture_height; ++y) {
            for (int x = 0; x < picture_width; ++x) {
                rgb seen = shot.at(100 + x, 150 + y);
                rgb drawn = picture_pixel(x, y);
                for (int channel = 0; channel < 3; ++channel) {
                    wrong += std::abs(seen[channel] - drawn[channel]) > c.allowance;
                }
            }
        }
        EXPECT_EQ(wrong, 0) << c.screen;
    }
}
