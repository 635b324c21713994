#include "e2e_support.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/wait.h>

namespace e2e {

const char* const start_viewer_helper = R"sh(
start_viewer() {
  "$GLINTVIEW" "$1" 2>>errors.txt & pid=$!
  id=
  for i in $(seq 400); do
    id=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n 1)
    [ -n "$id" ] && return 0
    kill -0 "$pid" 2>/dev/null || { id=ended; return 1; }
    sleep 0.01
  done
  id=none
  return 1
}
)sh";

std::string copy_executable(const std::string& folder) {
    std::string target = folder + "/glintview";
    std::filesystem::copy_file(GLINTVIEW_EXECUTABLE, target,
                               std::filesystem::copy_options::overwrite_existing);
    return target;
}

run_result run_under_xvfb(const std::string& folder, const std::string& script,
                          const std::string& screen) {
    std::string script_path = folder + "/e2e-script.sh";
    {
        std::ofstream out(script_path);
        out << "set -u\ncd '" << folder << "'\nGLINTVIEW='" << folder << "/glintview'\n"
            << script << "\n";
    }
    // xvfb-run -a takes the first display number without a lock file from where it starts:
    // runs started at the same moment (ctest -j, other suites on the machine) start apart, or
    // two of them may pick the same number and one talks to the other's server.
    std::random_device seed;
    int first_display = 100 + static_cast<int>(seed() % 5000);
    std::string command = "timeout 120 xvfb-run -a -n " + std::to_string(first_display) +
                          " -s '-screen 0 " + screen + "' bash '" + script_path + "' 2>&1";
    run_result result{-1, ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char chunk[4096];
    while (std::size_t got = std::fread(chunk, 1, sizeof chunk, pipe)) {
        result.output.append(chunk, got);
    }
    int status = pclose(pipe);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace e2e
