// Our PNG reader against the library's own: files written here chunk by chunk (every filter,
// the four colour types, image data split over chunks) decode to the library's image, and
// everything unusual is left to the library with the bound image untouched.
#include "devil_fixture.h"

#include <cstring>
#include <zlib.h>

#include "tools/devil/png_reader.h"

namespace {

void put_big_endian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>(value >> shift & 0xFF);
    }
}

void put_chunk(std::string& file, const char* type, const std::string& data, bool good_crc = true) {
    put_big_endian(file, static_cast<std::uint32_t>(data.size()));
    std::string typed = std::string(type, 4) + data;
    file += typed;
    auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size())));
    put_big_endian(file, good_crc ? crc : crc ^ 1);
}

int predict(int filter, int left, int above, int corner) {
    switch (filter) {
    case 1:
        return left;
    case 2:
        return above;
    case 3:
        return (left + above) / 2;
    case 4: {
        int p = left + above - corner;
        int pa = std::abs(p - left), pb = std::abs(p - above), pc = std::abs(p - corner);
        return pa <= pb && pa <= pc ? left : pb <= pc ? above : corner;
    }
    default:
        return 0;
    }
}

// What may be changed about a file from the plain one.
struct variation {
    const char* name;
    int depth = 8;
    int interlace = 0;
    int filter_offset = 0; // row y uses filter (y + offset) % 5; 5 writes a bad filter byte
    bool chunk_before_data = false;
    const char* extra = nullptr; // a chunk type written before the image data
    bool split_by_text = false;
    bool bad_data_crc = false;
    bool short_data = false;
    bool trailing_data = false;
};

// A PNG of `channels` 8-bit channels (1 grey, 2 grey and alpha, 3 RGB, 4 RGBA) with the
// pixels of `pattern`, rows filtered in turn by every filter.
std::string png_file(unsigned width, unsigned height, unsigned channels, const variation& v) {
    static const int colour_types[] = {0, 0, 4, 2, 6};
    bytes pixels = pattern(width, height, channels);
    const std::size_t row = std::size_t{width} * channels;
    const unsigned stored_rows = v.short_data ? height - 1 : height;
    bytes raw;
    for (unsigned y = 0; y < stored_rows; ++y) {
        int filter = static_cast<int>((y + static_cast<unsigned>(v.filter_offset)) % 5);
        raw.push_back(static_cast<unsigned char>(v.filter_offset == 5 && y == 1 ? 5 : filter));
        for (std::size_t i = 0; i < row; ++i) {
            int left = i >= channels ? pixels[y * row + i - channels] : 0;
            int above = y > 0 ? pixels[(y - 1) * row + i] : 0;
            int corner = y > 0 && i >= channels ? pixels[(y - 1) * row + i - channels] : 0;
            raw.push_back(static_cast<unsigned char>(pixels[y * row + i] -
                                                     predict(filter, left, above, corner)));
        }
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    bytes deflated(packed_size);
    compress(deflated.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()));
    std::string packed(deflated.begin(),
                       deflated.begin() + static_cast<std::ptrdiff_t>(packed_size));
    if (v.trailing_data) {
        packed += "xyz";
    }
    std::string file("\x89PNG\r\n\x1a\n", 8), header;
    put_big_endian(header, width);
    put_big_endian(header, height);
    header += {static_cast<char>(v.depth), static_cast<char>(colour_types[channels]), 0, 0,
               static_cast<char>(v.interlace)};
    put_chunk(file, "IHDR", header);
    if (v.chunk_before_data) {
        put_chunk(file, "tEXt", std::string("Comment\0made here", 17));
    }
    if (v.extra != nullptr) {
        put_chunk(file, v.extra, std::string(6, '\x10'));
    }
    for (std::size_t at = 0; at < packed.size(); at += 100) {
        put_chunk(file, "IDAT", packed.substr(at, 100), !(v.bad_data_crc && at > 0));
        if (v.split_by_text && at == 0) {
            put_chunk(file, "tEXt", std::string("Comment\0between", 15));
        }
    }
    put_chunk(file, "tEXt", std::string("Comment\0after", 13));
    put_chunk(file, "IEND", "");
    return file;
}

class PngReader : public DevilFixture {
  protected:
    // The library's own image of the file.
    bound_image by_library(const std::string& file) {
        EXPECT_TRUE(ilLoadL(IL_PNG, file.data(), static_cast<ILuint>(file.size())));
        return bound();
    }
    void SetUp() override { ilOriginFunc(IL_ORIGIN_UPPER_LEFT); } // as the wrapper decodes
    png_reader::outcome ours(const std::string& file) {
        ilTexImage(3, 2, 1, 3, IL_RGB, IL_UNSIGNED_BYTE, nullptr); // what must stay, if refused
        return png_reader::load(file.data(), static_cast<std::uint32_t>(file.size()));
    }
};

TEST_F(PngReader, EveryFilterAndColourTypeGivesTheLibrarysImage) {
    for (unsigned channels = 1; channels <= 4; ++channels) {
        for (int offset = 0; offset < 5; ++offset) {
            SCOPED_TRACE(std::to_string(channels) + " channels, filters from " +
                         std::to_string(offset));
            variation v{"plain"};
            v.filter_offset = offset;
            v.chunk_before_data = offset % 2 == 1;
            std::string file = png_file(37, 23, channels, v);
            bound_image expected = by_library(file);
            ASSERT_EQ(ours(file), png_reader::outcome::loaded);
            bound_image got = bound();
            EXPECT_EQ(got.format, expected.format);
            EXPECT_EQ(got.type, expected.type);
            EXPECT_EQ(got.origin, expected.origin);
            EXPECT_EQ(got.width, expected.width);
            EXPECT_EQ(got.pixels.size(), expected.pixels.size());
            EXPECT_TRUE(got.pixels == expected.pixels);
        }
    }
    std::string one_row = png_file(1, 1, 3, variation{"one pixel"});
    bound_image expected = by_library(one_row);
    ASSERT_EQ(ours(one_row), png_reader::outcome::loaded);
    EXPECT_TRUE(bound() == expected);
}

TEST_F(PngReader, AnythingUnusualIsLeftToTheLibrary) {
    variation cases[] = {{"16-bit"},        {"interlaced"},        {"bad filter byte"},
                         {"palette chunk"}, {"transparency"},      {"unknown critical chunk"},
                         {"data split"},    {"bad data checksum"}, {"short data"},
                         {"trailing data"}};
    cases[0].depth = 16;
    cases[1].interlace = 1;
    cases[2].filter_offset = 5;
    cases[3].extra = "PLTE";
    cases[4].extra = "tRNS";
    cases[5].extra = "ABCD";
    cases[6].split_by_text = true;
    cases[7].bad_data_crc = true;
    cases[8].short_data = true;
    cases[9].trailing_data = true;
    for (const variation& v : cases) {
        SCOPED_TRACE(v.name);
        std::string file = png_file(40, 30, 3, v);
        EXPECT_EQ(ours(file), png_reader::outcome::for_library);
        EXPECT_EQ(lib.get_width(), 3);
    }
    std::string plain = png_file(40, 30, 4, variation{"plain"});
    ilOriginFunc(IL_ORIGIN_LOWER_LEFT); // the library would turn it upside down
    EXPECT_EQ(ours(plain), png_reader::outcome::for_library);
    ilOriginFunc(IL_ORIGIN_UPPER_LEFT);
    std::string cut = png_file(40, 30, 4, variation{"cut"});
    for (std::size_t length : {std::size_t{0}, std::size_t{8}, std::size_t{20}, cut.size() / 2}) {
        EXPECT_EQ(ours(cut.substr(0, length)), png_reader::outcome::for_library) << length;
    }
}

} // namespace
