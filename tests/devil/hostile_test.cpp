// Hostile files against the wrapper and its child: images declared larger than the viewer can
// show, and files larger than any image it can show needs.
#include "devil_fixture.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include "platform/gdi.h"
#include "tools/sandbox/image_budget.h"
#include "tools/sandbox/image_transfer.h"

namespace {

void put_u32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

void put_chunk(std::FILE* file, const char* type, const std::string& data) {
    std::string chunk;
    put_u32(chunk, static_cast<std::uint32_t>(data.size()));
    chunk += std::string(type, 4) + data;
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(chunk.data() + 4),
                      static_cast<uInt>(chunk.size() - 4));
    put_u32(chunk, static_cast<std::uint32_t>(crc));
    std::fwrite(chunk.data(), 1, chunk.size(), file);
}

// A grey PNG of width x height black pixels: a few hundred KiB that decode to width x height
// bytes.
bool write_grey_png(const std::string& path, std::uint32_t width, std::uint32_t height) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    std::fwrite("\x89PNG\r\n\x1a\n", 1, 8, file);
    std::string header;
    put_u32(header, width);
    put_u32(header, height);
    header += std::string("\x08\x00\x00\x00\x00", 5); // 8-bit grey, no interlace
    put_chunk(file, "IHDR", header);
    z_stream stream{};
    deflateInit(&stream, Z_BEST_SPEED);
    std::vector<unsigned char> row(width + 1, 0); // filter byte and pixels, all 0
    std::vector<unsigned char> out(1 << 20);
    for (std::uint32_t y = 0; y < height; ++y) {
        stream.next_in = row.data();
        stream.avail_in = static_cast<uInt>(row.size());
        int flush = y + 1 == height ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            deflate(&stream, flush);
            std::size_t made = out.size() - stream.avail_out;
            if (made > 0) {
                put_chunk(file, "IDAT",
                          std::string(reinterpret_cast<const char*>(out.data()), made));
            }
        } while (stream.avail_out == 0 || (flush == Z_FINISH && stream.avail_in > 0));
    }
    deflateEnd(&stream);
    put_chunk(file, "IEND", "");
    return std::fclose(file) == 0;
}

long peak_kib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

using HostileFiles = DevilFixture;

// Declared-size bombs at and around the bitmap's limits (1 GiB of 32-bit pixels, 16384 x 16384
// at most when square): refused without the parent ever holding their pixels, while the
// largest image that fits opens and converts.
TEST_F(HostileFiles, ImagesBeyondWhatABitmapCanShowAreRefusedUnconverted) {
    const struct {
        std::uint32_t width, height;
        bool opens;
    } cases[] = {{33000, 33000, false},
                 {30000, 30000, false},
                 {16385, 16384, false},
                 {32768, 64, false},
                 {16384, 16384, true}};
    long before = peak_kib();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        std::string path = file("bomb.png");
        ASSERT_TRUE(write_grey_png(path, c.width, c.height));
        ASSERT_EQ(lib.load_file(path.c_str(), nullptr), c.opens);
        if (!c.opens) {
            EXPECT_LT(peak_kib() - before, 256 * 1024) << "the parent took the refused pixels";
            continue;
        }
        ASSERT_TRUE(lib.convert_to_bgra());
        ILinfo info = lib.get_image_info();
        EXPECT_EQ(info.Bpp, 4);
        EXPECT_NE(platform::bitmap::create(static_cast<int>(info.Width),
                                           static_cast<int>(info.Height), 1, 32, info.Data),
                  nullptr);
    }
}

// Files larger than any image the viewer can show needs are refused unread: a sparse file
// costs nothing to make and would cost its whole size to read.
TEST_F(HostileFiles, FilesBeyondTheLargestImageAreRefusedUnread) {
    const std::uint64_t sizes[] = {image_budget::most_file_bytes + 1, (std::uint64_t{4} << 30) - 1,
                                   std::uint64_t{4} << 30};
    long before = peak_kib();
    for (std::uint64_t size : sizes) {
        SCOPED_TRACE(size);
        std::string path = file("sparse.png");
        ASSERT_TRUE(test_support::write_file(path, "\x89PNG\r\n\x1a\n"));
        ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(size)), 0);
        EXPECT_FALSE(lib.load_file(path.c_str(), nullptr));
        devil::start_early_decode(path.c_str()); // refused as well: nothing is started
        EXPECT_FALSE(lib.load_file(path.c_str(), nullptr));
    }
    EXPECT_LT(peak_kib() - before, 64 * 1024);
}

// A message from the child is held to the budget before anything is copied: its pixels are
// never touched when the image is too large (the mapping below has no memory behind it).
TEST_F(HostileFiles, TheParentHoldsTheChildsImageToTheBudget) {
    unsigned char grey[2] = {7, 9};
    ASSERT_TRUE(ilTexImage(2, 1, 1, 1, IL_LUMINANCE, IL_UNSIGNED_BYTE, grey));
    int fd = memfd_create("message", 0);
    sandbox::result_writer writer(fd, 1 << 20);
    ASSERT_TRUE(image_transfer::pack_image(image, writer));
    constexpr std::size_t header_bytes = 16 + 80; // the message's header and one node's
    ASSERT_EQ(writer.size(), header_bytes + 2);
    std::string header(header_bytes, '\0');
    ASSERT_EQ(pread(fd, header.data(), header_bytes, 0), ssize_t(header_bytes));
    close(fd);
    const struct {
        std::uint32_t width, height;
        bool accepted;
    } cases[] = {{33000, 33000, false},
                 {30000, 30000, false},
                 {32768, 1, false},
                 {16385, 16384, false},
                 {16384, 16384, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        std::uint64_t pixels = std::uint64_t{c.width} * c.height;
        std::size_t size = header_bytes + pixels;
        void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        ASSERT_NE(block, MAP_FAILED);
        auto* message = static_cast<unsigned char*>(block);
        std::memcpy(message, header.data(), header_bytes);
        std::memcpy(message + 32, &c.width, 4);
        std::memcpy(message + 36, &c.height, 4);
        std::memcpy(message + 88, &pixels, 8);
        EXPECT_EQ(image_transfer::rebuild_image(image, message, size), c.accepted);
        munmap(block, size);
    }
}

// In a process of its own, since the refusal is for the rest of a decoding child's life: the
// library gets no block for an image beyond the budget, and still gets one for the largest
// image that fits.
void allocate_as_a_decoding_child_does() {
    devil lib;
    lib.create_image();
    devil::refuse_images_beyond_budget();
    bool bomb = ilTexImage(33000, 33000, 1, 1, IL_LUMINANCE, IL_UNSIGNED_BYTE, nullptr);
    bool wide = ilTexImage(32768, 4096, 1, 1, IL_LUMINANCE, IL_UNSIGNED_BYTE, nullptr);
    bool largest = ilTexImage(16384, 16384, 1, 1, IL_LUMINANCE, IL_UNSIGNED_BYTE, nullptr);
    std::_Exit(!bomb && !wide && largest ? 0 : 1);
}

TEST(HostileFilesInTheChild, NoBlockIsMadeForAnImageBeyondTheBudget) {
    EXPECT_EXIT(allocate_as_a_decoding_child_does(), ::testing::ExitedWithCode(0), "");
}

} // namespace
