// The DDS surface compressor: encodes 32-bit (or 24-bit) pixels into a complete DDS file,
// emitted through a write routine in file order.
//
// Caller's obligations: `pixels` holds `height` rows of `width` pixels, each row starting
// `row_pitch` bytes after the one above (top row first); a pixel is `channels` bytes, blue, green,
// red and (with 4 channels) alpha. 3-channel input is taken as opaque.
#pragma once

#include <cstddef>
#include <cstdint>

// Option codes, as callers store them.
constexpr std::uint16_t dds_mipmap_generate = 30;
constexpr std::uint16_t dds_mipmap_none = 32;
constexpr std::uint16_t dds_texture_plain = 80;
constexpr std::uint16_t dds_texture_cube_strip = 81; // only the power-of-two test changes: width / 6

enum dds_surface_format : std::uint16_t {
    dds_format_dxt1 = 10,
    dds_format_dxt1a = 11,
    dds_format_dxt3 = 12,
    dds_format_dxt5 = 13,
    dds_format_4444 = 14,
    dds_format_1555 = 15,
    dds_format_565 = 16,
    dds_format_8888 = 17,
    dds_format_888 = 18,
    dds_format_555 = 19,
};

// The options record. Fields not named here stay zero and mean nothing to this compressor.
struct dds_options_record {
    std::uint8_t mipmaps_in_input;  // 0: the input carries no mipmaps of its own
    std::uint16_t mipmap_mode;      // dds_mipmap_generate or dds_mipmap_none
    std::uint16_t reserved[6];      // further option fields, unused
    std::uint16_t texture_kind;     // dds_texture_plain or dds_texture_cube_strip
    std::uint16_t surface_format;   // dds_surface_format, 10 to 19
};

// Receives the next `count` bytes of the file; returns false to abandon the file.
using dds_write_routine = bool (*)(const void* bytes, std::size_t count, void* context);

// Called now and then with the share done, 0 to 1; may be null.
using dds_progress_routine = void (*)(float done, void* context);

constexpr int dds_error_no_pixels = -1;
constexpr int dds_error_channels = -2;
constexpr int dds_error_not_power_of_two = -3;
constexpr int dds_error_bad_options = -4; // unknown format or mode, zero size, short pitch
constexpr int dds_error_write = -5;       // the write routine refused bytes
constexpr int dds_error_memory = -6;

// Writes the whole DDS file through `write`. Returns the number of bytes written (>= 0) on
// success, or one of the negative codes above. The options are copied before use.
long dds_compress(const void* pixels, int width, int height, int row_pitch,
                  const dds_options_record& options, int channels, dds_progress_routine progress,
                  void* progress_context, dds_write_routine write, void* write_context);
