// The encoders the benchmark compares: ours through its public entry, and the two peers.
#pragma once

#include <cstdint>
#include <vector>

#include "bench_images.h"

enum class bench_format { dxt1, dxt1a, dxt3, dxt5 };

struct bench_encoder {
    const char* name;
    bool (*supports)(bench_format format);
    // Fills `blocks` with the image's blocks, row of blocks by row of blocks.
    void (*encode)(const bench_image& image, bench_format format,
                   std::vector<std::uint8_t>& blocks);
};

// Ours first, then stb_dxt high quality, stb_dxt normal, libsquish range fit, cluster fit.
const std::vector<bench_encoder>& bench_encoders();

// Decodes blocks to RGBA with libsquish's decoder, the same one for every encoder.
void decode_blocks(const std::vector<std::uint8_t>& blocks, int width, int height,
                   bench_format format, std::vector<std::uint8_t>& rgba);
