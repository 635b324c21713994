// The wrapper's resampler against the library's own iluScale, filter by filter, and parts of a
// result against the whole.
#include "devil_fixture.h"

#include <cmath>
#include <cstring>
#include <random>

#include "tools/devil/resample.h"

namespace {

struct named_filter {
    const char* name;
    ILenum library;
    resample::filter own;
};

constexpr named_filter every_filter[] = {
    {"nearest", ILU_NEAREST, resample::filter::nearest},
    {"linear", ILU_LINEAR, resample::filter::linear},
    {"bilinear", ILU_BILINEAR, resample::filter::bilinear},
    {"box", ILU_SCALE_BOX, resample::filter::box},
    {"triangle", ILU_SCALE_TRIANGLE, resample::filter::triangle},
    {"bell", ILU_SCALE_BELL, resample::filter::bell},
    {"bspline", ILU_SCALE_BSPLINE, resample::filter::bspline},
    {"lanczos", ILU_SCALE_LANCZOS3, resample::filter::lanczos3},
    {"mitchell", ILU_SCALE_MITCHELL, resample::filter::mitchell},
};

// Something like a photographed texture: soft shading, a fine grain, hard-edged shapes and
// flat areas, with an alpha channel of its own.
bytes texture(unsigned width, unsigned height, unsigned channels) {
    std::mt19937 random(width * 7919u + height);
    std::uniform_int_distribution<int> grain(-12, 12);
    bytes out(std::size_t{width} * height * channels);
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            double shade = 128 + 90 * std::sin(x * 0.031) * std::cos(y * 0.017);
            bool shape = ((x / 37 + y / 23) % 5) == 0;
            bool flat = x % 97 < 20;
            for (unsigned c = 0; c < channels; ++c) {
                int value =
                    flat ? 40 * static_cast<int>(c + 1)
                         : static_cast<int>(shade) + grain(random) + 17 * static_cast<int>(c);
                if (shape) {
                    value = 255 - value / 3;
                }
                out[(std::size_t{y} * width + x) * channels + c] =
                    static_cast<unsigned char>(std::clamp(value, 0, 255));
            }
        }
    }
    return out;
}

bytes checkerboard(unsigned width, unsigned height, unsigned channels) {
    bytes out(std::size_t{width} * height * channels);
    for (std::size_t i = 0; i < out.size(); ++i) {
        std::size_t pixel = i / channels;
        out[i] = ((pixel % width + pixel / width) % 2) != 0 ? 255 : 0;
    }
    return out;
}

struct difference {
    double psnr = 1e9;
    int largest = 0;
};

difference compare(const bytes& a, const bytes& b) {
    difference d;
    double squares = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        int off = std::abs(int{a[i]} - int{b[i]});
        d.largest = std::max(d.largest, off);
        squares += double(off) * off;
    }
    if (squares > 0) {
        d.psnr = 10 * std::log10(255.0 * 255.0 / (squares / a.size()));
    }
    return d;
}

ILenum format_of(unsigned channels) {
    constexpr ILenum formats[] = {IL_LUMINANCE, IL_LUMINANCE_ALPHA, IL_BGR, IL_BGRA};
    return formats[channels - 1];
}

class DevilResample : public DevilFixture {
  protected:
    // The library's own result, from iluScale called directly.
    bytes library_result(const bytes& pixels, unsigned width, unsigned height, unsigned channels,
                         unsigned to_width, unsigned to_height, ILenum filter) {
        EXPECT_TRUE(ilTexImage(width, height, 1, static_cast<ILubyte>(channels),
                               format_of(channels), IL_UNSIGNED_BYTE,
                               const_cast<unsigned char*>(pixels.data())));
        iluImageParameter(ILU_FILTER, filter);
        EXPECT_TRUE(iluScale(to_width, to_height, 1));
        return bytes(ilGetData(), ilGetData() + ilGetInteger(IL_IMAGE_SIZE_OF_DATA));
    }

    // The wrapper's result, through its rescale.
    bytes wrapper_result(const bytes& pixels, unsigned width, unsigned height, unsigned channels,
                         unsigned to_width, unsigned to_height, const char* filter) {
        EXPECT_TRUE(ilTexImage(width, height, 1, static_cast<ILubyte>(channels),
                               format_of(channels), IL_UNSIGNED_BYTE,
                               const_cast<unsigned char*>(pixels.data())));
        ilRegisterOrigin(IL_ORIGIN_UPPER_LEFT);
        char name[16];
        std::snprintf(name, sizeof name, "%s", filter);
        EXPECT_TRUE(lib.rescale(to_width, to_height, name));
        EXPECT_EQ(ilGetInteger(IL_IMAGE_ORIGIN), IL_ORIGIN_UPPER_LEFT);
        EXPECT_EQ(ilGetInteger(IL_IMAGE_FORMAT), static_cast<ILint>(format_of(channels)));
        return bytes(ilGetData(), ilGetData() + ilGetInteger(IL_IMAGE_SIZE_OF_DATA));
    }
};

// Nearest gives the library's pixels exactly; every other filter at least 48 dB and no channel
// more than 16 levels off.
TEST_F(DevilResample, EveryFilterKeepsTheLibrarysLook) {
    struct scene {
        const char* what;
        bytes pixels;
        unsigned width, height, channels, to_width, to_height;
        bool all_filters; // a line sends the library past its image where weights are not 0
    };
    const scene scenes[] = {
        {"texture up", texture(300, 200, 4), 300, 200, 4, 317, 211, true},
        {"texture down", texture(300, 200, 4), 300, 200, 4, 97, 64, true},
        {"wider, less high", texture(300, 200, 4), 300, 200, 4, 420, 150, true},
        {"narrower, higher", texture(200, 300, 4), 200, 300, 4, 150, 420, true},
        {"three channels", texture(120, 90, 3), 120, 90, 3, 250, 61, true},
        {"grey", texture(90, 120, 1), 90, 120, 1, 61, 250, true},
        {"checkerboard up", checkerboard(64, 64, 4), 64, 64, 4, 100, 100, true},
        {"checkerboard down", checkerboard(64, 64, 4), 64, 64, 4, 33, 45, true},
        {"3 x 3 to 64", texture(3, 3, 4), 3, 3, 4, 64, 64, true},
        {"4096 to 64", texture(4096, 256, 4), 4096, 256, 4, 64, 4, true},
        {"1-pixel line", texture(64, 1, 4), 64, 1, 4, 150, 1, false},
        {"1-pixel column", texture(1, 40, 3), 1, 40, 3, 1, 99, false},
    };
    for (const scene& s : scenes) {
        for (const named_filter& f : every_filter) {
            bool stray_weights = f.library == ILU_SCALE_BSPLINE || f.library == ILU_SCALE_MITCHELL;
            if (!s.all_filters && stray_weights) {
                continue;
            }
            SCOPED_TRACE(std::string(s.what) + " " + f.name);
            bytes theirs = library_result(s.pixels, s.width, s.height, s.channels, s.to_width,
                                          s.to_height, f.library);
            bytes ours = wrapper_result(s.pixels, s.width, s.height, s.channels, s.to_width,
                                        s.to_height, f.name);
            ASSERT_EQ(ours.size(), theirs.size());
            difference d = compare(ours, theirs);
            if (f.library == ILU_NEAREST) {
                EXPECT_EQ(d.largest, 0);
            } else {
                EXPECT_GE(d.psnr, 48.0);
                EXPECT_LE(d.largest, 16);
            }
        }
    }
}

// Any rectangle made alone is the same pixels as the whole result there, on one thread or two.
TEST_F(DevilResample, PartsEqualTheWhole) {
    const unsigned width = 131, height = 97;
    bytes pixels = texture(width, height, 4);
    resample::job what{{pixels.data(), width, height, 4}, 0, 0, resample::filter::nearest};
    const std::pair<unsigned, unsigned> sizes[] = {{269, 181}, {50, 40}, {200, 60}};
    const resample::area parts[] = {
        {0, 0, 1, 1}, {3, 70, 40, 1}, {17, 5, 1, 30}, {10, 20, 33, 19}, {0, 0, 50, 40}};
    for (const named_filter& f : every_filter) {
        for (auto [to_width, to_height] : sizes) {
            what.how = f.own;
            what.width = to_width;
            what.height = to_height;
            bytes whole(std::size_t{to_width} * to_height * 4);
            ASSERT_TRUE(resample::rescale(what, whole.data()));
            for (const resample::area& part : parts) {
                if (part.x + part.width > to_width || part.y + part.height > to_height) {
                    continue;
                }
                SCOPED_TRACE(std::string(f.name) + " " + std::to_string(part.x) + "," +
                             std::to_string(part.y) + " " + std::to_string(to_width));
                std::size_t stride = std::size_t{part.width} * 4 + 4; // rows apart, as a bitmap's
                bytes alone(stride * part.height);
                ASSERT_TRUE(resample::rescale_part(what, part, alone.data(), stride, 1));
                for (unsigned y = 0; y < part.height; ++y) {
                    const unsigned char* expected =
                        &whole[((std::size_t{part.y} + y) * to_width + part.x) * 4];
                    ASSERT_EQ(std::memcmp(&alone[y * stride], expected, part.width * 4), 0)
                        << "row " << y;
                }
            }
        }
    }
}

// A three-channel image rescaled straight into blue, green, red, alpha pixels: the same values
// as its plain three-channel result, reordered, alpha 255, in any part (the stride leaves a gap
// after each row that must stay untouched).
TEST_F(DevilResample, ThreeChannelResultsWidenToBgra) {
    const unsigned width = 61, height = 43;
    bytes pixels = texture(width, height, 3);
    const std::pair<unsigned, unsigned> sizes[] = {{97, 70}, {30, 20}, {80, 30}};
    const resample::area parts[] = {{0, 0, 30, 20}, {5, 7, 1, 9}, {11, 3, 17, 12}};
    for (const named_filter& f : every_filter) {
        for (auto [to_width, to_height] : sizes) {
            for (bool red_first : {true, false}) {
                resample::job plain{{pixels.data(), width, height, 3}, to_width, to_height, f.own};
                bytes whole(std::size_t{to_width} * to_height * 3);
                ASSERT_TRUE(resample::rescale(plain, whole.data()));
                resample::job widened = plain;
                widened.to_bgra = true;
                widened.red_first = red_first;
                for (const resample::area& part : parts) {
                    SCOPED_TRACE(std::string(f.name) + " to " + std::to_string(to_width) +
                                 (red_first ? " rgb" : " bgr") + " at " + std::to_string(part.x));
                    std::size_t stride = std::size_t{part.width} * 4 + 8;
                    bytes alone(stride * part.height, 0xAB);
                    ASSERT_TRUE(resample::rescale_part(widened, part, alone.data(), stride));
                    for (unsigned y = 0; y < part.height; ++y) {
                        for (unsigned x = 0; x < part.width; ++x) {
                            const unsigned char* in =
                                &whole[((std::size_t{part.y} + y) * to_width + part.x + x) * 3];
                            const unsigned char* out = &alone[y * stride + x * 4];
                            unsigned char blue = red_first ? in[2] : in[0];
                            unsigned char red = red_first ? in[0] : in[2];
                            ASSERT_EQ(out[0], blue) << x << "," << y;
                            ASSERT_EQ(out[1], in[1]) << x << "," << y;
                            ASSERT_EQ(out[2], red) << x << "," << y;
                            ASSERT_EQ(out[3], 255) << x << "," << y;
                        }
                        for (std::size_t gap = part.width * 4; gap < stride; ++gap) {
                            ASSERT_EQ(alone[y * stride + gap], 0xAB) << "row " << y;
                        }
                    }
                }
            }
        }
    }
    bytes four_channels = texture(8, 8, 4);
    resample::job four{{four_channels.data(), 8, 8, 4}, 16, 16, resample::filter::nearest};
    four.to_bgra = true; // only three channels widen
    bytes out(16 * 16 * 4);
    EXPECT_FALSE(resample::rescale(four, out.data()));
}

TEST_F(DevilResample, RefusesPartsOutsideTheResultAndBadImages) {
    bytes pixels = texture(8, 8, 4);
    unsigned char out[16 * 64];
    resample::job what{{pixels.data(), 8, 8, 4}, 16, 16, resample::filter::lanczos3};
    EXPECT_FALSE(resample::rescale_part(what, {10, 0, 7, 1}, out, 64));
    EXPECT_FALSE(resample::rescale_part(what, {0, 16, 1, 1}, out, 64));
    EXPECT_FALSE(resample::rescale_part(what, {0, 0, 0, 1}, out, 64));
    what.from.channels = 5;
    EXPECT_FALSE(resample::rescale_part(what, {0, 0, 1, 1}, out, 64));
    what.from.channels = 4;
    std::atomic<bool> cancel{true};
    EXPECT_FALSE(resample::rescale_part(what, {0, 0, 16, 16}, out, 64, 2, &cancel));
}

} // namespace
