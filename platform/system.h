// Process, file and time services: what the rest of the program expects of the operating system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// The native path separator; every caller that builds or splits a native path uses it.
constexpr char path_separator = '/';

// The size of every path buffer, terminator included: the system's own limit (PATH_MAX).
constexpr std::size_t max_path = 4096;

// The command line as start-up reads it: argv[0] in double quotes, then each further argument
// after one blank, unquoted. Set once by the framework from main's arguments.
// A first argument of "--" is dropped, so that a file named like an option can still be opened.
void set_command_line(int argc, const char* const* argv);
const char* command_line();

// What the first argument asked for instead of an image: `help` for --help or -h, `version` for
// --version or -V. Recorded by set_command_line.
enum class command_option { none, help, version };
command_option requested_option();

// The executable's full path, cut to size - 1 characters. Returns false (and an empty text) when
// it cannot be told. Provided by the backend: the real one reads /proc/self/exe.
bool module_path(char* out, std::size_t size);

// True when a file or folder matches the name; '*' and '?' are wildcards in its last component.
bool find_file(const char* pattern);

// Size of a regular file in bytes; 0 for a folder, a device, a missing or unreadable file.
std::uint64_t regular_file_size(const char* path);

// True when the folder exists and this process may create files in it.
bool folder_writable(const char* path);

// The base folder of the user's configuration files: $XDG_CONFIG_HOME when it holds an absolute
// path, else $HOME/.config. False, with an empty text, when neither gives one that fits. These
// two are the only environment variables the program reads.
bool user_config_home(char* out, std::size_t size);

bool delete_file(const char* path);
bool rename_file(const char* from, const char* to);
bool make_directory(const char* path);
bool get_working_directory(char* out, std::size_t size);
bool set_working_directory(const char* path);

struct local_time {
    int year;  // e.g. 2026
    int month; // 1 to 12
    int day;   // 1 to 31
    int hour;
    int minute;
    int second;
    int millisecond;
};
local_time now_local();

// A heap that owns its blocks: destroying it frees every block still held.
class private_heap {
  public:
    private_heap() = default;
    ~private_heap();
    private_heap(const private_heap&) = delete;
    private_heap& operator=(const private_heap&) = delete;

    // Null when the size is 0 or memory is short.
    void* allocate(std::size_t size);
    // Frees a block of this heap; false for a pointer the heap does not hold.
    bool free(void* block);
    std::size_t blocks_held() const { return blocks.size(); }

  private:
    std::vector<void*> blocks;
};

} // namespace platform
