// colours_bench: devil::get_colours_used against the library's iluColoursUsed on one generated
// 4096 x 4096 image, as loaded (RGB) and after the viewer's conversion to BGRA.
// Run: build/bench/colours_bench [side]
#include <IL/il.h>
#include <IL/ilu.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tools/devil.h"

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
    lib.delete_image(image);
    return 0;
}
