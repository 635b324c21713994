#include "devil_fixture.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <zip.h>

namespace {

void put16(std::string& out, unsigned value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void put32(std::string& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// Rows of 24-bit pixels in file order, each padded to `align` bytes.
std::string rows(unsigned width, unsigned height, const bytes& top_first, bool top_down,
                 unsigned align) {
    std::string out;
    for (unsigned i = 0; i < height; ++i) {
        unsigned row = top_down ? i : height - 1 - i;
        out.append(reinterpret_cast<const char*>(&top_first[row * width * 3]), width * 3);
        out.append((align - (width * 3) % align) % align, '\0');
    }
    return out;
}

} // namespace

bytes pattern(unsigned width, unsigned height, unsigned channels) {
    bytes out;
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            out.push_back(static_cast<unsigned char>(40 + 160 * y / std::max(1u, height - 1)));
            out.push_back(static_cast<unsigned char>(30 + 180 * x / std::max(1u, width - 1)));
            out.push_back(static_cast<unsigned char>(y < height / 2 ? 220 : 60));
            if (channels == 4) {
                out.push_back(255);
            }
        }
    }
    return out;
}

std::string bmp_file(unsigned width, unsigned height, const bytes& top_first,
                     bool stored_top_first) {
    std::string pixels = rows(width, height, top_first, stored_top_first, 4);
    std::string out = "BM";
    put32(out, 54 + pixels.size());
    put32(out, 0);
    put32(out, 54);
    put32(out, 40);
    put32(out, width);
    put32(out, stored_top_first ? static_cast<std::uint32_t>(-static_cast<int>(height)) : height);
    put16(out, 1);
    put16(out, 24);
    for (int field = 0; field < 6; ++field) {
        put32(out, 0);
    }
    return out + pixels;
}

std::string tga_file(unsigned width, unsigned height, const bytes& top_first,
                     bool stored_top_first) {
    std::string out(12, '\0');
    out[2] = 2; // uncompressed true colour
    put16(out, width);
    put16(out, height);
    out.push_back(24);
    out.push_back(stored_top_first ? 0x20 : 0x00);
    return out + rows(width, height, top_first, stored_top_first, 1);
}

std::string dds_file(unsigned width, unsigned height, const bytes& top_first_bgra) {
    std::string out = "DDS ";
    put32(out, 124);
    put32(out, 0x1 | 0x2 | 0x4 | 0x1000 | 0x8); // caps, height, width, pixel format, pitch
    put32(out, height);
    put32(out, width);
    put32(out, width * 4);
    out.append(4 * 13, '\0'); // depth, mipmap count, reserved
    put32(out, 32);
    put32(out, 0x41); // RGB with alpha
    put32(out, 0);
    put32(out, 32);
    put32(out, 0x00FF0000);
    put32(out, 0x0000FF00);
    put32(out, 0x000000FF);
    put32(out, 0xFF000000);
    put32(out, 0x1000); // texture
    out.append(4 * 4, '\0');
    return out + std::string(top_first_bgra.begin(), top_first_bgra.end());
}

std::string encoded(ILenum type, unsigned width, unsigned height, const bytes& top_first_bgra,
                    unsigned channels) {
    test_support::scratch_dir scratch;
    ILuint bound = static_cast<ILuint>(ilGetInteger(IL_CUR_IMAGE));
    ILuint temporary = 0;
    ilGenImages(1, &temporary);
    ilBindImage(temporary);
    bytes copy = top_first_bgra;
    ilTexImage(width, height, 1, static_cast<ILubyte>(channels), channels == 3 ? IL_BGR : IL_BGRA,
               IL_UNSIGNED_BYTE, copy.data());
    iluFlipImage();
    std::string path = scratch.file("encoded");
    bool saved = ilSave(type, path.c_str()) == IL_TRUE;
    ilDeleteImages(1, &temporary);
    ilBindImage(bound);
    return saved ? test_support::read_file(path) : std::string();
}

bool write_zip(const std::string& path,
               const std::vector<std::pair<std::string, std::string>>& members, bool stored) {
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr) {
        return false;
    }
    bool ok = true;
    for (const auto& [name, data] : members) {
        ok = ok &&
             zipOpenNewFileInZip(zip, name.c_str(), nullptr, nullptr, 0, nullptr, 0, nullptr,
                                 stored ? 0 : Z_DEFLATED, stored ? 0 : 9) == ZIP_OK &&
             zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size())) == ZIP_OK &&
             zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

void patch_field(std::string& data, std::uint32_t signature, std::size_t offset,
                 std::uint32_t value) {
    std::string marker;
    put32(marker, signature);
    std::size_t at = data.find(marker);
    ASSERT_NE(at, std::string::npos);
    std::string field;
    put32(field, value);
    data.replace(at + offset, 4, field);
}

int largest_difference(const bytes& a, const bytes& b, bool with_alpha) {
    if (a.size() != b.size()) {
        return 256;
    }
    int largest = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (with_alpha || i % 4 != 3) {
            largest = std::max(largest, std::abs(a[i] - b[i]));
        }
    }
    return largest;
}

bool DevilFixture::load_bgra(const std::string& name, const char* archive, bytes& out) {
    if (!lib.load_file(name.c_str(), archive) || !lib.convert_to_bgra()) {
        return false;
    }
    const unsigned char* data = ilGetData();
    out.assign(data, data + lib.get_width() * lib.get_height() * 4);
    return true;
}

std::vector<std::string> DevilFixture::folder_listing() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string mapping_of(const void* address) {
    std::ifstream maps("/proc/self/maps");
    auto at = reinterpret_cast<std::uintptr_t>(address);
    for (std::string line; std::getline(maps, line);) {
        std::uintptr_t first = 0, end = 0;
        if (std::sscanf(line.c_str(), "%zx-%zx", &first, &end) == 2 && first <= at && at < end) {
            return line;
        }
    }
    return {};
}

bound_image bound() {
    bound_image image{ilGetInteger(IL_IMAGE_FORMAT), ilGetInteger(IL_IMAGE_TYPE),
                      ilGetInteger(IL_IMAGE_ORIGIN), ilGetInteger(IL_IMAGE_WIDTH),
                      ilGetInteger(IL_IMAGE_HEIGHT), {}};
    image.pixels.assign(ilGetData(), ilGetData() + ilGetInteger(IL_IMAGE_SIZE_OF_DATA));
    return image;
}
