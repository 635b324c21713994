// load_bench: the cost of decoding in the sandboxed child, against decoding in-process in the
// same run, on a generated 4096 x 4096 PNG and a 512 x 512 TGA.
//
// First frame: a fresh wrapper loads the file and converts it to BGRA, as start-up does.
// Zoom step: a wrapper that has shown the file reloads it and rescales it with Lanczos to its
// width + 128, as the zoom key does; with the child the reload reuses the kept image, and the
// "changed file" row forces a child decode every time for comparison.
// Each figure is the fastest of the repetitions (default 3; the first argument changes it).
#include <IL/il.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "tools/sandbox/decode_child.h"
#include "tools/devil/devil.h"

namespace {

// A photo-like picture: smooth gradients with a little noise, so PNG compresses it as usual.
std::vector<unsigned char> picture(unsigned side) {
    std::vector<unsigned char> pixels(std::size_t{side} * side * 3);
    unsigned noise = 12345;
    for (unsigned y = 0; y < side; ++y) {
        for (unsigned x = 0; x < side; ++x) {
            noise = noise * 1103515245 + 12345;
            unsigned char grain = static_cast<unsigned char>((noise >> 16) & 7);
            unsigned char* p = &pixels[(std::size_t{y} * side + x) * 3];
            p[0] = static_cast<unsigned char>(x * 255 / side + grain);
            p[1] = static_cast<unsigned char>(y * 255 / side + grain);
            p[2] = static_cast<unsigned char>((x + y) * 127 / side + grain);
        }
    }
    return pixels;
}

bool write_picture(const std::string& path, ILenum type, unsigned side) {
    ILuint image = ilGenImage();
    ilBindImage(image);
    std::vector<unsigned char> pixels = picture(side);
    bool ok = ilTexImage(side, side, 1, 3, IL_RGB, IL_UNSIGNED_BYTE, pixels.data()) &&
              ilSave(type, path.c_str());
    ilDeleteImages(1, &image);
    return ok;
}

double fastest_ms(int repetitions, const std::function<bool()>& step) {
    double best = 1e30;
    for (int i = 0; i < repetitions; ++i) {
        auto start = std::chrono::steady_clock::now();
        if (!step()) {
            std::fprintf(stderr, "load_bench: a step failed\n");
            std::exit(1);
        }
        std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

bool first_frame(const std::string& path) {
    devil lib;
    ILuint image = lib.create_image();
    bool ok = lib.load_file(path.c_str(), nullptr) && lib.convert_to_bgra();
    lib.delete_image(image);
    return ok;
}

bool zoom_step(devil& lib, const std::string& path) {
    char filter[] = "lanczos";
    return lib.load_file(path.c_str(), nullptr) &&
           lib.rescale(static_cast<ILuint>(lib.get_width()) + 128, 0, filter);
}

// A new modification time, so that the next reload finds the file changed.
bool touch(const std::string& path) {
    static long seconds = 1000000;
    timespec times[2] = {{0, UTIME_OMIT}, {++seconds, 0}};
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

double zoom_ms(const std::string& path, int repetitions, bool in_process, bool changed) {
    decode_child::options().in_process = in_process;
    devil lib;
    ILuint image = lib.create_image();
    double ms = lib.load_file(path.c_str(), nullptr)
                    ? fastest_ms(repetitions,
                                 [&] { return (!changed || touch(path)) && zoom_step(lib, path); })
                    : -1;
    lib.delete_image(image);
    return ms;
}

void measure(const char* label, const std::string& path, int repetitions) {
    decode_child::options().in_process = true;
    double direct = fastest_ms(repetitions, [&] { return first_frame(path); });
    decode_child::options().in_process = false;
    double child = fastest_ms(repetitions, [&] { return first_frame(path); });
    double zoom_direct = zoom_ms(path, repetitions, true, false);
    double zoom_child = zoom_ms(path, repetitions, false, false);
    double zoom_changed = zoom_ms(path, repetitions, false, true);
    std::printf("%-18s first frame   in-process %9.1f ms  child %9.1f ms  child/in-process %.3f\n",
                label, direct, child, child / direct);
    std::printf("%-18s zoom step     in-process %9.1f ms  child %9.1f ms  child/in-process %.3f\n",
                label, zoom_direct, zoom_child, zoom_child / zoom_direct);
    std::printf("%-18s zoom, changed in-process %9.1f ms  child %9.1f ms  child/in-process %.3f\n",
                label, zoom_direct, zoom_changed, zoom_changed / zoom_direct);
}

} // namespace

int main(int argc, char** argv) {
    int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    devil keeper; // keeps the library started between the fresh wrappers
    char folder[] = "/tmp/glintview-load-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return 1;
    }
    std::string png = std::string(folder) + "/photo.png";
    std::string tga = std::string(folder) + "/texture.tga";
    if (!write_picture(png, IL_PNG, 4096) || !write_picture(tga, IL_TGA, 512)) {
        std::fprintf(stderr, "load_bench: cannot write the test images in %s\n", folder);
        return 1;
    }
    measure("png 4096 x 4096", png, repetitions);
    measure("tga 512 x 512", tga, repetitions);
    unlink(png.c_str());
    unlink(tga.c_str());
    rmdir(folder);
    return 0;
}
