// Changes to one file, seen through its folder so that a save by rename counts too.
#pragma once

#include <string>

namespace platform {

class file_watch {
  public:
    file_watch() = default;
    ~file_watch();
    file_watch(const file_watch&) = delete;
    file_watch& operator=(const file_watch&) = delete;

    // Watches the folder of `path` for files written, replaced or moved in. False when the
    // system cannot watch it.
    bool start(const char* path);
    // Readable while changes wait to be read; -1 before a successful start.
    int descriptor() const { return notify; }
    // Reads every change waiting; true when one of them concerns the file.
    bool changed();

  private:
    int notify = -1;
    std::string name; // the file's name in its folder
};

} // namespace platform
