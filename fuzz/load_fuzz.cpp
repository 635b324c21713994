// Feeds arbitrary bytes to devil::load_file as an image file, decoded in the sandboxed child.
// The first byte picks the file's extension, so every decoder the library has is reached, by
// name or by its own detection; the rest is the file.
//
// A child that crashes, hangs or runs out of memory is the contained ending the sandbox is for:
// those are only counted and printed at the end. Anything that goes wrong in this process (the
// parent's checks and rebuild, the wrapper, the viewer's own steps after a load) is a finding,
// and after every input the process itself is checked: no child left behind, no descriptor
// leaked, and a loaded image is one the viewer can convert and show (tools/sandbox/image_budget.h).
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include <cerrno>
#include <dirent.h>
#include <sys/wait.h>

#include "platform/gdi.h"
#include "tools/devil/devil.h"
#include "tools/sandbox/decode_child.h"
#include "tools/sandbox/image_budget.h"

namespace {

constexpr const char* extensions[] = {
    "bmp", "jpg",  "png", "tga", "tif", "psd", "dds",  "pnm",  "ppm", "pgm", "pbm",
    "hdr", "icns", "gif", "pcx", "sgi", "ico", "psp",  "pic",  "pix", "lif", "mdl",
    "wal", "dcx",  "xpm", "exr", "jp2", "mng", "blp",  "iff",  "vtf", "raw", "cut",
    "dpx", "ftx",  "rot", "tpl", "utx", "wdp", "jpeg", "tiff", "bin", "",
};

struct harness {
    devil lib;
    ILuint image = lib.create_image();
    std::string folder;
    std::uint64_t inputs = 0;

    harness() {
        char shared[] = "/dev/shm/glintview-load-fuzz-XXXXXX";
        char temporary[] = "/tmp/glintview-load-fuzz-XXXXXX";
        folder = mkdtemp(shared) != nullptr      ? shared
                 : mkdtemp(temporary) != nullptr ? temporary
                                                 : "/tmp";
        // Well inside libFuzzer's own -timeout and -rss_limit_mb.
        decode_child::options().limits = {2, 5, std::uint64_t{768} << 20, std::uint64_t{1} << 30};
    }
    ~harness() {
        rmdir(folder.c_str());
        const auto& runs = sandbox::runs_so_far().runs;
        std::printf("load_fuzz: %" PRIu64 " inputs; children: %" PRIu64 " decoded, %" PRIu64
                    " refused, %" PRIu64 " crashed (contained), %" PRIu64
                    " timed out (contained), %" PRIu64 " unusable replies, %" PRIu64
                    " not started\n",
                    inputs, runs[0], runs[1], runs[2], runs[3], runs[4], runs[5]);
    }
};

int open_descriptors() {
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) {
        return -1;
    }
    int count = 0;
    while (readdir(folder) != nullptr) {
        ++count;
    }
    closedir(folder);
    return count;
}

// Ends the run as a finding, so that libFuzzer keeps the input.
// A child that has reported is reaped by a thread of the sandbox's: it gets a moment to end.
// WNOWAIT looks without reaping it here.
bool no_child_left() {
    for (int tries = 0; tries < 400; ++tries) {
        siginfo_t ended{};
        if (waitid(P_ALL, 0, &ended, WEXITED | WNOHANG | WNOWAIT) < 0 && errno == ECHILD) {
            return true;
        }
        usleep(5000);
    }
    return false;
}

void check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "load_fuzz: the viewer's process %s\n", what);
        std::abort();
    }
}

// What the viewer does with a loaded image: the budget, the conversion, the screen bitmap.
void show_as_the_viewer_does(devil& lib) {
    ILinfo info = lib.get_image_info();
    check(image_budget::displayable(info.Width, info.Height, info.Depth),
          "accepted an image beyond the budget");
    lib.get_mipmap_count();
    lib.get_colours_used();
    if (lib.convert_to_bgra()) {
        info = lib.get_image_info();
        auto bitmap = platform::bitmap::create(static_cast<int>(info.Width),
                                               static_cast<int>(info.Height), 1, 32, info.Data);
        check(bitmap != nullptr || info.Bpp != 4, "could not make the bitmap of a BGRA image");
    }
}

harness& the_harness() {
    static harness instance;
    return instance;
}

// Each input gets a name of its own: a file rewritten within one clock tick at the same size
// would otherwise look unchanged and be answered from the kept image.
std::string write_input(harness& h, const std::uint8_t* data, std::size_t size) {
    const char* extension = extensions[data[0] % std::size(extensions)];
    std::string path = h.folder + "/input" + std::to_string(h.inputs++) + "." + extension;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return std::string();
    }
    bool written = std::fwrite(data + 1, 1, size - 1, file) == size - 1;
    return std::fclose(file) == 0 && written ? path : std::string();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    harness& h = the_harness();
    static const int descriptors_at_start = open_descriptors();
    std::string path = write_input(h, data, size);
    if (path.empty()) {
        return 0;
    }
    if (h.lib.load_file(path.c_str(), nullptr)) {
        show_as_the_viewer_does(h.lib);
    }
    unlink(path.c_str());
    check(no_child_left(), "left a child behind");
    check(open_descriptors() == descriptors_at_start, "leaked a descriptor");
    return 0;
}
