// The program on the desktop backend as a user meets it: its message boxes (on the screen and on
// standard error, or on standard error alone with no display), the end it makes when asked
// (SIGTERM), and a key held from before it started.
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "test_support.h"

using test_support::exists;
using test_support::read_file;
using test_support::scratch_dir;
using test_support::write_file;

namespace {

// find_box: the id of the visible "Glintview 1.0" box; viewer_shown: whether a viewer window is
// on the screen; and e2e::start_viewer_helper.
const char* helpers = R"sh(
find_box() {
  for i in $(seq 100); do
    id=$(xdotool search --onlyvisible --name '^Glintview 1\.0$' 2>/dev/null | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.05
  done
  return 1
}
viewer_shown() { xdotool search --onlyvisible --name '^Glintview' 2>/dev/null | grep -qv "^$1\$"; }
)sh";

e2e::run_result run(const scratch_dir& dir, const std::string& script) {
    e2e::copy_executable(dir.path());
    return e2e::run_under_xvfb(dir.path(),
                               std::string(helpers) + e2e::start_viewer_helper + script);
}

} // namespace

// A file the library cannot read: the box shows alone (no empty viewer window behind it), says
// the same as standard error, and Enter closes it; the program then ends with status 1.
TEST(desktop_e2e, the_error_box_shows_alone_and_enter_closes_it) {
    scratch_dir dir;
    ASSERT_TRUE(write_file(dir.file("broken.png"), "not an image at all"));
    auto result = run(dir, R"sh(
"$GLINTVIEW" "$PWD/broken.png" 2>errors.txt & pid=$!
box=$(find_box) || { echo "no box"; kill $pid; exit 3; }
viewer_shown "$box" && echo "a viewer window is shown"
xdotool windowfocus --sync "$box" key Return
wait $pid; echo "exit $?"
)sh");
    EXPECT_NE(result.output.find("exit 1"), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find("a viewer window is shown"), std::string::npos) << result.output;
    EXPECT_EQ(read_file(dir.file("errors.txt")),
              "Glintview 1.0\n************ ERROR ************\nError loading [" +
                  dir.file("broken.png") +
                  "]\n\nThis is an error from the DevIL image library, not my code\n");
}

// SIGTERM while a box waits for its answer ends the program in order, box and all.
TEST(desktop_e2e, sigterm_ends_the_program_while_a_box_is_up) {
    scratch_dir dir;
    auto result = run(dir, R"sh(
"$GLINTVIEW" 2>errors.txt & pid=$!
find_box >/dev/null || { echo "no box"; kill $pid; exit 3; }
kill -TERM $pid
wait $pid; echo "exit $?"
xdotool search --name '^Glintview 1\.0$' >/dev/null 2>&1 && echo "box left behind"
)sh");
    EXPECT_NE(result.output.find("exit 143"), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find("box left behind"), std::string::npos) << result.output;
    EXPECT_NE(read_file(dir.file("errors.txt")).find("No file to process!"), std::string::npos);
}

// With no display at all the usage text reaches standard error and the status says it failed.
TEST(desktop_e2e, without_a_display_the_usage_goes_to_standard_error_with_status_1) {
    scratch_dir dir;
    auto result = run(dir, R"sh(
env -u DISPLAY "$GLINTVIEW" 2>errors.txt; echo "exit $?"
)sh");
    EXPECT_NE(result.output.find("exit 1"), std::string::npos) << result.output;
    std::string errors = read_file(dir.file("errors.txt"));
    EXPECT_EQ(
        errors.rfind("Glintview 1.0\n************ ERROR ************\nNo file to process!", 0), 0u)
        << errors;
    EXPECT_FALSE(exists(dir.file("Glintview.ini")));
}

// A key held down when the window comes up was pressed for another window: its auto-repeats
// never reach the viewer (an Escape still down from the last instance would end it at once).
// Once released, the next press does.
TEST(desktop_e2e, a_key_held_before_the_window_came_up_does_not_reach_it) {
    scratch_dir dir;
    auto result = run(dir, R"sh(
convert -size 120x80 gradient:red-blue picture.png
xdotool keydown Escape
start_viewer "$PWD/picture.png"; echo "window $id"
sleep 1.5
kill -0 $pid 2>/dev/null && echo "still running while Escape repeats"
xdotool keyup Escape
xdotool windowfocus --sync "$id" key Escape
wait $pid; echo "exit $?"
)sh");
    EXPECT_EQ(result.output.find("window ended"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("still running while Escape repeats"), std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("exit 0"), std::string::npos) << result.output;
}
