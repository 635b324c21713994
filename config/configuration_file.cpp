#include "config/configuration_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Nothing at all at the path, not even a link: the only case in which a file may be made there.
bool nothing_at(const char* path) {
    struct stat status {};
    return lstat(path, &status) != 0 && errno == ENOENT;
}

// Up to `most` bytes; false on a read error.
bool read_at_most(int descriptor, std::string& text, std::size_t most) {
    char chunk[65536];
    while (text.size() < most) {
        std::size_t wanted = std::min(sizeof chunk, most - text.size());
        ssize_t got = read(descriptor, chunk, wanted);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return true;
}

} // namespace

configuration_file_state read_configuration_file(const char* path, std::string& text) {
    text.clear();
    if (path == nullptr || *path == '\0') {
        return configuration_file_state::missing; // names nothing; writing it fails harmlessly
    }
    // O_NONBLOCK: opening a FIFO waits for a writer otherwise.
    int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        return nothing_at(path) ? configuration_file_state::missing
                                : configuration_file_state::unreadable;
    }
    struct stat status {};
    bool regular = fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
    bool read = regular && read_at_most(descriptor, text, most_configuration_bytes);
    close(descriptor);
    if (!read) {
        text.clear();
        return configuration_file_state::unreadable;
    }
    return text.empty() ? configuration_file_state::empty : configuration_file_state::read;
}
