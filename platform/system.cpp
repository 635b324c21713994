#include "platform/system.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::string composed_command_line;
command_option requested = command_option::none;

command_option option_named(const char* argument) {
    if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0)
        return command_option::help;
    if (std::strcmp(argument, "--version") == 0 || std::strcmp(argument, "-V") == 0)
        return command_option::version;
    return command_option::none;
}

// '*' matches any run of characters, '?' any one; everything else stands for itself.
bool wildcard_match(const char* pattern, const char* name) {
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || *pattern == *name) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') {
        ++pattern;
    }
    return *pattern == '\0';
}

bool has_wildcard(const char* text) {
    return std::strpbrk(text, "*?") != nullptr;
}

} // namespace

void set_command_line(int argc, const char* const* argv) {
    composed_command_line.clear();
    requested = command_option::none;
    if (argc < 1 || argv == nullptr) {
        return;
    }
    composed_command_line = '"';
    composed_command_line += argv[0] != nullptr ? argv[0] : "";
    composed_command_line += '"';
    int first = 1;
    if (argc > 1 && argv[1] != nullptr) {
        requested = option_named(argv[1]);
        if (std::strcmp(argv[1], "--") == 0)
            first = 2;
    }
    for (int i = first; i < argc; ++i) {
        composed_command_line += ' ';
        composed_command_line += argv[i] != nullptr ? argv[i] : "";
    }
}

const char* command_line() {
    return composed_command_line.c_str();
}

command_option requested_option() {
    return requested;
}

bool find_file(const char* pattern) {
    if (pattern == nullptr || *pattern == '\0') {
        return false;
    }
    if (!has_wildcard(pattern)) {
        struct stat info;
        return stat(pattern, &info) == 0;
    }
    const char* slash = std::strrchr(pattern, path_separator);
    std::string folder = slash != nullptr ? std::string(pattern, slash - pattern + 1) : "./";
    const char* name_pattern = slash != nullptr ? slash + 1 : pattern;
    if (has_wildcard(folder.c_str())) {
        return false; // wildcards count only in the last component
    }
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return false;
    }
    bool found = false;
    while (dirent* entry = readdir(dir)) {
        if (wildcard_match(name_pattern, entry->d_name)) {
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

std::uint64_t regular_file_size(const char* path) {
    struct stat info;
    if (path == nullptr || stat(path, &info) != 0 || !S_ISREG(info.st_mode)) {
        return 0;
    }
    if (access(path, R_OK) != 0) {
        return 0; // the file could not be opened for reading
    }
    return static_cast<std::uint64_t>(info.st_size);
}

bool delete_file(const char* path) {
    return path != nullptr && unlink(path) == 0;
}

bool rename_file(const char* from, const char* to) {
    return from != nullptr && to != nullptr && std::rename(from, to) == 0;
}

bool folder_writable(const char* path) {
    struct stat status {};
    return path != nullptr && *path != '\0' && stat(path, &status) == 0 &&
           S_ISDIR(status.st_mode) && access(path, W_OK | X_OK) == 0;
}

bool user_config_home(char* out, std::size_t size) {
    if (out == nullptr || size == 0) {
        return false;
    }
    out[0] = '\0';
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    int length = -1;
    if (xdg != nullptr && xdg[0] == '/') {
        length = std::snprintf(out, size, "%s", xdg);
    } else if (home != nullptr && home[0] == '/') {
        length = std::snprintf(out, size, "%s/.config", home);
    }
    if (length < 0 || static_cast<std::size_t>(length) >= size) {
        out[0] = '\0'; // a cut path would name another folder
        return false;
    }
    return true;
}

bool make_directory(const char* path) {
    return path != nullptr && (mkdir(path, 0777) == 0 || errno == EEXIST);
}

bool get_working_directory(char* out, std::size_t size) {
    if (out == nullptr || size == 0) {
        return false;
    }
    if (getcwd(out, size) == nullptr) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool set_working_directory(const char* path) {
    return path != nullptr && chdir(path) == 0;
}

local_time now_local() {
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    auto since_epoch = now.time_since_epoch();
    auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count() % 1000;
    std::tm parts{};
    localtime_r(&seconds, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,           parts.tm_hour,
            parts.tm_min,         parts.tm_sec,     static_cast<int>(millis)};
}

private_heap::~private_heap() {
    for (void* block : blocks) {
        std::free(block);
    }
}

void* private_heap::allocate(std::size_t size) {
    if (size == 0) {
        return nullptr;
    }
    void* block = std::malloc(size);
    if (block != nullptr) {
        blocks.push_back(block);
    }
    return block;
}

bool private_heap::free(void* block) {
    auto held = std::find(blocks.begin(), blocks.end(), block);
    if (block == nullptr || held == blocks.end()) {
        return false;
    }
    std::free(block);
    blocks.erase(held);
    return true;
}

} // namespace platform
