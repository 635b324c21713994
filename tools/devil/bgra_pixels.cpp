// The pixel loops of the wrapper's own conversion to 8-bit BGRA. Where the processor has SSSE3
// a byte shuffle moves four pixels at once, about three times faster than the plain loops
// (which the compiler does not vectorize at our optimisation level); the plain loops serve
// everywhere else and for the last few pixels.
#include <bit>
#include <cstdint>
#include <cstring>

#include "tools/devil/bgra_pixels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define BGRA_PIXELS_SSSE3 1
#endif

namespace {

static_assert(std::endian::native == std::endian::little, "the words below are little-endian");

constexpr std::uint32_t opaque = 0xFF000000u;

std::uint32_t load(const unsigned char* at) {
    std::uint32_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

void store(unsigned char* at, std::uint32_t word) {
    std::memcpy(at, &word, sizeof word);
}

// The first and third byte of a pixel exchanged: red-first becomes blue-first.
std::uint32_t swap_outer(std::uint32_t pixel) {
    return (pixel & 0xFF00FF00u) | (pixel & 0xFFu) << 16 | (pixel >> 16 & 0xFFu);
}

void plain_three_to_bgra(const unsigned char* from, unsigned char* to, std::size_t pixels,
                         bool red_first) {
    for (std::size_t i = 0; i < pixels; ++i, from += 3, to += 4) {
        std::uint32_t pixel = from[0] | std::uint32_t{from[1]} << 8 | std::uint32_t{from[2]} << 16;
        store(to, (red_first ? swap_outer(pixel) : pixel) | opaque);
    }
}

void plain_swap(unsigned char* pixels, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i, pixels += 4) {
        store(pixels, swap_outer(load(pixels)));
    }
}

#ifdef BGRA_PIXELS_SSSE3

bool has_ssse3() {
    static const bool present = __builtin_cpu_supports("ssse3");
    return present;
}

// Four pixels of `step` bytes (3 or 4) in, four BGRA pixels out, per shuffle. Sixteen bytes are
// read each time, so with three-byte pixels the loop stops while six pixels remain; it returns
// how many it did.
__attribute__((target("ssse3"))) std::size_t shuffled(const unsigned char* from, unsigned char* to,
                                                      std::size_t pixels, std::size_t step,
                                                      __m128i order, __m128i alpha) {
    std::size_t reach = step == 3 ? 6 : 4;
    std::size_t i = 0;
    for (; i + reach <= pixels; i += 4, from += 4 * step, to += 16) {
        __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                         _mm_or_si128(_mm_shuffle_epi8(in, order), alpha));
    }
    return i;
}

__attribute__((target("ssse3"))) std::size_t fast_three_to_bgra(const unsigned char* from,
                                                                unsigned char* to,
                                                                std::size_t pixels,
                                                                bool red_first) {
    __m128i order = red_first ? _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1)
                              : _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    return shuffled(from, to, pixels, 3, order, _mm_set1_epi32(static_cast<int>(opaque)));
}

__attribute__((target("ssse3"))) std::size_t fast_swap(unsigned char* pixels, std::size_t count) {
    __m128i order = _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
    return shuffled(pixels, pixels, count, 4, order, _mm_setzero_si128());
}

#else

bool has_ssse3() {
    return false;
}
std::size_t fast_three_to_bgra(const unsigned char*, unsigned char*, std::size_t, bool) {
    return 0;
}
std::size_t fast_swap(unsigned char*, std::size_t) {
    return 0;
}

#endif

} // namespace

namespace devil_internal {

void three_bytes_to_bgra(const unsigned char* from, unsigned char* to, std::size_t pixels,
                         bool red_first) {
    std::size_t done = has_ssse3() ? fast_three_to_bgra(from, to, pixels, red_first) : 0;
    plain_three_to_bgra(from + 3 * done, to + 4 * done, pixels - done, red_first);
}

void swap_red_and_blue(unsigned char* pixels, std::size_t count) {
    std::size_t done = has_ssse3() ? fast_swap(pixels, count) : 0;
    plain_swap(pixels + 4 * done, count - done);
}

} // namespace devil_internal
