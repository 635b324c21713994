#include "dds/single_colour.h"

#include <array>
#include <cstdint>

namespace dds {

namespace {

struct channel_pair {
    std::uint8_t first;
    std::uint8_t second;
};

using channel_table = std::array<channel_pair, 256>;

int interpolate(int first, int second, bool three_colour) {
    return three_colour ? (first + second) / 2 : (2 * first + second) / 3;
}

// For every 8-bit value the pair of n-bit codes whose interpolated value comes nearest; among
// equals the pair whose ends lie closest, so decoders that round differently still agree.
channel_table build_table(int bits, bool three_colour) {
    channel_table table{};
    int codes = 1 << bits;
    for (int value = 0; value < 256; ++value) {
        int best_error = 1 << 30;
        for (int first = 0; first < codes; ++first) {
            int high = expand_bits(first, bits);
            for (int second = 0; second < codes; ++second) {
                int low = expand_bits(second, bits);
                int error = interpolate(high, low, three_colour) - value;
                int spread = high > low ? high - low : low - high;
                int score = (error < 0 ? -error : error) * 1024 + spread;
                if (score < best_error) {
                    best_error = score;
                    table[value] = {static_cast<std::uint8_t>(first),
                                    static_cast<std::uint8_t>(second)};
                }
            }
        }
    }
    return table;
}

struct tables {
    channel_table four5 = build_table(5, false);
    channel_table four6 = build_table(6, false);
    channel_table three5 = build_table(5, true);
    channel_table three6 = build_table(6, true);
};

const tables& shared_tables() {
    static const tables built; // thread-safe one-time construction
    return built;
}

} // namespace

endpoint_pair fit_single_colour(int red, int green, int blue, bool three_colour) {
    const tables& t = shared_tables();
    const channel_table& five = three_colour ? t.three5 : t.four5;
    const channel_table& six = three_colour ? t.three6 : t.four6;
    channel_pair r = five[red];
    channel_pair g = six[green];
    channel_pair b = five[blue];
    return {{r.first, g.first, b.first}, {r.second, g.second, b.second}};
}

} // namespace dds
