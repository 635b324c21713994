// Loads through the sandboxed child: the same image as an in-process decode, hostile files
// contained, unchanged files decoded once.
#include "devil_fixture.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <tuple>

#include "tools/sandbox/decode_child.h"

namespace {

// Everything a caller can ask after a load, pointers left out.
struct loaded_image {
    ILint width, height, bits, mips;
    ILuint colours;
    ILuint depth, bpp, size_of_data, format, type, origin, pal_type, pal_size, cube_flags;
    ILuint num_next, num_mips, num_layers;
    bytes pixels, palette, bgra;
    bool operator==(const loaded_image&) const = default;
};

std::uint64_t children_started() {
    std::uint64_t sum = 0;
    for (std::uint64_t count : sandbox::runs_so_far().runs) {
        sum += count;
    }
    return sum;
}

std::uint64_t runs_ended(sandbox::outcome how) {
    return sandbox::runs_so_far().runs[static_cast<int>(how)];
}

// An 8-bit palette PNG, quantized by the library itself.
std::string palette_png(unsigned width, unsigned height) {
    test_support::scratch_dir scratch;
    ILuint bound = static_cast<ILuint>(ilGetInteger(IL_CUR_IMAGE));
    ILuint temporary = ilGenImage();
    ilBindImage(temporary);
    bytes pixels = pattern(width, height, 3);
    ilTexImage(width, height, 1, 3, IL_BGR, IL_UNSIGNED_BYTE, pixels.data());
    ilConvertImage(IL_COLOUR_INDEX, IL_UNSIGNED_BYTE);
    std::string path = scratch.file("palette.png");
    bool saved = ilSave(IL_PNG, path.c_str()) == IL_TRUE;
    ilDeleteImages(1, &temporary);
    ilBindImage(bound);
    return saved ? test_support::read_file(path) : std::string();
}

// A file of the library's own writing from an image of 16-bit or float channels.
std::string wide_channels(ILenum file_type, ILenum channel_type) {
    test_support::scratch_dir scratch;
    ILuint bound = static_cast<ILuint>(ilGetInteger(IL_CUR_IMAGE));
    ILuint temporary = ilGenImage();
    ilBindImage(temporary);
    bytes pixels = pattern(16, 8, 3);
    ilTexImage(16, 8, 1, 3, IL_BGR, IL_UNSIGNED_BYTE, pixels.data());
    ilConvertImage(IL_RGB, channel_type);
    std::string path = scratch.file("wide");
    bool saved = ilSave(file_type, path.c_str()) == IL_TRUE;
    ilDeleteImages(1, &temporary);
    ilBindImage(bound);
    return saved ? test_support::read_file(path) : std::string();
}

class DevilIsolation : public DevilFixture {
  protected:
    ~DevilIsolation() override { decode_child::options() = decode_options{}; }

    bool load(const std::string& name, const char* archive, loaded_image& out) {
        if (!lib.load_file(name.c_str(), archive)) {
            return false;
        }
        ILinfo info = lib.get_image_info();
        out = {lib.get_width(),
               lib.get_height(),
               lib.get_bits_per_pixel(),
               lib.get_mipmap_count(),
               lib.get_colours_used(),
               info.Depth,
               info.Bpp,
               info.SizeOfData,
               info.Format,
               info.Type,
               info.Origin,
               info.PalType,
               info.PalSize,
               info.CubeFlags,
               info.NumNext,
               info.NumMips,
               info.NumLayers,
               {},
               {},
               {}};
        EXPECT_EQ(std::memcmp(&info, &lib.loaded_image_info(), sizeof info), 0);
        out.pixels.assign(info.Data, info.Data + info.SizeOfData);
        if (info.Palette != nullptr) {
            out.palette.assign(info.Palette, info.Palette + info.PalSize);
        }
        return lib.convert_to_bgra() &&
               (out.bgra.assign(ilGetData(), ilGetData() + ilGetInteger(IL_IMAGE_SIZE_OF_DATA)),
                true);
    }

    // Loads in-process and through the child; both must succeed and agree in everything.
    void expect_same_both_ways(const std::string& name, const char* archive) {
        SCOPED_TRACE(name);
        loaded_image direct{}, isolated{};
        decode_child::options().in_process = true;
        ASSERT_TRUE(load(name, archive, direct));
        decode_child::options().in_process = false;
        std::uint64_t before = runs_ended(sandbox::outcome::done);
        ASSERT_TRUE(load(name, archive, isolated));
        EXPECT_EQ(runs_ended(sandbox::outcome::done), before + 1);
        EXPECT_TRUE(direct == isolated);
    }

    bytes bgra = pattern(16, 8, 4);
};

TEST_F(DevilIsolation, EveryFormatLoadsTheSameThroughTheChild) {
    char dxt5[] = "dxt5";
    ASSERT_TRUE(lib.write_dds_snapshot(file("chain.dds").c_str(), dxt5, 16, 8, bgra.data(), true));
    const std::pair<std::string, std::string> files[] = {
        {"a.bmp", bmp_file(16, 8, pattern(16, 8, 3), false)},
        {"a.tga", tga_file(16, 8, pattern(16, 8, 3), true)},
        {"a.dds", dds_file(16, 8, bgra)},
        {"chain.dds", test_support::read_file(file("chain.dds"))},
        {"a.png", encoded(IL_PNG, 16, 8, bgra)},
        {"a.jpg", encoded(IL_JPG, 16, 8, bgra)},
        {"a.tif", encoded(IL_TIF, 16, 8, bgra)},
        {"a.psd", encoded(IL_PSD, 16, 8, bgra)},
        {"palette.png", palette_png(16, 8)},
        {"wide.png", wide_channels(IL_PNG, IL_UNSIGNED_SHORT)},
        {"wide.hdr", wide_channels(IL_HDR, IL_FLOAT)},
        // A megabyte and more: huge-page blocks, the wrapper's own conversion
        {"large.tga", tga_file(640, 560, pattern(640, 560, 3), false)},
        {"large.png", encoded(IL_PNG, 560, 520, pattern(560, 520, 4))},
    };
    for (const auto& [name, data] : files) {
        ASSERT_TRUE(test_support::write_file(file(name), data));
        expect_same_both_ways(file(name), nullptr);
    }
    ASSERT_TRUE(write_zip(file("pack.zip"), {{"In/Pack.TGA", files[1].second}}, false));
    expect_same_both_ways("in/pack.tga", file("pack.zip").c_str());
}

// Each file takes the library down in-process: a TGA claiming 65535 x 65535 pixels crashes in
// the flip after its allocation fails, a PNM header of one '#' loops for ever, and a PNM
// claiming 2.7 GB of pixels asks for all of it.
TEST_F(DevilIsolation, HostileFilesEndInACleanFalseAndTheNextLoadWorks) {
    decode_child::options().limits = {1, 10, std::uint64_t{256} << 20, std::uint64_t{64} << 20};
    std::string tga(64, '\0');
    tga[2] = 2;
    tga[12] = tga[13] = tga[14] = tga[15] = '\xFF';
    tga[16] = 32;
    std::string pnm = "P6\n30000 30000\n255\n" + std::string(200, 'x');
    const struct {
        const char* name;
        std::string data;
        sandbox::outcome ending;
    } cases[] = {
        {"crash.tga", tga, sandbox::outcome::crashed},
        {"hang.ppm", "#", sandbox::outcome::timed_out},
        {"huge.ppm", pnm, sandbox::outcome::refused}, // image blocks are mapped, not malloc's
    };
    std::string good = tga_file(5, 4, pattern(5, 4, 3), false);
    ASSERT_TRUE(test_support::write_file(file("good.tga"), good));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(test_support::write_file(file(c.name), c.data));
        std::uint64_t before = runs_ended(c.ending);
        EXPECT_FALSE(lib.load_file(file(c.name).c_str(), nullptr));
        EXPECT_EQ(runs_ended(c.ending), before + 1);
        bytes got;
        ASSERT_TRUE(load_bgra(file("good.tga"), nullptr, got));
        EXPECT_EQ(lib.get_width(), 5);
        EXPECT_EQ(got.size(), 5u * 4 * 4);
    }
}

// The zoom steps' reloads: one child per file state, and each reload the same image again.
TEST_F(DevilIsolation, UnchangedFilesAreDecodedOnce) {
    std::string path = file("a.png");
    ASSERT_TRUE(test_support::write_file(path, encoded(IL_PNG, 16, 8, bgra)));
    std::uint64_t before = children_started();
    loaded_image first{}, again{};
    ASSERT_TRUE(load(path, nullptr, first));
    char filter[] = "lanczos";
    ASSERT_TRUE(lib.rescale(40, 0, filter));
    ASSERT_TRUE(load(path, nullptr, again));
    EXPECT_TRUE(first == again);
    EXPECT_EQ(children_started(), before + 1);

    // Same size, another modification time: decoded anew.
    bytes other = pattern(16, 8, 4);
    other[0] ^= 0xFF;
    ASSERT_TRUE(test_support::write_file(path, encoded(IL_PNG, 16, 8, other)));
    timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    ASSERT_TRUE(load(path, nullptr, again));
    EXPECT_EQ(children_started(), before + 2);
    EXPECT_FALSE(first == again);

    // Another member of the same archive is another file.
    ASSERT_TRUE(write_zip(
        file("pack.zip"),
        {{"a.png", encoded(IL_PNG, 16, 8, bgra)}, {"b.png", encoded(IL_PNG, 16, 8, other)}}, true));
    ASSERT_TRUE(load("a.png", file("pack.zip").c_str(), first));
    ASSERT_TRUE(load("b.png", file("pack.zip").c_str(), again));
    EXPECT_EQ(children_started(), before + 4);
    EXPECT_FALSE(first == again);

    // A result larger than what is kept is decoded anew each time.
    decode_child::options().most_kept_bytes = 0;
    ASSERT_TRUE(load(path, nullptr, first));
    ASSERT_TRUE(load(path, nullptr, again));
    EXPECT_EQ(children_started(), before + 6);
    EXPECT_TRUE(first == again);
}

// A decode started before any load: the first load of the same file state takes its result
// and starts no child of its own; a changed file, or another one, is decoded afresh (the early
// child is ended unfinished, which no tally counts) and comes out right.
// An early decode's plain image keeps the pages it arrived in, since the viewer rescales it
// itself; a 16-bit one stays whole for the reloads that its zoom steps make.
TEST_F(DevilIsolation, AnEarlyDecodesPlainImageKeepsThePagesItArrivedIn) {
    std::string plain = file("plain.png");
    ASSERT_TRUE(test_support::write_file(plain, encoded(IL_PNG, 256, 256, pattern(256, 256, 4))));
    std::string wide = file("wide.png");
    ASSERT_TRUE(test_support::write_file(wide, wide_channels(IL_PNG, IL_UNSIGNED_SHORT)));
    for (const auto& [path, adopted] : {std::pair{plain, true}, std::pair{wide, false}}) {
        SCOPED_TRACE(path);
        loaded_image first{}, again{};
        devil::start_early_decode(path.c_str());
        ASSERT_TRUE(load(path, nullptr, first));
        EXPECT_EQ(mapping_of(ilGetData()).find("/memfd:glintview-result") != std::string::npos,
                  adopted);
        std::uint64_t before = children_started();
        ASSERT_TRUE(load(path, nullptr, again));
        EXPECT_TRUE(first == again);
        EXPECT_EQ(children_started(), before + (adopted ? 1 : 0));
    }
}

TEST_F(DevilIsolation, AnEarlyDecodeServesOnlyTheFileStateItWasStartedFor) {
    bytes other = pattern(16, 8, 4);
    other[0] ^= 0xFF;
    std::string path = file("early.png");
    std::string another = file("another.png");
    ASSERT_TRUE(test_support::write_file(another, encoded(IL_PNG, 16, 8, other)));
    loaded_image expected{}, changed{}, got{};
    ASSERT_TRUE(load(another, nullptr, changed));
    ASSERT_TRUE(test_support::write_file(path, encoded(IL_PNG, 16, 8, bgra)));
    ASSERT_TRUE(load(path, nullptr, expected));

    struct {
        const char* what;
        bool change_file;
        const std::string& loaded;
        const loaded_image& wanted;
    } cases[] = {
        {"same file", false, path, expected},
        {"file changed since", true, path, changed},
        {"another file", false, another, changed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(test_support::write_file(path, encoded(IL_PNG, 16, 8, bgra)));
        timespec times[2] = {{0, UTIME_OMIT}, {1000, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        std::uint64_t before = children_started();
        devil::start_early_decode(path.c_str());
        if (c.change_file) {
            ASSERT_TRUE(test_support::write_file(path, encoded(IL_PNG, 16, 8, other)));
        }
        ASSERT_TRUE(load(c.loaded, nullptr, got));
        EXPECT_TRUE(got == c.wanted);
        EXPECT_EQ(children_started(), before + 1);
    }

    // A file the early decode refused or ran out of time on fails the load at once: the load's
    // own decode would run the same code on the same bytes.
    decode_child::options().limits = {1, 10, std::uint64_t{256} << 20, std::uint64_t{64} << 20};
    for (auto [name, data, children] : {std::tuple{"bad.png", "\x89PNG\r\n\x1a\n no picture", 1},
                                        std::tuple{"hang.ppm", "#", 1}}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(test_support::write_file(file(name), data));
        std::uint64_t before = children_started();
        devil::start_early_decode(file(name).c_str());
        EXPECT_FALSE(load(file(name), nullptr, got));
        EXPECT_EQ(children_started(), before + children);
    }
}

} // namespace
