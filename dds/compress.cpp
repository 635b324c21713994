// The compressor's entry: checks the request, then writes the header and every level.
#include <cstdint>
#include <memory>
#include <new>

#include "dds/dds.h"
#include "dds/formats.h"
#include "dds/header.h"
#include "dds/mipmap.h"
#include "dds/output.h"
#include "dds/surface.h"

namespace {

using dds::format_info;
using dds::pixel_view;

// Past this a side or a surface no longer fits the header's 32-bit fields.
constexpr std::uint64_t largest_surface = 0xffffffffu;

bool is_power_of_two(long long side) {
    return side > 0 && (side & (side - 1)) == 0;
}

bool block_sides_fit(int width, int height, std::uint16_t kind) {
    if (kind == dds_texture_cube_strip) {
        return width % 6 == 0 && is_power_of_two(width / 6) && is_power_of_two(height);
    }
    return is_power_of_two(width) && is_power_of_two(height);
}

bool options_known(const dds_options_record& options) {
    return (options.mipmap_mode == dds_mipmap_generate || options.mipmap_mode == dds_mipmap_none) &&
           (options.texture_kind == dds_texture_plain ||
            options.texture_kind == dds_texture_cube_strip);
}

bool sizes_fit(const format_info& format, int width, int height, int row_pitch, int channels) {
    if (width <= 0 || height <= 0) {
        return false;
    }
    std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    return row_pitch >= static_cast<long long>(width) * channels && pixels * 4 <= largest_surface &&
           dds::surface_bytes(format, width, height) <= largest_surface;
}

std::uint64_t chain_pixels(int width, int height, int levels) {
    std::uint64_t total = 0;
    for (int level = 0; level < levels; ++level) {
        total += static_cast<std::uint64_t>(dds::level_side(width, level)) *
                 static_cast<std::uint64_t>(dds::level_side(height, level));
    }
    return total;
}

// Levels 1 and up, each shrunk from the one above into the buffer the level before it left free.
int write_mipmaps(const pixel_view& top, int levels, const format_info& format,
                  dds::byte_sink& sink, dds::progress_meter& progress) {
    std::size_t largest = static_cast<std::size_t>(dds::level_side(top.width, 1)) *
                          static_cast<std::size_t>(dds::level_side(top.height, 1)) * 4;
    std::unique_ptr<std::uint8_t[]> buffers[2] = {
        std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[largest]),
        std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[largest])};
    if (!buffers[0] || !buffers[1]) {
        return dds_error_memory;
    }
    pixel_view above = top;
    for (int level = 1; level < levels; ++level) {
        int width = dds::level_side(top.width, level);
        int height = dds::level_side(top.height, level);
        std::uint8_t* out = buffers[level % 2].get();
        if (!dds::shrink_box(above, width, height, out)) {
            return dds_error_memory;
        }
        above = pixel_view{out, static_cast<std::ptrdiff_t>(width) * 4, width, height, 4};
        if (int result = dds::encode_surface(above, format, sink, progress); result != 0) {
            return result;
        }
    }
    return 0;
}

long write_file(const pixel_view& top, const format_info& format, bool mipmapped,
                dds_progress_routine progress_routine, void* progress_context,
                dds::byte_sink& sink) {
    int levels = mipmapped ? dds::full_chain_levels(top.width, top.height) : 1;
    dds::progress_meter progress(progress_routine, progress_context,
                                 chain_pixels(top.width, top.height, levels));
    std::uint8_t header[dds::header_bytes];
    dds::build_header(format, top.width, top.height, mipmapped, levels, header);
    if (!sink.put(header, sizeof header)) {
        return dds_error_write;
    }
    int result = dds::encode_surface(top, format, sink, progress);
    if (result == 0 && levels > 1) {
        result = write_mipmaps(top, levels, format, sink, progress);
    }
    if (result == 0 && !sink.flush()) {
        result = dds_error_write;
    }
    if (result != 0) {
        return result;
    }
    progress.finish();
    return static_cast<long>(sink.written());
}

} // namespace

long dds_compress(const void* pixels, int width, int height, int row_pitch,
                  const dds_options_record& options, int channels, dds_progress_routine progress,
                  void* progress_context, dds_write_routine write, void* write_context) {
    if (pixels == nullptr) {
        return dds_error_no_pixels;
    }
    if (channels != 3 && channels != 4) {
        return dds_error_channels;
    }
    const dds_options_record settings = options; // the caller may reuse its record meanwhile
    const format_info* format = dds::find_format(settings.surface_format);
    if (format == nullptr || !options_known(settings)) {
        return dds_error_bad_options;
    }
    if (format->block && !block_sides_fit(width, height, settings.texture_kind)) {
        return dds_error_not_power_of_two;
    }
    if (write == nullptr || !sizes_fit(*format, width, height, row_pitch, channels)) {
        return dds_error_bad_options;
    }
    pixel_view top{static_cast<const std::uint8_t*>(pixels), row_pitch, width, height, channels};
    auto sink =
        std::unique_ptr<dds::byte_sink>(new (std::nothrow) dds::byte_sink(write, write_context));
    if (!sink) {
        return dds_error_memory;
    }
    return write_file(top, *format, settings.mipmap_mode == dds_mipmap_generate, progress,
                      progress_context, *sink);
}
