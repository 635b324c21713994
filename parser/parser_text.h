// Small text and file helpers private to the parser.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace parser_text {

// vsnprintf into a buffer of `size` characters, cut to fit; an encoding error gives "".
void format_into(char* buffer, std::size_t size, const char* format, va_list arguments);

// Copies text into a buffer of `size` characters, cut to fit; false when it was cut.
bool copy_bounded(char* buffer, std::size_t size, const char* text);

// ASCII letters only: A to Z become a to z, every other byte stays as it is.
inline char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Case-insensitive (ASCII) equality of two zero-terminated texts, at most `limit` characters.
bool equal_no_case(const char* a, const char* b, std::size_t limit);

// A regular file (or a directory) at exactly this path; no wildcards.
bool regular_file_at(const char* path);
bool directory_at(const char* path);

} // namespace parser_text
