// Sources: disk files, zip-archive members and mirror directories, their preparation into the
// text the cursor walks, and generated files.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unzip.h>

#include "parser/parser_text.h"
#include "parser/vorlex_parser.h"
#include "platform/system.h"

namespace {

constexpr int case_insensitive = 2; // minizip's name comparison mode

// Offset of the first occurrence of marker in bytes[0, size), or size when there is none.
std::size_t find_marker(const char* bytes, std::size_t size, const char* marker) {
    const std::size_t length = std::strlen(marker);
    const char* at = bytes;
    const char* const last = bytes + size;
    while (static_cast<std::size_t>(last - at) >= length) {
        at = static_cast<const char*>(std::memchr(at, marker[0], last - at - length + 1));
        if (at == nullptr) {
            return size;
        }
        if (std::memcmp(at, marker, length) == 0) {
            return static_cast<std::size_t>(at - bytes);
        }
        ++at;
    }
    return size;
}

// Appends text to a path buffer; false (buffer unchanged) when it would not fit.
bool append_path(char* path, std::size_t size, const char* text) {
    const std::size_t used = std::strlen(path);
    const std::size_t length = std::strlen(text);
    if (used + length >= size) {
        return false;
    }
    std::memcpy(path + used, text, length + 1);
    return true;
}

} // namespace

void vorlex_parser::set_archive(const char* zip_path) {
    archive_mode = true;
    if (!parser_text::copy_bounded(archive_path, path_size, zip_path)) {
        // A cut path would name another archive; with none set every lookup fails.
        archive_path[0] = '\0';
        report(error, "Path too long [%s]. Length = %i. Max is %i", zip_path,
               static_cast<int>(std::strlen(zip_path)), static_cast<int>(path_size - 1));
        return;
    }
    report(info, "Zip archive set [%s]", archive_path);
}

bool vorlex_parser::source_exists(const char* path) {
    if (path == nullptr) {
        return false;
    }
    if (archive_mode) {
        unzFile zip = unzOpen64(archive_path);
        if (zip == nullptr) {
            report(warning, "Cannot open [%s] => Specified file not found [%s]", archive_path,
                   path);
            return false;
        }
        archive_handle = zip;
        const bool found = unzLocateFile(zip, path, case_insensitive) == UNZ_OK;
        unzClose(zip);
        archive_handle = nullptr;
        if (!found) {
            report(warning, "Specified file not found [%s]", path);
            return false;
        }
    } else if (!parser_text::regular_file_at(path)) {
        return false;
    }
    report(info, "Specified file found [%s]", path);
    return true;
}

// Starts a new source: counts restarted, both texts emptied, the path taken over. A path that
// does not fit file_path is refused, since a cut one would name some other file.
bool vorlex_parser::begin_source(const char* path) {
    if (path == nullptr) {
        path = "";
    }
    warning_count = 0;
    error_count = 0;
    std::memset(raw_text, 0, raw_size);
    raw_size = 0;
    empty_text();
    if (parser_text::copy_bounded(file_path, path_size, path)) {
        return true;
    }
    file_path[0] = '\0';
    report(error, "Path too long [%s]. Length = %i. Max is %i", path,
           static_cast<int>(std::strlen(path)), static_cast<int>(path_size - 1));
    report(error, "File parse failed [%s]", path);
    return false;
}

void vorlex_parser::open_file(const char* path) {
    if (!begin_source(path)) {
        return;
    }
    if (archive_mode) {
        char mirror[path_size];
        if (mirror_path(mirror, sizeof(mirror))) {
            read_disk_source(mirror);
        } else {
            read_archive_source(file_path);
        }
    } else {
        read_disk_source(file_path);
    }
    prepare_source();
}

void vorlex_parser::open_from_memory(const char* path, const void* bytes, std::size_t size) {
    if (!begin_source(path)) {
        return;
    }
    if (bytes != nullptr) {
        raw_size = size < text_size ? size : text_size - 1;
        std::memcpy(raw_text, bytes, raw_size);
        if (size > raw_size) {
            report(warning, "Source too long [%s]. Only the first %i characters are read",
                   file_path, static_cast<int>(raw_size));
        }
    }
    prepare_source();
}

// The mirror file of the current member, when there is one: the program's directory, the
// member's directories and its name, joined with the native separator. A hit ends archive mode.
bool vorlex_parser::mirror_path(char* out, std::size_t size) {
    const int parts = split_source_directories();
    if (parts < 0) {
        return false;
    }
    char folder[path_size];
    std::strcpy(folder, program_directory());
    if (folder[0] == '\0') {
        return false; // without the program's directory a mirror would hang off the root
    }
    const char separator[2] = {platform::path_separator, '\0'};
    for (int i = 0; i < parts; ++i) {
        if (!append_path(folder, sizeof(folder), separator) ||
            !append_path(folder, sizeof(folder), directories[i])) {
            report(warning, "Mirror directory of [%s] is too long: not looked up", file_path);
            return false;
        }
    }
    const char* name = source_file_name(true);
    out[0] = '\0';
    if (!append_path(out, size, folder) || !append_path(out, size, separator) ||
        !append_path(out, size, name) || !parser_text::regular_file_at(out)) {
        return false;
    }
    archive_mode = false;
    report(info, "File [%s] is mirrored in [%s] -> it will be opened from there", name, folder);
    return true;
}

bool vorlex_parser::read_disk_source(const char* path) {
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) {
        return false;
    }
    const std::size_t room = text_size - 1;
    std::size_t got = std::fread(raw_text, 1, room, file);
    const bool cut = got == room && std::fgetc(file) != EOF;
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        std::memset(raw_text, 0, got);
        got = 0;
    }
    raw_size = got;
    if (cut && !failed) {
        report(warning, "Source too long [%s]. Only the first %i characters are read", path,
               static_cast<int>(got));
    }
    return !failed;
}

// Reads the member straight into raw_text: whatever size its header claims, no more than the
// buffer holds is ever read, and nothing is allocated. A damaged member leaves raw_text empty.
bool vorlex_parser::read_archive_source(const char* member) {
    unzFile zip = unzOpen64(archive_path);
    if (zip == nullptr) {
        return false;
    }
    archive_handle = zip;
    const unsigned room = text_size - 1;
    unsigned got = 0;
    bool ok = false;
    bool cut = false;
    if (unzLocateFile(zip, member, case_insensitive) == UNZ_OK &&
        unzOpenCurrentFile(zip) == UNZ_OK) {
        int read = 0;
        while (got < room && (read = unzReadCurrentFile(zip, raw_text + got, room - got)) > 0) {
            got += static_cast<unsigned>(read);
        }
        ok = read >= 0;
        if (ok && got == room) {
            char probe;
            const int more = unzReadCurrentFile(zip, &probe, 1);
            cut = more > 0;
            ok = more >= 0;
        }
        // Closing checks the CRC of a member read to its end.
        if (unzCloseCurrentFile(zip) != UNZ_OK) {
            ok = false;
        }
    }
    unzClose(zip);
    archive_handle = nullptr;
    if (!ok) {
        std::memset(raw_text, 0, got);
        got = 0;
    }
    raw_size = got;
    if (cut) {
        report(warning, "Source too long [%s]. Only the first %i characters are read", member,
               static_cast<int>(got));
    }
    return ok;
}

// Carriage returns dropped, comments cut per piece, the end marker honoured, the end_mark
// appended; line_map keeps the source line of every character for current_line.
void vorlex_parser::prepare_source() {
    if (raw_size == 0 || raw_text[0] == '\0') {
        empty_text();
        report(error, "File parse failed [%s]", file_path);
        return;
    }
    std::size_t size = find_marker(raw_text, raw_size, "#Eof");
    if (size == raw_size) {
        size = find_marker(raw_text, raw_size, "#eof");
    }
    char piece[piece_size];
    std::size_t length = 0;
    std::size_t position = 0;
    std::uint32_t line = 1;
    while (position < size) {
        const int consumed =
            read_source_line(piece, raw_text, static_cast<int>(size), static_cast<int>(position));
        if (consumed <= 0) {
            break;
        }
        strip_comment(piece);
        std::size_t piece_length = std::strlen(piece);
        if (piece_length > text_size - 1 - length) {
            piece_length = text_size - 1 - length; // cannot happen: preparation never grows
        }
        std::memcpy(text + length, piece, piece_length);
        for (std::size_t i = 0; i < piece_length; ++i) {
            line_map[length + i] = line;
        }
        length += piece_length;
        position += static_cast<std::size_t>(consumed);
        if (raw_text[position - 1] == '\n') {
            ++line;
        }
    }
    text[length] = end_mark;
    line_map[length] = line;
    cursor = text;
    report(info, "File parse OK [%s]", file_path);
}

void vorlex_parser::write_generated(const char* format, ...) {
    char buffer[generated_size];
    va_list arguments;
    va_start(arguments, format);
    const int wanted =
        format != nullptr ? std::vsnprintf(buffer, sizeof(buffer), format, arguments) : -1;
    va_end(arguments);
    if (wanted < 0) {
        buffer[0] = '\0';
    } else if (static_cast<std::size_t>(wanted) >= sizeof(buffer)) {
        report(warning, "Generated text cut to %i characters (%i given)",
               static_cast<int>(sizeof(buffer) - 1), wanted);
    }

    // Appends and the trailer go to the file that was created, even after another source was
    // opened: a source that was only read is never written to.
    std::FILE* file = nullptr;
    if (generating) {
        file = std::fopen(generated_path, "a");
    } else {
        if (archive_mode && !enter_mirror_directories()) {
            return;
        }
        if (!remember_generated_path()) {
            return;
        }
        file = std::fopen(generated_path, "w");
        if (file == nullptr) {
            return;
        }
        generating = true;
        const char* name = archive_mode ? file_path : source_file_name(true);
        const platform::local_time now = platform::now_local();
        std::fprintf(file,
                     "; this file [%s] was generated by Vorlex on %02d/%02d/%02d at "
                     "%02d:%02d:%02d\n\n",
                     name, now.month, now.day, now.year % 100, now.hour, now.minute, now.second);
    }
    if (file == nullptr) {
        return;
    }
    std::fputs(buffer, file);
    std::fclose(file);
}

// The file to generate: file_path on disk; in archive mode the member's name in the working
// directory, kept as a full path so that later changes of directory do not move it.
bool vorlex_parser::remember_generated_path() {
    if (!archive_mode) {
        std::strcpy(generated_path, file_path);
        return generated_path[0] != '\0';
    }
    char here[path_size];
    const char separator[2] = {platform::path_separator, '\0'};
    generated_path[0] = '\0';
    if (!platform::get_working_directory(here, sizeof(here)) ||
        !append_path(generated_path, path_size, here) ||
        !append_path(generated_path, path_size, separator) ||
        !append_path(generated_path, path_size, source_file_name(true))) {
        generated_path[0] = '\0';
        report(error, "Path too long for the generated file [%s]", file_path);
        return false;
    }
    return true;
}

// Makes the program's directory and then each directory part of the member path the working
// directory in turn, creating the parts that are missing.
bool vorlex_parser::enter_mirror_directories() {
    const int parts = split_source_directories();
    if (parts <= 0) {
        return parts == 0;
    }
    if (!platform::set_working_directory(program_directory())) {
        report(error, "Cannot enter directory [%s]", directory);
        return false;
    }
    for (int i = 0; i < parts; ++i) {
        char here[path_size];
        if (!platform::get_working_directory(here, sizeof(here))) {
            here[0] = '\0';
        }
        const char* part = directories[i];
        if (!parser_text::directory_at(part)) {
            if (!platform::make_directory(part) || !parser_text::directory_at(part)) {
                report(error, "Cannot create directory [%s] in [%s]", part, here);
                return false;
            }
            report(info, "Directory [%s] was created in [%s]", part, here);
        }
        if (!platform::set_working_directory(part)) {
            report(error, "Cannot enter directory [%s] in [%s]", part, here);
            return false;
        }
    }
    return true;
}

const char* vorlex_parser::program_directory() {
    char full[path_size];
    directory[0] = '\0';
    if (!platform::module_path(full, sizeof(full))) {
        return directory;
    }
    char* last = std::strrchr(full, platform::path_separator);
    if (last != nullptr) {
        *last = '\0';
        std::strcpy(directory, full);
    }
    return directory;
}

const char* vorlex_parser::source_file_name(bool at_slash) {
    const char* last = std::strrchr(file_path, at_slash ? '/' : '\\');
    if (last == nullptr) {
        return file_path;
    }
    std::strcpy(file_name, last + 1);
    return file_name;
}

int vorlex_parser::split_source_directories() {
    const char* last = std::strrchr(file_path, '/');
    if (last == nullptr) {
        return 0;
    }
    std::memset(directories, 0, sizeof(directories));
    std::size_t count = 0;
    std::size_t length = 0;
    for (const char* at = file_path;; ++at) {
        if (at == last || *at == '/') {
            if (count == max_directories) {
                std::memset(directories, 0, sizeof(directories));
                report(error, "Too many directories in [%s]. Max is %i", file_path,
                       static_cast<int>(max_directories));
                return -1;
            }
            directories[count++][length] = '\0';
            length = 0;
            if (at == last) {
                break;
            }
        } else if (count < max_directories && length < path_size - 1) {
            directories[count][length++] = *at;
        }
    }
    return static_cast<int>(count);
}

long vorlex_parser::text_file_length(const char* path) {
    std::FILE* file = path != nullptr ? std::fopen(path, "r") : nullptr;
    if (file == nullptr) {
        return -1;
    }
    long count = 0;
    while (std::fgetc(file) != EOF) {
        ++count;
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? -1 : count;
}

int vorlex_parser::read_source_line(char* line, const char* start, int size, int position) {
    if (line == nullptr) {
        return 0;
    }
    line[0] = '\0';
    if (start == nullptr || position < 0 || position >= size) {
        return 0;
    }
    int at = position;
    std::size_t stored = 0;
    while (at < size && stored < piece_size - 1) {
        const char c = start[at++];
        if (c == '\r') {
            continue;
        }
        line[stored++] = c;
        if (c == '\n') {
            break;
        }
    }
    line[stored] = '\0';
    if (stored == 0 && at >= size) {
        return 0;
    }
    return at - position;
}

void vorlex_parser::strip_comment(char* line) {
    char* comment = line != nullptr ? std::strchr(line, comment_char) : nullptr;
    if (comment != nullptr && comment_char != '\0') {
        comment[0] = '\n';
        comment[1] = '\0';
    }
}
