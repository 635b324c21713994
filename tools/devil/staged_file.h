// A temporary file beside a target, renamed over the target only when the write succeeded, so
// a failed write never destroys what was there.
#pragma once

#include <cstdio>
#include <string>

namespace devil_internal {

// The temporary file is removed unless committed.
class staged_file {
  public:
    explicit staged_file(const char* target);
    ~staged_file();
    staged_file(const staged_file&) = delete;
    staged_file& operator=(const staged_file&) = delete;

    // True when a target may be written: its folder exists and, if the target exists, it is a
    // writable regular file or a link, which is replaced by the new file and never followed.
    static bool can_replace(const char* target);

    // False when the target may not be replaced or the temporary file could not be made.
    bool ready() const { return descriptor >= 0; }
    // Open for reading and writing, so that a writer's output can be mended in place.
    int file_descriptor() const { return descriptor; }
    // A buffered stream on the temporary file, for writers that take one; null on failure.
    std::FILE* stream();

    // Flushes the temporary file to the disk, closes it and renames it over the target; false
    // when any of them fails, a write error having been left on the stream included.
    bool commit();

  private:
    std::string target_path;
    std::string temp_path;
    int descriptor = -1;
    std::FILE* buffered = nullptr;
    bool committed = false;
};

} // namespace devil_internal
