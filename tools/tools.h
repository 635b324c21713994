// Support tools: the error box, formatting, case copies, path splitting and file tests.
//
// Functions that return text own one static result buffer each, zeroed and rewritten at every
// call and valid until the next call of the same function. A result that would not fit its
// buffer is refused (null) for the path functions and cut for the formatted texts; no buffer is
// ever written past its end.
#pragma once

#include <cstdint>
#include <memory>

// Shows the formatted message under the "************ ERROR ************" banner in a task-modal
// box with the error icon, captioned "Glintview 1.0"; returns the box's result when it is closed.
// The message is cut to fit its 512 characters.
int error_box(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Diagnostic hook; it writes nothing anywhere.
void trace(const char* file, std::int32_t line, const char* text);

// printf into a shared 512-character buffer, cut to fit.
const char* format_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Newly allocated copies with ASCII letters changed case; null for a null text.
std::unique_ptr<char[]> upper_copy(const char* text);
std::unique_ptr<char[]> lower_copy(const char* text);
// ASCII letters of a zero-terminated text to lower case, in place; null is left alone.
void lower_in_place(char* text);

// The text after the path's last '.' (empty when the path ends in '.'); null for a null or
// empty path, a path without '.', or an extension of more than 15 characters.
const char* file_extension(const char* path);

// The path without its last '.' and what follows; the argument itself when there is no '.';
// null for a null or empty path.
const char* strip_extension(const char* path);

// The path with its last extension replaced; the argument itself when the path has no '.' or the
// extension is null or empty; null for a null or empty path, or a result of max_path characters or
// more.
const char* replace_extension(const char* path, const char* extension);

// The path up to its last separator ('/' when forward_slash is set, else '\\'), with the
// separator when keep_separator is set; null when there is none.
const char* directory_part(const char* path, bool keep_separator, bool forward_slash);

// The text after the last separator; the argument itself when there is none.
const char* file_name_part(const char* path, bool forward_slash);

// "hh:mm:ss" of a duration in seconds, parts truncated; "n/a" for 0 and for negative durations.
const char* format_duration(float seconds);

// With no archive: true when the disk search finds the name (a file or a folder, wildcards
// honoured). With an archive: true when the zip archive holds the member, letter case ignored.
bool file_exists(const char* name, const char* archive);

// What identifies a file's content for a cache: its device, inode, size and modification time.
struct file_state {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modified_ns = 0;
    bool known = false; // false when the file could not be examined

    bool operator==(const file_state&) const = default;
};
file_state state_of_file(const char* path);

// The size in bytes of a regular file, 0 when it cannot be opened; files of 4 GiB or more
// report 0xFFFFFFFF.
std::uint32_t file_size(const char* path);
