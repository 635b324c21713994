#include "e2e_support.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

namespace e2e {

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
    std::string command =
        "timeout 120 xvfb-run -a -s '-screen 0 " + screen + "' bash '" + script_path + "' 2>&1";
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
