// DDS files through the wrapper's load (our reader, in the decoding child): true colours,
// the library's own binding kept, DX10 files, and hostile headers refused.
#include "devil_fixture.h"

#include "dds/dds_file_builder.h"

namespace {

using namespace dds_files;

// The facts of the bound image that everything above the wrapper reads.
struct bound_facts {
    ILint width, height, depth, format, type, bpp, origin, mips, faces, cube_flags;
    bool operator==(const bound_facts&) const = default;
};

bound_facts facts_of_bound() {
    return {ilGetInteger(IL_IMAGE_WIDTH),  ilGetInteger(IL_IMAGE_HEIGHT),
            ilGetInteger(IL_IMAGE_DEPTH),  ilGetInteger(IL_IMAGE_FORMAT),
            ilGetInteger(IL_IMAGE_TYPE),   ilGetInteger(IL_IMAGE_BYTES_PER_PIXEL),
            ilGetInteger(IL_IMAGE_ORIGIN), ilGetInteger(IL_NUM_MIPMAPS),
            ilGetInteger(IL_NUM_FACES),    ilGetInteger(IL_IMAGE_CUBEFLAGS)};
}

std::ostream& operator<<(std::ostream& out, const bound_facts& f) {
    return out << f.width << "x" << f.height << "x" << f.depth << " format " << std::hex << f.format
               << " type " << f.type << std::dec << " bpp " << f.bpp << " mips " << f.mips
               << " faces " << f.faces << " cube " << std::hex << f.cube_flags;
}

class DevilDdsLoad : public DevilFixture {
  protected:
    bool load(const std::string& data) {
        std::string name = file("t.dds");
        return test_support::write_file(name, data) && lib.load_file(name.c_str(), nullptr);
    }
    // The pixels of the bound image as 8-bit BGRA.
    bytes bgra(const std::string& data) {
        bytes got;
        std::string name = file("t.dds");
        EXPECT_TRUE(test_support::write_file(name, data));
        EXPECT_TRUE(load_bgra(name, nullptr, got));
        return got;
    }
    // What the library's own DDS loader binds for the same bytes.
    bound_facts library_facts(const std::string& data, bytes& pixels) {
        ILuint other = lib.create_image();
        ilOriginFunc(IL_ORIGIN_UPPER_LEFT);
        EXPECT_TRUE(ilLoadL(IL_DDS, data.data(), static_cast<ILuint>(data.size())));
        bound_facts facts = facts_of_bound();
        pixels.assign(ilGetData(), ilGetData() + ilGetInteger(IL_IMAGE_SIZE_OF_DATA));
        lib.delete_image(other);
        ilBindImage(image);
        return facts;
    }
};

std::string repeated(const std::string& part, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += part;
    }
    return out;
}

bytes repeat(std::initializer_list<unsigned char> pixel, int count) {
    bytes out;
    out.reserve(pixel.size() * static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        for (unsigned char byte : pixel) {
            out.push_back(byte);
        }
    }
    return out;
}

TEST_F(DevilDdsLoad, BlocksShowTheirTrueColours) {
    // Pure red and pure white, which the library showed as (255, 0, 7) and (248, 252, 248).
    EXPECT_EQ(bgra(legacy(4, 4, fourcc("DXT1"), block({0, 0xF8, 0, 0xF8, 0, 0, 0, 0}))),
              repeat({0, 0, 255, 255}, 16));
    EXPECT_EQ(bgra(legacy(4, 4, masks(rgb, 16, 0xF800, 0x07E0, 0x001F, 0), repeated16(0xFFFF, 16))),
              repeat({255, 255, 255, 255}, 16));
    // DXT2 is shown divided by its alpha, as the library shows it: 132 x 255 / 136 = 247.5,
    // 130 x 255 / 136 = 243.75.
    std::string dxt2 = std::string(8, '\x88') + block({0x10, 0x84, 0x10, 0x84, 0, 0, 0, 0});
    EXPECT_EQ(bgra(legacy(4, 4, fourcc("DXT2"), dxt2)), repeat({248, 244, 248, 136}, 16));
}

// One 4 x 4 image per layout: each channel at 0, a middle value and full.
TEST_F(DevilDdsLoad, UncompressedLayoutsExpandToTheFullRange) {
    struct layout_case {
        const char* name;
        pixel_format format;
        std::string pixels; // four stored pixels, repeated to fill the image
        bytes expected;     // their BGRA
    };
    const layout_case cases[] = {
        {"565",
         masks(rgb, 16, 0xF800, 0x07E0, 0x1F, 0),
         repeated16(0xF800, 1) + repeated16(0x07E0, 1) + repeated16(0x8410, 1) + repeated16(0, 1),
         {0, 0, 255, 255, 0, 255, 0, 255, 132, 130, 132, 255, 0, 0, 0, 255}},
        {"555",
         masks(rgb, 16, 0x7C00, 0x3E0, 0x1F, 0),
         repeated16(0x7C00, 1) + repeated16(0x03E0, 1) + repeated16(0x4210, 1) +
             repeated16(0x001F, 1),
         {0, 0, 255, 255, 0, 255, 0, 255, 132, 132, 132, 255, 255, 0, 0, 255}},
        {"1555",
         masks(rgb | alpha_pixels, 16, 0x7C00, 0x3E0, 0x1F, 0x8000),
         repeated16(0xFC00, 1) + repeated16(0x03E0, 1) + repeated16(0x801F, 1) +
             repeated16(0x4210, 1),
         {0, 0, 255, 255, 0, 255, 0, 0, 255, 0, 0, 255, 132, 132, 132, 0}},
        {"4444",
         masks(rgb | alpha_pixels, 16, 0xF00, 0xF0, 0xF, 0xF000),
         repeated16(0xFF00, 1) + repeated16(0x80F0, 1) + repeated16(0x000F, 1) +
             repeated16(0x7777, 1),
         {0, 0, 255, 255, 0, 255, 0, 136, 255, 0, 0, 0, 119, 119, 119, 119}},
        {"332",
         masks(rgb, 8, 0xE0, 0x1C, 0x3, 0),
         block({0xE0, 0x1C, 0x03, 0x92}),
         {0, 0, 255, 255, 0, 255, 0, 255, 255, 0, 0, 255, 170, 146, 146, 255}},
        {"888",
         masks(rgb, 24, 0xFF0000, 0xFF00, 0xFF, 0),
         block({0, 0, 255, 0, 128, 0, 255, 255, 255, 1, 2, 3}),
         {0, 0, 255, 255, 0, 128, 0, 255, 255, 255, 255, 255, 1, 2, 3, 255}},
        {"a8b8g8r8",
         masks(rgb | alpha_pixels, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000),
         block({255, 0, 0, 0, 0, 128, 0, 255, 0, 0, 255, 128, 1, 2, 3, 4}),
         {0, 0, 255, 0, 0, 128, 0, 255, 255, 0, 0, 128, 3, 2, 1, 4}},
        {"l8",
         masks(luminance, 8, 0xFF, 0, 0, 0),
         block({0, 128, 255, 7}),
         {0, 0, 0, 255, 128, 128, 128, 255, 255, 255, 255, 255, 7, 7, 7, 255}},
        {"a4l4",
         masks(luminance | alpha_pixels, 8, 0xF, 0, 0, 0xF0),
         block({0x0F, 0xF0, 0x87, 0x00}),
         {255, 255, 255, 0, 0, 0, 0, 255, 119, 119, 119, 136, 0, 0, 0, 0}},
        {"a8",
         masks(alpha_only, 8, 0, 0, 0, 0xFF),
         block({0, 128, 255, 9}),
         {0, 0, 0, 0, 0, 0, 0, 128, 0, 0, 0, 255, 0, 0, 0, 9}},
    };
    for (const layout_case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string data;
        for (int i = 0; i < 4; ++i) {
            data += c.pixels;
        }
        bytes expected;
        for (int i = 0; i < 4; ++i) {
            expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        }
        EXPECT_EQ(bgra(legacy(4, 4, c.format, data)), expected);
    }
}

// For files the library reads correctly, the bound image is the library's in every fact.
TEST_F(DevilDdsLoad, BindsWhatTheLibraryBinds) {
    std::string dxt5_level = std::string(8, '\x80') + block({0, 0xF8, 0x1F, 0, 0, 0, 0, 0});
    std::string dxt1_red = block({0, 0xF8, 0, 0xF8, 0, 0, 0, 0});
    std::string cube_faces;
    for (int face = 0; face < 6; ++face) {
        cube_faces += dxt1_red + dxt1_red + dxt1_red;
    }
    std::string bgra8(64, '\x40');
    const std::pair<const char*, std::string> files[] = {
        {"mipmapped DXT5", legacy(8, 8, fourcc("DXT5"), repeated(dxt5_level, 4 + 1 + 1 + 1), 4)},
        {"cube map", legacy(4, 4, fourcc("DXT1"), cube_faces, 3, all_cube_faces)},
        {"8888",
         legacy(4, 4, masks(rgb | alpha_pixels, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), bgra8)},
        {"x888", legacy(4, 4, masks(rgb, 32, 0xFF0000, 0xFF00, 0xFF, 0), bgra8)},
        {"odd-sized DXT1", legacy(5, 3, fourcc("DXT1"), dxt1_red + dxt1_red)},
        {"R16F, left to the library's loader",
         legacy(4, 4, pixel_format{has_fourcc, 111, 0, {}}, repeated16(0x3800, 16))},
        {"l16", legacy(4, 4, masks(luminance, 16, 0xFFFF, 0, 0, 0), repeated16(0x1234, 16))},
        {"a8l8", legacy(4, 4, masks(luminance | alpha_pixels, 16, 0xFF, 0, 0, 0xFF00),
                        repeated16(0x8011, 16))},
    };
    for (const auto& [name, data] : files) {
        SCOPED_TRACE(name);
        bytes library_pixels;
        bound_facts expected = library_facts(data, library_pixels);
        ASSERT_TRUE(load(data));
        EXPECT_EQ(facts_of_bound(), expected);
        for (int face = 1; face <= expected.faces; ++face) {
            ilBindImage(image);
            ASSERT_TRUE(ilActiveFace(face));
            EXPECT_EQ(ilGetInteger(IL_NUM_MIPMAPS), expected.mips);
            EXPECT_EQ(ilGetInteger(IL_IMAGE_CUBEFLAGS), 0x400 << face);
        }
        ilBindImage(image);
    }
}

TEST_F(DevilDdsLoad, Dx10FilesOpen) {
    // BC7 mode 6, both endpoints opaque white: every texel white.
    std::string bc7_white = block({0xC0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                   0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(bgra(dx10(4, 4, 98, bc7_white)), repeat({255, 255, 255, 255}, 16));
    EXPECT_EQ(ilGetInteger(IL_IMAGE_FORMAT), IL_BGRA);
    // BC1 in a DX10 file, and BGRA8.
    EXPECT_EQ(bgra(dx10(4, 4, 71, block({0, 0xF8, 0, 0xF8, 0, 0, 0, 0}))),
              repeat({0, 0, 255, 255}, 16));
    EXPECT_EQ(bgra(dx10(2, 2, 87, std::string(16, '\x20'))), repeat({32, 32, 32, 32}, 4));
    // A BC6H texture is a float image, like the library's HDR images.
    ASSERT_TRUE(load(dx10(4, 4, 95, std::string(16, '\0'))));
    EXPECT_EQ(ilGetInteger(IL_IMAGE_TYPE), IL_FLOAT);
    EXPECT_EQ(ilGetInteger(IL_IMAGE_FORMAT), IL_RGB);
    // An array shows its first element: the second is all zero.
    EXPECT_EQ(bgra(dx10(2, 2, 28, std::string(16, '\x7F') + std::string(16, '\0'), 1, 0, 2)),
              repeat({127, 127, 127, 127}, 4));
}

TEST_F(DevilDdsLoad, LyingHeadersAreRefused) {
    std::string red = block({0, 0xF8, 0, 0xF8, 0, 0, 0, 0});
    std::string whole = legacy(8, 8, fourcc("DXT1"), red + red + red + red);
    std::string huge = whole;
    put32(huge, 16, 60000); // width
    std::string bad_size = whole;
    put32(bad_size, 4, 1000);
    const std::pair<const char*, std::string> files[] = {
        {"truncated data", whole.substr(0, whole.size() - 1)},
        {"truncated header", whole.substr(0, 100)},
        {"huge width", huge},
        {"header size", bad_size},
        {"missing mipmaps", legacy(8, 8, fourcc("DXT1"), red + red + red + red, 4)},
        {"cube without faces", legacy(4, 4, fourcc("DXT1"), red, 1, 0x200)},
        {"unknown DXGI format", dx10(4, 4, 1000, red + red)},
        {"DX10 header cut", legacy(4, 4, fourcc("DX10"), "")},
    };
    for (const auto& [name, data] : files) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(load(data));
    }
}

} // namespace
