#include <gtest/gtest.h>

#include "e2e_support.h"
#include "test_support.h"

using test_support::exists;
using test_support::read_file;
using test_support::scratch_dir;
using test_support::write_file;

namespace {

// Waits for a top-level window titled exactly TITLE and prints its id.
const char* find_window = R"(
find_window() {
  for i in $(seq 100); do
    id=$(xwininfo -root -tree | awk -v t="\"$1\":" '$2" "$3 == t {print $1; exit}')
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}
)";

} // namespace

TEST(startup_e2e, without_an_argument_shows_the_usage_box_and_writes_nothing) {
    scratch_dir dir;
    e2e::copy_executable(dir.path());
    auto result = e2e::run_under_xvfb(dir.path(), std::string(find_window) + R"(
"$GLINTVIEW" & pid=$!
id=$(find_window "Glintview 1.0") || { echo "no box"; kill $pid; exit 3; }
xwininfo -id "$id" | grep -E 'Width|Height'
import -window root shot.png
xdotool windowfocus --sync "$id" key Return
wait $pid
echo "exit $?"
)");
    EXPECT_EQ(result.exit_code, 0) << result.output;
    EXPECT_NE(result.output.find("exit 0"), std::string::npos) << result.output;
    EXPECT_TRUE(exists(dir.file("shot.png")));
    EXPECT_FALSE(exists(dir.file("Glintview.ini")));
}

TEST(startup_e2e, with_an_image_writes_the_default_configuration_beside_the_program) {
    scratch_dir dir;
    e2e::copy_executable(dir.path());
    ASSERT_TRUE(write_file(dir.file("picture.png"), "not empty"));
    auto result = e2e::run_under_xvfb(dir.path(), R"(
timeout 30 "$GLINTVIEW" "$PWD/picture.png" &
pid=$!
for i in $(seq 100); do [ -s Glintview.ini ] && break; sleep 0.2; done
kill $pid 2>/dev/null
exit 0
)");
    ASSERT_EQ(result.exit_code, 0) << result.output;
    std::string text = read_file(dir.file("Glintview.ini"));
    std::size_t body = text.find("\n\n");
    ASSERT_NE(body, std::string::npos);
    EXPECT_EQ(text.rfind("; this file was generated on ", 0), 0u);
    EXPECT_EQ(text.substr(body + 2),
              read_file(std::string(FIXTURE_DIR) + "/default_configuration.ini"));
}
