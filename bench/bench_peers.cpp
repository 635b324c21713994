#include "bench_peers.h"

#include <algorithm>
#include <cstring>
#include <squish.h>

#include "dds/dds.h"

extern "C" {
#include <stb_dxt.h>
}

namespace {

bool any_format(bench_format) {
    return true;
}
bool stb_format(bench_format format) {
    return format != bench_format::dxt1a;
}

// Keeps the surface bytes and drops the 128-byte header, straight into the caller's buffer.
struct block_collector {
    std::vector<std::uint8_t>* blocks;
    std::size_t header_left;
};

bool collect(const void* bytes, std::size_t count, void* context) {
    auto* collector = static_cast<block_collector*>(context);
    const auto* in = static_cast<const std::uint8_t*>(bytes);
    std::size_t skip = std::min(count, collector->header_left);
    collector->header_left -= skip;
    collector->blocks->insert(collector->blocks->end(), in + skip, in + count);
    return true;
}

void encode_ours(const bench_image& image, bench_format format, std::vector<std::uint8_t>& blocks) {
    static const std::uint16_t codes[] = {dds_format_dxt1, dds_format_dxt1a, dds_format_dxt3,
                                          dds_format_dxt5};
    dds_options_record options{};
    options.mipmap_mode = dds_mipmap_none;
    options.texture_kind = dds_texture_plain;
    options.surface_format = codes[static_cast<int>(format)];
    blocks.clear(); // keeps its capacity from the previous run, as the peers' buffers do
    block_collector collector{&blocks, 128};
    dds_compress(image.bgra.data(), image.width, image.height, image.width * 4, options, 4, nullptr,
                 nullptr, collect, &collector);
}

int squish_flags(bench_format format) {
    switch (format) {
    case bench_format::dxt3:
        return squish::kDxt3;
    case bench_format::dxt5:
        return squish::kDxt5;
    default:
        return squish::kDxt1;
    }
}

// Block by block on this thread: Debian builds CompressImage with OpenMP, which would spread
// one image over every core and compare threads rather than encoders.
template <int Fit>
void encode_squish(const bench_image& image, bench_format format,
                   std::vector<std::uint8_t>& blocks) {
    int flags = squish_flags(format) | Fit;
    int block_bytes = format == bench_format::dxt1 || format == bench_format::dxt1a ? 8 : 16;
    blocks.resize(static_cast<std::size_t>(image.width / 4) * (image.height / 4) * block_bytes);
    std::uint8_t* out = blocks.data();
    std::uint8_t rgba[64];
    for (int y = 0; y < image.height; y += 4) {
        for (int x = 0; x < image.width; x += 4, out += block_bytes) {
            for (int row = 0; row < 4; ++row) {
                std::memcpy(rgba + row * 16, &image.rgba[((y + row) * image.width + x) * 4], 16);
            }
            squish::Compress(rgba, out, flags);
        }
    }
}

// stb_dxt has no DXT3: its colour block beside alpha rounded to 4 bits stands in.
void stb_explicit_alpha(const std::uint8_t* rgba, std::uint8_t* out) {
    for (int pair = 0; pair < 8; ++pair) {
        int low = (rgba[8 * pair + 3] * 15 + 127) / 255;
        int high = (rgba[8 * pair + 7] * 15 + 127) / 255;
        out[pair] = static_cast<std::uint8_t>(low | high << 4);
    }
}

template <int Mode>
void encode_stb(const bench_image& image, bench_format format, std::vector<std::uint8_t>& blocks) {
    int block_bytes = format == bench_format::dxt1 ? 8 : 16;
    blocks.resize(static_cast<std::size_t>(image.width / 4) * (image.height / 4) * block_bytes);
    std::uint8_t* out = blocks.data();
    std::uint8_t rgba[64];
    for (int y = 0; y < image.height; y += 4) {
        for (int x = 0; x < image.width; x += 4, out += block_bytes) {
            for (int row = 0; row < 4; ++row) {
                const std::uint8_t* in = &image.bgra[((y + row) * image.width + x) * 4];
                for (int column = 0; column < 4; ++column, in += 4) {
                    std::uint8_t* p = rgba + (row * 4 + column) * 4;
                    p[0] = in[2], p[1] = in[1], p[2] = in[0], p[3] = in[3];
                }
            }
            if (format == bench_format::dxt3) {
                stb_explicit_alpha(rgba, out);
                stb_compress_dxt_block(out + 8, rgba, 0, Mode);
            } else {
                stb_compress_dxt_block(out, rgba, format == bench_format::dxt5 ? 1 : 0, Mode);
            }
        }
    }
}

} // namespace

const std::vector<bench_encoder>& bench_encoders() {
    static const std::vector<bench_encoder> encoders = {
        {"ours", any_format, encode_ours},
        {"stb_hq", stb_format, encode_stb<STB_DXT_HIGHQUAL>},
        {"stb", stb_format, encode_stb<STB_DXT_NORMAL>},
        {"sq_range", any_format, encode_squish<squish::kColourRangeFit>},
        {"sq_cluster", any_format, encode_squish<squish::kColourClusterFit>},
    };
    return encoders;
}

void decode_blocks(const std::vector<std::uint8_t>& blocks, int width, int height,
                   bench_format format, std::vector<std::uint8_t>& rgba) {
    rgba.resize(static_cast<std::size_t>(width) * height * 4);
    squish::DecompressImage(rgba.data(), width, height, blocks.data(), squish_flags(format));
}
