#include "platform/file_watch.h"

#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace platform {

file_watch::~file_watch() {
    if (notify >= 0) {
        ::close(notify);
    }
}

bool file_watch::start(const char* path) {
    if (path == nullptr || path[0] == '\0' || notify >= 0) {
        return false;
    }
    std::string whole = path;
    std::size_t slash = whole.rfind('/');
    std::string folder = slash == std::string::npos ? "."
                         : slash == 0               ? "/"
                                                    : whole.substr(0, slash);
    name = slash == std::string::npos ? whole : whole.substr(slash + 1);
    notify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (notify < 0) {
        return false;
    }
    // Written in place (each write, and its close), or another file renamed or linked over it.
    const std::uint32_t changes = IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE;
    if (::inotify_add_watch(notify, folder.c_str(), changes) < 0) {
        ::close(notify);
        notify = -1;
        return false;
    }
    return true;
}

bool file_watch::changed() {
    bool ours = false;
    alignas(inotify_event) char events[4096];
    for (;;) {
        ssize_t got = ::read(notify, events, sizeof events);
        if (got <= 0) {
            return ours;
        }
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            // The name is zero-padded within its length.
            if (event->len > 0 && std::strncmp(event->name, name.c_str(), event->len) == 0 &&
                name.size() < event->len) {
                ours = true;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

} // namespace platform
