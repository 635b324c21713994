// Runs the real program under Xvfb: a copy of the executable in a scratch folder, so that the
// configuration file it writes lands there.
#pragma once

#include <string>

namespace e2e {

struct run_result {
    int exit_code;
    std::string output;
};

// Runs `script` with bash inside `xvfb-run -a` (a free display) whose screen is `screen`
// (width x height x depth), in `folder`, with GLINTVIEW naming the copied executable. The
// script's exit code and standard output come back.
run_result run_under_xvfb(const std::string& folder, const std::string& script,
                          const std::string& screen = "1024x768x24");

// Shell function start_viewer FILE: starts "$GLINTVIEW" FILE (standard error appended to
// errors.txt), sets $pid and, once its window is visible, $id ("ended" when the program ended
// without one, "none" after 4 s without one).
extern const char* const start_viewer_helper;

// Copies the built executable into `folder`; returns its new path.
std::string copy_executable(const std::string& folder);

} // namespace e2e
