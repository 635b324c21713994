// The entry's return codes, its use of the write routine and the progress routine, and its
// copy of the options.
#include <gtest/gtest.h>

#include <vector>

#include "dds_test_support.h"

namespace {

using dds_test::options_for;

bool discard(const void*, std::size_t, void*) {
    return true;
}

long run(const void* pixels, int width, int height, int pitch, const dds_options_record& options,
         int channels) {
    return dds_compress(pixels, width, height, pitch, options, channels, nullptr, nullptr, discard,
                        nullptr);
}

class DdsEntry : public testing::Test {
  protected:
    std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(512 * 512 * 4, 0x80);
};

TEST_F(DdsEntry, NullPixelsComeFirst) {
    EXPECT_EQ(run(nullptr, 64, 64, 256, options_for(dds_format_dxt1, false), 4), -1);
    // Even when every other argument is wrong too.
    EXPECT_EQ(run(nullptr, 300, 0, 0, options_for(99, false), 7), -1);
}

TEST_F(DdsEntry, ChannelCountMustBeThreeOrFour) {
    for (int channels : {0, 1, 2, 5, -4}) {
        EXPECT_EQ(run(pixels.data(), 64, 64, 256, options_for(dds_format_dxt1, false), channels),
                  -2)
            << channels;
        // Checked before the sides.
        EXPECT_EQ(run(pixels.data(), 300, 64, 1200, options_for(dds_format_dxt5, false), channels),
                  -2);
    }
    EXPECT_GT(run(pixels.data(), 64, 64, 192, options_for(dds_format_dxt1, false), 3), 0);
}

TEST_F(DdsEntry, BlockFormatsNeedPowerOfTwoSides) {
    for (std::uint16_t format :
         {dds_format_dxt1, dds_format_dxt1a, dds_format_dxt3, dds_format_dxt5}) {
        EXPECT_EQ(run(pixels.data(), 300, 256, 1200, options_for(format, false), 4), -3);
        EXPECT_EQ(run(pixels.data(), 256, 96, 1024, options_for(format, false), 4), -3);
        EXPECT_EQ(run(pixels.data(), 0, 64, 1024, options_for(format, false), 4), -3);
        EXPECT_EQ(run(pixels.data(), 64, -64, 1024, options_for(format, false), 4), -3);
        EXPECT_GT(run(pixels.data(), 1, 1, 4, options_for(format, false), 4), 0);
        EXPECT_GT(run(pixels.data(), 512, 2, 2048, options_for(format, true), 4), 0);
    }
}

TEST_F(DdsEntry, PixelLayoutsTakeAnySide) {
    for (std::uint16_t format = dds_format_4444; format <= dds_format_555; ++format) {
        EXPECT_GT(run(pixels.data(), 300, 7, 1200, options_for(format, false), 4), 0) << format;
        EXPECT_GT(run(pixels.data(), 300, 7, 1200, options_for(format, true), 4), 0) << format;
    }
}

TEST_F(DdsEntry, CubeStripTestsASixthOfTheWidth) {
    dds_options_record strip = options_for(dds_format_dxt1, false);
    strip.texture_kind = dds_texture_cube_strip;
    EXPECT_GT(run(pixels.data(), 384, 64, 1536, strip, 4), 0);  // 6 x 64
    EXPECT_EQ(run(pixels.data(), 256, 64, 1024, strip, 4), -3); // 256 / 6 is no whole side
    EXPECT_EQ(run(pixels.data(), 18, 64, 72, strip, 4), -3);    // 6 x 3
    EXPECT_EQ(run(pixels.data(), 384, 48, 1536, strip, 4), -3); // the height is still tested
    EXPECT_EQ(run(pixels.data(), 384, 64, 1536, options_for(dds_format_dxt1, false), 4), -3);
}

TEST_F(DdsEntry, OtherBadRequestsAreRefused) {
    EXPECT_EQ(run(pixels.data(), 64, 64, 256, options_for(9, false), 4), dds_error_bad_options);
    EXPECT_EQ(run(pixels.data(), 64, 64, 256, options_for(20, false), 4), dds_error_bad_options);
    dds_options_record mode = options_for(dds_format_dxt1, false);
    mode.mipmap_mode = 31;
    EXPECT_EQ(run(pixels.data(), 64, 64, 256, mode, 4), dds_error_bad_options);
    dds_options_record kind = options_for(dds_format_dxt1, false);
    kind.texture_kind = 0;
    EXPECT_EQ(run(pixels.data(), 64, 64, 256, kind, 4), dds_error_bad_options);
    EXPECT_EQ(run(pixels.data(), 64, 64, 255, options_for(dds_format_8888, false), 4),
              dds_error_bad_options); // pitch shorter than a row
    EXPECT_EQ(run(pixels.data(), 64, 64, 191, options_for(dds_format_8888, false), 3),
              dds_error_bad_options);
    EXPECT_EQ(run(pixels.data(), 0, 64, 256, options_for(dds_format_8888, false), 4),
              dds_error_bad_options);
    EXPECT_EQ(dds_compress(pixels.data(), 64, 64, 256, options_for(dds_format_8888, false), 4,
                           nullptr, nullptr, nullptr, nullptr),
              dds_error_bad_options);
}

struct limited_writer {
    std::size_t allowance = 0;
    std::size_t received = 0;
    int calls_after_refusal = 0;
    bool refused = false;
};

bool write_until_full(const void*, std::size_t count, void* context) {
    auto* writer = static_cast<limited_writer*>(context);
    if (writer->refused) {
        ++writer->calls_after_refusal;
    }
    if (count == 0 || writer->received + count > writer->allowance) {
        writer->refused = true;
        return false;
    }
    writer->received += count;
    return true;
}

TEST_F(DdsEntry, RefusedWriteAbandonsTheFile) {
    for (std::size_t allowance : {std::size_t{0}, std::size_t{100}, std::size_t{5000}}) {
        limited_writer writer{allowance};
        long result =
            dds_compress(pixels.data(), 256, 256, 1024, options_for(dds_format_dxt5, true), 4,
                         nullptr, nullptr, write_until_full, &writer);
        EXPECT_EQ(result, dds_error_write) << allowance;
        EXPECT_TRUE(writer.refused);
        EXPECT_EQ(writer.calls_after_refusal, 0);
    }
}

TEST_F(DdsEntry, ResultCountsEveryByteWritten) {
    limited_writer writer{1u << 30};
    long result = dds_compress(pixels.data(), 512, 512, 2048, options_for(dds_format_565, true), 4,
                               nullptr, nullptr, write_until_full, &writer);
    EXPECT_EQ(result, static_cast<long>(writer.received));
    EXPECT_FALSE(writer.refused); // never called with zero bytes
}

void record_progress(float done, void* context) {
    static_cast<std::vector<float>*>(context)->push_back(done);
}

TEST_F(DdsEntry, ProgressRisesToOne) {
    for (std::uint16_t format : {dds_format_dxt1, dds_format_8888}) {
        std::vector<float> reports;
        long result = dds_compress(pixels.data(), 256, 256, 1024, options_for(format, true), 4,
                                   record_progress, &reports, discard, nullptr);
        ASSERT_GT(result, 0);
        ASSERT_GE(reports.size(), 10u);
        EXPECT_GE(reports.front(), 0.0f);
        for (std::size_t i = 1; i < reports.size(); ++i) {
            EXPECT_GE(reports[i], reports[i - 1]);
        }
        EXPECT_EQ(reports.back(), 1.0f);
    }
}

// Rewrites the caller's options record while the compressor is at work.
struct meddler {
    dds_options_record* options;
    std::string file;
};

bool write_and_meddle(const void* bytes, std::size_t count, void* context) {
    auto* m = static_cast<meddler*>(context);
    m->file.append(static_cast<const char*>(bytes), count);
    m->options->surface_format = dds_format_8888;
    m->options->mipmap_mode = dds_mipmap_none;
    return true;
}

TEST_F(DdsEntry, OptionsAreCopiedBeforeUse) {
    dds_test::image source = dds_test::make_mixed_image(64, 64, 8);
    dds_test::compressed reference = dds_test::compress(source, dds_format_dxt1, true);
    dds_options_record options = options_for(dds_format_dxt1, true);
    meddler m{&options, {}};
    long result = dds_compress(source.bgra.data(), 64, 64, 256, options, 4, nullptr, nullptr,
                               write_and_meddle, &m);
    EXPECT_EQ(result, reference.result);
    EXPECT_EQ(m.file, reference.file);
}

TEST_F(DdsEntry, SameInputSameFile) {
    dds_test::image source = dds_test::make_mixed_image(64, 32, 8);
    for (std::uint16_t format = dds_format_dxt1; format <= dds_format_555; ++format) {
        EXPECT_EQ(dds_test::compress(source, format, true).file,
                  dds_test::compress(source, format, true).file)
            << format;
    }
}

} // namespace
