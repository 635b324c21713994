// Starts that follow each other quickly under load: a test of its own, run alone (its busy
// loops would starve the other end-to-end tests running beside it).
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "test_support.h"

using test_support::read_file;
using test_support::scratch_dir;

// A hundred starts, each right after the last ended (by Escape or by SIGTERM, in turn), with
// two busy loops taking the processor: every one shows its window and ends as it was told.
TEST(restart_e2e, a_hundred_quick_restarts_under_load_each_show_their_window) {
    scratch_dir dir;
    e2e::copy_executable(dir.path());
    auto result = e2e::run_under_xvfb(dir.path(), std::string(e2e::start_viewer_helper) + R"sh(
convert -size 120x80 gradient:red-blue picture.png
# Busy loops that end by themselves, whatever becomes of this script.
for n in 1 2; do timeout 100 bash -c 'while :; do :; done' & done
wrong=0
for run in $(seq 100); do
  start_viewer "$PWD/picture.png" || { echo "run $run: no window ($id)"; wrong=$((wrong + 1)); }
  if [ $((run % 2)) = 0 ]; then
    kill -TERM $pid; expected=143
  else
    xdotool windowfocus --sync "$id" key Escape; expected=0
  fi
  wait $pid; status=$?
  [ $status = $expected ] || { echo "run $run: status $status"; wrong=$((wrong + 1)); }
done
kill $(jobs -p) 2>/dev/null
echo "wrong $wrong"
)sh");
    EXPECT_NE(result.output.find("wrong 0\n"), std::string::npos) << result.output;
    EXPECT_EQ(read_file(dir.file("errors.txt")), "");
}
