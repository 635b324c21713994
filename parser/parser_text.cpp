#include "parser/parser_text.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace parser_text {

void format_into(char* buffer, std::size_t size, const char* format, va_list arguments) {
    if (buffer == nullptr || size == 0) {
        return;
    }
    if (format == nullptr || std::vsnprintf(buffer, size, format, arguments) < 0) {
        buffer[0] = '\0';
    }
}

bool copy_bounded(char* buffer, std::size_t size, const char* text) {
    if (buffer == nullptr || size == 0) {
        return false;
    }
    if (text == nullptr) {
        buffer[0] = '\0';
        return true;
    }
    const std::size_t length = strnlen(text, size);
    const bool fits = length < size;
    const std::size_t copied = fits ? length : size - 1;
    std::memmove(buffer, text, copied);
    buffer[copied] = '\0';
    return fits;
}

bool equal_no_case(const char* a, const char* b, std::size_t limit) {
    for (std::size_t i = 0; i < limit; ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
        if (a[i] == '\0') {
            return true;
        }
    }
    return true;
}

bool regular_file_at(const char* path) {
    struct stat info;
    return path != nullptr && stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

bool directory_at(const char* path) {
    struct stat info;
    return path != nullptr && stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace parser_text
