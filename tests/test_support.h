// Helpers shared by the unit tests: scratch folders and whole-file reads and writes.
#pragma once

#include <string>

namespace test_support {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class scratch_dir {
  public:
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;

    const std::string& path() const { return root; }
    std::string file(const std::string& name) const { return root + "/" + name; }

  private:
    std::string root;
};

bool write_file(const std::string& path, const std::string& bytes);
// A whole 2 x 2, 24-bit uncompressed TGA file.
std::string tiny_tga();
std::string read_file(const std::string& path);
bool exists(const std::string& path);

} // namespace test_support
