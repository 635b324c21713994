// Loading from disk and from zip members: orientation, lookup, decoder choice and bad input.
#include "devil_fixture.h"

namespace {

// BGR pixels as the library delivers them after the conversion to BGRA.
bytes with_alpha(const bytes& bgr) {
    bytes out;
    for (std::size_t i = 0; i < bgr.size(); i += 3) {
        out.insert(out.end(), {bgr[i], bgr[i + 1], bgr[i + 2], 255});
    }
    return out;
}

class DevilLoad : public DevilFixture {
  protected:
    // Loading fails quietly and gives every block of the heap back.
    void expect_refused(const std::string& name, const char* archive) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(lib.load_file(name.c_str(), archive));
        EXPECT_EQ(lib.heap()->blocks_held(), 0u);
        EXPECT_TRUE(headless::message_boxes().empty());
    }

    bytes bgr = pattern(5, 4, 3);
    std::string tga = tga_file(5, 4, bgr, false);
};

TEST_F(DevilLoad, RowsStoredEitherWayArriveTopRowFirst) {
    const std::pair<std::string, std::string> files[] = {
        {"up.bmp", bmp_file(5, 4, bgr, false)},
        {"down.bmp", bmp_file(5, 4, bgr, true)},
        {"up.tga", tga},
        {"down.tga", tga_file(5, 4, bgr, true)},
        {"UPPER.TGA", tga}, // no signature: found by its extension alone
    };
    for (const auto& [name, data] : files) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(test_support::write_file(file(name), data));
        bytes got;
        ASSERT_TRUE(load_bgra(file(name), nullptr, got));
        EXPECT_EQ(got, with_alpha(bgr));
        EXPECT_EQ(lib.loaded_image_info().Width, 5u);
        EXPECT_EQ(lib.loaded_image_info().Height, 4u);
        EXPECT_EQ(lib.heap()->blocks_held(), 0u);
    }
}

TEST_F(DevilLoad, MembersAreFoundWhateverTheirLetterCase) {
    std::string archive = file("pack.zip");
    ASSERT_TRUE(write_zip(archive, {{"Textures/Wall.TGA", tga}}, false));
    bytes got;
    ASSERT_TRUE(load_bgra("textures/wall.tga", archive.c_str(), got));
    EXPECT_EQ(got, with_alpha(bgr));
    ASSERT_TRUE(load_bgra("TEXTURES/WALL.TGA", archive.c_str(), got));
    EXPECT_EQ(lib.heap()->blocks_held(), 0u);
}

// A TGA has no signature: its extension, upper case or not, names its decoder; under another
// name only the library's check of its header finds it.
TEST_F(DevilLoad, MemberExtensionChoosesTheDecoderAndOthersAreDetected) {
    bytes bgra = pattern(8, 4, 4);
    std::string archive = file("pack.zip");
    ASSERT_TRUE(write_zip(archive,
                          {{"PIC.TGA", tga},
                           {"pic.bin", tga},
                           {"tex.dds", dds_file(8, 4, bgra)},
                           {"tex", dds_file(8, 4, bgra)},
                           {"photo.jpeg", encoded(IL_PNG, 8, 4, bgra)}},
                          true));
    bytes got;
    for (const char* name : {"pic.tga", "pic.bin"}) {
        ASSERT_TRUE(load_bgra(name, archive.c_str(), got));
        EXPECT_EQ(got, with_alpha(bgr));
    }
    for (const char* name : {"tex.dds", "tex", "photo.jpeg"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(load_bgra(name, archive.c_str(), got));
        EXPECT_EQ(got, bgra);
    }
}

TEST_F(DevilLoad, MissingNamesAndArchivesAreRefused) {
    EXPECT_FALSE(lib.load_file(nullptr, nullptr));
    EXPECT_FALSE(lib.load_file("", nullptr));
    expect_refused(file("missing.png"), nullptr);
    expect_refused(dir.path(), nullptr);
    std::string archive = file("pack.zip");
    ASSERT_TRUE(write_zip(archive, {{"a.tga", tga}}, false));
    expect_refused("b.tga", archive.c_str());
    expect_refused("a.tga", file("missing.zip").c_str());
}

TEST_F(DevilLoad, UndecodableAndTruncatedFilesAreRefused) {
    bytes bgra = pattern(16, 16, 4);
    const std::pair<std::string, std::string> files[] = {
        {"empty.png", ""},
        {"noise.png", "not an image at all, just words"},
        {"noise", "not an image at all, just words"},
        {"cut.bmp", bmp_file(16, 16, pattern(16, 16, 3), false).substr(0, 300)},
        {"cut.tga", tga_file(16, 16, pattern(16, 16, 3), false).substr(0, 300)},
        {"cut.png", encoded(IL_PNG, 16, 16, bgra).substr(0, 100)},
        {"cut.jpg", encoded(IL_JPG, 16, 16, bgra).substr(0, 300)},
        {"cut.tif", encoded(IL_TIF, 16, 16, bgra).substr(0, 300)},
        {"cut.psd", encoded(IL_PSD, 16, 16, bgra).substr(0, 300)},
        {"cut.dds", dds_file(16, 16, bgra).substr(0, 300)},
    };
    std::vector<std::pair<std::string, std::string>> members;
    for (const auto& [name, data] : files) {
        ASSERT_TRUE(test_support::write_file(file(name), data));
        expect_refused(file(name), nullptr);
        if (!data.empty()) {
            members.emplace_back(name, data);
        }
    }
    std::string archive = file("pack.zip");
    ASSERT_TRUE(write_zip(archive, members, false));
    for (const auto& member : members) {
        expect_refused(member.first, archive.c_str());
    }
}

// Icons under 512 bytes made the library's format probes read past their end; files and members
// without an extension, or with one the wrapper does not map, are left to that detection.
TEST_F(DevilLoad, SmallFilesLeftToDetectionAreLoaded) {
    std::vector<std::pair<std::string, std::string>> members;
    for (unsigned side : {4u, 8u, 16u}) {
        bytes bgra = pattern(side, side, 4);
        bytes bgr = pattern(side, side, 3);
        std::string ppm = "P6 " + std::to_string(side) + " " + std::to_string(side) + " 255\n";
        for (std::size_t i = 0; i < bgr.size(); i += 3) {
            ppm += {static_cast<char>(bgr[i + 2]), static_cast<char>(bgr[i + 1]),
                    static_cast<char>(bgr[i])};
        }
        const std::pair<std::string, std::string> files[] = {
            {"bmp", bmp_file(side, side, bgr, false)},
            {"tga", tga_file(side, side, bgr, false)},
            {"ppm", ppm},
            {"png", encoded(IL_PNG, side, side, bgra)},
            {"tif", encoded(IL_TIF, side, side, bgra)},
            {"gif",
             test_support::read_file(FIXTURE_DIR "/pattern" + std::to_string(side) + ".gif")},
        };
        for (const auto& [type, data] : files) {
            std::string name = type + std::to_string(side);
            ASSERT_TRUE(test_support::write_file(file(name), data));
            bytes got;
            EXPECT_TRUE(load_bgra(file(name), nullptr, got) && got == bgra) << name;
            members.insert(members.end(), {{name, data}, {name + "." + type, data}});
        }
    }
    ASSERT_TRUE(write_zip(file("icons.zip"), members, false));
    for (const auto& member : members) {
        bytes got;
        EXPECT_TRUE(load_bgra(member.first, file("icons.zip").c_str(), got) &&
                    got == pattern(lib.get_width(), lib.get_height(), 4))
            << member.first;
    }
}

TEST_F(DevilLoad, DamagedArchivesAreRefused) {
    std::string whole;
    ASSERT_TRUE(write_zip(file("whole.zip"), {{"a.tga", tga}}, true));
    whole = test_support::read_file(file("whole.zip"));
    std::string flipped = whole;
    flipped[30 + 5 + 20] ^= 0x55; // a pixel byte: the checksum no longer holds
    const std::pair<std::string, std::string> archives[] = {
        {"noise.zip", "PK\3\4 but nothing after it"},
        {"cut.zip", whole.substr(0, whole.size() / 2)},
        {"flipped.zip", flipped},
    };
    for (const auto& [name, data] : archives) {
        ASSERT_TRUE(test_support::write_file(file(name), data));
        expect_refused("a.tga", file(name).c_str());
    }
}

// The central directory's sizes are the ones the reader trusts; the local header is patched
// alike so that only the claimed size is wrong.
TEST_F(DevilLoad, MembersWhoseHeaderClaimsAnotherSizeAreRefused) {
    const std::uint32_t actual = static_cast<std::uint32_t>(tga.size());
    const struct {
        bool stored;
        std::uint32_t claimed;
    } cases[] = {{true, actual + 64},  {true, actual - 64},  {false, actual + 64},
                 {false, actual - 64}, {false, 0x7FFFFFF0u}, {true, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "stored " << c.stored << " claimed " << c.claimed);
        std::string archive = file("claims.zip");
        ASSERT_TRUE(write_zip(archive, {{"a.tga", tga}}, c.stored));
        std::string data = test_support::read_file(archive);
        patch_field(data, 0x04034b50, 22, c.claimed);
        patch_field(data, 0x02014b50, 24, c.claimed);
        if (c.stored) {
            patch_field(data, 0x04034b50, 18, c.claimed);
            patch_field(data, 0x02014b50, 20, c.claimed);
        }
        ASSERT_TRUE(test_support::write_file(archive, data));
        expect_refused("a.tga", archive.c_str());
    }
}

// A decode that reached the library refreshes the description even when it fails.
TEST_F(DevilLoad, FailedDecodeStillRefreshesTheDescription) {
    EXPECT_EQ(lib.loaded_image_info().Width, 0u);
    std::string archive = file("pack.zip");
    ASSERT_TRUE(write_zip(archive, {{"bad.png", "not a png"}}, false));
    expect_refused("bad.png", archive.c_str());
    EXPECT_EQ(lib.loaded_image_info().Id, image);
}

// The library is shared: one object going must not take another's images with it.
TEST_F(DevilLoad, LibraryOutlivesAllButTheLastObject) {
    ASSERT_TRUE(test_support::write_file(file("a.tga"), tga));
    ASSERT_TRUE(lib.load_file(file("a.tga").c_str(), nullptr));
    { devil second; }
    EXPECT_TRUE(ilIsImage(image));
    EXPECT_EQ(lib.get_width(), 5);
    EXPECT_EQ(lib.get_height(), 4);
}

} // namespace
