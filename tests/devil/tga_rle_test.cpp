// RLE TGA snapshots by our own encoder: packets within rows, and files that ImageMagick and the
// library both read back as exactly the pixels handed in.
#include "devil_fixture.h"

#include <cstdio>
#include <cstring>

#include "tools/devil/tga_rle.h"

namespace {

// Rows that tempt an encoder across their ends: a row of one colour continued by the next
// row, runs of 1, 128 and 129 pixels, and rows of all different pixels.
bytes tempting_rows(unsigned width, unsigned height, unsigned channels) {
    bytes out;
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            unsigned char value = 0;
            if (y % 3 == 0) {
                value = 40; // the whole row one colour
            } else if (y % 3 == 1) {
                value = x == 0 ? 40 : (x <= 129 ? 90 : static_cast<unsigned char>(x));
            } else {
                value = static_cast<unsigned char>(x * 7 + y);
            }
            for (unsigned c = 0; c < channels; ++c) {
                out.push_back(static_cast<unsigned char>(value + c * 50));
            }
        }
    }
    return out;
}

// Walks the packets of an encoded file; false when one runs past the end of its row, is
// empty, or the data ends early. `rows` gets the decoded pixels, bottom row first.
bool walk_packets(const std::vector<std::uint8_t>& file, unsigned width, unsigned height,
                  unsigned channels, bytes& rows) {
    std::size_t at = 18;
    for (unsigned y = 0; y < height; ++y) {
        unsigned done = 0;
        while (done < width) {
            if (at >= file.size()) {
                return false;
            }
            unsigned header = file[at++];
            unsigned count = (header & 0x7F) + 1;
            bool run = (header & 0x80) != 0;
            std::size_t stored = run ? channels : std::size_t{count} * channels;
            if (done + count > width || at + stored > file.size()) {
                return false;
            }
            for (unsigned i = 0; i < count; ++i) {
                const std::uint8_t* pixel = &file[at + (run ? 0 : i * channels)];
                rows.insert(rows.end(), pixel, pixel + channels);
            }
            at += stored;
            done += count;
        }
    }
    return at == file.size();
}

bytes bottom_first(const bytes& top_first, unsigned width, unsigned height, unsigned channels) {
    bytes out;
    std::size_t row = std::size_t{width} * channels;
    for (unsigned y = height; y-- > 0;) {
        out.insert(out.end(), top_first.begin() + y * row, top_first.begin() + (y + 1) * row);
    }
    return out;
}

bytes with_opaque_alpha(const bytes& bgr) {
    bytes out;
    for (std::size_t i = 0; i < bgr.size(); i += 3) {
        out.insert(out.end(), {bgr[i], bgr[i + 1], bgr[i + 2], 255});
    }
    return out;
}

// ImageMagick's reading of `path` as 8-bit blue, green, red, alpha, top row first.
bytes read_with_imagemagick(const std::string& path, const std::string& raw) {
    // ImageMagick keeps the stored row order unless asked to honour the file's origin.
    std::string command =
        "convert '" + path + "' -auto-orient -depth 8 'bgra:" + raw + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) {
        return {};
    }
    std::string data = test_support::read_file(raw);
    return bytes(data.begin(), data.end());
}

TEST(TgaRle, PacketsHoldAtMost128PixelsAndNeverCrossARow) {
    for (unsigned channels : {3u, 4u}) {
        SCOPED_TRACE(channels);
        bytes pixels = tempting_rows(131, 6, channels);
        std::vector<std::uint8_t> file = tga_rle::encode(131, 6, channels, pixels.data());
        ASSERT_GE(file.size(), 18u);
        EXPECT_EQ(file[2], 10);                     // run-length encoded true colour
        EXPECT_EQ(file[16], channels * 8);          // bits per pixel
        EXPECT_EQ(file[17], channels == 4 ? 8 : 0); // alpha bits, rows bottom first
        bytes rows;
        ASSERT_TRUE(walk_packets(file, 131, 6, channels, rows));
        EXPECT_EQ(rows, bottom_first(pixels, 131, 6, channels));
    }
    // A A B: a run of two, then a raw packet of one.
    const std::uint8_t three[] = {1, 2, 3, 1, 2, 3, 9, 9, 9};
    std::vector<std::uint8_t> file = tga_rle::encode(3, 1, 3, three);
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 18, file.end()),
              (std::vector<std::uint8_t>{0x81, 1, 2, 3, 0x00, 9, 9, 9}));
}

class TgaRleSave : public DevilFixture {};

TEST_F(TgaRleSave, SnapshotsReadBackExactlyInImageMagickAndTheLibrary) {
    lib.set_tga_rle(true);
    for (unsigned channels : {3u, 4u}) {
        SCOPED_TRACE(channels);
        bytes pixels = tempting_rows(131, 6, channels);
        char type[8] = "tga";
        ASSERT_TRUE(
            lib.save_file(image, file("snap.tga").c_str(), type, 131, 6, channels, pixels.data()));
        bytes shown = channels == 4 ? pixels : with_opaque_alpha(pixels);
        EXPECT_EQ(read_with_imagemagick(file("snap.tga"), file("snap.raw")), shown);
        bytes got;
        ASSERT_TRUE(load_bgra(file("snap.tga"), nullptr, got));
        EXPECT_EQ(got, shown);
    }
}

TEST_F(TgaRleSave, SizesATgaCannotRecordAreRefused) {
    bytes pixel(4, 0);
    EXPECT_FALSE(tga_rle::save(file("wide.tga").c_str(), 65536, 1, 4, pixel.data()));
    EXPECT_FALSE(tga_rle::save(file("none.tga").c_str(), 0, 1, 4, pixel.data()));
    EXPECT_FALSE(tga_rle::save(file("two.tga").c_str(), 1, 1, 2, pixel.data()));
    EXPECT_FALSE(test_support::exists(file("wide.tga")));
}

} // namespace
