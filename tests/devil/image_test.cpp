// Queries, conversion, rescaling and the stored options.
#include "devil_fixture.h"

#include <cstring>

namespace {

class DevilImage : public DevilFixture {
  protected:
    // Makes the bound image a blank one of the given size.
    void blank(unsigned width, unsigned height) {
        ASSERT_TRUE(ilTexImage(width, height, 1, 4, IL_BGRA, IL_UNSIGNED_BYTE, nullptr));
    }
    ILint filter() { return iluGetInteger(ILU_FILTER); }
};

TEST_F(DevilImage, TypesFollowTheThreeLetterExtensions) {
    const std::pair<const char*, ILenum> cases[] = {
        {"bmp", IL_BMP},           {"JPG", IL_JPG},           {"Png", IL_PNG},
        {"tga", IL_TGA},           {"TIF", IL_TIF},           {"psd", IL_PSD},
        {"jpeg", IL_TYPE_UNKNOWN}, {"tiff", IL_TYPE_UNKNOWN}, {"dds", IL_TYPE_UNKNOWN},
        {"", IL_TYPE_UNKNOWN},
    };
    for (const auto& [text, type] : cases) {
        char buffer[16];
        std::strcpy(buffer, text);
        EXPECT_EQ(devil::type_from_extension(buffer), type) << text;
        for (const char* c = buffer; *c != '\0'; ++c) {
            EXPECT_FALSE(*c >= 'A' && *c <= 'Z') << "lower-cased in place: " << buffer;
        }
    }
    EXPECT_EQ(devil::type_from_extension(nullptr), IL_TYPE_UNKNOWN);
}

TEST_F(DevilImage, QueriesDescribeTheLoadedImageAndConversionMakesBgra) {
    bytes bgr = pattern(6, 4, 3); // two colours of red, one per half, in every column
    ASSERT_TRUE(test_support::write_file(file("a.bmp"), bmp_file(6, 4, bgr, false)));
    ASSERT_TRUE(lib.load_file(file("a.bmp").c_str(), nullptr));
    EXPECT_EQ(lib.get_width(), 6);
    EXPECT_EQ(lib.get_height(), 4);
    EXPECT_EQ(lib.get_bits_per_pixel(), 24);
    EXPECT_EQ(lib.get_mipmap_count(), 0);
    EXPECT_EQ(lib.get_library_version(), IL_VERSION);
    EXPECT_EQ(lib.get_colours_used(), 24u);
    ILinfo info = lib.get_image_info();
    EXPECT_EQ(info.Id, image);
    EXPECT_EQ(info.Origin, static_cast<ILenum>(IL_ORIGIN_UPPER_LEFT));
    EXPECT_EQ(lib.loaded_image_info().Width, 6u);
    ASSERT_TRUE(lib.convert_to_bgra());
    EXPECT_EQ(lib.get_bits_per_pixel(), 32);
    EXPECT_EQ(lib.get_image_info().Format, static_cast<ILenum>(IL_BGRA));
}

// What a conversion to BGRA left: its result, the library's first error, every fact the library
// reports on the image, and the pixel bytes.
struct conversion_outcome {
    bool ok = false;
    ILenum error = IL_NO_ERROR;
    std::vector<ILint> facts;
    bytes data;
    bool operator==(const conversion_outcome&) const = default;
};

constexpr ILenum reported_facts[] = {
    IL_IMAGE_WIDTH,    IL_IMAGE_HEIGHT,       IL_IMAGE_DEPTH,     IL_IMAGE_FORMAT,
    IL_IMAGE_TYPE,     IL_IMAGE_BPP,          IL_IMAGE_BPC,       IL_IMAGE_BITS_PER_PIXEL,
    IL_IMAGE_CHANNELS, IL_IMAGE_SIZE_OF_DATA, IL_IMAGE_PLANESIZE, IL_IMAGE_ORIGIN,
    IL_IMAGE_DURATION, IL_IMAGE_OFFX,         IL_IMAGE_OFFY,      IL_IMAGE_CUBEFLAGS,
    IL_NUM_IMAGES,     IL_NUM_MIPMAPS,        IL_NUM_FACES,       IL_NUM_LAYERS,
    IL_PALETTE_TYPE,   IL_PALETTE_NUM_COLS,   IL_PALETTE_BPP,     IL_DXTC_DATA_FORMAT,
};

// The wrapper converts common layouts itself; it must give the library's result to the byte, for
// them and for what it hands over, including an image with a mipmap or a palette.
TEST_F(DevilImage, ConversionToBgraGivesExactlyTheLibrarysResult) {
    enum extra { plain, mipmap, palette };
    const struct {
        ILubyte channels;
        ILenum format, type;
        extra with;
    } layouts[] = {
        {3, IL_RGB, IL_UNSIGNED_BYTE, plain},       {4, IL_RGBA, IL_UNSIGNED_BYTE, plain},
        {3, IL_BGR, IL_UNSIGNED_BYTE, plain},       {4, IL_BGRA, IL_UNSIGNED_BYTE, plain},
        {1, IL_LUMINANCE, IL_UNSIGNED_BYTE, plain}, {3, IL_RGB, IL_UNSIGNED_SHORT, plain},
        {3, IL_RGB, IL_UNSIGNED_BYTE, mipmap},      {4, IL_RGBA, IL_UNSIGNED_BYTE, palette},
    };
    const struct { unsigned width, height; } sizes[] = {{1, 1}, {3, 5}, {257, 3}};
    for (const auto& l : layouts) {
        for (const auto& size : sizes) {
            for (ILenum origin : {IL_ORIGIN_UPPER_LEFT, IL_ORIGIN_LOWER_LEFT}) {
                SCOPED_TRACE(testing::Message()
                             << l.format << " " << l.type << " " << l.with << " " << size.width
                             << "x" << size.height << " " << origin);
                bytes data(size.width * size.height * l.channels *
                           (l.type == IL_UNSIGNED_SHORT ? 2 : 1));
                for (std::size_t i = 0; i < data.size(); ++i) {
                    data[i] = static_cast<unsigned char>(i * 37 + 11);
                }
                bytes colours(256 * 3, 90);
                auto convert = [&](bool through_wrapper) {
                    ILuint name = lib.create_image();
                    ilTexImage(size.width, size.height, 1, l.channels, l.format, l.type,
                               data.data());
                    ilRegisterOrigin(origin);
                    ilSetDuration(40);
                    ilSetInteger(IL_IMAGE_OFFX, 3);
                    ilSetInteger(IL_IMAGE_OFFY, 7);
                    if (l.with == mipmap) {
                        ilCreateSubImage(IL_SUB_MIPMAP, 1);
                    } else if (l.with == palette) {
                        ilRegisterPal(colours.data(), colours.size(), IL_PAL_BGR24);
                    }
                    while (ilGetError() != IL_NO_ERROR) {
                    }
                    conversion_outcome out;
                    out.ok = through_wrapper ? lib.convert_to_bgra()
                                             : ilConvertImage(IL_BGRA, IL_UNSIGNED_BYTE) == IL_TRUE;
                    out.error = ilGetError();
                    for (ILenum fact : reported_facts) {
                        out.facts.push_back(ilGetInteger(fact));
                    }
                    out.data.assign(ilGetData(), ilGetData() + ilGetInteger(IL_IMAGE_SIZE_OF_DATA));
                    lib.delete_image(name);
                    return out;
                };
                conversion_outcome mine = convert(true), theirs = convert(false);
                EXPECT_TRUE(mine.ok);
                EXPECT_EQ(mine.facts, theirs.facts);
                EXPECT_TRUE(mine == theirs);
            }
        }
    }
    ilBindImage(image);
}

// The library counts the data as values of as many bytes as the image has channels, whatever
// the channel type: ours must give its numbers on each layout, as loaded, as BGRA and rescaled.
TEST_F(DevilImage, ColoursUsedAreTheLibrarysOwnCount) {
    const struct {
        ILubyte channels;
        ILenum format, type;
        unsigned side;
        unsigned char mask; // 0: all values distinct
        bool opaque;
    } layouts[] = {
        {4, IL_BGRA, IL_UNSIGNED_BYTE, 512, 0, false},
        {4, IL_RGBA, IL_UNSIGNED_BYTE, 512, 0, true},
        {4, IL_RGBA, IL_UNSIGNED_BYTE, 64, 0x41, false},
        {3, IL_BGR, IL_UNSIGNED_BYTE, 512, 0, false},
        {3, IL_RGB, IL_UNSIGNED_BYTE, 1100, 0, false}, // counted by two threads
        {1, IL_LUMINANCE, IL_UNSIGNED_BYTE, 64, 0xFF, false},
        {1, IL_COLOUR_INDEX, IL_UNSIGNED_BYTE, 64, 0x0F, false},
        {2, IL_LUMINANCE_ALPHA, IL_UNSIGNED_BYTE, 64, 7, false},
        {3, IL_RGB, IL_UNSIGNED_SHORT, 128, 0x1F, false},
        {4, IL_BGRA, IL_UNSIGNED_SHORT, 128, 0x0F, true},
    };
    std::uint32_t seed = 7;
    for (const auto& l : layouts) {
        SCOPED_TRACE(testing::Message() << l.format << " " << l.side << " " << int(l.mask));
        bytes data(l.side * l.side * l.channels * (l.type == IL_UNSIGNED_SHORT ? 2 : 1));
        for (std::size_t i = 0; i < data.size(); ++i) {
            seed = seed * 1664525u + 1013904223u;
            std::uint32_t distinct = static_cast<std::uint32_t>(i / l.channels) * 2654435761u;
            data[i] = l.mask == 0 ? distinct >> (8 * (i % l.channels)) : (seed >> 24) & l.mask;
            data[i] = l.opaque && i % l.channels == 3 ? 255 : data[i];
        }
        ASSERT_TRUE(ilTexImage(l.side, l.side, 1, l.channels, l.format, l.type, data.data()));
        bytes palette(256 * 3, 90);
        ilRegisterPal(palette.data(), palette.size(), IL_PAL_BGR24);
        EXPECT_EQ(lib.get_colours_used(), iluColoursUsed());
        ASSERT_TRUE(lib.convert_to_bgra());
        EXPECT_EQ(lib.get_colours_used(), iluColoursUsed());
        char filter[] = "bilinear";
        ASSERT_TRUE(lib.rescale(l.side / 2 + 1, 0, filter));
        EXPECT_EQ(lib.get_colours_used(), iluColoursUsed());
    }
}

// A change made behind the wrapper's back shows whether the count was reused.
TEST_F(DevilImage, ColoursAreCountedOncePerStateOfTheImage) {
    blank(64, 64);
    std::memset(ilGetData(), 9, 64 * 64 * 4);
    EXPECT_EQ(lib.get_colours_used(), 1u);
    ilGetData()[0] = 1;
    EXPECT_EQ(lib.get_colours_used(), 1u);
    char type[8] = "png";
    ASSERT_TRUE(lib.save_file(image, file("a.png").c_str(), type, 4, 4, 4, ilGetData()));
    EXPECT_EQ(lib.get_colours_used(), 1u);
    ASSERT_TRUE(lib.convert_to_bgra());
    EXPECT_EQ(lib.get_colours_used(), 2u);
    ILuint other = lib.create_image();
    blank(8, 8);
    EXPECT_EQ(lib.get_colours_used(), iluColoursUsed());
    ASSERT_TRUE(lib.save_file(image, file("a.png").c_str(), type, 4, 4, 4, ilGetData()));
    ilGetData()[4] = 2;
    EXPECT_EQ(lib.get_colours_used(), 3u);
    lib.delete_image(other);
    ASSERT_TRUE(lib.load_file(file("a.png").c_str(), nullptr));
    EXPECT_EQ(lib.get_colours_used(), iluColoursUsed());
}

TEST_F(DevilImage, RescaleDerivesAMissingSideFromTheAspectRatio) {
    const struct {
        unsigned width, height, to_width, to_height, expect_width, expect_height;
    } cases[] = {
        {1024, 768, 640, 0, 640, 480}, {300, 200, 0, 100, 150, 100},
        {7, 3, 0, 5, 11, 5},           {1000, 1, 10, 0, 10, 1}, // a derived 0 becomes 1
        {40, 30, 20, 25, 20, 25},
    };
    for (const auto& c : cases) {
        blank(c.width, c.height);
        char name[] = "BILINEAR";
        ASSERT_TRUE(lib.rescale(c.to_width, c.to_height, name));
        EXPECT_STREQ(name, "bilinear");
        EXPECT_EQ(filter(), ILU_BILINEAR);
        EXPECT_EQ(lib.get_width(), static_cast<ILint>(c.expect_width));
        EXPECT_EQ(lib.get_height(), static_cast<ILint>(c.expect_height));
    }
}

TEST_F(DevilImage, RescaleMapsEveryFilterNameAndFallsBackToLanczos) {
    const std::pair<const char*, ILenum> cases[] = {
        {"nearest", ILU_NEAREST},         {"Linear", ILU_LINEAR},
        {"bilinear", ILU_BILINEAR},       {"BOX", ILU_SCALE_BOX},
        {"triangle", ILU_SCALE_TRIANGLE}, {"bell", ILU_SCALE_BELL},
        {"bspline", ILU_SCALE_BSPLINE},   {"lanczos", ILU_SCALE_LANCZOS3},
        {"mitchell", ILU_SCALE_MITCHELL}, {"sharpest", ILU_SCALE_LANCZOS3},
    };
    for (const auto& [text, expected] : cases) {
        blank(16, 16);
        iluImageParameter(ILU_FILTER, expected == ILU_NEAREST ? ILU_LINEAR : ILU_NEAREST);
        char name[16];
        std::strcpy(name, text);
        ASSERT_TRUE(lib.rescale(8, 8, name)) << text;
        EXPECT_EQ(filter(), expected) << text;
    }
}

TEST_F(DevilImage, RescaleRefusesWhatIsNotAChangeOrTooLarge) {
    blank(300, 200);
    iluImageParameter(ILU_FILTER, ILU_NEAREST);
    char name[] = "box";
    EXPECT_FALSE(lib.rescale(300, 200, name));
    EXPECT_FALSE(lib.rescale(0, 0, name));
    // 2^32 x 2^32 pixels would wrap the library's 32-bit sizes round.
    EXPECT_FALSE(lib.rescale(70000, 70000, name));
    EXPECT_FALSE(lib.rescale(0, 4000000000u, name));
    EXPECT_EQ(filter(), ILU_NEAREST);
    EXPECT_EQ(lib.get_width(), 300);
    EXPECT_EQ(lib.get_height(), 200);
}

TEST_F(DevilImage, JpegQualityTakesOnlyValuesUpToAHundred) {
    EXPECT_EQ(lib.jpg_quality_option(), 99);
    const std::pair<int, int> cases[] = {{100, 99}, {101, 99}, {-1, 99}, {1, 0}, {0, -1}, {50, 49}};
    for (const auto& [given, stored] : cases) {
        lib.set_jpg_quality(given);
        EXPECT_EQ(lib.jpg_quality_option(), stored) << given;
    }
}

TEST_F(DevilImage, InitRestoresTheStartingOptions) {
    lib.set_tga_rle(true);
    lib.set_bmp_rle(true);
    lib.set_jpg_quality(20);
    ilDisable(IL_FILE_OVERWRITE);
    lib.init();
    EXPECT_FALSE(lib.tga_rle_option());
    EXPECT_FALSE(lib.bmp_rle_option());
    EXPECT_EQ(lib.jpg_quality_option(), 99);
    EXPECT_TRUE(ilIsEnabled(IL_FILE_OVERWRITE));
    EXPECT_TRUE(ilIsEnabled(IL_ORIGIN_SET));
    EXPECT_NE(lib.heap(), nullptr);
}

} // namespace
