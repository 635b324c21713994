#include "tools/devil/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <pthread.h>

#include "tools/devil/bgra_pixels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define RESAMPLE_SSE2 1
#endif

namespace resample {
namespace {

// The library's own value of pi, for its cosine steps.
constexpr double library_pi = 3.1415926535897932384626;

// Output rows made together: their source rows are filtered horizontally once.
constexpr std::uint32_t strip_rows = 64;

// --- The library's kernels, as its zoom writes them ------------------------------------------

double box_kernel(double t) {
    return t > -0.5 && t <= 0.5 ? 1.0 : 0.0;
}

double triangle_kernel(double t) {
    t = std::fabs(t);
    return t < 1.0 ? 1.0 - t : 0.0;
}

double bell_kernel(double t) {
    t = std::fabs(t);
    if (t < 0.5) {
        return 0.75 - t * t;
    }
    if (t < 1.5) {
        t -= 1.5;
        return 0.5 * (t * t);
    }
    return 0.0;
}

double bspline_kernel(double t) {
    t = std::fabs(t);
    if (t < 1.0) {
        double tt = t * t;
        return 0.5 * tt * t - tt + 2.0 / 3.0;
    }
    if (t < 2.0) {
        t = 2.0 - t;
        return 1.0 / 6.0 * (t * t * t);
    }
    return 0.0;
}

double sinc(double x) {
    x *= library_pi;
    return x != 0 ? std::sin(x) / x : 1.0;
}

double lanczos3_kernel(double t) {
    t = std::fabs(t);
    return t < 3.0 ? sinc(t) * sinc(t / 3.0) : 0.0;
}

double mitchell_kernel(double t) {
    constexpr double b = 1.0 / 3.0;
    constexpr double c = 1.0 / 3.0;
    double tt = t * t;
    t = std::fabs(t);
    if (t < 1.0) {
        return ((12.0 - 9.0 * b - 6.0 * c) * (t * tt) + (-18.0 + 12.0 * b + 6.0 * c) * tt +
                (6.0 - 2 * b)) /
               6.0;
    }
    if (t < 2.0) {
        return ((-1.0 * b - 6.0 * c) * (t * tt) + (6.0 * b + 30.0 * c) * tt +
                (-12.0 * b - 48.0 * c) * t + (8.0 * b + 24 * c)) /
               6.0;
    }
    return 0.0;
}

struct kernel {
    double (*weight)(double);
    double support;
};

kernel kernel_of(filter how) {
    switch (how) {
    case filter::box:
        return {box_kernel, 0.5};
    case filter::triangle:
        return {triangle_kernel, 1.0};
    case filter::bell:
        return {bell_kernel, 1.5};
    case filter::bspline:
        return {bspline_kernel, 2.0};
    case filter::mitchell:
        return {mitchell_kernel, 2.0};
    default:
        return {lanczos3_kernel, 3.0};
    }
}

// A position past an edge mirrored back, as the library does once (about -0.5 before the
// start, about size - 0.5 past the end), and again while it still lies outside: the library
// would read outside a tiny image there.
std::int64_t mirrored(std::int64_t j, std::int64_t size) {
    while (j < 0 || j >= size) {
        j = j < 0 ? -j - 1 : 2 * size - 1 - j;
    }
    return j;
}

template <typename T> std::unique_ptr<T[]> allocate(std::size_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[count > 0 ? count : 1]);
}

// The samples and weights of each output position along one axis, `stride` slots apiece.
struct taps {
    std::uint32_t count = 0, stride = 0;
    std::unique_ptr<std::uint32_t[]> used;   // samples of each position
    std::unique_ptr<std::uint32_t[]> source; // source positions, times `scale_by`
    std::unique_ptr<float[]> weight;

    bool make(std::uint32_t from_size, std::uint32_t to_size, std::uint32_t first,
              std::uint32_t how_many, const kernel& k, std::uint32_t scale_by);
    const std::uint32_t* sources(std::uint32_t i) const { return &source[std::size_t{i} * stride]; }
    const float* weights(std::uint32_t i) const { return &weight[std::size_t{i} * stride]; }
};

// As the library's zoom: centres at i / scale; when shrinking, the kernel is widened by the
// scale and its weights divided by it.
bool taps::make(std::uint32_t from_size, std::uint32_t to_size, std::uint32_t first,
                std::uint32_t how_many, const kernel& k, std::uint32_t scale_by) {
    double scale = static_cast<double>(to_size) / static_cast<double>(from_size);
    bool shrinking = scale < 1.0;
    double width = shrinking ? k.support / scale : k.support;
    double fscale = shrinking ? 1.0 / scale : 1.0;
    count = how_many;
    stride = static_cast<std::uint32_t>(width * 2 + 1) + 2;
    used = allocate<std::uint32_t>(count);
    source = allocate<std::uint32_t>(std::size_t{count} * stride);
    weight = allocate<float>(std::size_t{count} * stride);
    if (used == nullptr || source == nullptr || weight == nullptr) {
        return false;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        double center = static_cast<double>(first + i) / scale;
        double left = std::ceil(center - width);
        double right = std::floor(center + width);
        std::uint32_t n = 0;
        for (auto j = static_cast<std::int64_t>(left); j <= right && n < stride; ++j, ++n) {
            double w = center - static_cast<double>(j);
            w = shrinking ? k.weight(w / fscale) / fscale : k.weight(w);
            source[std::size_t{i} * stride + n] =
                static_cast<std::uint32_t>(mirrored(j, from_size)) * scale_by;
            weight[std::size_t{i} * stride + n] = static_cast<float>(w);
        }
        used[i] = n;
    }
    return true;
}

// The library's rounding of a sum: half away from zero, then clamped to a byte.
unsigned char to_byte(float sum) {
    float v = sum + 0.5f;
    if (v <= 0.0f) {
        return 0;
    }
    if (v >= 255.0f) {
        return 255;
    }
    return static_cast<unsigned char>(static_cast<int>(v));
}

// One channel's sum over `n` samples at `stride`-apart offsets of `at`: the samples' value
// when they are all equal, else the rounded weighted sum.
template <typename Offset>
unsigned char filtered(const unsigned char* at, const Offset* offsets, const float* weights,
                       std::uint32_t n) {
    float sum = 0.0f;
    unsigned char low = 255, high = 0;
    for (std::uint32_t k = 0; k < n; ++k) {
        unsigned char v = at[offsets[k]];
        low = std::min(low, v);
        high = std::max(high, v);
        sum += static_cast<float>(v) * weights[k];
    }
    return low == high ? low : to_byte(sum);
}

// One source row filtered horizontally into `out`, one value per channel of each column.
void filter_row(const unsigned char* row, const taps& x, std::uint32_t channels,
                unsigned char* out) {
    for (std::uint32_t i = 0; i < x.count; ++i) {
        for (std::uint32_t c = 0; c < channels; ++c) {
            *out++ = filtered(row + c, x.sources(i), x.weights(i), x.used[i]);
        }
    }
}

#ifdef RESAMPLE_SSE2

// The four channels of a pixel at once.
void filter_row_four(const unsigned char* row, const taps& x, unsigned char* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128 half = _mm_set1_ps(0.5f);
    for (std::uint32_t i = 0; i < x.count; ++i, out += 4) {
        const std::uint32_t* sources = x.sources(i);
        const float* weights = x.weights(i);
        __m128 sum = _mm_setzero_ps();
        __m128i low = _mm_set1_epi8(-1);
        __m128i high = zero;
        for (std::uint32_t k = 0; k < x.used[i]; ++k) {
            std::int32_t word;
            std::memcpy(&word, row + sources[k], sizeof word);
            __m128i pixel = _mm_cvtsi32_si128(word);
            low = _mm_min_epu8(low, pixel);
            high = _mm_max_epu8(high, pixel);
            __m128 values =
                _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(pixel, zero), zero));
            sum = _mm_add_ps(sum, _mm_mul_ps(values, _mm_set1_ps(weights[k])));
        }
        __m128i rounded = _mm_cvttps_epi32(_mm_max_ps(_mm_add_ps(sum, half), _mm_setzero_ps()));
        rounded = _mm_packus_epi16(_mm_packs_epi32(rounded, rounded), zero);
        __m128i flat = _mm_cmpeq_epi8(low, high);
        __m128i result = _mm_or_si128(_mm_and_si128(flat, low), _mm_andnot_si128(flat, rounded));
        std::int32_t word = _mm_cvtsi128_si32(result);
        std::memcpy(out, &word, sizeof word);
    }
}

// Sixteen bytes of a row of the vertical pass from `n` rows.
__m128i vertical_sixteen(const unsigned char* const* rows, const float* weights, std::uint32_t n,
                         std::size_t at) {
    const __m128i zero = _mm_setzero_si128();
    __m128 sums[4] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
    __m128i low = _mm_set1_epi8(-1);
    __m128i high = zero;
    for (std::uint32_t k = 0; k < n; ++k) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + at));
        low = _mm_min_epu8(low, bytes);
        high = _mm_max_epu8(high, bytes);
        __m128 w = _mm_set1_ps(weights[k]);
        __m128i lo16 = _mm_unpacklo_epi8(bytes, zero);
        __m128i hi16 = _mm_unpackhi_epi8(bytes, zero);
        sums[0] =
            _mm_add_ps(sums[0], _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(lo16, zero)), w));
        sums[1] =
            _mm_add_ps(sums[1], _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(lo16, zero)), w));
        sums[2] =
            _mm_add_ps(sums[2], _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(hi16, zero)), w));
        sums[3] =
            _mm_add_ps(sums[3], _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(hi16, zero)), w));
    }
    const __m128 half = _mm_set1_ps(0.5f);
    __m128i r[4];
    for (int q = 0; q < 4; ++q) {
        r[q] = _mm_cvttps_epi32(_mm_max_ps(_mm_add_ps(sums[q], half), _mm_setzero_ps()));
    }
    __m128i rounded = _mm_packus_epi16(_mm_packs_epi32(r[0], r[1]), _mm_packs_epi32(r[2], r[3]));
    __m128i flat = _mm_cmpeq_epi8(low, high);
    return _mm_or_si128(_mm_and_si128(flat, low), _mm_andnot_si128(flat, rounded));
}

#endif

// One output row from the horizontally filtered rows named in `rows`.
void filter_column_row(const unsigned char* const* rows, const float* weights, std::uint32_t n,
                       std::size_t bytes, unsigned char* out) {
    std::size_t at = 0;
#ifdef RESAMPLE_SSE2
    for (; at + 16 <= bytes; at += 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at),
                         vertical_sixteen(rows, weights, n, at));
    }
#endif
    for (; at < bytes; ++at) {
        float sum = 0.0f;
        unsigned char low = 255, high = 0;
        for (std::uint32_t k = 0; k < n; ++k) {
            unsigned char v = rows[k][at];
            low = std::min(low, v);
            high = std::max(high, v);
            sum += static_cast<float>(v) * weights[k];
        }
        out[at] = low == high ? low : to_byte(sum);
    }
}

// --- One call's shared facts and the work of a strip ------------------------------------------

struct plan {
    job what;
    area part;
    unsigned char* to = nullptr;
    std::size_t to_stride = 0;
    const std::atomic<bool>* cancel = nullptr;
    taps x, y; // kernel filters only
    std::atomic<std::uint32_t> next_strip{0};
    std::atomic<bool> failed{false};

    bool cancelled() const { return cancel != nullptr && cancel->load(std::memory_order_relaxed); }
};

bool is_kernel(filter how) {
    return how != filter::nearest && how != filter::linear && how != filter::bilinear;
}

// The library computes its scales in single precision.
double library_scale(std::uint32_t to_size, std::uint32_t from_size) {
    return static_cast<double>(static_cast<float>(to_size) / static_cast<float>(from_size));
}

std::uint32_t below(double position, std::uint32_t size) {
    return std::min(static_cast<std::uint32_t>(position), size - 1);
}

// The pixel bytes the kernel passes work in: a three-channel image widened to blue, green,
// red, alpha goes through them as four channels, so the result needs no widening after.
std::uint32_t working_channels(const job& what) {
    return what.to_bgra ? 4 : what.from.channels;
}

// Output rows [first, end) of the part through a kernel: their source rows filtered
// horizontally, then each output row from them.
bool kernel_strip(const plan& p, std::uint32_t first, std::uint32_t end) {
    const image& from = p.what.from;
    std::uint32_t lowest = UINT32_MAX, highest = 0;
    for (std::uint32_t i = first; i < end; ++i) {
        for (std::uint32_t k = 0; k < p.y.used[i]; ++k) {
            lowest = std::min(lowest, p.y.sources(i)[k]);
            highest = std::max(highest, p.y.sources(i)[k]);
        }
    }
    const std::uint32_t channels = working_channels(p.what);
    std::size_t row_bytes = std::size_t{p.part.width} * channels;
    std::size_t source_stride = std::size_t{from.width} * from.channels;
    std::uint32_t rows = highest - lowest + 1;
    auto middle = allocate<unsigned char>(row_bytes * rows);
    auto row_of = allocate<const unsigned char*>(p.y.stride);
    auto widened = allocate<unsigned char>(p.what.to_bgra ? std::size_t{from.width} * 4 : 0);
    if (middle == nullptr || row_of == nullptr || widened == nullptr) {
        return false;
    }
    for (std::uint32_t r = 0; r < rows; ++r) {
        const unsigned char* source = from.pixels + source_stride * (lowest + r);
        if (p.what.to_bgra) {
            devil_internal::three_bytes_to_bgra(source, widened.get(), from.width,
                                                p.what.red_first);
            source = widened.get();
        }
#ifdef RESAMPLE_SSE2
        if (channels == 4) {
            filter_row_four(source, p.x, middle.get() + row_bytes * r);
            continue;
        }
#endif
        filter_row(source, p.x, channels, middle.get() + row_bytes * r);
    }
    for (std::uint32_t i = first; i < end; ++i) {
        for (std::uint32_t k = 0; k < p.y.used[i]; ++k) {
            row_of[k] = middle.get() + row_bytes * (p.y.sources(i)[k] - lowest);
        }
        filter_column_row(row_of.get(), p.y.weights(i), p.y.used[i], row_bytes,
                          p.to + p.to_stride * (i - p.part.y));
    }
    return true;
}

void copy_pixel(const unsigned char* from, unsigned char* to, std::uint32_t channels) {
    std::memcpy(to, from, channels);
}

// The library's nearest: source position (unsigned)(i / scale), its scale in single precision.
bool nearest_strip(const plan& p, std::uint32_t first, std::uint32_t end) {
    const image& from = p.what.from;
    double scale_x = library_scale(p.what.width, from.width);
    double scale_y = library_scale(p.what.height, from.height);
    auto columns = allocate<std::uint32_t>(p.part.width);
    if (columns == nullptr) {
        return false;
    }
    for (std::uint32_t i = 0; i < p.part.width; ++i) {
        columns[i] = below((p.part.x + i) / scale_x, from.width) * from.channels;
    }
    for (std::uint32_t i = first; i < end; ++i) {
        const unsigned char* row =
            from.pixels + std::size_t{from.width} * from.channels * below(i / scale_y, from.height);
        unsigned char* out = p.to + p.to_stride * (i - p.part.y);
        for (std::uint32_t x = 0; x < p.part.width; ++x, out += from.channels) {
            copy_pixel(row + columns[x], out, from.channels);
        }
    }
    return true;
}

// The library's linear is its nearest column pair, blended by a cosine of the fraction that
// x / width * width loses to rounding (mostly none), on the nearest row.
struct linear_column {
    std::uint32_t first, second;
    double blend;
};

bool linear_strip(const plan& p, std::uint32_t first, std::uint32_t end) {
    const image& from = p.what.from;
    double scale_x = library_scale(p.what.width, from.width);
    double scale_y = library_scale(p.what.height, from.height);
    std::uint32_t width = p.what.width;
    auto columns = allocate<linear_column>(p.part.width);
    if (columns == nullptr) {
        return false;
    }
    for (std::uint32_t i = 0; i < p.part.width; ++i) {
        double t1 = (p.part.x + i) / static_cast<double>(width);
        double t4 = t1 * width;
        double t2 = t4 - static_cast<std::uint32_t>(t4);
        auto near = static_cast<std::uint32_t>(t4 / scale_x);
        columns[i] = {below(near, from.width) * from.channels,
                      below(near + 1.0, from.width) * from.channels,
                      (1.0 - std::cos(t2 * library_pi)) * .5};
    }
    std::size_t source_stride = std::size_t{from.width} * from.channels;
    for (std::uint32_t y = first; y < end; ++y) {
        const unsigned char* row = from.pixels + source_stride * below(y / scale_y, from.height);
        unsigned char* out = p.to + p.to_stride * (y - p.part.y);
        for (std::uint32_t i = 0; i < p.part.width; ++i) {
            const linear_column& c = columns[i];
            for (std::uint32_t k = 0; k < from.channels; ++k) {
                unsigned x1 = row[c.first + k], x2 = row[c.second + k];
                *out++ = static_cast<unsigned char>((1.0 - c.blend) * x1 + c.blend * x2);
            }
        }
    }
    return true;
}

// The library's bilinear, in single precision as it computes it: the four pixels around
// i / scale, the next ones held at the last column and row, the sum truncated.
struct bilinear_axis {
    std::uint32_t near, next;
    float fraction;
};

bilinear_axis bilinear_at(std::uint32_t i, double scale, std::uint32_t size) {
    float position = static_cast<float>(i) / static_cast<float>(scale);
    auto near = static_cast<std::uint32_t>(std::floor(position));
    float fraction = position - static_cast<float>(near);
    near = std::min(near, size - 1);
    return {near, near < size - 1 ? near + 1 : near, fraction};
}

bool bilinear_strip(const plan& p, std::uint32_t first, std::uint32_t end) {
    const image& from = p.what.from;
    double scale_x = library_scale(p.what.width, from.width);
    double scale_y = library_scale(p.what.height, from.height);
    auto columns = allocate<bilinear_axis>(p.part.width);
    if (columns == nullptr) {
        return false;
    }
    for (std::uint32_t i = 0; i < p.part.width; ++i) {
        columns[i] = bilinear_at(p.part.x + i, scale_x, from.width);
        columns[i].near *= from.channels;
        columns[i].next *= from.channels;
    }
    std::size_t source_stride = std::size_t{from.width} * from.channels;
    for (std::uint32_t y = first; y < end; ++y) {
        bilinear_axis row = bilinear_at(y, scale_y, from.height);
        const unsigned char* upper = from.pixels + source_stride * row.near;
        const unsigned char* lower = from.pixels + source_stride * row.next;
        unsigned char* out = p.to + p.to_stride * (y - p.part.y);
        for (std::uint32_t i = 0; i < p.part.width; ++i) {
            const bilinear_axis& c = columns[i];
            float ul = (1.0f - c.fraction) * (1.0f - row.fraction);
            float ll = (1.0f - c.fraction) * row.fraction;
            float ur = c.fraction * (1.0f - row.fraction);
            float lr = c.fraction * row.fraction;
            for (std::uint32_t k = 0; k < from.channels; ++k) {
                float sum = ul * upper[c.near + k] + ll * lower[c.near + k] +
                            ur * upper[c.next + k] + lr * lower[c.next + k];
                *out++ = static_cast<unsigned char>(static_cast<int>(sum));
            }
        }
    }
    return true;
}

bool run_strip(const plan& p, std::uint32_t first, std::uint32_t end) {
    switch (p.what.how) {
    case filter::nearest:
        return nearest_strip(p, first, end);
    case filter::linear:
        return linear_strip(p, first, end);
    case filter::bilinear:
        return bilinear_strip(p, first, end);
    default:
        return kernel_strip(p, first, end);
    }
}

// A row of three-byte pixels widened in place to blue, green, red, alpha 255; from the last
// pixel back, so that no pixel is overwritten before it is read.
void widen_to_bgra(unsigned char* row, std::uint32_t pixels, bool red_first) {
    for (std::uint32_t i = pixels; i-- > 0;) {
        const unsigned char* in = row + std::size_t{i} * 3;
        unsigned char first = in[0], second = in[1], third = in[2];
        unsigned char* out = row + std::size_t{i} * 4;
        out[0] = red_first ? third : first;
        out[1] = second;
        out[2] = red_first ? first : third;
        out[3] = 255;
    }
}

void work_through(plan& p) {
    std::uint32_t strips = (p.part.height + strip_rows - 1) / strip_rows;
    for (;;) {
        std::uint32_t strip = p.next_strip.fetch_add(1);
        if (strip >= strips || p.failed.load() || p.cancelled()) {
            return;
        }
        std::uint32_t first = p.part.y + strip * strip_rows;
        std::uint32_t end = std::min(first + strip_rows, p.part.y + p.part.height);
        if (!run_strip(p, first, end)) {
            p.failed.store(true);
            continue;
        }
        // The other filters wrote the strip three bytes a pixel at the start of rows that hold
        // four.
        for (std::uint32_t i = first; p.what.to_bgra && !is_kernel(p.what.how) && i < end; ++i) {
            widen_to_bgra(p.to + p.to_stride * (i - p.part.y), p.part.width, p.what.red_first);
        }
    }
}

void* work_thread(void* context) {
    work_through(*static_cast<plan*>(context));
    return nullptr;
}

bool valid(const job& what, const area& part) {
    const image& from = what.from;
    return from.pixels != nullptr && from.width > 0 && from.height > 0 && from.channels >= 1 &&
           from.channels <= 4 && (!what.to_bgra || from.channels == 3) && what.width > 0 &&
           what.height > 0 && part.width > 0 && part.height > 0 && part.x < what.width &&
           part.width <= what.width - part.x && part.y < what.height &&
           part.height <= what.height - part.y;
}

bool run_part(const job& what, const area& part, unsigned char* to, std::size_t to_stride,
              unsigned threads, const std::atomic<bool>* cancel) {
    std::unique_ptr<plan> p(new (std::nothrow) plan);
    if (p == nullptr) {
        return false;
    }
    p->what = what;
    p->part = part;
    p->to = to;
    p->to_stride = to_stride;
    p->cancel = cancel;
    if (is_kernel(what.how)) {
        kernel k = kernel_of(what.how);
        // Rows are numbered from the part's top; the vertical taps index source rows.
        if (!p->x.make(what.from.width, what.width, part.x, part.width, k,
                       working_channels(what)) ||
            !p->y.make(what.from.height, what.height, 0, what.height, k, 1)) {
            return false;
        }
    }
    std::uint32_t strips = (part.height + strip_rows - 1) / strip_rows;
    unsigned helpers = std::min<unsigned>(std::max(threads, 1u) - 1, strips - 1);
    pthread_t started[8];
    unsigned running = 0;
    while (running < std::min(helpers, 8u) &&
           pthread_create(&started[running], nullptr, work_thread, p.get()) == 0) {
        ++running;
    }
    work_through(*p);
    for (unsigned i = 0; i < running; ++i) {
        pthread_join(started[i], nullptr);
    }
    return !p->failed.load() && !p->cancelled();
}

} // namespace

// The library applies a kernel only when a side grows: a result no larger either way is its
// bilinear's, and a side that shrinks while the other grows is first shrunk by its bilinear.
bool rescale_part(const job& what, const area& part, unsigned char* to, std::size_t to_stride,
                  unsigned threads, const std::atomic<bool>* cancel) {
    if (!valid(what, part) || to == nullptr) {
        return false;
    }
    const image& from = what.from;
    bool grows = what.width > from.width || what.height > from.height;
    bool shrinks = what.width < from.width || what.height < from.height;
    if (!is_kernel(what.how) || (grows && !shrinks)) {
        return run_part(what, part, to, to_stride, threads, cancel);
    }
    job shrunk = what;
    shrunk.how = filter::bilinear;
    if (!grows) {
        return run_part(shrunk, part, to, to_stride, threads, cancel);
    }
    shrunk.to_bgra = false; // only the last pass writes the result
    if (what.width < from.width) {
        shrunk.height = from.height;
    } else {
        shrunk.width = from.width;
    }
    std::size_t shrunk_stride = std::size_t{shrunk.width} * from.channels;
    auto middle = allocate<unsigned char>(shrunk_stride * shrunk.height);
    if (middle == nullptr || !run_part(shrunk, {0, 0, shrunk.width, shrunk.height}, middle.get(),
                                       shrunk_stride, threads, cancel)) {
        return false;
    }
    job rest = what;
    rest.from = {middle.get(), shrunk.width, shrunk.height, from.channels};
    return run_part(rest, part, to, to_stride, threads, cancel);
}

bool rescale(const job& what, unsigned char* to, unsigned threads) {
    area whole{0, 0, what.width, what.height};
    return rescale_part(what, whole, to, std::size_t{what.width} * result_pixel_bytes(what),
                        threads);
}

} // namespace resample
