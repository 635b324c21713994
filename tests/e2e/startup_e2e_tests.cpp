#include <gtest/gtest.h>

#include <cstdlib>

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
    EXPECT_NE(result.output.find("exit 1"), std::string::npos) << result.output;
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

// The options answer on standard output with status 0 and open nothing; "--" lets a file named
// like an option open; a path of 300 characters opens; with no display the status is 1.
TEST(startup_e2e, options_statuses_and_long_paths) {
    scratch_dir dir;
    e2e::copy_executable(dir.path());
    const std::string tga = test_support::tiny_tga();
    ASSERT_TRUE(write_file(dir.file("--help"), tga));
    // Two folders of 150 characters: past the 260 of the classic path buffers.
    const std::string folders = std::string(150, 'a') + "/" + std::string(150, 'b');
    ASSERT_EQ(std::system(("mkdir -p '" + dir.file(folders) + "'").c_str()), 0);
    const std::string long_name = folders + "/deep.tga";
    ASSERT_TRUE(write_file(dir.file(long_name), tga));
    auto result = e2e::run_under_xvfb(dir.path(), "LONG='" + long_name + "'\n" + R"sh(
for option in --help -h --version -V; do
  timeout 10 "$GLINTVIEW" $option >out.txt; status=$?
  echo "$option status $status: $(head -c 30 out.txt | tr '\n' ' ')"
done
"$GLINTVIEW" --help | grep -c "man glintview"
for name in -- "$LONG"; do
  if [ "$name" = -- ]; then "$GLINTVIEW" -- --help & pid=$!; title="Glintview - --help |"
  else "$GLINTVIEW" "$PWD/$LONG" & pid=$!; title="Glintview - deep.tga |"; fi
  for i in $(seq 100); do xwininfo -root -tree | grep -qF "\"$title" && break; sleep 0.2; done
  xwininfo -root -tree | grep -qF "\"$title" && echo "opened ${#name}" || echo "not opened ${#name}"
  kill $pid; wait $pid
done
DISPLAY= timeout 10 "$GLINTVIEW" "$PWD/$LONG" 2>/dev/null; echo "no display status $?"
)sh");
    ASSERT_EQ(result.exit_code, 0) << result.output;
    for (const char* expected : {"--help status 0: Usage: glintview [--] IMAGE_F",
                                 "-h status 0: Usage: glintview [--] IMAGE_F",
                                 "--version status 0: glintview 1.0", "-V status 0: glintview 1.0",
                                 "\n1\n", "opened 2\n", "opened 310\n", "no display status 1\n"})
        EXPECT_NE(result.output.find(expected), std::string::npos) << expected << "\n"
                                                                   << result.output;
    EXPECT_EQ(result.output.find("not opened"), std::string::npos) << result.output;
    EXPECT_FALSE(exists(dir.file("--help (snapshot).jpg")));
}
