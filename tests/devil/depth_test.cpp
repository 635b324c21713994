// The formats the desktop entry offers, in 8 and 16 bits a sample where the format has both,
// made by ImageMagick and loaded through the decoding child.
#include "devil_fixture.h"

#include <cstdlib>

#include "tools/devil/pnm_wide.h"

namespace {

constexpr unsigned width = 8, height = 4;

// 16-bit samples whose high byte is the 8-bit value (v x 257), so that every reader's way of
// narrowing them agrees: red and green vary across and down, blue is fixed.
unsigned char sample(unsigned x, unsigned y, unsigned c) {
    unsigned values[3] = {x * 30 + 10, y * 60 + 5, 200};
    return static_cast<unsigned char>(values[c]);
}

std::string source_raw() {
    std::string raw;
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            for (unsigned c = 0; c < 3; ++c) {
                raw += static_cast<char>(sample(x, y, c)); // big-endian v x 257
                raw += static_cast<char>(sample(x, y, c));
            }
        }
    }
    return raw;
}

bytes expected_bgra(bool grey) {
    bytes out;
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            if (grey) {
                // ImageMagick's grey is the Rec. 709 luma of the colour; checked loosely.
                unsigned char l = static_cast<unsigned char>(
                    0.2126 * sample(x, y, 0) + 0.7152 * sample(x, y, 1) + 0.0722 * 200 + 0.5);
                out.insert(out.end(), {l, l, l, 255});
            } else {
                out.insert(out.end(), {sample(x, y, 2), sample(x, y, 1), sample(x, y, 0), 255});
            }
        }
    }
    return out;
}

// ImageMagick writes a BMP with a version 5 header unless told otherwise, which the library
// cannot read; the version 3 header is what other programs write.
std::string writer(const std::string& extension) {
    return extension == "bmp" ? "bmp3:" : "";
}

class DevilDepths : public DevilFixture {};

TEST_F(DevilDepths, FormatsLoadThroughTheChildInEightAndSixteenBits) {
    struct format_case {
        const char* extension;
        unsigned depth;
        bool grey;
        int allowance;
    };
    // Left out: 16-bit SGI, which the library's reader decodes with its channels mixed up (the
    // child refuses the result), and TGA, whose rows ImageMagick stores upside down for its
    // header; TGA files are tested on their own.
    const format_case cases[] = {
        {"png", 8, false, 0}, {"png", 16, false, 0}, {"tif", 8, false, 0}, {"tif", 16, false, 0},
        {"ppm", 8, false, 0}, {"ppm", 16, false, 0}, {"pgm", 8, true, 2},  {"pgm", 16, true, 2},
        {"psd", 8, false, 0}, {"sgi", 8, false, 0},  {"bmp", 8, false, 0}, {"pcx", 8, false, 0},
    };
    ASSERT_TRUE(test_support::write_file(file("source.raw"), source_raw()));
    for (const format_case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.extension << " " << c.depth << " bits");
        std::string name = file(std::string("image") + std::to_string(c.depth) + "." + c.extension);
        std::string command = "convert -size 8x4 -depth 16 'rgb:" + file("source.raw") +
                              "' -depth " + std::to_string(c.depth) + " '" + writer(c.extension) +
                              name + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        bytes got;
        ASSERT_TRUE(load_bgra(name, nullptr, got));
        EXPECT_LE(largest_difference(got, expected_bgra(c.grey), true), c.allowance);
    }
}

TEST_F(DevilDepths, WidePnmHeadersAreCheckedAndSamplesFillTheRange) {
    // maxval 1000: 1000 is full, 500 is 500 x 65535 / 1000 = 32767.5, rounded up.
    std::string ppm = "P5\n# comment\n2 1\n1000\n";
    ppm += std::string("\x03\xE8\x01\xF4", 4);
    ASSERT_TRUE(pnm_wide::is_wide(ppm.data(), static_cast<std::uint32_t>(ppm.size())));
    ASSERT_TRUE(test_support::write_file(file("w.pgm"), ppm));
    ASSERT_TRUE(lib.load_file(file("w.pgm").c_str(), nullptr));
    ASSERT_EQ(ilGetInteger(IL_IMAGE_TYPE), IL_UNSIGNED_SHORT);
    const auto* samples = reinterpret_cast<const std::uint16_t*>(ilGetData());
    EXPECT_EQ(samples[0], 65535);
    EXPECT_EQ(samples[1], 32768);
    const std::string refused[] = {
        "P6\n2 1\n65535\n" + std::string(11, '\0'), // one byte short
        "P6\n0 1\n65535\n",                         // no pixels
        "P6\n99999999999 1\n65535\n",               // a side beyond any file
        "P6\n2 1\n65536\n" + std::string(12, '\0'), // maxval too large for the format
    };
    for (const std::string& data : refused) {
        ASSERT_TRUE(test_support::write_file(file("bad.ppm"), data));
        EXPECT_FALSE(lib.load_file(file("bad.ppm").c_str(), nullptr)) << data.substr(0, 20);
    }
}

} // namespace
