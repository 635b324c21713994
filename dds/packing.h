// Bit-depth reduction shared by the block encoders and the uncompressed layouts.
#pragma once

#include <array>
#include <cstdint>

namespace dds {

// Readers widen an n-bit channel by repeating its top bits into the low ones.
constexpr int expand_bits(int code, int bits) {
    if (bits == 1) {
        return code ? 255 : 0;
    }
    return (code << (8 - bits)) | (code >> (2 * bits - 8));
}

// For every 8-bit value the n-bit code whose widened value lies nearest. Plain rounding of
// v * (2^n - 1) / 255 is off by one for a few values, so the table is searched, not computed.
template <int Bits> constexpr std::array<std::uint8_t, 256> make_quantize_table() {
    std::array<std::uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v) {
        int best = 0;
        int best_error = 256;
        for (int code = 0; code < (1 << Bits); ++code) {
            int error = expand_bits(code, Bits) - v;
            error = error < 0 ? -error : error;
            if (error < best_error) {
                best_error = error;
                best = code;
            }
        }
        table[v] = static_cast<std::uint8_t>(best);
    }
    return table;
}

inline constexpr auto quantize4_table = make_quantize_table<4>();
inline constexpr auto quantize5_table = make_quantize_table<5>();
inline constexpr auto quantize6_table = make_quantize_table<6>();

inline int quantize4(int v) {
    return quantize4_table[v];
}
inline int quantize5(int v) {
    return quantize5_table[v];
}
inline int quantize6(int v) {
    return quantize6_table[v];
}

// A 565 colour as its three codes; `packed` is the 16-bit word blocks store.
struct colour565 {
    int r = 0; // 5 bits
    int g = 0; // 6 bits
    int b = 0; // 5 bits

    std::uint16_t packed() const { return static_cast<std::uint16_t>((r << 11) | (g << 5) | b); }
    int red() const { return expand_bits(r, 5); }
    int green() const { return expand_bits(g, 6); }
    int blue() const { return expand_bits(b, 5); }
    bool operator==(const colour565&) const = default;
};

inline colour565 quantize565(int red, int green, int blue) {
    return {quantize5(red), quantize6(green), quantize5(blue)};
}

inline void store_le16(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void store_le32(std::uint8_t* out, std::uint32_t value) {
    store_le16(out, value & 0xffffu);
    store_le16(out + 2, value >> 16);
}

} // namespace dds
