// Helpers for the DDS compressor's tests: generated images, in-memory compression, DevIL
// decoding and an independent block decoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dds/dds.h"

namespace dds_test {

struct image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgra; // tightly packed, top row first
};

// Smooth colour and alpha gradients with some hard edges and noise: a little of everything.
image make_mixed_image(int width, int height, unsigned seed = 1);

dds_options_record options_for(std::uint16_t format, bool mipmaps);

// The whole file dds_compress writes, and its return value.
struct compressed {
    long result = 0;
    std::string file;
};
compressed compress(const image& source, std::uint16_t format, bool mipmaps);
compressed compress(const std::uint8_t* pixels, int width, int height, int pitch, int channels,
                    const dds_options_record& options);

std::uint32_t read_le32(const std::string& file, std::size_t offset);

// Decodes the file with DevIL into BGRA, top row first. `level` picks a mipmap (0: the top).
// Returns false when DevIL refuses the file.
bool devil_decode(const std::string& file, image& out, int level = 0);
int devil_mipmap_count(const std::string& file);

// Reference decoding of one block to 16 BGRA pixels, written from the format's description
// rather than from the encoder: in-between colours and alphas round down.
void decode_dxt1(const std::uint8_t* block, std::uint8_t out[64]);
void decode_dxt3(const std::uint8_t* block, std::uint8_t out[64]);
void decode_dxt5(const std::uint8_t* block, std::uint8_t out[64]);

// Largest difference of any channel between two equally sized BGRA images.
int max_channel_error(const image& a, const image& b, bool with_alpha = true);
// Root mean square difference over the colour channels.
double rmse(const image& a, const image& b);

} // namespace dds_test
