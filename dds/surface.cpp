#include "dds/surface.h"

#include <memory>
#include <new>

#include "dds/alpha_block.h"
#include "dds/colour_block.h"
#include "dds/layouts.h"

namespace dds {

namespace {

std::unique_ptr<std::uint8_t[]> allocate(std::uint64_t bytes) {
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow)
                                               std::uint8_t[static_cast<std::size_t>(bytes)]);
}

int finish_row(byte_sink& sink, const std::uint8_t* row, std::uint64_t bytes) {
    return sink.put(row, static_cast<std::size_t>(bytes)) ? 0 : dds_error_write;
}

int encode_blocks(const pixel_view& source, const format_info& format, byte_sink& sink,
                  progress_meter& progress) {
    std::uint64_t bytes = row_bytes(format, source.width);
    std::unique_ptr<std::uint8_t[]> row = allocate(bytes);
    if (!row) {
        return dds_error_memory;
    }
    std::uint8_t block[64];
    for (int y = 0; y < source.height; y += 4) {
        std::uint8_t* out = row.get();
        for (int x = 0; x < source.width; x += 4, out += format.bytes) {
            source.fetch_block(x, y, block);
            encode_block(block, format.code, out);
        }
        if (int result = finish_row(sink, row.get(), bytes); result != 0) {
            return result;
        }
        int rows = source.height - y < 4 ? source.height - y : 4;
        progress.advance(static_cast<std::uint64_t>(rows) *
                         static_cast<std::uint64_t>(source.width));
    }
    return 0;
}

int encode_pixels(const pixel_view& source, const format_info& format, byte_sink& sink,
                  progress_meter& progress) {
    std::uint64_t bytes = row_bytes(format, source.width);
    std::unique_ptr<std::uint8_t[]> bgra = allocate(static_cast<std::uint64_t>(source.width) * 4);
    std::unique_ptr<std::uint8_t[]> row = allocate(bytes);
    if (!bgra || !row) {
        return dds_error_memory;
    }
    for (int y = 0; y < source.height; ++y) {
        source.fetch_row(y, bgra.get());
        convert_row(format.code, bgra.get(), source.width, row.get());
        if (int result = finish_row(sink, row.get(), bytes); result != 0) {
            return result;
        }
        progress.advance(static_cast<std::uint64_t>(source.width));
    }
    return 0;
}

} // namespace

void encode_block(const std::uint8_t bgra[64], std::uint16_t format_code, std::uint8_t* out) {
    switch (format_code) {
    case dds_format_dxt1a:
        encode_colour_block(bgra, true, out);
        break;
    case dds_format_dxt3:
        encode_explicit_alpha(bgra, out);
        encode_colour_block(bgra, false, out + alpha_block_bytes);
        break;
    case dds_format_dxt5:
        encode_interpolated_alpha(bgra, out);
        encode_colour_block(bgra, false, out + alpha_block_bytes);
        break;
    default:
        encode_colour_block(bgra, false, out);
        break;
    }
}

int encode_surface(const pixel_view& source, const format_info& format, byte_sink& sink,
                   progress_meter& progress) {
    return format.block ? encode_blocks(source, format, sink, progress)
                        : encode_pixels(source, format, sink, progress);
}

} // namespace dds
