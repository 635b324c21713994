#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "platform/fonts.h"
#include "platform/gdi.h"
#include "platform/pixel_memory.h"
#include "test_support.h"

using namespace platform;

namespace {

// A surface of its own, every pixel 0x00RRGGBB as the bytes B, G, R, 0 hold it.
struct canvas {
    int width;
    int height;
    std::vector<std::uint32_t> pixels;
    canvas(int w, int h, std::uint32_t fill) : width(w), height(h), pixels(w * h, fill) {}
    surface target() {
        return {reinterpret_cast<std::uint8_t*>(pixels.data()), width, height, width * 4};
    }
    std::uint32_t at(int x, int y) const { return pixels[y * width + x]; }
};

log_font panel_font(std::int32_t height) {
    log_font description;
    description.height = height;
    description.weight = fw_normal;
    description.out_precision = out_tt_only_precis;
    description.quality = cleartype_quality;
    std::strcpy(description.face_name, "Tahoma");
    return description;
}

bool within(long long v, long long start, long long length) {
    return v >= start && v < start + length;
}

int channel(std::uint32_t pixel, int shift) {
    return pixel >> shift & 0xFF;
}

// Draws `characters` in green on dark blue at (x, y); `extent` receives their measure.
bool text(canvas& on, const font* with, background_mode mode, int x, int y, const char* characters,
          size* extent = nullptr) {
    device_context paint(on.target());
    paint.select_font(with);
    paint.set_background_mode(mode);
    paint.set_background_colour(rgb(0, 0, 64));
    paint.set_text_colour(rgb(0, 255, 0));
    const int count = static_cast<int>(std::strlen(characters));
    size measured;
    const bool drawn = paint.text_out(x, y, characters, count);
    return paint.text_extent(characters, count, extent ? *extent : measured) && drawn;
}

} // namespace

TEST(mul_div, rounds_to_nearest_half_away_from_zero_in_64_bits) {
    struct row {
        int a, b, c, expected;
    } rows[] = {{14, 96, 72, 19},   {20, 96, 72, 27},
                {-14, 96, 72, -19}, {3, 1, 2, 2},
                {-3, 1, 2, -2},     {3, 1, -2, -2},
                {5, 1, 3, 2},       {4, 1, 3, 1},
                {7, 1, 0, -1},      {INT_MAX, INT_MAX, INT_MAX, INT_MAX},
                {INT_MAX, 2, 1, -1}};
    for (const row& r : rows) {
        EXPECT_EQ(mul_div(r.a, r.b, r.c), r.expected) << r.a << " * " << r.b << " / " << r.c;
    }
}

TEST(bitmap, copies_the_pixels_once_and_describes_them) {
    std::vector<std::uint32_t> source{1, 2, 3, 4, 5, 6};
    auto made = bitmap::create(3, 2, 1, 32, source.data());
    ASSERT_NE(made, nullptr);
    source[0] = 99; // the bitmap has its own copy
    const bitmap_info info = made->describe();
    EXPECT_EQ(std::tuple(info.type, info.width, info.height, info.width_bytes, info.planes,
                         info.bits_pixel, info.bits),
              std::tuple(0, 3, 2, 12, 1, 32, static_cast<void*>(made->pixels().pixels)));
    std::vector<std::uint32_t> out(8, 0xEE);
    EXPECT_EQ(made->get_bits(8, out.data()), 8);
    EXPECT_EQ(out, (std::vector<std::uint32_t>{1, 2, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(made->get_bits(1000, out.data()), 24);
    EXPECT_EQ(out, (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6, 0xEE, 0xEE}));
    EXPECT_EQ(made->get_bits(-1, out.data()), 0);
}

TEST(bitmap, refuses_beyond_its_limits_before_allocating) {
    // A refused size that could be allocated shows that the limit is checked first.
    struct row {
        int width, height, planes, bits;
        bool made;
    } rows[] = {{32767, 1, 1, 32, true},      {32768, 1, 1, 32, false}, {1, 32768, 1, 32, false},
                {16384, 16385, 1, 32, false}, {0, 5, 1, 32, false},     {5, -1, 1, 32, false},
                {2, 2, 2, 32, false},         {2, 2, 1, 24, false}};
    for (const row& r : rows) {
        auto made = bitmap::create(r.width, r.height, r.planes, r.bits, nullptr);
        EXPECT_EQ(made != nullptr, r.made) << r.width << " x " << r.height;
    }
}

TEST(bit_blt, copies_only_what_lies_on_both_surfaces) {
    std::vector<std::uint32_t> numbered(4 * 3);
    std::iota(numbered.begin(), numbered.end(), 1u);
    auto picture = bitmap::create(4, 3, 1, 32, numbered.data());
    struct row {
        int x, y, width, height, source_x, source_y;
    } rows[] = {{1, 1, 4, 3, 0, 0},  {-2, -1, 4, 3, 0, 0},
                {3, 4, 4, 3, 0, 0},  {0, 0, 9, 9, -1, -2},
                {1, 0, 3, 3, 2, 1},  {0, 0, 0, 3, 0, 0},
                {0, 0, -4, 3, 0, 0}, {INT_MIN, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MIN}};
    for (const row& r : rows) {
        canvas screen(5, 5, 0xAB);
        device_context paint(screen.target());
        auto memory = device_context::create_compatible(paint);
        EXPECT_FALSE(bit_blt(paint, 0, 0, 1, 1, *memory, 0, 0)); // nothing selected yet
        memory->select_bitmap(picture.get());
        EXPECT_TRUE(bit_blt(paint, r.x, r.y, r.width, r.height, *memory, r.source_x, r.source_y));
        for (long long y = 0; y < 5; ++y) {
            for (long long x = 0; x < 5; ++x) {
                const long long sx = x - r.x + r.source_x;
                const long long sy = y - r.y + r.source_y;
                const bool copied = within(x, r.x, r.width) && within(y, r.y, r.height) &&
                                    within(sx, 0, 4) && within(sy, 0, 3);
                EXPECT_EQ(screen.at(x, y), copied ? numbered[sy * 4 + sx] : 0xABu)
                    << "case " << r.x << "," << r.y << " at " << x << "," << y;
            }
        }
    }
}

TEST(font, takes_the_em_or_the_cell_height_in_pixels) {
    struct row {
        std::int32_t height;
        int em;   // 0: not checked
        int cell; // 0: not checked; both 0: no font
    } rows[] = {{-19, 19, 0}, {-27, 27, 0},      {0, 16, 0},    {24, 0, 24},
                {40, 0, 40},  {INT32_MIN, 0, 0}, {100000, 0, 0}};
    for (const row& r : rows) {
        auto made = font::create(panel_font(r.height));
        ASSERT_EQ(made != nullptr, r.em || r.cell) << r.height;
        if (made) {
            EXPECT_EQ(made->cell_height(), made->ascent() + made->descent());
            EXPECT_EQ(r.em ? made->face().em_pixels() : 0, r.em);
            EXPECT_NEAR(made->cell_height(), r.cell ? r.cell : made->cell_height(), 1) << r.height;
        }
    }
}

TEST(font, resolves_tahoma_to_an_outline_font) {
    auto made = font::create(panel_font(-19));
    ASSERT_NE(made, nullptr);
    EXPECT_FALSE(made->face().family().empty());
    FT_Library library;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    FT_Face face;
    ASSERT_EQ(FT_New_Face(library, made->face().file().c_str(), 0, &face), 0);
    EXPECT_TRUE(FT_IS_SCALABLE(face)) << made->face().file();
    FT_Done_FreeType(library);
}

// fontconfig reads its configuration once per process, so each case runs in a child.
TEST(font, is_not_made_without_an_outline_font) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A bitmap font of one character, eight pixels high.
    const char* bitmap_only_font = "STARTFONT 2.1\nFONT -x-tahoma-medium-r-normal--8-80-75-75-c-80-"
                                   "iso10646-1\nSIZE 8 75 75\nFONTBOUNDINGBOX 8 1 0 0\nCHARS 1\n"
                                   "STARTCHAR A\nENCODING 65\nSWIDTH 500 0\nDWIDTH 8 0\n"
                                   "BBX 8 1 0 0\nBITMAP\nFF\nENDCHAR\nENDFONT\n";
    for (bool with_bitmap_font : {false, true}) {
        test_support::scratch_dir dir;
        std::string fonts = with_bitmap_font ? "<dir>" + dir.path() + "</dir>" : "";
        ASSERT_TRUE(test_support::write_file(dir.file("fixed.bdf"), bitmap_only_font));
        ASSERT_TRUE(test_support::write_file(dir.file("fonts.conf"),
                                             "<fontconfig>" + fonts + "<cachedir>" + dir.path() +
                                                 "</cachedir></fontconfig>"));
        EXPECT_EXIT(
            {
                setenv("FONTCONFIG_FILE", dir.file("fonts.conf").c_str(), 1);
                const bool made = font::create(panel_font(-8)) != nullptr; // the bitmap size
                std::error_code ignored;
                std::filesystem::remove_all(dir.path(), ignored);
                std::_Exit(made ? 1 : 0);
            },
            testing::ExitedWithCode(0), "")
            << (with_bitmap_font ? "bitmap font only" : "no font at all");
    }
}

// Draws each character at its position over a 40 x 40 surface, then checks every pixel.
TEST(text_out, opaque_fills_exactly_the_clipped_cell) {
    const std::uint32_t untouched = 0x00102030;
    auto made = font::create(panel_font(-19));
    ASSERT_NE(made, nullptr);
    struct row {
        const char* character;
        int x, y;
    } rows[] = {
        {"W", 5, 7}, {"\xE9", -2, -9}, {"g", 30, 28}, {"Wg", 1, 3}}; // 0xE9: Latin-1 e acute
    for (const row& r : rows) {
        canvas screen(40, 40, untouched);
        size cell;
        ASSERT_TRUE(
            text(screen, made.get(), background_mode::opaque, r.x, r.y, r.character, &cell));
        EXPECT_EQ(cell.cy, made->cell_height());
        const int advances = std::accumulate(
            r.character, r.character + std::strlen(r.character), 0,
            [&](int sum, char c) { return sum + made->advance(static_cast<unsigned char>(c)); });
        EXPECT_EQ(cell.cx, advances);
        int covered = 0;
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 40; ++x) {
                const std::uint32_t p = screen.at(x, y);
                if (!within(x, r.x, cell.cx) || !within(y, r.y, cell.cy)) {
                    EXPECT_EQ(p, untouched) << x << "," << y;
                    continue;
                }
                // Green is the coverage; blue must be the background blended by that much.
                const int coverage = channel(p, 8);
                covered += coverage > 0;
                EXPECT_EQ(p & 0xFF00FF, 0u + 64 - 64 * coverage / 255) << x << "," << y;
            }
        }
        EXPECT_GT(covered, 0) << r.x << "," << r.y;
    }
}

TEST(text_out, transparent_changes_only_glyph_pixels) {
    auto made = font::create(panel_font(-19));
    ASSERT_NE(made, nullptr);
    canvas coverage(30, 30, 0);
    ASSERT_TRUE(text(coverage, made.get(), background_mode::opaque, 3, 2, "&"));
    canvas screen(30, 30, 0);
    for (std::size_t i = 0; i < screen.pixels.size(); ++i) {
        screen.pixels[i] = static_cast<std::uint32_t>(i * 7919 % 256) << 16; // red noise
    }
    const canvas before = screen;
    EXPECT_FALSE(text(screen, nullptr, background_mode::transparent, 3, 2, "&"));
    ASSERT_TRUE(text(screen, made.get(), background_mode::transparent, 3, 2, "&"));
    for (std::size_t i = 0; i < screen.pixels.size(); ++i) {
        EXPECT_EQ(screen.pixels[i] != before.pixels[i], channel(coverage.pixels[i], 8) > 0) << i;
    }
}

TEST(draw_icon, copies_opaque_and_clips) {
    const std::uint8_t bgr[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    icon picture(2, 2, bgr);
    canvas screen(3, 3, 0xAB);
    device_context paint(screen.target());
    ASSERT_TRUE(paint.draw_icon(-1, 1, picture));
    EXPECT_EQ(screen.pixels, (std::vector<std::uint32_t>{0xAB, 0xAB, 0xAB, 0x060504, 0xAB, 0xAB,
                                                         0x0C0B0A, 0xAB, 0xAB}));
}

// A frame may hold only part of what its context addresses (the part of a window on a
// display): it must come out exactly as that part of the whole, with nothing written outside.
TEST(surface, a_partial_frame_holds_exactly_its_part_of_the_whole) {
    std::vector<std::uint32_t> numbered(30 * 20);
    std::iota(numbered.begin(), numbered.end(), 1u);
    auto picture = bitmap::create(30, 20, 1, 32, numbered.data());
    auto made = font::create(panel_font(-19));
    ASSERT_NE(made, nullptr);
    const std::uint8_t bgr[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const icon small_icon(2, 2, bgr);
    auto paint = [&](surface target) {
        device_context dc(target);
        auto memory = device_context::create_compatible(dc);
        memory->select_bitmap(picture.get());
        bit_blt(dc, 3, 2, 30, 20, *memory, 0, 0);
        bit_blt(dc, 20, 15, 10, 10, dc, 0, 0); // onto itself
        dc.select_font(made.get());
        dc.text_out(10, 12, "Wg", 2);
        dc.draw_icon(38, 1, small_icon);
    };
    canvas whole(40, 30, 0xAB);
    paint(whole.target());
    for (auto [left, top, width, height] :
         {std::tuple{0, 0, 40, 30}, std::tuple{5, 7, 20, 11}, std::tuple{31, 0, 9, 30}}) {
        canvas framed(width + 2, height + 2, 0xCD); // a one-pixel guard all round
        framed.pixels.assign(framed.pixels.size(), 0xCD);
        for (int y = 1; y <= height; ++y) {
            for (int x = 1; x <= width; ++x) {
                framed.pixels[y * framed.width + x] = 0xAB;
            }
        }
        surface part = framed.target();
        part.pixels += (framed.width + 1) * 4;
        part = {part.pixels, width, height, part.pitch, left, top};
        paint(part);
        for (int y = 0; y < framed.height; ++y) {
            for (int x = 0; x < framed.width; ++x) {
                bool guard = x == 0 || y == 0 || x > width || y > height;
                EXPECT_EQ(framed.at(x, y), guard ? 0xCDu : whole.at(left + x - 1, top + y - 1))
                    << left << "," << top << " at " << x << "," << y;
            }
        }
    }
}

// Large blocks sit on huge-page boundaries, where the kernel can back them with huge pages;
// small ones come from malloc; both are freed the same way.
TEST(pixel_memory, maps_large_blocks_on_huge_page_boundaries) {
    constexpr std::uintptr_t huge_page = 2 << 20;
    for (std::size_t size : {std::size_t{1000}, std::size_t{512} << 10, std::size_t{5} << 20}) {
        void* block = allocate_pixels(size);
        ASSERT_NE(block, nullptr) << size;
        std::memset(block, 0x5A, size);
        if (size >= (std::size_t{512} << 10)) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % huge_page, 0u) << size;
        }
        free_pixels(block);
    }
}

// A child forked while another thread allocates (a background count or rescale beside a
// decoding child's fork) allocates and frees in turn, and ends.
TEST(pixel_memory, a_child_forked_beside_an_allocating_thread_allocates_too) {
    std::atomic<bool> stop{false};
    std::thread allocating([&stop] {
        while (!stop) {
            free_pixels(allocate_pixels(std::size_t{1} << 20));
        }
    });
    int stuck = 0;
    for (int fork_count = 0; fork_count < 300 && stuck == 0; ++fork_count) {
        pid_t child = fork();
        if (child == 0) {
            free_pixels(allocate_pixels(std::size_t{1} << 20));
            _exit(0);
        }
        ASSERT_GT(child, 0);
        int status = -1;
        for (int wait = 0; wait < 2000 && waitpid(child, &status, WNOHANG) == 0; ++wait) {
            usleep(1000);
        }
        if (status != 0) {
            ++stuck;
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
        }
    }
    stop = true;
    allocating.join();
    EXPECT_EQ(stuck, 0);
}

TEST(next_character, reads_utf8_and_takes_any_other_byte_as_itself) {
    struct row {
        const char* text;
        char32_t expected;
        std::size_t used;
    } rows[] = {
        {"A", U'A', 1},
        {"\xC3\xBC", U'\u00FC', 2},     // u umlaut
        {"\xE2\x82\xAC", U'\u20AC', 3}, // euro sign
        {"\xF0\x9F\x98\x80", U'\U0001F600', 4},
        {"\xFC", 0xFC, 1},             // Latin-1 u umlaut
        {"\xC3", 0xC3, 1},             // cut short
        {"\xC3(", 0xC3, 1},            // no continuation byte
        {"\xC0\xAF", 0xC0, 1},         // overlong '/'
        {"\xED\xA0\x80", 0xED, 1},     // a surrogate
        {"\xF4\x90\x80\x80", 0xF4, 1}, // past U+10FFFF
        {"\x80", 0x80, 1},             // a lone continuation byte
    };
    for (const row& r : rows) {
        std::size_t used = 0;
        EXPECT_EQ(next_character(r.text, std::strlen(r.text), used), r.expected) << r.text;
        EXPECT_EQ(used, r.used) << r.text;
    }
}
