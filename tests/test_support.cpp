#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace test_support {

scratch_dir::scratch_dir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "glintview-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
        root = pattern;
    }
}

scratch_dir::~scratch_dir() {
    std::error_code ignored;
    if (!root.empty()) {
        std::filesystem::remove_all(root, ignored);
    }
}

bool write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

std::string tiny_tga() {
    std::string header(18, '\0');
    header[2] = 2;  // uncompressed true colour
    header[12] = 2; // width
    header[14] = 2; // height
    header[16] = 24;
    return header + std::string(12, '\x7f');
}

} // namespace test_support
