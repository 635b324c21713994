#include "tools/devil/jpeg_writer.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <new>

// After <cstdio> and <cstddef>: jpeglib.h uses FILE and size_t without including them.
#include <jpeglib.h>

namespace jpeg_writer {

namespace {

// libjpeg's default error handler ends the process; this one returns to the writer instead.
struct error_exit {
    jpeg_error_mgr library;
    std::jmp_buf back;
};

[[noreturn]] void jump_back(j_common_ptr info) {
    std::longjmp(reinterpret_cast<error_exit*>(info->err)->back, 1);
}

void bgr_to_rgb(const unsigned char* from, unsigned char* to, std::uint32_t width,
                std::uint32_t bytes) {
    for (std::uint32_t x = 0; x < width; ++x, from += bytes, to += 3) {
        to[0] = from[2];
        to[1] = from[1];
        to[2] = from[0];
    }
}

// Separate from `save` so that no object with a destructor lives across the jump.
bool compress(jpeg_compress_struct& info, std::FILE* stream, std::uint32_t width,
              std::uint32_t height, std::uint32_t bytes, const unsigned char* pixels, int quality,
              unsigned char* row) {
    jpeg_stdio_dest(&info, stream);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    info.write_JFIF_header = TRUE;
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::size_t stride = std::size_t{width} * bytes;
    while (info.next_scanline < info.image_height) {
        bgr_to_rgb(pixels + stride * info.next_scanline, row, width, bytes);
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    return std::ferror(stream) == 0;
}

// Where libjpeg's errors land: false, with nothing kept across the jump.
bool guarded(jpeg_compress_struct& info, std::jmp_buf& back, std::FILE* stream, std::uint32_t width,
             std::uint32_t height, std::uint32_t bytes, const unsigned char* pixels, int quality,
             unsigned char* row) {
    if (setjmp(back) != 0) {
        return false;
    }
    jpeg_create_compress(&info);
    return compress(info, stream, width, height, bytes, pixels, quality, row);
}

} // namespace

bool save(std::FILE* stream, std::uint32_t width, std::uint32_t height, std::uint32_t bytes,
          const void* pixels, int quality) {
    if (stream == nullptr || pixels == nullptr || width == 0 || height == 0 ||
        (bytes != 3 && bytes != 4)) {
        return false;
    }
    std::unique_ptr<unsigned char[]> row(new (std::nothrow) unsigned char[std::size_t{width} * 3]);
    if (row == nullptr) {
        return false;
    }
    jpeg_compress_struct info{};
    error_exit errors{};
    info.err = jpeg_std_error(&errors.library);
    errors.library.error_exit = jump_back;
    bool written = guarded(info, errors.back, stream, width, height, bytes,
                           static_cast<const unsigned char*>(pixels), quality, row.get());
    jpeg_destroy_compress(&info);
    return written;
}

} // namespace jpeg_writer
