// The configuration file as start-up finds it: missing, empty, unreadable or read.
//
// Only a regular file is read, and it is opened without waiting, so that a FIFO or a device in
// its place can neither hang the start nor feed it without end. A file that exists but cannot be
// read (no read permission, a folder, a FIFO, a link to nothing) is never written either: the
// user's file stays as it is, and the built-in defaults serve for this run.
#pragma once

#include <cstddef>
#include <string>

enum class configuration_file_state {
    missing,    // nothing at the path: the default file may be written
    empty,      // a regular file without content: rewritten with the defaults
    unreadable, // something is there that cannot be read: left alone, defaults for this run
    read,       // a regular file, read (at most most_configuration_bytes of it)
};

// The most bytes of the file that are read; the parser holds less in any case.
constexpr std::size_t most_configuration_bytes = std::size_t{4} << 20;

// Reads the file at `path` into `text` (emptied first) when it is a readable regular file.
configuration_file_state read_configuration_file(const char* path, std::string& text);
