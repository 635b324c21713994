#include "tools/devil/staged_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/system.h"

namespace devil_internal {

namespace {

std::string folder_of(const std::string& path) {
    std::size_t separator = path.rfind(platform::path_separator);
    if (separator == std::string::npos) {
        return ".";
    }
    return separator == 0 ? std::string(1, platform::path_separator) : path.substr(0, separator);
}

std::string name_of(const std::string& path) {
    std::size_t separator = path.rfind(platform::path_separator);
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

// An existing target must be a regular file with a write permission: a write-protected file is
// refused, as it would be by a direct write, even for a user whom the folder lets rename. A
// link is never followed: it is replaced by the new file, whatever it names.
bool existing_target_writable(const std::string& target, bool& exists, mode_t& mode) {
    struct stat status {};
    exists = lstat(target.c_str(), &status) == 0;
    if (!exists) {
        return errno == ENOENT;
    }
    if (S_ISLNK(status.st_mode)) {
        exists = false; // the new file takes the creation mask's permissions
        return true;
    }
    mode = status.st_mode & 07777;
    return S_ISREG(status.st_mode) && (status.st_mode & 0222) != 0 &&
           access(target.c_str(), W_OK) == 0;
}

} // namespace

bool staged_file::can_replace(const char* target) {
    if (target == nullptr || *target == '\0') {
        return false;
    }
    bool exists = false;
    mode_t mode = 0;
    if (!existing_target_writable(target, exists, mode)) {
        return false;
    }
    std::string folder = folder_of(target);
    struct stat status {};
    return stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
           access(folder.c_str(), W_OK | X_OK) == 0;
}

staged_file::staged_file(const char* target) {
    if (!can_replace(target)) {
        return;
    }
    target_path = target;
    bool exists = false;
    mode_t mode = 0;
    existing_target_writable(target_path, exists, mode);
    // Hidden and unique in the target's folder, so the final rename never crosses file systems.
    std::string stem = folder_of(target_path) + platform::path_separator + "." +
                       name_of(target_path) + "." + std::to_string(getpid()) + "-";
    for (int attempt = 0; attempt < 100 && descriptor < 0; ++attempt) {
        temp_path = stem + std::to_string(attempt) + ".tmp";
        descriptor = open(temp_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor < 0 && errno != EEXIST) {
            break;
        }
    }
    if (descriptor < 0) {
        temp_path.clear();
        return;
    }
    // A replaced file keeps its permissions; a new one gets the creation mask's.
    if (exists) {
        fchmod(descriptor, mode);
    }
}

staged_file::~staged_file() {
    if (buffered != nullptr) {
        std::fclose(buffered);
    } else if (descriptor >= 0) {
        close(descriptor);
    }
    if (!committed && !temp_path.empty()) {
        platform::delete_file(temp_path.c_str());
    }
}

std::FILE* staged_file::stream() {
    if (buffered == nullptr && descriptor >= 0) {
        buffered = fdopen(descriptor, "wb");
    }
    return buffered;
}

bool staged_file::commit() {
    if (descriptor < 0 || committed) {
        return false;
    }
    bool written = true;
    if (buffered != nullptr) {
        written = std::ferror(buffered) == 0 && std::fflush(buffered) == 0;
    }
    // On the disk before the rename, so that a crash cannot leave an empty file in its place.
    written = written && fsync(descriptor) == 0;
    int closed = buffered != nullptr ? std::fclose(buffered) : close(descriptor);
    buffered = nullptr;
    descriptor = -1;
    if (!written || closed != 0 || !platform::rename_file(temp_path.c_str(), target_path.c_str())) {
        return false;
    }
    committed = true;
    return true;
}

} // namespace devil_internal
