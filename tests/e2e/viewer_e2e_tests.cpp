// The real viewer under Xvfb: its window, its painting, its keys and its mouse commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "devil/devil_fixture.h"
#include "e2e_support.h"
#include "test_support.h"

using test_support::exists;
using test_support::scratch_dir;
using test_support::write_file;

namespace {

// Shell helpers: the visible viewer window's id, its geometry "x y width height", a wait for
// and a wait for a geometry.
const char* helpers = R"sh(
viewer_window() {
  for i in $(seq 150); do
    id=$(xdotool search --onlyvisible --name '^Glintview - ' 2>/dev/null | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
                           /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}'
}
wait_geometry() {
  for i in $(seq 100); do
    [ "$(geometry "$1")" = "$2" ] && return 0
    sleep 0.1
  done
  echo "geometry $(geometry "$1"), wanted $2"
  return 1
}
)sh";

class ViewerE2e : public ::testing::Test {
  protected:
    ViewerE2e() {
        e2e::copy_executable(dir.path());
        EXPECT_TRUE(
            write_file(dir.file("picture.png"), encoded(IL_PNG, 200, 100, pattern(200, 100, 4))));
    }
    e2e::run_result run(const std::string& script) {
        return e2e::run_under_xvfb(dir.path(), std::string(helpers) + script);
    }
    // The screenshot's pixels as blue, green, red, alpha, top row first.
    bytes screenshot(const std::string& name, unsigned& width) {
        bytes pixels;
        if (!lib.load_file(dir.file(name).c_str(), nullptr) || !lib.convert_to_bgra()) {
            return pixels;
        }
        ILinfo info = lib.get_image_info();
        width = info.Width;
        pixels.assign(info.Data, info.Data + info.SizeOfData);
        return pixels;
    }

    devil lib;
    ILuint image = lib.create_image();
    scratch_dir dir;
};

} // namespace

TEST_F(ViewerE2e, shows_the_image_at_its_size_in_its_corner_and_escape_ends_it) {
    auto result = run(R"sh(
"$GLINTVIEW" "$PWD/picture.png" & pid=$!
id=$(viewer_window) || { echo "no window"; kill $pid; exit 3; }
wait_geometry "$id" "19 19 200 100" || exit 4
xprop -id "$id" _NET_WM_NAME _NET_WM_STATE
sleep 0.5
import -window root shot.png
xdotool windowfocus --sync "$id" key Escape
wait $pid
echo "exit $?"
)sh");
    ASSERT_EQ(result.exit_code, 0) << result.output;
    EXPECT_NE(result.output.find("exit 0"), std::string::npos) << result.output;
    std::size_t size = test_support::read_file(dir.file("picture.png")).size();
    char kilobytes[32];
    std::snprintf(kilobytes, sizeof kilobytes, "%.0fkb", static_cast<double>(size) / 1000.0);
    EXPECT_NE(result.output.find("\"Glintview - picture.png | 200x100 @ 32bpp | " +
                                 std::string(kilobytes) + "\""),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("_NET_WM_STATE_ABOVE"), std::string::npos) << result.output;

    unsigned width = 0;
    bytes shot = screenshot("shot.png", width);
    ASSERT_EQ(width, 1024u);
    bytes expected = pattern(200, 100, 4);
    int wrong = 0;
    for (unsigned y = 0; y < 100; ++y) {
        for (unsigned x = 0; x < 200; ++x) {
            for (unsigned c = 0; c < 3; ++c) {
                wrong +=
                    shot[((y + 19) * width + x + 19) * 4 + c] != expected[(y * 200 + x) * 4 + c];
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(ViewerE2e, keys_and_mouse_drive_the_window_under_a_window_manager) {
    auto result = run(R"sh(
openbox & sleep 1
"$GLINTVIEW" "$PWD/picture.png" & pid=$!
id=$(viewer_window) || { echo "no window"; kill $pid; exit 3; }
wait_geometry "$id" "19 19 200 100" || exit 4
xdotool windowfocus --sync "$id"
xdotool key Up
wait_geometry "$id" "19 19 328 164" && echo "zoomed in"
xdotool key s
wait_geometry "$id" "677 585 328 164" && echo "moved to the corner"
sleep 0.3; import -window root plain.png
xdotool key Tab
sleep 0.5; import -window root help.png
echo "help pixels $(compare -metric AE plain.png help.png null: 2>&1)"
xdotool key F11
for i in $(seq 50); do [ -s picture.jpg ] && break; sleep 0.1; done
xdotool mousemove 700 600 mousedown 1; sleep 0.3
xdotool mousemove 650 580; sleep 0.2; xdotool mousemove 600 560; sleep 0.2; xdotool mouseup 1
sleep 0.5; echo "dragged to $(geometry "$id")"
xdotool mousemove 700 650 click 2
wait $pid
echo "exit $?"
)sh");
    ASSERT_EQ(result.exit_code, 0) << result.output;
    for (const char* said : {"zoomed in", "moved to the corner", "exit 0"}) {
        EXPECT_NE(result.output.find(said), std::string::npos) << said << "\n" << result.output;
    }
    EXPECT_EQ(result.output.find("help pixels 0\n"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("dragged to 577 545 328 164"), std::string::npos) << result.output;
    ASSERT_TRUE(lib.load_file(dir.file("picture.jpg").c_str(), nullptr));
    EXPECT_EQ(lib.get_width(), 328);
    EXPECT_EQ(lib.get_height(), 164);
}

// Only the part of a window that lies on the screen is drawn and sent; moved, it shows its
// other part. Losing the server ends the program plainly, whatever image blocks it holds.
TEST_F(ViewerE2e, a_window_larger_than_the_screen_shows_its_visible_part_wherever_it_stands) {
    const unsigned side_x = 1100;
    const unsigned side_y = 900;
    ASSERT_TRUE(write_file(dir.file("large.png"),
                           encoded(IL_PNG, side_x, side_y, pattern(side_x, side_y, 4))));
    ASSERT_TRUE(write_file(dir.file("Glintview.ini"), "$fit to screen: no\n"));
    auto result = run(R"sh(
"$GLINTVIEW" "$PWD/large.png" 2>errors.txt & pid=$!
id=$(viewer_window) || { echo "no window"; kill $pid; exit 3; }
wait_geometry "$id" "19 19 1100 900" || exit 4
sleep 0.5; import -window root top_left.png
xdotool windowfocus --sync "$id" key s
wait_geometry "$id" "-95 -151 1100 900" || exit 5
sleep 0.5; import -window root bottom_right.png
pkill -f "^Xvfb $DISPLAY "
wait $pid
echo "exit $?"
cat errors.txt
)sh");
    // xvfb-run itself reports the failure of a server it did not end.
    EXPECT_NE(result.output.find("exit 1\nGlintview: the connection to the X server was lost"),
              std::string::npos)
        << result.output;
    bytes expected = pattern(side_x, side_y, 4);
    for (auto [shot, left, top] :
         {std::tuple{"top_left.png", 19, 19}, std::tuple{"bottom_right.png", -95, -151}}) {
        unsigned width = 0;
        bytes screen = screenshot(shot, width);
        ASSERT_EQ(width, 1024u) << shot;
        int wrong = 0;
        for (int y = std::max(top, 0); y < std::min<int>(top + side_y, 768); ++y) {
            for (int x = std::max(left, 0); x < std::min<int>(left + side_x, 1024); ++x) {
                std::size_t from = (static_cast<std::size_t>(y - top) * side_x + (x - left)) * 4;
                std::size_t to = (static_cast<std::size_t>(y) * width + x) * 4;
                wrong += std::memcmp(&screen[to], &expected[from], 3) != 0;
            }
        }
        EXPECT_EQ(wrong, 0) << shot;
    }
}

TEST_F(ViewerE2e, a_file_rewritten_by_rename_or_in_place_is_shown_anew_within_a_second) {
    ASSERT_TRUE(write_file(dir.file("wide.png"), encoded(IL_PNG, 300, 100, pattern(300, 100, 4))));
    ASSERT_TRUE(write_file(dir.file("tall.png"), encoded(IL_PNG, 200, 150, pattern(200, 150, 4))));
    auto result = run(R"sh(
within_a_second() {
  for i in $(seq 10); do
    [ "$(geometry "$1")" = "$2" ] && return 0
    sleep 0.1
  done
  echo "geometry $(geometry "$1"), wanted $2"
  return 1
}
"$GLINTVIEW" "$PWD/picture.png" & pid=$!
id=$(viewer_window) || { echo "no window"; kill $pid; exit 3; }
wait_geometry "$id" "19 19 200 100" || exit 4
cp wide.png picture.png.part && mv picture.png.part picture.png
within_a_second "$id" "19 19 300 100" || exit 5
cat tall.png > picture.png
within_a_second "$id" "19 19 200 150" || exit 6
echo "garbage" > picture.png
sleep 0.5
geometry "$id"
xdotool windowfocus --sync "$id" key Escape
wait $pid
echo "exit $?"
)sh");
    EXPECT_EQ(result.output, "19 19 200 150\nexit 0\n");
}

TEST_F(ViewerE2e, an_absent_optional_line_keeps_its_key_and_a_configured_hot_key_beats_it) {
    // Only the exit key is configured: "c" keeps the channel view, "n" ends the program.
    ASSERT_TRUE(write_file(dir.file("Glintview.ini"), "$exit: n\n"));
    auto result = run(R"sh(
"$GLINTVIEW" "$PWD/picture.png" 2>errors.txt & pid=$!
id=$(viewer_window) || { echo "no window"; cat errors.txt; kill $pid; exit 3; }
wait_geometry "$id" "19 19 200 100" || exit 4
sleep 0.5
xdotool windowfocus --sync "$id" key c
for i in $(seq 50); do
  import -window root alpha.png
  convert alpha.png -crop 1x1+24+24 -depth 8 txt:- | grep -q '#FFFFFF' && break
  sleep 0.1
done
xdotool windowfocus --sync "$id" key n
wait $pid
echo "exit $?"
)sh");
    EXPECT_EQ(result.output, "exit 0\n");
    unsigned width = 0;
    bytes screen = screenshot("alpha.png", width);
    ASSERT_EQ(width, 1024u);
    bytes loaded = pattern(200, 100, 4);
    int grey = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 200; ++x) {
            const unsigned char* shown = &screen[((19u + y) * width + 19 + x) * 4];
            unsigned char alpha = loaded[(static_cast<std::size_t>(y) * 200 + x) * 4 + 3];
            grey += shown[0] == alpha && shown[1] == alpha && shown[2] == alpha;
        }
    }
    EXPECT_EQ(grey, 200 * 100); // the alpha view, as grey
}
