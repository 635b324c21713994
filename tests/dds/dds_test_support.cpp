#include "dds_test_support.h"

#include <IL/il.h>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

namespace dds_test {

image make_mixed_image(int width, int height, unsigned seed) {
    image result{width, height,
                 std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4)};
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &result.bgra[(static_cast<std::size_t>(y) * width + x) * 4];
            p[0] = static_cast<std::uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
            p[1] = static_cast<std::uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
            p[2] = static_cast<std::uint8_t>((x + y) % 64 < 32 ? 200 : 40);
            p[3] = static_cast<std::uint8_t>((x * 7 + y * 3) % 256);
            if ((x / 5 + y / 3) % 7 == 0) {
                p[0] = static_cast<std::uint8_t>(random());
            }
        }
    }
    return result;
}

dds_options_record options_for(std::uint16_t format, bool mipmaps) {
    dds_options_record options{};
    options.mipmap_mode = mipmaps ? dds_mipmap_generate : dds_mipmap_none;
    options.texture_kind = dds_texture_plain;
    options.surface_format = format;
    return options;
}

namespace {

bool append(const void* bytes, std::size_t count, void* context) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(bytes), count);
    return true;
}

void devil_start() {
    static bool started = false;
    if (!started) {
        ilInit();
        ilEnable(IL_ORIGIN_SET);
        ilOriginFunc(IL_ORIGIN_UPPER_LEFT);
        started = true;
    }
}

int expand5(int v) {
    return (v << 3) | (v >> 2);
}
int expand6(int v) {
    return (v << 2) | (v >> 4);
}

void decode_colour(const std::uint8_t* block, bool allow_three_colour, std::uint8_t out[64]) {
    int c0 = block[0] | block[1] << 8;
    int c1 = block[2] | block[3] << 8;
    int colours[4][4];
    const int ends[2] = {c0, c1};
    for (int e = 0; e < 2; ++e) {
        colours[e][2] = expand5(ends[e] >> 11);
        colours[e][1] = expand6((ends[e] >> 5) & 63);
        colours[e][0] = expand5(ends[e] & 31);
        colours[e][3] = 255;
    }
    bool three = allow_three_colour && c0 <= c1;
    for (int c = 0; c < 3; ++c) {
        if (three) {
            colours[2][c] = (colours[0][c] + colours[1][c]) / 2;
            colours[3][c] = 0;
        } else {
            colours[2][c] = (2 * colours[0][c] + colours[1][c]) / 3;
            colours[3][c] = (colours[0][c] + 2 * colours[1][c]) / 3;
        }
    }
    colours[2][3] = 255;
    colours[3][3] = three ? 0 : 255;
    for (int pixel = 0; pixel < 16; ++pixel) {
        int index = (block[4 + pixel / 4] >> (2 * (pixel % 4))) & 3;
        for (int c = 0; c < 4; ++c) {
            out[pixel * 4 + c] = static_cast<std::uint8_t>(colours[index][c]);
        }
    }
}

} // namespace

compressed compress(const std::uint8_t* pixels, int width, int height, int pitch, int channels,
                    const dds_options_record& options) {
    compressed out;
    out.result = dds_compress(pixels, width, height, pitch, options, channels, nullptr, nullptr,
                              append, &out.file);
    return out;
}

compressed compress(const image& source, std::uint16_t format, bool mipmaps) {
    return compress(source.bgra.data(), source.width, source.height, source.width * 4, 4,
                    options_for(format, mipmaps));
}

std::uint32_t read_le32(const std::string& file, std::size_t offset) {
    if (offset + 4 > file.size()) {
        return 0xdeadbeef;
    }
    const auto* p = reinterpret_cast<const std::uint8_t*>(file.data() + offset);
    return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16) |
           static_cast<std::uint32_t>(p[3]) << 24;
}

bool devil_decode(const std::string& file, image& out, int level) {
    devil_start();
    ILuint name = ilGenImage();
    ilBindImage(name);
    bool ok = ilLoadL(IL_DDS, file.data(), static_cast<ILuint>(file.size())) == IL_TRUE;
    if (ok && level > 0) {
        ok = ilActiveMipmap(static_cast<ILuint>(level)) == IL_TRUE;
    }
    ok = ok && ilConvertImage(IL_BGRA, IL_UNSIGNED_BYTE) == IL_TRUE;
    if (ok) {
        out.width = ilGetInteger(IL_IMAGE_WIDTH);
        out.height = ilGetInteger(IL_IMAGE_HEIGHT);
        out.bgra.assign(static_cast<std::size_t>(out.width) * out.height * 4, 0);
        ilCopyPixels(0, 0, 0, static_cast<ILuint>(out.width), static_cast<ILuint>(out.height), 1,
                     IL_BGRA, IL_UNSIGNED_BYTE, out.bgra.data());
    }
    ilDeleteImage(name);
    return ok;
}

int devil_mipmap_count(const std::string& file) {
    devil_start();
    ILuint name = ilGenImage();
    ilBindImage(name);
    int count = -1;
    if (ilLoadL(IL_DDS, file.data(), static_cast<ILuint>(file.size())) == IL_TRUE) {
        count = ilGetInteger(IL_NUM_MIPMAPS);
    }
    ilDeleteImage(name);
    return count;
}

void decode_dxt1(const std::uint8_t* block, std::uint8_t out[64]) {
    decode_colour(block, true, out);
}

void decode_dxt3(const std::uint8_t* block, std::uint8_t out[64]) {
    decode_colour(block + 8, false, out);
    for (int pixel = 0; pixel < 16; ++pixel) {
        int nibble = (block[pixel / 2] >> (4 * (pixel % 2))) & 15;
        out[pixel * 4 + 3] = static_cast<std::uint8_t>(nibble * 17);
    }
}

void decode_dxt5(const std::uint8_t* block, std::uint8_t out[64]) {
    decode_colour(block + 8, false, out);
    int a0 = block[0], a1 = block[1];
    int levels[8] = {a0, a1};
    for (int i = 2; i < 8; ++i) {
        levels[i] = a0 > a1 ? ((8 - i) * a0 + (i - 1) * a1) / 7
                            : (i < 6 ? ((6 - i) * a0 + (i - 1) * a1) / 5 : (i == 6 ? 0 : 255));
    }
    std::uint64_t bits = 0;
    for (int byte = 0; byte < 6; ++byte) {
        bits |= static_cast<std::uint64_t>(block[2 + byte]) << (8 * byte);
    }
    for (int pixel = 0; pixel < 16; ++pixel) {
        out[pixel * 4 + 3] = static_cast<std::uint8_t>(levels[(bits >> (3 * pixel)) & 7]);
    }
}

int max_channel_error(const image& a, const image& b, bool with_alpha) {
    if (a.bgra.size() != b.bgra.size()) {
        return 1 << 20;
    }
    int worst = 0;
    for (std::size_t i = 0; i < a.bgra.size(); ++i) {
        if (!with_alpha && i % 4 == 3) {
            continue;
        }
        worst = std::max(worst, std::abs(a.bgra[i] - b.bgra[i]));
    }
    return worst;
}

double rmse(const image& a, const image& b) {
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < a.bgra.size() && i < b.bgra.size(); ++i) {
        if (i % 4 != 3) {
            double d = a.bgra[i] - b.bgra[i];
            sum += d * d;
            ++count;
        }
    }
    return count ? std::sqrt(sum / count) : 0;
}

} // namespace dds_test
