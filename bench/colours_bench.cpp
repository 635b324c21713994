// colours_bench: devil::get_colours_used against the library's iluColoursUsed on one generated
// 4096 x 4096 image, as loaded (RGB) and after the viewer's conversion to BGRA; then that
// conversion against the library's ilConvertImage.
// Run: build/bench/colours_bench [side]
#include <IL/il.h>
#include <IL/ilu.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tools/devil/devil.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Photo-like: smooth gradients under grain, about as many colours as a large photograph.
std::vector<unsigned char> photo_like(unsigned side) {
    std::vector<unsigned char> rgb(std::size_t{side} * side * 3);
    std::uint32_t seed = 1;
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
        unsigned x = i / 3 % side;
        unsigned y = i / 3 / side;
        seed = seed * 1664525u + 1013904223u;
        rgb[i] = static_cast<unsigned char>(x * 200 / side + (seed >> 28));
        rgb[i + 1] = static_cast<unsigned char>(y * 200 / side + (seed >> 12 & 7));
        rgb[i + 2] = static_cast<unsigned char>((x + y) * 100 / side + (seed >> 20 & 3));
    }
    return rgb;
}

// Best of three counts, each by a fresh wrapper object so that nothing is reused.
double ours(ILuint& count) {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        devil counter;
        auto start = std::chrono::steady_clock::now();
        count = counter.get_colours_used();
        best = std::min(best, seconds_since(start));
    }
    return best;
}

void compare(const char* state) {
    ILuint mine = 0;
    double our_time = ours(mine);
    auto start = std::chrono::steady_clock::now();
    ILuint theirs = iluColoursUsed();
    double their_time = seconds_since(start);
    std::printf("%-10s colours %u (library %u, %s)  ours %.1f ms  iluColoursUsed %.1f ms  "
                "ratio %.0fx\n",
                state, mine, theirs, mine == theirs ? "equal" : "DIFFERENT", our_time * 1e3,
                their_time * 1e3, their_time / our_time);
}

// The bound image made anew from `pixels` (`channels` bytes each, in `format`), then converted
// to BGRA by `convert`: the best of three runs in ms, and the last run's pixels in `result`.
template <typename conversion>
double conversion_time(const std::vector<unsigned char>& pixels, unsigned side, ILubyte channels,
                       ILenum format, conversion convert, std::vector<unsigned char>& result) {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        ilTexImage(side, side, 1, channels, format, IL_UNSIGNED_BYTE,
                   const_cast<unsigned char*>(pixels.data()));
        auto start = std::chrono::steady_clock::now();
        convert();
        best = std::min(best, seconds_since(start) * 1e3);
    }
    const unsigned char* data = ilGetData();
    result.assign(data, data + ilGetInteger(IL_IMAGE_SIZE_OF_DATA));
    return best;
}

// The wrapper's conversion to BGRA against the library's ilConvertImage on the same image.
void compare_conversions(devil& lib, const std::vector<unsigned char>& pixels, unsigned side,
                         ILubyte channels, ILenum format, const char* state) {
    std::vector<unsigned char> mine, theirs;
    double our_time = conversion_time(
        pixels, side, channels, format, [&lib] { lib.convert_to_bgra(); }, mine);
    double their_time = conversion_time(
        pixels, side, channels, format, [] { ilConvertImage(IL_BGRA, IL_UNSIGNED_BYTE); }, theirs);
    std::printf("%s to BGRA (pixels %s)  ours %.1f ms  ilConvertImage %.1f ms  ratio %.1fx\n",
                state, mine == theirs ? "equal" : "DIFFERENT", our_time, their_time,
                their_time / our_time);
}

} // namespace

int main(int argc, char** argv) {
    unsigned side = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 4096;
    devil lib;
    ILuint image = lib.create_image();
    std::vector<unsigned char> rgb = photo_like(side);
    ilTexImage(side, side, 1, 3, IL_RGB, IL_UNSIGNED_BYTE, rgb.data());
    std::printf("%u x %u, one thread\n", side, side);
    compare("as loaded");
    lib.convert_to_bgra();
    compare("BGRA");
    lib.get_colours_used();
    auto start = std::chrono::steady_clock::now();
    lib.get_colours_used();
    std::printf("a repeated call on an unchanged image: %.3f ms\n", seconds_since(start) * 1e3);
    compare_conversions(lib, rgb, side, 3, IL_RGB, "RGB");
    std::vector<unsigned char> rgba;
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
        rgba.insert(rgba.end(), {rgb[i], rgb[i + 1], rgb[i + 2], static_cast<unsigned char>(i)});
    }
    compare_conversions(lib, rgba, side, 4, IL_RGBA, "RGBA");
    lib.delete_image(image);
    return 0;
}
