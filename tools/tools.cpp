#include "tools/tools.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unzip.h>

#include "platform/dialogs.h"
#include "platform/system.h"

namespace {

constexpr std::size_t message_size = 512;
constexpr std::size_t path_size = platform::max_path;
constexpr std::size_t short_size = 16;

char path_separator_for(bool forward_slash) {
    return forward_slash ? '/' : '\\';
}

// Zeroes the buffer and copies `length` characters of `text` into it, if they fit.
const char* copy_result(char* buffer, std::size_t size, const char* text, std::size_t length) {
    std::memset(buffer, 0, size);
    if (length >= size) {
        return nullptr;
    }
    std::memcpy(buffer, text, length);
    return buffer;
}

// Appends as much of `text` as fits behind the zero-terminated contents of `buffer`.
void append_bounded(char* buffer, std::size_t size, const char* text) {
    std::size_t used = std::strlen(buffer);
    std::size_t room = size - 1 - used;
    std::size_t length = std::min(std::strlen(text), room);
    std::memcpy(buffer + used, text, length);
    buffer[used + length] = '\0';
}

std::unique_ptr<char[]> case_copy(const char* text, char from_first, char from_last, int shift) {
    if (text == nullptr) {
        return nullptr;
    }
    std::size_t length = std::strlen(text);
    auto copy = std::make_unique<char[]>(length + 1);
    for (std::size_t i = 0; i <= length; ++i) {
        char c = text[i];
        copy[i] = (c >= from_first && c <= from_last) ? static_cast<char>(c + shift) : c;
    }
    return copy;
}

} // namespace

int error_box(const char* format, ...) {
    static char text[message_size];
    static char message[message_size];
    std::memset(text, 0, sizeof text);
    std::memset(message, 0, sizeof message);
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    // A long text is cut so that the composed message still fits its buffer.
    append_bounded(message, sizeof message, "************ ERROR ************\n");
    append_bounded(message, sizeof message, text);
    append_bounded(message, sizeof message, "\n");
    return platform::message_box(message, "Glintview 1.0",
                                 platform::mb_ok | platform::mb_iconerror | platform::mb_taskmodal |
                                     platform::mb_setforeground);
}

void trace(const char*, std::int32_t, const char*) {}

const char* format_text(const char* format, ...) {
    static char buffer[message_size];
    std::memset(buffer, 0, sizeof buffer);
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

std::unique_ptr<char[]> upper_copy(const char* text) {
    return case_copy(text, 'a', 'z', 'A' - 'a');
}

std::unique_ptr<char[]> lower_copy(const char* text) {
    return case_copy(text, 'A', 'Z', 'a' - 'A');
}

const char* file_extension(const char* path) {
    static char buffer[short_size];
    if (path == nullptr || *path == '\0') {
        return nullptr;
    }
    const char* dot = std::strrchr(path, '.');
    if (dot == nullptr) {
        return nullptr;
    }
    return copy_result(buffer, sizeof buffer, dot + 1, std::strlen(dot + 1));
}

const char* strip_extension(const char* path) {
    static char buffer[path_size];
    if (path == nullptr || *path == '\0') {
        return nullptr;
    }
    const char* dot = std::strrchr(path, '.');
    if (dot == nullptr) {
        return path;
    }
    return copy_result(buffer, sizeof buffer, path, dot - path);
}

const char* replace_extension(const char* path, const char* extension) {
    static char buffer[path_size];
    if (path == nullptr || *path == '\0') {
        return nullptr;
    }
    if (extension == nullptr || *extension == '\0') {
        return path;
    }
    const char* dot = std::strrchr(path, '.');
    if (dot == nullptr) {
        return path;
    }
    std::size_t stem = dot - path;
    std::size_t length = stem + 1 + std::strlen(extension);
    std::memset(buffer, 0, sizeof buffer);
    if (length >= sizeof buffer) {
        return nullptr;
    }
    std::snprintf(buffer, sizeof buffer, "%.*s.%s", static_cast<int>(stem), path, extension);
    return buffer;
}

const char* directory_part(const char* path, bool keep_separator, bool forward_slash) {
    static char buffer[path_size];
    if (path == nullptr || *path == '\0') {
        return nullptr;
    }
    const char* separator = std::strrchr(path, path_separator_for(forward_slash));
    if (separator == nullptr) {
        return nullptr;
    }
    std::size_t length = (separator - path) + (keep_separator ? 1 : 0);
    return copy_result(buffer, sizeof buffer, path, length);
}

const char* file_name_part(const char* path, bool forward_slash) {
    static char buffer[path_size];
    if (path == nullptr || *path == '\0') {
        return nullptr;
    }
    const char* separator = std::strrchr(path, path_separator_for(forward_slash));
    if (separator == nullptr) {
        return path;
    }
    return copy_result(buffer, sizeof buffer, separator + 1, std::strlen(separator + 1));
}

const char* format_duration(float seconds) {
    static char buffer[short_size];
    std::memset(buffer, 0, sizeof buffer);
    // Negative, not-a-number and absurdly long durations have no clock text either.
    if (!(seconds > 0.0f) || seconds >= 3600.0f * 1000000.0f) {
        std::snprintf(buffer, sizeof buffer, "n/a");
        return buffer;
    }
    long total = static_cast<long>(seconds);
    int hours = static_cast<int>(total / 3600); // below a million hours: fits the buffer
    int minutes = static_cast<int>((total % 3600) / 60);
    int rest = static_cast<int>(total % 60);
    int written = std::snprintf(buffer, sizeof buffer, "%.2d:%.2d:%.2d", hours, minutes, rest);
    (void)written;
    return buffer;
}

bool file_exists(const char* name, const char* archive) {
    if (name == nullptr) {
        return false;
    }
    if (archive == nullptr) {
        return platform::find_file(name);
    }
    unzFile zip = unzOpen(archive);
    if (zip == nullptr) {
        return false;
    }
    constexpr int case_insensitive = 2;
    bool found = unzLocateFile(zip, name, case_insensitive) == UNZ_OK;
    unzClose(zip);
    return found;
}

std::uint32_t file_size(const char* path) {
    std::uint64_t size = platform::regular_file_size(path);
    return size > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(size);
}

void lower_in_place(char* text) {
    for (char* c = text; c != nullptr && *c != '\0'; ++c) {
        if (*c >= 'A' && *c <= 'Z') {
            *c = static_cast<char>(*c - 'A' + 'a');
        }
    }
}

file_state state_of_file(const char* path) {
    file_state state;
    struct stat facts {};
    if (path == nullptr || stat(path, &facts) != 0) {
        return state;
    }
    state.device = facts.st_dev;
    state.inode = facts.st_ino;
    state.size = static_cast<std::uint64_t>(facts.st_size);
    state.modified_ns = std::int64_t{facts.st_mtim.tv_sec} * 1000000000 + facts.st_mtim.tv_nsec;
    state.known = true;
    return state;
}
