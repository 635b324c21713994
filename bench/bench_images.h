// Test images for the benchmark, made by code: photographs are not at hand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct bench_image {
    std::string name;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgra; // tightly packed, top row first
    std::vector<std::uint8_t> rgba; // the same pixels for the peers that want RGBA
};

// Smooth gradients, photo-like value noise, white noise, hard-edged shapes, text-like strokes,
// an alpha ramp and a cut-out sprite, each `side` x `side`.
std::vector<bench_image> make_bench_images(int side);
