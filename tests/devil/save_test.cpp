// Saving top-row-first pixels: every format reads back upright, options reach the library, and
// a failed save leaves what was there.
#include "devil_fixture.h"

#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tiffio.h>

namespace {

class DevilSave : public DevilFixture {
  protected:
    // The library's own JPEG writer on the same top-row-first BGRA pixels at `quality`, the
    // file that ours must equal byte for byte.
    std::string library_jpeg(const bytes& pixels, unsigned width, unsigned height, int quality) {
        ILuint own = 0;
        ilGenImages(1, &own);
        ilBindImage(own);
        EXPECT_TRUE(ilTexImage(width, height, 1, 4, IL_BGRA, IL_UNSIGNED_BYTE,
                               const_cast<unsigned char*>(pixels.data())));
        ilRegisterOrigin(IL_ORIGIN_UPPER_LEFT);
        ilSetInteger(IL_JPG_QUALITY, quality);
        EXPECT_TRUE(ilSave(IL_JPG, file("library.jpg").c_str()));
        ilDeleteImages(1, &own);
        ilBindImage(image);
        return test_support::read_file(file("library.jpg"));
    }

    bool save(const std::string& name, const char* type_text, unsigned width, unsigned height,
              unsigned channels, const bytes& pixels) {
        std::strcpy(type, type_text);
        return lib.save_file(image, file(name).c_str(), type, width, height, channels,
                             pixels.data());
    }
    // Saves 24 x 16 pixels as `name` and reads them back as BGRA.
    bytes round_trip(const std::string& name, const char* type_text, unsigned channels) {
        bytes got;
        EXPECT_TRUE(save(name, type_text, 24, 16, channels, pattern(24, 16, channels)));
        EXPECT_EQ(ilGetInteger(IL_CUR_IMAGE), static_cast<ILint>(image));
        EXPECT_TRUE(load_bgra(file(name), nullptr, got));
        return got;
    }

    char type[16] = {};
};

TEST_F(DevilSave, EveryFormatReadsBackUprightAsHandedIn) {
    const std::pair<const char*, int> formats[] = {{"bmp", 0}, {"jpg", 40}, {"png", 0},
                                                   {"tga", 0}, {"tif", 0},  {"psd", 0}};
    for (const auto& [type_text, allowance] : formats) {
        for (unsigned channels : {3u, 4u}) {
            SCOPED_TRACE(testing::Message() << type_text << " from " << channels << " bytes");
            std::string name = std::string("snap.") + type_text;
            bytes got = round_trip(name, type_text, channels);
            EXPECT_LE(largest_difference(got, pattern(24, 16, 4), false), allowance);
        }
    }
}

// The library's PSD reader garbles alpha; the planes in the file are checked instead.
TEST_F(DevilSave, AlphaIsKeptByTheFormatsThatHoldIt) {
    bytes pixels = pattern(24, 16, 4);
    for (std::size_t i = 3; i < pixels.size(); i += 4) {
        pixels[i] = static_cast<unsigned char>(i / 4 < 24 * 8 ? 128 : 255); // top half half clear
    }
    for (const char* type_text : {"png", "tga"}) {
        SCOPED_TRACE(type_text);
        std::string name = std::string("alpha.") + type_text;
        ASSERT_TRUE(save(name, type_text, 24, 16, 4, pixels));
        bytes got;
        ASSERT_TRUE(load_bgra(file(name), nullptr, got));
        EXPECT_EQ(largest_difference(got, pixels, true), 0);
    }
    // The library's TIF reader premultiplies straight alpha (as for every such file), so libtiff
    // reads the file: its samples must be the straight ones, and be declared so.
    ASSERT_TRUE(save("alpha.tif", "tif", 24, 16, 4, pixels));
    TIFF* tif = TIFFOpen(file("alpha.tif").c_str(), "r");
    ASSERT_NE(tif, nullptr);
    std::uint16_t extra_count = 0;
    std::uint16_t* extra = nullptr;
    ASSERT_TRUE(TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extra_count, &extra));
    EXPECT_EQ(extra[0], EXTRASAMPLE_UNASSALPHA);
    bytes row(24 * 4);
    for (unsigned y = 0; y < 16; ++y) {
        ASSERT_EQ(TIFFReadScanline(tif, row.data(), y), 1);
        for (unsigned i = 0; i < row.size(); ++i) {
            ASSERT_EQ(row[i], pixels[y * row.size() + (i % 4 == 3 ? i : i / 4 * 4 + 2 - i % 4)]);
        }
    }
    TIFFClose(tif);
    ASSERT_TRUE(save("alpha.psd", "psd", 24, 16, 4, pixels));
    std::string psd = test_support::read_file(file("alpha.psd"));
    std::string alpha_plane = psd.substr(psd.size() - 24 * 16);
    EXPECT_EQ(alpha_plane, std::string(24 * 8, '\x80') + std::string(24 * 8, '\xff'));
}

TEST_F(DevilSave, UnknownTypesWriteBmpAndSayBmp) {
    ASSERT_TRUE(save("snap.gif", "GIF", 24, 16, 4, pattern(24, 16, 4)));
    EXPECT_STREQ(type, "bmp");
    EXPECT_EQ(test_support::read_file(file("snap.gif")).substr(0, 2), "BM");
    // Read by its content: the extension would send it to the GIF decoder.
    std::filesystem::copy_file(file("snap.gif"), file("snap.bmp"));
    bytes got;
    ASSERT_TRUE(load_bgra(file("snap.bmp"), nullptr, got));
    EXPECT_EQ(largest_difference(got, pattern(24, 16, 4), false), 0);
    // Short texts too: the buffer's size is known, not guessed from the text.
    for (const char* short_text : {"x", "gi", ""}) {
        ASSERT_TRUE(save("short", short_text, 24, 16, 4, pattern(24, 16, 4)));
        EXPECT_STREQ(type, "bmp");
        EXPECT_EQ(test_support::read_file(file("short")).substr(0, 2), "BM");
    }
    char tiny[3] = "x";
    ASSERT_TRUE(lib.save_file(image, file("tiny").c_str(), tiny, sizeof tiny, 24, 16, 4,
                              pattern(24, 16, 4).data()));
    EXPECT_STREQ(tiny, "x");
}

// The viewer hands over its configured quality less one, and stores 98 at start. JPEG files are
// written by our own writer, the library's file byte for byte at that quality.
TEST_F(DevilSave, JpegQualityReachesTheLibraryAsConfiguredLessTwo) {
    bytes noise(64 * 64 * 4);
    for (std::size_t i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<unsigned char>((i * 7919) % 251);
    }
    std::size_t sizes[2] = {};
    const std::pair<int, int> cases[] = {{100, 98}, {50, 48}, {2, 0}, {1, 98}, {0, 98}};
    for (const auto& [configured, reaching] : cases) {
        devil viewer_copy; // starts at 99, as a freshly made viewer's does
        viewer_copy.set_jpg_quality(99);
        if (configured - 1 != 0) {
            viewer_copy.set_jpg_quality(configured - 1);
        }
        std::strcpy(type, "jpg");
        ASSERT_TRUE(
            viewer_copy.save_file(image, file("q.jpg").c_str(), type, 64, 64, 4, noise.data()));
        EXPECT_EQ(test_support::read_file(file("q.jpg")), library_jpeg(noise, 64, 64, reaching))
            << configured;
        if (configured == 100 || configured == 2) {
            sizes[configured == 2] = test_support::read_file(file("q.jpg")).size();
        }
    }
    EXPECT_GT(sizes[0], 2 * sizes[1]) << "quality changes the file";
    // Quality 0 reaches the library as 0, not as whatever an earlier save left.
    lib.set_jpg_quality(0);
    ilSetInteger(IL_JPG_QUALITY, 50);
    ASSERT_TRUE(save("zero.jpg", "jpg", 64, 64, 4, noise));
    EXPECT_EQ(test_support::read_file(file("zero.jpg")), library_jpeg(noise, 64, 64, 0));
}

TEST_F(DevilSave, RleOptionsReachTheLibrary) {
    bytes flat(64 * 64 * 4, 200);
    for (bool rle : {true, false}) {
        lib.set_tga_rle(rle);
        lib.set_bmp_rle(rle);
        ASSERT_TRUE(save("r.tga", "tga", 64, 64, 4, flat));
        EXPECT_EQ(test_support::read_file(file("r.tga"))[2], rle ? 10 : 2);
        if (!rle) { // RLE TGA files are written by our own encoder, not the library
            EXPECT_EQ(ilGetInteger(IL_TGA_RLE), 0);
        }
        ASSERT_TRUE(save("r.bmp", "bmp", 64, 64, 4, flat));
        EXPECT_EQ(ilGetInteger(IL_BMP_RLE), rle ? 1 : 0);
        bytes got;
        ASSERT_TRUE(load_bgra(file("r.tga"), nullptr, got));
        EXPECT_EQ(got, flat);
    }
}

TEST_F(DevilSave, ReplacingKeepsThePermissionsAndLeavesNoTemporaryFile) {
    ASSERT_TRUE(test_support::write_file(file("snap.png"), "old"));
    chmod(file("snap.png").c_str(), 0640);
    ASSERT_TRUE(save("snap.png", "png", 24, 16, 4, pattern(24, 16, 4)));
    EXPECT_EQ(test_support::read_file(file("snap.png")).substr(1, 3), "PNG");
    struct stat status {};
    ASSERT_EQ(stat(file("snap.png").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(folder_listing(), (std::vector<std::string>{"snap.png"}));
}

TEST_F(DevilSave, ALinkIsReplacedByTheFileAndNeverFollowed) {
    ASSERT_TRUE(test_support::write_file(file("kept.png"), "old"));
    std::filesystem::create_symlink(file("kept.png"), file("link.png"));
    std::filesystem::create_directory(file("folder"));
    std::filesystem::create_directory_symlink(file("folder"), file("to-folder.png"));
    std::filesystem::create_symlink(file("nowhere.png"), file("dangling.png"));
    for (const char* name : {"link.png", "to-folder.png", "dangling.png"}) {
        ASSERT_TRUE(save(name, "png", 24, 16, 4, pattern(24, 16, 4))) << name;
        EXPECT_FALSE(std::filesystem::is_symlink(file(name))) << name;
        EXPECT_EQ(test_support::read_file(file(name)).substr(1, 3), "PNG") << name;
    }
    EXPECT_EQ(test_support::read_file(file("kept.png")), "old");
    EXPECT_TRUE(std::filesystem::is_empty(file("folder")));
    EXPECT_FALSE(std::filesystem::exists(file("nowhere.png")));
}

TEST_F(DevilSave, FailedSavesLeaveWhatWasThere) {
    ASSERT_TRUE(test_support::write_file(file("keep.jpg"), "old"));
    ASSERT_TRUE(test_support::write_file(file("locked.png"), "old"));
    chmod(file("locked.png").c_str(), 0444);
    std::filesystem::create_directory(file("folder.png"));
    bytes wide(65536 * 4, 9);
    // JPEG's codec would end the process on a side beyond 65500; the others write damage.
    EXPECT_FALSE(save("keep.jpg", "jpg", 65501, 1, 4, wide));
    EXPECT_FALSE(save("wide.tga", "tga", 65536, 1, 4, wide));
    EXPECT_FALSE(save("wide.psd", "psd", 1, 30001, 4, wide));
    EXPECT_FALSE(save("locked.png", "png", 24, 16, 4, pattern(24, 16, 4)));
    EXPECT_FALSE(save("folder.png", "png", 24, 16, 4, pattern(24, 16, 4)));
    EXPECT_FALSE(save("no/such/folder.png", "png", 24, 16, 4, pattern(24, 16, 4)));
    EXPECT_FALSE(save("odd.png", "png", 24, 16, 2, pattern(24, 16, 4)));
    EXPECT_FALSE(lib.save_file(image, file("null.png").c_str(), type, 4, 4, 4, nullptr));
    EXPECT_FALSE(lib.save_file(image, "", type, 4, 4, 4, wide.data()));
    EXPECT_FALSE(lib.save_file(image, nullptr, type, 4, 4, 4, wide.data()));
    EXPECT_EQ(test_support::read_file(file("keep.jpg")), "old");
    EXPECT_EQ(test_support::read_file(file("locked.png")), "old");
    EXPECT_TRUE(std::filesystem::is_directory(file("folder.png")));
    EXPECT_EQ(folder_listing(), (std::vector<std::string>{"folder.png", "keep.jpg", "locked.png"}));
    EXPECT_EQ(ilGetInteger(IL_CUR_IMAGE), static_cast<ILint>(image));
    EXPECT_TRUE(headless::message_boxes().empty());
}

} // namespace

namespace {

// A file-size limit stands in for a full disk: writes past it fail.
class DiskFull {
  public:
    explicit DiskFull(rlim_t bytes) {
        previous_handler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limit = previous;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~DiskFull() {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previous_handler);
    }

  private:
    rlimit previous{};
    void (*previous_handler)(int);
};

// The library reports success for PNG, TIF and PSD files the disk cut short.
TEST_F(DevilSave, AFullDiskFailsTheSaveAndKeepsTheOldFile) {
    bytes noise(128 * 128 * 4);
    std::uint32_t seed = 1;
    for (unsigned char& byte : noise) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<unsigned char>(seed >> 24);
    }
    for (const char* type_text : {"bmp", "jpg", "png", "tga", "tif", "psd", "dds"}) {
        SCOPED_TRACE(type_text);
        std::string name = std::string("full.") + type_text;
        ASSERT_TRUE(test_support::write_file(file(name), "old"));
        std::strcpy(type, type_text == std::string("dds") ? "8888" : type_text);
        DiskFull full(4096);
        EXPECT_FALSE(
            type_text == std::string("dds")
                ? lib.write_dds_snapshot(file(name).c_str(), type, 128, 128, noise.data(), false)
                : save(name, type_text, 128, 128, 4, noise));
        EXPECT_EQ(test_support::read_file(file(name)), "old");
    }
    EXPECT_EQ(folder_listing().size(), 7u);
}

} // namespace
