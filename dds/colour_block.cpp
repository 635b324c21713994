#include "dds/colour_block.h"

#include <climits>

#include "dds/colour_fit.h"
#include "dds/lanes.h"
#include "dds/packing.h"
#include "dds/single_colour.h"

namespace dds {

namespace {

constexpr std::uint8_t transparent_index = 3;
constexpr int refinement_rounds = 4;
// Below this spread the single colour nearest the mean can beat a fitted line.
constexpr int near_flat_spread = 24;
// Above this summed squared error a block is scattered enough to be worth a second start.
constexpr int scattered_error = 16 * 3 * 12 * 12;

struct palette {
    float red[4];
    float green[4];
    float blue[4];
};

// The colours a decoder shows; the in-between ones rounded down as most decoders do.
palette make_palette(const colour565& first, const colour565& second, bool three_colour) {
    palette p{};
    const int a[3] = {first.red(), first.green(), first.blue()};
    const int b[3] = {second.red(), second.green(), second.blue()};
    float* channel[3] = {p.red, p.green, p.blue};
    for (int c = 0; c < 3; ++c) {
        int middle = three_colour ? (a[c] + b[c]) / 2 : (2 * a[c] + b[c]) / 3;
        // Three-colour blocks keep index 3 for transparent pixels: put it out of reach.
        int last = three_colour ? 1024 : (a[c] + 2 * b[c]) / 3;
        channel[c][0] = static_cast<float>(a[c]);
        channel[c][1] = static_cast<float>(b[c]);
        channel[c][2] = static_cast<float>(middle);
        channel[c][3] = static_cast<float>(last);
    }
    return p;
}

struct candidate {
    colour565 first;
    colour565 second;
    std::uint8_t index[16] = {}; // per point
    int error = INT_MAX;
};

// Nearest palette entry for every point; returns the summed squared error. All 16 slots are
// visited (unused ones weigh nothing), four at a time.
int choose_indices(const colour_points& points, const palette& p, std::uint8_t* index) {
    lane4 total = {0, 0, 0, 0};
    for (int quad = 0; quad < 16; quad += 4) {
        lane4 red = load4(points.red + quad);
        lane4 green = load4(points.green + quad);
        lane4 blue = load4(points.blue + quad);
        lane4 best = {1e30f, 1e30f, 1e30f, 1e30f};
        mask4 chosen = {0, 0, 0, 0};
        for (int e = 0; e < 4; ++e) {
            lane4 dr = red - p.red[e];
            lane4 dg = green - p.green[e];
            lane4 db = blue - p.blue[e];
            lane4 error = dr * dr + dg * dg + db * db;
            mask4 better = error < best;
            best = select4(better, error, best);
            chosen = (better & e) | (chosen & ~better);
        }
        total += best * load4(points.weight + quad);
        for (int k = 0; k < 4; ++k) {
            index[quad + k] = static_cast<std::uint8_t>(chosen[k]);
        }
    }
    // The sum is a whole number well inside float's exact range.
    return static_cast<int>(total[0] + total[1] + total[2] + total[3]);
}

candidate evaluate(const colour_points& points, const colour565& first, const colour565& second,
                   bool three_colour) {
    candidate c;
    c.first = first;
    c.second = second;
    c.error = choose_indices(points, make_palette(first, second, three_colour), c.index);
    return c;
}

int to_byte(float value) {
    int rounded = static_cast<int>(value + 0.5f);
    return rounded < 0 ? 0 : (rounded > 255 ? 255 : rounded);
}

candidate fit_mean_colour(const colour_points& points, bool three_colour) {
    int sum[3] = {};
    for (int i = 0; i < points.count; ++i) {
        sum[0] += static_cast<int>(points.red[i]);
        sum[1] += static_cast<int>(points.green[i]);
        sum[2] += static_cast<int>(points.blue[i]);
    }
    int half = points.count / 2;
    endpoint_pair pair =
        fit_single_colour((sum[0] + half) / points.count, (sum[1] + half) / points.count,
                          (sum[2] + half) / points.count, three_colour);
    return evaluate(points, pair.first, pair.second, three_colour);
}

void quantize_line(const colour_line& line, colour565& first, colour565& second) {
    first = quantize565(to_byte(line.first[0]), to_byte(line.first[1]), to_byte(line.first[2]));
    second = quantize565(to_byte(line.second[0]), to_byte(line.second[1]), to_byte(line.second[2]));
}

// Least-squares rounds from `best` while each still lowers the error. A block already within
// about one level per channel has nothing worth a round left to gain.
candidate refine(const colour_points& points, candidate best, bool three_colour) {
    colour_line line;
    colour565 first;
    colour565 second;
    for (int round = 0; round < refinement_rounds && best.error > points.count * 3; ++round) {
        if (!fit_least_squares(points, best.index, three_colour, line)) {
            break;
        }
        quantize_line(line, first, second);
        if (first == best.first && second == best.second) {
            break; // settled: the same ends would choose the same indices again
        }
        candidate next = evaluate(points, first, second, three_colour);
        if (next.error >= best.error) {
            break;
        }
        best = next;
    }
    return best;
}

// The principal line's ends, refined by least squares. Blocks whose colours scatter with no
// clear axis (noise) also try the bounding box's diagonal; nearly flat blocks also try the
// single colour nearest their mean.
candidate fit_colours(const colour_points& points, bool three_colour) {
    int spread = points.spread;
    if (spread == 0) {
        return fit_mean_colour(points, three_colour); // the table's pair is the best there is
    }
    candidate best;
    float scatter = 0;
    if (points.two_colours) {
        // The principal line would end at the two colours themselves.
        best = refine(points, evaluate(points, points.first, points.second, three_colour),
                      three_colour);
        scatter = spread <= near_flat_spread ? scatter_about_mean(points) : 0;
    } else {
        colour_line line;
        colour565 first;
        colour565 second;
        scatter = fit_principal_line(points, line);
        quantize_line(line, first, second);
        best = refine(points, evaluate(points, first, second, three_colour), three_colour);
    }
    if (best.error > scattered_error) {
        // The corners of the bounding box, lowest and highest in every channel.
        candidate box = evaluate(points, points.high, points.low, three_colour);
        best = box.error < best.error ? box : best;
    }
    // The mean's pair spans one quantisation step, so it seldom gets much below the points'
    // scatter about their mean: tried only when the fit left more error than that.
    if (spread <= near_flat_spread && scatter < static_cast<float>(best.error)) {
        candidate flat = fit_mean_colour(points, three_colour);
        best = flat.error < best.error ? flat : best;
    }
    return best;
}

// Four-colour mode needs first > second as 16-bit words, three-colour mode first <= second;
// swapping the ends swaps indices 0 and 1 (and 2 and 3 with four colours).
void order_endpoints(candidate& c, int count, bool three_colour) {
    std::uint16_t first = c.first.packed();
    std::uint16_t second = c.second.packed();
    if (!three_colour && first == second) {
        for (int i = 0; i < count; ++i) {
            c.index[i] = 0; // equal ends would read as three-colour, where 3 is black
        }
        return;
    }
    bool swap = three_colour ? first > second : first < second;
    if (!swap) {
        return;
    }
    colour565 kept = c.first;
    c.first = c.second;
    c.second = kept;
    for (int i = 0; i < count; ++i) {
        if (c.index[i] < 2 || !three_colour) {
            c.index[i] ^= 1;
        }
    }
}

void write_block(const colour565& first, const colour565& second, const std::uint8_t index[16],
                 std::uint8_t out[8]) {
    store_le16(out, first.packed());
    store_le16(out + 2, second.packed());
    std::uint32_t bits = 0;
    for (int pixel = 0; pixel < 16; ++pixel) {
        bits |= static_cast<std::uint32_t>(index[pixel]) << (2 * pixel);
    }
    store_le32(out + 4, bits);
}

// Every slot gets a colour: unused ones repeat the first point with no weight, so all loops
// over the points can run the full 16 without a test.
void gather_points(const std::uint8_t bgra[64], bool one_bit_alpha, colour_points& points) {
    int count = 0;
    for (int pixel = 0; pixel < 16; ++pixel) {
        points.pixel[count] = static_cast<std::uint8_t>(pixel);
        count += one_bit_alpha && bgra[4 * pixel + 3] < 128 ? 0 : 1;
    }
    points.count = count;
    if (count == 0) {
        return;
    }
    std::uint32_t packed[16];
    for (int i = 0; i < 16; ++i) {
        const std::uint8_t* p = bgra + 4 * points.pixel[i < count ? i : 0];
        points.red[i] = static_cast<float>(p[2]);
        points.green[i] = static_cast<float>(p[1]);
        points.blue[i] = static_cast<float>(p[0]);
        points.weight[i] = i < count ? 1.0f : 0.0f;
        packed[i] = static_cast<std::uint32_t>(p[2] << 16 | p[1] << 8 | p[0]);
    }
    lane4 low[3], high[3];
    const float* channel[3] = {points.red, points.green, points.blue};
    for (int c = 0; c < 3; ++c) {
        low[c] = high[c] = load4(channel[c]);
        for (int quad = 4; quad < 16; quad += 4) {
            low[c] = min4(low[c], load4(channel[c] + quad));
            high[c] = max4(high[c], load4(channel[c] + quad));
        }
    }
    int low_red = static_cast<int>(min_of4(low[0])), high_red = static_cast<int>(max_of4(high[0]));
    int low_green = static_cast<int>(min_of4(low[1]));
    int high_green = static_cast<int>(max_of4(high[1]));
    int low_blue = static_cast<int>(min_of4(low[2]));
    int high_blue = static_cast<int>(max_of4(high[2]));
    std::uint32_t first_colour = packed[0];
    std::uint32_t second_colour = first_colour;
    bool more = false;
    for (int i = 1; i < 16; ++i) {
        std::uint32_t colour = packed[i];
        more = more ||
               (colour != first_colour && second_colour != first_colour && colour != second_colour);
        second_colour = second_colour == first_colour ? colour : second_colour;
    }
    points.two_colours = second_colour != first_colour && !more;
    points.first = colour565{quantize5(static_cast<int>(first_colour >> 16)),
                             quantize6(static_cast<int>(first_colour >> 8 & 255)),
                             quantize5(static_cast<int>(first_colour & 255))};
    points.second = colour565{quantize5(static_cast<int>(second_colour >> 16)),
                              quantize6(static_cast<int>(second_colour >> 8 & 255)),
                              quantize5(static_cast<int>(second_colour & 255))};
    int spread = high_red - low_red;
    spread = high_green - low_green > spread ? high_green - low_green : spread;
    points.spread = high_blue - low_blue > spread ? high_blue - low_blue : spread;
    points.low = colour565{quantize5(low_red), quantize6(low_green), quantize5(low_blue)};
    points.high = colour565{quantize5(high_red), quantize6(high_green), quantize5(high_blue)};
}

} // namespace

void encode_colour_block(const std::uint8_t bgra[64], bool one_bit_alpha, std::uint8_t out[8]) {
    colour_points points;
    gather_points(bgra, one_bit_alpha, points);
    std::uint8_t index[16];
    if (points.count == 0) {
        for (std::uint8_t& i : index) {
            i = transparent_index;
        }
        write_block({}, {}, index, out);
        return;
    }
    bool three_colour = points.count < 16;
    candidate best = fit_colours(points, three_colour);
    order_endpoints(best, points.count, three_colour);
    for (std::uint8_t& i : index) {
        i = transparent_index;
    }
    for (int i = 0; i < points.count; ++i) {
        index[points.pixel[i]] = best.index[i];
    }
    write_block(best.first, best.second, index, out);
}

} // namespace dds
