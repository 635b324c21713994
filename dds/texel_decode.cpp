#include "dds/texel_decode.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <squish.h>

#include "dds/bc6h_decode.h"
#include "dds/bc7_decode.h"

namespace dds {

namespace {

constexpr std::uint32_t block_side = 4;
constexpr std::uint32_t block_texels = block_side * block_side;

bool block_compressed(texel_kind kind) {
    return kind >= texel_kind::bc1 && kind <= texel_kind::bc7;
}

std::uint32_t block_bytes(texel_kind kind) {
    return kind == texel_kind::bc1 || kind == texel_kind::bc4 ? 8 : 16;
}

std::uint32_t stored_pixel_bytes(const texel_format& format) {
    switch (format.kind) {
    case texel_kind::masks:
        return format.layout.bits / 8;
    case texel_kind::r8:
        return 1;
    case texel_kind::rg8:
        return 2;
    case texel_kind::rgba16:
    case texel_kind::rgba16f:
        return 8;
    case texel_kind::rgba32f:
        return 16;
    default:
        return 4;
    }
}

std::uint32_t little_endian(const std::uint8_t* bytes, std::uint32_t count) {
    std::uint32_t value = 0;
    for (std::uint32_t i = count; i-- > 0;) {
        value = value << 8 | bytes[i];
    }
    return value;
}

void put_channel(std::uint8_t* at, channel_type type, std::uint32_t value) {
    if (type == channel_type::u8) {
        *at = static_cast<std::uint8_t>(value);
    } else {
        auto wide = static_cast<std::uint16_t>(value);
        std::memcpy(at, &wide, sizeof wide);
    }
}

// ---- Block formats ----

// BC4's eight levels, as libsquish decodes a DXT5 alpha block: interpolated with truncation.
void bc4_levels(const std::uint8_t* block, std::uint8_t levels[8]) {
    std::uint32_t first = block[0], second = block[1];
    levels[0] = block[0];
    levels[1] = block[1];
    std::uint32_t steps = first > second ? 7 : 5;
    for (std::uint32_t i = 1; i < steps; ++i) {
        levels[i + 1] = static_cast<std::uint8_t>(((steps - i) * first + i * second) / steps);
    }
    if (steps == 5) {
        levels[6] = 0;
        levels[7] = 255;
    }
}

// Writes a BC4 block's 16 values `stride` bytes apart.
void decode_bc4(const std::uint8_t* block, std::uint8_t* out, std::uint32_t stride) {
    std::uint8_t levels[8];
    bc4_levels(block, levels);
    std::uint64_t indices = 0;
    for (int i = 5; i >= 0; --i) {
        indices = indices << 8 | block[2 + i];
    }
    for (std::uint32_t texel = 0; texel < block_texels; ++texel) {
        out[texel * stride] = levels[(indices >> (3 * texel)) & 7];
    }
}

std::uint8_t unit_normal_z(std::uint8_t red, std::uint8_t green) {
    float x = red / 127.5f - 1.0f;
    float y = green / 127.5f - 1.0f;
    float z = std::sqrt(std::max(0.0f, 1.0f - x * x - y * y));
    return static_cast<std::uint8_t>(std::lround(z * 127.5f + 127.5f));
}

void decode_bc5(const std::uint8_t* block, std::uint8_t* rgb) {
    decode_bc4(block, rgb, 3);
    decode_bc4(block + 8, rgb + 1, 3);
    for (std::uint32_t texel = 0; texel < block_texels; ++texel) {
        std::uint8_t* pixel = rgb + texel * 3;
        pixel[2] = unit_normal_z(pixel[0], pixel[1]);
    }
}

// Premultiplied colours back to straight ones, as the image library shows DXT2 and DXT4.
void divide_by_alpha(std::uint8_t* rgba) {
    for (std::uint32_t texel = 0; texel < block_texels; ++texel) {
        std::uint8_t* pixel = rgba + texel * 4;
        std::uint32_t alpha = pixel[3];
        for (int c = 0; alpha > 0 && c < 3; ++c) {
            pixel[c] =
                static_cast<std::uint8_t>(std::min(255u, (pixel[c] * 255u + alpha / 2) / alpha));
        }
    }
}

// One block's 16 texels in the output layout, row by row.
void decode_block(texel_kind kind, const std::uint8_t* block, std::uint8_t* texels) {
    auto* target = reinterpret_cast<squish::u8*>(texels);
    switch (kind) {
    case texel_kind::bc1:
        squish::Decompress(target, block, squish::kDxt1);
        break;
    case texel_kind::bc2:
    case texel_kind::bc2_premultiplied:
        squish::Decompress(target, block, squish::kDxt3);
        break;
    case texel_kind::bc3:
    case texel_kind::bc3_premultiplied:
        squish::Decompress(target, block, squish::kDxt5);
        break;
    case texel_kind::bc4:
        decode_bc4(block, texels, 1);
        break;
    case texel_kind::bc5:
        decode_bc5(block, texels);
        break;
    case texel_kind::bc6h_unsigned:
    case texel_kind::bc6h_signed: {
        float rgb[block_texels * 3];
        decode_bc6h_block(block, kind == texel_kind::bc6h_signed, rgb);
        std::memcpy(texels, rgb, sizeof rgb);
        break;
    }
    case texel_kind::bc7:
        decode_bc7_block(block, texels);
        break;
    default:
        break;
    }
    if (kind == texel_kind::bc2_premultiplied || kind == texel_kind::bc3_premultiplied) {
        divide_by_alpha(texels);
    }
}

void decode_blocks(const texel_format& format, const std::uint8_t* stored, surface& out) {
    std::uint32_t pixel = channel_count(format.channels) * channel_bytes(format.type);
    std::uint32_t across = (out.width + 3) / 4, down = (out.height + 3) / 4;
    std::uint32_t bytes = block_bytes(format.kind);
    std::uint8_t texels[block_texels * 16];
    for (std::uint32_t slice = 0; slice < out.depth; ++slice) {
        std::uint8_t* plane =
            out.pixels.data() + std::size_t{slice} * out.width * out.height * pixel;
        for (std::uint32_t by = 0; by < down; ++by) {
            for (std::uint32_t bx = 0; bx < across; ++bx, stored += bytes) {
                decode_block(format.kind, stored, texels);
                std::uint32_t columns = std::min(block_side, out.width - bx * 4);
                std::uint32_t rows = std::min(block_side, out.height - by * 4);
                for (std::uint32_t row = 0; row < rows; ++row) {
                    std::size_t at = (std::size_t{by} * 4 + row) * out.width + bx * 4;
                    std::memcpy(plane + at * pixel, texels + row * 4 * pixel, columns * pixel);
                }
            }
        }
    }
}

// ---- Plain layouts ----

// The channels a mask layout fills, in output order: indices into mask_layout::masks.
int mask_channels(channel_set set, int (&order)[4]) {
    switch (set) {
    case channel_set::luminance:
        order[0] = 0;
        return 1;
    case channel_set::luminance_alpha:
        order[0] = 0;
        order[1] = 3;
        return 2;
    case channel_set::alpha:
        order[0] = 3;
        return 1;
    case channel_set::rgb:
        order[0] = 0, order[1] = 1, order[2] = 2;
        return 3;
    case channel_set::rgba:
        order[0] = 0, order[1] = 1, order[2] = 2, order[3] = 3;
        return 4;
    }
    return 0;
}

void decode_masks(const texel_format& format, const std::uint8_t* stored, std::uint8_t* out,
                  std::size_t count) {
    int order[4] = {};
    int channels = mask_channels(format.channels, order);
    std::uint32_t in_bytes = format.layout.bits / 8;
    std::uint32_t out_bits = channel_bytes(format.type) * 8;
    for (std::size_t i = 0; i < count; ++i, stored += in_bytes) {
        std::uint32_t value = little_endian(stored, in_bytes);
        for (int c = 0; c < channels; ++c, out += out_bits / 8) {
            std::uint32_t mask = format.layout.masks[order[c]];
            std::uint32_t bits = static_cast<std::uint32_t>(std::popcount(mask));
            std::uint32_t field = mask == 0 ? 0 : (value & mask) >> std::countr_zero(mask);
            put_channel(out, format.type, expand_to_full_range(field, bits, out_bits));
        }
    }
}

void decode_plain(const texel_format& format, const std::uint8_t* in, std::uint8_t* out,
                  std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        switch (format.kind) {
        case texel_kind::rgba8:
            std::memcpy(out + i * 4, in + i * 4, 4);
            break;
        case texel_kind::bgra8:
        case texel_kind::bgrx8: {
            std::uint32_t kept = format.kind == texel_kind::bgra8 ? 4 : 3;
            const std::uint8_t* pixel = in + i * 4;
            std::uint8_t rgba[4] = {pixel[2], pixel[1], pixel[0], pixel[3]};
            std::memcpy(out + i * kept, rgba, kept);
            break;
        }
        case texel_kind::rgb10a2: {
            std::uint32_t value = little_endian(in + i * 4, 4);
            for (std::uint32_t c = 0; c < 4; ++c) {
                std::uint32_t bits = c < 3 ? 10 : 2;
                std::uint32_t field = (value >> (10 * c)) & ((1u << bits) - 1);
                put_channel(out + (i * 4 + c) * 2, channel_type::u16,
                            expand_to_full_range(field, bits, 16));
            }
            break;
        }
        case texel_kind::rgba16:
        case texel_kind::rgba32f: {
            std::uint32_t bytes = stored_pixel_bytes(format); // stored as they are shown
            std::memcpy(out + i * bytes, in + i * bytes, bytes);
            break;
        }
        case texel_kind::rgba16f:
            for (std::uint32_t c = 0; c < 4; ++c) {
                float value =
                    half_to_float(static_cast<std::uint16_t>(little_endian(in + i * 8 + c * 2, 2)));
                std::memcpy(out + (i * 4 + c) * 4, &value, 4);
            }
            break;
        case texel_kind::r8:
            out[i] = in[i];
            break;
        case texel_kind::rg8: {
            std::uint8_t rgb[3] = {in[i * 2], in[i * 2 + 1], 0};
            std::memcpy(out + i * 3, rgb, 3);
            break;
        }
        default:
            break;
        }
    }
}

} // namespace

std::uint32_t expand_to_full_range(std::uint32_t value, std::uint32_t bits,
                                   std::uint32_t out_bits) {
    if (bits == 0) {
        return 0;
    }
    std::uint64_t top = (std::uint64_t{1} << bits) - 1;
    std::uint64_t out_top = (std::uint64_t{1} << out_bits) - 1;
    return static_cast<std::uint32_t>((value * out_top * 2 + top) / (top * 2));
}

float half_to_float(std::uint16_t half) {
    std::uint32_t sign = (half >> 15) & 1, exponent = (half >> 10) & 31, mantissa = half & 1023;
    float magnitude = 0.0f;
    if (exponent == 0) {
        magnitude = std::ldexp(static_cast<float>(mantissa), -24);
    } else if (exponent == 31) {
        magnitude = mantissa == 0 ? INFINITY : NAN;
    } else {
        magnitude =
            std::ldexp(static_cast<float>(mantissa + 1024), static_cast<int>(exponent) - 25);
    }
    return sign != 0 ? -magnitude : magnitude;
}

std::uint64_t stored_bytes(const texel_format& format, std::uint32_t width, std::uint32_t height,
                           std::uint32_t depth) {
    if (block_compressed(format.kind)) {
        std::uint64_t blocks = std::uint64_t{(width + 3) / 4} * ((height + 3) / 4) * depth;
        return blocks * block_bytes(format.kind);
    }
    return std::uint64_t{width} * height * depth * stored_pixel_bytes(format);
}

void decode_surface(const texel_format& format, const std::uint8_t* stored, surface& out) {
    std::size_t count = std::size_t{out.width} * out.height * out.depth;
    out.pixels.assign(count * channel_count(format.channels) * channel_bytes(format.type), 0);
    if (block_compressed(format.kind)) {
        decode_blocks(format, stored, out);
    } else if (format.kind == texel_kind::masks) {
        decode_masks(format, stored, out.pixels.data(), count);
    } else {
        decode_plain(format, stored, out.pixels.data(), count);
    }
}

} // namespace dds
