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

// With the caption bar under openbox the frame's outer corner sits at the margin (the caption's
// height) in each corner, with the client area exactly the image; the wheel zooms a notch at a
// time (in the top left corner, where openbox leaves a growing window in place), a held key
// repeats, the minimise key iconifies, and closing from the frame ends it.
TEST_F(ViewerE2e, with_the_caption_bar_the_frame_sits_in_each_corner_under_a_window_manager) {
    std::string settings =
        test_support::read_file(std::string(FIXTURE_DIR) + "/default_configuration.ini");
    std::size_t caption = settings.find("$show caption bar:\tno");
    ASSERT_NE(caption, std::string::npos);
    settings.replace(caption, std::strlen("$show caption bar:\tno"), "$show caption bar:\tyes");
    ASSERT_TRUE(write_file(dir.file("Glintview.ini"), settings));
    auto result = run(R"sh(
export HOME=$PWD
openbox & wm=$!
for i in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' && break; sleep 0.1; done
"$GLINTVIEW" "$PWD/picture.png" & pid=$!
id=$(viewer_window) || { echo "no window"; kill $pid; exit 3; }
sleep 0.3
read l r t b <<<"$(xprop -id "$id" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')"
echo "frame $l $r $t $b"
m=$t
xdotool windowfocus --sync "$id"
for corner in "a $m $m" "z $((1024 - 200 - m)) $m" "q $m $((768 - 100 - m - t))" \
              "s $((1024 - 200 - m)) $((768 - 100 - m - t))" "a $m $m"; do
  set -- $corner
  xdotool key "$1"
  wait_geometry "$id" "$(($2 + l)) $(($3 + t)) 200 100" && echo "corner $1 framed at $2 $3"
done
read x y w h <<<"$(geometry "$id")"
xdotool mousemove $((x + 100)) $((y + 50)) click 4
wait_geometry "$id" "$x $y 328 164" && echo "wheel zoomed in"
xdotool click 5
wait_geometry "$id" "$x $y 200 100" && echo "wheel zoomed out"
xdotool keydown Up; sleep 1.5; xdotool keyup Up; sleep 0.5
read x y w h <<<"$(geometry "$id")"
echo "held key width $w"
xdotool key m
for i in $(seq 50); do xprop -id "$id" WM_STATE | grep -q Iconic && { echo "minimised"; break; }; sleep 0.1; done
xdotool windowactivate --sync "$id" key alt+F4
wait $pid; echo "exit $?"
kill $wm
)sh");
    const std::string& out = result.output;
    for (const char* corner : {"corner a", "corner z", "corner q", "corner s"}) {
        EXPECT_NE(out.find(corner), std::string::npos) << corner << "\n" << out;
    }
    for (const char* said : {"wheel zoomed in", "wheel zoomed out", "minimised", "exit 0"}) {
        EXPECT_NE(out.find(said), std::string::npos) << said << "\n" << out;
    }
    // Up held for 1.5 s: the first press and at least one repeat, each a step of 128.
    std::size_t held = out.find("held key width ");
    ASSERT_NE(held, std::string::npos) << out;
    EXPECT_GE(std::atoi(out.c_str() + held + 15), 456) << out;
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
