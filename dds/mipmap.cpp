#include "dds/mipmap.h"

#include <memory>
#include <new>

namespace dds {

namespace {

// The source pixels one output pixel covers along one axis, at most three when shrinking a
// side to half its length or more.
struct taps {
    int first = 0;
    int count = 0;
    double weight[3] = {};
};

// Output pixel `i` covers [i * from, (i + 1) * from) when source pixel j covers
// [j * to, (j + 1) * to): both measured in the same units, all integers.
taps axis_taps(int i, int from, int to) {
    taps result;
    long long begin = static_cast<long long>(i) * from;
    long long end = begin + from;
    result.first = static_cast<int>(begin / to);
    for (long long j = result.first; j * to < end && result.count < 3; ++j) {
        long long low = j * to > begin ? j * to : begin;
        long long high = (j + 1) * to < end ? (j + 1) * to : end;
        result.weight[result.count++] = static_cast<double>(high - low) / from;
    }
    return result;
}

void shrink_pixel(const pixel_view& source, const taps& across, const taps& down,
                  std::uint8_t* out) {
    double sum[4] = {};
    for (int v = 0; v < down.count; ++v) {
        for (int u = 0; u < across.count; ++u) {
            const std::uint8_t* in = source.at(across.first + u, down.first + v);
            double weight = across.weight[u] * down.weight[v];
            sum[0] += in[0] * weight;
            sum[1] += in[1] * weight;
            sum[2] += in[2] * weight;
            sum[3] += (source.channels == 4 ? in[3] : 255) * weight;
        }
    }
    for (int c = 0; c < 4; ++c) {
        int value = static_cast<int>(sum[c] + 0.5);
        out[c] = static_cast<std::uint8_t>(value > 255 ? 255 : value);
    }
}

} // namespace

bool shrink_box(const pixel_view& source, int width, int height, std::uint8_t* out) {
    std::unique_ptr<taps[]> columns(new (std::nothrow) taps[static_cast<std::size_t>(width)]);
    if (!columns) {
        return false;
    }
    for (int x = 0; x < width; ++x) {
        columns[x] = axis_taps(x, source.width, width);
    }
    for (int y = 0; y < height; ++y) {
        taps down = axis_taps(y, source.height, height);
        for (int x = 0; x < width; ++x) {
            shrink_pixel(source, columns[x], down, out);
            out += 4;
        }
    }
    return true;
}

} // namespace dds
