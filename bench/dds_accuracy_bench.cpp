// How exactly DDS textures are shown: our reader against the image library's, on files made by
// our compressor and by libsquish in every format both can make.
//   dds_accuracy_bench [image files...]
// Checks, per file: BC1-BC5 equal libsquish's decode of the same blocks; uncompressed layouts
// equal the full-range expansion of their stored values. Then prints the RMSE against the
// source image through our reader and through the library's, side by side. Real images are
// taken through ImageMagick (its built-in rose, logo and wizard by default, 256 x 256).
#include <IL/il.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <squish.h>
#include <string>
#include <vector>

#include "bench_images.h"
#include "dds/dds.h"
#include "dds/dds_reader.h"

namespace {

constexpr int side = 256;

using pixels = std::vector<std::uint8_t>; // BGRA, top row first

// ---- Sources ----

bool read_with_imagemagick(const std::string& source, bench_image& out) {
    std::string raw = "/tmp/dds_accuracy_bench.raw";
    std::string command = "convert '" + source + "' -resize " + std::to_string(side) + "x" +
                          std::to_string(side) + "! -depth 8 bgra:" + raw + " 2>/dev/null";
    if (std::system(command.c_str()) != 0) {
        return false;
    }
    std::FILE* file = std::fopen(raw.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    out.name = source;
    out.width = out.height = side;
    out.bgra.resize(std::size_t{side} * side * 4);
    bool read = std::fread(out.bgra.data(), 1, out.bgra.size(), file) == out.bgra.size();
    std::fclose(file);
    std::remove(raw.c_str());
    return read;
}

// ---- Files ----

bool collect(const void* bytes, std::size_t count, void* context) {
    auto* file = static_cast<std::string*>(context);
    file->append(static_cast<const char*>(bytes), count);
    return true;
}

std::string compress_ours(const bench_image& image, std::uint16_t format) {
    dds_options_record options{};
    options.mipmap_mode = dds_mipmap_none;
    options.texture_kind = dds_texture_plain;
    options.surface_format = format;
    std::string file;
    long written = dds_compress(image.bgra.data(), image.width, image.height, image.width * 4,
                                options, 4, nullptr, nullptr, collect, &file);
    return written < 0 ? std::string() : file;
}

void put32(std::string& out, std::size_t at, std::uint32_t value) {
    std::memcpy(out.data() + at, &value, 4);
}

// A legacy header with a FourCC, or a DX10 header with `dxgi` when it is not 0.
std::string wrap_blocks(const bench_image& image, const char* fourcc, std::uint32_t dxgi,
                        const std::string& blocks) {
    std::string header(128, '\0');
    std::memcpy(header.data(), "DDS ", 4);
    put32(header, 4, 124);
    put32(header, 8, 0x81007);
    put32(header, 12, static_cast<std::uint32_t>(image.height));
    put32(header, 16, static_cast<std::uint32_t>(image.width));
    put32(header, 76, 32);
    put32(header, 80, 4);
    std::memcpy(header.data() + 84, dxgi != 0 ? "DX10" : fourcc, 4);
    put32(header, 108, 0x1000);
    if (dxgi != 0) {
        std::string extra(20, '\0');
        put32(extra, 0, dxgi);
        put32(extra, 4, 3);
        put32(extra, 12, 1);
        header += extra;
    }
    return header + blocks;
}

std::string compress_squish(const bench_image& image, int flags) {
    pixels rgba(image.bgra.size());
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i] = image.bgra[i + 2];
        rgba[i + 1] = image.bgra[i + 1];
        rgba[i + 2] = image.bgra[i];
        rgba[i + 3] = image.bgra[i + 3];
    }
    std::string blocks(
        static_cast<std::size_t>(squish::GetStorageRequirements(image.width, image.height, flags)),
        '\0');
    squish::CompressImage(rgba.data(), image.width, image.height, blocks.data(), flags);
    return blocks;
}

// ---- Decoders ----

// Our reader's result as BGRA (luminance spread to grey, RGB opaque).
bool decode_ours(const std::string& file, pixels& out) {
    dds::texture texture;
    if (dds::read_texture(reinterpret_cast<const std::uint8_t*>(file.data()), file.size(),
                          texture) != dds::read_result::decoded ||
        texture.type != dds::channel_type::u8) {
        return false;
    }
    const dds::surface& base = texture.at(0, 0);
    std::uint32_t channels = dds::channel_count(texture.channels);
    std::size_t count = std::size_t{base.width} * base.height;
    out.assign(count * 4, 255);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = &base.pixels[i * channels];
        std::uint8_t* o = &out[i * 4];
        if (channels <= 2) {
            o[0] = o[1] = o[2] = p[0];
            o[3] = channels == 2 ? p[1] : 255;
        } else {
            o[0] = p[2], o[1] = p[1], o[2] = p[0], o[3] = channels == 4 ? p[3] : 255;
        }
    }
    return true;
}

bool decode_library(const std::string& file, pixels& out) {
    ILuint name = 0;
    ilGenImages(1, &name);
    ilBindImage(name);
    bool loaded = ilLoadL(IL_DDS, file.data(), static_cast<ILuint>(file.size())) &&
                  ilConvertImage(IL_BGRA, IL_UNSIGNED_BYTE);
    if (loaded) {
        out.assign(ilGetData(), ilGetData() + ilGetInteger(IL_IMAGE_SIZE_OF_DATA));
    }
    ilDeleteImages(1, &name);
    return loaded;
}

// libsquish's decode of the blocks; BC4 and BC5 blocks through its DXT5 alpha decoder.
pixels decode_squish(const bench_image& image, const std::string& blocks, int flags) {
    pixels rgba(image.bgra.size());
    if (flags == squish::kBc4 || flags == squish::kBc5) {
        std::size_t step = flags == squish::kBc4 ? 8 : 16;
        std::size_t across = static_cast<std::size_t>(image.width) / 4;
        for (std::size_t b = 0; b * step < blocks.size(); ++b) {
            for (std::size_t half = 0; half * 8 < step; ++half) {
                std::uint8_t dxt5[16] = {};
                std::memcpy(dxt5, blocks.data() + b * step + half * 8, 8);
                std::uint8_t texels[64];
                squish::Decompress(texels, dxt5, squish::kDxt5);
                for (int t = 0; t < 16; ++t) {
                    std::size_t x = (b % across) * 4 + t % 4, y = (b / across) * 4 + t / 4;
                    rgba[(y * image.width + x) * 4 + half] = texels[t * 4 + 3];
                }
            }
        }
        return rgba;
    }
    squish::DecompressImage(rgba.data(), image.width, image.height, blocks.data(), flags);
    pixels bgra(rgba.size());
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
        bgra[i] = rgba[i + 2], bgra[i + 1] = rgba[i + 1], bgra[i + 2] = rgba[i];
        bgra[i + 3] = rgba[i + 3];
    }
    return bgra;
}

// The stored values of an uncompressed file, expanded by v x 255 / (2^bits - 1) in floating
// point: the reference for the reader's integer expansion.
pixels expand_reference(const std::string& file) {
    std::uint32_t bits = 0, masks[4] = {}, flags = 0, width = 0, height = 0;
    std::memcpy(&height, file.data() + 12, 4);
    std::memcpy(&width, file.data() + 16, 4);
    std::memcpy(&flags, file.data() + 80, 4);
    std::memcpy(&bits, file.data() + 88, 4);
    std::memcpy(masks, file.data() + 92, 16);
    pixels out(std::size_t{width} * height * 4);
    const auto* stored = reinterpret_cast<const std::uint8_t*>(file.data()) + 128;
    for (std::size_t i = 0; i < std::size_t{width} * height; ++i) {
        std::uint32_t value = 0;
        std::memcpy(&value, stored + i * (bits / 8), bits / 8);
        static constexpr int bgra_of_mask[4] = {2, 1, 0, 3};
        for (int c = 0; c < 4; ++c) {
            std::uint32_t mask = masks[c] & (c == 3 && !(flags & 1) ? 0 : 0xFFFFFFFF);
            if (mask == 0) {
                out[i * 4 + bgra_of_mask[c]] = c == 3 ? 255 : 0;
                continue;
            }
            int shift = __builtin_ctz(mask), width_bits = __builtin_popcount(mask);
            double top = std::ldexp(1.0, width_bits) - 1;
            out[i * 4 + bgra_of_mask[c]] =
                static_cast<std::uint8_t>(std::lround(((value & mask) >> shift) * 255.0 / top));
        }
    }
    return out;
}

// ---- Measures ----

// RMSE over the channels named (blue, green, red, alpha as 0 to 3), against the source.
double rmse(const pixels& source, const pixels& decoded, std::initializer_list<int> channels,
            std::initializer_list<int> from) {
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < source.size(); i += 4) {
        auto f = from.begin();
        for (int c : channels) {
            double d = double(source[i + static_cast<std::size_t>(*f++)]) -
                       decoded[i + static_cast<std::size_t>(c)];
            sum += d * d;
            ++count;
        }
    }
    return std::sqrt(sum / double(count));
}

struct file_case {
    const char* maker;
    const char* format;
    std::string file;
    pixels reference;                    // the exact decode expected of our reader; empty: none
    std::initializer_list<int> channels; // compared in the decode
    std::initializer_list<int> source;   // ... against these source channels
};

void report(const bench_image& image, const file_case& c) {
    pixels ours, library;
    bool ours_ok = decode_ours(c.file, ours);
    bool library_ok = decode_library(c.file, library);
    const char* exact = "-";
    if (!c.reference.empty()) {
        bool equal = ours_ok;
        for (std::size_t i = 0; equal && i < ours.size(); i += 4) {
            for (int ch : c.channels) {
                equal = equal && ours[i + static_cast<std::size_t>(ch)] ==
                                     c.reference[i + static_cast<std::size_t>(ch)];
            }
        }
        exact = equal ? "yes" : "NO";
    }
    std::printf("%-14.14s %-9s %-10s %-6s", image.name.c_str(), c.maker, c.format, exact);
    if (ours_ok) {
        std::printf(" %8.3f", rmse(image.bgra, ours, c.channels, c.source));
    } else {
        std::printf(" %8s", "fails");
    }
    if (library_ok) {
        double theirs = rmse(image.bgra, library, c.channels, c.source);
        std::printf(" %8.3f", theirs);
        if (ours_ok && theirs > 0) {
            std::printf(" %7.3f", rmse(image.bgra, ours, c.channels, c.source) / theirs);
        }
    } else {
        std::printf(" %8s", "fails");
    }
    std::printf("\n");
}

void measure_image(const bench_image& image) {
    const struct {
        const char* name;
        std::uint16_t code;
    } ours_formats[] = {
        {"dxt1", dds_format_dxt1}, {"dxt3", dds_format_dxt3}, {"dxt5", dds_format_dxt5},
        {"565", dds_format_565},   {"555", dds_format_555},   {"1555", dds_format_1555},
        {"4444", dds_format_4444}, {"888", dds_format_888},   {"8888", dds_format_8888}};
    const std::initializer_list<int> rgb = {0, 1, 2}, rgba = {0, 1, 2, 3};
    for (const auto& f : ours_formats) {
        std::string file = compress_ours(image, f.code);
        bool blocks = f.code <= dds_format_dxt5;
        int flags = f.code == dds_format_dxt1   ? squish::kDxt1
                    : f.code == dds_format_dxt3 ? squish::kDxt3
                                                : squish::kDxt5;
        pixels reference =
            blocks ? decode_squish(image, file.substr(128), flags) : expand_reference(file);
        bool alpha = f.code != dds_format_dxt1 && f.code != dds_format_565 &&
                     f.code != dds_format_555 && f.code != dds_format_888;
        report(image, {"ours", f.name, file, reference, alpha ? rgba : rgb, alpha ? rgba : rgb});
    }
    const struct {
        const char* name;
        const char* fourcc;
        std::uint32_t dxgi;
        int flags;
    } squish_formats[] = {{"DXT1", "DXT1", 0, squish::kDxt1}, {"DXT3", "DXT3", 0, squish::kDxt3},
                          {"DXT5", "DXT5", 0, squish::kDxt5}, {"ATI1", "ATI1", 0, squish::kBc4},
                          {"ATI2", "ATI2", 0, squish::kBc5},  {"BC1", "", 71, squish::kDxt1},
                          {"BC3", "", 77, squish::kDxt5},     {"BC4", "", 80, squish::kBc4},
                          {"BC5", "", 83, squish::kBc5}};
    for (const auto& f : squish_formats) {
        std::string blocks = compress_squish(image, f.flags);
        pixels reference = decode_squish(image, blocks, f.flags);
        std::string file = wrap_blocks(image, f.fourcc, f.dxgi, blocks);
        if (f.flags == squish::kBc4) {
            // One channel, shown as grey; the source's red went in.
            for (std::size_t i = 0; i < reference.size(); i += 4) {
                reference[i + 2] = reference[i];
            }
            report(image, {"libsquish", f.name, file, reference, {2}, {2}});
        } else if (f.flags == squish::kBc5) {
            for (std::size_t i = 0; i < reference.size(); i += 4) {
                std::swap(reference[i], reference[i + 2]); // red, green to BGRA
            }
            report(image, {"libsquish", f.name, file, reference, {2, 1}, {2, 1}});
        } else {
            bool alpha = f.flags != squish::kDxt1;
            report(image,
                   {"libsquish", f.name, file, reference, alpha ? rgba : rgb, alpha ? rgba : rgb});
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    ilInit();
    std::vector<bench_image> images = make_bench_images(side);
    std::vector<std::string> sources;
    for (int i = 1; i < argc; ++i) {
        sources.push_back(argv[i]);
    }
    if (sources.empty()) {
        sources = {"rose:", "logo:", "wizard:"};
    }
    for (const std::string& source : sources) {
        bench_image image;
        if (read_with_imagemagick(source, image)) {
            images.push_back(image);
        } else {
            std::printf("(%s not read: ImageMagick's convert is needed)\n", source.c_str());
        }
    }
    std::printf("%-14s %-9s %-10s %-6s %8s %8s %7s\n", "image", "made by", "format", "exact",
                "ours", "library", "ratio");
    for (const bench_image& image : images) {
        measure_image(image);
    }
    return 0;
}
