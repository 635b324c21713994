// Our TGA reader against the library's own: each layout it reads, stored either way up, decodes
// to the library's image under each origin setting, and everything else is left to the
// library with the bound image untouched.
#include "devil_fixture.h"

#include "tools/devil/tga_reader.h"

namespace {

struct layout {
    const char* name;
    unsigned kind = 2, bits = 24, descriptor = 0, id_length = 0, colour_map = 0;
    std::size_t cut = 0; // bytes left off the end
};

std::string tga_file(int width, int height, const layout& l) {
    std::string file(18, '\0');
    file[0] = static_cast<char>(l.id_length);
    file[1] = static_cast<char>(l.colour_map);
    file[2] = static_cast<char>(l.kind);
    file[12] = static_cast<char>(width & 0xFF);
    file[13] = static_cast<char>(width >> 8);
    file[14] = static_cast<char>(height & 0xFF);
    file[15] = static_cast<char>(height >> 8);
    file[16] = static_cast<char>(l.bits);
    file[17] = static_cast<char>(l.descriptor);
    file += std::string(l.id_length, 'i');
    const std::size_t pixel_bytes = std::size_t{l.bits} / 8 * width * height;
    for (std::size_t i = 0; i < pixel_bytes; ++i) {
        file += static_cast<char>(i * 7 + i / 13);
    }
    return file.substr(0, file.size() - l.cut);
}

class TgaReader : public DevilFixture {
  protected:
    bound_image by_library(const std::string& file) {
        EXPECT_TRUE(ilLoadL(IL_TGA, file.data(), static_cast<ILuint>(file.size())));
        return bound();
    }
    tga_reader::outcome ours(const std::string& file) {
        ilTexImage(3, 2, 1, 3, IL_RGB, IL_UNSIGNED_BYTE, nullptr); // what must stay, if refused
        return tga_reader::load(file.data(), static_cast<std::uint32_t>(file.size()));
    }
    void TearDown() override {
        ilEnable(IL_ORIGIN_SET);
        ilOriginFunc(IL_ORIGIN_UPPER_LEFT); // as the wrapper decodes
    }
};

TEST_F(TgaReader, EachLayoutEitherWayUpGivesTheLibrarysImage) {
    const layout layouts[] = {
        {"24-bit"}, {"32-bit", 2, 32, 8}, {"grey", 3, 8}, {"24-bit with an ID", 2, 24, 0, 9}};
    const struct {
        const char* name;
        bool origin_set;
        ILenum origin;
    } settings[] = {{"upright", true, IL_ORIGIN_UPPER_LEFT},
                    {"bottom first", true, IL_ORIGIN_LOWER_LEFT},
                    {"as stored", false, IL_ORIGIN_UPPER_LEFT}};
    for (const auto& setting : settings) {
        setting.origin_set ? ilEnable(IL_ORIGIN_SET) : ilDisable(IL_ORIGIN_SET);
        ilOriginFunc(setting.origin);
        for (layout l : layouts) {
            for (unsigned top_first : {0u, 0x20u}) {
                l.descriptor |= top_first;
                SCOPED_TRACE(std::string(setting.name) + ", " + l.name +
                             (top_first ? ", top" : ""));
                std::string file = tga_file(37, 23, l);
                bound_image expected = by_library(file);
                ASSERT_EQ(ours(file), tga_reader::outcome::loaded);
                EXPECT_TRUE(bound() == expected);
            }
        }
    }
}

TEST_F(TgaReader, AnythingElseIsLeftToTheLibrary) {
    const layout cases[] = {{"run-length coded", 10},
                            {"colour-mapped", 1, 8},
                            {"16-bit", 2, 16},
                            {"grey with 16 bits", 3, 16},
                            {"a colour map beside true colour", 2, 24, 0, 0, 1},
                            {"right to left", 2, 24, 0x10},
                            {"cut short", 2, 24, 0, 0, 0, 1}};
    for (const layout& l : cases) {
        SCOPED_TRACE(l.name);
        EXPECT_EQ(ours(tga_file(40, 30, l)), tga_reader::outcome::for_library);
        EXPECT_EQ(lib.get_width(), 3);
    }
    EXPECT_EQ(ours(tga_file(0, 30, layout{"no width"})), tga_reader::outcome::for_library);
    EXPECT_EQ(ours(tga_file(40, 30, layout{"plain"}).substr(0, 17)),
              tga_reader::outcome::for_library);
    ilEnable(IL_FORMAT_SET); // the library would convert it
    EXPECT_EQ(ours(tga_file(40, 30, layout{"plain"})), tga_reader::outcome::for_library);
    ilDisable(IL_FORMAT_SET);
}

} // namespace
